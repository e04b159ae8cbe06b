#include "PulsePacer.h"

#include "AudioThread.h"
#include "OutputManager.h"
#include "PulseConnection.h"
#include "PulseStream.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

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
    m_blockFrames = blockFrames;
    // Between timer ticks the sink plays on at its rate; a tick comes well within a block.
    m_clock.SetFormat(stream.RateHz(), blockFrames);
    m_periodMs = std::max<uint32_t>(periodMs, 1);
    m_ticks.store(0, std::memory_order_relaxed);
    m_blocksAsked.store(0, std::memory_order_relaxed);
    Publish(stream);
    return Launch(manager);
}

void CPulsePacer::Wake() noexcept
{
    if (m_connection != nullptr)
        m_connection->Wake();
}

void CPulsePacer::Publish(const CPulseStream& stream) noexcept
{
    uint32_t frames = 0;
    if (!stream.PlayedFrames(frames))
        frames = m_clock.PublishedFrames();
    m_clock.Publish(frames, stream.Playing());
}

void CPulsePacer::Loop() noexcept
{
    const size_t blockBytes = static_cast<size_t>(m_blockFrames) * m_stream->FrameBytes();
    const auto period = std::chrono::milliseconds(m_periodMs);
    auto nextTick = Clock::now() + period;
    while (Running()) {
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
            LoseDevice();
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
}
