// A recording played faster, as a tape played at a higher speed: the same speech in less time
// and at a higher pitch. Band-limited (windowed-sinc) so that nothing folds back below the new
// Nyquist frequency and confuses a pitch tracker.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace speed {

// Sample n of the result is the input at position n × factor (factor > 1), low-passed at
// 0.95 × 1/factor of the input's Nyquist frequency under a Blackman window of 2 × 24 × factor taps.
inline std::vector<short> PlayFaster(const std::vector<short>& in, double factor) {
    constexpr double kPi = 3.14159265358979323846;
    constexpr int kPhases = 512;  // the fraction of each position, in steps of 1/512 sample
    const double cutoff = 0.95 / factor;  // of the input's Nyquist frequency
    const int reach = static_cast<int>(std::ceil(24.0 * factor));
    const int taps = 2 * reach;
    // Kernel of every phase: tap j weighs input sample centre - reach + 1 + j.
    std::vector<double> kernel(static_cast<size_t>((kPhases + 1) * taps));
    for (int ph = 0; ph <= kPhases; ++ph) {
        for (int j = 0; j < taps; ++j) {
            const double d = static_cast<double>(ph) / kPhases + static_cast<double>(reach - 1 - j);
            const double x = kPi * cutoff * d;
            const double sinc = d == 0.0 ? 1.0 : std::sin(x) / x;
            const double w = 0.42 + 0.5 * std::cos(kPi * d / reach) + 0.08 * std::cos(2.0 * kPi * d / reach);
            kernel[static_cast<size_t>(ph * taps + j)] = cutoff * sinc * w;
        }
    }
    const size_t n = static_cast<size_t>(static_cast<double>(in.size()) / factor);
    std::vector<short> out(n);
    for (size_t i = 0; i < n; ++i) {
        const double at = static_cast<double>(i) * factor;
        const long centre = static_cast<long>(at);
        const int ph = static_cast<int>(std::lround((at - static_cast<double>(centre)) * kPhases));
        const double* k = &kernel[static_cast<size_t>(ph * taps)];
        double acc = 0.0;
        for (int j = 0; j < taps; ++j) {
            const long x = centre - reach + 1 + j;
            if (x >= 0 && x < static_cast<long>(in.size())) acc += static_cast<double>(in[static_cast<size_t>(x)]) * k[j];
        }
        out[i] = static_cast<short>(std::lround(std::clamp(acc, -32767.0, 32767.0)));
    }
    return out;
}

}  // namespace speed
