// Complex FFT, decimation in time. The first pass reads the points in bit-reversed order
// straight from the caller's array and does the first butterflies in registers (eight points
// when log2 N is odd: a radix-2 stage and the first radix-4 stage; four points when it is
// even), writing to the object's work array; the remaining radix-4 stages run there, the last
// one writing back into the caller's array. The butterflies (FFTLanes.inc) work on two complex
// points at a time in four-float vectors (the compiler's generic vector type, lowered to
// whatever the target offers), on four points in 256-bit vectors or on eight in 512-bit
// vectors where the processor has them (the first pass then does eight groups at once). Every
// width does the same operations on every point, so all give the same floats.
#include "engine/FFT.h"
#include "engine/VectorWidth.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

// The later stages' twiddles come in blocks of P points (P = 4 for a stage with blocks of 4
// points, else 8): for each power p = 1, 2, 3, a row of 2P floats of wr then one of 2P of wi
// (12P floats per block).
inline int PointsPerTwiddleBlock(int len) { return len >= 8 ? 8 : 4; }

#define KW 4
#define FFT_NS lanes4
#define FFT_SWAP 1, 0, 3, 2
#include "engine/FFTLanes.inc"

typedef lanes4::VF V4;
using lanes4::Ld;
using lanes4::St;

typedef double V2D __attribute__((vector_size(16)));

// Two complex points given separately, as one vector (each point moves as one 8-byte unit).
inline V4 Pair(const float* p, const float* q) {
    double lo, hi;
    std::memcpy(&lo, p, sizeof lo);
    std::memcpy(&hi, q, sizeof hi);
    const V2D v = {lo, hi};
    V4 r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}

// [x0, x1] -> [x0 + x1, x0 - x1]
inline V4 SumDiff(V4 v) {
    const V4 sign = {1.0f, 1.0f, -1.0f, -1.0f};
    return __builtin_shufflevector(v, v, 0, 1, 0, 1) + __builtin_shufflevector(v, v, 2, 3, 2, 3) * sign;
}

// The first pass, one group at a time. The points of group j start at ip[j] and lie groups
// points apart; w holds the twiddles of the radix-4 stage inside a group of eight: w^m,
// w^2m, w^3m for m = 0, 1 as [wr, wi] vectors, 24 floats.
template <bool kForward>
void FirstPass(const float* a, float* work, const int* ip, int n, int group, const float* w) {
    const int groups = n / group;
    const int g = 2 * groups;  // floats from one point of a group to the next
    // The inverse's division by N, a power of two, is exact wherever it is done: here, once.
    const float scale = kForward ? 1.0f : 1.0f / static_cast<float>(n);
    const V4 s = {scale, scale, scale, scale};
    if (group == 8) {
        // Positions 0..7 of the group hold points r + g*m for m = 0, 4, 2, 6, 1, 5, 3, 7.
        for (int j = 0; j < groups; ++j) {
            const float* x = a + 2 * ip[j];
            // Radix-2 butterflies of (x0, x4), (x2, x6) and of (x1, x5), (x3, x7), two at once.
            const V4 p0 = Pair(x, x + 2 * g) * s, q0 = Pair(x + 4 * g, x + 6 * g) * s;
            const V4 p1 = Pair(x + g, x + 3 * g) * s, q1 = Pair(x + 5 * g, x + 7 * g) * s;
            const V4 sum0 = p0 + q0, diff0 = p0 - q0, sum1 = p1 + q1, diff1 = p1 - q1;
            V4 b0 = __builtin_shufflevector(sum0, diff0, 0, 1, 4, 5);  // [x0 + x4, x0 - x4]
            V4 b1 = __builtin_shufflevector(sum0, diff0, 2, 3, 6, 7);  // [x2 + x6, x2 - x6]
            V4 b2 = __builtin_shufflevector(sum1, diff1, 0, 1, 4, 5);  // [x1 + x5, x1 - x5]
            V4 b3 = __builtin_shufflevector(sum1, diff1, 2, 3, 6, 7);  // [x3 + x7, x3 - x7]
            lanes4::Radix4<kForward>(b0, b1, b2, b3, Ld(w), Ld(w + 4), Ld(w + 8), Ld(w + 12), Ld(w + 16), Ld(w + 20));
            float* out = work + 16 * j;
            St(out, b0);
            St(out + 4, b1);
            St(out + 8, b2);
            St(out + 12, b3);
        }
    } else {
        // Positions 0..3 hold points r + g*m for m = 0, 2, 1, 3.
        const V4 rot = kForward ? V4{1.0f, 1.0f, 1.0f, -1.0f} : V4{1.0f, 1.0f, -1.0f, 1.0f};
        for (int j = 0; j < groups; ++j) {
            const float* x = a + 2 * ip[j];
            const V4 p = SumDiff(Pair(x, x + 2 * g) * s);      // [x0 + x1, x0 - x1]
            const V4 q0 = SumDiff(Pair(x + g, x + 3 * g) * s);  // [x2 + x3, x2 - x3]
            const V4 q = __builtin_shufflevector(q0, q0, 0, 1, 3, 2) * rot;  // [x2 + x3, -/+i (x2 - x3)]
            St(work + 8 * j, p + q);
            St(work + 8 * j + 4, p - q);
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
#define SORVEL_FFT_WIDE 1
bool HasWideVectors() { return VectorFloats() >= 8; }

bool HasWidestVectors() { return VectorFloats() >= 16; }

// The stages four points at a time, for processors with 256-bit vectors (chosen at run time).
#pragma GCC push_options
#pragma GCC target("avx2")
#define KW 8
#define FFT_NS lanes8
#define FFT_SWAP 1, 0, 3, 2, 5, 4, 7, 6
#include "engine/FFTLanes.inc"
#pragma GCC pop_options

// Eight points at a time, for processors with 512-bit vectors; here also the first pass, the
// stage with blocks of four points and the real transform's pass take eight points at once.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
#define KW 16
#define FFT_NS lanes16
#define FFT_SWAP 1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14
#include "engine/FFTLanes.inc"

namespace lanes16 {

typedef double V8D __attribute__((vector_size(64)));

// The twiddle pair (wr, wi) at t, spread over all eight points of a vector.
inline VF SpreadPair(const float* t) {
    VF v = {};
    v[0] = t[0];
    v[1] = t[1];
    return __builtin_shufflevector(v, v, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1);
}

// The stage with blocks of four points (the first radix-4 stage of an even number of bits): two
// blocks per vector, both with the same twiddles.
inline VF Twice(const float* t) {
    const lanes8::VF h = lanes8::Ld(t);
    return __builtin_shufflevector(h, h, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7);
}

inline VF TwoBlocks(const float* p) {
    const lanes8::VF lo = lanes8::Ld(p), hi = lanes8::Ld(p + 32);
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

template <bool kForward>
void StageFour(const float* src, float* dst, int n, const float* w) {
    const VF w1r = Twice(w), w1i = Twice(w + 8), w2r = Twice(w + 16), w2i = Twice(w + 24), w3r = Twice(w + 32),
              w3i = Twice(w + 40);
    for (int blk = 0; blk < n; blk += 32) {
        const float* s0 = src + 2 * blk;
        float* d0 = dst + 2 * blk;
        VF b0 = TwoBlocks(s0), b1 = TwoBlocks(s0 + 8), b2 = TwoBlocks(s0 + 16), b3 = TwoBlocks(s0 + 24);
        Radix4<kForward>(b0, b1, b2, b3, w1r, w1i, w2r, w2i, w3r, w3i);
        const VF* out[4] = {&b0, &b1, &b2, &b3};
        for (int q = 0; q < 4; ++q) {
            std::memcpy(d0 + 8 * q, out[q], 32);
            std::memcpy(d0 + 32 + 8 * q, reinterpret_cast<const char*>(out[q]) + 32, 32);
        }
    }
}

inline V8D AsD(VF v) {
    V8D d;
    std::memcpy(&d, &v, sizeof d);
    return d;
}

inline VF AsF(V8D d) {
    VF v;
    std::memcpy(&v, &d, sizeof v);
    return v;
}

// Rows r[0..rows-1] of eight complex points each: afterwards u[c] holds, for c = 0..3, column c
// in its first rows points and column c + 4 in its next rows points (rows = 4), or (rows = 8)
// v[c] holds column c whole.
inline void TransposeFour(const V8D* r, V8D* u) {
    const V8D t0 = __builtin_shufflevector(r[0], r[1], 0, 8, 2, 10, 4, 12, 6, 14);
    const V8D t1 = __builtin_shufflevector(r[0], r[1], 1, 9, 3, 11, 5, 13, 7, 15);
    const V8D t2 = __builtin_shufflevector(r[2], r[3], 0, 8, 2, 10, 4, 12, 6, 14);
    const V8D t3 = __builtin_shufflevector(r[2], r[3], 1, 9, 3, 11, 5, 13, 7, 15);
    u[0] = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
    u[1] = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
    u[2] = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
    u[3] = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
}

inline void StoreHalf(float* p, V8D v, int half) {
    std::memcpy(p, reinterpret_cast<const char*>(&v) + 32 * half, 32);
}

// The first pass for eight groups at once. The neighbouring points r..r+7 (r a multiple of 8)
// start eight different groups, so every point of the eight groups comes from one load and
// the butterflies run across vectors; a transpose then gives each group its results in a row.
// The group that starts at point r + i is rev(r) + rev3(i) * groups / 8 (bit reversal).
template <bool kForward>
void FirstPass(const float* a, float* work, const int* ip, int n, int group, const float* w) {
    const int groups = n / group;
    const int eighth = groups / 8;
    const int offset[8] = {0, 4 * eighth, 2 * eighth, 6 * eighth, eighth, 5 * eighth, 3 * eighth, 7 * eighth};
    const VF s = VF{} + (kForward ? 1.0f : 1.0f / static_cast<float>(n));
    const int g = 2 * groups;  // floats from one point of a group to the next
    if (group == 8) {
        // The radix-4 stage inside the groups: twiddles of m = 0 and m = 1 for each power.
        const VF w0r[3] = {SpreadPair(w + 0), SpreadPair(w + 8), SpreadPair(w + 16)};
        const VF w0i[3] = {SpreadPair(w + 4), SpreadPair(w + 12), SpreadPair(w + 20)};
        const VF w1r[3] = {SpreadPair(w + 2), SpreadPair(w + 10), SpreadPair(w + 18)};
        const VF w1i[3] = {SpreadPair(w + 6), SpreadPair(w + 14), SpreadPair(w + 22)};
        for (int r = 0; r < groups; r += 8) {
            const float* x = a + 2 * r;
            VF p[8];
            for (int m = 0; m < 8; ++m) p[m] = kForward ? Ld(x + m * g) : Ld(x + m * g) * s;
            // Radix-2 butterflies (sums: the group's point 0 of each pair, differences: point 1).
            VF b0 = p[0] + p[4], c0 = p[0] - p[4];
            VF b1 = p[2] + p[6], c1 = p[2] - p[6];
            VF b2 = p[1] + p[5], c2 = p[1] - p[5];
            VF b3 = p[3] + p[7], c3 = p[3] - p[7];
            Radix4<kForward>(b0, b1, b2, b3, w0r[0], w0i[0], w0r[1], w0i[1], w0r[2], w0i[2]);
            Radix4<kForward>(c0, c1, c2, c3, w1r[0], w1i[0], w1r[1], w1i[1], w1r[2], w1i[2]);
            const V8D top[4] = {AsD(b0), AsD(c0), AsD(b1), AsD(c1)};
            const V8D bottom[4] = {AsD(b2), AsD(c2), AsD(b3), AsD(c3)};
            V8D u[4], v[4];
            TransposeFour(top, u);
            TransposeFour(bottom, v);
            const int j0 = ip[r];
            for (int c = 0; c < 4; ++c) {
                St(work + 16 * (j0 + offset[c]), AsF(__builtin_shufflevector(u[c], v[c], 0, 1, 2, 3, 8, 9, 10, 11)));
                St(work + 16 * (j0 + offset[c + 4]),
                        AsF(__builtin_shufflevector(u[c], v[c], 4, 5, 6, 7, 12, 13, 14, 15)));
            }
        }
    } else {
        // Radix-4 butterflies without twiddles: the group's points are 0, 2, 1, 3.
        const VF rot = kForward ? VF{1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1}
                                 : VF{-1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1};
        for (int r = 0; r < groups; r += 8) {
            const float* x = a + 2 * r;
            VF p[4];
            for (int m = 0; m < 4; ++m) p[m] = kForward ? Ld(x + m * g) : Ld(x + m * g) * s;
            const VF sum = p[0] + p[2], diff = p[0] - p[2];
            const VF sum2 = p[1] + p[3];
            const VF turned = SwapPairs(p[1] - p[3]) * rot;  // -i or +i times the difference
            const V8D rows[4] = {AsD(sum + sum2), AsD(diff + turned), AsD(sum - sum2), AsD(diff - turned)};
            V8D u[4];
            TransposeFour(rows, u);
            const int j0 = ip[r];
            for (int c = 0; c < 4; ++c) {
                StoreHalf(work + 8 * (j0 + offset[c]), u[c], 0);
                StoreHalf(work + 8 * (j0 + offset[c + 4]), u[c], 1);
            }
        }
    }
}
// SplitPairs (below) eight pairs of bins at a time, on interleaved points: the mirror block is
// reversed and conjugated, R[k] comes as [re, re] and [-im, im] per point. The same
// arithmetic per bin as the four-wide pass. Returns the first k it left to that pass.
int SplitPairs(float* a, int m, const float* pairRe, const float* pairIm, float c) {
    const int half = m / 2;
    const VF cv = VF{} + c;
    const VF conj = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f,
                      1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f};
    int k = 1;
    for (; k + 7 <= half; k += 8) {
        float* pa = a + 2 * k;
        float* pb = a + 2 * (m - k - 7);
        const VF A = Ld(pa);
        const VF mirror = Ld(pb);
        const VF B = __builtin_shufflevector(mirror, mirror, 14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1) * conj;
        const VF P = (A + B) * cv;
        const VF D = A - B;
        const VF Q = (D * Ld(pairRe + 2 * k) + SwapPairs(D) * Ld(pairIm + 2 * k)) * cv;
        St(pa, P + Q);
        const VF Y = (P - Q) * conj;
        St(pb, __builtin_shufflevector(Y, Y, 14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1));
    }
    return k;
}
}  // namespace lanes16
#pragma GCC pop_options
#endif

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

int Log2(int n) {
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    return bits;
}

float* AlignTo64(float* p) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - address % 64) % 64) / sizeof(float);
}

int ReverseBits(int value, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((value >> b) & 1) << (bits - 1 - b);
    return r;
}

// Floats of twiddle table per radix-4 stage that merges blocks of L points: for each pair of
// points m, m+1 three twiddles of two vectors.
constexpr int kTwiddleFloatsPerPoint = 12;

}  // namespace

CFFT::CFFT() = default;

CFFT::~CFFT() = default;

bool CFFT::Init(int n, int /*unused*/, int bForward) {
    m_pIp.reset();
    m_pW.reset();
    m_pWork.reset();
    m_pTwiddles = nullptr;
    m_pWorkArea = nullptr;
    m_nSize = 0;
    m_nGroup = 1;
    m_bForward = bForward != 0 ? 1 : 0;
    if (!IsPowerOfTwo(n) || n > (1 << 26)) return false;

    const int bits = Log2(n);
    // Points per group of the first pass: 8 (radix-2 and radix-4) or 4 (radix-4).
    const int group = n < 4 ? n : ((bits % 2 != 0) ? 8 : 4);
    const int groups = n / group;
    int twiddleFloats = 0;
    for (int len = (bits % 2 != 0) ? 2 : 4; len * 4 <= n; len *= 4) twiddleFloats += kTwiddleFloatsPerPoint * len;

    std::unique_ptr<int[]> ip(new (std::nothrow) int[static_cast<size_t>(groups)]());
    // Both float arrays start on a 64-byte boundary (16 floats of slack), so that no vector
    // load straddles a cache line.
    std::unique_ptr<float[]> w(new (std::nothrow) float[static_cast<size_t>(twiddleFloats + 16)]());
    std::unique_ptr<float[]> work(new (std::nothrow) float[static_cast<size_t>(2 * n + 16)]());
    if (!ip || !w || !work) return false;

    // Group j of the first pass starts from point reverse(j) over the bits above the group.
    const int groupBits = Log2(group);
    for (int j = 0; j < groups; ++j) ip[j] = ReverseBits(j, bits - groupBits);

    // Twiddles of the radix-4 stages with L >= 2 points per block (L = 1 needs none), in the
    // object's direction; angles in double, rounded once to float.
    const double kTwoPi = 6.283185307179586476925286766559;
    float* t = AlignTo64(w.get());
    const float sign = m_bForward != 0 ? 1.0f : -1.0f;
    auto twiddle = [&](int power, int m, int len, float* re, float* im) {
        const double angle = -kTwoPi * static_cast<double>(power * m) / static_cast<double>(4 * len);
        *re = static_cast<float>(std::cos(angle));
        *im = sign * static_cast<float>(std::sin(angle));
    };
    if (bits % 2 != 0 && n >= 8) {
        // The first pass's stage with two points per block: per power [r0, r0, r1, r1] and
        // [-i0, i0, -i1, i1].
        for (int power = 1; power <= 3; ++power) {
            float r0, i0, r1, i1;
            twiddle(power, 0, 2, &r0, &i0);
            twiddle(power, 1, 2, &r1, &i1);
            const float entry[8] = {r0, r0, r1, r1, -i0, i0, -i1, i1};
            std::memcpy(t, entry, sizeof entry);
            t += 8;
        }
    }
    for (int len = (bits % 2 != 0) ? 8 : 4; len * 4 <= n; len *= 4) {
        // Blocks of P points: per power 2P floats of real parts, then 2P of signed imaginary
        // parts.
        const int pts = PointsPerTwiddleBlock(len);
        for (int m = 0; m < len; m += pts, t += 12 * pts) {
            for (int power = 1; power <= 3; ++power) {
                float* row = t + 4 * pts * (power - 1);
                for (int q = 0; q < pts; ++q) {
                    float re, im;
                    twiddle(power, m + q, len, &re, &im);
                    row[2 * q] = re;
                    row[2 * q + 1] = re;
                    row[2 * pts + 2 * q] = -im;
                    row[2 * pts + 2 * q + 1] = im;
                }
            }
        }
    }

    m_pIp = std::move(ip);
    m_pW = std::move(w);
    m_pWork = std::move(work);
    m_pTwiddles = AlignTo64(m_pW.get());
    m_pWorkArea = AlignTo64(m_pWork.get());
    m_nSize = n;
    m_nGroup = group;
    return true;
}

template <bool kForward>
void CFFT::Run(float* a) {
    const int n = m_nSize;
    const int groups = n / m_nGroup;
    float* work = m_pWorkArea;
    const float* w = m_pTwiddles;

#ifdef SORVEL_FFT_WIDE
    const bool widest = HasWidestVectors();
    const bool wide = HasWideVectors();
#else
    const bool widest = false;
    const bool wide = false;
#endif
    // First pass: gather in bit-reversed order, butterflies in registers, store to work.
#ifdef SORVEL_FFT_WIDE
    if (widest && groups >= 8)
        lanes16::FirstPass<kForward>(a, work, m_pIp.get(), n, m_nGroup, w);
    else
#endif
        FirstPass<kForward>(a, work, m_pIp.get(), n, m_nGroup, w);
    if (m_nGroup == 8) w += kTwiddleFloatsPerPoint * 2;

    // Radix-4 stages on the work array; the last one writes into a.
    int len = m_nGroup;
    if (len == n) {
        std::memcpy(a, work, sizeof(float) * 2 * static_cast<size_t>(n));
        return;
    }
    for (; len * 4 <= n; len *= 4) {
        float* dst = (len * 4 == n) ? a : work;
#ifdef SORVEL_FFT_WIDE
        if (widest && len >= 8)
            lanes16::Stage<kForward>(work, dst, n, len, w);
        else if (widest && len == 4 && n >= 32)
            lanes16::StageFour<kForward>(work, dst, n, w);
        else if (wide)
            lanes8::Stage<kForward>(work, dst, n, len, w);
        else
#endif
            lanes4::Stage<kForward>(work, dst, n, len, w);
        w += kTwiddleFloatsPerPoint * len;
    }
    (void)wide;
    (void)widest;
}

void CFFT::UseFourWideOnly(bool enable) { LimitVectorFloats(enable ? 4 : 0); }

bool CFFT::HasWideStages() { return WidestVectorFloats() >= 8; }

void CFFT::Transform(float* a) {
    const int n = m_nSize;
    if (n == 0 || a == nullptr || n == 1) return;
    if (n == 2) {
        // One butterfly, the same in both directions; the inverse halves.
        const float scale = m_bForward != 0 ? 1.0f : 0.5f;
        const V4 v = SumDiff(Ld(a)) * V4{scale, scale, scale, scale};
        St(a, v);
        return;
    }
    if (m_bForward != 0)
        Run<true>(a);
    else
        Run<false>(a);
}

namespace {

// The pass between the half-size complex transform and the real one, for the pairs of bins
// k and M - k (1 <= k <= M/2, M = N/2) of the array a (M complex points). With A = a[k],
// B = conj(a[M - k]), P = c * (A + B) and Q = c * R[k] * (A - B):
//   a[k] = P + Q,   a[M - k] = conj(P - Q).
// Forward (c = 1/2, R[k] = -i * exp(-2*pi*i*k/N)) this turns the transform of the pairs
// x[2j] + i*x[2j+1] into the bins of the real sequence; inverse (c = 1/4, R conjugated) it
// builds the half-size spectrum whose inverse gives those pairs back.
void SplitPairs(float* a, int m, const float* rotRe, const float* rotIm, float c, int k) {
    const int half = m / 2;
    const V4 cv = {c, c, c, c};
    for (; k + 3 <= half; k += 4) {
        float* pa = a + 2 * k;
        float* pb = a + 2 * (m - k - 3);
        const V4 a0 = Ld(pa), a1 = Ld(pa + 4);
        const V4 b0 = Ld(pb), b1 = Ld(pb + 4);
        const V4 ar = __builtin_shufflevector(a0, a1, 0, 2, 4, 6);
        const V4 ai = __builtin_shufflevector(a0, a1, 1, 3, 5, 7);
        // Lane j of the mirror holds point m - k - j, conjugated.
        const V4 br = __builtin_shufflevector(b0, b1, 6, 4, 2, 0);
        const V4 bi = -__builtin_shufflevector(b0, b1, 7, 5, 3, 1);
        const V4 rr = Ld(rotRe + k), ri = Ld(rotIm + k);
        const V4 pr = (ar + br) * cv, pi = (ai + bi) * cv;
        const V4 dr = ar - br, di = ai - bi;
        const V4 qr = (rr * dr - ri * di) * cv, qi = (rr * di + ri * dr) * cv;
        const V4 xr = pr + qr, xi = pi + qi;
        const V4 yr = pr - qr, yi = qi - pi;
        St(pa, __builtin_shufflevector(xr, xi, 0, 4, 1, 5));
        St(pa + 4, __builtin_shufflevector(xr, xi, 2, 6, 3, 7));
        St(pb, __builtin_shufflevector(yr, yi, 3, 7, 2, 6));
        St(pb + 4, __builtin_shufflevector(yr, yi, 1, 5, 0, 4));
    }
    for (; k <= half; ++k) {
        float* pa = a + 2 * k;
        float* pb = a + 2 * (m - k);
        const float ar = pa[0], ai = pa[1], br = pb[0], bi = -pb[1];
        const float rr = rotRe[k], ri = rotIm[k];
        const float pr = (ar + br) * c, pi = (ai + bi) * c;
        const float dr = ar - br, di = ai - bi;
        const float qr = (rr * dr - ri * di) * c, qi = (rr * di + ri * dr) * c;
        pa[0] = pr + qr;
        pa[1] = pi + qi;
        pb[0] = pr - qr;
        pb[1] = qi - pi;
    }
}

}  // namespace

bool CRealFFT::Init(int n, int bForward) {
    m_nSize = 0;
    m_pRot.reset();
    m_bForward = bForward != 0 ? 1 : 0;
    if (!IsPowerOfTwo(n) || n < 4 || !m_half.Init(n / 2, 0, bForward)) return false;
    const int quarter = n / 4;
    // Rows: real parts, imaginary parts, then per point [re, re] and [-im, im].
    std::unique_ptr<float[]> rot(new (std::nothrow) float[6 * static_cast<size_t>(quarter + 1)]);
    if (!rot) return false;
    const double kTwoPi = 6.283185307179586476925286766559;
    const float sign = m_bForward != 0 ? 1.0f : -1.0f;
    for (int k = 0; k <= quarter; ++k) {
        // -i * exp(-i t) = -sin t - i cos t; the quarter turn exactly.
        const double t = kTwoPi * static_cast<double>(k) / static_cast<double>(n);
        const bool quarterTurn = k == quarter;
        rot[static_cast<size_t>(k)] = quarterTurn ? -1.0f : static_cast<float>(-std::sin(t));
        rot[static_cast<size_t>(quarter + 1 + k)] = quarterTurn ? 0.0f : sign * static_cast<float>(-std::cos(t));
    }
    float* pairRe = rot.get() + 2 * (quarter + 1);
    float* pairIm = pairRe + 2 * (quarter + 1);
    for (int k = 0; k <= quarter; ++k) {
        pairRe[2 * k] = pairRe[2 * k + 1] = rot[static_cast<size_t>(k)];
        pairIm[2 * k] = -rot[static_cast<size_t>(quarter + 1 + k)];
        pairIm[2 * k + 1] = rot[static_cast<size_t>(quarter + 1 + k)];
    }
    m_pRot = std::move(rot);
    m_nSize = n;
    return true;
}

void CRealFFT::Transform(float* a) {
    const int n = m_nSize;
    if (n == 0 || a == nullptr) return;
    const int m = n / 2;
    const int rows = n / 4 + 1;
    const float* rotRe = m_pRot.get();
    const float* rotIm = rotRe + rows;
    const float* pairRe = rotRe + 2 * rows;
    const float* pairIm = rotRe + 4 * rows;
    auto split = [&](float c) {
        int k = 1;
#ifdef SORVEL_FFT_WIDE
        if (HasWidestVectors()) k = lanes16::SplitPairs(a, m, pairRe, pairIm, c);
#else
        (void)pairRe;
        (void)pairIm;
#endif
        SplitPairs(a, m, rotRe, rotIm, c, k);
    };
    if (m_bForward != 0) {
        m_half.Transform(a);
        const float re = a[0], im = a[1];
        split(0.5f);
        a[0] = re + im;
        a[1] = 0.0f;
        a[n] = re - im;
        a[n + 1] = 0.0f;
    } else {
        // Bin 0 contributes its real part to every sample; the top bin is not part of the input.
        const float half0 = a[0] * 0.5f;
        split(0.25f);
        a[0] = half0;
        a[1] = half0;
        m_half.Transform(a);
    }
}
