#include "Alsa4chOutput.h"

#include "AlsaDeviceList.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"

#include <memory>

namespace {

constexpr uint32_t kChannels = CFourChannelBlock::kChannels;

} // namespace

CAlsa4chOutput::~CAlsa4chOutput()
{
    Close();
}

int CAlsa4chOutput::OpenDevice(COutputDeviceInfo& record)
{
    if (record.master == 0) {
        // The block of the master opened on this manager, when it is one of this kind; without
        // it the secondary's blocks are lost.
        if (auto* master = dynamic_cast<CAlsa4chOutput*>(m_manager->Master()); master != nullptr)
            m_block = master->m_block;
        return 0;
    }
    std::string name = m_pcmName;
    if (name.empty()) {
        const auto& devices = AlsaDevices::FourChannelPcms();
        if (record.device < OutputIds::kAlsa4chFirst ||
            record.device - OutputIds::kAlsa4chFirst >= devices.size())
            return OutputErrors::kBadDevice;
        name = devices[record.device - OutputIds::kAlsa4chFirst].pcmName;
    }
    if (record.bytesPerSample != 2)
        return OutputErrors::kBadFormat;
    int result = m_pcm.Open(name);
    if (result != 0)
        return result;
    if (m_pcm.MaxChannels() < kChannels) {
        m_pcm.Close();
        return OutputErrors::kNoCapabilities;
    }
    record.stereo = 1;
    result = m_pcm.Configure(SND_PCM_FORMAT_S16_LE, kChannels, record.sampleRate, record.blockFrames);
    if (result != 0) {
        m_pcm.Close();
        return result;
    }
    m_block = std::make_shared<CFourChannelBlock>(record.blockFrames, CFourChannelBlock::MonoBlocks::Refused);
    return 0;
}

int CAlsa4chOutput::CloseDevice()
{
    m_block.reset();
    if (!IsMaster() || !m_pcm.IsOpen())
        return 0;
    return m_pcm.Close() == 0 ? 0 : 1;
}

int CAlsa4chOutput::PrepareDevice()
{
    if (!m_pcm.IsOpen())
        return 1;
    m_pcm.Prepare();
    return 0;
}

bool CAlsa4chOutput::StartPacing()
{
    return m_pacer.Start(m_pcm, *m_manager, m_record->blockFrames, m_record->sampleRate);
}

int CAlsa4chOutput::Write(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    // The secondary writes from within the master's render cycle, so it takes every block
    // while it shares a master's block.
    return WriteBlock(samples, bytes, frames);
}

int CAlsa4chOutput::WriteBlock(const void* samples, uint32_t bytes, uint32_t frames) noexcept
{
    if (m_block == nullptr)
        return 1;
    return IsMaster() ? m_block->PutFirstPair(samples, bytes, frames)
                      : m_block->PutSecondPair(samples, bytes, frames);
}

int CAlsa4chOutput::Commit() noexcept
{
    if (!IsMaster() || !Playing() || m_block == nullptr)
        return 1;
    return m_pcm.WriteBlock(m_block->Samples(), m_block->Frames());
}
