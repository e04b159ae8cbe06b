#include "Pulse4chOutput.h"

#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "PulseDeviceList.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr uint32_t kChannels = CFourChannelBlock::kChannels;
constexpr auto kOpenTimeout = std::chrono::milliseconds(700);

} // namespace

uint32_t CPulse4chOutput::TimerPeriodMs(uint32_t blockFrames, uint32_t rateHz) noexcept
{
    if (rateHz == 0)
        return 20;
    const uint64_t periodMs = static_cast<uint64_t>(blockFrames) * 400 / rateHz;
    return static_cast<uint32_t>(std::clamp<uint64_t>(periodMs, 1, 50));
}

CPulse4chOutput::~CPulse4chOutput()
{
    Close();
}

int CPulse4chOutput::OpenDevice(COutputDeviceInfo& record)
{
    using namespace OutputErrors;
    if (record.master == 0) {
        // The secondary joins the master opened on this manager, when it is one of this kind.
        auto* master = dynamic_cast<CPulse4chOutput*>(m_manager->Master());
        if (master == nullptr || master->m_block == nullptr)
            return kNotServed;
        m_block = master->m_block;
        return 0;
    }
    const auto& sinks = PulseDevices::FourChannelSinks();
    if (record.device < OutputIds::kServer4chFirst || record.device > OutputIds::kServer4chLast ||
        record.device - OutputIds::kServer4chFirst >= sinks.size())
        return kNotServed;
    if (record.bytesPerSample != 2 || record.sampleRate == 0)
        return kServerFormat;
    // The manager rounds the block to whole ticks after Open; the buffer is sized for that.
    const uint32_t blockFrames = std::clamp<uint32_t>((record.blockFrames + 127) / 128, 1, 128) * 128;
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = record.sampleRate;
    spec.channels = kChannels;
    const auto deadline = CPulseConnection::Clock::now() + kOpenTimeout;
    int result = m_connection.Connect(deadline);
    if (result == 0) {
        result = m_stream.Open(m_connection, sinks[record.device - OutputIds::kServer4chFirst].name, spec,
                               blockFrames, 2, deadline);
    }
    if (result != 0) {
        m_connection.Close();
        return result;
    }
    record.stereo = 1;
    m_block = std::make_shared<CFourChannelBlock>(blockFrames, CFourChannelBlock::MonoBlocks::OnBothSpeakers);
    m_block->SetMaster(this);
    m_periodMs = TimerPeriodMs(blockFrames, record.sampleRate);
    return 0;
}

int CPulse4chOutput::CloseDevice()
{
    // The secondary may outlive its master (the manager closes the master first): it keeps the
    // block but no longer finds the master's position.
    if (m_block != nullptr && m_block->Master() == this)
        m_block->SetMaster(nullptr);
    m_block.reset();
    m_stream.Close();
    m_connection.Close();
    return 0;
}

int CPulse4chOutput::PrepareDevice()
{
    return m_stream.Reconnect(CPulseConnection::Clock::now() + kOpenTimeout) != 0 ? 1 : 0;
}

bool CPulse4chOutput::StartPacing()
{
    m_connection.Poll();
    return m_pacer.Start(m_connection, m_stream, *m_manager, m_record->blockFrames, m_periodMs);
}

void CPulse4chOutput::DropDevice() noexcept
{
    // Ending the stream discards what the server holds; Start makes a fresh one.
    m_stream.Drop();
    m_connection.Poll();
}

int CPulse4chOutput::Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    // A secondary writes from within the master's render cycle, the priming blocks of its
    // Start included, so it takes every block while it has a master.
    return WriteBlock(samples, bytes, frames);
}

int CPulse4chOutput::WriteBlock(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (m_block == nullptr)
        return 1;
    return IsMaster() ? m_block->PutFirstPair(samples, bytes, frames)
                      : m_block->PutSecondPair(samples, bytes, frames);
}

int CPulse4chOutput::Commit() noexcept
{
    if (!IsMaster() || !Playing() || m_block == nullptr)
        return 1;
    return m_stream.Write(m_block->Samples(),
                          static_cast<size_t>(m_block->Frames()) * kChannels * sizeof(int16_t));
}

int CPulse4chOutput::GetPosition(uint32_t& frames) noexcept
{
    if (IsMaster())
        return CPacedOutput::GetPosition(frames);
    // The master may have been closed first; it no longer answers then.
    frames = 0;
    COutputDriver* master = m_block != nullptr ? m_block->Master() : nullptr;
    return master != nullptr ? master->GetPosition(frames) : 1;
}
