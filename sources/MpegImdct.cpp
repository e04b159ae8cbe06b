#include "MpegImdct.h"

#include "VectorLanes.h"

#include <cmath>
#include <cstring>
#include <numbers>

#if defined(QUANDEL_WIDE_LANES)
#include <immintrin.h>
#endif

namespace {

// 20 rows rather than 18 so the product runs in five whole four-float vectors; the two extra
// rows are zero.
constexpr int kRows = 20;

// Four floats in one SSE/NEON register. The accumulators must stay in registers: written as a
// float[20] loop the compiler kept them in memory, and the store-to-load round trip cost more
// than the arithmetic.
using Float4 = float __attribute__((vector_size(16)));

inline Float4 Load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct alignas(16) Column {
    float rows[kRows];
};

#if defined(QUANDEL_WIDE_LANES)
// The 18 x 18 product of Long eight lanes at a time (rows 0..15 in two, 16..19 in four lanes):
// every row is the same sum in the same order, so the result is identical.
QUANDEL_WIDE_TARGET void ProductWide(const float* in, const Column* columns, float* rows)
{
    __m256 low = _mm256_setzero_ps();
    __m256 high = _mm256_setzero_ps();
    __m128 top = _mm_setzero_ps();
#pragma GCC unroll 18
    for (int k = 0; k < 18; ++k) {
        const __m256 line = _mm256_set1_ps(in[k]);
        low = _mm256_add_ps(low, _mm256_mul_ps(line, _mm256_loadu_ps(columns[k].rows)));
        high = _mm256_add_ps(high, _mm256_mul_ps(line, _mm256_loadu_ps(columns[k].rows + 8)));
        top = _mm_add_ps(top, _mm_mul_ps(_mm256_castps256_ps128(line), _mm_load_ps(columns[k].rows + 16)));
    }
    _mm256_storeu_ps(rows, low);
    _mm256_storeu_ps(rows + 8, high);
    _mm_storeu_ps(rows + 16, top);
}
#endif

} // namespace

struct CMpegImdct::Tables {
    // x[i] = sum_k X[k] cos(pi / 72 (2i + 1 + 18)(2k + 1)), clause 2.4.3.4.10.2 with n = 36.
    // Row r < 9 is output i = r, row r in 9..17 is output i = r + 9; the others follow from
    // x[17 - i] = -x[i] (i < 9) and x[53 - i] = x[i] (18 <= i < 27). Stored [k][row].
    std::array<Column, 18> cosines{};
    // The four windows of clause 2.4.3.4.10.3 (block types 0..3; 2 is the short window in its
    // first 12 entries).
    std::array<std::array<float, 36>, 4> windows{};
    // x[i] = sum_k X[k] cos(pi / 24 (2i + 1 + 6)(2k + 1)), n = 12, multiplied by the short
    // window: [k][i], so that one line meets the twelve outputs in three vectors.
    std::array<std::array<float, 12>, 6> shortCosines{};
};

const CMpegImdct::Tables& CMpegImdct::Get()
{
    static const Tables tables = [] {
        using std::numbers::pi;
        Tables built;
        for (int k = 0; k < 18; ++k) {
            for (int row = 0; row < 18; ++row) {
                const int i = row < 9 ? row : row + 9;
                built.cosines[k].rows[row] =
                    static_cast<float>(std::cos(pi / 72.0 * (2 * i + 19) * (2 * k + 1)));
            }
        }
        for (int i = 0; i < 36; ++i) {
            const double normal = std::sin(pi / 36.0 * (i + 0.5));
            built.windows[0][i] = static_cast<float>(normal);
            double start = 0.0;
            if (i < 18)
                start = normal;
            else if (i < 24)
                start = 1.0;
            else if (i < 30)
                start = std::sin(pi / 12.0 * (i - 18 + 0.5));
            built.windows[1][i] = static_cast<float>(start);
            double stop = 0.0;
            if (i >= 18)
                stop = normal;
            else if (i >= 12)
                stop = 1.0;
            else if (i >= 6)
                stop = std::sin(pi / 12.0 * (i - 6 + 0.5));
            built.windows[3][i] = static_cast<float>(stop);
            built.windows[2][i] = i < 12 ? static_cast<float>(std::sin(pi / 12.0 * (i + 0.5))) : 0.0f;
        }
        for (int i = 0; i < 12; ++i) {
            for (int k = 0; k < 6; ++k) {
                built.shortCosines[k][i] = static_cast<float>(
                    std::sin(pi / 12.0 * (i + 0.5)) * std::cos(pi / 24.0 * (2 * i + 7) * (2 * k + 1)));
            }
        }
        return built;
    }();
    return tables;
}

void CMpegImdct::Long(const float* in, int blockType, float* overlap, float* out, int stride)
{
    const Tables& tables = Get();
    float rows[kRows];
#if defined(QUANDEL_WIDE_LANES)
    if (CVectorLanes::Wide()) {
        ProductWide(in, tables.cosines.data(), rows);
    } else
#endif
    {
        Float4 sum0 = {};
        Float4 sum1 = {};
        Float4 sum2 = {};
        Float4 sum3 = {};
        Float4 sum4 = {};
        for (int k = 0; k < 18; ++k) {
            const Float4 line = Float4{} + in[k];
            const auto* column = reinterpret_cast<const Float4*>(tables.cosines[k].rows);
            sum0 += line * column[0];
            sum1 += line * column[1];
            sum2 += line * column[2];
            sum3 += line * column[3];
            sum4 += line * column[4];
        }
        const Float4 sums[5] = {sum0, sum1, sum2, sum3, sum4};
        std::memcpy(rows, sums, sizeof rows);
    }
    // The 36 outputs from the 18 rows: x[i] = rows[i] and x[17 - i] = -rows[i] for i < 9,
    // x[18 + i] = x[35 - i] = rows[9 + i]; windowed, the first half overlap-added.
    const float* window = tables.windows[blockType & 3].data();
    for (int i = 0; i < 9; ++i)
        out[i * stride] = rows[i] * window[i] + overlap[i];
    for (int i = 9; i < 18; ++i)
        out[i * stride] = -rows[17 - i] * window[i] + overlap[i];
    for (int i = 0; i < 9; ++i)
        overlap[i] = rows[9 + i] * window[18 + i];
    for (int i = 9; i < 18; ++i)
        overlap[i] = rows[26 - i] * window[18 + i];
}

void CMpegImdct::Short(const float* in, float* overlap, float* out, int stride)
{
    const Tables& tables = Get();
    // The three windows land at 6, 12 and 18 of the 36-sample block; 0..5 and 30..35 stay 0.
    // Each output sums its six products from the first line on, four outputs at a time.
    float z[36] = {};
    for (int w = 0; w < 3; ++w) {
        const float* lines = in + 6 * w;
        for (int i = 0; i < 12; i += 4) {
            Float4 sum = Float4{} + lines[0] * Load4(tables.shortCosines[0].data() + i);
            for (int k = 1; k < 6; ++k)
                sum += lines[k] * Load4(tables.shortCosines[static_cast<size_t>(k)].data() + i);
            float* target = z + 6 + 6 * w + i;
            const Float4 total = Load4(target) + sum;
            std::memcpy(target, &total, sizeof total);
        }
    }
    for (int i = 0; i < 18; ++i) {
        out[i * stride] = z[i] + overlap[i];
        overlap[i] = z[18 + i];
    }
}

void CMpegImdct::Silent(float* overlap, float* out, int stride)
{
    for (int i = 0; i < 18; ++i) {
        out[i * stride] = overlap[i];
        overlap[i] = 0.0f;
    }
}
