// Device lists, capability records and the mapper entry.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/wave/testdevice.h"
#include "tests/wave/WaveTestSupport.h"

using namespace wavetest;
using platform::wave::CTestWaveDevices;
using platform::wave::Direction;

namespace {

TEST(DeviceTable, DevicesAreListedByIndexAndIdsPastTheEndAreRefused) {
    CTestWaveDevices devices({"Mic A"}, {"Speaker A", "Speaker B", "Headset"});
    EXPECT_EQ(waveInGetNumDevs(), 1u);
    ASSERT_EQ(waveOutGetNumDevs(), 3u);
    WAVEOUTCAPSA caps;
    ASSERT_EQ(waveOutGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Speaker B");
    EXPECT_EQ(caps.dwFormats & (WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16), WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16);
    EXPECT_EQ(waveOutGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    WAVEINCAPSA inCaps;
    EXPECT_EQ(waveInGetDevCapsA(0, &inCaps, 8), MMSYSERR_INVALPARAM);
    const WAVEFORMATEX f = Pcm16(1);
    HWAVEOUT h = nullptr;
    EXPECT_EQ(waveOutOpen(&h, 3, &f, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
}

TEST(DeviceTable, WaveMapperOpensTheDefaultDevice) {
    CTestWaveDevices devices({"Mic A", "Mic B"}, {"Speaker A", "Speaker B", "Headset"});
    devices.SetDefault(Direction::Out, 2);
    const WAVEFORMATEX f = Pcm16(2);
    HWAVEOUT h = nullptr;
    ASSERT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OpenedId(Direction::Out), 2u);
    EXPECT_EQ(devices.OpenFormat(Direction::Out).nChannels, 2);
    WAVEOUTCAPSA caps;
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Headset");
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.OpenedId(Direction::In), 0u);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST(DeviceTable, WithoutDevicesTheMapperFailsCleanly) {
    CTestWaveDevices devices({}, {});
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    const WAVEFORMATEX f = Pcm16(1);
    HWAVEIN h = nullptr;
    EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    WAVEINCAPSA caps;
    EXPECT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NODRIVER);
}

TEST(DeviceTable, LongNamesAreCutToFitWholeCharactersAndKeptApart) {
    const std::string common = "USB Audio Device Analog Stereo Input ";
    const std::string japanese = "\xE3\x83\x9E\xE3\x82\xA4\xE3\x82\xAF" "-------------------------x";  // 9 bytes + 26
    CTestWaveDevices devices({common + "(hw:1,0)", common + "(hw:2,0)", japanese}, {});
    char names[3][MAXPNAMELEN];
    for (UINT i = 0; i < 3; ++i) {
        WAVEINCAPSA caps;
        ASSERT_EQ(waveInGetDevCapsA(i, &caps, sizeof caps), MMSYSERR_NOERROR);
        EXPECT_LT(std::strlen(caps.szPname), static_cast<std::size_t>(MAXPNAMELEN));
        std::memcpy(names[i], caps.szPname, MAXPNAMELEN);
    }
    EXPECT_STRNE(names[0], names[1]);
    EXPECT_EQ(std::string(names[2]), japanese.substr(0, 31));
    const std::string cut = platform::wave::FitDeviceNames({std::string(30, 'a') + "\xE3\x83\x9E"})[0];
    EXPECT_EQ(cut, std::string(30, 'a')) << "no character is split";
}

}  // namespace
