#include "OutputDevices.h"

#include "Alsa4chOutput.h"
#include "AlsaDeviceList.h"
#include "AlsaOutput.h"
#include "AudioLibraryMessages.h"
#include "AudioThread.h"
#include "JackOutput.h"
#include "OutputDeviceInfo.h"
#include "Pulse4chOutput.h"
#include "PulseDeviceList.h"
#include "PulseOutput.h"
#include "WavRecorderOutput.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace OutputIds;
using AlsaDevices::FormatBit;

// The format a device's standard-format bits call for, in the channel layout given.
void PickFormat(uint32_t formats, bool stereo, COutputDeviceInfo& record)
{
    struct Choice {
        uint32_t rate;
        bool sixteenBit;
    };
    constexpr Choice kOrder[] = {{44100, true},  {22050, true},  {11025, true},
                                 {44100, false}, {22050, false}, {11025, false}};
    for (const Choice& choice : kOrder) {
        if ((formats & FormatBit(choice.rate, stereo, choice.sixteenBit)) != 0) {
            record.sampleRate = static_cast<uint16_t>(choice.rate);
            break;
        }
    }
    uint32_t sixteen = 0;
    uint32_t eight = 0;
    for (const uint32_t rate : {11025u, 22050u, 44100u}) {
        sixteen |= FormatBit(rate, stereo, true);
        eight |= FormatBit(rate, stereo, false);
    }
    if ((formats & sixteen) != 0)
        record.bytesPerSample = 2;
    else if ((formats & eight) != 0)
        record.bytesPerSample = 1;
}

// A device whose capabilities cannot be read (a server that is not running) is still listed,
// with the preset format.
void FillFromCapabilities(const std::string& pcmName, bool fourChannel, COutputDeviceInfo& record)
{
    AlsaCapabilities capabilities;
    if (AlsaDevices::ReadCapabilities(pcmName, capabilities) != 0)
        return;
    record.formats = capabilities.formats;
    // Positions come from the device's own frame counter.
    record.support = 0x20; // WAVECAPS_SAMPLEACCURATE
    const bool stereo = fourChannel || capabilities.maxChannels >= 2;
    record.stereo = stereo ? 1 : 0;
    PickFormat(capabilities.formats, stereo, record);
}

bool FindAlsa(uint32_t identifier, COutputDeviceInfo& record)
{
    if (identifier == kAlsaDefault) {
        record.device = kAlsaDefault;
        record.name = "ALSA Default Device";
        return true;
    }
    std::vector<AlsaPcmDevice> devices;
    if (!AlsaDevices::ReadPlaybackPcms(devices) || identifier - kAlsaFirst >= devices.size() ||
        identifier > kAlsaLast)
        return false;
    const AlsaPcmDevice& device = devices[identifier - kAlsaFirst];
    record.device = identifier;
    record.name = "ALSA: " + device.description;
    FillFromCapabilities(device.pcmName, false, record);
    return true;
}

bool FindAlsa4ch(uint32_t identifier, COutputDeviceInfo& record)
{
    const auto& devices = AlsaDevices::FourChannelPcms();
    if (identifier > kAlsa4chLast || identifier - kAlsa4chFirst >= devices.size())
        return false;
    const AlsaPcmDevice& device = devices[identifier - kAlsa4chFirst];
    record.device = identifier;
    record.name = "ALSA4CH: " + device.description;
    FillFromCapabilities(device.pcmName, true, record);
    record.stereo = 1;
    return true;
}

// The pro-audio kind has one entry: the JACK server this program connects to (the default one,
// or the one JACK_DEFAULT_SERVER names). It is listed whether or not the server runs, as an
// installed driver is; opening it without a server fails.
bool FindJack(uint32_t identifier, COutputDeviceInfo& record)
{
    if (identifier > kProAudioFirst)
        return false;
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    record.device = kProAudioFirst;
    record.name = std::string("JACK: ") + (server != nullptr && *server != '\0' ? server : "default");
    record.sampleRate = 44100;
    record.bytesPerSample = 2;
    record.stereo = 1;
    record.master = 1;
    record.secondary = 0;
    return true;
}

// The sound server's entries exist only while a server answered when the list was read.
bool FindServer(uint32_t identifier, COutputDeviceInfo& record)
{
    if (identifier > kServerLast || !PulseDevices::ServerReachable())
        return false;
    if (identifier == kServerFirst) {
        record.device = identifier;
        record.name = "Sound Server Default Output";
        return true;
    }
    const auto& sinks = PulseDevices::Sinks();
    if (identifier - kServerFirst - 1 >= sinks.size())
        return false;
    record.device = identifier;
    record.name = "PULSE: " + sinks[identifier - kServerFirst - 1].description;
    return true;
}

// Four-channel streams pace as masters; a secondary joins one only through a record that
// allows it.
bool FindServer4ch(uint32_t identifier, COutputDeviceInfo& record)
{
    const auto& sinks = PulseDevices::FourChannelSinks();
    if (identifier > kServer4chLast || identifier - kServer4chFirst >= sinks.size())
        return false;
    record.device = identifier;
    record.name = "PULSE4CH: " + sinks[identifier - kServer4chFirst].description;
    record.master = 1;
    record.secondary = 0;
    return true;
}

bool FindRecorder(COutputDeviceInfo& record)
{
    record.device = kWavRecorder;
    record.name = ".WAV File Recorder";
    record.sampleRate = 44100;
    record.bytesPerSample = 2;
    record.stereo = 1;
    record.master = 0;
    record.secondary = 1;
    return true;
}

} // namespace

int GetDevice(uint32_t identifier, COutputDeviceInfo& record)
{
    CAudioLibraryMessages::Quieten();
    AssertNotAudioThread("GetDevice");
    record.blockFrames = 4096;
    record.stereo = 1;
    record.sampleRate = 44100;
    record.bytesPerSample = 2;
    record.device = identifier;
    record.master = 1;
    record.secondary = 1;
    record.formats = 0;
    record.support = 0;
    record.name.clear();
    if (identifier > kWavRecorder && identifier < kAlsa4chFirst)
        return 1;
    if (identifier < kAlsa4chFirst) {
        // The sound server kind (256 ..), then the pro-audio server (512 ..), then the recorder.
        if (identifier <= kAlsaLast && FindAlsa(identifier, record))
            return 0;
        if (identifier <= kServerLast && FindServer(std::max(identifier, kServerFirst), record))
            return 0;
        if (identifier <= kProAudioLast && FindJack(std::max(identifier, kProAudioFirst), record))
            return 0;
        return FindRecorder(record) ? 0 : 1;
    }
    if (FindAlsa4ch(std::max(identifier, kAlsa4chFirst), record))
        return 0;
    if (FindServer4ch(std::max(identifier, kServer4chFirst), record))
        return 0;
    return 1;
}

std::unique_ptr<COutputDriver> CreateDriver(const COutputDeviceInfo& record)
{
    const uint32_t id = record.device;
    if (id <= kAlsaLast)
        return std::make_unique<CAlsaOutput>();
    if (id >= kServerFirst && id <= kServerLast)
        return std::make_unique<CPulseOutput>();
    if (id >= kProAudioFirst && id <= kProAudioLast)
        return std::make_unique<CJackOutput>();
    if (id == kWavRecorder)
        return std::make_unique<CWavRecorderOutput>();
    if (id >= kAlsa4chFirst && id <= kAlsa4chLast)
        return std::make_unique<CAlsa4chOutput>();
    if (id >= kServer4chFirst && id <= kServer4chLast)
        return std::make_unique<CPulse4chOutput>();
    return nullptr;
}
