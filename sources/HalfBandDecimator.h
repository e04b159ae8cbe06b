#pragma once

#include <array>

// Halves a sample rate: a linear-phase half-band low-pass evaluated at every second input frame.
// Output frame n lines up with input frame 2n (no delay), so a reader that can fetch input around
// any point gets the same output for a frame whatever it read before: there is no state.
//
// 139 taps, Kaiser window (beta 10) over the ideal half-band response. Measured: passband ripple
// within +-0.0001 dB up to 0.2268 of the input rate (20 kHz at 88.2 kHz, 21.8 kHz at 96 kHz),
// attenuation at least 99 dB from 0.2732 of the input rate (24.1 kHz at 88.2 kHz) on. What lies
// between folds back into the band above the passband edge only.
//
// Rejected: a stopband from the new Nyquist frequency on, so that nothing at all folds back. It
// halves the transition band and so needs twice the taps, to keep out of 20..22 kHz what nobody
// hears there.
//
// Thread-safe: the coefficients are built once, on the first call of OddTaps().
class CHalfBandDecimator {
public:
    // Input frames on each side of the centre that one output frame depends on.
    static constexpr int kReach = 69;
    static constexpr int kTaps = 2 * kReach + 1;

    // Input frames that Decimate reads for outputCount output frames: input[0] is the frame
    // kReach before the one the first output lines up with.
    static constexpr int InputFrames(int outputCount) { return 2 * outputCount - 1 + 2 * kReach; }

    // One output per second input frame; input and output are planes of one channel. No
    // allocation.
    static void Decimate(const float* input, int outputCount, float* output) noexcept;

    // The odd taps out from the centre: tap kReach +- (2i + 1) is OddTaps()[i]. The centre tap is
    // 0.5 and the other even taps are 0.
    static const std::array<float, (kReach + 1) / 2>& OddTaps();
};
