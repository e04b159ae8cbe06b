#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A track cut into fixed-size blocks addressed by index. A deck pulls blocks in any order into
// its sample store; each block arrives as two planes of signed 16-bit samples (a mono source
// writes the same samples to both). The virtual slots keep this order.
//
// Threads: Open and Close on the loader thread; SeekBlock and ReadBlock on the refill thread,
// under the deck's store lock; the getters on any thread once Open has returned.
class CAudioSource {
public:
    virtual ~CAudioSource() = default;

    // The track's title (file name without folder and extension), or null.
    virtual const char* GetTitle() const { return nullptr; }
    virtual uint16_t GetSampleRate() const { return 44100; }
    // Nonzero on success.
    virtual int Open(const char* path)
    {
        (void)path;
        return 0;
    }
    virtual void Close() {}
    virtual int GetBlockFrames() const = 0;
    virtual int GetBlockCount() const = 0;
    virtual void SeekBlock(int index) = 0;
    // Index of the block the next ReadBlock delivers.
    virtual int GetCurrentBlock() const = 0;
    // Milliseconds per block.
    virtual float GetBlockDuration() const = 0;
    // Fills one block into left and right (each GetBlockFrames() samples); nonzero when a block
    // was delivered. The current block advances by one.
    virtual int ReadBlock(int16_t* left, int16_t* right) = 0;
    // The exact length in frames when the source knows it (its last block may be short), or -1:
    // then the blocks are taken as full.
    virtual int64_t GetTotalFrames() const { return -1; }
    // Why the last Open failed, as a fixed English phrase for a log line ("unsupported WAV format
    // tag 0x0055 (MPEG Layer III)"), or null when it did not fail or the source does not say.
    // Valid until the next Open. Kept last: the slots before it keep their order.
    virtual const char* GetOpenError() const { return nullptr; }

    // The largest block any source may deliver: the decks' decode buffers hold this many frames.
    static constexpr int kMaxBlockFrames = 8192;

    // The source kind for a path, by the extension of its file name compared without regard to
    // case: ".wav" reads RIFF/WAVE, ".cda" an Audio-CD track, FLAC, Ogg, Opus, MP4/AAC, AIFF and
    // WMA go through FFmpeg (see CFfmpegSource), anything else is MPEG audio. Returns
    // null for a kind this build cannot read. The source is not opened.
    static std::unique_ptr<CAudioSource> CreateForPath(const char* path);

    // The file-name part of a path: after the last '/' or '\\' (lists written on Windows use
    // '\\', which on Linux is a legal character of a name, so both end a folder).
    static const char* FileNameOf(const char* path);
    // The file name without folder and extension: the title a file source reports.
    static std::string TitleOf(const char* path);
};
