// Gains of the reverb's direct path and echoes: echo k is the attenuation to the power k, and
// all are scaled by one factor that keeps the sum of the echo train from piling up.
#pragma once

inline constexpr int kMaxEchoes = 15;
inline constexpr int kEchoGainSlots = kMaxEchoes + 1;

// gains[0] = the normalising factor (the direct path as the graph draws it), gains[1..repeat] =
// the echo gains. Entries above repeat are left as they are. repeat is limited to 0..15.
void CalcEchoGains(float attenuation, int repeat, float gains[kEchoGainSlots]);
