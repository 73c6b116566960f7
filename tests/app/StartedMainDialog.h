// A main dialog without a window, with its controls as start-up leaves them: items bound, key
// names and voice modes listed, trackbar ranges, the TD-PSOLA radio checked, the voice group at
// its start values, the button images loaded and the tooltips added. Clicks, choices and
// trackbar redraws go through the message map as a user's would.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/WaveInOutDlg.h"
#include "platform/ui/userinput.h"
#include "platform/ui/windowsystem.h"
#include "support/TempFolder.h"

class StartedMainDialog {
public:
    StartedMainDialog() : dlg(folder.Path()) {
        dlg.BuildItems();
        dlg.BuildKeyTable();
        dlg.FillVoiceModeCombo();
        for (const char* name : {"C2", "G2", "C3", "G3", "C4"}) dlg.m_comboKeyRange.AddString(name);
        dlg.m_sliderPitch.SetRange(-48, 48, TRUE);
        dlg.m_sliderFormant.SetRange(-24, 24, TRUE);
        dlg.CheckRadioButton(1025, 1026, 1025);
        dlg.m_sliderPitch.SetPos(0);
        dlg.m_sliderFormant.SetPos(0);
        dlg.m_comboMinKey.SetCurSel(7);
        dlg.m_comboMaxKey.SetCurSel(40);
        dlg.m_editCorrTh.SetWindowText("0.5");
        dlg.m_comboKeyRange.SetCurSel(3);
        dlg.m_nKeyRange = 3;
        const UINT live[3] = {134, 135, 136}, stop[3] = {129, 141, 141}, open[3] = {131, 133, 132};
        for (int i = 0; i < 3; ++i) {
            dlg.m_bmpLive[i].LoadBitmap(live[i]);
            dlg.m_bmpStop[i].LoadBitmap(stop[i]);
            dlg.m_bmpOpen[i].LoadBitmap(open[i]);
        }
        dlg.m_toolTip.Create(&dlg);
        for (int id : {1000, 1016, 1001, 1013, 1017, 1010, 1020, 1022, 1046, 1002, 1092, 1095, 1007, 1008, 1011, 1023,
                       1029, 1030, 1009, 1003, 1004, 1019, 1021, 1036, 1099, 1012, 1114, 1116}) {
            dlg.m_toolTip.AddTool(dlg.GetDlgItem(id), "tip " + std::to_string(id));
        }
        dlg.SwitchAnalyzerView();
        Redraw();
    }
    ~StartedMainDialog() { platform::ui::SetHeadlessKeyDown(VK_CONTROL, false); }

    CButton* Button(int id) { return dynamic_cast<CButton*>(dlg.GetDlgItem(id)); }
    void Click(int id) { platform::ui::UserClickedButton(Button(id)); }
    void CtrlClick(int id) {
        platform::ui::SetHeadlessKeyDown(VK_CONTROL, true);
        Click(id);
        platform::ui::SetHeadlessKeyDown(VK_CONTROL, false);
    }
    void Choose(CComboBox& combo, int index) { platform::ui::UserChoseComboItem(&combo, index); }
    // Both trackbars draw themselves, as the window system does after a change.
    void Redraw() {
        platform::ui::TrackbarPainted(&dlg.m_sliderPitch);
        platform::ui::TrackbarPainted(&dlg.m_sliderFormant);
    }
    bool Shown(int id) const { return dlg.GetDlgItem(id)->IsWindowVisible() != FALSE; }
    bool Enabled(int id) const { return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE; }

    TempFolder folder;
    CWaveInOutDlg dlg;
};
