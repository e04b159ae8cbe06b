#include "LoneDeckChain.h"

namespace {

using Matrix = std::array<std::array<double, 5>, 5>;
using Column = std::array<double, 5>;

Column Times(const Matrix& m, const Column& v) noexcept
{
    Column out{};
    for (int k = 0; k < 5; ++k)
        for (int j = 0; j < 5; ++j)
            out[k] += m[k][j] * v[j];
    return out;
}

double Dot(const Column& row, const Column& v) noexcept
{
    double sum = 0;
    for (int k = 0; k < 5; ++k)
        sum += row[k] * v[k];
    return sum;
}

} // namespace

void CLoneDeckChain::Build(float low, float mid, float high) noexcept
{
    if (m_gains == std::array<float, 3>{low, mid, high})
        return;
    m_gains = {low, mid, high};

    // One frame of the chain as the mixer computes it, exactly in double: returns the output and
    // moves the states on.
    const Constants& k = m_constants;
    const auto step = [&](Column& s, double x, double tiny) {
        const double blocked = x - s[0];
        s[0] += k.dcCoefficient * blocked + tiny;
        const double high1 = blocked - 2.0 * s[1] - s[2];
        const double y = high1 * high + s[1] * mid + s[2] * low;
        s[1] += k.stage1 * high1;
        s[2] += k.stage1 * s[1] + tiny;
        const double high2 = y - 2.0 * s[3] - s[4];
        const double out = s[4] * low + s[3] * mid + high2 * high;
        s[3] += k.stage2 * high2;
        s[4] += k.stage2 * s[3] + tiny;
        return out;
    };
    // The chain is affine: s' = A s + b x + c, out = C s + D x.
    Matrix a{};
    Column outputOfState{};
    for (int j = 0; j < 5; ++j) {
        Column s{};
        s[j] = 1.0;
        outputOfState[j] = step(s, 0.0, 0.0);
        for (int r = 0; r < 5; ++r)
            a[r][j] = s[r];
    }
    Column b{};
    const double d = step(b, 1.0, 0.0);
    Column c{};
    step(c, 0.0, k.tiny);

    // powers[r] = A^r.
    std::array<Matrix, kBlock + 1> powers{};
    for (int r = 0; r < 5; ++r)
        powers[0][r][r] = 1.0;
    for (int n = 1; n <= kBlock; ++n)
        for (int r = 0; r < 5; ++r)
            for (int j = 0; j < 5; ++j) {
                double sum = 0;
                for (int m = 0; m < 5; ++m)
                    sum += a[r][m] * powers[n - 1][m][j];
                powers[n][r][j] = sum;
            }
    std::array<Column, kBlock> inputAfter{};    // A^n b
    std::array<Column, kBlock> constantAfter{}; // A^n c
    for (int n = 0; n < kBlock; ++n) {
        inputAfter[n] = Times(powers[n], b);
        constantAfter[n] = Times(powers[n], c);
    }

    // Output j = C A^j s + sum over i < j of C A^(j-1-i) (b x_i + c) + D x_j.
    for (int j = 0; j < kBlock; ++j) {
        for (int s = 0; s < 5; ++s) {
            double sum = 0;
            for (int m = 0; m < 5; ++m)
                sum += outputOfState[m] * powers[j][m][s];
            m_outputOfState[s][j] = static_cast<float>(sum);
        }
        double constant = 0;
        for (int i = 0; i < kBlock; ++i) {
            double weight = 0;
            if (i < j) {
                weight = Dot(outputOfState, inputAfter[j - 1 - i]);
                constant += Dot(outputOfState, constantAfter[j - 1 - i]);
            } else if (i == j) {
                weight = d;
            }
            m_outputOfInput[i][j] = static_cast<float>(weight);
        }
        m_outputConstant[j] = static_cast<float>(constant);
    }
    // After count frames: A^count s + sum over i < count of A^(count-1-i) (b x_i + c).
    for (int count = 1; count <= kBlock; ++count) {
        Lanes& constant = m_stateConstant[count - 1];
        for (int r = 0; r < 5; ++r) {
            for (int j = 0; j < 5; ++j)
                m_stateOfState[count - 1][j][r] = static_cast<float>(powers[count][r][j]);
            double sum = 0;
            for (int i = 0; i < count; ++i)
                sum += constantAfter[i][r];
            constant[r] = static_cast<float>(sum);
            for (int i = 0; i < kBlock; ++i)
                m_stateOfInput[count - 1][i][r] =
                    i < count ? static_cast<float>(inputAfter[count - 1 - i][r]) : 0.0f;
        }
    }
}
