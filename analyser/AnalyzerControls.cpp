// The analyser's controls on the main dialog: the four axis radios of the spectrum view with its
// level labels, the labels the pitch view draws beside itself on the dialog, and the spectrum
// redraw of the display timer. User-interface thread.
#include <algorithm>

#include "analyser/LabelText.h"
#include "app/WaveInOutDlg.h"

namespace {

// Dialog client pixels of the label columns: note names left of the analyser, the volume
// scale right of it.
constexpr int kNoteLabelX = 388;
constexpr int kVolumeLabelX = 861;
const CRect kNoteLabelArea(380, 20, 396, 280);
const CRect kVolumeLabelArea(852, 20, 872, 285);

// White-key index (C2 = 0, D2 = 1, ...) of the lowest label of each key range, and the
// semitones from each white key to the next, from C.
constexpr int kLowestWhite[5] = {0, 4, 7, 11, 14};
constexpr int kWhiteStep[7] = {2, 2, 1, 2, 2, 2, 1};

}  // namespace

void CWaveInOutDlg::SetLevelLabels(int axisMode) {
    // 4 pixels per dB on the Keyboard axis, 2 on the others.
    const bool keyboard = axisMode == 2;
    m_staticDbLabel1.SetWindowText(keyboard ? "-20" : "-40");
    m_staticDbLabel2.SetWindowText(keyboard ? "-40" : "-80");
    m_staticDbLabel3.SetWindowText(keyboard ? "-60" : "-120");
}

void CWaveInOutDlg::ChooseAxis(int mode) {
    m_nAxisMode = mode;
    SetLevelLabels(mode);
    m_fftScreen.SetAxisMode(mode);
}

void CWaveInOutDlg::OnBnClickedAxisLog() { ChooseAxis(0); }
void CWaveInOutDlg::OnBnClickedAxisLinear1() { ChooseAxis(1); }
void CWaveInOutDlg::OnBnClickedAxisKeyboard() { ChooseAxis(2); }
void CWaveInOutDlg::OnBnClickedAxisLinear2() { ChooseAxis(3); }

void CWaveInOutDlg::RedrawSpectrum(const float* magL, const float* magR, const float* freqL, const float* freqR) {
    // The Keyboard axis shows marks at the true frequencies while the vocal cut is off.
    const int vocal = m_nVocalMode.load();
    const int mode = (m_nAxisMode == 2 && vocal == 0) ? -1 : vocal;
    m_fftScreen.DrawSpectrum(magL, magR, freqL, mode, freqL, freqR);
}

void CWaveInOutDlg::DrawAnalyzerLabels(BOOL bErase) {
    CClientDC dc(this);
    // The labels are drawn on their own background every time: smoothed text drawn over its
    // earlier copy darkens its edges, and after some page turns the names smear into blots.
    const bool named = m_nMethod != 1;
    if (bErase || named) {
        dc.FillSolidRect(&kNoteLabelArea, GetSysColor(COLOR_BTNFACE));
        dc.FillSolidRect(&kVolumeLabelArea, GetSysColor(COLOR_BTNFACE));
    }
    if (!named) return;
    const CLabelText labels(dc, 8);

    // The lowest key and every C, from the bottom of the grid up.
    int sel = m_comboKeyRange.GetCurSel();
    if (sel < 0 || sel > 4) sel = std::clamp(m_nKeyRange, 0, 4);
    int w = kLowestWhite[sel];
    int y = 269;
    for (int i = 0; i < 15; ++i, ++w) {
        const char name[3] = {static_cast<char>('A' + (w + 2) % 7), static_cast<char>('2' + w / 7), '\0'};
        if (name[0] == 'C' || i == 0) dc.TextOut(kNoteLabelX, y, name);
        y -= kWhiteStep[w % 7] * 10;
    }
    if (m_bShowVolumeGraph) {
        dc.TextOut(kVolumeLabelX, 139, " dB");
        dc.TextOut(kVolumeLabelX, 150, "  0");
        dc.TextOut(kVolumeLabelX, 212, "-20");
        dc.TextOut(kVolumeLabelX, 275, "-40");
    }
}
