// The pitch view's image: grid, keyboard, track, volume bars and pages, checked pixel by pixel
// against the view's geometry (10-pixel semitone rows, 420 pixels for 10 seconds after a
// 32-pixel keyboard, 250 plot rows over a 10-pixel label strip).
#include <cmath>
#include <limits>
#include <vector>

#include "AnalyserSupport.h"

namespace {

constexpr int kW = 452;
constexpr int kPlotH = 250;

// x of the line of second i (one plot width is 10 seconds).
int SecondX(int i) { return static_cast<int>(static_cast<float>(i) * 42.0f + 0.5f) + 32; }
// Plot x of a time.
int TimeX(float t) { return static_cast<int>(t * 420.0f * 0.1f) % 420; }

bool IsWhiteRow(int rowFromTop, bool gBased) {
    // Row 24 is the lowest note of the range (C or G); the white keys of a C or a G major scale.
    const int semitone = ((24 - rowFromTop) + (gBased ? 7 : 0)) % 12;
    for (int s : {0, 2, 4, 5, 7, 9, 11}) {
        if (semitone == s) return true;
    }
    return false;
}

class PitchViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ui::DeliverPostedMessages();
        TakeTexts();
    }
    // Draws points (time, pitch) on range 0 (C2) as one live call.
    BOOL Track(const std::vector<float>& t, const std::vector<float>& p, const float* level = nullptr, int range = 0) {
        return screen.DrawPitchTrack(static_cast<int>(t.size()), p.data(), t.data(), 0.0f, range, level);
    }
    CFFTScreen screen;
};

TEST_F(PitchViewTest, GridRowsAndSecondLinesFollowTheKeyRange) {
    for (int range : {0, 1}) {
        SCOPED_TRACE(range);
        screen.InitPitchAnalyzer(range);
        EXPECT_EQ(screen.m_nBaseNote, range == 0 ? 0 : 7);
        for (int row = 0; row < 25; ++row) {
            EXPECT_EQ(ImagePixel(screen, 50, row * 10 + 5), IsWhiteRow(row, range == 1) ? kDarkGreyPx : kBlackPx) << row;
        }
        for (int y = 10; y < kPlotH; y += 10) {
            EXPECT_EQ(ImagePixel(screen, 32, y), kGreyPx) << y;
            EXPECT_EQ(ImagePixel(screen, kW - 1, y), kGreyPx) << y;
        }
        for (int i = 1; i <= 9; ++i) {
            EXPECT_EQ(ImagePixel(screen, SecondX(i), 0), kGreyPx) << i;
            EXPECT_EQ(ImagePixel(screen, SecondX(i), kPlotH - 1), kGreyPx) << i;
            EXPECT_NE(ImagePixel(screen, SecondX(i) + 1, 5), kGreyPx) << i;
        }
        // The label strip; the keyboard's last separator falls on its first row.
        for (int x : {0, 40, 200, kW - 1}) {
            EXPECT_EQ(ImagePixel(screen, x, kPlotH), x < 32 ? kGreyPx : GetSysColor(COLOR_BTNFACE));
            EXPECT_EQ(ImagePixel(screen, x, 259), GetSysColor(COLOR_BTNFACE));
        }
    }
    // The page's seconds in the label strip.
    const auto texts = TakeTexts();
    EXPECT_TRUE(DrewText(texts, " 0:00", 40, 252));
    EXPECT_TRUE(DrewText(texts, " 0:10", 436, 252));
}

TEST_F(PitchViewTest, KeyboardHasFifteenWhiteKeysWithBlackKeysOnTheirEdges) {
    for (int range : {0, 1}) {
        SCOPED_TRACE(range);
        screen.InitPitchAnalyzer(range);
        // Separators between the white keys: a top key of 10 pixels, then 14 keys over 240.
        for (int j = 0; j <= 14; ++j) EXPECT_EQ(ImagePixel(screen, 25, (j * 240) / 14 + 10), kGreyPx) << j;
        // White key k from the top; the black key above white key k (sharp of its note) sits on
        // its upper edge, except above E and B (C ranges) or B and E (G ranges).
        for (int k = 0; k <= 14; ++k) {
            const int fromBottom = 14 - k;
            const int note = ((range == 0 ? 0 : 4) + fromBottom) % 7;  // 0 C, 1 D, 2 E, ... 6 B
            const bool hasSharp = note != 2 && note != 6;
            const int edge = ((k - 1) * 240) / 14 + 10;
            if (edge - 5 < 0 || edge + 5 >= kPlotH) continue;
            EXPECT_EQ(ImagePixel(screen, 10, edge) == kBlackPx, hasSharp) << k;
            if (hasSharp) {
                EXPECT_EQ(ImagePixel(screen, 19, edge - 5), kBlackPx);
                EXPECT_EQ(ImagePixel(screen, 0, edge + 5), kBlackPx);
                EXPECT_NE(ImagePixel(screen, 20, edge), kBlackPx);
                EXPECT_NE(ImagePixel(screen, 10, edge + 6), kBlackPx);
            }
        }
        EXPECT_EQ(ImagePixel(screen, 31, 100) == kWhitePx || ImagePixel(screen, 31, 100) == kGreyPx, true);
    }
}

TEST_F(PitchViewTest, PitchMapsToTenPixelsPerSemitoneAboveTheBase) {
    screen.InitPitchAnalyzer(0);
    // Each point drawn with a neighbour one pixel to its right at the same pitch: the segment
    // marks the point's own pixel.
    struct Case {
        float pitch;
        int y;  // -1: not drawn
    } cases[] = {{12.0f, 245}, {36.0f, 5}, {37.0f, 0}, {50.0f, 0}, {11.6f, 249}, {11.0f, 250}, {0.3f, 250}, {0.0f, -1}, {-3.0f, -1}};
    float t = 0.5f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pitch);
        const int x = TimeX(t);
        const float t2 = (static_cast<float>(x) + 1.5f) / 42.0f;
        ASSERT_EQ(TimeX(t2), x + 1);
        Track({t, t2}, {c.pitch, c.pitch});
        for (int y = 0; y <= kPlotH; ++y) {
            EXPECT_EQ(ImagePixel(screen, x + 32, y) == kGreenPx, y == c.y) << y;
        }
        t = t2 + 0.5f;
    }
}

TEST_F(PitchViewTest, TrackJoinsNearPointsOnlyAndBreaksAtPointsWithoutPitch) {
    screen.InitPitchAnalyzer(0);
    auto greenIn = [&](int x0, int x1) {
        int n = 0;
        for (int x = x0; x <= x1; ++x)
            for (int y = 0; y < kPlotH; ++y) n += ImagePixel(screen, x, y) == kGreenPx;
        return n;
    };
    // 7 pixels apart: joined; 8 apart: not.
    Track({1.0f, 1.0f + 7.2f / 42.0f}, {20.0f, 20.0f});
    EXPECT_EQ(greenIn(32 + TimeX(1.0f), 32 + TimeX(1.0f) + 6), 7);
    Track({3.0f, 3.0f + 8.2f / 42.0f}, {20.0f, 20.0f});
    EXPECT_EQ(greenIn(32 + TimeX(3.0f), 32 + TimeX(3.0f) + 9), 0);
    // A point without pitch between two voiced ones breaks the line.
    Track({5.0f, 5.0f + 1.2f / 42.0f, 5.0f + 2.2f / 42.0f}, {20.0f, 0.0f, 20.0f});
    EXPECT_EQ(greenIn(32 + TimeX(5.0f), 32 + TimeX(5.0f) + 3), 0);
}

TEST_F(PitchViewTest, VolumeBarsStandAtThreePixelsPerDecibelAndSkipLevelsWithoutNumber) {
    screen.InitPitchAnalyzer(0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> levels = {-10.0f, nan, -inf, inf, 45.0f, 41.5f, -41.0f};
    // 0 dB at y 125: -10 dB at 155, 41.5 dB at 0, -41 dB at 248; 45 dB lies above the plot.
    const int top[] = {155, -1, -1, -1, -1, 0, 248};
    std::vector<float> t, p;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        t.push_back(0.2f + static_cast<float>(i) * 20.0f / 42.0f);
        p.push_back(0.0f);
    }
    Track(t, p, levels.data());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        SCOPED_TRACE(i);
        const int x = TimeX(t[i]) + 33;
        for (int y = 0; y < kPlotH; ++y) {
            const COLORREF c = ImagePixel(screen, x, y);
            if (top[i] < 0 || y < top[i]) {
                EXPECT_NE(c, kNavyPx) << y;
            } else if (y % 10 == 0 && y > 0) {
                EXPECT_EQ(c, kGreyPx) << y;  // the semitone lines stay visible through the bar
            } else {
                EXPECT_EQ(c, kNavyPx) << y;
            }
        }
    }
}

TEST_F(PitchViewTest, BarOnASecondLineKeepsTheLine) {
    screen.InitPitchAnalyzer(0);
    // A point at plot x 41 puts its bar on the line of second 1 (x 74).
    const float t = 41.5f / 42.0f;
    ASSERT_EQ(TimeX(t) + 33, SecondX(1));
    const float level = 0.0f;
    screen.DrawPitchTrack(1, &level, &t, 0.0f, 0, &level);
    for (int y = 0; y < kPlotH; ++y) EXPECT_EQ(ImagePixel(screen, SecondX(1), y), kGreyPx) << y;
}

TEST_F(PitchViewTest, WrappingTrackStartsANewPageWithItsOwnSeconds) {
    EXPECT_TRUE(Track({9.99f}, {20.0f}));  // a new run: background, page 1
    EXPECT_EQ(screen.m_nPageCount, 1);
    TakeTexts();
    EXPECT_TRUE(Track({10.0f, 10.05f}, {20.0f, 20.0f}));
    EXPECT_EQ(TimeX(10.0f), 0);
    EXPECT_EQ(screen.m_nPageCount, 2);
    EXPECT_EQ(screen.m_nPageStart[0], 0);
    EXPECT_EQ(screen.m_nPageStart[1], 1);
    EXPECT_EQ(screen.m_nPageStart[2], 3);
    const auto texts = TakeTexts();
    EXPECT_TRUE(DrewText(texts, " 0:10", 40, 252));
    EXPECT_TRUE(DrewText(texts, " 0:20", 436, 252));
    // Points within the page need no new background.
    EXPECT_FALSE(Track({10.2f}, {20.0f}));
    EXPECT_EQ(screen.m_nPageStart[2], 4);
    // A time that goes back is a new run: the page table starts again.
    EXPECT_TRUE(Track({0.1f}, {20.0f}));
    EXPECT_EQ(screen.m_nPageCount, 1);
    EXPECT_EQ(screen.m_nPageStart[1], 1);
}

TEST_F(PitchViewTest, PageTableStopsGrowingAtItsLastEntry) {
    // Every point wraps: far more pages than the table holds.
    std::vector<float> t, p;
    for (int i = 0; i < 2500; ++i) {
        t.push_back(static_cast<float>(i / 2) * 10.0f + (i % 2 == 0 ? 9.9f : 10.0f));
        p.push_back(20.0f);
    }
    Track(t, p);
    EXPECT_EQ(screen.m_nPageCount, CFFTScreen::kMaxPages - 1);
    EXPECT_EQ(screen.m_nPageStart[CFFTScreen::kMaxPages - 1] - screen.m_nPageStart[CFFTScreen::kMaxPages - 2] > 1, true);
}

TEST_F(PitchViewTest, RedrawWithFlag8LeavesThePageTableAlone) {
    Track({1.0f, 2.0f}, {20.0f, 20.0f});
    const int pages = screen.m_nPageCount;
    const int entry = screen.m_nPageStart[1];
    const float t[2] = {1.0f, 1.1f}, p[2] = {20.0f, 20.0f};
    EXPECT_TRUE(screen.DrawPitchTrack(2, p, t, 0.0f, 8, nullptr));
    EXPECT_EQ(screen.m_nPageCount, pages);
    EXPECT_EQ(screen.m_nPageStart[1], entry);
}

}  // namespace
