// File runs end to end: OPEN (dropped files), the player thread, the end of the file, Repeat,
// pause and resume, replay, and the files that are refused.
#include <cmath>
#include <cstdio>

#include "runs/RunHarness.h"
#include "support/RiffBytes.h"

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

    // Three blocks were read: two full, the last one short and completed with zeros; two silent
    // blocks then carried the last one through to the device.
    EXPECT_EQ(dlg->m_nInputCount.load(), 5 * half);
    EXPECT_FALSE(dlg->m_inputFile.IsOpen());
    EXPECT_EQ(dlg->m_hWaveOut, nullptr);
    EXPECT_EQ(dlg->m_btnPlay.GetBitmap(), &dlg->m_bmpPlay[0]);
    EXPECT_EQ(runtest::CountLines(Trace(), "9-WavePlayProc(Thread)"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "9-END"), 1);
    EXPECT_EQ(runtest::CountLines(Trace(), "4-END"), 1);
    // The file's end is heard before STOP ends the run: B samples of latency after its end.
    const auto audio = runtest::ReadWav(played);
    EXPECT_EQ(audio.format.nChannels, 1);
    EXPECT_GE(audio.samples.size(), static_cast<std::size_t>(2 * half + 1000 + dlg->m_nBlockBytes));
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

// The end of a file is heard and saved: the played and saved output reach past the converted
// end of the input, whose pitch is the converted pitch (a copy of the input would not be).
class FileEnd : public FileRun {
protected:
    // Median F0 of s over [from, to) frames that are clearly periodic.
    static double MedianF0(const std::vector<short>& s, long from, long to) {
        std::vector<double> f;
        for (long t = std::max(0L, from); t + 1024 + 800 <= std::min<long>(to + 800, static_cast<long>(s.size())); t += 512) {
            const double hz = runtest::FrameF0(s, static_cast<std::size_t>(t), 1024);
            if (hz > 0.0) f.push_back(hz);
        }
        return f.size() >= 4 ? runtest::Median(f) : 0.0;
    }

    // Runs the file with the pitch a fifth and a half up (ratio sqrt 2) and returns the saved
    // and the played output.
    void RunWithPitchUp(const std::string& file, int method, std::vector<short>* saved, std::vector<short>* heard) {
        dlg->m_nMethod = method;
        if (method == 1) dlg->m_pitchScale.Init(2, 44100);
        dlg->m_fPitchRatio = std::sqrt(2.0f);
        dlg->m_chkSave.SetCheck(BST_CHECKED);
        // Slow enough for the engine to keep up on a loaded machine: what is checked is the
        // end of the file, not the engine's speed.
        ScopedEnv speed("SORVEL_VIRTUAL_SPEED", runtest::DeviceSpeed(4));
        Open(file);
        ASSERT_EQ(dlg->m_nRunState.load(), 2);
        ASSERT_TRUE(WaitIdle());
        const std::string base = file.substr(file.rfind('/') + 1, file.rfind('.') - file.rfind('/') - 1);
        *saved = runtest::ReadWav(folder.File(base + "_01.wav")).samples;
        *heard = runtest::ReadWav(played).samples;
    }
};

TEST_F(FileEnd, ToneFilesArePlayedAndSavedToTheirConvertedEnd) {
    const long b = 32768;  // B: the output is heard B samples after its input
    for (const double seconds : {0.8, 1.5, 3.28}) {
        SCOPED_TRACE(std::to_string(seconds) + " s");
        const long n = std::lround(seconds * 44100.0);
        const std::string file = folder.File("tone" + std::to_string(n) + ".wav");
        runtest::WriteWav(file, runtest::Tone(220.0, static_cast<int>(n)));
        std::vector<short> saved;
        std::vector<short> heard;
        RunWithPitchUp(file, 0, &saved, &heard);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(static_cast<long>(saved.size()), n);
        ASSERT_GE(static_cast<long>(heard.size()), n + b);
        const double want = 220.0 * std::sqrt(2.0);
        EXPECT_NEAR(MedianF0(saved, n - 13230, n), want, want * 0.02);
        EXPECT_NEAR(MedianF0(heard, n + b - 13230, n + b), want, want * 0.02);
    }
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(FileEnd, PhaseVocoderRunSavesAndPlaysTheWholeFile) {
    const long n = std::lround(1.5 * 44100.0);
    const std::string file = folder.File("pv.wav");
    runtest::WriteWav(file, runtest::Tone(220.0, static_cast<int>(n)));
    std::vector<short> saved;
    std::vector<short> heard;
    RunWithPitchUp(file, 1, &saved, &heard);
    ASSERT_FALSE(HasFatalFailure());
    // Whole blocks: at least the file, less than one block more.
    EXPECT_GE(static_cast<long>(saved.size()), n);
    EXPECT_LT(static_cast<long>(saved.size()), n + 16384);
    ASSERT_GE(static_cast<long>(heard.size()), n + 32768);
    const double want = 220.0 * std::sqrt(2.0);
    EXPECT_NEAR(MedianF0(saved, n - 13230, n - 2048), want, want * 0.02);
    EXPECT_NEAR(MedianF0(heard, n + 32768 - 13230, n + 32768 - 2048), want, want * 0.02);
}

TEST_F(FileEnd, VoiceRecordingIsSavedToItsEndWithItsLastWordsConverted) {
    const std::string voice = runtest::TestDataFile("voice.wav");
    if (!runtest::Exists(voice)) GTEST_SKIP() << "no " << voice;
    const std::vector<short> input = runtest::ReadWav(voice).samples;
    const long n = static_cast<long>(input.size());
    std::vector<short> saved;
    std::vector<short> heard;
    RunWithPitchUp(voice, 0, &saved, &heard);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(static_cast<long>(saved.size()), n);
    ASSERT_GE(static_cast<long>(heard.size()), n + 32768);
    // The voice's last words (its very end is silence): the output's level follows the input's,
    // and its pitch is the converted one.
    const long from = n - 3 * 13230;
    const std::vector<short> inEnd(input.begin() + from, input.end());
    const std::vector<short> outEnd(saved.begin() + from, saved.end());
    EXPECT_NEAR(runtest::EnvelopeLag(inEnd, outEnd, -512, 512), 0, 128);
    int frames = 0;
    const double ratio = runtest::MedianPitchRatio(input, saved, 0, static_cast<std::size_t>(from),
                                                   static_cast<std::size_t>(n - 2048), &frames);
    EXPECT_GT(frames, 3);
    EXPECT_NEAR(ratio, std::sqrt(2.0), 0.03);
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
    // Resumed, the device plays on from where it held still.
    MMTIME after{};
    after.wType = TIME_SAMPLES;
    EXPECT_TRUE(runtest::PumpUntil([&] {
        waveOutGetPosition(dlg->m_hWaveOut, &after, sizeof after);
        return after.u.sample > during.u.sample;
    }));
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

// A 16-bit 44.1 kHz file in the extensible layout: plain PCM in all but its header.
std::string ExtensibleWave(std::uint16_t channels, std::uint16_t subFormat, const std::vector<short>& samples) {
    using namespace riffbytes;
    std::string body = PcmFmt(channels);
    body.replace(0, 2, Le16(0xFFFE));
    body += Le16(22) + Le16(16) + Le32(channels == 2 ? 3u : 4u);
    body += Le16(subFormat) + std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    std::string data(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
    return Riff("WAVE", Chunk("fmt ", body) + Chunk("data", data));
}

TEST_F(FileRun, ExtensibleLayoutOfPcmIsPlayedLikePlainPcmAndOtherSubFormatsAreRefused) {
    riffbytes::WriteFile(folder.File("ext.wav"), ExtensibleWave(1, 1, runtest::Tone(220.0, 30000)));
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    Open(folder.File("ext.wav"));
    ASSERT_EQ(dlg->m_nRunState.load(), 2);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(runtest::ReadWav(folder.File("ext_01.wav")).samples.size(), 30000u);
    EXPECT_TRUE(runtest::BoxTexts().empty());

    riffbytes::WriteFile(folder.File("float.wav"), ExtensibleWave(1, 3, runtest::Tone(220.0, 30000)));
    Open(folder.File("float.wav"));
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
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
