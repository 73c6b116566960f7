#include "effects/EffectGraphs.h"

#include <algorithm>

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kFilterGrid = RGB(0, 128, 0);
constexpr COLORREF kImpulseGrid = RGB(0, 64, 0);
constexpr COLORREF kBar = RGB(255, 255, 0);
constexpr COLORREF kTotal = RGB(255, 255, 255);
// Band k's curve colour: six colours, then again from the first.
constexpr COLORREF kBandColours[6] = {RGB(255, 0, 0),   RGB(255, 255, 0), RGB(0, 255, 0),
                                      RGB(0, 255, 255), RGB(16, 16, 255), RGB(255, 0, 255)};

// Float limited to lo..hi before it becomes an integer; a value that is not a number gives lo.
int LimitedInt(float v, float lo, float hi) {
    if (!(v > lo)) return static_cast<int>(lo);
    if (v > hi) return static_cast<int>(hi);
    return static_cast<int>(v);
}

void DrawCurve(CDC& dc, const float* resp, int width, COLORREF colour) {
    CPen pen(PS_SOLID, width, colour);
    CPen* old = dc.SelectObject(&pen);
    dc.MoveTo(0, FilterGraphRow(resp[0]));
    for (int j = 1; j < kEqResponsePoints; ++j) dc.LineTo(j, FilterGraphRow(resp[j]));
    dc.SelectObject(old);
}

void DrawBar(CDC& dc, int x, float gain) {
    dc.MoveTo(x, kImpulseGraphHeight);
    dc.LineTo(x, ImpulseGraphRow(gain));
}

}  // namespace

int FilterGraphRow(float db) {
    return LimitedInt(50.0f - db * 100.0f * (1.0f / 24.0f), 0.0f, static_cast<float>(kFilterGraphHeight));
}

int ImpulseGraphColumn(int k, float delay) { return static_cast<int>(static_cast<float>(250 * k) * delay); }

int ImpulseGraphRow(float gain) { return LimitedInt((1.0f - gain) * 100.0f, 0.0f, 100.0f); }

void DrawFilterGraph(CDC& dc, const float bandResp[kEqBands][kEqResponsePoints], const float totalResp[kEqResponsePoints]) {
    dc.FillSolidRect(0, 0, kFilterGraphWidth, kFilterGraphHeight, kBlack);
    CPen grid(PS_SOLID, 1, kFilterGrid);
    CPen* old = dc.SelectObject(&grid);
    for (int y = 0; y <= kFilterGraphHeight; y += 25) {
        dc.MoveTo(0, y);
        dc.LineTo(kFilterGraphWidth, y);
    }
    for (int x = 0; x <= kFilterGraphWidth; x += 40) {
        dc.MoveTo(x, 0);
        dc.LineTo(x, kFilterGraphHeight);
    }
    dc.SelectObject(old);
    for (int k = 0; k < kEqBands; ++k) DrawCurve(dc, bandResp[k], 1, kBandColours[k % 6]);
    DrawCurve(dc, totalResp, 2, kTotal);
}

void DrawImpulseGraph(CDC& dc, const float gains[kEchoGainSlots], int repeat, float delay) {
    dc.FillSolidRect(0, 0, kImpulseGraphWidth, kImpulseGraphHeight, kBlack);
    CPen grid(PS_SOLID, 1, kImpulseGrid);
    CPen* old = dc.SelectObject(&grid);
    dc.MoveTo(0, 50);
    dc.LineTo(kImpulseGraphWidth, 50);
    for (int x : {125, 250}) {
        dc.MoveTo(x, 0);
        dc.LineTo(x, kImpulseGraphHeight);
    }
    CPen bar(PS_SOLID, 2, kBar);
    dc.SelectObject(&bar);
    DrawBar(dc, 2, gains[0]);
    for (int k = 1; k <= std::clamp(repeat, 0, kMaxEchoes); ++k) DrawBar(dc, ImpulseGraphColumn(k, delay), gains[k]);
    dc.SelectObject(old);
}
