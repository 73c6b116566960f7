// File runs end to end: OPEN (dropped files), the player thread, the end of the file, Repeat,
// pause and resume, replay, and the files that are refused.
#include <cmath>
#include <cstdio>

#include "runs/RunHarness.h"

namespace {


class FileRun : public runtest::VirtualRunTest {
protected:
    void SetUp() override {
        runtest::WriteWav(folder.File("silence.wav"), std::vector<short>(4410, 0));
        StartDialog(folder.File("silence.wav"), 8);
    }

    // A mono tone file of `samples` samples.
    std::string ToneFile(const char* name, int samples) {
        const std::string path = folder.File(name);
        runtest::WriteWav(path, runtest::Tone(220.0, samples));
        return path;
    }
};

TEST_F(FileRun, OpenPlaysTheFileThroughAndStopsAtItsEnd) {
    const int half = 16384;
    const std::string file = ToneFile("tone.wav", 2 * half + 1000);
    Open(file);
    ASSERT_EQ(dlg->m_nRunState.load(), 2);
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[2]);
    EXPECT_EQ(dlg->GetWindowText(), "tone.wav");
    ASSERT_TRUE(WaitIdle());

    // Three blocks were read: two full, the last one short and completed with zeros.
    EXPECT_EQ(dlg->m_nInputCount.load(), 3 * half);
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
    EXPECT_EQ(dlg->m_hWaveOut, nullptr);
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[0]);
    EXPECT_EQ(runtest::CountLines(Trace(), "9-WavePlayProc(Thread)"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "9-END"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "4-END"), 1);
    // A block is read each time the device finishes a buffer: the third (short) one after the
    // third buffer, when STOP ends the run.
    const auto audio = runtest::ReadWav(played);
    EXPECT_EQ(audio.format.nChannels, 1);
    EXPECT_GE(audio.samples.size(), static_cast<std::size_t>(3 * half));
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(FileRun, RepeatStartsTheSameFileAgainAfterItsEnd) {
    Open(ToneFile("tone.wav", 20000));
    dlg->m_chkRepeat.SetCheck(BST_CHECKED);
    ASSERT_TRUE(runtest::PumpUntil([&] { return runtest::CountLines(Trace(), "2-02") >= 3; }));
    dlg->m_chkRepeat.SetCheck(BST_UNCHECKED);
    dlg->OnBnClickedStop();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_GE(runtest::CountLines(Trace(), "3-02"), 2);
    EXPECT_EQ(dlg->m_strInputFile, folder.File("tone.wav"));
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(FileRun, PlayPausesAndResumesAFilePlaying) {
    Open(ToneFile("long.wav", 44100 * 30));
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() > 0; }));
    dlg->OnBnClickedPlay();
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[0]);
    runtest::PumpFor(0.1);
    MMTIME before{};
    before.wType = TIME_SAMPLES;
    waveOutGetPosition(dlg->m_hWaveOut, &before, sizeof before);
    runtest::PumpFor(0.3);
    MMTIME during{};
    during.wType = TIME_SAMPLES;
    waveOutGetPosition(dlg->m_hWaveOut, &during, sizeof during);
    EXPECT_EQ(during.u.sample, before.u.sample);

    dlg->OnBnClickedPlay();
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[2]);
    runtest::PumpFor(0.3);
    MMTIME after{};
    after.wType = TIME_SAMPLES;
    waveOutGetPosition(dlg->m_hWaveOut, &after, sizeof after);
    EXPECT_GT(after.u.sample, during.u.sample);
    dlg->OnBnClickedStop();
    EXPECT_EQ(runtest::CountLines(Trace(), "3-03"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "3-04"), 1);
}

TEST_F(FileRun, PlayWhenIdleAfterAFileRunReplaysItFromTheStart) {
    const std::string file = ToneFile("tone.wav", 44100 * 30);
    Open(file);
    dlg->OnBnClickedStop();
    dlg->m_strDropFile.clear();
    dlg->OnBnClickedPlay();
    EXPECT_EQ(dlg->m_nRunState.load(), 2);
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[2]);
    EXPECT_TRUE(dlg->m_inputFile.IsOpen());
    EXPECT_EQ(dlg->m_strInputFile, file);
    EXPECT_EQ(runtest::CountLines(Trace(), "3-02"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "3-04"), 1);
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() > 0; }));
    dlg->OnBnClickedStop();
    EXPECT_TRUE(platform::ui::TakeHeadlessFileRequests().empty());
}

TEST_F(FileRun, ReplayOfAFileThatHasGoneStaysIdle) {
    const std::string file = ToneFile("gone.wav", 20000);
    Open(file);
    dlg->OnBnClickedStop();
    std::remove(file.c_str());
    platform::ui::TakeHeadlessMessageBoxes();
    dlg->OnBnClickedPlay();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_EQ(runtest::CountLines(Trace(), "3-02"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "3-END"), 0);
    EXPECT_FALSE(runtest::BoxTexts().empty());  // the file object's open failure
}

TEST_F(FileRun, WavAtAnotherRateOrDepthIsRefusedWithTheFormatMessage) {
    runtest::WriteWav(folder.File("slow.wav"), runtest::Tone(220.0, 8000), 1, 22050);
    Open(folder.File("slow.wav"));
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"16bit,44.1kHzでないWAVファイルは利用できません。"});
}

TEST_F(FileRun, FileThatIsNotAWavIsRefusedWithoutAConverter) {
    runtest::WriteWav(folder.File("song.mp3"), runtest::Tone(220.0, 8000));
    Open(folder.File("song.mp3"));
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_EQ(runtest::BoxTexts(), std::vector<std::string>{"再生できる形式のファイルではありません。"});
    // ".wave" is not a WAV extension either; ".WAV" in capitals is.
    runtest::WriteWav(folder.File("a.wave"), runtest::Tone(220.0, 8000));
    Open(folder.File("a.wave"));
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    runtest::WriteWav(folder.File("LOUD.WAV"), runtest::Tone(220.0, 8000));
    Open(folder.File("LOUD.WAV"));
    EXPECT_EQ(dlg->m_nRunState.load(), 2);
    dlg->OnBnClickedStop();
}

TEST_F(FileRun, CancelledFileDialogStartsNothing) {
    dlg->OnBnClickedOpen();
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    const auto requests = platform::ui::TakeHeadlessFileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(FileRun, DroppedFileStartsARunAndOneDroppedDuringARunWaitsForTheNextOpen) {
    const std::string first = ToneFile("first.wav", 44100 * 30);
    const std::string second = ToneFile("second.wav", 44100 * 30);
    DropFiles drop;
    drop.files = {first, second};
    dlg->OnDropFiles(&drop);
    EXPECT_EQ(dlg->m_nRunState.load(), 2);
    EXPECT_EQ(dlg->m_strInputFile, first);

    DropFiles during;
    during.files = {second};
    dlg->OnDropFiles(&during);
    EXPECT_EQ(dlg->m_strInputFile, first);
    EXPECT_EQ(dlg->m_strDropFile, second);
    dlg->OnBnClickedStop();
    dlg->OnBnClickedOpen();
    EXPECT_EQ(dlg->m_strInputFile, second);
    dlg->OnBnClickedStop();
}

TEST_F(FileRun, OpenDuringARunChangesNoRunState) {
    Open(ToneFile("tone.wav", 44100 * 30));
    dlg->m_nOverSampling = 4;
    dlg->m_bPitchShiftEnable = FALSE;
    dlg->OnBnClickedOpen();
    EXPECT_EQ(dlg->m_nOverSampling, 4);
    EXPECT_EQ(dlg->m_bPitchShiftEnable, FALSE);
    EXPECT_EQ(runtest::CountLines(Trace(), "2-01"), 1);
    dlg->OnBnClickedStop();
}

TEST_F(FileRun, StereoFileInTdPsolaFeedsTheMeanOfItsChannelsAndBothPeaks) {
    std::vector<short> stereo;
    for (int i = 0; i < 20000; ++i) {
        stereo.push_back(static_cast<short>(1000 + (i % 7)));
        stereo.push_back(static_cast<short>(-3001 - (i % 5)));
    }
    runtest::WriteWav(folder.File("stereo.wav"), stereo, 2);
    dlg->m_inputFile.Reset();
    ASSERT_EQ(dlg->m_inputFile.OpenRead(folder.File("stereo.wav")), 0u);
    dlg->StartWavePlayThread();
    dlg->m_bNextBlock.store(TRUE);
    const int half = dlg->m_nBlockBytes / 2;
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == half && !dlg->m_bNextBlock.load(); }));
    dlg->m_bPlayThreadRun.store(FALSE);
    dlg->m_playThread.Join();
    for (int k = 0; k < half; k += 997) {
        const float want = (static_cast<float>(1000 + (k % 7)) + static_cast<float>(-3001 - (k % 5))) * 0.5f;
        ASSERT_EQ(dlg->m_pfInputBuf[k], want) << k;
    }
    EXPECT_EQ(dlg->m_nPeak[0][0].load(), 1006);
    EXPECT_EQ(dlg->m_nPeak[1][0].load(), 3005);
    dlg->m_inputFile.Close();
}

TEST_F(FileRun, TwoHundredOpenStopCyclesLeaveEverySavedFileComplete) {
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    ::setenv("SORVEL_VIRTUAL_SPEED", runtest::DeviceSpeed(50).c_str(), 1);
    const std::string file = ToneFile("cycle.wav", 44100 * 4);
    for (int cycle = 0; cycle < 200; ++cycle) {
        Open(file);
        ASSERT_EQ(dlg->m_nRunState.load(), 2) << "cycle " << cycle;
        const int want = (cycle % runtest::kCycleBlocks) * dlg->m_nBlockBytes / 2;
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= want; })) << "cycle " << cycle;
        dlg->OnBnClickedStop();
        ASSERT_EQ(dlg->m_nRunState.load(), 0);
        if (cycle == 98) {
            // Every number 1..99 is taken now: the next run says so and writes _100.
            platform::ui::TakeHeadlessMessageBoxes();
        }
    }
    for (int n = 1; n <= 99; n += 14) {
        char name[32];
        std::snprintf(name, sizeof name, "cycle_%02d.wav", n);
        // A cycle stopped before its first block leaves an empty (but valid) file.
        const auto audio = runtest::ReadWav(folder.File(name), true);
        EXPECT_EQ(audio.format.nChannels, 1) << name;
    }
    EXPECT_TRUE(runtest::Exists(folder.File("cycle_100.wav")));
    const auto boxes = runtest::BoxTexts();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front(), "連番が100を超えています。ファイルを消去して下さい。\r\n今回は_100.wavとして保存します。");
}

}  // namespace
