// Test signals and simple measurements on them, in double precision and independent of the code
// under test: 16-bit signals for the voice engine, float signals for the phase vocoder.
#pragma once

#include <algorithm>
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

// A sine as float samples (the phase vocoder's sample type), starting at the given phase.
inline std::vector<float> FloatSine(double hz, double amplitude, int count, double phase = 0.0) {
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / kRate + phase));
    return x;
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


}  // namespace signals
