// Correlation sums of the batch's period detector: the products of one window with the same
// signal at many lags. Sums run in several partial sums (with fused multiply-adds where the
// processor has them), so each result may differ from a plain left-to-right sum in its last
// bits.
#pragma once

// out[j] = sum over i < n of a[i] * b[j + i], for j = 0 .. count - 1.
void LagProducts(const float* a, const float* b, int n, int count, float* out);
