// Fuzz entry for the WAV reader: the input becomes a file, which is opened, read to the end and
// read again after seeks around its ends. Broken invariants abort, so the corpus replay in the
// normal build catches a regression even without sanitizers.
#include "WavSource.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A hostile file may claim 4 GiB of data; reading it all would only slow the fuzzer down.
constexpr int kMaxBlocksRead = 100000;

// The reader only takes paths, so every input goes through one file per process: parallel
// fuzzing jobs and ctest runs do not share it.
const std::string& InputPath()
{
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        const std::string folder = (base != nullptr && *base != '\0') ? base : "/tmp";
        return folder + "/quandel-fuzz-wav-" + std::to_string(getpid()) + ".wav";
    }();
    return path;
}

void RemoveInput()
{
    std::remove(InputPath().c_str());
}

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "WAV reader invariant broken: %s\n", what);
        std::abort();
    }
}

bool WriteInput(const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Registered after the path exists, so it runs before the path's destructor.
    static const bool removeAtExit = (InputPath(), std::atexit(RemoveInput) == 0);
    (void)removeAtExit;
    if (!WriteInput(data, size))
        return 0;

    CWavSource source;
    if (source.Open(InputPath().c_str()) == 0) {
        Check(source.GetBlockCount() == 0 && source.GetTitle() == nullptr,
              "a refused file leaves state behind");
        return 0;
    }

    constexpr int kBlock = CWavSource::kBlockFrames;
    const int blocks = source.GetBlockCount();
    // Every frame takes at least one byte of the file.
    Check(blocks >= 0 && static_cast<size_t>(blocks) <= (size + kBlock - 1) / kBlock,
          "more blocks than bytes");
    Check(source.GetSampleRate() > 0, "zero sample rate");
    Check(std::isfinite(source.GetBlockDuration()) && source.GetBlockDuration() > 0.0f, "bad block duration");

    std::array<int16_t, kBlock> left{};
    std::array<int16_t, kBlock> right{};
    int read = 0;
    while (read < kMaxBlocksRead) {
        const int frames = source.ReadBlock(left.data(), right.data());
        Check(frames >= 0 && frames <= kBlock, "frame count out of range");
        if (frames == 0)
            break;
        Check(frames == kBlock || read == blocks - 1, "a short block before the last");
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
