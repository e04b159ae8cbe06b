#include "PulseOutput.h"

#include "AudioThread.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "PulseDeviceList.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace {

// Connecting and opening the stream together; a server that does not answer costs no more.
constexpr auto kOpenTimeout = std::chrono::milliseconds(700);

// The block the manager will make of the record's setting (it rounds after Open): whole ticks
// of 128 frames, 1 .. 128 of them. The stream's buffer is sized for the real block.
uint32_t RoundedBlockFrames(uint32_t blockFrames) noexcept
{
    return std::clamp<uint32_t>((blockFrames + 127) / 128, 1, 128) * 128;
}

} // namespace

uint32_t CPulseOutput::TimerPeriodMs(uint32_t blockFrames, uint32_t rateHz) noexcept
{
    if (rateHz == 0)
        return 20;
    const uint64_t periodMs = static_cast<uint64_t>(blockFrames) * 700 / rateHz;
    return static_cast<uint32_t>(std::clamp<uint64_t>(periodMs, 1, 200));
}

CPulseOutput::~CPulseOutput()
{
    Close();
}

bool CPulseOutput::IsMaster() const noexcept
{
    return m_record != nullptr && m_record->master != 0;
}

int CPulseOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    AssertNotAudioThread("CPulseOutput::Open");
    using namespace OutputErrors;
    Close();
    m_record = &record;
    m_manager = &manager;
    const uint32_t id = record.device;
    if (id < OutputIds::kServerFirst || id > OutputIds::kServerLast)
        return kNotServed;
    std::string sinkName;
    if (id != OutputIds::kServerFirst) {
        const auto& sinks = PulseDevices::Sinks();
        if (id - OutputIds::kServerFirst - 1 >= sinks.size())
            return kNotServed;
        sinkName = sinks[id - OutputIds::kServerFirst - 1].name;
    }
    pa_sample_spec spec{};
    spec.format = record.bytesPerSample == 2   ? PA_SAMPLE_S16LE
                  : record.bytesPerSample == 1 ? PA_SAMPLE_U8
                                               : PA_SAMPLE_INVALID;
    spec.rate = record.sampleRate;
    spec.channels = record.stereo != 0 ? 2 : 1;
    if (spec.format == PA_SAMPLE_INVALID || spec.rate == 0)
        return kServerFormat;

    const auto deadline = CPulseConnection::Clock::now() + kOpenTimeout;
    int result = m_connection.Connect(deadline);
    if (result == 0) {
        // A secondary's blocks come when the master's sink asks, not its own: a third block
        // takes up the difference between the two.
        const uint32_t bufferBlocks = record.master != 0 ? 2 : 3;
        result = m_stream.Open(m_connection, sinkName, spec, RoundedBlockFrames(record.blockFrames),
                               bufferBlocks, deadline);
    }
    if (result != 0) {
        m_connection.Close();
        return result;
    }
    m_periodMs = TimerPeriodMs(RoundedBlockFrames(record.blockFrames), record.sampleRate);
    // A secondary takes blocks from now on: the master primes its own buffer, and so this
    // one's, before the manager starts the secondaries.
    m_playing.store(record.master == 0, std::memory_order_release);
    return 0;
}

int CPulseOutput::Close()
{
    AssertNotAudioThread("CPulseOutput::Close");
    if (m_playing.load(std::memory_order_relaxed))
        Stop();
    m_pacer.Stop();
    m_pacer.Join();
    m_stream.Close();
    m_connection.Close();
    return 0;
}

int CPulseOutput::Start()
{
    AssertNotAudioThread("CPulseOutput::Start");
    m_pacer.Join();
    if (m_stream.Reconnect(CPulseConnection::Clock::now() + kOpenTimeout) != 0)
        return 1;
    m_pacer.ResetPosition();
    m_playing.store(true, std::memory_order_release);
    if (!IsMaster())
        return 0;
    // Both blocks of the buffer are filled before the stream starts, so the first tick finds
    // it playing.
    for (int block = 0; block < 2; ++block) {
        if (m_manager->RenderNext(-1) != 0)
            return 1;
    }
    if (!m_playing.load(std::memory_order_acquire))
        return 0; // the client had nothing to give
    m_connection.Poll();
    return m_pacer.Start(m_connection, m_stream, *m_manager, m_record->blockFrames, m_periodMs) ? 0 : 1;
}

int CPulseOutput::Stop()
{
    m_playing.store(false, std::memory_order_release);
    m_pacer.Stop();
    if (!m_pacer.OnPacingThread())
        m_pacer.Join();
    // Ending the stream discards what the server holds; Start makes a fresh one.
    m_stream.Drop();
    m_connection.Poll();
    m_pacer.ResetPosition();
    return 0;
}

int CPulseOutput::Write(const void* samples, uint32_t bytes, uint32_t /*frames*/) noexcept
{
    if (!m_playing.load(std::memory_order_acquire)) {
        m_blocksDropped.fetch_add(1, std::memory_order_relaxed);
        return 1;
    }
    bool fits = true;
    if (!IsMaster()) {
        // Nothing else serves this connection's loop: the server's requests are read here. A
        // block that does not fit whole is dropped whole: a part would leave a gap inside it.
        m_connection.Poll();
        fits = m_stream.WritableBytes() >= bytes;
    }
    const int result = fits ? m_stream.Write(samples, bytes) : 1;
    if (!IsMaster()) {
        m_pacer.Publish(m_stream);
        m_stream.RequestTiming();
        m_connection.Poll();
    }
    if (result != 0) {
        m_blocksDropped.fetch_add(1, std::memory_order_relaxed);
        return 1;
    }
    m_blocksWritten.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int CPulseOutput::GetPosition(uint32_t& frames) noexcept
{
    frames = 0;
    // The stream itself is made and ended on the pacing thread; the connection lives from Open
    // to Close.
    if (m_record == nullptr || !m_connection.IsOpen())
        return 1;
    frames = m_pacer.Position();
    return 0;
}
