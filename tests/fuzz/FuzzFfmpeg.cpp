// Fuzz entry for the FFmpeg-backed source: the input becomes a file named by what its first bytes
// look like (so a seed of each format reaches its own demuxer, and anything else one chosen by
// its first byte), which is opened, read to the end and read again after seeks. Broken
// invariants abort, so the corpus replay in the normal build catches a regression.
#include "FfmpegSource.h"
#include "FuzzInputFile.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxBlocksRead = 2000;
constexpr int kBlockFrames = CFfmpegSource::kBlockFrames;
const char* const kExtensions[] = {"flac", "ogg", "opus", "m4a", "aac", "aiff", "wma"};

void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

const char* ExtensionFor(const uint8_t* data, size_t size)
{
    const auto starts = [&](size_t at, const char* magic) {
        return size >= at + std::strlen(magic) && std::memcmp(data + at, magic, std::strlen(magic)) == 0;
    };
    if (starts(0, "fLaC"))
        return "flac";
    if (starts(0, "OggS"))
        return size > 36 && std::memcmp(data + 28, "Opus", 4) == 0 ? "opus" : "ogg";
    if (starts(0, "FORM"))
        return "aiff";
    if (starts(4, "ftyp"))
        return "m4a";
    if (size >= 2 && data[0] == 0xFF && (data[1] & 0xF6) == 0xF0)
        return "aac";
    if (size >= 4 && data[0] == 0x30 && data[1] == 0x26 && data[2] == 0xB2 && data[3] == 0x75)
        return "wma";
    return size > 0 ? kExtensions[data[0] % std::size(kExtensions)] : "flac";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* extension = ExtensionFor(data, size);
    // One file per extension, each written afresh for its input.
    static std::array<std::unique_ptr<CFuzzInputFile>, std::size(kExtensions)> inputs;
    size_t which = 0;
    while (std::strcmp(kExtensions[which], extension) != 0)
        ++which;
    if (!inputs[which])
        inputs[which] = std::make_unique<CFuzzInputFile>("ffmpeg", extension);
    const CFuzzInputFile& input = *inputs[which];
    if (!input.Write(data, size))
        return 0;

    CFfmpegSource source;
    const auto start = std::chrono::steady_clock::now();
    const int opened = source.Open(input.Path().c_str());
    Check(std::chrono::steady_clock::now() - start < std::chrono::seconds(3), "Open ran past its deadline");
    if (opened == 0) {
        Check(source.GetBlockCount() == 0 && source.GetTitle() == nullptr,
              "a refused file leaves state behind");
        Check(source.GetOpenError() != nullptr && source.GetOpenError()[0] != '\0',
              "a file refused without a reason");
        return 0;
    }
    Check(source.GetOpenError() == nullptr, "an opened file reports an error");
    const int blocks = source.GetBlockCount();
    Check(blocks >= 0, "negative block count");
    Check(source.GetTotalFrames() < 0 || (source.GetTotalFrames() <= int64_t{blocks} * kBlockFrames &&
                                          source.GetTotalFrames() > int64_t{blocks - 1} * kBlockFrames),
          "total frames disagree with the block count");
    Check(source.GetSampleRate() > 0, "zero sample rate");
    Check(std::isfinite(source.GetBlockDuration()) && source.GetBlockDuration() > 0.0f, "bad block duration");

    std::array<int16_t, kBlockFrames> left{};
    std::array<int16_t, kBlockFrames> right{};
    int read = 0;
    while (read < kMaxBlocksRead) {
        const int frames = source.ReadBlock(left.data(), right.data());
        Check(frames >= 0 && frames <= kBlockFrames, "frame count out of range");
        if (frames == 0)
            break;
        ++read;
    }
    Check(read == std::min(blocks, kMaxBlocksRead), "blocks read differ from the block count");
    for (const int block : {blocks - 1, 0, blocks, blocks / 2, -1, blocks + 7}) {
        source.SeekBlock(block);
        const int frames = source.ReadBlock(left.data(), right.data());
        Check(block < blocks ? frames > 0 : frames == 0, "seek delivered the wrong block");
    }
    source.Close();
    return 0;
}
