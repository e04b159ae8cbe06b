// Fuzz entry for the FFmpeg-backed source: the input becomes a file named by what its first bytes
// look like (so a seed of each format reaches its own demuxer, and anything else one chosen by
// its first byte), which is opened, read to the end and read again after seeks. Broken
// invariants abort, so the corpus replay in the normal build catches a regression.
#include "FfmpegSource.h"
#include "FuzzFormatFiles.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxBlocksRead = 2000;
constexpr int kBlockFrames = CFfmpegSource::kBlockFrames;
void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CFuzzFormatFiles files("ffmpeg", {"flac", "ogg", "opus", "m4a", "aac", "aiff", "wma"});
    const CFuzzInputFile* input = files.Write(data, size);
    if (input == nullptr)
        return 0;

    CFfmpegSource source;
    const auto start = std::chrono::steady_clock::now();
    const int opened = source.Open(input->Path().c_str());
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
