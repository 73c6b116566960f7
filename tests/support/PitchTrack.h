// An independent pitch tracker for judging the engine's output: the cumulative-mean-normalised
// difference function (YIN) on frames of the signal, computed with a small FFT of its own. It
// shares nothing with the engine's detector (another method, other lags, double precision).
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace pitchtrack {

constexpr double kRate = 44100.0;

// In-place radix-2 transform; inverse is unscaled.
inline void Fft(std::vector<std::complex<double>>& a, bool inverse) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2.0 * 3.14159265358979323846 / static_cast<double>(len) * (inverse ? 1.0 : -1.0);
        const std::complex<double> wl(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

struct Options {
    double loHz = 20.0;         // longest period searched
    double hiHz = 1100.0;       // shortest period searched
    int window = 2048;          // samples summed per lag
    int hop = 1024;             // frame step
    double threshold = 0.15;    // aperiodicity below which a dip counts as the period
    double minRmsShare = 0.1;   // frames quieter than this share of the signal's RMS are skipped
};

// F0 of single frames: the frame at a position is window + the longest period samples long.
class FrameTracker {
public:
    explicit FrameTracker(const Options& o = Options())
        : o_(o), maxLag_(static_cast<int>(kRate / o.loHz) + 2), minLag_(std::max(2, static_cast<int>(kRate / o.hiHz))) {
        while (n_ < static_cast<size_t>(o_.window + maxLag_ + 1)) n_ <<= 1;
        a_.resize(n_);
        b_.resize(n_);
        sq_.resize(static_cast<size_t>(o_.window + maxLag_ + 2));
        dn_.resize(static_cast<size_t>(maxLag_ + 2));
    }

    size_t FrameLength() const { return static_cast<size_t>(o_.window + maxLag_ + 1); }

    // F0 in Hz of the frame at s[from], or 0 when it is quieter than minRmsShare of
    // signalRms, aperiodic, or runs past the end of s.
    template <typename Sample>
    double F0At(const std::vector<Sample>& s, size_t from, double signalRms) {
        if (from + FrameLength() > s.size()) return 0.0;
        const int len = static_cast<int>(FrameLength());
        // Prefix sums of squares give every lag's energy.
        sq_[0] = 0.0;
        for (int j = 0; j < len; ++j) {
            const double x = static_cast<double>(s[from + static_cast<size_t>(j)]);
            sq_[static_cast<size_t>(j) + 1] = sq_[static_cast<size_t>(j)] + x * x;
        }
        const double e0 = sq_[static_cast<size_t>(o_.window)];
        if (e0 <= 0.0 || std::sqrt(e0 / o_.window) < o_.minRmsShare * signalRms) return 0.0;
        // The frame (zero-padded) and the lagged stretch go through one transform as the real
        // and imaginary parts; their cross-correlation comes back from a second one.
        std::fill(a_.begin(), a_.end(), 0.0);
        for (int j = 0; j < len; ++j) {
            const double x = static_cast<double>(s[from + static_cast<size_t>(j)]);
            a_[static_cast<size_t>(j)] = std::complex<double>(j < o_.window ? x : 0.0, x);
        }
        Fft(a_, false);
        for (size_t k = 0; k <= n_ / 2; ++k) {
            const std::complex<double> zk = a_[k], zn = std::conj(a_[(n_ - k) & (n_ - 1)]);
            const std::complex<double> fa = 0.5 * (zk + zn);
            const std::complex<double> fb = std::complex<double>(0.0, -0.5) * (zk - zn);
            b_[k] = std::conj(fa) * fb;
            if (k > 0 && k < n_ / 2) b_[n_ - k] = std::conj(b_[k]);
        }
        Fft(b_, true);
        // Cumulative-mean-normalised difference d'(lag).
        double running = 0.0;
        dn_[0] = 1.0;
        for (int lag = 1; lag <= maxLag_ + 1; ++lag) {
            const double cross = b_[static_cast<size_t>(lag)].real() / static_cast<double>(n_);
            const double el = sq_[static_cast<size_t>(lag + o_.window)] - sq_[static_cast<size_t>(lag)];
            const double d = std::max(0.0, e0 + el - 2.0 * cross);
            running += d;
            dn_[static_cast<size_t>(lag)] = running > 0.0 ? d * lag / running : 1.0;
        }
        int lag = -1;
        for (int k = minLag_; k <= maxLag_; ++k) {
            if (dn_[static_cast<size_t>(k)] < o_.threshold) {
                while (k + 1 <= maxLag_ && dn_[static_cast<size_t>(k) + 1] < dn_[static_cast<size_t>(k)]) ++k;
                lag = k;
                break;
            }
        }
        if (lag < 0) return 0.0;
        // Parabola through the dip for a fractional period.
        const double l = dn_[static_cast<size_t>(lag) - 1], c = dn_[static_cast<size_t>(lag)], r = dn_[static_cast<size_t>(lag) + 1];
        const double denom = l - 2.0 * c + r;
        const double shift = denom > 0.0 ? std::clamp(0.5 * (l - r) / denom, -0.5, 0.5) : 0.0;
        return kRate / (lag + shift);
    }

    const Options& Opts() const { return o_; }

private:
    Options o_;
    int maxLag_;
    int minLag_;
    size_t n_ = 1;
    std::vector<std::complex<double>> a_, b_;
    std::vector<double> sq_, dn_;
};

template <typename Sample>
double Rms(const std::vector<Sample>& s, size_t from, size_t to) {
    double e = 0.0;
    for (size_t i = from; i < to; ++i) e += static_cast<double>(s[i]) * static_cast<double>(s[i]);
    return to > from ? std::sqrt(e / static_cast<double>(to - from)) : 0.0;
}

// F0 in Hz of every voiced frame of s (silent and aperiodic frames are left out).
template <typename Sample>
std::vector<double> TrackF0(const std::vector<Sample>& s, const Options& o = Options()) {
    FrameTracker tracker(o);
    const double rms = Rms(s, 0, s.size());
    std::vector<double> f0s;
    for (size_t from = 0; from + tracker.FrameLength() <= s.size(); from += static_cast<size_t>(o.hop)) {
        const double f = tracker.F0At(s, from, rms);
        if (f > 0.0) f0s.push_back(f);
    }
    return f0s;
}

// out/in F0 ratio of every frame in which both signals (aligned sample for sample) are voiced.
template <typename Sample>
std::vector<double> FrameRatios(const std::vector<Sample>& in, const std::vector<Sample>& out, const Options& o = Options()) {
    FrameTracker tracker(o);
    const double inRms = Rms(in, 0, in.size());
    const double outRms = Rms(out, 0, out.size());
    std::vector<double> ratios;
    for (size_t from = 0; from + tracker.FrameLength() <= std::min(in.size(), out.size()); from += static_cast<size_t>(o.hop)) {
        const double a = tracker.F0At(in, from, inRms);
        if (a <= 0.0) continue;
        const double b = tracker.F0At(out, from, outRms);
        if (b > 0.0) ratios.push_back(b / a);
    }
    return ratios;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

template <typename Sample>
double MedianF0(const std::vector<Sample>& s, const Options& o = Options()) {
    return Median(TrackF0(s, o));
}

inline double Cents(double hz, double reference) { return 1200.0 * std::log2(hz / reference); }

}  // namespace pitchtrack
