#pragma once

#include "MpegDecoder.h"
#include "MpegSynthesis.h"

#include <array>

// Decodes Layer I and Layer II frames (ISO/IEC 11172-3 clauses 2.4.3.2 and 2.4.3.3, and the lower
// sampling rates of 13818-3): bit allocation, scale factor selection (Layer II), scale factors,
// grouped and plain samples, requantisation, the sub-bands above the joint-stereo bound shared by
// both channels, then the synthesis filter bank per channel. The layer of the current frame
// chooses the operation.
//
// Threads: the source's thread. No allocation per frame; the sub-band samples of one granule live
// in a member array.
class CMpegLayerDecoder : public CMpegDecoder {
public:
    CMpegLayerDecoder() = default;

    void Reset() override;
    int DecodeFrame(CMpegStream& stream) override;

    // Frames whose CRC word did not match since creation; they are decoded all the same.
    int CrcMismatches() const { return m_crcMismatches; }

private:
    static constexpr int kBands = 32;
    static constexpr int kGranuleSlots = 3; // Layer II codes three samples per sub-band together

    int DecodeLayer1(CMpegStream& stream, int channels, int bound);
    int DecodeLayer2(CMpegStream& stream, int channels, int limit, int bound, bool lsf);
    // Runs the filter bank over m_samples[ch][0..slots) into the output from sample firstSample.
    void Synthesize(int channels, int slots, int firstSample);

    std::array<CMpegSynthesis, 2> m_synthesis;
    // Requantised sub-band samples of one Layer II granule (or one Layer I time slot), full scale.
    float m_samples[2][kGranuleSlots][kBands] = {};
    int m_crcMismatches = 0;
};
