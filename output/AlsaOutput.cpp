#include "AlsaOutput.h"

#include "AlsaDeviceList.h"
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

int CAlsaOutput::OpenDevice(COutputDeviceInfo& record)
{
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

int CAlsaOutput::CloseDevice()
{
    return m_pcm.Close() == 0 ? 0 : 1;
}

int CAlsaOutput::PrepareDevice()
{
    if (!m_pcm.IsOpen())
        return 1;
    m_pcm.Prepare();
    return 0;
}

bool CAlsaOutput::StartPacing()
{
    return m_pacer.Start(m_pcm, *m_manager, m_record->blockFrames, m_record->sampleRate);
}

int CAlsaOutput::WriteBlock(const void* samples, uint32_t /*bytes*/, uint32_t frames) noexcept
{
    return m_pcm.WriteBlock(samples, frames);
}
