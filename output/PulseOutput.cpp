#include "PulseOutput.h"

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

int CPulseOutput::OpenDevice(COutputDeviceInfo& record)
{
    using namespace OutputErrors;
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
    SetPlaying(record.master == 0);
    return 0;
}

int CPulseOutput::CloseDevice()
{
    m_stream.Close();
    m_connection.Close();
    return 0;
}

int CPulseOutput::PrepareDevice()
{
    return m_stream.Reconnect(CPulseConnection::Clock::now() + kOpenTimeout) != 0 ? 1 : 0;
}

bool CPulseOutput::StartPacing()
{
    m_connection.Poll();
    return m_pacer.Start(m_connection, m_stream, *m_manager, m_record->blockFrames, m_periodMs);
}

void CPulseOutput::DropDevice() noexcept
{
    // Ending the stream discards what the server holds; Start makes a fresh one.
    m_stream.Drop();
    m_connection.Poll();
}

int CPulseOutput::WriteBlock(const void* samples, uint32_t bytes, uint32_t /*frames*/) noexcept
{
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
    return result;
}
