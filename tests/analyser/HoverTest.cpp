// Hover and highlight: which row or key lies under the mouse, when the window repaints, and the
// highlight laid on what the window shows (never on the image itself).
#include <vector>

#include "AnalyserSupport.h"

namespace {

constexpr int kPlotH = 250;

class HoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeWindow(screen);
        screen.m_nMidiProgram = 0;  // MIDI on without opening an output: hover needs no device
        platform::ui::TakeHeadlessTextDraws();
    }
    void Move(int x, int y) { screen.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Spectrum(int axis) {
        screen.InitSpectrumAnalyzer(440);
        screen.SetAxisMode(axis);
        screen.m_nScreenKind = 1;
    }
    std::vector<std::uint32_t> Image() const {
        const auto* s = screen.m_bitmap.SurfacePtr().get();
        return std::vector<std::uint32_t>(s->Pixels(), s->Pixels() + s->Width() * s->Height());
    }
    CFFTScreen screen;
};

TEST_F(HoverTest, PitchRowsCountFromTheBottomOfThePlotOnly) {
    screen.InitPitchAnalyzer(0);
    EXPECT_EQ(screen.HoverAt(100, 249), 0);
    EXPECT_EQ(screen.HoverAt(100, 240), 0);
    EXPECT_EQ(screen.HoverAt(100, 239), 1);
    EXPECT_EQ(screen.HoverAt(0, 0), 24);
    EXPECT_EQ(screen.HoverAt(451, 9), 24);
    // The label strip and everything outside the window (moves while a button is held).
    for (auto [x, y] : {std::pair{100, 250}, {100, 259}, {100, 400}, {-1, 100}, {452, 100}, {100, -1}, {-500, -500}}) {
        EXPECT_EQ(screen.HoverAt(x, y), -1) << x << "," << y;
    }
}

TEST_F(HoverTest, SpectrumKeysOnlyOnTheKeyboardAxis) {
    Spectrum(2);
    EXPECT_EQ(screen.HoverAt(0, 100), 0);
    EXPECT_EQ(screen.HoverAt(451, 100), 48);  // C6
    for (int x = 0; x < 452; ++x) {
        // 49 keys of 452/49 pixels.
        EXPECT_EQ(screen.HoverAt(x, 100), x * 49 / 452) << x;
    }
    EXPECT_EQ(screen.HoverAt(200, 250), -1);
    for (int axis : {0, 1, 3}) {
        Spectrum(axis);
        EXPECT_EQ(screen.HoverAt(200, 100), -1) << axis;
    }
}

TEST_F(HoverTest, RepaintsOncePerChangeOfRowAndNeverWithMidiOff) {
    screen.InitPitchAnalyzer(0);
    PaintNow(screen);
    Move(100, 245);
    EXPECT_EQ(screen.m_nHoverKey, 0);
    EXPECT_TRUE(PaintNow(screen));
    Move(120, 241);  // same row
    EXPECT_FALSE(PaintNow(screen));
    Move(120, 239);
    EXPECT_EQ(screen.m_nHoverKey, 1);
    EXPECT_TRUE(PaintNow(screen));
    Move(120, 255);  // the label strip
    EXPECT_EQ(screen.m_nHoverKey, -1);
    EXPECT_TRUE(PaintNow(screen));

    screen.m_nMidiProgram = -1;
    Move(100, 100);
    EXPECT_EQ(screen.m_nHoverKey, -1);
    EXPECT_FALSE(PaintNow(screen));
}

TEST_F(HoverTest, LeavingTheWindowClearsTheHighlight) {
    screen.InitPitchAnalyzer(0);
    Move(100, 100);
    PaintNow(screen);
    screen.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(screen.m_nHoverKey, -1);
    EXPECT_EQ(screen.m_nPrevHoverKey, -2);
    EXPECT_TRUE(PaintNow(screen));
    EXPECT_EQ(ShownPixel(screen, 200, 105), ImagePixel(screen, 200, 105));
}

// The key of the left keyboard that belongs to a row: white key u counted from the top, or
// 32 + the white key whose upper edge carries the black key.
int KeyOfRow(int row, bool gBased) {
    const int first = gBased ? 7 : 0;  // G or C at the bottom
    const int whiteSemis[7] = {0, 2, 4, 5, 7, 9, 11};
    auto isWhite = [&](int semi) {
        for (int w : whiteSemis) {
            if (semi % 12 == w) return true;
        }
        return false;
    };
    int whitesBelow = 0;  // white keys strictly below this note
    for (int r = 0; r < row; ++r) whitesBelow += isWhite(first + r);
    if (isWhite(first + row)) return 14 - whitesBelow;
    return 32 + (14 - (whitesBelow - 1));
}

TEST_F(HoverTest, PitchHighlightBrightensTheRowAndReddensItsKeyOnTheCopyOnly) {
    for (int range : {0, 1}) {
        screen.InitPitchAnalyzer(range);
        for (int row = 0; row < 25; ++row) {
            SCOPED_TRACE(testing::Message() << "range " << range << " row " << row);
            const auto before = Image();
            Move(200, 249 - row * 10);
            ASSERT_EQ(screen.m_nHoverKey, row);
            screen.Invalidate(TRUE);
            PaintNow(screen);
            EXPECT_EQ(Image(), before) << "the highlight must not stay in the image";
            const int top = (24 - row) * 10;
            for (int y : {top + 1, top + 5, top + 9}) {
                const COLORREF img = ImagePixel(screen, 300, y);
                const COLORREF shown = ShownPixel(screen, 300, y);
                EXPECT_EQ(GetRValue(shown), std::min(255, GetRValue(img) + 96));
                EXPECT_EQ(GetGValue(shown), std::min(255, GetGValue(img) + 64));
                EXPECT_EQ(GetBValue(shown), GetBValue(img));
            }
            EXPECT_EQ(ShownPixel(screen, 300, top), ImagePixel(screen, 300, top));
            EXPECT_EQ(ShownPixel(screen, 31, top + 5), ImagePixel(screen, 31, top + 5)) << "left of the plot";

            const int u = KeyOfRow(row, range == 1);
            if (u < 32) {
                // Inside the white key, right of the black keys.
                const int edge = ((u - 1) * 240) / 14 + 10;
                const int y = row == 24 ? 4 : edge + 8;
                EXPECT_EQ(ShownPixel(screen, 25, y), kRedPx) << "white key " << u;
                EXPECT_EQ(ShownPixel(screen, 31, y), ImagePixel(screen, 31, y));
            } else {
                const int edge = ((u - 32 - 1) * 240) / 14 + 10;
                EXPECT_EQ(ImagePixel(screen, 10, edge), kBlackPx) << "black key " << u;
                EXPECT_EQ(ShownPixel(screen, 10, edge), kRedPx) << "black key " << u;
                EXPECT_EQ(ShownPixel(screen, 25, edge), ImagePixel(screen, 25, edge));
            }
        }
    }
}

TEST_F(HoverTest, KeyboardAxisHighlightsTheColumnAndItsKeyOnTheStrip) {
    Spectrum(2);
    for (int key = 0; key <= 48; ++key) {
        SCOPED_TRACE(key);
        const int x0 = key * 452 / 49;
        const int x1 = (key * 452 + 452) / 49;  // first x of the next key
        Move((x0 + x1) / 2, 100);
        ASSERT_EQ(screen.m_nHoverKey, key);
        screen.Invalidate(TRUE);
        PaintNow(screen);
        for (int x : {x0, x1 - 1}) {
            const COLORREF img = ImagePixel(screen, x, 100);
            const COLORREF shown = ShownPixel(screen, x, 100);
            EXPECT_EQ(GetRValue(shown), std::min(255, GetRValue(img) + 64));
            EXPECT_EQ(GetGValue(shown), std::min(255, GetGValue(img) + 64));
        }
        if (x1 < 452) {
            EXPECT_EQ(ShownPixel(screen, x1, 100), ImagePixel(screen, x1, 100));
        }
        EXPECT_EQ(ShownPixel(screen, x0, 31), ImagePixel(screen, x0, 31)) << "the strip is not brightened";

        // Its key on the strip: 28 white keys over 443 pixels and a narrow last C.
        const int semi = key % 12;
        const bool black = semi == 1 || semi == 3 || semi == 6 || semi == 8 || semi == 10;
        if (!black) {
            const int whiteIndex = (key / 12) * 7 + (semi == 0 ? 0 : semi == 2 ? 1 : semi == 4 ? 2 : semi == 5 ? 3 : semi == 7 ? 4 : semi == 9 ? 5 : 6);
            const int left = whiteIndex * 443 / 28;
            const int right = whiteIndex == 28 ? 451 : (whiteIndex + 1) * 443 / 28;
            const int x = (left + right) / 2;
            EXPECT_EQ(ImagePixel(screen, x, 25), kWhitePx);
            EXPECT_EQ(ShownPixel(screen, x, 25), kRedPx);
        } else {
            const int whiteLeft = (key / 12) * 7 + (semi == 1 ? 0 : semi == 3 ? 1 : semi == 6 ? 3 : semi == 8 ? 4 : 5);
            const int x = (whiteLeft + 1) * 443 / 28;  // the black key straddles this edge
            EXPECT_EQ(ImagePixel(screen, x + 3, 10), kBlackPx);
            EXPECT_EQ(ShownPixel(screen, x + 3, 10), kRedPx);
        }
    }
}

TEST_F(HoverTest, NoHighlightWithMidiOff) {
    screen.InitPitchAnalyzer(0);
    Move(200, 100);
    screen.m_nMidiProgram = -1;
    screen.Invalidate(TRUE);
    PaintNow(screen);
    for (int y = 0; y < 260; y += 3) EXPECT_EQ(ShownPixel(screen, 200, y), ImagePixel(screen, 200, y));
}

}  // namespace
