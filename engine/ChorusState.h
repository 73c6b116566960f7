// State that the chorus synthesis thread keeps from round to round. The thread owns this record
// and the two overlap-add rings in it; nothing else reads or writes them.
#pragma once

#include <vector>

#include "engine/PsolaState.h"

struct CChorusState {
    CPsolaVoice main;    // the main voice
    CPsolaVoice chorus;  // the voice moved by the dump's chorus column
    long long out = 0;   // mixed samples made so far, at the oversampled rate
    int os = 1;          // oversampling factor of the dump's marks
    bool pitchShift = true;  // false: the raw input takes the main voice's place in the mix
    float mixOriginal = 1.0f;
    float mixChorus = 0.5f;
    int olaMask = 0;     // both rings hold olaMask + 1 floats, a power of two
    std::vector<float> ola;
    std::vector<float> ola2;
    std::vector<short> mix;  // one round's main voice, then the mix, then what is saved
    std::vector<float> segment;
    std::vector<float> segment2;
    int procMin = 1000;
    int procMax = -1;
};
