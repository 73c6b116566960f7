// Completions reach the owner only while their device is open.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/wave/testdevice.h"
#include "tests/wave/WaveTestSupport.h"

using namespace wavetest;
using platform::ui::DeliverPostedMessages;
using platform::wave::CTestWaveDevices;

namespace {

class CompletionDelivery : public WaveDeviceTest {
protected:
    HWAVEOUT OpenAndWrite(BufferSet& b) {
        const WAVEFORMATEX f = Pcm16(1);
        HWAVEOUT h = nullptr;
        EXPECT_EQ(waveOutOpen(&h, 0, &f, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
        for (WAVEHDR& hdr : b.hdr) {
            hdr.dwFlags = 0;
            waveOutPrepareHeader(h, &hdr, sizeof hdr);
            EXPECT_EQ(waveOutWrite(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
        }
        return h;
    }
    void StopAndClose(HWAVEOUT h, BufferSet& b) {
        ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
        for (WAVEHDR& hdr : b.hdr) ASSERT_EQ(waveOutUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    }

    CTestWaveDevices devices;
    CRecordingWnd wnd;
};

TEST_F(CompletionDelivery, CompletionsStillQueuedWhenTheDeviceClosesAreDropped) {
    BufferSet b(16);
    HWAVEOUT h = OpenAndWrite(b);
    std::vector<short> played;
    devices.PlayOutputBuffer(&played);
    devices.PlayOutputBuffer(&played);
    StopAndClose(h, b);  // two played and two reset completions are waiting
    EXPECT_EQ(DeliverPostedMessages(), 4u);
    EXPECT_TRUE(wnd.got.empty());
}

TEST_F(CompletionDelivery, AReopenedDeviceHasANewHandleAndOnlyItsOwnCompletionsArrive) {
    BufferSet b(16);
    HWAVEOUT first = OpenAndWrite(b);
    std::vector<short> played;
    devices.PlayOutputBuffer(&played);
    StopAndClose(first, b);
    HWAVEOUT second = OpenAndWrite(b);
    EXPECT_NE(second, first);
    devices.PlayOutputBuffer(&played);
    DeliverPostedMessages();
    ASSERT_EQ(wnd.got.size(), 1u);
    EXPECT_EQ(wnd.got[0].device, reinterpret_cast<WPARAM>(second));
    EXPECT_EQ(wnd.got[0].hdr, &b.hdr[0]);
    EXPECT_EQ(waveOutWrite(first, &b.hdr[0], sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    StopAndClose(second, b);
}

TEST_F(CompletionDelivery, CloseOnAWorkerWhileTheDeviceRunsLeavesNoMessageForTheOldHandle) {
    // The device plays on one thread, the owner requeues on this one, and a worker stops and
    // closes the device the way STOP does at the end of a file.
    BufferSet b(16);
    HWAVEOUT h = OpenAndWrite(b);
    std::atomic<bool> playing{true};
    std::thread device([&] {
        std::vector<short> played;
        while (playing.load()) devices.PlayOutputBuffer(&played);
    });
    wnd.onMessage = [&](const Received& r) {
        if (!r.deviceOpenAtDelivery) return;
        r.hdr->dwFlags = WHDR_PREPARED;
        waveOutWrite(reinterpret_cast<HWAVEOUT>(r.device), r.hdr, sizeof(WAVEHDR));
    };
    ASSERT_TRUE(DeliverUntil([&] { return wnd.got.size() >= 40; }));
    std::thread worker([&] {
        // The owner may requeue a buffer between the reset and the close; close copes.
        EXPECT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    });
    while (devices.IsOpen(platform::wave::Direction::Out)) DeliverPostedMessages();
    worker.join();
    playing = false;
    device.join();
    const std::size_t before = wnd.got.size();
    DeliverPostedMessages();
    EXPECT_EQ(wnd.got.size(), before) << "nothing arrives for a closed device";
    for (std::size_t i = 0; i < wnd.got.size(); ++i) EXPECT_NE(b.IndexOf(wnd.got[i].hdr), -1);
}

}  // namespace
