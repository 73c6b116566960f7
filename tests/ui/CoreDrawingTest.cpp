// Drawing of the window-free core: exact pixels without any window system.
#include <cstring>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/gdi.h"
#include "resources/resource_ids.h"

namespace {

struct MemoryCanvas {
    MemoryCanvas(int w, int h) {
        bitmap.CreateBitmap(w, h);
        dc.CreateCompatibleDC(nullptr);
        old = dc.SelectObject(&bitmap);
    }
    ~MemoryCanvas() { dc.SelectObject(old); }
    CBitmap bitmap;
    CDC dc;
    CBitmap* old = nullptr;
};

using DrawingTest = HeadlessUiTest;

TEST_F(DrawingTest, LineLeavesItsEndPointUndrawn) {
    MemoryCanvas c(10, 10);
    CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
    c.dc.SelectObject(&pen);
    c.dc.MoveTo(1, 5);
    c.dc.LineTo(6, 5);
    for (int x = 1; x < 6; ++x) EXPECT_EQ(c.dc.GetPixel(x, 5), RGB(255, 0, 0)) << x;
    EXPECT_EQ(c.dc.GetPixel(6, 5), RGB(0, 0, 0));
    EXPECT_EQ(c.dc.GetPixel(0, 5), RGB(0, 0, 0));
    // A vertical line from (2, 0) to (2, 4) covers rows 0..3.
    c.dc.MoveTo(2, 0);
    c.dc.LineTo(2, 4);
    EXPECT_EQ(c.dc.GetPixel(2, 3), RGB(255, 0, 0));
    EXPECT_EQ(c.dc.GetPixel(2, 4), RGB(0, 0, 0));
    EXPECT_EQ(c.dc.GetCurrentPosition(), CPoint(2, 4));
}

TEST_F(DrawingTest, DiagonalLineStepsOnePixelPerRow) {
    MemoryCanvas c(8, 8);
    CPen pen(PS_SOLID, 1, RGB(0, 255, 0));
    c.dc.SelectObject(&pen);
    c.dc.MoveTo(0, 0);
    c.dc.LineTo(7, 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(c.dc.GetPixel(i, i), RGB(0, 255, 0)) << i;
    EXPECT_EQ(c.dc.GetPixel(7, 7), RGB(0, 0, 0));
    EXPECT_EQ(c.dc.GetPixel(1, 0), RGB(0, 0, 0));
}

TEST_F(DrawingTest, FillIsClippedToTheBitmapAndExcludesRightAndBottomEdges) {
    MemoryCanvas c(6, 4);
    c.dc.FillSolidRect(-3, -3, 5, 5, RGB(1, 2, 3));  // covers x, y in -3..1
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(1, 2, 3));
    EXPECT_EQ(c.dc.GetPixel(1, 1), RGB(1, 2, 3));
    EXPECT_EQ(c.dc.GetPixel(2, 1), RGB(0, 0, 0));
    EXPECT_EQ(c.dc.GetPixel(1, 2), RGB(0, 0, 0));
    c.dc.FillSolidRect(4, 2, 100, 100, RGB(9, 9, 9));
    EXPECT_EQ(c.dc.GetPixel(5, 3), RGB(9, 9, 9));
    EXPECT_EQ(c.dc.GetPixel(6, 3), CLR_INVALID);
}

TEST_F(DrawingTest, BitmapBitsAreBlueGreenRedUnusedTopDown) {
    MemoryCanvas c(3, 2);
    c.dc.SetPixel(0, 0, RGB(10, 20, 30));
    c.dc.SetPixel(2, 1, RGB(200, 100, 50));
    BITMAP bm;
    ASSERT_GT(c.bitmap.GetBitmap(&bm), 0);
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 2);
    EXPECT_EQ(bm.bmWidthBytes, 12);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    std::vector<unsigned char> bits(static_cast<std::size_t>(bm.bmWidthBytes * bm.bmHeight));
    ASSERT_EQ(c.bitmap.GetBitmapBits(static_cast<DWORD>(bits.size()), bits.data()), bits.size());
    EXPECT_EQ(bits[0], 30);   // blue
    EXPECT_EQ(bits[1], 20);   // green
    EXPECT_EQ(bits[2], 10);   // red
    EXPECT_EQ(bits[3], 0);    // unused
    const std::size_t last = 12 + 2 * 4;
    EXPECT_EQ(bits[last + 0], 50);
    EXPECT_EQ(bits[last + 1], 100);
    EXPECT_EQ(bits[last + 2], 200);
    // Writing the bits back changes the pixels.
    bits[0] = 255;
    bits[1] = 0;
    bits[2] = 0;
    c.bitmap.SetBitmapBits(static_cast<DWORD>(bits.size()), bits.data());
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(0, 0, 255));
}

TEST_F(DrawingTest, BitmapBitsNeverOverrunTheCallersBuffer) {
    MemoryCanvas c(4, 4);
    c.dc.FillSolidRect(0, 0, 4, 4, RGB(255, 255, 255));
    unsigned char small[10];
    std::memset(small, 0xAB, sizeof small);
    EXPECT_EQ(c.bitmap.GetBitmapBits(8, small), 8u);
    EXPECT_EQ(small[8], 0xAB);
    std::vector<unsigned char> large(100, 0);
    EXPECT_EQ(c.bitmap.SetBitmapBits(static_cast<DWORD>(large.size()), large.data()), 64u);  // 4 × 4 × 4 bytes
    EXPECT_EQ(c.dc.GetPixel(3, 3), RGB(0, 0, 0));
}

TEST_F(DrawingTest, BitBltCopiesAndClipsBetweenBitmaps) {
    MemoryCanvas src(4, 4);
    MemoryCanvas dst(4, 4);
    src.dc.FillSolidRect(0, 0, 2, 2, RGB(255, 0, 0));
    src.dc.FillSolidRect(2, 2, 2, 2, RGB(0, 0, 255));
    dst.dc.BitBlt(1, 1, 4, 4, &src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(dst.dc.GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(dst.dc.GetPixel(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(dst.dc.GetPixel(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(dst.dc.GetPixel(3, 3), RGB(0, 0, 255));
    // Copying a bitmap onto itself, shifted, reads the source before writing.
    src.dc.BitBlt(1, 0, 3, 1, &src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(src.dc.GetPixel(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(src.dc.GetPixel(2, 0), RGB(255, 0, 0));
    EXPECT_EQ(src.dc.GetPixel(3, 0), RGB(0, 0, 0));
}

TEST_F(DrawingTest, RectangleOutlinesWithThePenAndFillsWithTheBrush) {
    MemoryCanvas c(6, 6);
    CPen pen(PS_SOLID, 1, RGB(255, 255, 255));
    CBrush brush(RGB(0, 128, 0));
    c.dc.SelectObject(&pen);
    c.dc.SelectObject(&brush);
    c.dc.Rectangle(0, 0, 5, 5);
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.dc.GetPixel(4, 4), RGB(255, 255, 255));
    EXPECT_EQ(c.dc.GetPixel(2, 2), RGB(0, 128, 0));
    EXPECT_EQ(c.dc.GetPixel(5, 5), RGB(0, 0, 0));
}

TEST_F(DrawingTest, TextWithoutWindowSystemIsRecordedWithItsFontAndPlacement) {
    platform::ui::TakeHeadlessTextDraws();
    MemoryCanvas c(50, 20);
    CFont font;
    font.CreatePointFont(80, "ＭＳゴシック");
    c.dc.SelectObject(&font);
    c.dc.SetTextAlign(TA_CENTER | TA_TOP);
    c.dc.SetTextColor(RGB(1, 2, 3));
    c.dc.SetBkMode(TRANSPARENT);
    c.dc.TextOut(25, 4, "C3");
    const auto draws = platform::ui::TakeHeadlessTextDraws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].text, "C3");
    EXPECT_EQ(draws[0].x, 25);
    EXPECT_EQ(draws[0].font.height, -11);  // 8 points at 96 pixels per inch
    EXPECT_EQ(draws[0].font.face, "ＭＳゴシック");
    EXPECT_EQ(draws[0].align, TA_CENTER | TA_TOP);
    EXPECT_EQ(draws[0].color, RGB(1, 2, 3));
    EXPECT_EQ(draws[0].bkMode, TRANSPARENT);
}

TEST_F(DrawingTest, JapaneseFacesMapToTheIpaGothicFaces) {
    EXPECT_EQ(platform::ui::MapFontFace("MS UI Gothic"), "IPAPGothic");
    EXPECT_EQ(platform::ui::MapFontFace("ＭＳ ゴシック"), "IPAGothic");
    EXPECT_EQ(platform::ui::MapFontFace("ＭＳゴシック"), "IPAGothic");
    EXPECT_EQ(platform::ui::MapFontFace("ＭＳ Ｐゴシック"), "IPAPGothic");
    EXPECT_EQ(platform::ui::MapFontFace("MS Shell Dlg"), "IPAPGothic");
}

TEST_F(DrawingTest, ButtonImagesOfEveryStateExistAndDiffer) {
    const UINT ids[] = {IDB_STOP_IDLE, IDB_EXIT, IDB_OPEN, IDB_OPEN_ACTIVE, IDB_OPEN_GREY, IDB_LIVE, IDB_LIVE_ACTIVE,
                        IDB_LIVE_GREY, IDB_PLAY_PAUSE, IDB_PLAY_GREY_LIVE, IDB_PLAY, IDB_PLAY_GREY, IDB_STOP};
    auto centre = [](CBitmap& b) {
        CDC dc;
        dc.CreateCompatibleDC(nullptr);
        dc.SelectObject(&b);
        return dc.GetPixel(4, 4);  // the panel colour
    };
    for (UINT id : ids) {
        CBitmap b;
        ASSERT_TRUE(b.LoadBitmap(id)) << id;
        EXPECT_EQ(b.GetBitmapDimension().cx, 44) << id;
        EXPECT_EQ(b.GetBitmapDimension().cy, 30) << id;
        EXPECT_EQ(b.ResourceId(), id);
    }
    CBitmap live, liveOn, liveGrey, stopIdle, stopRun;
    live.LoadBitmap(IDB_LIVE);
    liveOn.LoadBitmap(IDB_LIVE_ACTIVE);
    liveGrey.LoadBitmap(IDB_LIVE_GREY);
    stopIdle.LoadBitmap(IDB_STOP_IDLE);
    stopRun.LoadBitmap(IDB_STOP);
    // Running, available and unavailable look different at a glance: their panels differ.
    EXPECT_NE(centre(live), centre(liveOn));
    EXPECT_NE(centre(live), centre(liveGrey));
    EXPECT_NE(centre(liveOn), centre(liveGrey));
    EXPECT_NE(centre(stopIdle), centre(stopRun));
    CBitmap help;
    ASSERT_TRUE(help.LoadBitmap(IDB_HELP));
    CBitmap unknown;
    EXPECT_FALSE(unknown.LoadBitmap(4711));
    EXPECT_TRUE(unknown.IsNull());
}

TEST_F(DrawingTest, IconHasBothSizesAndTransparentCorners) {
    HICON icon = LoadIconResource(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon, LoadIconResource(IDR_MAINFRAME));
    ASSERT_TRUE(icon->big && icon->small);
    EXPECT_EQ(icon->big->Width(), 32);
    EXPECT_EQ(icon->small->Width(), 16);
    MemoryCanvas c(40, 40);
    c.dc.FillSolidRect(0, 0, 40, 40, RGB(1, 1, 1));
    c.dc.DrawIcon(4, 4, icon);
    EXPECT_EQ(c.dc.GetPixel(4, 4), RGB(1, 1, 1));     // corner stays as it was
    EXPECT_NE(c.dc.GetPixel(20, 20), RGB(1, 1, 1));   // the disc is drawn
    EXPECT_EQ(LoadIconResource(4711), nullptr);
}

}  // namespace
