// The main dialog's device tables and the playback read lock.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "WaveTestSupport.h"
#include "app/WaveInOutDlg.h"
#include "platform/wave/testdevice.h"
#include "support/TempFolder.h"

namespace {

using platform::wave::CTestWaveDevices;

std::vector<std::string> Names(const char* stem, int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back(stem + std::to_string(i));
    return names;
}

TEST(DeviceTables, EntryZeroIsTheMapperAndTheDevicesFollowInOrder) {
    CTestWaveDevices devices({"Mic A", "Mic B"}, {"Speaker"});
    TempFolder folder;
    CWaveInOutDlg dlg(folder.Path());
    dlg.BuildDeviceTables();
    EXPECT_EQ(dlg.m_nWaveInCount, 2);
    EXPECT_STREQ(dlg.m_waveInCaps[0].szPname, "WAVE MAPPER");
    EXPECT_STREQ(dlg.m_waveInCaps[1].szPname, "Mic A");
    EXPECT_STREQ(dlg.m_waveInCaps[2].szPname, "Mic B");
    EXPECT_EQ(dlg.m_nWaveOutCount, 1);
    EXPECT_STREQ(dlg.m_waveOutCaps[0].szPname, "WAVE MAPPER");
    EXPECT_STREQ(dlg.m_waveOutCaps[1].szPname, "Speaker");
    EXPECT_EQ(dlg.m_nWaveInId, WAVE_MAPPER);
    EXPECT_EQ(dlg.m_nWaveOutId, WAVE_MAPPER);
}

TEST(DeviceTables, WithoutDevicesOnlyTheMapperIsListed) {
    CTestWaveDevices devices({}, {});
    TempFolder folder;
    CWaveInOutDlg dlg(folder.Path());
    dlg.BuildDeviceTables();
    EXPECT_EQ(dlg.m_nWaveInCount, 0);
    EXPECT_EQ(dlg.m_nWaveOutCount, 0);
    EXPECT_STREQ(dlg.m_waveInCaps[0].szPname, "WAVE MAPPER");
}

TEST(DeviceTables, AtMost99DevicesOfAKindAreListed) {
    CTestWaveDevices devices(Names("in", 130), Names("out", 99));
    TempFolder folder;
    CWaveInOutDlg dlg(folder.Path());
    dlg.BuildDeviceTables();
    EXPECT_EQ(dlg.m_nWaveInCount, 99);
    EXPECT_STREQ(dlg.m_waveInCaps[99].szPname, "in98");
    EXPECT_EQ(dlg.m_nWaveOutCount, 99);
    EXPECT_STREQ(dlg.m_waveOutCaps[99].szPname, "out98");
}

TEST(PlaybackReadLock, DeviceReadsQueuedBuffersOnlyWhileHoldingTheProgramsLock) {
    CTestWaveDevices devices;
    wavetest::CRecordingWnd owner;
    HWAVEOUT out = nullptr;
    const WAVEFORMATEX fmt = wavetest::Pcm16(1);
    ASSERT_EQ(waveOutOpen(&out, WAVE_MAPPER, &fmt, wavetest::Owner(&owner), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    std::mutex ring;
    ASSERT_EQ(platform::wave::SetPlaybackReadLock(out, &ring), MMSYSERR_NOERROR);
    wavetest::BufferSet set(64);
    for (auto& hdr : set.hdr) {
        ASSERT_EQ(waveOutPrepareHeader(out, &hdr, sizeof hdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(out, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    }
    // Both ways of playing (a whole buffer, a stretch of samples) wait while the program holds
    // the lock, and then play what it wrote under it: the buffer is read when it plays.
    // `play` runs as the device's thread while this thread holds the lock and writes `value`
    // at data[buffer][index]; it must not finish before the lock is let go.
    const auto playWhileWriting = [&](const std::function<void()>& play, int buffer, int index, short value) {
        std::unique_lock<std::mutex> writing(ring);
        std::atomic<bool> played{false};
        std::thread device([&] {
            play();
            played.store(true);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(played.load());
        set.data[static_cast<std::size_t>(buffer)][static_cast<std::size_t>(index)] = value;
        writing.unlock();
        device.join();
    };
    std::vector<short> whole;
    std::vector<short> stretch;
    playWhileWriting([&] { devices.PlayOutputBuffer(&whole); }, 0, 3, 4321);
    playWhileWriting([&] { stretch = devices.PlayOutput(64); }, 1, 5, 1234);
    ASSERT_EQ(whole.size(), 64u);
    EXPECT_EQ(whole[3], 4321);
    ASSERT_EQ(stretch.size(), 64u);
    EXPECT_EQ(stretch[5], 1234);
    waveOutReset(out);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    EXPECT_NE(platform::wave::SetPlaybackReadLock(out, &ring), MMSYSERR_NOERROR);
    platform::ui::DeliverPostedMessages();
}

TEST(LostDevice, PrepareOnADeviceThatWentAwayAnswersNoDriver) {
    CTestWaveDevices devices;
    wavetest::CRecordingWnd owner;
    HWAVEIN in = nullptr;
    const WAVEFORMATEX fmt = wavetest::Pcm16(1);
    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &fmt, wavetest::Owner(&owner), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    devices.Vanish(platform::wave::Direction::In);
    wavetest::BufferSet set(64);
    EXPECT_EQ(waveInPrepareHeader(in, &set.hdr[0], sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    platform::ui::DeliverPostedMessages();
}

}  // namespace
