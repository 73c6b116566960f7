// The choice of a pitch period from the correlation of a window with itself at each lag, shared
// by the live and the batch detector.
#pragma once

// corr[k - minLag] is the correlation at lag k, minLag <= k <= maxLag (minLag >= 1). The lag of
// the largest correlation (the first of equal ones) when it reaches corrTh, moved by the octave
// guard to the top of the first rising run that passes peakRatio times that largest value;
// 0 when the window is unvoiced.
int ChoosePeriod(const float* corr, int minLag, int maxLag, float corrTh, float peakRatio);
