#include "MpegSynthesis.h"

#include "VectorLanes.h"

#include <cmath>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr int kBands = 32;
constexpr int kSlotValues = 64; // matrixed values per time slot
constexpr int kSlots = 16;      // time slots the window spans
constexpr int kWindow = 512;

// ISO/IEC 11172-3 table 3-B.3, the synthesis window D[i], for i = 0..256. The table prints nine
// decimals; every entry is a whole multiple of 2^-16, so the multiples are kept. The rest of the
// window mirrors this half: D[512 - i] = -D[i], except at multiples of 64 where it is equal.
constexpr int kWindowHalf[kWindow / 2 + 1] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,     -3,
    -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,    -13,    -14,
    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,    -41,    -45,    -49,
    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,
    -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   213,
    218,    222,    225,    227,    228,    228,    227,    224,    221,    215,    208,    200,    189,
    177,    163,    146,    127,    106,    83,     57,     29,     -2,     -36,    -72,    -111,   -153,
    -197,   -244,   -294,   -347,   -401,   -459,   -519,   -581,   -645,   -711,   -779,   -848,   -919,
    -991,   -1064,  -1137,  -1210,  -1283,  -1356,  -1428,  -1498,  -1567,  -1634,  -1698,  -1759,  -1817,
    -1870,  -1919,  -1962,  -2001,  -2032,  -2057,  -2075,  -2085,  -2087,  -2080,  -2063,  2037,   2000,
    1952,   1893,   1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,  -7910,
    -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,  -9966,  -9935,
    -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,  6574,   5959,   5288,
    4561,   3776,   2935,   2037,   1082,   70,     -998,   -2122,  -3300,  -4533,  -5818,  -7154,  -8540,
    -9975,  -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289, -30112,
    -31947, -33791, -35640, -37489, -39336, -41176, -43006, -44821, -46617, -48390, -50137, -51853, -53534,
    -55178, -56778, -58333, -59838, -61289, -62684, -64019, -65290, -66494, -67629, -68692, -69679, -70590,
    -71420, -72169, -72835, -73415, -73908, -74313, -74630, -74856, -74992, 75038,
};

// A fast DCT-II without normalisation, y[m] = sum x[k] cos((2k + 1) m pi / (2N)), by the even/odd
// split of B. G. Lee: the even outputs are the half-size transform of x[k] + x[N-1-k]; the odd
// ones come from the half-size transform Z of (x[k] - x[N-1-k]) / (2 cos((2k + 1) pi / (2N))) as
// y[2m+1] = Z[m] + Z[m+1]. 80 multiplications for N = 32 against 1024 for the plain sum.
struct DctTables {
    float scale32[16];
    float scale16[8];
    float scale8[4];
    float scale4[2];
    float scale2[1];
    DctTables()
    {
        Fill(scale32, 32);
        Fill(scale16, 16);
        Fill(scale8, 8);
        Fill(scale4, 4);
        Fill(scale2, 2);
    }
    static void Fill(float* scale, int n)
    {
        for (int k = 0; k < n / 2; ++k)
            scale[k] = static_cast<float>(0.5 / std::cos((2 * k + 1) * M_PI / (2.0 * n)));
    }
};

struct SynthesisTables {
    DctTables dct;
    alignas(16) float window[kWindow]; // D[i], full scale
    SynthesisTables()
    {
        for (int i = 0; i <= kWindow / 2; ++i)
            window[i] = static_cast<float>(kWindowHalf[i] / 65536.0);
        for (int i = 1; i < kWindow / 2; ++i)
            window[kWindow - i] = (i % 64 == 0) ? window[i] : -window[i];
    }
};

const SynthesisTables& Tables()
{
    static const SynthesisTables tables;
    return tables;
}

template <int N> const float* DctScale(const DctTables& t)
{
    if constexpr (N == 32)
        return t.scale32;
    else if constexpr (N == 16)
        return t.scale16;
    else if constexpr (N == 8)
        return t.scale8;
    else if constexpr (N == 4)
        return t.scale4;
    else
        return t.scale2;
}

template <int N> inline void Dct(const DctTables& t, const float* x, float* y)
{
    if constexpr (N == 1) {
        y[0] = x[0];
    } else {
        constexpr int kHalf = N / 2;
        const float* scale = DctScale<N>(t);
        float sum[kHalf];
        float difference[kHalf];
        for (int k = 0; k < kHalf; ++k) {
            sum[k] = x[k] + x[N - 1 - k];
            difference[k] = (x[k] - x[N - 1 - k]) * scale[k];
        }
        float even[kHalf];
        float odd[kHalf];
        Dct<kHalf>(t, sum, even);
        Dct<kHalf>(t, difference, odd);
        for (int m = 0; m < kHalf - 1; ++m) {
            y[2 * m] = even[m];
            y[2 * m + 1] = odd[m] + odd[m + 1];
        }
        y[N - 2] = even[kHalf - 1];
        y[N - 1] = odd[kHalf - 1];
    }
}

#if defined(__SSE2__)
// The same transform four lanes at a time where a stage is at least four wide; every value is
// computed by the same operations in the same order as above, so the results are identical.

// x[k] + x[N-1-k] and (x[k] - x[N-1-k]) scale[k] for k = 0..N/2-1, four at a time.
template <int N> inline void Butterfly(const float* x, const float* scale, float* sum, float* difference)
{
    for (int k = 0; k < N / 2; k += 4) {
        const __m128 low = _mm_loadu_ps(x + k);
        const __m128 high =
            _mm_shuffle_ps(_mm_loadu_ps(x + N - 4 - k), _mm_loadu_ps(x + N - 4 - k), _MM_SHUFFLE(0, 1, 2, 3));
        _mm_storeu_ps(sum + k, _mm_add_ps(low, high));
        _mm_storeu_ps(difference + k, _mm_mul_ps(_mm_sub_ps(low, high), _mm_loadu_ps(scale + k)));
    }
}

// y[2m] = even[m], y[2m+1] = odd[m] + odd[m+1]; odd holds a zero after its last value.
template <int N> inline void Interleave(const float* even, const float* odd, float* y)
{
    for (int m = 0; m < N / 2; m += 4) {
        const __m128 e = _mm_loadu_ps(even + m);
        const __m128 o = _mm_add_ps(_mm_loadu_ps(odd + m), _mm_loadu_ps(odd + m + 1));
        _mm_storeu_ps(y + 2 * m, _mm_unpacklo_ps(e, o));
        _mm_storeu_ps(y + 2 * m + 4, _mm_unpackhi_ps(e, o));
    }
}

template <int N> inline void DctSse(const DctTables& t, const float* x, float* y)
{
    if constexpr (N == 4) {
        Dct<4>(t, x, y);
    } else {
        constexpr int kHalf = N / 2;
        float sum[kHalf];
        float difference[kHalf];
        Butterfly<N>(x, DctScale<N>(t), sum, difference);
        float even[kHalf];
        float odd[kHalf + 1];
        DctSse<kHalf>(t, sum, even);
        DctSse<kHalf>(t, difference, odd);
        odd[kHalf] = 0.0f;
        Interleave<N>(even, odd, y);
    }
}
#endif

#if defined(QUANDEL_WIDE_LANES)
// The windowing below eight lanes at a time, for processors that have them: each output is the
// same two sums over the same taps in the same order, so the samples are identical.
QUANDEL_WIDE_TARGET void WindowAvx(const float* window, const float* const* slots, float* pcm)
{
    __m256 even[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    __m256 odd[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
#pragma GCC unroll 8
    for (int age = 0; age < kSlots; age += 2) {
        const float* evenWindow = window + 32 * age;
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q) {
            even[q] = _mm256_add_ps(even[q], _mm256_mul_ps(_mm256_loadu_ps(evenWindow + 8 * q),
                                                           _mm256_loadu_ps(slots[age] + 8 * q)));
            odd[q] = _mm256_add_ps(odd[q], _mm256_mul_ps(_mm256_loadu_ps(evenWindow + 32 + 8 * q),
                                                         _mm256_loadu_ps(slots[age + 1] + 8 * q)));
        }
    }
    for (int q = 0; q < 4; ++q)
        _mm256_storeu_ps(pcm + 8 * q, _mm256_add_ps(even[q], odd[q]));
}

#endif

} // namespace

CMpegSynthesis::CMpegSynthesis()
{
    // Builds the tables before the first time slot rather than inside it.
    (void)Tables();
}

void CMpegSynthesis::Reset()
{
    m_v.fill(0.0f);
    m_newest = 0;
}

float CMpegSynthesis::WindowCoefficient(int i)
{
    return i >= 0 && i < kWindow ? Tables().window[i] : 0.0f;
}

void CMpegSynthesis::Synthesize(const float* subbands, float* pcm)
{
    const SynthesisTables& tables = Tables();

    // Matrixing (clause 2.4.3.2.2 figure A.2): V[i] = sum S[k] cos((16 + i)(2k + 1) pi / 64),
    // i = 0..63. With y the DCT-II of S, cos((2k + 1) m pi / 64) for m = 16..79 folds back onto
    // m = 0..31: V[i] = y[16 + i] for i < 16, V[16] = 0, V[i] = -y[48 - i] for 17..48 and
    // V[i] = -y[i - 48] for 49..63.
    float y[kBands];
#if defined(__SSE2__)
    DctSse<kBands>(tables.dct, subbands, y);
#else
    Dct<kBands>(tables.dct, subbands, y);
#endif
    m_newest = (m_newest + kSlots - 1) % kSlots;
    float* v = m_v.data() + m_newest * kSlotValues;
#if defined(__SSE2__)
    // v[i] = y[16 + i] for i < 16; v[17 + k] = -y[31 - k] for k = 0..31 (which puts -y[0] at 48,
    // as the last part does too); v[48 + i] = -y[i].
    const __m128 sign = _mm_set1_ps(-0.0f);
    for (int i = 0; i < 16; i += 4) {
        _mm_storeu_ps(v + i, _mm_loadu_ps(y + 16 + i));
        _mm_storeu_ps(v + 48 + i, _mm_xor_ps(_mm_loadu_ps(y + i), sign));
    }
    for (int k = 0; k < 32; k += 4) {
        const __m128 four = _mm_loadu_ps(y + 28 - k);
        _mm_storeu_ps(v + 17 + k, _mm_xor_ps(_mm_shuffle_ps(four, four, _MM_SHUFFLE(0, 1, 2, 3)), sign));
    }
    v[16] = 0.0f;
#else
    for (int i = 0; i < 16; ++i)
        v[i] = y[16 + i];
    v[16] = 0.0f;
    for (int i = 17; i <= 48; ++i)
        v[i] = -y[48 - i];
    for (int i = 49; i < 64; ++i)
        v[i] = -y[i - 48];
#endif

    // Windowing: out[j] = sum over i = 0..15 of D[32i + j] U[32i + j], where U takes the first
    // half of the slot 2m old and the second half of the slot 2m + 1 old. Summed slot by slot so
    // that the inner loops run over 32 adjacent values, four at a time.
    const float* window = tables.window;
#if defined(__SSE2__)
    const float* slots[kSlots];
    for (int age = 0; age < kSlots; ++age)
        slots[age] = m_v.data() + ((m_newest + age) & (kSlots - 1)) * kSlotValues + (age & 1) * kBands;
#if defined(QUANDEL_WIDE_LANES)
    if (CVectorLanes::Wide()) {
        WindowAvx(window, slots, pcm);
        return;
    }
#endif
    // Sixteen outputs at a time, each summed over the even and over the odd taps (two partial
    // sums halve the chain of dependent additions), the sums held in registers.
    for (int half = 0; half < kBands; half += 16) {
        __m128 even[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
        __m128 odd[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
#pragma GCC unroll 8
        for (int age = 0; age < kSlots; age += 2) {
            const float* evenWindow = window + 32 * age + half;
            const float* evenSlot = slots[age] + half;
            const float* oddSlot = slots[age + 1] + half;
#pragma GCC unroll 4
            for (int q = 0; q < 4; ++q) {
                even[q] = _mm_add_ps(
                    even[q], _mm_mul_ps(_mm_load_ps(evenWindow + 4 * q), _mm_load_ps(evenSlot + 4 * q)));
                odd[q] = _mm_add_ps(
                    odd[q], _mm_mul_ps(_mm_load_ps(evenWindow + 32 + 4 * q), _mm_load_ps(oddSlot + 4 * q)));
            }
        }
        for (int q = 0; q < 4; ++q)
            _mm_storeu_ps(pcm + half + 4 * q, _mm_add_ps(even[q], odd[q]));
    }
#else
    float out[kBands] = {};
    for (int m = 0; m < kSlots / 2; ++m) {
        const float* evenSlot = m_v.data() + ((m_newest + 2 * m) & (kSlots - 1)) * kSlotValues;
        const float* oddSlot = m_v.data() + ((m_newest + 2 * m + 1) & (kSlots - 1)) * kSlotValues + kBands;
        const float* evenWindow = window + 64 * m;
        const float* oddWindow = evenWindow + kBands;
        for (int j = 0; j < kBands; ++j)
            out[j] += evenWindow[j] * evenSlot[j] + oddWindow[j] * oddSlot[j];
    }
    for (int j = 0; j < kBands; ++j)
        pcm[j] = out[j];
#endif
}
