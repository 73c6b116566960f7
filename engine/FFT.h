// CFFT: in-place complex FFT of N points (N a power of two) held as 2N interleaved floats
// (re, im, re, im, ...), single precision throughout.
//
// One object transforms in one direction, chosen at Init:
//   forward: X[k] = sum_j x[j] * exp(-2*pi*i*j*k/N), not scaled
//   inverse: x[j] = (1/N) * sum_k X[k] * exp(+2*pi*i*j*k/N)
// so a forward transform followed by an inverse one returns the input to rounding.
//
// The work is decimation in time after a bit-reversal ordering: one radix-2 stage first when
// log2 N is odd, then radix-4 stages (N = 2048: one radix-2 and five radix-4 stages). Init
// builds every table and a work array of 2N floats; Transform allocates nothing. Twiddle
// factors are computed in double and rounded once to float.
//
// Not shared between threads: an object is used by one thread at a time (the phase-vocoder
// units run under their manager's lock); Transform writes the object's work array.
#pragma once

#include <memory>

class CFFT {
public:
    CFFT();
    virtual ~CFFT();
    CFFT(const CFFT&) = delete;
    CFFT& operator=(const CFFT&) = delete;

    // n: number of complex points, a power of two >= 1. The second parameter is unused.
    // Replaces the tables of an earlier Init. False (and no tables) when n is not a power of
    // two or memory ran out.
    bool Init(int n, int unused, int bForward);
    // Transforms the 2N floats at a in place. Does nothing before a successful Init.
    void Transform(float* a);

    int Size() const { return m_nSize; }
    bool IsForward() const { return m_bForward != 0; }

    // The butterflies run sixteen floats at a time on processors that have 512-bit vectors,
    // eight at a time with 256-bit vectors, else four at a time (VectorFloats() of
    // engine/VectorWidth.h); all give the same results. UseFourWideOnly(true) is
    // LimitVectorFloats(4), for tests and benchmarks of the four-wide form.
    static void UseFourWideOnly(bool enable);
    static bool HasWideStages();

private:
    template <bool kForward>
    void Run(float* a);

    // Per group of the first pass, the point it starts from (the group index bit-reversed).
    std::unique_ptr<int[]> m_pIp;
    // Twiddles of every radix-4 stage with two or more points per block, stage after stage.
    // For a stage that merges blocks of L points into blocks of 4L, each pair of points m, m+1
    // has w^m, w^2m, w^3m as [re, re, re', re'] and [-im, im, -im', im'], with
    // w = exp(-2*pi*i/(4L)) forward and its conjugate for the inverse.
    std::unique_ptr<float[]> m_pW;
    // 2N floats: the stages between the first pass and the last one run here.
    std::unique_ptr<float[]> m_pWork;
    float* m_pTwiddles = nullptr;  // m_pW and m_pWork from their first 64-byte boundary
    float* m_pWorkArea = nullptr;
    int m_nGroup = 1;  // points per group of the first pass (8 or 4)
    int m_nSize = 0;
    int m_bForward = 1;
};

// CRealFFT: the transforms of N real samples (N a power of two, at least 4) that the phase
// vocoder needs, each done by one complex CFFT of N/2 points and one pass that separates (or
// joins) the spectra of the even and the odd samples. About half the work of a complex
// transform of N points, with the same results to rounding.
//
//   forward: N real samples x[0..N-1] in a[0..N-1] become the bins X[0..N/2-1] of
//            X[k] = sum_j x[j] * exp(-2*pi*i*j*k/N), interleaved (re, im) in a[0..N-1]; a[1], the
//            imaginary part of X[0], is 0. The top bin X[N/2] (real) goes to a[N], and a[N+1] = 0,
//            so the array holds N + 2 floats.
//   inverse: the one-sided spectrum X[0..N/2-1], interleaved in a[0..N-1], becomes the real
//            part of x[j] = (1/N) * sum_{k < N/2} X[k] * exp(+2*pi*i*j*k/N) in a[0..N-1]
//            (a complex inverse of N points with the bins from N/2 up zero and the real parts
//            of its result kept). Only a[0..N-1] is read and written.
//
// Not shared between threads, as CFFT.
class CRealFFT {
public:
    // False (and no transform) when n is not a power of two of at least 4, or memory ran out.
    bool Init(int n, int bForward);
    void Transform(float* a);
    int Size() const { return m_nSize; }

private:
    CFFT m_half;
    // R[k] = -i * exp(-2*pi*i*k/N) for k = 0..N/4 (conjugated by the inverse), as separate
    // rows of real and imaginary parts.
    std::unique_ptr<float[]> m_pRot;
    int m_nSize = 0;
    int m_bForward = 1;
};
