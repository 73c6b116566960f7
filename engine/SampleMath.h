// Conversions from the engine's float samples to integers. Nothing converts an out-of-range
// float to an integer: values are clamped in floating point first, and NaN gives 0.
#pragma once

#include <cmath>

// A 16-bit output sample: clamp in float to -32767..32767, then truncate toward zero.
inline short ToSample16(float v) {
    if (!(v == v)) return 0;
    if (v > 32767.0f) v = 32767.0f;
    if (v < -32767.0f) v = -32767.0f;
    return static_cast<short>(static_cast<int>(v));
}

// Truncation toward zero that saturates at +-2^30 (far beyond any sample value) and gives 0 for NaN.
inline int SaturateToInt(double v) {
    if (!(v == v)) return 0;
    if (v > 1073741824.0) return 1073741824;
    if (v < -1073741824.0) return -1073741824;
    return static_cast<int>(v);
}

// The callers' clamp of a resampled value.
inline int ClampSample(int y) { return y > 32767 ? 32767 : (y < -32767 ? -32767 : y); }
