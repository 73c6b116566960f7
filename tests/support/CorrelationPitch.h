// A second independent pitch estimator for judging output: the normalised autocorrelation of
// one frame, with the shortest lag whose peak comes close to the best taken as the period. It
// shares no code with the engine; the frame tracker of PitchTrack.h is the other method.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "support/PitchTrack.h"

namespace pitchtrack {

// Fundamental of s[from, from + len) by normalised autocorrelation between 60 and 600 Hz, the
// shortest lag whose peak comes close to the best one; 0 when the frame is not clearly periodic.
inline double FrameF0(const std::vector<short>& s, std::size_t from, std::size_t len) {
    if (from + len + 800 > s.size()) return 0.0;
    const int lo = 44100 / 600;
    const int hi = 44100 / 60;
    std::vector<double> r(static_cast<std::size_t>(hi + 2), 0.0);
    double e0 = 0.0;
    for (std::size_t i = 0; i < len; ++i) e0 += double(s[from + i]) * s[from + i];
    if (e0 < 1e6 * static_cast<double>(len) / 100.0) return 0.0;
    double best = 0.0;
    for (int lag = lo - 1; lag <= hi + 1; ++lag) {
        double c = 0.0;
        double e1 = 0.0;
        for (std::size_t i = 0; i < len; ++i) {
            const double b = s[from + i + static_cast<std::size_t>(lag)];
            c += double(s[from + i]) * b;
            e1 += b * b;
        }
        r[static_cast<std::size_t>(lag)] = e1 > 0.0 ? c / std::sqrt(e0 * e1) : 0.0;
        if (lag >= lo && lag <= hi) best = std::max(best, r[static_cast<std::size_t>(lag)]);
    }
    if (best < 0.8) return 0.0;
    for (int lag = lo; lag <= hi; ++lag) {
        const double c = r[static_cast<std::size_t>(lag)];
        if (c >= 0.9 * best && c >= r[static_cast<std::size_t>(lag - 1)] && c >= r[static_cast<std::size_t>(lag + 1)]) {
            const double a = r[static_cast<std::size_t>(lag - 1)];
            const double b = r[static_cast<std::size_t>(lag + 1)];
            const double den = a - 2.0 * c + b;
            const double shift = den != 0.0 ? 0.5 * (a - b) / den : 0.0;
            return 44100.0 / (lag + shift);
        }
    }
    return 0.0;
}

// F0(out at t + lag) / F0(in at t) for the frames t in [inFrom, inTo) where both are clearly periodic.
inline std::vector<double> PitchRatios(const std::vector<short>& in, const std::vector<short>& out, std::size_t lag,
                                       std::size_t inFrom, std::size_t inTo) {
    std::vector<double> ratios;
    for (std::size_t t = inFrom; t + 2048 < inTo; t += 1024) {
        const double a = FrameF0(in, t, 1024);
        const double b = FrameF0(out, t + lag, 1024);
        if (a > 0.0 && b > 0.0) ratios.push_back(b / a);
    }
    return ratios;
}

// Median over frames of F0(out at t + lag) / F0(in at t) where both are clearly periodic. Kept
// out of line: inlined into a test body under the thread sanitizer, GCC 12 warns falsely about
// freeing the vector of ratios.
[[gnu::noinline]] inline double MedianPitchRatio(const std::vector<short>& in, const std::vector<short>& out, std::size_t lag,
                               std::size_t inFrom, std::size_t inTo, int* frames) {
    std::vector<double> ratios = PitchRatios(in, out, lag, inFrom, inTo);
    *frames = static_cast<int>(ratios.size());
    return Median(std::move(ratios));
}

}  // namespace pitchtrack
