#include "engine/Grain.h"

#include <algorithm>
#include <cmath>

#include "engine/VocoderKernels.h"

namespace {
constexpr float kPi = 3.14159265358979f;
constexpr int kClearAhead = 2048;  // zeroed stretch ahead of the newest grain's centre
}

CGrainShape GrainShape(int pa, int t) {
    if (t < 1 || pa <= t) return {pa, 1.0f};
    return {t, std::sqrt(static_cast<float>(pa) / static_cast<float>(t)), pa >= 2 * t};
}

bool StepToNextGrainMark(CPsolaVoice& v, double step, int newest) {
    const double nextPos = v.markPos + step;
    const int nk = static_cast<int>(std::ceil(nextPos));
    if (nk + 1 > newest) return false;
    v.markPos = nextPos;
    v.k = nk;
    return true;
}

void ClearAhead(const COlaRing& ola, CPsolaVoice& v, std::int64_t grainPos, int half) {
    const std::int64_t target = std::max(grainPos + kClearAhead, grainPos + half + 1);
    const std::int64_t ringLen = ola.mask + 1;
    if (target - v.cleared > ringLen) v.cleared = target - ringLen;
    for (std::int64_t x = v.cleared; x < target; ++x) ola.data[x & ola.mask] = 0.0f;
    if (target > v.cleared) v.cleared = target;
}

bool LayGrain(const COlaRing& ola, const CInputRing& in, CPsolaVoice& v, int pa, int t, std::int64_t markSample,
              std::int64_t count, int os) {
    const CGrainShape shape = GrainShape(pa, t);
    // The window's last position must lie on or before the last input sample that has arrived.
    if (markSample + 2 * static_cast<std::int64_t>(shape.half) > (count - 1) * os) return false;
    v.pa = pa;
    v.grainPos += pa;
    ClearAhead(ola, v, v.grainPos, shape.half);
    AddGrain(ola, in, v.grainPos, shape, markSample, count, os);
    return true;
}

void AddGrain(const COlaRing& ola, const CInputRing& in, std::int64_t grainPos, const CGrainShape& shape,
              std::int64_t markSample, std::int64_t count, int os) {
    const int len = 2 * shape.half;
    const float step = kPi / static_cast<float>(len);
    const std::int64_t base = grainPos - shape.half;
    // Input at or beyond the count has not arrived (and may be being written): it counts as 0.
    const auto input = [&](std::int64_t u) {
        if (os == 1) return u < count ? in.data[u & in.mask] : 0.0f;
        const std::int64_t j = u / os;
        const int r = static_cast<int>(u % os);
        if (r == 0) return j < count ? in.data[j & in.mask] : 0.0f;
        if (j + 1 >= count) return 0.0f;
        const float a = static_cast<float>(r) / static_cast<float>(os);
        return (1.0f - a) * in.data[j & in.mask] + a * in.data[(j + 1) & in.mask];
    };
    // The window's sines a run at a time on vectors (the phase vocoder's polynomial, within a
    // unit in the last place of the library's sine).
    constexpr int kRun = 256;
    alignas(64) float arg[kRun], sine[kRun], cosine[kRun];
    const auto windowRun = [&](int i0, int n) {
        const int whole = (n + 15) / 16 * 16;
        for (int k = 0; k < whole; ++k) arg[k] = static_cast<float>(i0 + k) * step;
        VocoderKernels().sinCos(arg, sine, cosine, whole);
    };
    // Hands every sample position of the grain with its window's sine to use(i, w).
    const auto eachWindowed = [&](auto&& use) {
        for (int i0 = 0; i0 <= len; i0 += kRun) {
            const int n = std::min(kRun, len + 1 - i0);
            windowRun(i0, n);
            for (int k = 0; k < n; ++k) use(i0 + k, sine[k]);
        }
    };
    if (shape.gain == 1.0f) {
        eachWindowed([&](int i, float w) { ola.data[(base + i) & ola.mask] += w * w * input(markSample + i); });
        return;
    }
    // A raised grain: its values first, then the gain it can take without reaching full scale.
    thread_local std::vector<float> values;
    values.resize(static_cast<size_t>(len) + 1);
    float peak = 0.0f;
    eachWindowed([&](int i, float w) {
        const float x = input(markSample + i);
        const float val = w * w * x;
        values[static_cast<size_t>(i)] = val;
        peak = std::max(peak, std::fabs(shape.apart ? val : x));
    });
    constexpr float kLimit = 0.9f * 32767.0f;
    float gain = shape.gain;
    if (peak * gain > kLimit) gain = std::max(1.0f, kLimit / peak);
    for (int i = 0; i <= len; ++i) ola.data[(base + i) & ola.mask] += gain * values[static_cast<size_t>(i)];
}

double MarkTimeAt(const std::int64_t* marks, std::int64_t mask, double pos) {
    const double below = std::floor(pos);
    const int k = static_cast<int>(below);
    const double m0 = static_cast<double>(marks[k & mask]);
    if (pos == below) return m0;
    const double m1 = static_cast<double>(marks[(k + 1) & mask]);
    return m0 + (pos - below) * (m1 - m0);
}

bool StepByInputSpan(CPsolaVoice& v, const std::int64_t* marks, std::int64_t mask, double span, int newest) {
    if (!(span > 0.0)) return false;
    const double from = v.markPos + 1.0;
    const double target = MarkTimeAt(marks, mask, from) + span;
    int j = static_cast<int>(std::floor(from));
    while (j + 1 <= newest && static_cast<double>(marks[(j + 1) & mask]) < target) ++j;
    if (j + 1 > newest) return false;
    const double m0 = static_cast<double>(marks[j & mask]);
    const double m1 = static_cast<double>(marks[(j + 1) & mask]);
    double at = m1 > m0 ? static_cast<double>(j) + (target - m0) / (m1 - m0) : static_cast<double>(j + 1);
    at = std::clamp(at, static_cast<double>(j), static_cast<double>(j + 1));
    if (!(at > from)) return false;
    v.markPos = at - 1.0;
    v.k = static_cast<int>(std::ceil(v.markPos));
    return true;
}

void BuildSegment(const COlaRing& ola, const CPsolaVoice& v, int nIn, std::vector<float>& seg) {
    seg.resize(static_cast<size_t>(nIn) + 1);
    seg[0] = v.carried;
    for (int i = 0; i < nIn; ++i) seg[static_cast<size_t>(i) + 1] = ola.data[(v.readPos + i) & ola.mask];
}
