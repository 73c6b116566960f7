// Single-precision dot products for the correlation loops of the pitch detectors.
#pragma once

// Sums in several partial sums (and SIMD where the processor has it), so its result may differ
// from a plain left-to-right sum in the last bits.
float DotProduct(const float* a, const float* b, int n);

// Floats that Correlate and Normalise may read and write beyond the lags asked for.
inline constexpr int kLagPadding = 16;

// cross[l] = DotProduct(x, x + firstLag + l, w) for l = 0..count-1, the very same floats, for
// all lags of a window in one pass: each lag's products are added in DotProduct's order, one
// lag per vector lane (the result does not depend on the processor). x must be readable up to
// x[firstLag + count + kLagPadding + w - 2] (the extra values should be finite, e.g. 0) and
// cross must hold count + kLagPadding floats.
void Correlate(const float* x, int w, int firstLag, int count, float* cross);

// r[l] = cross[l] / (sqrt(e0 * energy[l]) + 0.001), the square root in single precision, the
// addition and the division in double, limited to -1..1 (a value that is not a number stays
// so). The three arrays hold count rounded up to a multiple of kLagPadding floats.
void Normalise(const float* cross, const float* energy, float e0, int count, float* r);

// The window's sums for the detector, each in 16 partial sums (element i to sum i mod 16) added
// in one fixed tree, then the last n mod 16 elements in order; the same results at every
// vector width. WindowSums: sum of x and of |x|; SubtractMean: x[i] - mean in place and the
// sum of the results' magnitudes.
void WindowSums(const float* x, int n, float* sum, float* sumAbs);
void SubtractMean(float* x, int n, float mean, float* sumAbs);

// The first index of the largest of v[0..n-1] that lies above floor (values that are not
// numbers never win), -1 when none does; *best receives that value (floor when none).
int FirstMaximum(const float* v, int n, float floor, float* best);

// These run at the width of VectorFloats() (engine/VectorWidth.h), with the same results at
// every width.
