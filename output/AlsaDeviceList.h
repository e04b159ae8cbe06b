#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ALSA's playback PCMs as the device list presents them, and the capabilities a PCM reports
// in the layout of the wave-out format bits, so that one set of rules picks a device's format.

struct AlsaPcmDevice {
    std::string pcmName;     // what snd_pcm_open takes
    std::string description; // first line of the hint's description
};

struct AlsaCapabilities {
    uint32_t formats = 0;     // WAVE_FORMAT bits: 0x1 11.025 kHz mono 8-bit .. 0x800 44.1 kHz stereo 16-bit
    uint32_t maxChannels = 0; // the most channels the PCM accepts
    bool accepts4Channels = false;
};

// Open errors of the wave-out kinds.
namespace OutputErrors {
constexpr int kOpenFailed = 1010;
constexpr int kNoCapabilities = 1011; // unreadable, or too few channels for the kind
constexpr int kBusy = 1012;
constexpr int kBadDevice = 1013;
constexpr int kNoDriver = 1014; // no ALSA configuration or hint list
constexpr int kNoMemory = 1015;
constexpr int kBadFormat = 1016; // format, channels, rate or block refused
} // namespace OutputErrors

namespace AlsaDevices {
// The wave-out format bit for a rate of 11025, 22050 or 44100 Hz.
uint32_t FormatBit(uint32_t rateHz, bool stereo, bool sixteenBit) noexcept;

// User-interface thread: these read ALSA's configuration and open PCMs.
// The playback entries of the hint list in list order (entries marked Input skipped), or
// false when the list cannot be read.
bool ReadPlaybackPcms(std::vector<AlsaPcmDevice>& out);
// Opens the PCM without blocking and tests the twelve standard formats; 0, or the open error
// number (1010 .. 1016) when it cannot be read.
int ReadCapabilities(const std::string& pcmName, AlsaCapabilities& out);
// Hint-list PCMs that accept four channels, read once per run, at most 8.
const std::vector<AlsaPcmDevice>& FourChannelPcms();

// The driver's error number for an ALSA error code from opening a PCM.
int OpenErrorNumber(int alsaError) noexcept;
} // namespace AlsaDevices
