// The spectrum view: magnitudes of the phase vocoder's last frame of both channels (left cyan,
// right magenta), 1024 bins of 44100/2048 Hz, on a Log, Linear1 (0..22050 Hz), Linear2
// (0..8820 Hz) or Keyboard (C2..C6, 49 semitones) axis. On the Keyboard axis with vocal cut off
// the low bins are marks at their true frequencies, so that the notes line up with the keys.
#include <algorithm>
#include <cmath>

#include "analyser/FFTScreen.h"
#include "analyser/ImageDC.h"
#include "analyser/LabelText.h"

namespace {

constexpr int W = CFFTScreen::kWidth;
constexpr int kPlotH = CFFTScreen::kPlotH;
constexpr float kBinHz = 21.533203f;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kLightGrey = RGB(200, 200, 200);
constexpr COLORREF kDarkGrey = RGB(64, 64, 64);
constexpr COLORREF kLeftColor = RGB(0, 255, 255);
constexpr COLORREF kRightColor = RGB(255, 0, 255);
// Bins of the marks form: 43 to 1098 Hz, the notes of the Keyboard axis.
constexpr int kMarkFirstBin = 2;
constexpr int kMarkLastBin = 51;

void Line(CDC& dc, int x0, int y0, int x1, int y1) {
    dc.MoveTo(x0, y0);
    dc.LineTo(x1, y1);
}

// A float turned into an int of the drawing range (NaN gives lo).
int ToPixel(float v, float lo, float hi) {
    if (!(v >= lo)) return static_cast<int>(lo);
    if (v > hi) return static_cast<int>(hi);
    return static_cast<int>(v);
}

}  // namespace

void CFFTScreen::BuildSpectrumTables(int a4) {
    m_nBins = kBins;
    for (auto& table : m_pnBinX) table.assign(kBins, 0);
    m_pnLogGridX.assign(40, 0);

    const float s = static_cast<float>(W) / (std::log10(22050.0f) - std::log10(kBinHz));
    // The lower edge of key C2 plus half a hertz.
    m_fKeyboardF0 = static_cast<float>(a4) * std::pow(2.0f, -2.7916667f) + 0.5f;
    for (int k = 0; k < kBins; ++k) {
        const float fk = static_cast<float>(k);
        m_pnBinX[0][k] = static_cast<int>((fk / 1024.0f) * static_cast<float>(W));
        m_pnBinX[1][k] = ToPixel(std::log(fk * kBinHz / m_fKeyboardF0 + 1e-11f) * 1.442695f * 12.0f * static_cast<float>(W) *
                                     0.020408163f,
                                 -1.0e6f, 1.0e6f);
        m_pnBinX[2][k] = static_cast<int>((fk * 2.5f / 1024.0f) * static_cast<float>(W));
        m_pnBinX[3][k] = ToPixel(std::log10(fk + 1e-11f) * s, -1.0e6f, 1.0e6f);
    }
    const float lowest = std::log10(kBinHz);
    const float labels[3] = {100.0f, 1000.0f, 10000.0f};
    for (int i = 0; i < 3; ++i) m_nLogLabelX[i] = static_cast<int>((std::log10(labels[i]) - lowest) * s);
    int n = 0;
    float decade = 10.0f;
    for (int d = 1; d <= 4; ++d, decade *= 10.0f) {
        for (int m = 2; m <= 8; ++m) {
            m_pnLogGridX[n++] = static_cast<int>((std::log10(static_cast<float>(m) * decade) - lowest) * s);
        }
    }
    m_nLogGridCount = n;
    const float majors[4] = {5000.0f, 10000.0f, 15000.0f, 20000.0f};
    for (int i = 0; i < 4; ++i) m_nLinMajorX[i] = static_cast<int>(majors[i] / (1024.0f * kBinHz) * static_cast<float>(W));
    const int x5 = m_nLinMajorX[0];
    for (int j = 1; j <= 4; ++j) {
        const int step = x5 * j / 5;
        m_nLinMinorX[j - 1] = step;
        m_nLinMinorX[4 + j - 1] = step + x5;
        m_nLinMinorX[8 + j - 1] = step + m_nLinMajorX[1];
        m_nLinMinorX[12 + j - 1] = step + m_nLinMajorX[2];
        m_nLinMinorX[16 + j - 1] = step + m_nLinMajorX[3];
    }
}

void CFFTScreen::InitSpectrumAnalyzer(int a4) {
    BuildSpectrumTables(a4);
    EnsureImage();
    ImageDC dc(*this, false);
    DrawSpectrumBackground(&dc);
}

void CFFTScreen::SetAxisMode(int mode) {
    m_nAxisMode = mode;
    const int table = mode == 0 ? 3 : mode == 1 ? 0 : mode == 2 ? 1 : 2;
    m_pnCurBinX = m_pnBinX[table].data();
    EnsureImage();
    ImageDC dc(*this, true);
    DrawSpectrumBackground(&dc);
}

void CFFTScreen::DrawSpectrumBackground(CDC* pDC) {
    CDC& dc = *pDC;
    dc.FillSolidRect(CRect(0, 0, W, kHeight), kBlack);
    dc.FillSolidRect(CRect(0, kPlotH, W, kHeight), GetSysColor(COLOR_BTNFACE));
    CPen grey(PS_SOLID, 1, kGrey);
    CPen lightGrey(PS_SOLID, 1, kLightGrey);
    CPen darkGrey(PS_SOLID, 1, kDarkGrey);
    CPen* oldPen = dc.SelectObject(&grey);
    const CLabelText labels(dc, 9);

    if (m_nAxisMode == 2) {
        // One column per semitone, the white keys' columns dark grey, a light line at each C.
        for (int k = 0; k <= 48; ++k) {
            const int n = k % 12;
            const bool white = n == 0 || n == 2 || n == 4 || n == 5 || n == 7 || n == 9 || n == 11;
            if (white) dc.FillSolidRect(CRect(k * W / 49, 0, (k * W + W) / 49, kPlotH), kDarkGrey);
            dc.SelectObject(n == 0 ? &lightGrey : &grey);
            Line(dc, k * W / 49, 0, k * W / 49, kPlotH);
        }
        // The piano strip along the top: 28 white keys over W - W/49 pixels and the last C.
        dc.SelectObject(&grey);
        dc.FillSolidRect(CRect(0, 0, W, 32), kWhite);
        const int keysW = W - W / 49;
        for (int j = 0; j <= 28; ++j) Line(dc, j * keysW / 28, 0, j * keysW / 28, 32);
        for (int j = 0; j <= 27; ++j) {
            if (j % 7 == 2 || j % 7 == 6) continue;
            dc.FillSolidRect(CRect(keysW * j / 28 + W / 49 + 2, 0, (j + 1) * keysW / 28 + W / 49 - 3, 20), kBlack);
        }
        dc.TextOut(7, kPlotH, "C2");
        dc.TextOut(W * 12 / 49 + 7, kPlotH, "C3");
        dc.TextOut(W * 24 / 49 + 7, kPlotH, "C4");
        dc.TextOut(W * 36 / 49 + 7, kPlotH, "C5");
        dc.TextOut(W * 48 / 49 + 4, kPlotH, "C6");
    } else if (m_nAxisMode == 0) {
        const char* labels[3] = {"100", "1k", "10k"};
        for (int i = 0; i < 3; ++i) {
            dc.TextOut(m_nLogLabelX[i] + 2, kPlotH, labels[i]);
            Line(dc, m_nLogLabelX[i], 0, m_nLogLabelX[i], kPlotH);
        }
        dc.SelectObject(&darkGrey);
        for (int i = 0; i < m_nLogGridCount; ++i) Line(dc, m_pnLogGridX[i], 0, m_pnLogGridX[i], kPlotH);
    } else {
        // Linear2 has 2.5 times the scale of Linear1: its lines fall on 2, 4, 6 and 8 kHz.
        const char* linear1[4] = {"5k", "10k", "15k", "20k"};
        const char* linear2[4] = {"2k", "4k", "6k", "8k"};
        for (int i = 0; i < 4; ++i) {
            dc.TextOut(m_nLinMajorX[i] + 2, kPlotH, m_nAxisMode == 1 ? linear1[i] : linear2[i]);
            Line(dc, m_nLinMajorX[i], 0, m_nLinMajorX[i], kPlotH);
        }
        dc.SelectObject(&darkGrey);
        for (int i = 0; i < 18; ++i) Line(dc, m_nLinMinorX[i], 0, m_nLinMinorX[i], kPlotH);
    }

    // Level lines every 40 pixels: 20 dB apart, or 10 dB on the Keyboard axis.
    for (int i = 0; 40 * i < kPlotH; ++i) {
        dc.SelectObject(i % 2 == 0 ? &grey : &darkGrey);
        Line(dc, 0, 40 * i, W, 40 * i);
    }
    dc.SelectObject(oldPen);
}

void CFFTScreen::DrawSpectrum(const float* magL, const float* magR, const float*, int mode, const float* freqL,
                              const float* freqR) {
    if (magL == nullptr || magR == nullptr || m_pnCurBinX == nullptr) return;
    const bool marks = mode == -1;
    if (marks && (freqL == nullptr || freqR == nullptr)) return;
    EnsureImage();
    ImageDC dc(*this, true);
    DrawSpectrumBackground(&dc);

    const float keyScale = static_cast<float>(W) * 17.31234f * 0.020408163f;
    const float norm = static_cast<float>(m_nBins) * 32768.0f * 1.4142135f * 0.5f;
    const float floor = -static_cast<float>(kPlotH);
    const bool keyboard = m_nAxisMode == 2;
    const int first = marks ? kMarkFirstBin : 0;
    const int last = marks ? kMarkLastBin : kBins - 1;

    CPen leftPen(PS_SOLID, 1, kLeftColor);
    CPen rightPen(PS_SOLID, 1, kRightColor);
    CPen* oldPen = dc.SelectObject(&leftPen);
    for (int ch = 0; ch < 2; ++ch) {
        const float* mag = ch == 0 ? magL : magR;
        const float* freq = ch == 0 ? freqL : freqR;
        const COLORREF color = ch == 0 ? kLeftColor : kRightColor;
        dc.SelectObject(ch == 0 ? &leftPen : &rightPen);
        int prev = 0;
        for (int k = first; k <= last; ++k) {
            const float v = std::fabs(mag[k]) * (1.0f / norm);
            float y = floor;
            if (v != 0.0f) {
                y = 40.0f * std::log10(v + 1e-12f);
                if (keyboard) y *= 2.0f;
                if (y < floor) y = floor;
            }
            // A magnitude that is no number lies at the floor; above full scale stays at the top.
            const int yi = ToPixel(y, floor, 0.0f);
            if (!marks) {
                if (k > 0) Line(dc, m_pnCurBinX[k - 1], -prev, m_pnCurBinX[k], -yi);
                prev = yi;
            } else {
                const float fx = std::log(std::fabs(freq[k]) / m_fKeyboardF0 + 1e-12f) * keyScale;
                if (!std::isfinite(fx)) continue;
                const int x = ToPixel(fx, -1.0e6f, 1.0e6f);
                if (x - 1 >= 0 && x + 5 < W && -yi - 4 >= 0 && -yi + 4 < kPlotH) {
                    dc.FillSolidRect(CRect(x - 1, -yi - 4, x + 5, -yi + 4), color);
                }
            }
        }
    }
    dc.SelectObject(oldPen);
}
