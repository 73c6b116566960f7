// Test signals and simple measurements on them.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

namespace signals {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

inline std::vector<short> Sine(double hz, double amplitude, int n) {
    std::vector<short> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) s[static_cast<size_t>(i)] = static_cast<short>(std::lround(amplitude * std::sin(2 * kPi * hz * i / kRate)));
    return s;
}

// Harmonics 1..count of f0 with amplitudes weight(k * f0), scaled so the peak is near amplitude.
template <typename Weight>
std::vector<short> Harmonic(double f0, int count, double amplitude, int n, Weight weight) {
    std::vector<double> v(static_cast<size_t>(n), 0.0);
    double peak = 0.0;
    for (int i = 0; i < n; ++i) {
        double x = 0.0;
        for (int k = 1; k <= count; ++k) x += weight(k * f0) * std::sin(2 * kPi * k * f0 * i / kRate + 0.3 * k);
        v[static_cast<size_t>(i)] = x;
        peak = std::max(peak, std::fabs(x));
    }
    std::vector<short> s(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) s[static_cast<size_t>(i)] = static_cast<short>(std::lround(v[static_cast<size_t>(i)] / peak * amplitude));
    return s;
}

// Magnitude of the Hann-windowed signal at frequency hz (a single DFT bin at any frequency).
inline double MagnitudeAt(const std::vector<short>& s, size_t from, size_t count, double hz) {
    std::complex<double> acc = 0.0;
    const double w = 2 * kPi * hz / kRate;
    for (size_t i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * kPi * static_cast<double>(i) / static_cast<double>(count));
        acc += hann * s[from + i] * std::polar(1.0, -w * static_cast<double>(i));
    }
    return std::abs(acc);
}

// Frequency of the strongest component between lo and hi Hz, searched in steps of stepHz.
inline double PeakFrequency(const std::vector<short>& s, size_t from, size_t count, double lo, double hi, double stepHz) {
    double best = lo;
    double bestMag = -1.0;
    for (double f = lo; f <= hi; f += stepHz) {
        const double m = MagnitudeAt(s, from, count, f);
        if (m > bestMag) {
            bestMag = m;
            best = f;
        }
    }
    return best;
}

}  // namespace signals
