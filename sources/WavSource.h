#pragma once

#include "AudioSource.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Reads a RIFF/WAVE file in blocks of 1024 frames: integer PCM of 8 to 32 bits and IEEE float of
// 32 or 64 bits, with the plain format tags (1, 3) or WAVE_FORMAT_EXTENSIBLE with a PCM or float
// sub-format; 1 to 8 channels; 1 Hz to 192 kHz.
//
// - Integer samples wider than 16 bits deliver their top 16 bits; 8-bit samples (unsigned in the
//   file) are centred and widened. Float samples are scaled by 32767, rounded to nearest and
//   clipped, as the MPEG source converts; NaN plays as 0.
// - More than two channels are mixed down to stereo: centre and surrounds at -3 dB into their
//   side, the LFE channel dropped, and the sum scaled so that full scale on every channel still
//   fits (a 5.1 file plays 7.7 dB below its front channels' level).
// - The interface carries the rate in 16 bits, so a file above 65535 Hz is halved (above
//   131070 Hz quartered) by a half-band low-pass (see CHalfBandDecimator) and reports that rate;
//   block counts, total frames and seeks are exact at the reported rate.
// Anything else is refused at Open, and GetOpenError says why.
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
    // The rate of the delivered frames: the file's own, or a half or quarter of it above 65535 Hz.
    uint16_t GetSampleRate() const override;
    // Nonzero when the file is a WAVE file this reader can play. Closes a previously opened file
    // first; on failure the source is left closed and GetOpenError names the reason.
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
    // Null after a successful Open; kept through Close.
    const char* GetOpenError() const override;

    static constexpr int kBlockFrames = 1024;
    static constexpr int kMaxChannels = 8;
    static constexpr uint32_t kMaxFileRateHz = 192000;
    // 8 bytes a sample (64-bit float) is the widest format accepted.
    static constexpr int kMaxBytesPerSample = 8;

    // How the file stores one sample.
    enum class Encoding : uint8_t { Unsigned8, Signed16, Signed24, Signed32, Float32, Float64 };

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool OpenFile(const char* path);
    bool ReadAt(uint64_t offset, void* buffer, size_t bytes);
    bool ReadChunks();
    bool TakeFormat(const uint8_t* format, size_t formatBytes);
    bool TakeSampleFormat(uint16_t tag, int bytesPerSample, uint16_t bitsField);
    bool PrepareBuffers();
    size_t FrameBytes() const;
    // Fills m_raw with count file frames from firstFrame on; frames outside the file are silence.
    void ReadFrames(int64_t firstFrame, int count) noexcept;
    // m_raw's count frames as stereo planes in 16-bit units, mixed down when there are more
    // than two channels.
    void ToPlanes(int count) noexcept;
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::unique_ptr<std::FILE, FileCloser> m_file;
    uint64_t m_fileBytes = 0; // size of the file at Open
    std::string m_title;
    uint16_t m_sampleRate = 44100; // Hz of the delivered frames, 1..65535
    int m_decimation = 1;          // file frames per delivered frame: 1, 2 or 4
    Encoding m_encoding = Encoding::Signed16;
    uint8_t m_bytesPerSample = 2; // 1..kMaxBytesPerSample
    uint8_t m_channels = 2;       // 1..kMaxChannels
    // Integer PCM, one or two channels, at the file's rate: converted straight from the bytes,
    // exactly as 16-bit files always were.
    bool m_direct = true;
    // Gains of each file channel into the left and right output, already scaled against clipping.
    std::array<float, kMaxChannels> m_mixLeft{};
    std::array<float, kMaxChannels> m_mixRight{};
    uint64_t m_dataStart = 0;    // file offset of the first sample
    int64_t m_fileFrames = 0;    // frames actually present in the file, at most the "data" size
    int64_t m_totalFrames = 0;   // frames delivered: m_fileFrames / m_decimation, rounded up
    int64_t m_currentFrame = 0;  // next frame ReadBlock delivers, 0..m_totalFrames or beyond after a seek
    uint64_t m_filePosition = 0; // where the next fread reads, when m_seekPending is clear
    bool m_seekPending = false;  // the file position is unknown
    bool m_open = false;
    std::array<char, 160> m_openError{}; // empty after a successful Open
    // Sized at Open for one block and the filter's reach, so that ReadBlock never allocates.
    std::vector<uint8_t> m_raw;  // file bytes
    std::vector<float> m_planes; // left then right, m_planeFrames each, 16-bit units
    std::vector<float> m_stage;  // left then right, m_planeFrames each, after the first halving
    int m_planeFrames = 0;       // file frames one ReadBlock converts at most
};
