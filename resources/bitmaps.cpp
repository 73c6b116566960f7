// Button images and the program icon, drawn in code: a symbol over a label in a small pixel
// font, on a panel whose colour tells the state at a glance (dark: available, coloured: running,
// pale grey: unavailable).
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "platform/ui/restypes.h"
#include "resources/resource_ids.h"

namespace resources {
namespace {

using platform::ui::Surface;

constexpr int kButtonW = 44;
constexpr int kButtonH = 30;
constexpr int kHelpSize = 18;
// Icon pixels of this colour are transparent.
constexpr COLORREF kTransparent = RGB(255, 0, 255);

enum class Look { Normal, Active, Grey };

struct Palette {
    COLORREF panel;
    COLORREF edge;
    COLORREF label;
};

Palette PaletteFor(Look look, COLORREF activeColour) {
    switch (look) {
    case Look::Active: return {activeColour, RGB(255, 255, 255), RGB(255, 255, 255)};
    case Look::Grey: return {RGB(214, 214, 214), RGB(176, 176, 176), RGB(150, 150, 150)};
    case Look::Normal:
    default: return {RGB(44, 52, 68), RGB(96, 108, 132), RGB(255, 255, 255)};
    }
}

// --- A 5 × 7 pixel font for the labels ---------------------------------------------------------

const char* const* Glyph(char c) {
    static const char* const A[] = {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"};
    static const char* const E[] = {"#####", "#....", "#....", "####.", "#....", "#....", "#####"};
    static const char* const I[] = {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"};
    static const char* const L[] = {"#....", "#....", "#....", "#....", "#....", "#....", "#####"};
    static const char* const N[] = {"#...#", "##..#", "#.#.#", "#.#.#", "#..##", "#...#", "#...#"};
    static const char* const O[] = {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."};
    static const char* const P[] = {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."};
    static const char* const S[] = {".####", "#....", "#....", ".###.", "....#", "....#", "####."};
    static const char* const T[] = {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."};
    static const char* const U[] = {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."};
    static const char* const V[] = {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."};
    static const char* const X[] = {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"};
    static const char* const Y[] = {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."};
    switch (c) {
    case 'A': return A;
    case 'E': return E;
    case 'I': return I;
    case 'L': return L;
    case 'N': return N;
    case 'O': return O;
    case 'P': return P;
    case 'S': return S;
    case 'T': return T;
    case 'U': return U;
    case 'V': return V;
    case 'X': return X;
    case 'Y': return Y;
    default: return nullptr;
    }
}

void DrawLabel(Surface& s, const std::string& text, int centreX, int top, COLORREF colour) {
    const int width = static_cast<int>(text.size()) * 6 - 1;
    int x = centreX - width / 2;
    for (char c : text) {
        if (const char* const* g = Glyph(c)) {
            for (int row = 0; row < 7; ++row) {
                for (int col = 0; col < 5; ++col) {
                    if (g[row][col] == '#') s.SetPixel(x + col, top + row, colour);
                }
            }
        }
        x += 6;
    }
}

// --- Shapes ------------------------------------------------------------------------------------

void FillRect(Surface& s, int l, int t, int r, int b, COLORREF c) { s.Fill(RECT{l, t, r, b}, c); }

void FillRoundPanel(Surface& s, COLORREF panel, COLORREF edge) {
    const int w = s.Width();
    const int h = s.Height();
    FillRect(s, 0, 0, w, h, edge);
    FillRect(s, 1, 1, w - 1, h - 1, panel);
    // Rounded corners: the corner pixels take the neighbouring edge colour.
    for (int i = 0; i < 2; ++i) {
        s.SetPixel(i, 0, edge);
        s.SetPixel(0, i, edge);
        s.SetPixel(w - 1 - i, 0, edge);
        s.SetPixel(w - 1, i, edge);
        s.SetPixel(i, h - 1, edge);
        s.SetPixel(0, h - 1 - i, edge);
        s.SetPixel(w - 1 - i, h - 1, edge);
        s.SetPixel(w - 1, h - 1 - i, edge);
    }
}

void FillCircle(Surface& s, double cx, double cy, double r, COLORREF c) {
    for (int y = static_cast<int>(cy - r - 1); y <= static_cast<int>(cy + r + 1); ++y) {
        for (int x = static_cast<int>(cx - r - 1); x <= static_cast<int>(cx + r + 1); ++x) {
            const double dx = x + 0.5 - cx;
            const double dy = y + 0.5 - cy;
            if (dx * dx + dy * dy <= r * r) s.SetPixel(x, y, c);
        }
    }
}

void RingCircle(Surface& s, double cx, double cy, double r, double thickness, COLORREF c) {
    for (int y = static_cast<int>(cy - r - 1); y <= static_cast<int>(cy + r + 1); ++y) {
        for (int x = static_cast<int>(cx - r - 1); x <= static_cast<int>(cx + r + 1); ++x) {
            const double dx = x + 0.5 - cx;
            const double dy = y + 0.5 - cy;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d <= r && d >= r - thickness) s.SetPixel(x, y, c);
        }
    }
}

// Triangle pointing right with its left edge at x0, from y0 to y1.
void FillPlayTriangle(Surface& s, int x0, int y0, int y1, COLORREF c) {
    const int h = y1 - y0;
    for (int y = y0; y <= y1; ++y) {
        const int d = std::abs(2 * (y - y0) - h);  // 0 at the middle row
        const int len = (h - d) * 5 / 6 + 1;
        FillRect(s, x0, y, x0 + len, y + 1, c);
    }
}

// --- Symbols (drawn in the upper 20 rows of a 44 × 30 image) ------------------------------------

void DrawMic(Surface& s, COLORREF c) {
    const int cx = kButtonW / 2;
    FillRect(s, cx - 3, 3, cx + 3, 13, c);
    FillCircle(s, cx, 4.5, 3.0, c);
    FillCircle(s, cx, 11.5, 3.0, c);
    // The holder: a U around the capsule, then the stand and the base.
    FillRect(s, cx - 6, 9, cx - 5, 14, c);
    FillRect(s, cx + 5, 9, cx + 6, 14, c);
    FillRect(s, cx - 5, 14, cx + 5, 16, c);
    FillRect(s, cx - 1, 16, cx + 1, 19, c);
    FillRect(s, cx - 4, 19, cx + 4, 20, c);
}

void DrawFolder(Surface& s, COLORREF body, COLORREF line) {
    const int l = 11;
    const int r = kButtonW - 11;
    FillRect(s, l, 5, l + 9, 8, body);
    FillRect(s, l, 7, r, 19, body);
    FillRect(s, l, 10, r, 11, line);
}

void DrawPause(Surface& s, COLORREF c) {
    const int cx = kButtonW / 2;
    FillRect(s, cx - 7, 4, cx - 2, 19, c);
    FillRect(s, cx + 2, 4, cx + 7, 19, c);
}

void DrawStopSquare(Surface& s, COLORREF c) {
    const int cx = kButtonW / 2;
    FillRect(s, cx - 7, 4, cx + 7, 18, c);
}

void DrawExit(Surface& s, COLORREF door, COLORREF arrow) {
    // A door frame and an arrow leaving it to the right.
    FillRect(s, 9, 3, 21, 4, door);
    FillRect(s, 9, 3, 10, 20, door);
    FillRect(s, 20, 3, 21, 8, door);
    FillRect(s, 20, 15, 21, 20, door);
    FillRect(s, 9, 19, 21, 20, door);
    FillRect(s, 15, 10, 29, 13, arrow);
    for (int i = 0; i < 6; ++i) FillRect(s, 29 + i, 6 + i, 30 + i, 17 - i, arrow);
}

std::shared_ptr<Surface> MakeButton(Look look, COLORREF activeColour, const std::string& label) {
    auto s = std::make_shared<Surface>(kButtonW, kButtonH, RGB(0, 0, 0));
    const Palette p = PaletteFor(look, activeColour);
    FillRoundPanel(*s, p.panel, p.edge);
    DrawLabel(*s, label, kButtonW / 2, 21, p.label);
    return s;
}

COLORREF SymbolColour(Look look, COLORREF normal) {
    switch (look) {
    case Look::Active: return RGB(255, 255, 255);
    case Look::Grey: return RGB(160, 160, 160);
    case Look::Normal:
    default: return normal;
    }
}

constexpr COLORREF kRed = RGB(206, 32, 32);
constexpr COLORREF kGreen = RGB(24, 150, 72);

std::shared_ptr<Surface> LiveImage(Look look) {
    auto s = MakeButton(look, kRed, "LIVE");
    DrawMic(*s, SymbolColour(look, RGB(120, 200, 255)));
    return s;
}

std::shared_ptr<Surface> OpenImage(Look look) {
    auto s = MakeButton(look, kGreen, "OPEN");
    const COLORREF body = SymbolColour(look, RGB(250, 200, 60));
    const COLORREF line = look == Look::Normal ? RGB(200, 150, 30) : look == Look::Active ? kGreen : RGB(214, 214, 214);
    DrawFolder(*s, body, line);
    return s;
}

std::shared_ptr<Surface> PlayImage(Look look) {
    auto s = MakeButton(look, kGreen, "PLAY");
    FillPlayTriangle(*s, 16, 3, 19, SymbolColour(look, RGB(90, 230, 110)));
    return s;
}

std::shared_ptr<Surface> PauseImage() {
    auto s = MakeButton(Look::Normal, kGreen, "PAUSE");
    DrawPause(*s, RGB(255, 190, 40));
    return s;
}

std::shared_ptr<Surface> StopImage(Look look) {
    auto s = MakeButton(look, kRed, "STOP");
    DrawStopSquare(*s, SymbolColour(look, RGB(240, 70, 70)));
    return s;
}

std::shared_ptr<Surface> ExitImage() {
    auto s = MakeButton(Look::Normal, kRed, "EXIT");
    DrawExit(*s, RGB(200, 200, 210), RGB(255, 150, 60));
    return s;
}

std::shared_ptr<Surface> HelpImage() {
    auto s = std::make_shared<Surface>(kHelpSize, kHelpSize, GetSysColor(COLOR_BTNFACE));
    FillCircle(*s, 9, 9, 8.6, RGB(40, 110, 200));
    // A question mark, 2 pixels thick.
    const COLORREF w = RGB(255, 255, 255);
    RingCircle(*s, 9, 7, 4.2, 2.0, w);
    FillRect(*s, 4, 6, 7, 9, RGB(40, 110, 200));       // open the ring's lower left
    FillRect(*s, 4, 9, 9, 12, RGB(40, 110, 200));
    FillRect(*s, 8, 9, 10, 12, w);                      // the stem
    FillRect(*s, 8, 13, 10, 15, w);                     // the dot
    return s;
}

}  // namespace

std::shared_ptr<Surface> MakeBitmap(UINT id) {
    switch (id) {
    case IDB_STOP_IDLE: return StopImage(Look::Grey);
    case IDB_STOP: return StopImage(Look::Normal);
    case IDB_EXIT: return ExitImage();
    case IDB_OPEN: return OpenImage(Look::Normal);
    case IDB_OPEN_ACTIVE: return OpenImage(Look::Active);
    case IDB_OPEN_GREY: return OpenImage(Look::Grey);
    case IDB_LIVE: return LiveImage(Look::Normal);
    case IDB_LIVE_ACTIVE: return LiveImage(Look::Active);
    case IDB_LIVE_GREY: return LiveImage(Look::Grey);
    case IDB_PLAY: return PlayImage(Look::Normal);
    case IDB_PLAY_PAUSE: return PauseImage();
    case IDB_PLAY_GREY:
    case IDB_PLAY_GREY_LIVE: return PlayImage(Look::Grey);
    case IDB_HELP: return HelpImage();
    default: return nullptr;
    }
}

std::shared_ptr<Surface> MakeIcon(UINT id, int size) {
    if (id != IDR_MAINFRAME || size < 8) return nullptr;
    auto s = std::make_shared<Surface>(size, size, kTransparent);
    const double k = size / 32.0;
    // A violet disc with a white sound wave across it.
    FillCircle(*s, 16 * k, 16 * k, 15.5 * k, RGB(110, 60, 170));
    FillCircle(*s, 16 * k, 16 * k, 13.5 * k, RGB(140, 80, 210));
    const COLORREF wave = RGB(255, 255, 255);
    const int thick = std::max(1, static_cast<int>(std::lround(2 * k)));
    for (int x = static_cast<int>(5 * k); x < static_cast<int>(27 * k); ++x) {
        const double t = (x / k - 5.0) / 22.0;
        const double env = std::sin(t * 3.14159265);
        const int y = static_cast<int>(std::lround(16 * k + std::sin(t * 3.14159265 * 4.0) * 8.0 * k * env));
        s->Fill(RECT{x, y - thick / 2, x + 1, y - thick / 2 + thick}, wave);
    }
    return s;
}

}  // namespace resources
