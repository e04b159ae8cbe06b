// Fuzz entry for the MPEG stream and decoders: the input becomes a file, which is opened through
// the MPEG source, read to the end (bounded), and read again after seeks around its ends and into
// the middle. Broken invariants abort, so the corpus replay in the normal build catches a
// regression even without sanitizers.
#include "FuzzInputFile.h"
#include "Mp3Source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A few hundred frames are plenty to reach every decoder path; more only slows the fuzzer.
constexpr int kMaxBlocksRead = 400;

void Check(bool condition, const char* what)
{
    CFuzzInputFile::Check(condition, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile input("mpeg", "mp3");
    if (!input.Write(data, size))
        return 0;

    CMp3Source source;
    if (source.Open(input.Path().c_str()) == 0) {
        Check(source.GetBlockCount() == 0 && source.GetTitle() == nullptr,
              "a refused file leaves state behind");
        return 0;
    }
    const int blocks = source.GetBlockCount();
    const int blockFrames = source.GetBlockFrames();
    // The smallest frame is 24 bytes (MPEG-2 Layer III at 8 kbit/s and 24 kHz).
    Check(blocks >= 1 && static_cast<size_t>(blocks) <= size / 24 + 1, "more frames than bytes allow");
    Check(blockFrames == 384 || blockFrames == 576 || blockFrames == 1152, "odd block size");
    Check(blockFrames <= CAudioSource::kMaxBlockFrames, "block larger than a deck buffer");
    const unsigned rate = source.GetSampleRate();
    Check(rate >= 16000 && rate <= 48000, "sample rate out of range");
    Check(std::isfinite(source.GetBlockDuration()) && source.GetBlockDuration() > 0.0f, "bad block duration");

    std::array<int16_t, CAudioSource::kMaxBlockFrames> left{};
    std::array<int16_t, CAudioSource::kMaxBlockFrames> right{};
    int read = 0;
    while (read < kMaxBlocksRead && source.ReadBlock(left.data(), right.data()) != 0)
        ++read;
    Check(read <= blocks, "more blocks delivered than indexed");

    const int seeks[] = {blocks - 1, 0, blocks, blocks / 2, 3, -1, blocks + 7, 1};
    for (const int block : seeks) {
        source.SeekBlock(block);
        Check(source.GetCurrentBlock() == std::max(block, 0), "seek target lost");
        source.ReadBlock(left.data(), right.data());
        source.ReadBlock(left.data(), right.data());
    }
    source.Close();
    Check(source.GetTitle() == nullptr && source.GetBlockCount() == 0, "close leaves state behind");
    return 0;
}
