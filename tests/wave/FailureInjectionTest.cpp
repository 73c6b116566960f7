// Devices that refuse to open, are busy, or go away while a run lasts.
#include <gtest/gtest.h>

#include "platform/wave/testdevice.h"
#include "tests/wave/WaveTestSupport.h"

using namespace wavetest;
using platform::ui::DeliverPostedMessages;
using platform::wave::CTestWaveDevices;
using platform::wave::Direction;

namespace {

class DeviceFailure : public WaveDeviceTest {
protected:
    CTestWaveDevices devices;
    CRecordingWnd wnd;
    WAVEFORMATEX format = Pcm16(1);
};

TEST_F(DeviceFailure, InjectedQueryAndOpenFailuresAreAnsweredWithTheirCode) {
    devices.FailQuery(Direction::In, MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    devices.FailOpen(Direction::Out, MMSYSERR_ERROR);
    HWAVEOUT h = reinterpret_cast<HWAVEOUT>(1);
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_ERROR);
    EXPECT_EQ(h, nullptr) << "a failed open leaves no handle behind";
    devices.FailOpen(Direction::Out, MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutOpen(&h, WAVE_MAPPER, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceFailure, BusyDeviceAnswersAllocated) {
    devices.SetBusy(Direction::In, true);
    HWAVEIN h = nullptr;
    EXPECT_EQ(waveInOpen(&h, 0, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
    devices.SetBusy(Direction::In, false);
    ASSERT_EQ(waveInOpen(&h, 0, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    HWAVEIN again = nullptr;
    EXPECT_EQ(waveInOpen(&again, 0, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceFailure, VanishedPlaybackDeviceReturnsItsBuffersAndLaterCallsFail) {
    HWAVEOUT h = nullptr;
    ASSERT_EQ(waveOutOpen(&h, 0, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    BufferSet b(16);
    for (WAVEHDR& hdr : b.hdr) {
        waveOutPrepareHeader(h, &hdr, sizeof hdr);
        waveOutWrite(h, &hdr, sizeof hdr);
    }
    std::vector<short> played;
    devices.PlayOutputBuffer(&played);
    devices.Vanish(Direction::Out);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(wnd.got[i].hdr, &b.hdr[i]);
        EXPECT_NE(wnd.got[i].flagsAtDelivery & WHDR_DONE, 0u);
    }
    b.hdr[0].dwFlags = WHDR_PREPARED;
    EXPECT_EQ(waveOutWrite(h, &b.hdr[0], sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutPause(h), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutRestart(h), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutReset(h), MMSYSERR_NODRIVER);
    MMTIME t;
    t.wType = TIME_SAMPLES;
    EXPECT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NODRIVER);
    for (WAVEHDR& hdr : b.hdr) EXPECT_EQ(waveOutUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    EXPECT_FALSE(devices.IsOpen(Direction::Out));
}

TEST_F(DeviceFailure, VanishedRecordingDeviceReturnsBuffersWithWhatTheyHold) {
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, 0, &format, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    BufferSet b(16);
    for (WAVEHDR& hdr : b.hdr) {
        waveInPrepareHeader(h, &hdr, sizeof hdr);
        waveInAddBuffer(h, &hdr, sizeof hdr);
    }
    waveInStart(h);
    devices.FeedInput(std::vector<short>(20, 3));
    devices.Vanish(Direction::In);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 4u);
    EXPECT_EQ(wnd.got[1].bytesRecordedAtDelivery, 8u);
    EXPECT_EQ(wnd.got[2].bytesRecordedAtDelivery, 0u);
    EXPECT_EQ(waveInStart(h), MMSYSERR_NODRIVER);
    b.hdr[0].dwFlags = WHDR_PREPARED;
    EXPECT_EQ(waveInAddBuffer(h, &b.hdr[0], sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

}  // namespace
