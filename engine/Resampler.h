#pragma once

#include <atomic>
#include <cstdint>

// Changes the speed of one channel of 16-bit samples with a 16.16 fixed-point step
// (0x10000 = the track's own speed). Up to speed 1.0 each output is a linear interpolation
// between the last two input samples. Above it the step is split into 2 or 4 sub-steps and
// the interpolated points are averaged, a cheap low-pass against aliasing; above speed 4
// (and with interpolation off) the nearest sample is taken, since averaging more points would
// cost more than it is worth while fast-winding.
//
// The interpolating paths compute eight outputs at a time with AVX2 where the processor has it:
// each point's position and fraction follow from its index alone, so the lanes need no carry
// from one another, and every sample is the one the plain loop gives.
//
// Thread: the audio thread only; nothing allocates.
class CResampler {
public:
    static constexpr uint32_t kUnityStep = 0x10000;

    // True when the eight-output path is in use.
    static bool Wide() noexcept { return s_wide.load(std::memory_order_relaxed); }
    // Chooses it (where the processor has AVX2) or the plain loop; returns Wide(). For tests and
    // benchmarks that compare the two, while no deck renders.
    static bool UseWide(bool wide) noexcept;
    static bool ProcessorHasWide() noexcept;

    // Sets the full step and derives the sub-step and the averaging shift.
    void SetStep(uint32_t step) noexcept;
    // Input samples that the next outputs outputs will consume.
    uint32_t Needed(uint32_t outputs) const noexcept;
    // Writes outputs samples from input (which must hold Needed(outputs) samples) and returns
    // the number of input samples consumed.
    uint32_t Process(const int16_t* input, int16_t* output, uint32_t outputs) noexcept;
    // Forgets the interpolation history (a new track).
    void Reset() noexcept;

    void SetInterpolation(bool enabled) noexcept { m_interpolate = enabled; }
    uint32_t Step() const noexcept { return m_step; }
    uint32_t SubStep() const noexcept { return m_subStep; }
    uint32_t AveragingShift() const noexcept { return m_shift; }
    uint32_t Fraction() const noexcept { return m_fraction; }

private:
    static constexpr uint32_t kChunkOutputs = 128;
    // The interpolating paths (1, 2 or 4 points per output) over at most kChunkOutputs outputs.
    template <uint32_t Shift>
    uint32_t ProcessChunk(const int16_t* input, int16_t* output, uint32_t outputs) noexcept;
    // The first outputs rounded down to eight of the same, from the stream ProcessChunk builds;
    // returns how many it wrote.
    template <uint32_t Shift>
    uint32_t WideOutputs(const int16_t* stream, int16_t* output, uint32_t outputs) const noexcept;
    // Advances the position by step and returns how many samples that consumed.
    uint32_t Advance(const int16_t* input, uint32_t step) noexcept;
    int32_t Interpolated() const noexcept;

    uint32_t m_fraction = 0;         // 0 .. 0xFFFF, position between previous and current
    uint32_t m_step = kUnityStep;    // 16.16, full step per output
    int32_t m_current = 0;           // last input sample consumed
    int32_t m_previous = 0;          // the one before it
    uint32_t m_subStep = kUnityStep; // 16.16, step per averaged point
    uint32_t m_shift = 0;            // log2 of the points averaged; 3 and more: nearest sample
    bool m_interpolate = true;

    static std::atomic<bool> s_wide;
};
