#include "effects/EqResponse.h"

#include <cmath>
#include <complex>

void CalcEqResponse(const float* b, const float* a, float* out) {
    const float ratio = std::pow(2.0f, 0.025f);  // 2^(1/40)
    float f = 16.3516f;
    for (int j = 0; j < kEqResponsePoints; ++j) {
        const float w = static_cast<float>(static_cast<double>(f) * 6.283185307179586 * 2.2675736961451248e-5);
        const float c1 = std::cos(-w);
        const float s1 = std::sin(-w);
        const float w2 = w * (-2.0f);
        const float c2 = std::cos(w2);
        const float s2 = std::sin(w2);
        const std::complex<float> num(b[1] * c1 + b[0] + b[2] * c2, b[2] * s2 + b[1] * s1);
        const std::complex<float> den(a[1] * c1 + 1.0f + a[2] * c2, a[2] * s2 + a[1] * s1);
        const std::complex<float> h = num / den;
        out[j] = 10.0f * std::log10(h.real() * h.real() + h.imag() * h.imag());
        f = f * ratio;
    }
}
