// The gain shapes and the sample arithmetic with which a live run's playback joins two stretches
// of its stream (or sound and silence) without a jump: frames of 16-bit little-endian PCM, one
// or more channels interleaved, faded out, faded in or crossfaded over a few milliseconds.
// Plain functions on caller-owned memory; they allocate nothing and may run on a sound system's
// own thread.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/wave/fmtbytes.h"

namespace platform::wave::cutfade {

// How long a cut's fade lasts.
inline constexpr double kFadeSeconds = 0.005;
// How long the crossfade of one gradual step (a frame dropped or played twice) lasts, in frames.
inline constexpr std::size_t kStepFrames = 64;
// Frames played between two gradual steps at the least: a drift is followed at up to a frame in
// 441 (2.3 ms a second), ten times what two sound cards' clocks drift apart.
inline constexpr std::size_t kStepSpacingFrames = 441;

// Gain of the outgoing sound at frame i of an n-frame fade: a raised cosine from just below 1
// to just above 0, so neither end repeats the level of the sound it joins.
inline float OutGain(std::size_t i, std::size_t n) {
    constexpr double kPi = 3.14159265358979323846;
    return static_cast<float>(0.5 * (1.0 + std::cos(kPi * static_cast<double>(i + 1) / static_cast<double>(n + 1))));
}

inline float Sample(const BYTE* p) { return static_cast<float>(static_cast<std::int16_t>(GetLe16(p))); }

inline void PutSample(BYTE* p, float v) {
    v = std::round(v);
    if (v > 32767.0f) v = 32767.0f;
    if (v < -32768.0f) v = -32768.0f;
    PutLe16(p, static_cast<WORD>(static_cast<std::int16_t>(v)));
}

// Scales `frames` frames in place: frame i by OutGain(first + i, n), or by its complement when
// fading in.
inline void Fade(BYTE* p, std::size_t frames, std::size_t channels, std::size_t first, std::size_t n, bool in) {
    for (std::size_t i = 0; i < frames; ++i) {
        const float out = OutGain(first + i, n);
        const float g = in ? 1.0f - out : out;
        for (std::size_t c = 0; c < channels; ++c) {
            BYTE* s = p + (i * channels + c) * 2;
            PutSample(s, Sample(s) * g);
        }
    }
}

// dst[i] = from[i] faded out and to[i] faded in, over `frames` frames (dst may be either input).
inline void Crossfade(BYTE* dst, const BYTE* from, const BYTE* to, std::size_t frames, std::size_t channels) {
    for (std::size_t i = 0; i < frames; ++i) {
        const float g = OutGain(i, frames);
        for (std::size_t c = 0; c < channels; ++c) {
            const std::size_t at = (i * channels + c) * 2;
            PutSample(dst + at, Sample(from + at) * g + Sample(to + at) * (1.0f - g));
        }
    }
}

// `frames` frames that take the level of `last` (one frame) down to silence.
inline void Tail(BYTE* dst, const BYTE* last, std::size_t frames, std::size_t channels) {
    for (std::size_t i = 0; i < frames; ++i) {
        const float g = OutGain(i, frames);
        for (std::size_t c = 0; c < channels; ++c) PutSample(dst + (i * channels + c) * 2, Sample(last + c * 2) * g);
    }
}

}  // namespace platform::wave::cutfade
