// Compiles the phase-vocoder loops of VocoderLanes.inc once per vector width and picks one.
#include "engine/VocoderKernels.h"

#include "engine/VectorWidth.h"

#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr float kTwoPiF = 6.2831855f;
constexpr float kPiF = 3.14159265f;
constexpr float kInvTwoPiF = 0.15915494f;
constexpr unsigned kSignBit = 0x80000000u;

// The smallest float phase that lies 1e15 turns or more from 0 (x / 2pi taken in double): a
// phase at or beyond it carries no information and restarts at 0.
float MaxPhase() {
    const double invTwoPi = 1.0 / 6.283185307179586476925286766559;
    float x = static_cast<float>(1e15 * 6.283185307179586476925286766559);
    while (static_cast<double>(x) * invTwoPi >= 1e15) x = std::nextafter(x, 0.0f);
    while (static_cast<double>(x) * invTwoPi < 1e15) x = std::nextafter(x, __builtin_inff());
    return x;
}

const float kMaxPhase = MaxPhase();

template <typename VF, typename VI>
inline VF GatherLanes(const float* p, VI index) {
    VF v;
    for (int i = 0; i < static_cast<int>(sizeof(VF) / sizeof(float)); ++i) v[i] = p[index[i]];
    return v;
}

}  // namespace

namespace {

#define KW 4
#define VOCODER_NS lanes4
#define VOCODER_EVEN 0, 2, 4, 6
#define VOCODER_ODD 1, 3, 5, 7
#define VOCODER_LO 0, 4, 1, 5
#define VOCODER_HI 2, 6, 3, 7
#define VOCODER_SQRT(v) SqrtLanes(v)
#define VOCODER_GATHER(p, i) GatherLanes<VF>(p, i)
template <typename V>
inline V SqrtLanes(V v) {
    for (int i = 0; i < KW; ++i) v[i] = std::sqrt(v[i]);
    return v;
}
#include "engine/VocoderLanes.inc"

#if defined(__x86_64__)
#pragma GCC push_options
#pragma GCC target("avx2")
#define KW 8
#define VOCODER_NS lanes8
#define VOCODER_EVEN 0, 2, 4, 6, 8, 10, 12, 14
#define VOCODER_ODD 1, 3, 5, 7, 9, 11, 13, 15
#define VOCODER_LO 0, 8, 1, 9, 2, 10, 3, 11
#define VOCODER_HI 4, 12, 5, 13, 6, 14, 7, 15
#define VOCODER_SQRT(v) reinterpret_cast<VF>(_mm256_sqrt_ps(reinterpret_cast<__m256>(v)))
#define VOCODER_GATHER(p, i) reinterpret_cast<VF>(_mm256_i32gather_ps(p, reinterpret_cast<__m256i>(i), 4))
#include "engine/VocoderLanes.inc"
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
#define KW 16
#define VOCODER_NS lanes16
#define VOCODER_EVEN 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30
#define VOCODER_ODD 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31
#define VOCODER_LO 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23
#define VOCODER_HI 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31
#define VOCODER_SQRT(v) reinterpret_cast<VF>(_mm512_maskz_sqrt_ps(0xFFFF, reinterpret_cast<__m512>(v)))
#define VOCODER_GATHER(p, i) GatherNear(p, i)
// p[i] lane-wise. Neighbouring target bins take neighbouring source bins, so the indices of a
// vector mostly lie within 32 of the first one: then two loads and a permutation serve (p
// holds 32 floats beyond its last bin); otherwise the gather instruction.
inline __m512 GatherNear(const float* p, __v16si i) {
    const __m512i index = reinterpret_cast<__m512i>(i);
    const int first = i[0];
    if (first >= 0) {
        const __m512i rel = _mm512_sub_epi32(index, _mm512_set1_epi32(first));
        const __m512 lo = _mm512_loadu_ps(p + first), hi = _mm512_loadu_ps(p + first + 16);
        const __mmask16 outside = _mm512_cmpgt_epi32_mask(rel, _mm512_set1_epi32(31)) |
                                  _mm512_cmplt_epi32_mask(rel, _mm512_setzero_si512());
        if (outside == 0) return _mm512_permutex2var_ps(lo, rel, hi);
    }
    return _mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xFFFF, index, p, 4);
}
#include "engine/VocoderLanes.inc"
#pragma GCC pop_options
#endif

#define VOCODER_TABLE(ns, lanes) \
    VocoderKernelTable { lanes, ns::Analyze, ns::Synthesize, ns::Window, ns::OverlapAddShift, ns::SinCosArray }

const VocoderKernelTable kLanes4 = VOCODER_TABLE(lanes4, 4);
#if defined(__x86_64__)
const VocoderKernelTable kLanes8 = VOCODER_TABLE(lanes8, 8);
const VocoderKernelTable kLanes16 = VOCODER_TABLE(lanes16, 16);
#endif

}  // namespace

const VocoderKernelTable& VocoderKernels() {
#if defined(__x86_64__)
    const int lanes = VectorFloats();
    if (lanes >= 16) return kLanes16;
    if (lanes >= 8) return kLanes8;
#endif
    return kLanes4;
}

void SinCos4(const float* x, float* pSin, float* pCos) { lanes4::SinCosArray(x, pSin, pCos, 4); }
