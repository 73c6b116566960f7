// Reading a pitch dump back as a chorus file. The whole file is read and checked into a
// record first; nothing of the program changes until the record is complete, so a rejected
// file leaves every control, member and array as it was.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// True when the text at p (the last four characters of a path) is ".wav" or ".mp3" in any mix
// of upper- and lower-case letters, and ends there.
bool IsPlayableExtension(const char* p);

namespace pitch_dump {

// What a dump carries for a chorus run, as read and checked.
struct ChorusDump {
    std::string wavPath;        // the input WAV the dump was made from
    int overSampling = 1;       // unit of the marks: samples at overSampling × 44100 Hz
    int minKey = 0;             // key indexes of the vocal range
    int maxKey = 0;
    std::string corrThText;     // the voicing threshold as written
    bool pitchShiftEnable = true;
    float mixOriginal = 1.0f;   // levels of the main and the chorus voice
    float mixChorus = 0.5f;
    // One entry per row read, row i for pitch mark i.
    std::vector<int> marks;
    std::vector<short> amplitudes;
    std::vector<float> chorus;  // semitones above the main voice; 127 for none
};

enum class LoadStatus {
    Ok,
    OpenFailed,      // the dump cannot be opened
    NotADump,        // first word or version
    WavMissing,      // the WAV named in the dump cannot be opened
    ContentError,    // any other check
};

// Reads the dump at path, keeping at most maxRows rows (later rows are not read). *out is
// filled only as far as the reading got; it is complete only when the result is Ok.
LoadStatus ReadChorusDump(const std::string& path, int maxRows, ChorusDump* out);
// The same from a stream open for reading (left open).
LoadStatus ReadChorusDump(std::FILE* fp, int maxRows, ChorusDump* out);

// The message for a failed load ("%s open error !" names the WAV of the dump).
std::string LoadMessage(LoadStatus status, const std::string& wavPath);

}  // namespace pitch_dump
