// The equaliser graph's frequency response of one biquad: 400 points from 16.3516 Hz, forty per
// octave (point 40·k lies at the centre of band k), in decibels.
#pragma once

inline constexpr int kEqResponsePoints = 400;

// out[0..399] = the response in dB of the biquad b[0..2] / (1, a[1], a[2]); a[0] is not read.
void CalcEqResponse(const float* b, const float* a, float* out);
