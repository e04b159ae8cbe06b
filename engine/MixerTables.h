#pragma once

#include <array>

// The curves the mixer reads instead of computing transcendental functions per sample: volume,
// meter, the two cross-fader curves, a fine exponential, and the state-variable filter's
// frequency and damping coefficients over resonance and frequency. Built once, read-only after.
class CMixerTables {
public:
    static constexpr int kCurve = 260;     // entries of V, M, C and S
    static constexpr int kExp = 2401;      // entries of E
    static constexpr int kFilterSize = 11; // rows (resonance) and columns (frequency) of F and Q

    CMixerTables();

    // Volume: 0 at 0, 1.0 near 194, 3.162 (+10 dB) at 259; linear below 65, logarithmic above.
    float Volume(int i) const noexcept { return m_volume[Clamp(i)]; }
    // Meter: 0..1 over a 40 dB log scale, linear in its lowest 12 steps.
    float Meter(int i) const noexcept { return m_meter[Clamp(i)]; }
    // Raised cosine, 0 .. 1: the cross-fader curve that keeps both decks full at the centre.
    float Cosine(int i) const noexcept { return m_cosine[Clamp(i)]; }
    // Square root (equal power), with a soft start below 65.
    float SquareRoot(int i) const noexcept { return m_squareRoot[Clamp(i)]; }
    // 2^((x - 1200) / 60) interpolated between table entries; 0 below 0, E[2400] from 2400 on.
    float Exp(double x) const noexcept;
    // Bilinear interpolation of the frequency coefficient and damping tables.
    float Frequency(int row, float rowFraction, int column, float columnFraction) const noexcept;
    float Damping(int row, float rowFraction, int column, float columnFraction) const noexcept;

private:
    static int Clamp(int i) noexcept { return i < 0 ? 0 : (i >= kCurve ? kCurve - 1 : i); }
    static float Bilinear(const float (&table)[kFilterSize][kFilterSize], int row, float rowFraction,
                          int column, float columnFraction) noexcept;

    std::array<float, kCurve> m_volume{};
    std::array<float, kCurve> m_meter{};
    std::array<float, kCurve> m_cosine{};
    std::array<float, kCurve> m_squareRoot{};
    std::array<float, kExp> m_exp{};
    std::array<float, kExp> m_expStep{}; // E[j] - E[j - 1]
};
