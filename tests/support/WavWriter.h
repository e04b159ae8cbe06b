#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// RIFF/WAVE files made by tests: plain ones for decks to play, and broken ones for the reader.

// What the "fmt " chunk declares.
struct WavFormat {
    uint16_t formatTag = 1; // 1 = integer PCM, 3 = float, 0xFFFE = extensible
    uint16_t channels = 2;
    uint32_t rate = 44100;       // Hz
    uint16_t bitsPerSample = 16; // 8, 16, 24 or 32; the sample bytes written follow it
};

// A chunk written as it is: identifier, size, body, and no pad byte after an odd size.
struct WavChunk {
    std::string id; // four characters
    std::vector<uint8_t> body;
};

// The WAVE_FORMAT_EXTENSIBLE part of "fmt " (written after the 16 PCM bytes, with its size field
// of 22); the format's tag should then be 0xFFFE and its bits the container width.
struct WavExtension {
    uint16_t validBits = 0;   // 0 = the container width
    uint32_t channelMask = 0; // speaker bits, 0 = none given
    uint16_t subFormat = 1;   // 1 = PCM, 3 = float: the first two bytes of the sub-format GUID
    bool foreignGuid = false; // a GUID outside the family of plain format tags
};

// Where a file departs from the plain RIFF, "fmt ", "data" layout.
struct WavLayout {
    std::vector<WavChunk> beforeFormat; // between the RIFF header and "fmt "
    std::vector<WavChunk> beforeData;   // between "fmt " and "data"
    bool dataBeforeFormat = false;      // "data" (with its chunks before it) precedes "fmt "
    uint32_t formatExtraBytes = 0;      // zero bytes appended to the 16-byte PCM format
    std::optional<uint16_t> blockAlign; // a lying block align; by default channels x sample bytes
    std::optional<uint32_t> dataBytes;  // a lying "data" size; by default the bytes written
    std::optional<WavExtension> extension;
};

// A "LIST" chunk of "INFO" text, as tagging tools put between "fmt " and "data"; its size is
// even.
WavChunk ListInfoChunk(const std::string& title);

// Bytes per sample for a bit depth: 8 -> 1 ... 32 -> 4, 64 -> 8.
int WavSampleBytes(uint16_t bitsPerSample);

// A file of 16-bit interleaved samples widened or narrowed to the format's depth: 8-bit keeps
// the top byte (offset to unsigned), 24 and 32-bit put the sample in the top 16 bits with the
// low bytes zero, so a reader that keeps the top 16 bits gets the samples back exactly.
std::vector<uint8_t> BuildWav(const WavFormat& format, const std::vector<int16_t>& interleaved16,
                              const WavLayout& layout = {});
// A file of float samples, interleaved, each written as a 32 or 64-bit IEEE float as the
// format's bits say (NaN and infinities as they are).
std::vector<uint8_t> BuildFloatWav(const WavFormat& format, const std::vector<double>& interleaved,
                                   const WavLayout& layout = {});
// A file whose "data" chunk holds these bytes as they are.
std::vector<uint8_t> BuildWavFromData(const WavFormat& format, const std::vector<uint8_t>& data,
                                      const WavLayout& layout = {});

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
// Left and right must be equally long.
bool WriteStereoWav16(const std::string& path, const std::vector<int16_t>& left,
                      const std::vector<int16_t>& right, uint32_t rate = 44100);
