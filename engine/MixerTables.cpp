#include "MixerTables.h"

#include <algorithm>
#include <cmath>

namespace {

// Measured responses of a two-pole state-variable filter: the frequency coefficient (F) and the
// damping (Q) that give a flat, musically tuned resonance at each of eleven resonance settings
// (rows) and eleven frequencies (columns: column c is c/20 of the sample rate). Row 10 of F is
// the textbook 2 sin(pi c / 20) and of Q zero; row 0 of Q is 2 - row 0 of F.
constexpr float kFrequencyTable[11][11] = {
    {0.00000f, 0.28179f, 0.50392f, 0.67389f, 0.79907f, 0.88669f, 0.94379f, 0.97723f, 0.99363f, 0.99928f,
     1.00000f},
    {0.00000f, 0.26786f, 0.48407f, 0.65359f, 0.78162f, 0.87363f, 0.93532f, 0.97267f, 0.99182f, 0.99893f,
     1.00000f},
    {0.00000f, 0.26856f, 0.48734f, 0.65972f, 0.78975f, 0.88224f, 0.94279f, 0.97777f, 0.99423f, 0.99942f,
     1.00000f},
    {0.00000f, 0.27649f, 0.50324f, 0.68189f, 0.81531f, 0.90772f, 0.96477f, 0.99359f, 1.00275f, 1.00181f,
     1.00000f},
    {0.00000f, 0.28623f, 0.52349f, 0.71124f, 0.85073f, 0.94503f, 0.99930f, 1.02091f, 1.01969f, 1.00790f,
     1.00000f},
    {0.00000f, 0.29479f, 0.54314f, 0.74218f, 0.89103f, 0.99094f, 1.04567f, 1.06171f, 1.04890f, 1.02123f,
     1.00000f},
    {0.00000f, 0.30096f, 0.56004f, 0.77212f, 0.93399f, 1.04458f, 1.10525f, 1.12022f, 1.09724f, 1.04906f,
     1.00000f},
    {0.00000f, 0.30477f, 0.57404f, 0.80089f, 0.97993f, 1.10753f, 1.18205f, 1.20407f, 1.17679f, 1.10642f,
     1.00000f},
    {0.00000f, 0.30704f, 0.58651f, 0.83036f, 1.03154f, 1.18417f, 1.28356f, 1.32609f, 1.30851f, 1.22458f,
     1.00000f},
    {0.00000f, 0.30915f, 0.60000f, 0.86424f, 1.09408f, 1.28234f, 1.42234f, 1.50739f, 1.52901f, 1.46875f,
     1.00000f},
    {0.00000f, 0.31287f, 0.61803f, 0.90798f, 1.17557f, 1.41421f, 1.61803f, 1.78201f, 1.90211f, 1.97538f,
     1.00000f},
};

constexpr float kDampingTable[11][11] = {
    {2.00000f, 1.71821f, 1.49608f, 1.32611f, 1.20093f, 1.11331f, 1.05621f, 1.02277f, 1.00637f, 1.00072f,
     1.00000f},
    {1.91498f, 1.67581f, 1.48093f, 1.32643f, 1.20819f, 1.12193f, 1.06314f, 1.02696f, 1.00814f, 1.00107f,
     1.00000f},
    {1.70715f, 1.53100f, 1.38353f, 1.26343f, 1.16909f, 1.09870f, 1.05009f, 1.02033f, 1.00550f, 1.00057f,
     1.00000f},
    {1.45825f, 1.34133f, 1.24241f, 1.16103f, 1.09683f, 1.04942f, 1.01810f, 1.00140f, 0.99642f, 0.99816f,
     1.00000f},
    {1.21543f, 1.14522f, 1.08660f, 1.03954f, 1.00412f, 0.98060f, 0.96907f, 0.96905f, 0.97842f, 0.99199f,
     1.00000f},
    {0.99227f, 0.95591f, 0.92780f, 0.90798f, 0.89680f, 0.89479f, 0.90257f, 0.92044f, 0.94731f, 0.97850f,
     1.00000f},
    {0.78587f, 0.77299f, 0.76648f, 0.76669f, 0.77413f, 0.78964f, 0.81432f, 0.84938f, 0.89542f, 0.95031f,
     1.00000f},
    {0.58928f, 0.59101f, 0.59814f, 0.61116f, 0.63087f, 0.65844f, 0.69558f, 0.74466f, 0.80887f, 0.89204f,
     1.00000f},
    {0.39527f, 0.40389f, 0.41692f, 0.43503f, 0.45924f, 0.49105f, 0.53275f, 0.58800f, 0.66310f, 0.77138f,
     1.00000f},
    {0.19920f, 0.20720f, 0.21803f, 0.23231f, 0.25094f, 0.27533f, 0.30773f, 0.35206f, 0.41611f, 0.52063f,
     1.00000f},
    {0.00000f, 0.00000f, 0.00000f, 0.00000f, 0.00000f, 0.00000f, 0.00000f, 0.00000f, 0.00000f, 0.00000f,
     1.00000f},
};

} // namespace

CMixerTables::CMixerTables()
{
    // Volume: linear up to 64 (so 0 is silence), then 40 dB of logarithmic travel from 0.1 to
    // 3.162 (+10 dB), which puts unity near three quarters of the fader.
    for (int i = 0; i < kCurve; ++i) {
        if (i <= 64)
            m_volume[i] = static_cast<float>(i * 0.4 / 259.0);
        else
            m_volume[i] = static_cast<float>(0.1 * std::pow(31.62, (i / 259.0 - 0.25) * 1.3333333333333333));
    }
    m_volume[259] = 3.162f;

    m_meter[0] = 0.0f;
    for (int k = 1; k <= 12; ++k)
        m_meter[k] = static_cast<float>(k * 0.030521236);
    for (int i = 13; i < kCurve; ++i)
        m_meter[i] = static_cast<float>(0.25 + 0.75 * std::log(i * 3.162 / 259.0 / 0.1) / std::log(31.62));
    m_meter[259] = 1.0f;

    for (int j = 0; j < kCurve; ++j) {
        m_cosine[j] = static_cast<float>(0.5 + 0.5 * std::cos(-3.1415 + j / 259.0 * 3.1415));
        const double root = std::sqrt(j / 259.0);
        // Below a quarter the square root is eased in by a cosine so the far end closes smoothly.
        m_squareRoot[j] =
            static_cast<float>(j > 64 ? root : root * (0.5 + 0.5 * std::cos(j / 259.0 * 12.566 - 3.1415)));
    }
    m_cosine[0] = 0.0f;
    m_cosine[259] = 1.0f;

    for (int j = 0; j < kExp; ++j) {
        m_exp[j] = static_cast<float>(std::exp2((j - 1200) / 60.0));
        m_expStep[j] = j > 0 ? m_exp[j] - m_exp[j - 1] : 0.0f;
    }
}

float CMixerTables::Exp(double x) const noexcept
{
    if (!(x >= 0.0))
        return 0.0f;
    if (x >= kExp - 1)
        return m_exp[kExp - 1];
    const int j = static_cast<int>(x);
    return m_exp[j] + static_cast<float>(x - j) * m_expStep[j + 1];
}

float CMixerTables::Bilinear(const float (&table)[kFilterSize][kFilterSize], int row, float rowFraction,
                             int column, float columnFraction) noexcept
{
    row = std::clamp(row, 0, kFilterSize - 2);
    column = std::clamp(column, 0, kFilterSize - 2);
    const float top = table[row][column] + columnFraction * (table[row][column + 1] - table[row][column]);
    const float bottom =
        table[row + 1][column] + columnFraction * (table[row + 1][column + 1] - table[row + 1][column]);
    return top + rowFraction * (bottom - top);
}

float CMixerTables::Frequency(int row, float rowFraction, int column, float columnFraction) const noexcept
{
    return Bilinear(kFrequencyTable, row, rowFraction, column, columnFraction);
}

float CMixerTables::Damping(int row, float rowFraction, int column, float columnFraction) const noexcept
{
    return Bilinear(kDampingTable, row, rowFraction, column, columnFraction);
}
