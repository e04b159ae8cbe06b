#pragma once

#include <array>

// The polyphase synthesis filter bank of ISO/IEC 11172-3, clause 2.4.3.2.2 (Annex A figure A.2):
// 32 sub-band samples in, 32 PCM samples out, for one channel. One object per channel; it keeps
// the channel's history (the standard's 1024-value V vector). Layers I, II and III all end here.
//
// Input and output are at full scale +-1.0 (the requantised sub-band values of the standard).
// No allocation, no locking: Synthesize runs once per 32 output samples.
class CMpegSynthesis {
public:
    CMpegSynthesis();

    // Clears the history: the next output is as if every earlier input had been zero.
    void Reset();
    // One time slot: subbands[0..31] (lowest band first) in, pcm[0..31] out. pcm may not alias
    // subbands.
    void Synthesize(const float* subbands, float* pcm);

    // The synthesis window D[i] of the standard, i = 0..511 (0 outside), for tests.
    static float WindowCoefficient(int i);

private:
    // The standard's V: 16 time slots of 64 matrixed values, a ring in which slot m_newest holds
    // the latest and older slots follow it (wrapping).
    alignas(16) std::array<float, 16 * 64> m_v{};
    int m_newest = 0; // 0..15
};
