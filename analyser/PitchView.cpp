// The pitch view: 25 semitone rows of 10 pixels over a small keyboard, 10 seconds across the
// plot, the track in green and a navy volume bar per point.
#include <cmath>
#include <cstdio>

#include "analyser/FFTScreen.h"
#include "analyser/ImageDC.h"
#include "analyser/LabelText.h"

namespace {

constexpr int kPlotW = CFFTScreen::kWidth - 32;  // 420 pixels: 10 seconds
constexpr int kKeyboardW = 32;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kDarkGrey = RGB(64, 64, 64);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// Semitones of the lowest row above C2 for each key range (C2, G2, C3, G3, C4).
constexpr int kBaseNote[8] = {0, 7, 12, 19, 24, 0, 0, 0};
// Rows (from the top) of the white keys, for key ranges starting on C and on G.
constexpr int kWhiteRowsC[15] = {0, 1, 3, 5, 7, 8, 10, 12, 13, 15, 17, 19, 20, 22, 24};
constexpr int kWhiteRowsG[15] = {0, 2, 3, 5, 7, 8, 10, 12, 14, 15, 17, 19, 20, 22, 24};

// x of vertical grid line i (1..9), one per second.
int SecondLineX(int i) {
    const float step = static_cast<float>(kPlotW) * 0.1f;
    return static_cast<int>(static_cast<float>(i) * step + 0.5f) + kKeyboardW;
}

void Line(CDC& dc, int x0, int y0, int x1, int y1) {
    dc.MoveTo(x0, y0);
    dc.LineTo(x1, y1);
}

}  // namespace

void CFFTScreen::InitPitchAnalyzer(int keyRange) {
    EnsureImage();
    ImageDC dc(*this, true);
    DrawPitchBackground(&dc, keyRange, 0.0f);
}

void CFFTScreen::DrawPitchBackground(CDC* pDC, int flags, float startTime) {
    CDC& dc = *pDC;
    const int range = flags & 7;
    m_nBaseNote = kBaseNote[range];
    const bool gBased = (flags & 1) != 0;

    dc.FillSolidRect(CRect(0, 0, kWidth, kHeight), kBlack);
    dc.FillSolidRect(CRect(0, kPlotH, kWidth, kHeight), GetSysColor(COLOR_BTNFACE));
    CPen grey(PS_SOLID, 1, kGrey);
    CPen* oldPen = dc.SelectObject(&grey);
    const CLabelText labels(dc, 8);

    // White-key rows.
    for (int row : gBased ? kWhiteRowsG : kWhiteRowsC) dc.FillSolidRect(CRect(0, row * 10, kWidth, row * 10 + 10), kDarkGrey);
    // Semitone lines and second lines.
    for (int y = 10; y < kPlotH; y += 10) Line(dc, kKeyboardW, y, kPlotW + kKeyboardW, y);
    for (int i = 1; i <= 9; ++i) Line(dc, SecondLineX(i), 0, SecondLineX(i), kPlotH);

    // Keyboard: 15 white keys of 240/14 pixels below a half key, black keys on their edges.
    dc.FillSolidRect(CRect(0, 0, kKeyboardW, kPlotH), kWhite);
    const int r = kPlotH / 25;
    const int span = kPlotH - r;
    for (int j = 0; j <= 15; ++j) {
        const int y = (j * span) / 14 + r;
        Line(dc, 0, y, kKeyboardW, y);
    }
    for (int k = 0; k <= 14; ++k) {
        const int c = ((k - 1) * span) / 14 + r;
        const int fromBottom = (14 - k) % 7;
        if (fromBottom == 2 || fromBottom == (gBased ? 5 : 6)) continue;
        dc.FillSolidRect(CRect(0, c - kPlotH / 30 + 3, 20, c + kPlotH / 30 - 2), kBlack);
    }

    // The page's first and last second.
    const int t0 = (static_cast<int>(static_cast<double>(startTime) + 0.05) / 10) * 10;
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%02d", (t0 + 10) / 60, (t0 + 10) % 60);
    dc.TextOut(436, 252, text);
    std::snprintf(text, sizeof text, "%2d:%02d", t0 / 60, t0 % 60);
    dc.TextOut(40, 252, text);

    dc.SelectObject(oldPen);
    Invalidate(TRUE);
}

BOOL CFFTScreen::DrawPitchTrack(int count, const float* pitch, const float* time, float base, int flags,
                                const float* level) {
    EnsureImage();
    ImageDC dc(*this, true);
    CPen green(PS_SOLID, 1, RGB(0, 255, 0));
    CPen navy(PS_SOLID, 1, RGB(0, 0, 128));
    CPen grey(PS_SOLID, 1, kGrey);
    CPen* oldPen = dc.SelectObject(&grey);
    const float firstTime = time != nullptr ? time[0] : 0.0f;

    BOOL redrawn = FALSE;
    const bool paging = (flags & 8) == 0;
    if (!paging) {
        DrawPitchBackground(&dc, flags, firstTime);
        m_nLastX = 0;
        m_nLastY = -1;
        redrawn = TRUE;
    } else if (count > 0 && firstTime < m_fLastTime) {
        // A new run: its first page.
        m_nLastX = 0;
        m_nLastY = -1;
        DrawPitchBackground(&dc, flags, firstTime);
        m_nPageStart[0] = 0;
        m_nPageCount = 1;
        m_nPageStart[1] = 0;
        redrawn = TRUE;
    }
    if (count > 0) m_fLastTime = firstTime;

    for (int k = 0; k < count; ++k) {
        // One plot width is 10 seconds.
        const float tx = time[k] * static_cast<float>(kPlotW) * 0.1f;
        const int x = (tx >= 0.0f && tx < 2.0e9f) ? static_cast<int>(tx) % kPlotW : 0;
        // 10 pixels per semitone; the lowest row's centre (C2 above the base) at y 245.
        const float d = pitch[k] - base;
        int y = -1;
        if (d > 0.0f) {
            const float fy = static_cast<float>(kPlotH) - (d - 11.5f) * static_cast<float>(kPlotH) * 0.04f + 0.5f;
            y = fy <= 0.0f ? 0 : fy >= static_cast<float>(kPlotH) ? kPlotH : static_cast<int>(fy);
        }

        if (paging) {
            if (x < m_nLastX) {
                // The track wrapped: a new page.
                DrawPitchBackground(&dc, flags, time[k]);
                m_nLastX = 0;
                redrawn = TRUE;
                // The table has room for 999 pages; later points stay on the last one.
                if (m_nPageCount < kMaxPages - 1) {
                    ++m_nPageCount;
                    m_nPageStart[m_nPageCount] = m_nPageStart[m_nPageCount - 1];
                }
            }
            if (m_nPageCount >= 0 && m_nPageCount < kMaxPages) ++m_nPageStart[m_nPageCount];
        }

        if (level != nullptr) {
            // 0 dB at y 125, 3 pixels per dB; a level that is no number gets no bar.
            const float fv = static_cast<float>(kPlotH / 2) - static_cast<float>((kPlotH / 2) / 40) * level[k];
            if (std::isfinite(fv) && fv > -1.0f && fv < static_cast<float>(kPlotH)) {
                const int yv = static_cast<int>(fv);
                if (yv >= 0 && yv < kPlotH) {
                    const int bx = x + 33;
                    dc.SelectObject(&navy);
                    Line(dc, bx, yv, bx, kPlotH);
                    dc.SelectObject(&grey);
                    for (int gy = 10; gy < kPlotH; gy += 10) {
                        if (gy >= yv) dc.SetPixel(bx, gy, kGrey);
                    }
                    for (int i = 1; i <= 9; ++i) {
                        if (bx == SecondLineX(i)) Line(dc, bx, 0, bx, kPlotH);
                    }
                }
            }
        }

        if (m_nLastY >= 0 && y >= 0 && m_nLastX <= x && x - m_nLastX < 8) {
            dc.SelectObject(&green);
            Line(dc, m_nLastX + kKeyboardW, m_nLastY, x + kKeyboardW, y);
        }
        m_nLastX = x;
        m_nLastY = y;
    }
    dc.SelectObject(oldPen);
    return redrawn;
}
