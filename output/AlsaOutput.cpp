#include "AlsaOutput.h"

#include "AlsaDeviceList.h"
#include "AudioThread.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"

#include <vector>

namespace {

// The PCM name for an identifier 0 .. 255, or the error number when there is none.
int PcmNameFor(uint32_t identifier, std::string& name)
{
    if (identifier == OutputIds::kAlsaDefault) {
        name = "default";
        return 0;
    }
    std::vector<AlsaPcmDevice> devices;
    if (!AlsaDevices::ReadPlaybackPcms(devices))
        return OutputErrors::kNoDriver;
    if (identifier > OutputIds::kAlsaLast || identifier - OutputIds::kAlsaFirst >= devices.size())
        return OutputErrors::kBadDevice;
    name = devices[identifier - OutputIds::kAlsaFirst].pcmName;
    return 0;
}

} // namespace

CAlsaOutput::~CAlsaOutput()
{
    Close();
}

int CAlsaOutput::Open(COutputDeviceInfo& record, COutputManager& manager)
{
    AssertNotAudioThread("CAlsaOutput::Open");
    Close();
    m_record = &record;
    m_manager = &manager;
    std::string name = m_pcmName;
    int result = name.empty() ? PcmNameFor(record.device, name) : 0;
    if (result == 0)
        result = m_pcm.Open(name);
    if (result != 0)
        return result;
    const uint32_t maxChannels = m_pcm.MaxChannels();
    if (maxChannels == 0) {
        m_pcm.Close();
        return OutputErrors::kNoCapabilities;
    }
    if (maxChannels < 2)
        record.stereo = 0;
    const snd_pcm_format_t format = record.bytesPerSample == 2   ? SND_PCM_FORMAT_S16_LE
                                    : record.bytesPerSample == 1 ? SND_PCM_FORMAT_U8
                                                                 : SND_PCM_FORMAT_UNKNOWN;
    result = format == SND_PCM_FORMAT_UNKNOWN
                 ? OutputErrors::kBadFormat
                 : m_pcm.Configure(format, record.stereo != 0 ? 2 : 1, record.sampleRate, record.blockFrames);
    if (result != 0)
        m_pcm.Close();
    return result;
}

int CAlsaOutput::Close()
{
    AssertNotAudioThread("CAlsaOutput::Close");
    if (m_playing.load(std::memory_order_relaxed))
        Stop();
    m_pacer.Stop();
    m_pacer.Join();
    return m_pcm.Close() == 0 ? 0 : 1;
}

int CAlsaOutput::Start()
{
    AssertNotAudioThread("CAlsaOutput::Start");
    if (!m_pcm.IsOpen())
        return 1;
    m_pacer.Join();
    m_pacer.ResetPosition();
    m_pcm.Prepare();
    m_playing.store(true, std::memory_order_release);
    if (m_record->master == 0)
        return 0;
    // Both ring halves are filled before the device starts, so the first wake-up comes when
    // the first block has played.
    for (int block = 0; block < 2; ++block) {
        if (m_manager->RenderNext(-1) != 0)
            return 1;
    }
    if (!m_playing.load(std::memory_order_acquire))
        return 0; // the client had nothing to give
    return m_pacer.Start(m_pcm, *m_manager, m_record->blockFrames, m_record->sampleRate) ? 0 : 1;
}

int CAlsaOutput::Stop()
{
    m_playing.store(false, std::memory_order_release);
    m_pacer.Stop();
    if (!m_pacer.OnPacingThread())
        m_pacer.Join();
    m_pcm.Drop();
    m_pacer.ResetPosition();
    return 0;
}

int CAlsaOutput::Write(const void* samples, uint32_t /*bytes*/, uint32_t frames) noexcept
{
    if (!m_playing.load(std::memory_order_acquire) || m_pcm.WriteBlock(samples, frames) != 0) {
        m_blocksDropped.fetch_add(1, std::memory_order_relaxed);
        return 1;
    }
    m_blocksWritten.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int CAlsaOutput::GetPosition(uint32_t& frames) noexcept
{
    frames = 0;
    if (m_record == nullptr || !m_pcm.IsOpen())
        return 1;
    frames = m_pacer.Position();
    return 0;
}
