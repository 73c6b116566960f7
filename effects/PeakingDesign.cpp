#include "effects/PeakingDesign.h"

#include <cmath>

void DesignPeaking(float freq, float gainDb, float q, float b[3], float a[3]) {
    const float amp = std::pow(10.0f, gainDb * 0.025f);
    // 2.2675737e-5 is 1/44100: the rate is fixed.
    const float w0 = freq * 2.2675737e-5f * 2.0f * 3.1415927f;
    const float alpha = std::sin(w0) / (q * 2.0f);
    const float alphaA = alpha * amp;
    const float alphaOverA = alpha / amp;
    const float d = alphaOverA + 1.0f;
    const float inv = 1.0f / d;
    b[0] = (alphaA + 1.0f) * inv;
    a[0] = inv * d;
    b[1] = std::cos(w0) * (-2.0f) * inv;
    a[1] = b[1];
    b[2] = (1.0f - alphaA) * inv;
    a[2] = (1.0f - alphaOverA) * inv;
}
