#pragma once

#include <cstdint>
#include <memory>

class COutputDriver;
struct COutputDeviceInfo;

// Device identifiers: their range selects the driver class.
namespace OutputIds {
constexpr uint32_t kAlsaDefault = 0; // ALSA's "default" PCM
constexpr uint32_t kAlsaFirst = 1;   // 1 .. 255: the playback PCMs of ALSA's hint list
constexpr uint32_t kAlsaLast = 255;
constexpr uint32_t kServerFirst = 256; // 256 .. 511: sound server outputs
constexpr uint32_t kServerLast = 511;
constexpr uint32_t kProAudioFirst = 512; // 512 .. 767: pro-audio server
constexpr uint32_t kProAudioLast = 767;
constexpr uint32_t kWavRecorder = 768;
constexpr uint32_t kAlsa4chFirst = 1024; // 1024 .. 1279: PCMs that accept four channels
constexpr uint32_t kAlsa4chLast = 1279;
constexpr uint32_t kServer4chFirst = 1280; // 1280 .. 1535: sound server outputs of 4+ channels
constexpr uint32_t kServer4chLast = 1535;
} // namespace OutputIds

// User-interface thread (it opens devices to read their capabilities).
// Fills record for the first existing device whose identifier is at least identifier and
// returns 0; nonzero when none is left. Walk the list by asking for the identifier got back
// plus one.
int GetDevice(uint32_t identifier, COutputDeviceInfo& record);
// A new, unopened driver for the record's identifier; null outside every range and for kinds
// this build does not serve.
std::unique_ptr<COutputDriver> CreateDriver(const COutputDeviceInfo& record);
