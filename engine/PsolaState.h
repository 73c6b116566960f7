// State that the TD-PSOLA threads keep from cycle to cycle. Each thread owns its own record;
// the shared rings and counters live in the main dialog.
#pragma once

#include <cstdint>
#include <vector>

// One voice of the overlap-add synthesis (the main voice, or the added voice of the
// third-above and flatten modes).
struct CPsolaVoice {
    double markPos = 0.0;       // fractional analysis-mark position
    int k = 0;                  // analysis mark of the newest grain
    std::int64_t grainPos = 0;  // overlap-add position of the newest grain's centre (free-running)
    int pa = 0;                 // spacing of the newest grain after the one before it
    std::int64_t readPos = 0;   // first overlap-add position not yet resampled (0 until the first cycle ended)
    float carried = 0.0f;       // last overlap-add value of the previous segment
    std::int64_t cleared = 0;   // overlap-add positions below this have been zeroed for this run
    bool synced = false;        // the added voice has been brought to the main voice's position
    double prevMarkPos = 0.0;   // mark position of the newest grain's predecessor
};

struct CAnalyzeState {
    std::int64_t readPos = 0;  // input count up to which input has been taken
    bool chorus = false;      // the marks come from a loaded pitch dump
    bool bufferFull = false;  // the dump's marks have run out: no more cycles
    bool stopPosted = false;  // ... and the run's end has been asked for
    bool afterThru = false;   // the last pass copied input through: the marks start again
    int procMin = 1000;
    int procMax = -1;
};

struct CSynthState {
    CPsolaVoice main;
    CPsolaVoice added;
    std::int64_t out = 0;  // output samples produced so far; output sample x lies at ring position B + x
    int procMin = 1000;
    int procMax = -1;
    int lastMode = -1;
    int restart = 0;  // the chain of marks the voices follow (m_nMarkRestart when they began it)
    std::vector<short> saveBuf;
    std::vector<float> segment;
    std::vector<float> segment2;
    std::vector<float> work;
};
