// Fuzz entry for the WAV reader: the input becomes a file, which is opened, read to the end and
// read again after seeks around its ends. Broken invariants abort, so the corpus replay in the
// normal build catches a regression even without sanitizers.
#include "FuzzInputFile.h"
#include "WavSource.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A hostile file may claim 4 GiB of data; reading it all would only slow the fuzzer down.
constexpr int kMaxBlocksRead = 100000;
constexpr int kBlockFrames = CWavSource::kBlockFrames;

void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile input("wav", "wav");
    if (!input.Write(data, size))
        return 0;

    CWavSource source;
    if (source.Open(input.Path().c_str()) == 0) {
        Check(source.GetBlockCount() == 0 && source.GetTitle() == nullptr,
              "a refused file leaves state behind");
        Check(source.GetOpenError() != nullptr && source.GetOpenError()[0] != '\0',
              "a file refused without a reason");
        return 0;
    }
    Check(source.GetOpenError() == nullptr, "an opened file reports an error");
    Check(source.GetTotalFrames() >= 0 &&
              source.GetTotalFrames() <= int64_t{source.GetBlockCount()} * kBlockFrames &&
              source.GetTotalFrames() > int64_t{source.GetBlockCount() - 1} * kBlockFrames,
          "total frames disagree with the block count");

    const int blocks = source.GetBlockCount();
    // Every frame takes at least one byte of the file.
    Check(blocks >= 0 && static_cast<size_t>(blocks) <= (size + kBlockFrames - 1) / kBlockFrames,
          "more blocks than bytes");
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
        Check(frames == kBlockFrames || read == blocks - 1, "a short block before the last");
        ++read;
    }
    Check(read == std::min(blocks, kMaxBlocksRead), "blocks read differ from the block count");

    const int seeks[] = {blocks - 1, 0, blocks, blocks / 2, -1, blocks + 7};
    for (const int block : seeks) {
        source.SeekBlock(block);
        const int frames = source.ReadBlock(left.data(), right.data());
        const bool inside = block < blocks && (block >= 0 || blocks > 0);
        Check(inside ? frames > 0 : frames == 0, "seek delivered the wrong block");
    }
    source.Close();
    return 0;
}
