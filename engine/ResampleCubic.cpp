// The cubic resampler a run of outputs at a time: eight or sixteen outputs per step on
// processors with 256- or 512-bit vectors, with the arithmetic of ResampleCubic in every lane.
#include "engine/ResampleCubic.h"

#include "engine/VectorWidth.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

#if defined(__x86_64__)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace lanes8 {
constexpr int KW = 8;
typedef float VF __attribute__((vector_size(32)));
typedef int VI __attribute__((vector_size(32)));
typedef double VD __attribute__((vector_size(64)));
inline VF GATHER(const float* p, VI j) { return reinterpret_cast<VF>(_mm256_i32gather_ps(p, reinterpret_cast<__m256i>(j), 4)); }
#include "engine/ResampleLanes.inc"
}  // namespace lanes8
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
namespace lanes16 {
constexpr int KW = 16;
typedef float VF __attribute__((vector_size(64)));
typedef int VI __attribute__((vector_size(64)));
typedef double VD __attribute__((vector_size(128)));
inline VF GATHER(const float* p, VI j) {
    return reinterpret_cast<VF>(_mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xFFFF, reinterpret_cast<__m512i>(j), p, 4));
}
#include "engine/ResampleLanes.inc"
}  // namespace lanes16
#pragma GCC pop_options
#endif

}  // namespace

void ResampleCubicRun(const float* t, int nIn, int nOut, int first, int count, int* out) {
    if (nOut <= 0 || nIn < 1) {
        for (int k = 0; k < count; ++k) out[k] = 0;
        return;
    }
#if defined(__x86_64__)
    const int lanes = VectorFloats();
    if (lanes >= 16) return lanes16::Run(t, nIn, nOut, first, count, out);
    if (lanes >= 8) return lanes8::Run(t, nIn, nOut, first, count, out);
#endif
    for (int k = 0; k < count; ++k) out[k] = ResampleCubic(t, nIn, nOut, first + k);
}
