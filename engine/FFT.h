// CFFT: in-place complex FFT of N points (N a power of two) held as 2N interleaved floats
// (re, im, re, im, ...), single precision throughout.
//
// One object transforms in one direction, chosen at Init:
//   forward: X[k] = sum_j x[j] * exp(-2*pi*i*j*k/N), not scaled
//   inverse: x[j] = (1/N) * sum_k X[k] * exp(+2*pi*i*j*k/N)
// so a forward transform followed by an inverse one returns the input to rounding.
//
// The work is a bit-reversal permutation followed by decimation-in-time stages: one radix-2
// stage first when log2 N is odd, then radix-4 stages (N = 2048: one radix-2 and five radix-4
// stages). Init builds every table; Transform allocates nothing.
//
// Not shared between threads: an object is used by one thread at a time (the phase-vocoder
// units run under their manager's lock); the tables are read-only after Init.
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
    void Transform(float* a) const;

    int Size() const { return m_nSize; }
    bool IsForward() const { return m_bForward != 0; }

private:
    template <bool kForward>
    void Butterflies(float* a) const;
    void Permute(float* a) const;

    // Index pairs (i, j), i < j, of the complex points that the bit reversal swaps.
    std::unique_ptr<int[]> m_pIp;
    int m_nSwaps = 0;
    // Forward twiddles of every radix-4 stage, stage after stage. For a stage that merges
    // blocks of L points into blocks of 4L, entry m (0 <= m < L) holds w^m, w^2m, w^3m with
    // w = exp(-2*pi*i/(4L)), each as (re, im). The inverse uses their conjugates.
    std::unique_ptr<float[]> m_pW;
    int m_nSize = 0;
    int m_bForward = 1;
};
