// The four-point cubic resampler shared by the live, chorus and batch synthesis. It maps a
// segment of nIn new overlap-add values, preceded by the carried last value of the previous
// segment (t[0]), onto nOut output samples, blending linearly at the two ends.
#pragma once

// Output sample i (0 <= i < nOut) of the segment t[0..nIn]; the position is computed in single
// precision as the live engines do. Returns 0 when nOut <= 0 or nIn < 1. Not clamped.
int ResampleCubic(const float* t, int nIn, int nOut, int i);
// The same rule with the position computed in double precision (the offline conversion).
int ResampleCubicDouble(const float* t, int nIn, int nOut, int i);
