// One overlap-add grain and the steps around it, shared by every TD-PSOLA voice (the main voice,
// the added voice of the third-above and flatten modes, and any other conversion that lays
// grains this way). A grain is the input from a pitch mark onward under a squared-sine window
// of 2·half + 1 samples, centred on the voice's grain position; grains are pa apart.
//
// The window's half-length is min(pa, T), T being the input period at the grain's mark. With pa
// at most T (pitch at or above the formant) the windows overlap to a constant sum and the grain
// is exactly the classic one of half-length pa. With pa above T the window stays two input
// periods long: a longer window would hold several input periods, and wherever pa minus the
// distance between two grains' marks came near a whole number of periods the neighbouring
// grains would add in phase and rebuild the input at its own pitch. Such grains no longer touch,
// so they are raised by sqrt(pa / half) to keep the voice's level, but never so far that a grain
// could reach full scale: a grain whose raised window would pass nine tenths of it is raised
// only that far (grains that lie apart by their peak under the window, grains that still overlap
// by the input's peak under them, since their windows there add up to at most one).
//
// Positions are 64-bit free-running counts; a ring entry is the position AND the ring's mask
// (a buffer that holds a whole stream indexes with mask -1, that is the position itself).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/PsolaState.h"

struct COlaRing {
    float* data;        // 2N floats
    std::int64_t mask;  // 2N - 1
};

struct CInputRing {
    const float* data;  // N floats
    std::int64_t mask;  // N - 1
};

// Window of one grain: half-length and level gain for a spacing pa at input period t.
struct CGrainShape {
    int half;            // the window holds 2·half + 1 samples
    float gain;          // 1 wherever half equals pa
    bool apart = false;  // pa is at least 2·half: the grain touches neither neighbour
};

CGrainShape GrainShape(int pa, int t);

// Moves the voice's mark position on by step and its mark index to the ceiling of it, unless
// that grain's successor mark is not made yet (newest is the newest valid mark); then nothing
// moves and the result is false.
bool StepToNextGrainMark(CPsolaVoice& v, double step, int newest);

// Makes sure every overlap-add position up to the end of a grain centred at grainPos with
// half-length half has been zeroed once in this run, without touching what earlier grains wrote.
void ClearAhead(const COlaRing& ola, CPsolaVoice& v, std::int64_t grainPos, int half);

// Lays the voice's next grain: pa after the previous one (v.grainPos moves on by pa, v.pa
// becomes pa), shaped for input period t, from the input at markSample onward. When its window
// would reach input at or beyond count (not arrived yet) nothing is laid, nothing moves, and
// the result is false: the cycle ends before that grain.
// With os above 1 the voice runs at os times the input's rate (marks of a pitch dump made so):
// markSample, pa and t are in units of 1/os input sample, and the grain reads the input
// linearly between the two samples either side of each position.
bool LayGrain(const COlaRing& ola, const CInputRing& in, CPsolaVoice& v, int pa, int t, std::int64_t markSample,
              std::int64_t count, int os = 1);

// Adds a grain centred at grainPos with the given shape, from the input at markSample onward
// (in units of 1/os input sample). Input at or beyond count has not arrived and counts as 0.
void AddGrain(const COlaRing& ola, const CInputRing& in, std::int64_t grainPos, const CGrainShape& shape,
              std::int64_t markSample, std::int64_t count, int os = 1);

// Input position of a fractional mark position: between mark floor(pos) and the next one, in
// proportion (marks[x AND mask] is mark x).
double MarkTimeAt(const std::int64_t* marks, std::int64_t mask, double pos);

// Moves the voice's mark position on so that the input position one mark on (MarkTimeAt of the
// position plus one) advances by span samples, and its mark index to the ceiling of it. When
// that needs a mark beyond newest (the newest valid mark) nothing moves and the result is false.
bool StepByInputSpan(CPsolaVoice& v, const std::int64_t* marks, std::int64_t mask, double span, int newest);

// Copies the carried sample and the overlap-add values readPos .. readPos + nIn - 1 into seg.
void BuildSegment(const COlaRing& ola, const CPsolaVoice& v, int nIn, std::vector<float>& seg);
