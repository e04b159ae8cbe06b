#include "AlsaDeviceList.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

struct HintFree {
    void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};
struct CharFree {
    void operator()(char* text) const { std::free(text); }
};
using HintText = std::unique_ptr<char, CharFree>;

HintText Hint(const void* hint, const char* field)
{
    return HintText(snd_device_name_get_hint(hint, field));
}

struct PcmClose {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

constexpr uint32_t kStandardRates[] = {11025, 22050, 44100};
constexpr size_t kMaxFourChannelPcms = 8;

} // namespace

namespace AlsaDevices {

uint32_t FormatBit(uint32_t rateHz, bool stereo, bool sixteenBit) noexcept
{
    uint32_t rateIndex = 0;
    while (rateIndex < 2 && kStandardRates[rateIndex] != rateHz)
        ++rateIndex;
    return 1u << (rateIndex * 4 + (sixteenBit ? 2 : 0) + (stereo ? 1 : 0));
}

bool ReadPlaybackPcms(std::vector<AlsaPcmDevice>& out)
{
    out.clear();
    void** raw = nullptr;
    if (snd_device_name_hint(-1, "pcm", &raw) < 0 || raw == nullptr)
        return false;
    const std::unique_ptr<void*, HintFree> hints(raw);
    for (void** hint = raw; *hint != nullptr; ++hint) {
        const HintText name = Hint(*hint, "NAME");
        const HintText ioid = Hint(*hint, "IOID");
        // No IOID means both directions.
        if (name == nullptr || (ioid != nullptr && std::string(ioid.get()) == "Input"))
            continue;
        const HintText description = Hint(*hint, "DESC");
        std::string firstLine = description != nullptr ? description.get() : name.get();
        firstLine = firstLine.substr(0, firstLine.find('\n'));
        out.push_back({name.get(), firstLine});
    }
    return true;
}

int ReadCapabilities(const std::string& pcmName, AlsaCapabilities& out)
{
    out = {};
    snd_pcm_t* raw = nullptr;
    const int opened = snd_pcm_open(&raw, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (opened < 0)
        return OpenErrorNumber(opened);
    const std::unique_ptr<snd_pcm_t, PcmClose> pcm(raw);
    snd_pcm_hw_params_t* any = nullptr;
    snd_pcm_hw_params_t* trial = nullptr;
    snd_pcm_hw_params_alloca(&any);
    snd_pcm_hw_params_alloca(&trial);
    unsigned int maxChannels = 0;
    if (snd_pcm_hw_params_any(raw, any) < 0 || snd_pcm_hw_params_get_channels_max(any, &maxChannels) < 0)
        return OutputErrors::kNoCapabilities;
    out.maxChannels = maxChannels;
    out.accepts4Channels = snd_pcm_hw_params_test_channels(raw, any, 4) == 0;
    for (const bool stereo : {false, true}) {
        for (const bool sixteenBit : {false, true}) {
            for (const uint32_t rate : kStandardRates) {
                // Each combination is tested as a whole: a device may offer 8-bit only in mono.
                snd_pcm_hw_params_copy(trial, any);
                if (snd_pcm_hw_params_set_channels(raw, trial, stereo ? 2 : 1) == 0 &&
                    snd_pcm_hw_params_set_format(
                        raw, trial, sixteenBit ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8) == 0 &&
                    snd_pcm_hw_params_test_rate(raw, trial, rate, 0) == 0)
                    out.formats |= FormatBit(rate, stereo, sixteenBit);
            }
        }
    }
    return 0;
}

const std::vector<AlsaPcmDevice>& FourChannelPcms()
{
    static std::vector<AlsaPcmDevice> list;
    static std::once_flag once;
    std::call_once(once, [] {
        std::vector<AlsaPcmDevice> all;
        ReadPlaybackPcms(all);
        for (const auto& device : all) {
            AlsaCapabilities capabilities;
            if (ReadCapabilities(device.pcmName, capabilities) == 0 && capabilities.accepts4Channels)
                list.push_back(device);
            if (list.size() == kMaxFourChannelPcms)
                break;
        }
    });
    return list;
}

int OpenErrorNumber(int alsaError) noexcept
{
    switch (-alsaError) {
    case 0:
        return 0;
    case EBUSY:
        return OutputErrors::kBusy;
    case ENOENT:
    case ENODEV: {
        // A PCM that is missing on a machine without any sound card says more about the
        // machine than about the name.
        int card = -1;
        const bool noCard = snd_card_next(&card) < 0 || card < 0;
        return noCard ? OutputErrors::kNoDriver : OutputErrors::kBadDevice;
    }
    case ENOMEM:
        return OutputErrors::kNoMemory;
    default:
        return OutputErrors::kOpenFailed;
    }
}

} // namespace AlsaDevices
