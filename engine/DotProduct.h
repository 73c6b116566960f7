// Single-precision dot products for the correlation loops of the pitch detectors.
#pragma once

// Sums in several partial sums (and SIMD where the processor has it), so its result may differ
// from a plain left-to-right sum in the last bits.
float DotProduct(const float* a, const float* b, int n);

// Floats that Correlate and Normalise may read and write beyond the lags asked for.
inline constexpr int kLagPadding = 16;

// cross[l] = sum over i < w of x[i] * x[firstLag + l + i], for l = 0..count-1: all lags of a
// window in one pass that shares each x[i] among up to 128 lags. Every sum is the plain
// left-to-right single-precision sum (the result does not depend on the processor). x must
// be readable up to x[firstLag + count + kLagPadding + w - 2] (the extra values should be
// finite, e.g. 0) and cross must hold count + kLagPadding floats.
void Correlate(const float* x, int w, int firstLag, int count, float* cross);

// r[l] = cross[l] / (sqrt(e0 * energy[l]) + 0.001), the square root in single precision, the
// addition and the division in double, limited to -1..1 (a value that is not a number stays
// so). The three arrays hold count rounded up to a multiple of kLagPadding floats.
void Normalise(const float* cross, const float* energy, float e0, int count, float* r);

// At most this many lanes from now on (4, 8 or 16; 0 = the widest the processor has), so that
// tests and benchmarks can check every width on one machine.
void LimitCorrelationLanes(int lanes);
int CorrelationLanes();
