// Dot products for the pitch detectors: one at a time, and all lags of a window at once.
#include "engine/DotProduct.h"

#include <cmath>
#include <cstring>

#include "engine/VectorWidth.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {
typedef float Vec8 __attribute__((vector_size(32)));
// The same vector read from memory of any alignment.
typedef float Vec8Unaligned __attribute__((vector_size(32), aligned(4), may_alias));
}  // namespace

#define Load8(p) (*reinterpret_cast<const Vec8Unaligned*>(p))

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
float DotProduct(const float* a, const float* b, int n) {
    Vec8 s0 = {0, 0, 0, 0, 0, 0, 0, 0};
    Vec8 s1 = s0;
    Vec8 s2 = s0;
    Vec8 s3 = s0;
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        s0 += Load8(a + i) * Load8(b + i);
        s1 += Load8(a + i + 8) * Load8(b + i + 8);
        s2 += Load8(a + i + 16) * Load8(b + i + 16);
        s3 += Load8(a + i + 24) * Load8(b + i + 24);
    }
    for (; i + 8 <= n; i += 8) s0 += Load8(a + i) * Load8(b + i);
    const Vec8 s = (s0 + s1) + (s2 + s3);
    float sum = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
    for (; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

// The correlation of many lags and the window's sums, compiled once per vector width.
namespace {

#define KW 4
#define CORR_NS corr4
#define CORR_SQRT(v) SqrtLanes(v)
template <typename V>
inline V SqrtLanes(V v) {
    for (int i = 0; i < KW; ++i) v[i] = std::sqrt(v[i]);
    return v;
}
#include "engine/CorrelationLanes.inc"
#undef KW
#undef CORR_NS
#undef CORR_SQRT

#if defined(__x86_64__)
#pragma GCC push_options
#pragma GCC target("avx2")
#define KW 8
#define CORR_NS corr8
#define CORR_SQRT(v) reinterpret_cast<VF>(_mm256_sqrt_ps(reinterpret_cast<__m256>(v)))
#include "engine/CorrelationLanes.inc"
#undef KW
#undef CORR_NS
#undef CORR_SQRT
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
#define KW 16
#define CORR_NS corr16
#define CORR_SQRT(v) reinterpret_cast<VF>(_mm512_maskz_sqrt_ps(0xFFFF, reinterpret_cast<__m512>(v)))
#include "engine/CorrelationLanes.inc"
#undef KW
#undef CORR_NS
#undef CORR_SQRT
#pragma GCC pop_options
#endif

}  // namespace

void Correlate(const float* x, int w, int firstLag, int count, float* cross) {
    switch (VectorFloats()) {
#if defined(__x86_64__)
        case 16: corr16::Correlate(x, w, firstLag, count, cross); return;
        case 8: corr8::Correlate(x, w, firstLag, count, cross); return;
#endif
        default: corr4::Correlate(x, w, firstLag, count, cross); return;
    }
}

void Normalise(const float* cross, const float* energy, float e0, int count, float* r) {
    switch (VectorFloats()) {
#if defined(__x86_64__)
        case 16: corr16::Normalise(cross, energy, e0, count, r); return;
        case 8: corr8::Normalise(cross, energy, e0, count, r); return;
#endif
        default: corr4::Normalise(cross, energy, e0, count, r); return;
    }
}

#if defined(__x86_64__)
#define CORR_DISPATCH(call)                   \
    switch (VectorFloats()) {             \
        case 16: return corr16::call;         \
        case 8: return corr8::call;           \
        default: return corr4::call;          \
    }
#else
#define CORR_DISPATCH(call) return corr4::call;
#endif

void WindowSums(const float* x, int n, float* sum, float* sumAbs) { CORR_DISPATCH(Sums(x, n, sum, sumAbs)) }

void SubtractMean(float* x, int n, float mean, float* sumAbs) { CORR_DISPATCH(SubtractMean(x, n, mean, sumAbs)) }

int FirstMaximum(const float* v, int n, float floor, float* best) { CORR_DISPATCH(FirstMaximum(v, n, floor, best)) }
