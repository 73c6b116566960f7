// The recordings the tests read: the folder CTest names in SORVEL_TEST_DATA (testdata/ beside
// the test program when run by hand), made by scripts/make-voice.sh.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/wave/wavfileio.h"

inline std::string TestDataFile(const char* name) {
    const char* data = std::getenv("SORVEL_TEST_DATA");
    return std::string(data != nullptr ? data : "testdata") + "/" + name;
}

// The samples of a recording as stored (channels interleaved); a file that cannot be read fails
// the test and gives no samples.
inline std::vector<short> ReadTestRecording(const char* name) {
    const std::string path = TestDataFile(name);
    platform::wave::WavAudio audio;
    std::string error;
    EXPECT_TRUE(platform::wave::ReadWavFile(path, &audio, &error)) << path << ": " << error;
    return std::vector<short>(audio.samples.begin(), audio.samples.end());
}
