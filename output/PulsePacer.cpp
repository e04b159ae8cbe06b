#include "PulsePacer.h"

#include "AudioThread.h"
#include "OutputManager.h"
#include "PulseConnection.h"
#include "PulseStream.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>
#include <sched.h>

namespace {

using Clock = std::chrono::steady_clock;

uint32_t SteadyMicros() noexcept
{
    const auto now = Clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

constexpr uint32_t kMicrosMask = 0x7FFFFFFF; // 31 bits: wraps after 35 minutes

} // namespace

CPulsePacer::~CPulsePacer()
{
    Stop();
    Join();
}

bool CPulsePacer::Start(CPulseConnection& connection, CPulseStream& stream, COutputManager& manager,
                        uint32_t blockFrames, uint32_t periodMs)
{
    AssertNotAudioThread("CPulsePacer::Start");
    Join();
    m_connection = &connection;
    m_stream = &stream;
    m_manager = &manager;
    m_blockFrames = blockFrames;
    m_rateHz = stream.RateHz() != 0 ? stream.RateHz() : 44100;
    m_periodMs = std::max<uint32_t>(periodMs, 1);
    m_deviceLost.store(false, std::memory_order_relaxed);
    m_ticks.store(0, std::memory_order_relaxed);
    m_blocksAsked.store(0, std::memory_order_relaxed);
    Publish(stream);
    m_run.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        m_run.store(false, std::memory_order_relaxed);
        return false;
    }
    m_threadId.store(m_thread.get_id());
    return true;
}

void CPulsePacer::Stop() noexcept
{
    m_run.store(false, std::memory_order_release);
    if (m_connection != nullptr && !OnPacingThread())
        m_connection->Wake();
}

void CPulsePacer::Join()
{
    if (m_thread.joinable() && !OnPacingThread()) {
        m_thread.join();
        m_threadId.store(std::thread::id());
    }
}

void CPulsePacer::ResetPosition() noexcept
{
    m_snapshot.store(0, std::memory_order_relaxed);
    m_lastAnswer.store(0, std::memory_order_relaxed);
}

void CPulsePacer::Publish(const CPulseStream& stream) noexcept
{
    uint32_t frames = 0;
    if (!stream.PlayedFrames(frames))
        frames = static_cast<uint32_t>(m_snapshot.load(std::memory_order_relaxed) >> 32);
    const bool playing = stream.Playing();
    const uint64_t stamp = static_cast<uint64_t>(SteadyMicros() & kMicrosMask) << 1 | (playing ? 1 : 0);
    m_snapshot.store(static_cast<uint64_t>(frames) << 32 | stamp, std::memory_order_release);
}

uint32_t CPulsePacer::Position() const noexcept
{
    const uint64_t snapshot = m_snapshot.load(std::memory_order_acquire);
    uint32_t frames = static_cast<uint32_t>(snapshot >> 32);
    if ((snapshot & 1) != 0) {
        // Between timer ticks the sink plays on at its rate; a tick comes well within a block.
        const uint32_t elapsedMicros = (SteadyMicros() - static_cast<uint32_t>(snapshot >> 1)) & kMicrosMask;
        const uint64_t played = static_cast<uint64_t>(elapsedMicros) * m_rateHz / 1000000;
        frames += static_cast<uint32_t>(std::min<uint64_t>(played, m_blockFrames));
    }
    uint32_t last = m_lastAnswer.load(std::memory_order_relaxed);
    while (static_cast<int32_t>(frames - last) > 0 &&
           !m_lastAnswer.compare_exchange_weak(last, frames, std::memory_order_relaxed)) {
    }
    return static_cast<int32_t>(frames - last) > 0 ? frames : last;
}

void CPulsePacer::Loop() noexcept
{
    // Set here as well as by Start: the first block may end the run before Start stores it.
    m_threadId.store(std::this_thread::get_id());
    MarkAudioThread();
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    // Refused without the right to real-time scheduling; the thread then runs at normal
    // priority and larger blocks make up for it.
    m_realTime.store(pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0,
                     std::memory_order_relaxed);

    const size_t blockBytes = static_cast<size_t>(m_blockFrames) * m_stream->FrameBytes();
    const auto period = std::chrono::milliseconds(m_periodMs);
    auto nextTick = Clock::now() + period;
    while (m_run.load(std::memory_order_acquire)) {
        const auto now = Clock::now();
        bool alive = true;
        if (now < nextTick) {
            const auto waitUs = std::chrono::duration_cast<std::chrono::microseconds>(nextTick - now).count();
            alive = m_connection->Iterate(waitUs) >= 0;
            // The server's request for a whole block is answered as it comes instead of at the
            // next tick: that tick could come most of a block later, when the one block still
            // queued has nearly played.
            if (alive && m_stream->WritableBytes() < blockBytes)
                continue;
        } else {
            // After a stall the ticks go on from now: a burst of late ticks would only find the
            // buffer full.
            nextTick = std::max(nextTick + period, now + period / 2);
            m_ticks.fetch_add(1, std::memory_order_relaxed);
        }
        if (!alive || !m_stream->Alive()) {
            // Nothing more will play: the run stops as when the client ends, so the manager
            // reports it no longer runs and the user-interface thread can close what it opened.
            m_deviceLost.store(true, std::memory_order_relaxed);
            m_manager->Stop();
            break;
        }
        // One block a tick at most, so the stream stays one to two blocks ahead of what plays.
        if (m_stream->WritableBytes() >= blockBytes) {
            m_blocksAsked.fetch_add(1, std::memory_order_relaxed);
            m_manager->RenderNext(-1);
        }
        Publish(*m_stream);
        m_stream->RequestTiming();
        m_connection->Poll();
    }
    MarkAudioThread(false);
}
