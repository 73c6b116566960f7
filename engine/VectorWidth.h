// The widest vectors of floats that the processor offers the engine's hot loops (the FFT, the
// phase-vocoder bins, the pitch detector's lags, the resampler), checked once: 16 floats
// (AVX-512 F, DQ, VL and BW), 8 (AVX2) or 4 (any processor: the loops' four-float form).
// Every loop gives the same results at every width.
#pragma once

int WidestVectorFloats();

// At most this many floats per vector from now on (4, 8 or 16; 0 = as wide as the processor
// allows), so that tests and benchmarks can run the narrower forms on one machine.
void LimitVectorFloats(int floats);

// The width the loops use now: the limit, or the widest when there is none.
int VectorFloats();
