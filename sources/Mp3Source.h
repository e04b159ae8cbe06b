#pragma once

#include "AudioSource.h"

#include <cstdint>
#include <memory>
#include <string>

class CMpegDecoder;
class CMpegStream;

// Plays an MPEG audio file (Layers I, II and III; MPEG-1 and the lower sampling rates of MPEG-2)
// one frame per block: a block is 384, 1152 or 576 frames as the first frame's layer and version
// say. The frame index built at Open gives the block count; a seek decodes up to four frames
// before the target without output, so that the filter-bank history (and the Layer III bit
// reservoir and overlap) is rebuilt before the first delivered sample.
//
// Threads as for every source: Open and Close on the loader thread, SeekBlock and ReadBlock on the
// refill thread under the deck's lock. Not thread-safe by itself. ReadBlock reads the file.
class CMp3Source : public CAudioSource {
public:
    // Frames decoded silently before a seek target.
    static constexpr int kPreRollFrames = 4;

    CMp3Source();
    ~CMp3Source() override;
    CMp3Source(const CMp3Source&) = delete;
    CMp3Source& operator=(const CMp3Source&) = delete;

    // Null while closed.
    const char* GetTitle() const override;
    // From the first frame's header; 44100 while closed.
    uint16_t GetSampleRate() const override;
    // Nonzero when the file holds at least one frame of a layer we decode. Closes a previously
    // opened file first; on failure the source is left closed.
    int Open(const char* path) override;
    void Close() override;
    // Samples per frame of the first frame; 1152 while closed.
    int GetBlockFrames() const override;
    // Entries of the frame index.
    int GetBlockCount() const override;
    // Only records the target (a negative index seeks to the start); the next ReadBlock decodes.
    void SeekBlock(int index) override;
    int GetCurrentBlock() const override;
    // Milliseconds per frame; 0 while closed.
    float GetBlockDuration() const override;
    // Decodes the current frame into left and right (GetBlockFrames() samples each, a mono
    // stream writes both) and reads the next one. Returns nonzero while that next frame could be
    // read: the last frame of the file is delivered with 0. After a seek whose pre-roll runs
    // into the end of the file, returns 1 with silence. 0 while closed or after the end.
    int ReadBlock(int16_t* left, int16_t* right) noexcept override;

    // The decoder for a layer (1, 2 or 3), or null for a layer this build cannot decode.
    static std::unique_ptr<CMpegDecoder> CreateDecoder(int layer);

    // Float output (full scale +-1.0) to the deck's 16-bit samples: x 32767, rounded to nearest,
    // clipped to -32768..32767.
    static void ConvertToPcm16(const float* samples, int count, int16_t* out);

private:
    std::unique_ptr<CMpegStream> m_stream;   // owns the file and the frame index while open
    std::unique_ptr<CMpegDecoder> m_decoder; // for the first frame's layer
    std::string m_title;                     // up to 255 characters
    uint16_t m_sampleRate = 44100;           // Hz, of the first frame
    int m_blockFrames = 1152;                // samples per frame of the first frame
    float m_blockDurationMs = 0.0f;
    int m_seekTarget = -1; // block the next ReadBlock seeks to; -1 when no seek is pending
    bool m_open = false;
    bool m_frameAvailable = false; // the stream holds a read frame that ReadBlock may deliver
};
