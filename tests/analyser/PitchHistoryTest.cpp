// The pitch analyser on the main dialog: turning pitch marks into cleaned points, the history
// of a run and paging through it after STOP, the key range and the labels beside the grid.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "AnalyserSupport.h"
#include "app/StartedMainDialog.h"
#include "support/EngineHarness.h"

namespace {

// Semitones above C1 (A4 = 440) of a frequency.
double Semitones(double hz) { return 12.0 * std::log2(hz / (440.0 * std::pow(2.0, -3.75))); }

class PitchHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ui::TakeHeadlessTextDraws();
        PrepareEngine(d.dlg);
        d.dlg.SwitchAnalyzerView();
        // Wide vocal range: A0..C8 as the update's limits.
        minHz = 20;
        maxHz = 5000;
    }
    CWaveInOutDlg& dlg() { return d.dlg; }
    // Appends marks with the given periods (samples) and amplitudes after the last one.
    void AddMarks(const std::vector<int>& periods, const std::vector<int>& amps) {
        for (std::size_t i = 0; i < periods.size(); ++i) {
            const int mask = dlg().m_nRingMask;
            const auto last = dlg().m_pnMark[count & mask];
            ++count;
            dlg().m_pnMark[count & mask] = last + periods[i];
            dlg().m_psMarkAmp[count & mask] = static_cast<short>(amps[i]);
        }
    }
    void AddSteady(int n, int period, int amp = 10000) {
        AddMarks(std::vector<int>(static_cast<std::size_t>(n), period), std::vector<int>(static_cast<std::size_t>(n), amp));
    }
    void Update() { dlg().UpdatePitchAnalyzer(count, dlg().m_pnMark, dlg().m_psMarkAmp, minHz, maxHz); }
    float Hist(int i) { return dlg().m_pfHistPitch[i]; }

    StartedMainDialog d;
    int count = 0;
    int minHz = 0, maxHz = 0;
};

TEST_F(PitchHistoryTest, TwentyOrFewerNewMarksAreLeftForTheNextTick) {
    AddSteady(21, 200);  // marks 1..21: 20 new periods after the first
    Update();
    EXPECT_EQ(dlg().m_nHistoryPos, 0);
    AddSteady(1, 200);
    Update();
    EXPECT_EQ(dlg().m_nHistoryPos, 21);
}

TEST_F(PitchHistoryTest, SteadyVoiceBecomesItsSemitonesTenPointsLateLosingItsFirstPoint) {
    AddSteady(101, 200);  // 220.5 Hz
    Update();
    ASSERT_EQ(dlg().m_nHistoryPos, 100);
    // Ten carried empty points come first; the first voiced point next to them is an isolated jump.
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(Hist(i), 0.0f) << i;
    for (int i = 11; i < 100; ++i) EXPECT_NEAR(Hist(i), Semitones(220.5), 1e-3) << i;
    // Times: the end of each period, in seconds.
    EXPECT_NEAR(dlg().m_pfHistTime[10], 200.0 * 2 / 44100.0, 1e-6);  // the first new period ends at mark 2
    EXPECT_NEAR(dlg().m_pfHistTime[99], 200.0 * 91 / 44100.0, 1e-6);
    // The next tick goes on where this one stopped.
    AddSteady(30, 200);
    Update();
    EXPECT_EQ(dlg().m_nHistoryPos, 130);
    EXPECT_NEAR(Hist(100), Semitones(220.5), 1e-3);
    EXPECT_NEAR(dlg().m_pfHistTime[100], 200.0 * 92 / 44100.0, 1e-6);
}

TEST_F(PitchHistoryTest, VocalRangeLimitsAndQuietPeriodsGivePointsWithoutPitch) {
    struct Case {
        int lo, hi, amp;
        bool voiced;
    } cases[] = {{210, 5000, 10000, true},  {20, 210, 10000, true},  {211, 5000, 10000, false},
                 {20, 209, 10000, false},   {20, 5000, 656, true},   {20, 5000, 655, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi << " amp " << c.amp);
        count = 0;
        dlg().m_pnMark[0] = 0;
        dlg().UpdatePitchAnalyzer(0, dlg().m_pnMark, dlg().m_psMarkAmp, 0, 0);  // a new run
        minHz = c.lo;
        maxHz = c.hi;
        AddSteady(61, 210, c.amp);  // exactly 210 Hz
        Update();
        ASSERT_EQ(dlg().m_nHistoryPos, 60);
        EXPECT_EQ(Hist(40) > 0.0f, c.voiced);
    }
}

TEST_F(PitchHistoryTest, CleanUpDropsJumpsAndLowPointsButKeepsHighOnes) {
    // Steady 200-sample periods with three odd ones: 3 semitones low (238), 3 high (168) and a
    // jump of 7 semitones (134).
    std::vector<int> periods(121, 200);
    periods[40] = 238;
    periods[60] = 168;
    periods[80] = 134;
    AddMarks(periods, std::vector<int>(periods.size(), 10000));
    Update();
    // Point j of this tick (period j+1) is history entry j + 10.
    EXPECT_EQ(Hist(39 + 10), 0.0f) << "3 semitones below its neighbours";
    EXPECT_NEAR(Hist(59 + 10), Semitones(44100.0 / 168), 1e-3) << "above its neighbours it stays";
    EXPECT_EQ(Hist(79 + 10), 0.0f) << "a jump of 6 semitones or more";
    EXPECT_EQ(Hist(78 + 10), 0.0f) << "and both its neighbours";
    EXPECT_EQ(Hist(80 + 10), 0.0f);
    EXPECT_GT(Hist(77 + 10), 0.0f);
    EXPECT_GT(Hist(81 + 10), 0.0f);
}

TEST_F(PitchHistoryTest, LevelsAreDecibelsOfTheAmplitudeAndUnvoicedPeriodsHaveNone) {
    std::vector<int> amps(41, 3277);
    amps[5] = -3000;  // unvoiced
    amps[6] = 0;
    AddMarks(std::vector<int>(41, 200), amps);
    Update();
    ASSERT_EQ(dlg().m_nHistoryPos, 40);
    EXPECT_NEAR(dlg().m_pfHistLevel[0], 20.0 * std::log10(3277.0 / 32768.0), 1e-4);
    EXPECT_TRUE(std::isfinite(dlg().m_pfHistLevel[4]));
    EXPECT_FALSE(std::isfinite(dlg().m_pfHistLevel[5]));
    EXPECT_FALSE(std::isfinite(dlg().m_pfHistLevel[6]));
}

TEST_F(PitchHistoryTest, StopOffersThePagesAndTheScrollBarStaysWithinThem) {
    // 25 seconds of 200-sample periods: three pages.
    for (int tick = 0; tick < 60; ++tick) {
        AddSteady(100, 200);
        Update();
    }
    EXPECT_EQ(dlg().m_fftScreen.m_nPageCount, 3);
    dlg().InitHistoryScrollBar();
    CScrollBar& bar = dlg().m_scrollHistory;
    int lo = 0, hi = 0;
    bar.GetScrollRange(&lo, &hi);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 3);
    EXPECT_EQ(bar.GetScrollPos(), 3);
    EXPECT_TRUE(bar.IsWindowEnabled());
    EXPECT_TRUE(bar.IsWindowVisible());

    auto scroll = [&](UINT code, UINT pos = 0) { dlg().SendMessage(WM_HSCROLL, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(&bar)); };
    platform::ui::TakeHeadlessTextDraws();
    scroll(SB_LINELEFT);
    EXPECT_EQ(bar.GetScrollPos(), 2);
    EXPECT_TRUE(DrewText(TakeTexts(), " 0:10", 40, 252)) << "page 2 shows seconds 10 to 20";
    scroll(SB_PAGELEFT);
    EXPECT_EQ(bar.GetScrollPos(), 1);
    scroll(SB_LINELEFT);
    EXPECT_EQ(bar.GetScrollPos(), 1);
    scroll(SB_PAGERIGHT);
    EXPECT_EQ(bar.GetScrollPos(), 3);
    scroll(SB_THUMBPOSITION, 99);
    EXPECT_EQ(bar.GetScrollPos(), 3);
    scroll(SB_THUMBPOSITION, 1);
    EXPECT_EQ(bar.GetScrollPos(), 1);
    // Page 1 is drawn again: its track is green.
    int green = 0;
    for (int x = 32; x < 452; ++x)
        for (int y = 0; y < 250; ++y) green += ImagePixel(dlg().m_fftScreen, x, y) == kGreenPx;
    EXPECT_GT(green, 300);

    // While a run goes on the scroll bar leaves the view to the live track.
    dlg().m_nRunState = 1;
    TakeTexts();
    scroll(SB_LINERIGHT);
    EXPECT_TRUE(TakeTexts().empty());
    dlg().m_nRunState = 0;
}

TEST_F(PitchHistoryTest, NextRunStartsAFreshHistoryAndPageTableEvenWithMoreMarks) {
    for (int tick = 0; tick < 30; ++tick) {
        AddSteady(100, 200);
        Update();
    }
    EXPECT_EQ(dlg().m_fftScreen.m_nPageCount, 2);
    dlg().InitHistoryScrollBar();  // STOP
    // The next run's first tick already has more marks than the last one had.
    count = 0;
    AddSteady(3500, 200);
    Update();
    EXPECT_EQ(dlg().m_nHistoryPos, 3499);
    EXPECT_EQ(dlg().m_fftScreen.m_nPageCount, 2) << "15.9 s of the new run";
    EXPECT_EQ(dlg().m_fftScreen.m_nPageStart[2], 3499);
}

TEST_F(PitchHistoryTest, ShortRunWithoutPagesLeavesTheScrollBarDisabled) {
    dlg().InitHistoryScrollBar();
    EXPECT_FALSE(dlg().m_scrollHistory.IsWindowEnabled());
}

TEST_F(PitchHistoryTest, KeyRangeRedrawsTheGridAndAfterARunItsPage) {
    d.Choose(dlg().m_comboKeyRange, 4);
    EXPECT_EQ(dlg().m_nKeyRange, 4);
    EXPECT_EQ(dlg().m_fftScreen.m_nBaseNote, 24);
    // A pitch at C4 lands on the lowest row of C4's grid after the run.
    AddSteady(60, static_cast<int>(std::lround(44100.0 / 261.63)));
    Update();
    dlg().m_nMarkCount = count;
    dlg().InitHistoryScrollBar();
    d.Choose(dlg().m_comboKeyRange, 2);  // C3: C4 is 12 rows higher
    int greenRows[2] = {0, 0};
    for (int x = 32; x < 452; ++x) {
        for (int y = 240; y < 250; ++y) greenRows[0] += ImagePixel(dlg().m_fftScreen, x, y) == kGreenPx;
        for (int y = 120; y < 130; ++y) greenRows[1] += ImagePixel(dlg().m_fftScreen, x, y) == kGreenPx;
    }
    EXPECT_EQ(greenRows[0], 0);
    EXPECT_GT(greenRows[1], 5);
}

TEST_F(PitchHistoryTest, LabelsNameTheLowestKeyAndEveryCBesideItsRow) {
    const struct {
        int range;
        std::vector<std::pair<std::string, int>> labels;  // name, semitones above the lowest row
    } cases[] = {{0, {{"C2", 0}, {"C3", 12}, {"C4", 24}}},
                 {1, {{"G2", 0}, {"C3", 5}, {"C4", 17}}},
                 {3, {{"G3", 0}, {"C4", 5}, {"C5", 17}}},
                 {4, {{"C4", 0}, {"C5", 12}, {"C6", 24}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        dlg().m_comboKeyRange.SetCurSel(c.range);
        TakeTexts();
        dlg().DrawAnalyzerLabels(TRUE);
        const auto texts = TakeTexts();
        for (const auto& [name, semis] : c.labels) EXPECT_TRUE(DrewText(texts, name, 388, 269 - 10 * semis)) << name;
        int notes = 0;
        for (const auto& t : texts) notes += t.x == 388;
        EXPECT_EQ(notes, static_cast<int>(c.labels.size()));
        EXPECT_TRUE(DrewText(texts, "-40", 861, 275));
        EXPECT_TRUE(DrewText(texts, " dB", 861, 139));
    }
    dlg().m_bShowVolumeGraph = FALSE;
    TakeTexts();
    dlg().DrawAnalyzerLabels(FALSE);
    for (const auto& t : TakeTexts()) EXPECT_NE(t.x, 861);
    // The spectrum view has no labels beside it.
    d.Click(1026);
    TakeTexts();
    dlg().DrawAnalyzerLabels(TRUE);
    EXPECT_TRUE(TakeTexts().empty());
}

}  // namespace
