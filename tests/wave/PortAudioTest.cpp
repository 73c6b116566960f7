// The sound-system devices: whatever this machine has (perhaps nothing), listing and opening
// either work or fail with a code, never a crash.
#include <gtest/gtest.h>

#include <set>

#include "tests/wave/WaveTestSupport.h"

using namespace wavetest;

namespace {

const std::set<MMRESULT> kOpenResults = {MMSYSERR_NOERROR, MMSYSERR_ERROR,    MMSYSERR_BADDEVICEID,
                                         MMSYSERR_ALLOCATED, MMSYSERR_NODRIVER, MMSYSERR_NOMEM,
                                         WAVERR_BADFORMAT};

TEST(SoundSystemDevices, ListAndOpenEveryDeviceOrFailWithACode) {
    ScopedEnv in("SORVEL_VIRTUAL_IN", "");
    ScopedEnv out("SORVEL_VIRTUAL_OUT", "");
    const WAVEFORMATEX f = Pcm16(1);
    const UINT inCount = waveInGetNumDevs();
    std::vector<UINT> ids = {WAVE_MAPPER};
    for (UINT i = 0; i <= inCount; ++i) ids.push_back(i);
    for (UINT id : ids) {
        WAVEINCAPSA caps;
        const MMRESULT c = waveInGetDevCapsA(id, &caps, sizeof caps);
        EXPECT_TRUE(c == MMSYSERR_NOERROR || c == MMSYSERR_NODRIVER || c == MMSYSERR_BADDEVICEID) << c;
        EXPECT_TRUE(kOpenResults.count(waveInOpen(nullptr, id, &f, 0, 0, WAVE_FORMAT_QUERY)));
        HWAVEIN h = nullptr;
        const MMRESULT r = waveInOpen(&h, id, &f, 0, 0, CALLBACK_NULL);
        EXPECT_TRUE(kOpenResults.count(r)) << r;
        if (r == MMSYSERR_NOERROR) {
            EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
        } else {
            EXPECT_EQ(h, nullptr);
        }
    }
    HWAVEIN past = nullptr;
    const MMRESULT pastResult = waveInOpen(&past, inCount, &f, 0, 0, CALLBACK_NULL);
    EXPECT_EQ(pastResult, inCount == 0 ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID);

    const UINT outCount = waveOutGetNumDevs();
    HWAVEOUT h = nullptr;
    const MMRESULT r = waveOutOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL);
    EXPECT_TRUE(kOpenResults.count(r)) << r;
    if (outCount == 0) {
        EXPECT_EQ(r, MMSYSERR_NODRIVER);
    }
    if (r == MMSYSERR_NOERROR) {
        MMTIME t;
        t.wType = TIME_SAMPLES;
        EXPECT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    }
}

}  // namespace
