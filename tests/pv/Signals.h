// Test signals and measurements in double precision, independent of the code under test.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

namespace pvtest {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

inline std::vector<float> Sine(double hz, double amplitude, int count, double phase = 0.0) {
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / kRate + phase));
    return x;
}

// Hann-weighted correlation with a complex exponential at hz: amplitude of that component.
inline double AmplitudeAt(const float* x, int count, double hz) {
    std::complex<double> sum = 0.0;
    double weight = 0.0;
    for (int i = 0; i < count; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * i / count);
        sum += w * x[i] * std::polar(1.0, -2.0 * kPi * hz * i / kRate);
        weight += w;
    }
    return 2.0 * std::abs(sum) / weight;
}

// Frequency of the strongest component: a coarse scan in 20 Hz steps, then 0.5 Hz steps.
inline double DominantHz(const float* x, int count) {
    double best = 0.0, bestAmp = -1.0;
    for (double hz = 20.0; hz < 20000.0; hz += 20.0) {
        const double a = AmplitudeAt(x, count, hz);
        if (a > bestAmp) bestAmp = a, best = hz;
    }
    const double centre = best;
    for (double hz = centre - 20.0; hz <= centre + 20.0; hz += 0.5) {
        const double a = AmplitudeAt(x, count, hz);
        if (a > bestAmp) bestAmp = a, best = hz;
    }
    return best;
}

inline double Rms(const float* x, int count) {
    double sum = 0.0;
    for (int i = 0; i < count; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / count);
}

}  // namespace pvtest
