// Conversions from the engine's float samples to integers. Nothing converts an out-of-range
// float to an integer: values are clamped in floating point first, and NaN gives 0.
#pragma once

#include <cmath>

inline constexpr float kSampleLimit = 32767.0f;

// Limited in float to -32767..32767; NaN gives 0.
inline float ClampToSampleRange(float v) {
    if (!(v == v)) return 0.0f;
    if (v > kSampleLimit) return kSampleLimit;
    if (v < -kSampleLimit) return -kSampleLimit;
    return v;
}

// The value a 16-bit sample would hold, still as a float: limited, then truncated toward zero.
inline float TruncateToSampleValue(float v) { return std::trunc(ClampToSampleRange(v)); }

// A 16-bit output sample: clamp in float to -32767..32767, then truncate toward zero.
inline short ToSample16(float v) { return static_cast<short>(static_cast<int>(ClampToSampleRange(v))); }

// Truncation toward zero that saturates at +-2^30 (far beyond any sample value) and gives 0 for NaN.
inline int SaturateToInt(double v) {
    if (!(v == v)) return 0;
    if (v > 1073741824.0) return 1073741824;
    if (v < -1073741824.0) return -1073741824;
    return static_cast<int>(v);
}

// The callers' clamp of a resampled value.
inline int ClampSample(int y) { return y > 32767 ? 32767 : (y < -32767 ? -32767 : y); }
