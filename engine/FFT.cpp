// Complex FFT: bit reversal, then decimation-in-time butterflies (radix-2 first stage when
// log2 N is odd, radix-4 stages after it). The butterflies work on two complex points at a
// time in four-float vectors (the compiler's generic vector type, lowered to whatever the
// target offers).
#include "engine/FFT.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

typedef float V4 __attribute__((vector_size(16)));

inline V4 Load(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, V4 v) { std::memcpy(p, &v, sizeof v); }

// (re, im) pairs swapped: [im0, re0, im1, re1].
inline V4 SwapPairs(V4 v) { return __builtin_shufflevector(v, v, 1, 0, 3, 2); }

// Complex product of two points by two twiddles given as wr = [r0, r0, r1, r1] and
// wi = [-i0, i0, -i1, i1].
inline V4 CMul(V4 a, V4 wr, V4 wi) { return a * wr + SwapPairs(a) * wi; }

// Multiplies both points by -i: (re, im) -> (im, -re).
inline V4 MulMinusI(V4 v) {
    const V4 sign = {1.0f, -1.0f, 1.0f, -1.0f};
    return SwapPairs(v) * sign;
}

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

int Log2(int n) {
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    return bits;
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
    m_nSwaps = 0;
    m_nSize = 0;
    m_bForward = bForward != 0 ? 1 : 0;
    if (!IsPowerOfTwo(n) || n > (1 << 26)) return false;

    const int bits = Log2(n);
    // Bit-reversal swaps.
    int swaps = 0;
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        if (i < r) ++swaps;
    }
    // Twiddles of the radix-4 stages whose blocks have L >= 2 points (the stage with L = 1
    // needs none).
    int twiddleFloats = 0;
    for (int len = (bits % 2 != 0) ? 2 : 4; len * 4 <= n; len *= 4) twiddleFloats += kTwiddleFloatsPerPoint * len;

    std::unique_ptr<int[]> ip(new (std::nothrow) int[static_cast<size_t>(2 * swaps + 1)]());
    std::unique_ptr<float[]> w(new (std::nothrow) float[static_cast<size_t>(twiddleFloats + 1)]());
    if (!ip || !w) return false;

    int s = 0;
    for (int i = 0; i < n; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        if (i < r) {
            ip[2 * s] = i;
            ip[2 * s + 1] = r;
            ++s;
        }
    }

    // Angles in double, rounded once to float.
    const double kTwoPi = 6.283185307179586476925286766559;
    float* t = w.get();
    for (int len = (bits % 2 != 0) ? 2 : 4; len * 4 <= n; len *= 4) {
        for (int m = 0; m < len; m += 2) {
            for (int power = 1; power <= 3; ++power) {
                const double a0 = -kTwoPi * static_cast<double>(power * m) / static_cast<double>(4 * len);
                const double a1 = -kTwoPi * static_cast<double>(power * (m + 1)) / static_cast<double>(4 * len);
                const float r0 = static_cast<float>(std::cos(a0)), i0 = static_cast<float>(std::sin(a0));
                const float r1 = static_cast<float>(std::cos(a1)), i1 = static_cast<float>(std::sin(a1));
                t[0] = r0;
                t[1] = r0;
                t[2] = r1;
                t[3] = r1;
                t[4] = -i0;
                t[5] = i0;
                t[6] = -i1;
                t[7] = i1;
                t += 8;
            }
        }
    }

    m_pIp = std::move(ip);
    m_pW = std::move(w);
    m_nSwaps = swaps;
    m_nSize = n;
    return true;
}

void CFFT::Permute(float* a) const {
    const int* ip = m_pIp.get();
    for (int s = 0; s < m_nSwaps; ++s) {
        float* p = a + 2 * ip[2 * s];
        float* q = a + 2 * ip[2 * s + 1];
        const float re = p[0], im = p[1];
        p[0] = q[0];
        p[1] = q[1];
        q[0] = re;
        q[1] = im;
    }
}

template <bool kForward>
void CFFT::Butterflies(float* a) const {
    const int n = m_nSize;
    const int bits = Log2(n);
    int len;  // points per block already transformed
    if (bits % 2 != 0) {
        // Radix-2 stage: [x0, x1] -> [x0 + x1, x0 - x1].
        const V4 sign = {1.0f, 1.0f, -1.0f, -1.0f};
        for (int j = 0; j < n; j += 2) {
            const V4 v = Load(a + 2 * j);
            const V4 lo = __builtin_shufflevector(v, v, 0, 1, 0, 1);
            const V4 hi = __builtin_shufflevector(v, v, 2, 3, 2, 3);
            Store(a + 2 * j, lo + hi * sign);
        }
        len = 2;
    } else {
        // Radix-4 stage without twiddles: four points at a time.
        const V4 sign = {1.0f, 1.0f, -1.0f, -1.0f};
        const V4 rot = kForward ? V4{1.0f, 1.0f, 1.0f, -1.0f} : V4{1.0f, 1.0f, -1.0f, 1.0f};
        for (int j = 0; j < n; j += 4) {
            const V4 v01 = Load(a + 2 * j);
            const V4 v23 = Load(a + 2 * j + 4);
            // [x0 + x1, x0 - x1] and [x2 + x3, x2 - x3]
            const V4 p = __builtin_shufflevector(v01, v01, 0, 1, 0, 1) +
                         __builtin_shufflevector(v01, v01, 2, 3, 2, 3) * sign;
            const V4 s = __builtin_shufflevector(v23, v23, 0, 1, 0, 1) +
                         __builtin_shufflevector(v23, v23, 2, 3, 2, 3) * sign;
            // [x2 + x3, -/+i (x2 - x3)]
            const V4 q = __builtin_shufflevector(s, s, 0, 1, 3, 2) * rot;
            Store(a + 2 * j, p + q);
            Store(a + 2 * j + 4, p - q);
        }
        len = 4;
    }

    const float* w = m_pW.get();
    for (; len * 4 <= n; len *= 4) {
        for (int blk = 0; blk < n; blk += 4 * len) {
            float* p0 = a + 2 * blk;
            float* p1 = p0 + 2 * len;
            float* p2 = p1 + 2 * len;
            float* p3 = p2 + 2 * len;
            const float* t = w;
            for (int m = 0; m < 2 * len; m += 4, t += 24) {
                V4 w1i = Load(t + 4), w2i = Load(t + 12), w3i = Load(t + 20);
                if (!kForward) {
                    w1i = -w1i;
                    w2i = -w2i;
                    w3i = -w3i;
                }
                // After the bit reversal, blocks 0..3 hold the transforms of the samples
                // that are 0, 2, 1, 3 mod 4: block 2 takes w^m, block 1 w^2m, block 3 w^3m.
                const V4 t0 = Load(p0 + m);
                const V4 t1 = CMul(Load(p2 + m), Load(t), w1i);
                const V4 t2 = CMul(Load(p1 + m), Load(t + 8), w2i);
                const V4 t3 = CMul(Load(p3 + m), Load(t + 16), w3i);
                const V4 u0 = t0 + t2;
                const V4 u1 = t0 - t2;
                const V4 u2 = t1 + t3;
                const V4 u3 = kForward ? MulMinusI(t1 - t3) : MulMinusI(t3 - t1);
                Store(p0 + m, u0 + u2);
                Store(p2 + m, u0 - u2);
                Store(p1 + m, u1 + u3);
                Store(p3 + m, u1 - u3);
            }
        }
        w += kTwiddleFloatsPerPoint * len;
    }
}

void CFFT::Transform(float* a) const {
    const int n = m_nSize;
    if (n == 0 || a == nullptr) return;
    if (n >= 2) {
        Permute(a);
        if (m_bForward != 0)
            Butterflies<true>(a);
        else
            Butterflies<false>(a);
    }
    if (m_bForward == 0 && n > 1) {
        // Division by a power of two: multiplying by its reciprocal is exact.
        const float scale = 1.0f / static_cast<float>(n);
        for (int i = 0; i < 2 * n; ++i) a[i] *= scale;
    }
}
