#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

// The peak limiter of the main mix, both channels side by side. Each channel is split into
// three parts (fast, middle, slow), each divided by its own envelope, and their sum by a fourth,
// so a loud bass does not pump the highs and the output never leaves -1.0 .. +1.0. An envelope
// jumps up to a peak at once and relaxes towards 1.0 (no gain change) with its own time
// constant; with every envelope at 1.0 the output equals the sum of the parts.
//
// Thread: the audio thread (inside the mixer's Process).
class CLimiter {
public:
    using Vec4 = float __attribute__((vector_size(16)));

    // Limits one frame of the main mix, left and right in the two low lanes of a vector whose
    // high lanes are 0. Inline: it runs once per frame inside the mixer's loop.
    Vec4 ProcessLanes(Vec4 in) noexcept;
    // Any envelope of either channel above 1.05: the limiter is clearly working (the overload lamp).
    bool Working() const noexcept;
    // Notes whether every envelope rests at 1.0; an excess so small that 1.0 plus it is 1.0
    // counts, and is dropped. While they rest, a frame whose parts and their sum all lie within
    // -1.0 .. +1.0 leaves them there and comes out as the plain sum of its parts, which
    // ProcessLanes then gives without its divisions: the same bits. Returns whether they rest.
    bool NoteRest() noexcept;
    // Up to eight frames of the main mix (left and right, in the first count lanes) while every
    // envelope rests. When the parts of every frame, and the frame itself, lie within -1.0 .. +1.0,
    // the frames pass as they are (the sum of a frame's parts, to within rounding), the split moves
    // on and it returns true; otherwise nothing changes and it returns false, for ProcessLanes to
    // take the frames one by one. The high part is a recurrence of its own, worked out here for
    // all the frames at once. Wide is PlainLanes or WideLanes (see PlainLanes.h).
    template <typename Wide>
    [[gnu::always_inline]] inline bool PassResting(const Wide& left, const Wide& right,
                                                   uint32_t count) noexcept;

private:
    // Per-sample relaxation towards 1.0: about 63 ms, 250 ms, 1 s and 315 ms to fall by 1/e.
    static constexpr float kReleaseHigh = 0.99964061f;
    static constexpr float kReleaseMid = 0.99990973f;
    static constexpr float kReleaseLow = 0.99997733f;
    static constexpr float kReleaseSum = 0.99992829f;

    // Both channels side by side in the two low lanes of a vector; except where two parts share
    // a vector, the two high lanes carry silence (parts of 0, envelopes at 1.0) and are never
    // read.
    using Bits4 = uint32_t __attribute__((vector_size(16)));

    static Vec4 Magnitude(Vec4 v) noexcept
    {
        return reinterpret_cast<Vec4>(reinterpret_cast<Bits4>(v) & 0x7FFFFFFFu);
    }
    // a where it is the larger, else b (NaN: b), lane by lane.
    static Vec4 Larger(Vec4 a, Vec4 b) noexcept
    {
#if defined(__SSE2__)
        return _mm_max_ps(a, b);
#else
        for (int c = 0; c < 4; ++c)
            b[c] = a[c] > b[c] ? a[c] : b[c];
        return b;
#endif
    }

    // An envelope is kept as its excess over 1.0, which relaxes by the release each sample: kept
    // as the envelope itself, the relaxation would round back up to the same value once the
    // step fell below half a float step at 1.0, leaving the gain a little below unity for good.
    // The excess is relaxed first and the divisor then lifted to the part's magnitude, so the
    // divisor is never below the magnitude and the quotient never exceeds 1.0: lifting first and
    // relaxing after would let a full-scale peak through at 1.00004, which wraps to -32768 in 16
    // bits.
    static Vec4 Divide(Vec4 part, Vec4& excess, Vec4 release) noexcept
    {
        const Vec4 relaxed = excess * release;
        const Vec4 magnitude = Magnitude(part);
        excess = Larger(magnitude - 1.0f, relaxed);
        return part / Larger(magnitude, relaxed + 1.0f);
    }

    // The fast part of both channels in the low lanes and the middle part in the high lanes,
    // so one division serves both; the slow part and the sum each take their own.
    static constexpr Vec4 kReleaseHighMid = {kReleaseHigh, kReleaseHigh, kReleaseMid, kReleaseMid};

    // What one frame's high part gives the next one's: the next middle and low parts are 0.14 and
    // 0.0049 of it, and the next high part is the input less both.
    static constexpr float kHighCarry = -(2.0f * 0.07f + 0.0049f);
    struct RestingWeights {
        // Lane j of column i: what input i gives the high part of frame j; of the others, what
        // the parts carried into the block, and the low part's offset, give it.
        alignas(32) std::array<std::array<float, 8>, 8> ofInput{};
        alignas(32) std::array<float, 8> ofCarried{};
        alignas(32) std::array<float, 8> ofOffset{};
    };
    static constexpr RestingWeights MakeWeights() noexcept;
    static const RestingWeights s_weights;

    Vec4 m_mid{};                               // the next middle part: 0.14 x the last high part
    Vec4 m_bandLow{1e-12f, 1e-12f, 0.0f, 0.0f}; // the next low part: 0.0049 x the last high part
    Vec4 m_excessHighMid{};                     // envelopes less 1.0
    Vec4 m_excessLow{};
    Vec4 m_excessSum{};
    bool m_atRest = true; // every excess 0, as far as the last NoteRest and frames since know
};

inline CLimiter::Vec4 CLimiter::ProcessLanes(Vec4 in) noexcept
{
    // The split uses the previous sample's parts, so the three add back to the input exactly.
    // The middle part is twice a band of 0.07 x the high part: kept doubled, which is exact, so the
    // doubling is not in the chain from one frame to the next.
    const Vec4 high = in - m_mid - m_bandLow;
    const Vec4 mid = m_mid;
    const Vec4 low = m_bandLow;
    m_mid = 0.14f * high;
    m_bandLow = 0.0049f * high + Vec4{1e-12f, 1e-12f, 0.0f, 0.0f};
    const Bits4 lowLanes = {~0u, ~0u, 0u, 0u};
    const Vec4 parts = __builtin_shufflevector(high, mid, 0, 1, 4, 5);
    if (m_atRest) {
        // Each division below would be by 1.0 and each excess stay 0.
        const Vec4 sum =
            reinterpret_cast<Vec4>(
                reinterpret_cast<Bits4>(parts + __builtin_shufflevector(parts, parts, 2, 3, 0, 1)) &
                lowLanes) +
            low;
        // Magnitudes compare as integers: 1.0f is 0x3F800000, and a NaN lies above it.
        using Ints4 = int32_t __attribute__((vector_size(16)));
        const auto beyond = [](Vec4 v) { return (reinterpret_cast<Ints4>(v) & 0x7FFFFFFF) > 0x3F800000; };
        const Ints4 any = beyond(parts) | beyond(low) | beyond(sum);
#if defined(__SSE2__)
        if (_mm_movemask_ps(reinterpret_cast<__m128>(any)) == 0)
            return sum;
#else
        if ((any[0] | any[1] | any[2] | any[3]) == 0)
            return sum;
#endif
        m_atRest = false;
    }
    const Vec4 highMid = Divide(parts, m_excessHighMid, kReleaseHighMid);
    // fast + middle in the low lanes; the high lanes are cleared so their envelope stays at 1.0.
    const Vec4 sum = reinterpret_cast<Vec4>(
        reinterpret_cast<Bits4>(highMid + __builtin_shufflevector(highMid, highMid, 2, 3, 0, 1)) & lowLanes);
    return Divide(sum + Divide(low, m_excessLow, Vec4{} + kReleaseLow), m_excessSum, Vec4{} + kReleaseSum);
}

template <typename Wide>
inline bool CLimiter::PassResting(const Wide& left, const Wide& right, uint32_t count) noexcept
{
    if (!m_atRest)
        return false;
    const RestingWeights& weights = s_weights;
    std::array<std::array<float, 8>, 2> highs;
    Wide largest = LargerMagnitude(left, right);
    for (int c = 0; c < 2; ++c) {
        const Wide& frames = c == 0 ? left : right;
        std::array<float, 8> in;
        frames.Store(in.data());
        // What the parts carried in take from frame 0's input.
        const float carried = m_mid[c] + m_bandLow[c];
        Wide high =
            Wide::Load(weights.ofCarried.data()) * carried + Wide::Load(weights.ofOffset.data()) * 1e-12f;
        // Frame j's high part takes inputs 0 .. j only, so the lanes past count do not reach it.
        for (int i = 0; i < 8; ++i)
            high = high + Wide::Load(weights.ofInput[i].data()) * in[i];
        high.Store(highs[c].data());
        largest = LargerMagnitude(largest, high);
    }
    // The middle and low parts within the block are a fraction of a high part: checked with it;
    // those carried in are checked here.
    const bool carriedWithin = std::fabs(m_mid[0]) <= 1.0f && std::fabs(m_mid[1]) <= 1.0f &&
                               std::fabs(m_bandLow[0]) <= 1.0f && std::fabs(m_bandLow[1]) <= 1.0f;
    if (!carriedWithin || !largest.WithinUnit(count))
        return false;
    for (int c = 0; c < 2; ++c) {
        m_mid[c] = 0.14f * highs[c][count - 1];
        m_bandLow[c] = 0.0049f * highs[c][count - 1] + 1e-12f;
    }
    return true;
}
