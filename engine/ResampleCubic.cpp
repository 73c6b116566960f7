#include "engine/ResampleCubic.h"

#include <cmath>

#include "engine/SampleMath.h"

namespace {

int ResampleAt(const float* t, int nIn, double pos) {
    // The fraction of a position that is never negative: exactly what fmod(pos, 1.0) gives.
    const double whole = std::floor(pos);
    double a = pos - whole;
    int j = static_cast<int>(whole);
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

}  // namespace

int ResampleCubic(const float* t, int nIn, int nOut, int i) {
    if (nOut <= 0 || nIn < 1) return 0;
    const float pos = static_cast<float>(i) * static_cast<float>(nIn) * (1.0f / static_cast<float>(nOut));
    return ResampleAt(t, nIn, static_cast<double>(pos));
}

int ResampleCubicDouble(const float* t, int nIn, int nOut, int i) {
    if (nOut <= 0 || nIn < 1) return 0;
    const double pos = static_cast<double>(i) * static_cast<double>(nIn) * (1.0 / static_cast<double>(nOut));
    return ResampleAt(t, nIn, pos);
}
