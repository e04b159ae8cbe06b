#include "AlsaPcm.h"

#include "AlsaDeviceList.h"
#include "AudioLibraryMessages.h"

#include <algorithm>
#include <cerrno>

int CAlsaPcm::Open(const std::string& pcmName)
{
    Close();
    CAudioLibraryMessages::Quieten();
    const int result = snd_pcm_open(&m_pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (result < 0) {
        m_pcm = nullptr;
        return AlsaDevices::OpenErrorNumber(result);
    }
    return 0;
}

uint32_t CAlsaPcm::MaxChannels()
{
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    unsigned int channels = 0;
    if (m_pcm == nullptr || snd_pcm_hw_params_any(m_pcm, params) < 0 ||
        snd_pcm_hw_params_get_channels_max(params, &channels) < 0)
        return 0;
    return channels;
}

int CAlsaPcm::Configure(snd_pcm_format_t format, uint32_t channels, uint32_t rateHz, uint32_t blockFrames)
{
    using namespace OutputErrors;
    if (m_pcm == nullptr)
        return kOpenFailed;
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    if (snd_pcm_hw_params_any(m_pcm, params) < 0)
        return kNoCapabilities;
    // The device's rate converter stays allowed: a card that only runs at 48 kHz still plays.
    if (snd_pcm_hw_params_set_access(m_pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(m_pcm, params, format) < 0 ||
        snd_pcm_hw_params_set_channels(m_pcm, params, channels) < 0 || rateHz == 0 ||
        snd_pcm_hw_params_set_rate(m_pcm, params, rateHz, 0) < 0)
        return kBadFormat;
    snd_pcm_uframes_t period = blockFrames;
    int dir = 0;
    if (snd_pcm_hw_params_set_period_size_near(m_pcm, params, &period, &dir) < 0)
        return kBadFormat;
    // Two blocks in the ring: one playing, one being made. A device that insists on more
    // only adds latency; the pacing renders whenever a whole block is free.
    snd_pcm_uframes_t ring = 2 * static_cast<snd_pcm_uframes_t>(blockFrames);
    if (snd_pcm_hw_params_set_buffer_size_near(m_pcm, params, &ring) < 0 || ring < 2 * blockFrames)
        return kBadFormat;
    if (snd_pcm_hw_params(m_pcm, params) < 0)
        return kBadFormat;
    snd_pcm_hw_params_get_period_size(params, &period, &dir);
    snd_pcm_hw_params_get_buffer_size(params, &ring);
    m_periodFrames = static_cast<uint32_t>(period);
    m_ringFrames = static_cast<uint32_t>(ring);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    // Wake-ups only when a whole block fits; play once two blocks are queued.
    if (snd_pcm_sw_params_current(m_pcm, sw) < 0 ||
        snd_pcm_sw_params_set_avail_min(m_pcm, sw, blockFrames) < 0 ||
        snd_pcm_sw_params_set_start_threshold(m_pcm, sw, 2 * static_cast<snd_pcm_uframes_t>(blockFrames)) <
            0 ||
        snd_pcm_sw_params(m_pcm, sw) < 0)
        return kOpenFailed;
    m_frameBytes = static_cast<uint32_t>(snd_pcm_format_physical_width(format) / 8 * channels);
    return 0;
}

int CAlsaPcm::Close() noexcept
{
    if (m_pcm == nullptr)
        return 0;
    const int result = snd_pcm_close(m_pcm);
    m_pcm = nullptr;
    return result;
}

int CAlsaPcm::Prepare() noexcept
{
    m_framesWritten = 0;
    return m_pcm != nullptr ? snd_pcm_prepare(m_pcm) : -ENODEV;
}

void CAlsaPcm::Drop() noexcept
{
    if (m_pcm != nullptr)
        snd_pcm_drop(m_pcm);
}

bool CAlsaPcm::Recover(int error) noexcept
{
    if (error == -EPIPE || error == -ESTRPIPE) {
        m_underruns.fetch_add(1, std::memory_order_relaxed);
        return snd_pcm_prepare(m_pcm) == 0;
    }
    return false;
}

long CAlsaPcm::Avail() noexcept
{
    if (m_pcm == nullptr)
        return -ENODEV;
    snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
    if (avail < 0 && Recover(static_cast<int>(avail)))
        avail = snd_pcm_avail_update(m_pcm);
    return avail;
}

int CAlsaPcm::WriteBlock(const void* samples, uint32_t frames) noexcept
{
    const long avail = Avail();
    if (avail < static_cast<long>(frames))
        return 1;
    snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, samples, frames);
    if (written < 0 && Recover(static_cast<int>(written)))
        written = snd_pcm_writei(m_pcm, samples, frames);
    if (written < 0)
        return 1;
    // Room was checked first, so a short count only comes from a device that shrank its ring
    // meanwhile; the rest of the block is lost like a refused block.
    m_framesWritten += static_cast<uint32_t>(written);
    return static_cast<uint32_t>(written) == frames ? 0 : 1;
}

uint32_t CAlsaPcm::PlayedFrames() noexcept
{
    snd_pcm_sframes_t delay = 0;
    if (m_pcm == nullptr || snd_pcm_delay(m_pcm, &delay) < 0)
        delay = 0;
    delay = std::clamp<snd_pcm_sframes_t>(delay, 0, m_framesWritten);
    return m_framesWritten - static_cast<uint32_t>(delay);
}
