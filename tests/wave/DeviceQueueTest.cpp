// Buffer queue behaviour of an open device, driven by hand through the test devices.
#include <gtest/gtest.h>

#include "platform/wave/testdevice.h"
#include "tests/wave/WaveTestSupport.h"

using namespace wavetest;
using platform::ui::DeliverPostedMessages;
using platform::wave::CTestWaveDevices;
using platform::wave::Direction;

namespace {

class DeviceQueue : public WaveDeviceTest {
protected:
    HWAVEOUT OpenOut(WORD channels = 1) {
        const WAVEFORMATEX f = Pcm16(channels);
        HWAVEOUT h = nullptr;
        EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
        return h;
    }
    HWAVEIN OpenIn(WORD channels = 1) {
        const WAVEFORMATEX f = Pcm16(channels);
        HWAVEIN h = nullptr;
        EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
        return h;
    }
    void WriteAll(HWAVEOUT h, BufferSet& b) {
        for (WAVEHDR& hdr : b.hdr) {
            ASSERT_EQ(waveOutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
            ASSERT_EQ(waveOutWrite(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
        }
    }
    void AddAll(HWAVEIN h, BufferSet& b) {
        for (WAVEHDR& hdr : b.hdr) {
            ASSERT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
            ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
        }
    }
    DWORD PositionIn(HWAVEOUT h, UINT type) {
        MMTIME t;
        t.wType = type;
        EXPECT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
        EXPECT_EQ(t.wType, type);
        return t.u.cb;
    }

    CTestWaveDevices devices;
    CRecordingWnd wnd;
};

TEST_F(DeviceQueue, PlaybackPostsOneDoneMessagePerBufferInQueueOrder) {
    HWAVEOUT h = OpenOut();
    BufferSet b(64);
    for (int i = 0; i < 4; ++i) b.data[i].assign(64, static_cast<short>(100 * (i + 1)));
    WriteAll(h, b);
    for (int i = 0; i < 4; ++i) {
        std::vector<short> played;
        ASSERT_TRUE(devices.PlayOutputBuffer(&played));
        EXPECT_EQ(played, b.data[i]);
    }
    EXPECT_EQ(DeliverPostedMessages(), 4u);
    ASSERT_EQ(wnd.got.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(wnd.got[i].message, MM_WOM_DONE);
        EXPECT_EQ(wnd.got[i].device, reinterpret_cast<WPARAM>(h));
        EXPECT_EQ(wnd.got[i].hdr, &b.hdr[i]);
        EXPECT_EQ(wnd.got[i].flagsAtDelivery & (WHDR_DONE | WHDR_PREPARED | WHDR_INQUEUE), WHDR_DONE | WHDR_PREPARED);
    }
    for (WAVEHDR& hdr : b.hdr) EXPECT_EQ(waveOutUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceQueue, CaptureFillsBuffersInOrderAndStopReturnsThePartlyFilledOne) {
    HWAVEIN h = OpenIn();
    BufferSet b(100);
    AddAll(h, b);
    std::vector<short> ramp(250);
    for (int i = 0; i < 250; ++i) ramp[i] = static_cast<short>(i - 125);
    EXPECT_EQ(devices.FeedInput(ramp), 0u) << "nothing is recorded before start";
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.FeedInput(ramp), 250u);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 2u);
    EXPECT_EQ(wnd.got[0].hdr, &b.hdr[0]);
    EXPECT_EQ(wnd.got[1].hdr, &b.hdr[1]);
    EXPECT_EQ(wnd.got[1].bytesRecordedAtDelivery, 200u);
    EXPECT_EQ(std::vector<short>(ramp.begin() + 100, ramp.begin() + 200), b.data[1]);

    ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 3u);
    EXPECT_EQ(wnd.got[2].hdr, &b.hdr[2]);
    EXPECT_EQ(wnd.got[2].bytesRecordedAtDelivery, 100u);
    EXPECT_NE(b.hdr[3].dwFlags & WHDR_INQUEUE, 0u) << "an empty buffer stays queued";
    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 4u);
    EXPECT_EQ(wnd.got[3].hdr, &b.hdr[3]);
    EXPECT_EQ(wnd.got[3].bytesRecordedAtDelivery, 0u);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceQueue, RecordingDroppedByTheDeviceIsToldWithTheNextBufferThatCompletes) {
    HWAVEIN h = OpenIn();
    BufferSet b(100);
    AddAll(h, b);
    devices.DropInput(30);
    EXPECT_EQ(devices.FeedInput(std::vector<short>(100, 1)), 0u);
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    // A stall's backlog dropped in the middle of the second buffer.
    EXPECT_EQ(devices.FeedInput(std::vector<short>(150, 2)), 150u);
    devices.DropInput(70);
    EXPECT_EQ(devices.FeedInput(std::vector<short>(50, 3)), 50u);
    // An overrun: two buffers fill, the rest finds no buffer.
    EXPECT_EQ(devices.FeedInput(std::vector<short>(260, 4)), 200u);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 4u);
    EXPECT_EQ(b.hdr[0].reserved, 0u) << "nothing is counted before the start";
    EXPECT_EQ(b.hdr[1].reserved, 140u);
    EXPECT_EQ(b.hdr[2].reserved, 0u);
    EXPECT_EQ(b.hdr[3].reserved, 0u);
    // The program requeues a buffer: the overrun is told with it, and only once.
    ASSERT_EQ(waveInPrepareHeader(h, &b.hdr[0], sizeof b.hdr[0]), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &b.hdr[0], sizeof b.hdr[0]), MMSYSERR_NOERROR);
    EXPECT_EQ(b.hdr[0].reserved, 0u);
    EXPECT_EQ(devices.FeedInput(std::vector<short>(100, 5)), 100u);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 5u);
    EXPECT_EQ(b.hdr[0].reserved, 120u);
    // A reset forgets what was dropped before it.
    devices.DropInput(10);
    ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInPrepareHeader(h, &b.hdr[1], sizeof b.hdr[1]), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &b.hdr[1], sizeof b.hdr[1]), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(devices.FeedInput(std::vector<short>(100, 6)), 100u);
    DeliverPostedMessages();
    EXPECT_EQ(b.hdr[1].reserved, 0u);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceQueue, CloseReturnsBuffersStillQueuedWithoutPostingThem) {
    HWAVEOUT h = OpenOut();
    BufferSet b(16);
    WriteAll(h, b);
    ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    for (const WAVEHDR& hdr : b.hdr) EXPECT_EQ(hdr.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    DeliverPostedMessages();
    EXPECT_TRUE(wnd.got.empty());
    EXPECT_FALSE(devices.IsOpen(Direction::Out));
}

TEST_F(DeviceQueue, RequeuedCaptureBufferStartsEmptyWhateverItHeldBefore) {
    HWAVEIN h = OpenIn();
    BufferSet b(10);
    AddAll(h, b);
    waveInStart(h);
    devices.FeedInput(std::vector<short>(10, 7));
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 1u);
    // Requeued the way the program does it: flags cleared, byte count left as it was.
    b.hdr[0].dwFlags = 0;
    waveInPrepareHeader(h, &b.hdr[0], sizeof(WAVEHDR));
    ASSERT_EQ(waveInAddBuffer(h, &b.hdr[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    devices.FeedInput(std::vector<short>(40, 9));
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 5u);
    EXPECT_EQ(wnd.got[4].hdr, &b.hdr[0]);
    EXPECT_EQ(b.data[0], std::vector<short>(10, 9));
    waveInReset(h);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceQueue, ResetReturnsEveryQueuedBufferAtOnceAndRewindsThePosition) {
    HWAVEOUT h = OpenOut();
    BufferSet b(64);
    WriteAll(h, b);
    EXPECT_EQ(devices.PlayOutput(100).size(), 100u);
    EXPECT_EQ(PositionIn(h, TIME_SAMPLES), 100u);
    ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(DeliverPostedMessages(), 4u);
    ASSERT_EQ(wnd.got.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(wnd.got[i].hdr, &b.hdr[i]);
        EXPECT_NE(wnd.got[i].flagsAtDelivery & WHDR_DONE, 0u);
        EXPECT_EQ(b.hdr[i].dwFlags & WHDR_INQUEUE, 0u);
    }
    EXPECT_EQ(PositionIn(h, TIME_SAMPLES), 0u);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
}

TEST_F(DeviceQueue, PlaybackReadsAQueuedBufferWhenItPlaysIt) {
    HWAVEOUT h = OpenOut();
    BufferSet b(32);
    WriteAll(h, b);
    b.data[2].assign(32, 1234);  // written after the buffer was queued
    std::vector<short> played;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(devices.PlayOutputBuffer(&played));
    EXPECT_EQ(played, std::vector<short>(32, 1234));
    waveOutReset(h);
    waveOutClose(h);
}

TEST_F(DeviceQueue, PauseHoldsPlaybackInPlaceAndRestartGoesOnFromThere) {
    HWAVEOUT h = OpenOut();
    BufferSet b(50);
    for (int i = 0; i < 50; ++i) b.data[0][i] = static_cast<short>(i);
    WriteAll(h, b);
    EXPECT_EQ(devices.PlayOutput(20).size(), 20u);
    ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(devices.PlayOutput(20).empty());
    std::vector<short> none;
    EXPECT_FALSE(devices.PlayOutputBuffer(&none));
    EXPECT_EQ(PositionIn(h, TIME_SAMPLES), 20u);
    ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
    const std::vector<short> next = devices.PlayOutput(5);
    EXPECT_EQ(next, (std::vector<short>{20, 21, 22, 23, 24}));
    EXPECT_EQ(DeliverPostedMessages(), 0u) << "buffer 0 is not finished yet";
    waveOutReset(h);
    waveOutClose(h);
}

TEST_F(DeviceQueue, PositionIsReportedInSamplesBytesAndMilliseconds) {
    HWAVEOUT h = OpenOut(2);
    BufferSet b(44100);  // 22050 stereo frames each
    WriteAll(h, b);
    ASSERT_EQ(devices.PlayOutput(44100).size(), 88200u);
    EXPECT_EQ(PositionIn(h, TIME_SAMPLES), 44100u);
    EXPECT_EQ(PositionIn(h, TIME_BYTES), 176400u);
    EXPECT_EQ(PositionIn(h, TIME_MS), 1000u);
    MMTIME t;
    t.wType = 0x0020;  // a kind the device does not keep
    ASSERT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.wType, TIME_BYTES);
    EXPECT_EQ(t.u.cb, 176400u);
    waveOutReset(h);
    waveOutClose(h);
}

TEST_F(DeviceQueue, MisusedHeadersAndHandlesAreRefusedWithTheirCodes) {
    HWAVEOUT h = OpenOut();
    BufferSet b(8);
    EXPECT_EQ(waveOutWrite(h, &b.hdr[0], sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(h, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutPrepareHeader(h, &b.hdr[0], 4), MMSYSERR_INVALPARAM);
    ASSERT_EQ(waveOutPrepareHeader(h, &b.hdr[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(h, &b.hdr[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(h, &b.hdr[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(h, &b.hdr[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInStart(reinterpret_cast<HWAVEIN>(h)), MMSYSERR_INVALHANDLE) << "a playback handle is no recording handle";
    EXPECT_EQ(waveOutPause(nullptr), MMSYSERR_INVALHANDLE);
    waveOutReset(h);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(h), MMSYSERR_INVALHANDLE);
}

TEST_F(DeviceQueue, OpenRefusesFormatsAndFlagsItCannotServe) {
    WAVEFORMATEX f = Pcm16(1);
    HWAVEOUT h = nullptr;
    f.wBitsPerSample = 8;
    f.nBlockAlign = 1;
    f.nAvgBytesPerSec = 44100;
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, Owner(&wnd), 0, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    f = Pcm16(1);
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, Owner(&wnd), 0, 0x00030000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, nullptr, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, 0, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(h, nullptr);
    EXPECT_FALSE(devices.IsOpen(Direction::Out));
}

}  // namespace
