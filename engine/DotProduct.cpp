#include "engine/DotProduct.h"

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
