#pragma once

#include "AudioSource.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Reads a RIFF/WAVE file of integer PCM, mono or stereo, 8 to 32 bits per sample, in blocks of
// 1024 frames. Samples wider than 16 bits deliver their top 16 bits; 8-bit samples (unsigned in
// the file) are centred and widened. Anything else (float, extensible, more than two channels,
// rates above 65535 Hz) is refused at Open.
//
// Threads as for every source: Open and Close on the loader thread, SeekBlock and ReadBlock on
// the refill thread under the deck's lock. Not thread-safe by itself. ReadBlock reads the file,
// so it never runs on the audio thread.
class CWavSource : public CAudioSource {
public:
    CWavSource() = default;
    ~CWavSource() override;
    CWavSource(const CWavSource&) = delete;
    CWavSource& operator=(const CWavSource&) = delete;

    // Null while closed.
    const char* GetTitle() const override;
    uint16_t GetSampleRate() const override;
    // Nonzero when the file is a WAVE file this reader can play. Closes a previously opened file
    // first; on failure the source is left closed.
    int Open(const char* path) override;
    void Close() override;
    int GetBlockFrames() const override;
    int GetBlockCount() const override;
    // Only records the frame; the file is positioned by the next ReadBlock. A negative index
    // seeks to the start.
    void SeekBlock(int index) override;
    // Equals GetBlockCount() once the last block has been read.
    int GetCurrentBlock() const override;
    float GetBlockDuration() const override;
    // Returns the frames delivered (1..1024), or 0 at the end or while closed. A short last
    // block is padded with silence up to 1024 frames. No allocation.
    int ReadBlock(int16_t* left, int16_t* right) noexcept override;
    int64_t GetTotalFrames() const override { return m_open ? m_totalFrames : -1; }

    static constexpr int kBlockFrames = 1024;
    // 4 bytes per sample (32-bit PCM) is the widest format accepted.
    static constexpr int kMaxBytesPerSample = 4;

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool OpenFile(const char* path);
    bool ReadAt(uint64_t offset, void* buffer, size_t bytes);
    bool ReadChunks();
    bool TakeFormat(const uint8_t* format);
    size_t FrameBytes() const;

    std::unique_ptr<std::FILE, FileCloser> m_file;
    uint64_t m_fileBytes = 0; // size of the file at Open
    std::string m_title;
    uint16_t m_sampleRate = 44100; // Hz, 1..65535
    uint8_t m_bytesPerSample = 2;  // 1..4
    bool m_stereo = true;
    uint64_t m_dataStart = 0;   // file offset of the first sample
    int64_t m_totalFrames = 0;  // frames actually present in the file, at most the "data" size
    int64_t m_currentFrame = 0; // next frame ReadBlock delivers, 0..m_totalFrames or beyond after a seek
    bool m_seekPending = false; // the file position does not match m_currentFrame yet
    bool m_open = false;
    // One block of file bytes at the widest format; a member so that ReadBlock never allocates.
    std::array<uint8_t, kBlockFrames * 2 * kMaxBytesPerSample> m_rawBlock{};
};
