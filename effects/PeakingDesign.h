// Peaking-equaliser biquad design at the fixed rate of 44100 Hz, in the single-precision order
// the equaliser's coefficients (and so its sound) depend on.
#pragma once

// Writes b[0..2] and a[0..2] (a[0] the normalised a0, 1.0 up to rounding) for a peak of gainDb
// decibels at freq Hz with quality q.
void DesignPeaking(float freq, float gainDb, float q, float b[3], float a[3]);
