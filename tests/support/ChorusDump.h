// A pitch dump of a file run of the voice recording for the chorus tests: marks every 5 ms over
// the first ten seconds, each with a chorus voice seven semitones up.
#pragma once

#include <fstream>
#include <string>

#include "audio/PitchDump.h"

namespace test_support {

// Writes the dump to path; with pitchShift false its header says the run's own pitch was not
// shifted.
inline void WriteVoiceChorusDump(const std::string& path, const std::string& voice, bool pitchShift = true) {
    pitch_dump::Header h;
    h.liveInput = false;
    h.inputPath = voice;
    h.minKey = 12;
    h.minKeyName = "C_3";
    h.maxKey = 36;
    h.maxKeyName = "C_5";
    h.corrThText = "0.6";
    std::string text = pitch_dump::FormatHeader(h);
    if (!pitchShift) text.replace(text.find("PitchShiftEnable\t1"), 18, "PitchShiftEnable\t0");
    for (int i = 1; i < 2000; ++i) text += pitch_dump::FormatRow(220 * i, 1, 8000, 200, "G_3", true, 7.0f);
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace test_support
