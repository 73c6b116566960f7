// Reading the analyser's image and window in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyser/FFTScreen.h"
#include "platform/ui/gdi.h"
#include "platform/ui/msgqueue.h"

// A pixel of the analyser's off-screen image.
inline COLORREF ImagePixel(const CFFTScreen& s, int x, int y) { return s.m_bitmap.SurfacePtr()->GetPixel(x, y); }
// A pixel of what the window shows (its client surface after a paint).
inline COLORREF ShownPixel(const CFFTScreen& s, int x, int y) { return s.GetClientSurface()->GetPixel(x, y); }

// An analyser window made as the dialog makes it, without a window system.
inline void MakeWindow(CFFTScreen& s) {
    ASSERT_TRUE(s.Create(AfxRegisterWndClass(0), "FFT Screen", WS_CHILD | WS_VISIBLE,
                         CRect(0, 0, CFFTScreen::kWidth, CFFTScreen::kHeight), nullptr, CFFTScreen::kWindowId));
}

// Paints the window now if a paint is pending; true when it painted.
inline bool PaintNow(CFFTScreen& s) {
    const bool pending = s.IsPaintPending();
    s.PaintIfNeeded();
    return pending;
}

// Texts drawn since the last call (headless: recorded, not rasterised).
inline std::vector<platform::ui::TextJob> TakeTexts() { return platform::ui::TakeHeadlessTextDraws(); }

inline bool DrewText(const std::vector<platform::ui::TextJob>& jobs, const std::string& text, int x, int y) {
    for (const auto& j : jobs) {
        if (j.text == text && j.x == x && j.y == y) return true;
    }
    return false;
}

constexpr COLORREF kBlackPx = RGB(0, 0, 0);
constexpr COLORREF kWhitePx = RGB(255, 255, 255);
constexpr COLORREF kGreyPx = RGB(128, 128, 128);
constexpr COLORREF kDarkGreyPx = RGB(64, 64, 64);
constexpr COLORREF kGreenPx = RGB(0, 255, 0);
constexpr COLORREF kNavyPx = RGB(0, 0, 128);
constexpr COLORREF kRedPx = RGB(255, 0, 0);
