// One overlap-add grain: the input from a pitch mark onward under a squared-sine window of
// length 2Pa + 1, centred on the voice's grain position. Shared by the main and the added voice.
#pragma once

#include "engine/PsolaState.h"

struct COlaRing {
    float* data;     // 2N floats
    int mask;        // 2N - 1
};

struct CInputRing {
    const float* data;  // N floats
    int mask;           // N - 1
};

// Moves the voice's mark position on by step and its mark index to the ceiling of it, unless
// that grain's successor mark is not made yet (newest is the newest valid mark); then nothing
// moves and the result is false.
bool StepToNextGrainMark(CPsolaVoice& v, double step, int newest);

// Makes sure every overlap-add position up to the end of a grain centred at grainPos with
// half-length pa has been zeroed once in this run, without touching what earlier grains wrote.
void ClearAhead(const COlaRing& ola, CPsolaVoice& v, int grainPos, int pa);

// Adds the grain that starts at input sample markSample to the ring around v.grainPos (already
// moved on by pa). Input at or beyond count has not arrived and counts as 0.
void AddGrain(const COlaRing& ola, const CInputRing& in, const CPsolaVoice& v, int pa, int markSample, int count);

// Copies the carried sample and the overlap-add values readPos .. readPos + nIn - 1 into seg.
void BuildSegment(const COlaRing& ola, const CPsolaVoice& v, int nIn, std::vector<float>& seg);
