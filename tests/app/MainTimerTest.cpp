// Timer 1 and the window procedure of the main dialog, headless: the level meter's pixels from
// fake peaks, the play time from a hand-played device, the note name from fake marks.
#include <filesystem>
#include <vector>

#include "StartupSupport.h"
#include "support/RiffBytes.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kBands[6] = {RGB(0, 0, 255), RGB(0, 128, 192), RGB(0, 192, 128),
                                RGB(0, 240, 0), RGB(224, 224, 0), RGB(224, 0, 0)};

class LevelMeterTest : public StartedDialogTest {
protected:
    // Peaks of the block two before the newest, which the meter shows.
    void SetShownPeaks(CWaveInOutDlg& d, int left, int right) {
        d.m_nInputCount.store(5 * d.m_nBlockBytes / 2);  // five blocks in: the shown slot is 3
        d.m_nPeak[0][3].store(left);
        d.m_nPeak[1][3].store(right);
        d.m_nPeak[0][1].store(32767);  // the newest block's peak is not shown
    }
    COLORREF Pixel(CWaveInOutDlg& d, int x, int y) { return d.GetClientSurface()->GetPixel(x, y); }
    // Colours of one bar's column, top row first.
    std::vector<COLORREF> Column(CWaveInOutDlg& d, int x) {
        std::vector<COLORREF> c;
        for (int y = 28; y < 88; ++y) c.push_back(Pixel(d, x, y));
        return c;
    }
    static std::vector<COLORREF> Expected(int level) {
        std::vector<COLORREF> c(60, kBlack);
        for (int row = level; row < 60; ++row) c[static_cast<size_t>(row)] = kBands[(59 - row) / 10];
        return c;
    }
};

TEST_F(LevelMeterTest, FullScalePeakLightsAllSixBandsInTheirColours) {
    CWaveInOutDlg& d = Start();
    SetShownPeaks(d, 32767, 32767);
    d.DrawLevelMeter();
    EXPECT_EQ(Column(d, 318), Expected(0));
    EXPECT_EQ(Column(d, 326), Expected(0));
    EXPECT_EQ(Column(d, 328), Expected(0));
    EXPECT_EQ(Pixel(d, 318, 87), kBands[0]);
    EXPECT_EQ(Pixel(d, 318, 28), kBands[5]);
    // Nothing beside the bars is drawn.
    EXPECT_NE(Pixel(d, 327, 50), kBands[3]);
    EXPECT_NE(Pixel(d, 337, 50), kBands[3]);
}

TEST_F(LevelMeterTest, SilenceAndPeaksBelowEighteenDecibelsLeaveTheBarBlack) {
    CWaveInOutDlg& d = Start();
    SetShownPeaks(d, 0, 4095);  // -90 dB and -18.06 dB
    d.DrawLevelMeter();
    EXPECT_EQ(Column(d, 318), Expected(60));
    EXPECT_EQ(Column(d, 330), Expected(60));
}

TEST_F(LevelMeterTest, MiddlePeakLightsFromItsLevelRowDownPerChannel) {
    CWaveInOutDlg& d = Start();
    // 13800 is -7.51 dB: 25 dark rows. 16383 is -6.02 dB: 20 dark rows.
    SetShownPeaks(d, 13800, 16383);
    d.DrawLevelMeter();
    EXPECT_EQ(Column(d, 320), Expected(25));
    EXPECT_EQ(Column(d, 334), Expected(20));
}

TEST_F(LevelMeterTest, EveryTickRedrawsTheMeterFromTheCurrentPeaks) {
    CWaveInOutDlg& d = Start();
    SetShownPeaks(d, 32767, 32767);
    d.OnTimer(1);
    EXPECT_EQ(Column(d, 318), Expected(0));
    SetShownPeaks(d, 0, 0);
    d.OnTimer(1);
    EXPECT_EQ(Column(d, 318), Expected(60));
}

// A playback device played by hand, so that the timer reads a real position.
class PlayTimeTest : public StartedDialogTest {
protected:
    void OpenPlayback(CWaveInOutDlg& d, int seconds) {
        d.m_waveOutFmt.SetFormat(1);
        ASSERT_EQ(waveOutOpen(&d.m_hWaveOut, WAVE_MAPPER, &d.m_waveOutFmt.m_fmt, 0, 0, CALLBACK_NULL),
                  MMSYSERR_NOERROR);
        samples.assign(static_cast<size_t>(seconds) * 44100, 0);
        hdr.lpData = reinterpret_cast<char*>(samples.data());
        hdr.dwBufferLength = static_cast<DWORD>(samples.size() * 2);
        ASSERT_EQ(waveOutPrepareHeader(d.m_hWaveOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(d.m_hWaveOut, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    }
    void Play(std::size_t frames) { devices.PlayOutput(frames); }
    // Opens a WAV input whose data chunk states `stated` bytes and holds `held` (a sparse file).
    void OpenInput(CWaveInOutDlg& d, WORD channels, std::uint32_t stated, std::uint32_t held) {
        const std::string path = folder.File("input.wav");
        riffbytes::WriteFile(path, riffbytes::Riff("WAVE", riffbytes::Chunk("fmt ", riffbytes::PcmFmt(channels)) +
                                                              "data" + riffbytes::Le32(stated)));
        std::filesystem::resize_file(path, 44 + static_cast<std::uintmax_t>(held));
        d.m_inputFile.SetOwner(&d);
        ASSERT_EQ(d.m_inputFile.OpenRead(path), 0u);
    }
    void TearDown() override {
        if (dlg) dlg->m_inputFile.Close();
        if (dlg && dlg->m_hWaveOut) {
            waveOutReset(dlg->m_hWaveOut);
            waveOutUnprepareHeader(dlg->m_hWaveOut, &hdr, sizeof hdr);
            waveOutClose(dlg->m_hWaveOut);
            dlg->m_hWaveOut = nullptr;
        }
        StartedDialogTest::TearDown();
    }
    std::vector<short> samples;
    WAVEHDR hdr{};
};

TEST_F(PlayTimeTest, LiveRunShowsMinutesAndSecondsPlayed) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 80);
    d.m_nRunState.store(1);
    Play(44100 * 75 + 100);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticTime.GetWindowText(), "  1:15");
}

TEST_F(PlayTimeTest, FileRunShowsTheFilesLengthBesideThePlayTime) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    d.m_nRunState.store(2);
    OpenInput(d, 2, 44100u * 4 * 125, 44100u * 4 * 125);  // 2:05 of stereo
    Play(44100 * 3);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticTime.GetWindowText(), "  0:03 / 2:05");
}

TEST_F(PlayTimeTest, FileLengthIsWhatTheFileHoldsAndThePlayTimeStopsThere) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    d.m_nRunState.store(2);
    // The header claims 2:05; the file holds 2 s.
    OpenInput(d, 2, 44100u * 4 * 125, 44100u * 4 * 2);
    Play(44100 * 3);  // the silence that brings the file's end out is still playing
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticTime.GetWindowText(), "  0:02 / 0:02");
}

TEST_F(PlayTimeTest, FileHeaderWithoutByteRateTakesItFromChannelsBitsAndRate) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 2);
    d.m_nRunState.store(2);
    OpenInput(d, 2, 44100u * 4 * 61, 44100u * 4 * 61);
    d.m_inputFile.m_fmt.nAvgBytesPerSec = 0;
    d.m_inputFile.m_fmt.nBlockAlign = 0;
    Play(44100);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticTime.GetWindowText(), "  0:01 / 1:01");
}

TEST_F(PlayTimeTest, NoPlaybackDeviceShowsZero) {
    CWaveInOutDlg& d = Start();
    d.m_nRunState.store(1);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticTime.GetWindowText(), "  0:00");
}

// Marks and output made by hand: one period of 100 samples (441 Hz, A_4) at the heard position.
class NoteNameTest : public PlayTimeTest {
protected:
    static constexpr int kPeriod = 100;
    // Four silent start buffers of 16384 samples come first.
    static constexpr int kStartSamples = 4 * 16384;

    // Marks 0..count-1; the mark count names the newest one.
    void MakeMarks(CWaveInOutDlg& d, int count) {
        for (int i = 0; i < count; ++i) d.m_pnMark[i] = (i + 1) * kPeriod;
        d.m_nMarkCount.store(count - 1);
        auto* out = reinterpret_cast<short*>(d.m_pOutBlock);
        for (int k = 0; k < d.m_nRingLen; ++k) out[k] = static_cast<short>(k % kPeriod < 50 ? 3000 : -3000);
    }
    // Plays until the heard position is at sample `heard`.
    void HearUpTo(int heard) { Play(static_cast<std::size_t>(kStartSamples + heard)); }
};

TEST_F(NoteNameTest, ShowsTheKeyOfThePeriodBeingHeard) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 100);
    HearUpTo(4450);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "A_4");
    EXPECT_EQ(d.m_nMarkRead.load(), 44);  // the mark at 4500, the first not yet heard
}

TEST_F(NoteNameTest, QuietPeriodShowsNoNote) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 100);
    auto* out = reinterpret_cast<short*>(d.m_pOutBlock);
    for (int k = 4400; k < 4500; ++k) out[k] = 600;  // below the 655 threshold
    d.m_staticNote.SetWindowText("C_3");
    HearUpTo(4450);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "");
}

TEST_F(NoteNameTest, NothingChangesDuringTheFourStartBuffersWithThruOrInThePhaseVocoder) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 100);
    d.m_staticNote.SetWindowText("C_3");
    Play(kStartSamples);  // heard position 0
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "C_3");
    HearUpTo(4450);
    d.m_chkThru.SetCheck(BST_CHECKED);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "C_3");
    d.m_chkThru.SetCheck(BST_UNCHECKED);
    d.m_nMethod = 1;
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "C_3");
    EXPECT_EQ(d.m_nMarkRead.load(), 0);
}

TEST_F(NoteNameTest, StaleMarksOfAnEarlierRunAreNeverFollowed) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 10);  // this run's marks end at 1000
    // Every other ring entry holds a nonzero mark from an earlier run, all behind the position:
    // following them would never stop.
    for (int i = 10; i < d.m_nRingLen; ++i) d.m_pnMark[i] = 50;
    HearUpTo(4450);
    d.OnTimer(1);
    EXPECT_EQ(d.m_nMarkRead.load(), 9);
    // The newest valid period (900..1000) is the one shown.
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "A_4");
}

TEST_F(NoteNameTest, TheNewestPeriodIsShownOncePlaybackReachesIt) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 10);
    d.m_pnMark[10] = 1000 + 2 * kPeriod;  // the newest mark ends a period twice as long: A_3
    d.m_nMarkCount.store(10);
    HearUpTo(1100);
    d.OnTimer(1);
    EXPECT_EQ(d.m_nMarkRead.load(), 10);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "A_3");
}

TEST_F(NoteNameTest, MarkReadBeyondANewRunsMarksComesBackToThem) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 100);
    d.m_nMarkRead.store(5000);  // left from an earlier, longer run
    HearUpTo(4450);
    d.OnTimer(1);
    EXPECT_EQ(d.m_nMarkRead.load(), 99);
}

TEST_F(NoteNameTest, OversampledMarksAreScaledDown) {
    CWaveInOutDlg& d = Start();
    OpenPlayback(d, 5);
    MakeMarks(d, 100);
    for (int i = 0; i < 100; ++i) d.m_pnMark[i] *= 4;
    d.m_nOverSampling = 4;
    HearUpTo(4450);
    d.OnTimer(1);
    EXPECT_EQ(d.m_staticNote.GetWindowText(), "A_4");
}

using AnalyserTickTest = StartedDialogTest;

TEST_F(AnalyserTickTest, FullMarkStoreShowsBufferFullInTdPsolaOnly) {
    CWaveInOutDlg& d = Start();
    d.m_staticBufferFull.ShowWindow(SW_HIDE);
    d.m_nMarkCount.store(2 * d.m_nRingLen - 1);
    d.OnTimer(1);
    EXPECT_FALSE(d.m_staticBufferFull.IsWindowVisible());
    d.m_nMethod = 1;
    d.m_nMarkCount.store(2 * d.m_nRingLen);
    d.OnTimer(1);
    EXPECT_FALSE(d.m_staticBufferFull.IsWindowVisible());
    d.m_nMethod = 0;
    d.OnTimer(1);
    EXPECT_TRUE(d.m_staticBufferFull.IsWindowVisible());
}

using WindowProcTest = StartedDialogTest;

TEST_F(WindowProcTest, DeviceCompletionsAreTracedAndPlaybackOnesFreeTheNextBlock) {
    WriteTraceSwitch();
    CWaveInOutDlg& d = Start();
    d.m_bNextBlock.store(FALSE);
    WAVEHDR hdr{};
    d.SendMessage(MM_WOM_DONE, 0, reinterpret_cast<LPARAM>(&hdr));
    EXPECT_TRUE(d.m_bNextBlock.load());
    d.SendMessage(MM_WIM_DATA, 0, reinterpret_cast<LPARAM>(&hdr));
    const auto lines = TraceLines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"MM_WOM_DONE", "MM_WIM_DATA"}));
}

TEST_F(WindowProcTest, PostedCompletionsReachTheDialogThroughTheQueue) {
    WriteTraceSwitch();
    CWaveInOutDlg& d = Start();
    d.m_bNextBlock.store(FALSE);
    d.PostMessage(MM_WOM_DONE, 0, 0);
    EXPECT_FALSE(d.m_bNextBlock.load());
    platform::ui::DeliverPostedMessages();
    EXPECT_TRUE(d.m_bNextBlock.load());
    EXPECT_EQ(TraceLines().back(), "MM_WOM_DONE");
}

}  // namespace
