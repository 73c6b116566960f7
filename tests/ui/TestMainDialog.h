// A plain dialog on template 102 that binds a member of the template's kind to each of the
// main dialog's 44 control ids and records what reaches its message map.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "resources/resource_ids.h"

class TestMainDialog : public CDialog {
public:
    TestMainDialog() : CDialog(IDD_SORVEL_DIALOG) {}

    // Every control the main dialog binds, by kind.
    CButton m_btnLive, m_btnStop, m_btnOpen, m_btnPlay, m_btnExit, m_btnHelp;
    CButton m_btnManToWoman, m_btnWomanToMan, m_btnReset, m_btnPreset1, m_btnPreset2, m_btnChorusFile, m_btnBatch;
    CButton m_chkSave, m_chkThru, m_chkOriginal, m_chkDump, m_chkRepeat;
    CSliderCtrl m_sliderPitch, m_sliderFormant;
    CComboBox m_comboMinKey, m_comboMaxKey, m_comboKeyRange, m_comboVoiceMode;
    CEdit m_editCorrTh;
    CScrollBar m_scrollHistory;
    CStatic m_staticPitchValue, m_staticFormantValue, m_staticNote, m_staticTime, m_staticPitchLabel,
        m_staticFormantLabel, m_staticBufferFull, m_staticNoteLabel, m_staticAnalyzerTitle, m_staticDbLabel1,
        m_staticDbLabel2, m_staticDbLabel3, m_staticMeterTop, m_staticMeterMid, m_staticProcTime, m_staticMaxLabel,
        m_staticMinLabel, m_staticMarker;
    CToolTipCtrl m_toolTip;

    // What reached the message map, one line per message, in order.
    std::vector<std::string> Log() const {
        std::lock_guard<std::mutex> lock(m_logMutex);
        return m_log;
    }
    void ClearLog() {
        std::lock_guard<std::mutex> lock(m_logMutex);
        m_log.clear();
    }
    bool Logged(const std::string& line) const {
        for (const auto& l : Log()) {
            if (l == line) return true;
        }
        return false;
    }
    void Record(const std::string& line) {
        std::lock_guard<std::mutex> lock(m_logMutex);
        m_log.push_back(line);
    }

    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_SLIDER_PITCH, m_sliderPitch);
        DDX_Control(pDX, IDC_SLIDER_FORMANT, m_sliderFormant);
        DDX_Control(pDX, IDC_PITCH_VALUE, m_staticPitchValue);
        DDX_Control(pDX, IDC_FORMANT_VALUE, m_staticFormantValue);
        DDX_Control(pDX, IDC_CORR_TH, m_editCorrTh);
        DDX_Control(pDX, IDC_NOTE, m_staticNote);
        DDX_Control(pDX, IDC_LIVE, m_btnLive);
        DDX_Control(pDX, IDC_STOP, m_btnStop);
        DDX_Control(pDX, IDC_OPEN, m_btnOpen);
        DDX_Control(pDX, IDC_EXIT, m_btnExit);
        DDX_Control(pDX, IDC_SAVE, m_chkSave);
        DDX_Control(pDX, IDC_TIME, m_staticTime);
        DDX_Control(pDX, IDC_MIN_KEY, m_comboMinKey);
        DDX_Control(pDX, IDC_MAX_KEY, m_comboMaxKey);
        DDX_Control(pDX, IDC_THRU, m_chkThru);
        DDX_Control(pDX, IDC_ORIGINAL, m_chkOriginal);
        DDX_Control(pDX, IDC_PITCH_LABEL, m_staticPitchLabel);
        DDX_Control(pDX, IDC_FORMANT_LABEL, m_staticFormantLabel);
        DDX_Control(pDX, IDC_KEY_RANGE, m_comboKeyRange);
        DDX_Control(pDX, IDC_HISTORY_SCROLL, m_scrollHistory);
        DDX_Control(pDX, IDC_BUFFER_FULL, m_staticBufferFull);
        DDX_Control(pDX, IDC_NOTE_LABEL, m_staticNoteLabel);
        DDX_Control(pDX, IDC_ANALYZER_TITLE, m_staticAnalyzerTitle);
        DDX_Control(pDX, IDC_DUMP, m_chkDump);
        DDX_Control(pDX, IDC_CHORUS_FILE, m_btnChorusFile);
        DDX_Control(pDX, IDC_MAN_TO_WOMAN, m_btnManToWoman);
        DDX_Control(pDX, IDC_WOMAN_TO_MAN, m_btnWomanToMan);
        DDX_Control(pDX, IDC_RESET, m_btnReset);
        DDX_Control(pDX, IDC_DB_LABEL1, m_staticDbLabel1);
        DDX_Control(pDX, IDC_DB_LABEL2, m_staticDbLabel2);
        DDX_Control(pDX, IDC_PLAY, m_btnPlay);
        DDX_Control(pDX, IDC_METER_TOP, m_staticMeterTop);
        DDX_Control(pDX, IDC_METER_MID, m_staticMeterMid);
        DDX_Control(pDX, IDC_DB_LABEL3, m_staticDbLabel3);
        DDX_Control(pDX, IDC_HELP, m_btnHelp);
        DDX_Control(pDX, IDC_PROC_TIME, m_staticProcTime);
        DDX_Control(pDX, IDC_PRESET1, m_btnPreset1);
        DDX_Control(pDX, IDC_PRESET2, m_btnPreset2);
        DDX_Control(pDX, IDC_BATCH, m_btnBatch);
        DDX_Control(pDX, IDC_MAX_LABEL, m_staticMaxLabel);
        DDX_Control(pDX, IDC_MIN_LABEL, m_staticMinLabel);
        DDX_Control(pDX, IDC_VOICE_MODE, m_comboVoiceMode);
        DDX_Control(pDX, IDC_MARKER, m_staticMarker);
        DDX_Control(pDX, IDC_REPEAT, m_chkRepeat);
    }

    // The tooltip rule of the main dialog: a control's tip shows while the mouse is over its
    // left half.
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message == WM_MOUSEMOVE && m_toolTip.GetToolCount() > 0) {
            CWnd* tools[] = {&m_btnLive, &m_sliderPitch, &m_comboMinKey};
            for (CWnd* tool : tools) {
                if (pMsg->hwnd != tool) continue;
                CRect rc;
                tool->GetClientRect(&rc);
                if (static_cast<int>(LOWORD(static_cast<WPARAM>(pMsg->lParam))) < rc.right / 2) {
                    m_toolTip.Update();
                    m_toolTip.RelayEvent(pMsg);
                } else {
                    m_toolTip.Pop();
                }
            }
        }
        return CDialog::PreTranslateMessage(pMsg);
    }

    bool m_bIdle = true;        // OnPaint blanks the meter bars while idle
    int m_nPaints = 0;

    DECLARE_MESSAGE_MAP()

    void OnPaint() {
        ++m_nPaints;
        if (m_bIdle) {
            CClientDC dc(this);
            dc.FillSolidRect(CRect(318, 28, 327, 88), RGB(0, 0, 0));
            dc.FillSolidRect(CRect(328, 28, 337, 88), RGB(0, 0, 0));
        }
    }
    void OnTimer(UINT_PTR id) { Record("WM_TIMER " + std::to_string(id)); }
    void OnHScroll(UINT code, UINT pos, CScrollBar* bar) {
        Record("WM_HSCROLL " + std::to_string(code) + " " + std::to_string(pos) + " " +
               std::to_string(bar ? bar->GetDlgCtrlID() : 0));
    }
    void OnDropFiles(HDROP hDrop) {
        const UINT n = DragQueryFile(hDrop, 0xFFFFFFFFu, nullptr, 0);
        for (UINT i = 0; i < n; ++i) {
            char name[1024];
            DragQueryFile(hDrop, i, name, sizeof name);
            Record(std::string("WM_DROPFILES ") + name);
        }
        DragFinish(hDrop);
    }
    void OnRButtonDown(UINT, CPoint p) { Record("WM_RBUTTONDOWN " + std::to_string(p.x) + " " + std::to_string(p.y)); }
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
        HBRUSH brush = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
        if (nCtlColor == CTLCOLOR_STATIC && pWnd == &m_staticBufferFull) pDC->SetTextColor(RGB(255, 0, 0));
        return brush;
    }
    LRESULT OnTestPost(WPARAM wp, LPARAM) {
        Record("WM_APP " + std::to_string(wp));
        return 0;
    }

private:
    mutable std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

