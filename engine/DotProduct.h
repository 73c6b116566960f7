// Single-precision dot product for the correlation loops of the pitch detectors. It sums in
// several partial sums (and SIMD where the processor has it), so its result may differ from a
// plain left-to-right sum in the last bits.
#pragma once

float DotProduct(const float* a, const float* b, int n);
