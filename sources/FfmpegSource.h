#pragma once

#include "AudioSource.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

// Plays the formats FFmpeg decodes for us (libavformat, libavcodec, libswresample): FLAC, Ogg
// Vorbis and Opus, AAC and ALAC in MP4 or ADTS, AIFF and WMA, in blocks of 4096 frames.
//
// - The container must be the one the extension names (a .flac holding MP3 is refused and the
//   error says what it holds); only the demuxers and decoders of these formats are ever used.
// - One or two channels at up to 65535 Hz are converted straight from the decoder's samples:
//   integers wider than 16 bits give their top 16 bits, as the WAV reader does, so FLAC, ALAC
//   and AIFF are bit-exact; float output is scaled by 32767, rounded and clipped, as the MPEG
//   source converts. More channels are mixed down by libswresample with the WAV reader's gains
//   (see CChannelDownMix); a file above 65535 Hz is resampled by it to a half or a quarter of
//   its rate, the rate the interface carries.
// - A seek lands on the frame asked for: the demuxer seeks to a point before it (for lossy
//   codecs a pre-roll earlier, so that the decoder's overlap is rebuilt) and the frames up to
//   the target are decoded and dropped.
// - The length is exact where the container states it (FLAC's STREAMINFO, MP4's durations, the
//   last Ogg page); otherwise it is FFmpeg's estimate and GetTotalFrames is -1. A length that
//   claims far more frames than the file's bytes can hold is cut to what they can.
// - Open gives up after one second and any ReadBlock after two, so a hostile file cannot hang
//   the loader or the refill thread.
//
// Threads as for every source: Open and Close on the loader thread, SeekBlock and ReadBlock on the
// refill thread under the deck's lock. Not thread-safe by itself. ReadBlock reads the file and
// allocates (FFmpeg does), so it never runs on the audio thread.
class CFfmpegSource : public CAudioSource {
public:
    static constexpr int kBlockFrames = 4096;
    static constexpr int64_t kOpenTimeLimitMs = 1000;
    static constexpr int64_t kReadTimeLimitMs = 2000;

    CFfmpegSource();
    ~CFfmpegSource() override;
    CFfmpegSource(const CFfmpegSource&) = delete;
    CFfmpegSource& operator=(const CFfmpegSource&) = delete;

    // Whether the extension of a path (with its dot, any case) names a format this source plays.
    static bool HandlesExtension(const char* extension);

    // Null while closed.
    const char* GetTitle() const override;
    // The rate of the delivered frames: the file's own, or a half or quarter of it above 65535 Hz.
    uint16_t GetSampleRate() const override;
    // Nonzero when the file holds an audio stream of its extension's format that decodes. Closes a
    // previously opened file first; on failure the source is left closed and GetOpenError says why.
    int Open(const char* path) override;
    void Close() override;
    int GetBlockFrames() const override { return kBlockFrames; }
    int GetBlockCount() const override;
    // Only records the block; the next ReadBlock decodes. A negative index seeks to the start.
    void SeekBlock(int index) override;
    int GetCurrentBlock() const override { return m_currentBlock; }
    float GetBlockDuration() const override;
    // Returns the frames delivered (1..4096; a short last block is padded with silence), or 0 at
    // the end or while closed. Past what the file really holds, up to its stated length, blocks
    // play as silence.
    int ReadBlock(int16_t* left, int16_t* right) noexcept override;
    int64_t GetTotalFrames() const override { return m_open && m_exactLength ? m_totalFrames : -1; }
    // Null after a successful Open; kept through Close.
    const char* GetOpenError() const override;

    // The file's own rate and channel count (0 while closed), for tests and the renderer's notes.
    int GetFileRate() const { return m_fileRate; }
    int GetFileChannels() const { return m_fileChannels; }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    static int ReadPacketCallback(void* opaque, uint8_t* buffer, int size);
    static int64_t SeekCallback(void* opaque, int64_t offset, int whence);
    static int InterruptCallback(void* opaque);

    void CloseDecoding();
    // Opens the same file again from its first byte: the exact way back to its start.
    bool Reopen();
    bool OpenContainer(const char* path, const char* extension);
    bool OpenDecoder();
    bool PrepareResampler();
    void TakeLength();
    // Where the stream's packets really end, in file frames, or -1; leaves the file reopened.
    int64_t MeasureEnd(int64_t claimedFrames);
    // Seeks the demuxer to a point before file frame target and forgets everything decoded.
    void SeekTo(int64_t targetFrame);
    // Decodes one more frame into the pending buffer; false at the end of the stream or on a
    // failure that ends it.
    bool DecodeMore();
    // Appends a decoded frame (converted, mixed down or resampled) to the pending buffer.
    bool Append(const AVFrame& frame);
    void AppendDirect(const AVFrame& frame, int first, int count);
    bool AppendResampled(const AVFrame* frame, int first, int count);
    // Room for count more pending frames after the ones held.
    void ReservePending(size_t count);
    void DropPendingBefore(int64_t frame);
    void SetDeadline(int64_t ms);
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::string m_path; // while open
    std::unique_ptr<std::FILE, FileCloser> m_file;
    int64_t m_fileBytes = 0;
    AVIOContext* m_io = nullptr; // owns its buffer; freed in Close
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_resampler = nullptr; // null on the direct path
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_streamIndex = -1;
    std::chrono::steady_clock::time_point m_deadline; // the demuxer gives up past it

    std::string m_title;
    int m_fileRate = 0;            // Hz, as the decoder reports
    int m_fileChannels = 0;        // 1..255
    uint16_t m_sampleRate = 44100; // Hz of the delivered frames
    int m_decimation = 1;          // file frames per delivered frame: 1, 2 or 4
    bool m_lossy = false;          // the decoder needs a pre-roll before a seek target
    int64_t m_preRollFrames = 0;   // file frames decoded and dropped before a seek target
    int64_t m_totalFrames = 0;     // delivered frames, exact when m_exactLength
    bool m_exactLength = false;
    int m_blockCount = 0;
    int m_currentBlock = 0;
    bool m_open = false;

    // Decoded frames not yet delivered, as 16-bit planes: frame m_pendingFirst is at index
    // m_pendingHead. Grows with the largest decoded frame (FLAC: at most 65535 frames).
    std::vector<int16_t> m_pendingLeft;
    std::vector<int16_t> m_pendingRight;
    size_t m_pendingHead = 0;
    size_t m_pendingCount = 0;
    int64_t m_pendingFirst = 0;   // delivered-frame index of the first pending frame
    bool m_positionKnown = false; // false after a seek until the first decoded frame's time
    bool m_streamEnded = false;   // the decoder is drained
    int64_t m_nextFileFrame = 0;  // file frame of the decoder's next output sample
    // The time stamp of the first frame decoded at Open: frame 0. Positions after a seek are
    // counted from it, whatever start time or encoder delay the container declares.
    int64_t m_zeroPts = 0;
    bool m_zeroPtsKnown = false;
    int m_seekAttempts = 0;         // seeks for the current target that landed after it
    bool m_countFromStart = false;  // positions counted from the first frame, not time stamps
    bool m_sampleExactTimes = true; // the container's time stamps place single samples
    int m_decodeErrors = 0;         // packets in a row that did not decode
    std::vector<float> m_mixed;     // interleaved stereo output of the resampler

    std::array<char, 200> m_openError{}; // empty after a successful Open
};
