// The effects' conversions into the 16-bit sample range, done in float so that no out-of-range
// value is ever converted to an integer.
#pragma once

#include <cmath>

inline constexpr float kSampleLimit = 32767.0f;

// Limited to -32767..32767; NaN gives 0.
inline float ClampToSampleRange(float v) {
    if (!(v == v)) return 0.0f;
    if (v > kSampleLimit) return kSampleLimit;
    if (v < -kSampleLimit) return -kSampleLimit;
    return v;
}

// Limited to -32767..32767 and truncated toward zero (the value a 16-bit sample would hold),
// still as a float; NaN gives 0.
inline float TruncateToSampleValue(float v) { return std::trunc(ClampToSampleRange(v)); }
