// The four-point cubic resampler shared by the live, chorus and batch synthesis. It maps a
// segment of nIn new overlap-add values, preceded by the carried last value of the previous
// segment (t[0]), onto nOut output samples, blending linearly at the two ends.
//
// Inline: the synthesis calls it once per output sample.
#pragma once

#include <cmath>

#include "engine/SampleMath.h"

namespace resample_detail {

__attribute__((always_inline)) inline int ResampleAt(const float* t, int nIn, double pos) {
    // The fraction as pos - floor(pos): exact for every position here (as fmod(pos, 1) is),
    // because pos and its floor lie within a factor two of each other or the floor is 0. For
    // the positions a segment has (0 up to below 2^31) the floor is the truncation.
    int j;
    double a;
    if (pos >= 0.0 && pos < 2147483647.0) {
        j = static_cast<int>(pos);
        a = pos - static_cast<double>(j);
    } else {
        j = pos < 0.0 ? -1 : nIn;  // before the segment (blend weight 0) or past its end
        a = 0.0;
    }
    // A position rounded up to the segment's end must not read past t[nIn].
    if (j >= nIn) {
        j = nIn - 1;
        a = 1.0;
    }
    if (j < 0) {
        j = 0;
        a = 0.0;
    }
    if (j <= 0 || j >= nIn - 1) {
        const double y = static_cast<double>(t[j + 1]) * a + (1.0 - a) * static_cast<double>(t[j]);
        return SaturateToInt(y);
    }
    const float af = static_cast<float>(a);
    const float bf = static_cast<float>(1.0 - a);
    const float sixth = 0.16666667f;
    const float A = (af * af - 1.0f) * af * sixth;
    const float B = (bf * bf - 1.0f) * bf * sixth;
    const float cm1 = (8.0f * B - 2.0f * A) * 0.2f;
    const float c0 = (12.0f * A - 18.0f * B) * 0.2f + bf;
    const float c1 = (12.0f * B - 18.0f * A) * 0.2f + af;
    const float c2 = (8.0f * A - 2.0f * B) * 0.2f;
    float y = c0 * t[j] + cm1 * t[j - 1];
    y = y + c1 * t[j + 1];
    y = y + c2 * t[j + 2];
    return SaturateToInt(static_cast<double>(y));
}

}  // namespace resample_detail

// Output sample i (0 <= i < nOut) of the segment t[0..nIn]; the position is computed in single
// precision as the live engines do. Returns 0 when nOut <= 0 or nIn < 1. Not clamped.
inline int ResampleCubic(const float* t, int nIn, int nOut, int i) {
    if (nOut <= 0 || nIn < 1) return 0;
    const float pos = static_cast<float>(i) * static_cast<float>(nIn) * (1.0f / static_cast<float>(nOut));
    return resample_detail::ResampleAt(t, nIn, static_cast<double>(pos));
}

// The same rule with the position computed in double precision (the offline conversion).
inline int ResampleCubicDouble(const float* t, int nIn, int nOut, int i) {
    if (nOut <= 0 || nIn < 1) return 0;
    const double pos = static_cast<double>(i) * static_cast<double>(nIn) * (1.0 / static_cast<double>(nOut));
    return resample_detail::ResampleAt(t, nIn, pos);
}

// out[k] = ResampleCubic(t, nIn, nOut, first + k) for k = 0..count-1, the very same values,
// computed many at a time on vectors where the processor has them (the outputs between the
// two ends of the segment; the ends blend linearly one at a time).
void ResampleCubicRun(const float* t, int nIn, int nOut, int first, int count, int* out);
// (The width is VectorFloats() of engine/VectorWidth.h; four means one at a time.)
