// Runs whose devices fail: missing, busy, or going away in the middle of a run. The wrapper
// says what failed in its own words, the run ends cleanly, and nothing saved so far is lost.
#include "platform/wave/testdevice.h"
#include "runs/RunHarness.h"

namespace {

using platform::wave::CTestWaveDevices;
using platform::wave::Direction;
using runtest::RunDialog;

class DeviceFailure : public ::testing::Test {
protected:
    void Make(std::vector<std::string> inputs, std::vector<std::string> outputs) {
        devices = std::make_unique<CTestWaveDevices>(std::move(inputs), std::move(outputs));
        std::FILE* trace = std::fopen(folder.File("debug.txt").c_str(), "w");
        if (trace != nullptr) std::fclose(trace);
        dlg = std::make_unique<RunDialog>(folder.Path());
        runtest::SetUpLikeStartUp(*dlg, folder.Path());
        dlg->m_chkSave.SetCheck(BST_CHECKED);
        platform::ui::TakeHeadlessMessageBoxes();
    }
    void TearDown() override {
        dlg.reset();
        platform::ui::DeliverPostedMessages();
        devices.reset();
    }
    std::vector<std::string> Trace(const char* prefix) {
        std::vector<std::string> lines;
        for (const std::string& l : runtest::TraceLines(folder.File("debug.txt")))
            if (l.rfind(prefix, 0) == 0 || l.rfind("wav", 0) == 0) lines.push_back(l);
        return lines;
    }
    // Feeds `blocks` full capture blocks of a tone and lets the engine and playback move.
    void FeedBlocks(int blocks) {
        const int half = dlg->m_nBlockBytes / 2;
        const std::vector<short> tone = runtest::Tone(180.0, half);
        for (int b = 0; b < blocks; ++b) {
            const int before = dlg->m_nInputCount.load();
            devices->FeedInput(tone);
            ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= before + half; }));
            // The engine threads take the block (they look every 2 ms).
            const unsigned cycles = dlg->m_nEngineProgress.load();
            ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineProgress.load() >= cycles + 2; }));
            runtest::PumpFor(0.02);
            std::vector<short> out;
            devices->PlayOutputBuffer(&out);
            platform::ui::DeliverPostedMessages();
        }
    }

    TempFolder folder;
    std::unique_ptr<CTestWaveDevices> devices;
    std::unique_ptr<RunDialog> dlg;
};

TEST_F(DeviceFailure, MissingRecordingDeviceReportsWavin01AndLeavesTheRunForStop) {
    Make({}, {"Speaker"});
    dlg->OnBnClickedLive();
    EXPECT_EQ(Trace("1-"), (std::vector<std::string>{"1-LIVE button  TD-PSOLA", "1-01", "1-02",
                                                       "wavin01: waveInOpen(WAVE_FORMAT_QUERY) failed.", "1-12", "1-13",
                                                       "1-END"}));
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"wavin01: waveInOpen(WAVE_FORMAT_QUERY) failed."});
    EXPECT_EQ(dlg->m_nRunState.load(), 1);
    EXPECT_FALSE(dlg->m_bPsolaRun.load());
    EXPECT_FALSE(dlg->m_saveFile.IsOpen());
    dlg->OnBnClickedStop();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    // The output file that was opened at the start is complete (and empty).
    EXPECT_EQ(runtest::ReadWav(folder.File("save_0000.wav"), true).samples.size(), 0u);
}

TEST_F(DeviceFailure, BusyPlaybackDeviceReportsWavout03AndClosesTheRecordingDevice) {
    Make({"Mic"}, {"Speaker"});
    devices->SetBusy(Direction::Out, true);
    dlg->OnBnClickedLive();
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"wavout03: waveOutOpen() failed."});
    EXPECT_FALSE(devices->IsOpen(Direction::In));
    EXPECT_EQ(dlg->m_hWaveIn, nullptr);
    EXPECT_EQ(dlg->m_nRunState.load(), 1);
    dlg->OnBnClickedStop();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(DeviceFailure, BusyPlaybackDeviceAbandonsAFileRunWithItsMessage) {
    Make({"Mic"}, {"Speaker"});
    runtest::WriteWav(folder.File("tone.wav"), runtest::Tone(220.0, 40000));
    devices->FailQuery(Direction::Out, MMSYSERR_ALLOCATED);
    dlg->m_strDropFile = folder.File("tone.wav");
    dlg->OnBnClickedOpen();
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"wavout01: waveOutOpen(WAVE_FORMAT_QUERY) failed."});
    EXPECT_EQ(dlg->m_nRunState.load(), 2);
    EXPECT_FALSE(dlg->m_bPlayThreadRun.load());
    EXPECT_TRUE(dlg->m_inputFile.IsOpen());
    dlg->OnBnClickedStop();
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
}

TEST_F(DeviceFailure, RecordingDeviceGoingAwayEndsTheRunAndKeepsWhatWasSaved) {
    Make({"Mic"}, {"Speaker"});
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    ASSERT_TRUE(dlg->m_bPsolaRun.load());
    FeedBlocks(6);
    ASSERT_FALSE(HasFatalFailure());
    devices->Vanish(Direction::In);
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nRunState.load() == 0; }));
    // One message for the device that went away, none for the buffers after it.
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"wavin08: waveInPrepareHeader() failed."});
    EXPECT_FALSE(devices->IsOpen(Direction::In));
    EXPECT_FALSE(devices->IsOpen(Direction::Out));
    const auto saved = runtest::ReadWav(folder.File("save_0000.wav"));
    EXPECT_GT(saved.samples.size(), 0u);
}

TEST_F(DeviceFailure, StopPostedForALostDeviceEndsOnlyTheRunThatLostIt) {
    Make({"Mic"}, {"Speaker"});
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    dlg->DeviceLost(&dlg->m_bInDeviceLost, "wavin08: waveInPrepareHeader() failed.");
    // The user ends that run and starts the next before the posted STOP arrives.
    dlg->OnBnClickedStop();
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    FeedBlocks(2);
    platform::ui::DeliverPostedMessages();
    EXPECT_EQ(dlg->m_nRunState.load(), 1);
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"wavin08: waveInPrepareHeader() failed."});
    dlg->OnBnClickedStop();
}

TEST_F(DeviceFailure, PlaybackDeviceGoingAwayEndsAFileRun) {
    Make({"Mic"}, {"Speaker"});
    runtest::WriteWav(folder.File("tone.wav"), runtest::Tone(220.0, 44100 * 10));
    dlg->m_strDropFile = folder.File("tone.wav");
    dlg->OnBnClickedOpen();
    ASSERT_EQ(dlg->m_nRunState.load(), 2);
    std::vector<short> out;
    devices->PlayOutputBuffer(&out);
    platform::ui::DeliverPostedMessages();
    devices->Vanish(Direction::Out);
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nRunState.load() == 0; }));
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"wavout08: waveOutPrepareHeader() failed."});
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
    EXPECT_TRUE(runtest::ReadWav(folder.File("tone_01.wav"), true).format.nChannels == 1);
}

// The same devices working: the wrappers' part of a healthy run.
using CaptureWrapper = DeviceFailure;

TEST_F(CaptureWrapper, EveryCapturedBlockIsStoredAndQueuedAgainAndTheFifthWrapsTheRing) {
    Make({"Mic"}, {"Speaker"});
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nInQueued, 4);
    ASSERT_EQ(dlg->m_nOutQueued, 4);
    const int half = dlg->m_nBlockBytes / 2;
    for (int b = 0; b < 5; ++b) {
        std::vector<short> block(static_cast<std::size_t>(half), static_cast<short>(100 * (b + 1)));
        devices->FeedInput(block);
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == (b + 1) * half; }));
        EXPECT_EQ(dlg->m_nInQueued, 4);
        // A real device takes a block's time to fill the next one; the engine uses it.
        const unsigned cycles = dlg->m_nEngineProgress.load();
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineProgress.load() >= cycles + 2; }));
    }
    EXPECT_EQ(dlg->m_nPeak[0][0].load(), 500);
    EXPECT_EQ(dlg->m_nPeak[0][1].load(), 200);
    EXPECT_EQ(dlg->m_pfInputBuf[0], 500.0f);
    EXPECT_EQ(dlg->m_pfInputBuf[half], 200.0f);
    dlg->OnBnClickedStop();
    EXPECT_EQ(dlg->m_nInQueued, 0);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(CaptureWrapper, ShortBufferIsStoredSampleBySampleAndItsCountOnly) {
    Make({"Mic"}, {"Speaker"});
    dlg->OnBnClickedLive();
    const int half = dlg->m_nBlockBytes / 2;
    ASSERT_TRUE(devices->CompleteInputBuffer(std::vector<short>(1000, 77)));
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == 1000; }));
    // A buffer with nothing recorded is requeued without touching the input.
    ASSERT_TRUE(devices->CompleteInputBuffer({}));
    runtest::PumpFor(0.05);
    EXPECT_EQ(dlg->m_nInputCount.load(), 1000);
    devices->FeedInput(std::vector<short>(static_cast<std::size_t>(half), 5));
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == 1000 + half; }));
    EXPECT_EQ(dlg->m_pfInputBuf[999], 77.0f);
    EXPECT_EQ(dlg->m_pfInputBuf[1000], 5.0f);
    EXPECT_EQ(dlg->m_nInQueued, 4);
    dlg->OnBnClickedStop();
}

TEST_F(CaptureWrapper, PlaybackPlaysTheFourSilentBuffersAndThenWhatTheEngineWrote) {
    Make({"Mic"}, {"Speaker"});
    dlg->OnBnClickedLive();
    const int half = dlg->m_nBlockBytes / 2;
    std::vector<short> out;
    ASSERT_TRUE(devices->PlayOutputBuffer(&out));
    EXPECT_EQ(out, std::vector<short>(static_cast<std::size_t>(half), 0));
    platform::ui::DeliverPostedMessages();
    EXPECT_EQ(dlg->m_nOutQueued, 4);
    // Buffer 0 is queued again; what is written into it now is what the device plays next time.
    auto* ring = reinterpret_cast<short*>(dlg->m_pOutData[0]);
    dlg->m_bPsolaRun.store(FALSE);
    dlg->JoinEngineThreads();
    for (int i = 0; i < half; ++i) ring[i] = static_cast<short>(i & 0x7FFF);
    for (int b = 1; b < 4; ++b) {
        ASSERT_TRUE(devices->PlayOutputBuffer(&out));
        platform::ui::DeliverPostedMessages();
    }
    ASSERT_TRUE(devices->PlayOutputBuffer(&out));
    ASSERT_EQ(out.size(), static_cast<std::size_t>(half));
    EXPECT_EQ(out[12345], 12345);
    dlg->OnBnClickedStop();
    // After the reset no buffer is queued and late completions are ignored.
    EXPECT_EQ(dlg->m_nOutQueued, 0);
    EXPECT_FALSE(devices->PlayOutputBuffer(&out));
}

}  // namespace
