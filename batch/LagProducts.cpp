#include "batch/LagProducts.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "engine/DotProduct.h"

namespace {

#if defined(__x86_64__)
// Eight lags at once: each window sample is loaded once for the eight products it enters.
__attribute__((target("avx2,fma"))) void Lags8(const float* a, const float* b, int n, float* out) {
    __m256 s[8];
    for (auto& v : s) v = _mm256_setzero_ps();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 va = _mm256_loadu_ps(a + i);
        s[0] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i), s[0]);
        s[1] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 1), s[1]);
        s[2] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 2), s[2]);
        s[3] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 3), s[3]);
        s[4] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 4), s[4]);
        s[5] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 5), s[5]);
        s[6] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 6), s[6]);
        s[7] = _mm256_fmadd_ps(va, _mm256_loadu_ps(b + i + 7), s[7]);
    }
    alignas(32) float lanes[8][8];
    for (int j = 0; j < 8; ++j) _mm256_store_ps(lanes[j], s[j]);
    for (int j = 0; j < 8; ++j) {
        const float* l = lanes[j];
        float sum = ((l[0] + l[1]) + (l[2] + l[3])) + ((l[4] + l[5]) + (l[6] + l[7]));
        for (int t = i; t < n; ++t) sum += a[t] * b[j + t];
        out[j] = sum;
    }
}

bool HasFma() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}
#endif

}  // namespace

void LagProducts(const float* a, const float* b, int n, int count, float* out) {
    int j = 0;
#if defined(__x86_64__)
    if (HasFma()) {
        for (; j + 8 <= count; j += 8) Lags8(a, b + j, n, out + j);
    }
#endif
    for (; j < count; ++j) out[j] = DotProduct(a, b + j, n);
}
