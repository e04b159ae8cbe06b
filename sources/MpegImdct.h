#pragma once

#include <array>

// The inverse MDCT, windowing and overlap-add of Layer III (ISO/IEC 11172-3 clause
// 2.4.3.4.10.2-4) for one sub-band: 18 frequency lines in, 18 time samples out, with the second
// half of the windowed block kept as the overlap for the next granule.
//
// Long blocks use the 18 distinct outputs of the 36-point transform (the other 18 follow by
// symmetry), an 18 x 18 product the compiler vectorises; short blocks are three 12-point
// transforms of 6 lines each.
class CMpegImdct {
public:
    // Block types of the side information: 0 normal, 1 start, 2 short, 3 stop.
    static constexpr int kBlockTypes = 4;

    // in[0..17]: the sub-band's lines; blockType 0, 1 or 3 chooses the window. out[i * stride]
    // for i = 0..17 receives the overlap-added samples; overlap[0..17] is updated.
    static void Long(const float* in, int blockType, float* overlap, float* out, int stride);
    // in[w * 6 + k]: line k of window w (the lines reordered into windows). Same output.
    static void Short(const float* in, float* overlap, float* out, int stride);
    // A sub-band whose lines are all zero: the output is the overlap, which becomes zero.
    static void Silent(float* overlap, float* out, int stride);

private:
    struct Tables;
    static const Tables& Get();
};
