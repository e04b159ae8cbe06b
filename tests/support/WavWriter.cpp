#include "WavWriter.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace {

void PutId(std::vector<uint8_t>& out, const std::string& id)
{
    for (size_t i = 0; i < 4; ++i)
        out.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
}

void Put16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

void PutChunk(std::vector<uint8_t>& out, const WavChunk& chunk)
{
    PutId(out, chunk.id);
    Put32(out, static_cast<uint32_t>(chunk.body.size()));
    out.insert(out.end(), chunk.body.begin(), chunk.body.end());
}

} // namespace

WavChunk ListInfoChunk(const std::string& title)
{
    WavChunk chunk{"LIST", {}};
    PutId(chunk.body, "INFO");
    PutId(chunk.body, "INAM");
    std::string text = title;
    text.push_back('\0');
    if (text.size() % 2 != 0)
        text.push_back('\0');
    Put32(chunk.body, static_cast<uint32_t>(text.size()));
    chunk.body.insert(chunk.body.end(), text.begin(), text.end());
    return chunk;
}

int WavSampleBytes(uint16_t bitsPerSample)
{
    return std::clamp((bitsPerSample + 7) / 8, 1, 8);
}

std::vector<uint8_t> BuildWav(const WavFormat& format, const std::vector<int16_t>& interleaved16,
                              const WavLayout& layout)
{
    const int sampleBytes = WavSampleBytes(format.bitsPerSample);
    std::vector<uint8_t> data;
    data.reserve(interleaved16.size() * static_cast<size_t>(sampleBytes));
    for (const int16_t sample : interleaved16) {
        const auto bits = static_cast<uint16_t>(sample);
        if (sampleBytes == 1) {
            data.push_back(static_cast<uint8_t>((bits >> 8) ^ 0x80));
            continue;
        }
        data.insert(data.end(), static_cast<size_t>(sampleBytes - 2), uint8_t{0});
        Put16(data, bits);
    }
    return BuildWavFromData(format, data, layout);
}

std::vector<uint8_t> BuildFloatWav(const WavFormat& format, const std::vector<double>& interleaved,
                                   const WavLayout& layout)
{
    std::vector<uint8_t> data;
    for (const double sample : interleaved) {
        if (format.bitsPerSample == 64) {
            const auto bits = std::bit_cast<uint64_t>(sample);
            Put32(data, static_cast<uint32_t>(bits));
            Put32(data, static_cast<uint32_t>(bits >> 32));
        } else {
            Put32(data, std::bit_cast<uint32_t>(static_cast<float>(sample)));
        }
    }
    return BuildWavFromData(format, data, layout);
}

std::vector<uint8_t> BuildWavFromData(const WavFormat& format, const std::vector<uint8_t>& data,
                                      const WavLayout& layout)
{
    const auto blockAlign = layout.blockAlign.value_or(
        static_cast<uint16_t>(format.channels * WavSampleBytes(format.bitsPerSample)));

    const uint32_t extensionBytes = layout.extension ? 24 : 0; // size field and its 22 bytes
    std::vector<uint8_t> formatChunk;
    PutId(formatChunk, "fmt ");
    Put32(formatChunk, 16 + extensionBytes + layout.formatExtraBytes);
    Put16(formatChunk, format.formatTag);
    Put16(formatChunk, format.channels);
    Put32(formatChunk, format.rate);
    Put32(formatChunk, format.rate * blockAlign);
    Put16(formatChunk, blockAlign);
    Put16(formatChunk, format.bitsPerSample);
    if (const auto& extension = layout.extension) {
        Put16(formatChunk, 22);
        Put16(formatChunk, extension->validBits != 0 ? extension->validBits : format.bitsPerSample);
        Put32(formatChunk, extension->channelMask);
        Put16(formatChunk, extension->subFormat);
        // The rest of KSDATAFORMAT_SUBTYPE_PCM and its family; the foreign one differs in a byte.
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        formatChunk.insert(formatChunk.end(), tail, tail + 14);
        if (extension->foreignGuid)
            formatChunk.back() ^= 0xFF;
    }
    formatChunk.insert(formatChunk.end(), layout.formatExtraBytes, uint8_t{0});

    std::vector<uint8_t> dataChunk;
    for (const WavChunk& chunk : layout.beforeData)
        PutChunk(dataChunk, chunk);
    PutId(dataChunk, "data");
    Put32(dataChunk, layout.dataBytes.value_or(static_cast<uint32_t>(data.size())));
    dataChunk.insert(dataChunk.end(), data.begin(), data.end());

    std::vector<uint8_t> body;
    PutId(body, "WAVE");
    for (const WavChunk& chunk : layout.beforeFormat)
        PutChunk(body, chunk);
    const auto& first = layout.dataBeforeFormat ? dataChunk : formatChunk;
    const auto& second = layout.dataBeforeFormat ? formatChunk : dataChunk;
    body.insert(body.end(), first.begin(), first.end());
    body.insert(body.end(), second.begin(), second.end());

    std::vector<uint8_t> file;
    PutId(file, "RIFF");
    Put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    // An empty vector's data() may be null, which fwrite must not be given.
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool WriteStereoWav16(const std::string& path, const std::vector<int16_t>& left,
                      const std::vector<int16_t>& right, uint32_t rate)
{
    if (left.size() != right.size())
        return false;
    std::vector<int16_t> interleaved;
    interleaved.reserve(2 * left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    WavFormat format;
    format.rate = rate;
    return WriteFile(path, BuildWav(format, interleaved));
}
