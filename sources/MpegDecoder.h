#pragma once

#include <array>

class CMpegStream;

// What CMp3Source needs of a layer decoder: one object per track, created for the layer of the
// first frame (Layers I and II share one class, Layer III has its own). The decoder owns its
// output, two planes of float samples at full scale +-1.0, and its filter-bank history.
//
// Threads: the source's thread only. DecodeFrame allocates nothing.
class CMpegDecoder {
public:
    // Samples per channel the output holds: a Layer II or MPEG-1 Layer III frame (1152) with
    // room to spare.
    static constexpr int kOutputSamples = 1168;

    virtual ~CMpegDecoder() = default;

    // Forgets the history (synthesis, and for Layer III the bit reservoir and overlap memory),
    // as after a seek: the next frames decode as if the stream started with them.
    virtual void Reset() = 0;
    // Decodes the stream's current frame (the one the last ReadFrame or SeekFrame read with its
    // payload) into Left() and Right(); a single-channel stream writes every sample to both.
    // Returns the samples per channel written (the frame's samples per frame), or 0 when the
    // frame could not be decoded (the output is then silence of the frame's length or untouched
    // zeros after ClearOutput). Never reads outside the stream's payload, whatever the frame
    // holds.
    virtual int DecodeFrame(CMpegStream& stream) = 0;

    // Sets both planes to silence and the output length to 0.
    void ClearOutput()
    {
        m_left.fill(0.0f);
        m_right.fill(0.0f);
        m_outputLength = 0;
    }
    const float* Left() const { return m_left.data(); }
    const float* Right() const { return m_right.data(); }
    // Samples per channel of the last decoded frame, 0..kOutputSamples.
    int OutputLength() const { return m_outputLength; }

protected:
    std::array<float, kOutputSamples> m_left{};
    std::array<float, kOutputSamples> m_right{};
    int m_outputLength = 0; // samples per channel in m_left and m_right
};
