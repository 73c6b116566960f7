// Keeps the main dialog's controls in step with the run state, the conversion method and a
// loaded chorus file: the run buttons' images, the settings that must not change during a run,
// the controls that only one method uses, and the tooltips that follow the mouse.
//
// UpdateControls runs on the user-interface thread, or inside STOP on the worker thread that
// ran it (end of a file, a full mark store); every control keeps its state under its own lock,
// so that is safe. Everything else here runs on the user-interface thread.
#include <algorithm>
#include <initializer_list>

#include "app/WaveInOutDlg.h"

namespace {

// The 28 controls that have tooltips, in the order their tips were added.
constexpr int kToolIds[] = {1000, 1016, 1001, 1013, 1017, 1010, 1020, 1022, 1046, 1002, 1092, 1095, 1007, 1008,
                            1011, 1023, 1029, 1030, 1009, 1003, 1004, 1019, 1021, 1036, 1099, 1012, 1114, 1116};

// Radios of the spectrum axis modes 0..3 and of the vocal modes 0..2.
constexpr int kAxisRadios[] = {1033, 1034, 1050, 1035};
constexpr int kVocalRadios[] = {1051, 1052, 1053};

void Enable(const CDialog& dlg, std::initializer_list<int> ids, bool enable) {
    for (int id : ids) {
        if (CWnd* item = dlg.GetDlgItem(id)) item->EnableWindow(enable ? TRUE : FALSE);
    }
}

void Show(const CDialog& dlg, std::initializer_list<int> ids, bool show) {
    for (int id : ids) {
        if (CWnd* item = dlg.GetDlgItem(id)) item->ShowWindow(show ? SW_SHOW : SW_HIDE);
    }
}

void CheckOneOf(const CDialog& dlg, const int* ids, int count, int chosen) {
    for (int i = 0; i < count; ++i) {
        if (auto* radio = dynamic_cast<CButton*>(dlg.GetDlgItem(ids[i]))) radio->SetCheck(i == chosen ? BST_CHECKED : BST_UNCHECKED);
    }
}

}  // namespace

void CWaveInOutDlg::UpdateControls() {
    const int s = std::clamp(m_nRunState.load(), 0, 2);
    const int m = m_nMethod;
    const bool chorus = !m_strChorusFile.empty();

    m_btnLive.SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpLive[s].GetSafeHandle()));
    m_btnOpen.SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpOpen[s].GetSafeHandle()));
    m_btnStop.SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bmpStop[s].GetSafeHandle()));

    // What STOP reads must keep the value it had when the run started.
    Enable(*this, {1017, 1020, 1046, 1010, 1099, 1025, 1026}, s == 0);

    // The key range of the voice and the voicing threshold: a chorus file brings its own marks;
    // a phase-vocoder run uses only the lowest key (the lower edge of the vocal band).
    if (m == 0 || s == 0) {
        if (chorus) {
            Enable(*this, {1019}, m == 1);
            Enable(*this, {1021, 1012}, false);
        } else {
            Enable(*this, {1019, 1021, 1012}, true);
        }
    } else {
        Enable(*this, {1019}, true);
        Enable(*this, {1021, 1012}, false);
    }

    // The pitch group; with the phase vocoder it keeps what the vocal radios gave it.
    if (s == 2 && chorus && m_bPitchShiftEnable == FALSE) {
        Enable(*this, {1003, 1007, 1008, 1009}, false);
    } else if (m == 0) {
        Enable(*this, {1003, 1007, 1008, 1009}, true);
    }

    Enable(*this, {1116}, !chorus);
    Enable(*this, {1119}, s != 1);
}

void CWaveInOutDlg::OnBnClickedTdPsola() {
    m_nMethod = IsDlgButtonChecked(1025) ? 0 : 1;
    Show(*this, {1004, 1028, 1006, 1021, 1117, 1019, 1118}, true);
    Enable(*this, {1099}, true);
    SwitchAnalyzerView();
}

void CWaveInOutDlg::OnBnClickedPhaseVocoder() {
    m_nMethod = IsDlgButtonChecked(1025) ? 0 : 1;
    Show(*this, {1004, 1028, 1006, 1021, 1117}, false);
    // Vocal cut and extract use the lowest key as the lower edge of the vocal band.
    Show(*this, {1019, 1118}, m_nVocalMode > 0);
    Enable(*this, {1099}, false);
    SwitchAnalyzerView();
}

void CWaveInOutDlg::SwitchAnalyzerView() {
    // The analyser window is made the first time, over its frame.
    if (m_fftScreen.GetClientSurface() == nullptr) m_fftScreen.CreateOver(this, GetDlgItem(1032));
    Show(*this, {1041}, false);
    if (m_nMethod == 0) {
        m_comboKeyRange.SetCurSel(m_nKeyRange);
        m_staticAnalyzerTitle.SetWindowText("Pitch Analyzer");
        Show(*this, {1038, 1039, 1040, 1054, 1055, 1056}, false);
        Show(*this, {1033, 1034, 1050, 1035, 1051, 1052, 1053}, false);
        Show(*this, {1036, 1037}, true);
        m_scrollHistory.EnableWindow(FALSE);
        Show(*this, {1042, 1015, 1046, 1010, 1099}, true);
        DrawAnalyzerLabels(TRUE);
        Show(*this, {1097, 1012, 1116, 1126}, true);
        m_fftScreen.InitPitchAnalyzer(m_nKeyRange);
    } else {
        CheckOneOf(*this, kAxisRadios, 4, m_nAxisMode);
        CheckOneOf(*this, kVocalRadios, 3, m_nVocalMode.load());
        m_fftScreen.InitSpectrumAnalyzer(m_nA4.load());
        m_fftScreen.SetAxisMode(m_nAxisMode);
        // The level scale of the axis shown (2 or 4 pixels per dB).
        SetLevelLabels(m_nAxisMode);
        m_staticAnalyzerTitle.SetWindowText("Spectrum Analyzer");
        Show(*this, {1038, 1039, 1040, 1054, 1055, 1056}, true);
        Show(*this, {1033, 1034, 1050, 1035, 1051, 1052, 1053}, true);
        Show(*this, {1036, 1037, 1042, 1015, 1046, 1010, 1099}, false);
        DrawAnalyzerLabels(TRUE);
        Show(*this, {1097, 1012, 1116, 1041, 1126}, false);
        if (m_nVocalMode == 0) Show(*this, {1019, 1118}, false);
    }
    m_fftScreen.m_nScreenKind = m_nMethod;
}

void CWaveInOutDlg::OnBnClickedVocalOff() {
    m_nVocalMode = 0;
    Show(*this, {1019, 1118}, false);
}

void CWaveInOutDlg::OnBnClickedVocalCut() {
    m_nVocalMode = 1;
    // The redraw of the trackbar brings the pitch ratio back to 1.0.
    m_sliderPitch.SetPos(0);
    Show(*this, {1019, 1118}, true);
}

void CWaveInOutDlg::OnBnClickedVocalExtract() {
    m_nVocalMode = 2;
    m_sliderPitch.SetPos(0);
    Show(*this, {1019, 1118}, true);
}

void CWaveInOutDlg::OnCbnSelchangeKeyRange() {
    if (m_nMethod == 1) return;
    const int sel = m_comboKeyRange.GetCurSel();
    if (sel >= 0 && sel <= 4) m_nKeyRange = sel;
    m_fftScreen.InitPitchAnalyzer(m_nKeyRange);
    DrawAnalyzerLabels(TRUE);
    // After a run, the page shown is drawn again over the new keys.
    const int page = m_scrollHistory.GetScrollPos();
    if (m_scrollHistory.IsWindowVisible() && m_nMarkCount.load() > 0 && m_nRunState.load() == 0 && page >= 1 &&
        page <= m_fftScreen.m_nPageCount) {
        RedrawHistoryPage(page);
    }
}

BOOL CWaveInOutDlg::PreTranslateMessage(MSG* pMsg) {
    // Enter in the CorrTh box takes the typed value (the box holds it already) and leaves the
    // dialog open, instead of pressing the default button.
    if (pMsg != nullptr && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN && pMsg->hwnd == &m_editCorrTh)
        return TRUE;
    if (pMsg != nullptr && pMsg->message == WM_MOUSEMOVE) {
        for (int id : kToolIds) {
            CWnd* tool = GetDlgItem(id);
            if (tool == nullptr || pMsg->hwnd != tool) continue;
            CRect rc;
            tool->GetClientRect(&rc);
            const unsigned x = LOWORD(static_cast<WPARAM>(pMsg->lParam));
            if (static_cast<int>(x) < rc.right / 2) {
                m_toolTip.Update();
                m_toolTip.RelayEvent(pMsg);
            } else {
                m_toolTip.Pop();
            }
        }
    }
    return CDialog::PreTranslateMessage(pMsg);
}
