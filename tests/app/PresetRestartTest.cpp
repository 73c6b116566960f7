// A voice preset stored with Ctrl+click is written to the settings file when the program closes
// and comes back after the next start.
#include <gtest/gtest.h>

#include <cmath>

#include "StartupSupport.h"
#include "platform/ui/userinput.h"

namespace {

class PresetRestartTest : public StartedDialogTest {
protected:
    CButton* Button(int id) { return static_cast<CButton*>(dlg->GetDlgItem(id)); }
    void Click(int id) { platform::ui::UserClickedButton(Button(id)); }
    void CtrlClick(int id) {
        platform::ui::SetHeadlessKeyDown(VK_CONTROL, true);
        Click(id);
        platform::ui::SetHeadlessKeyDown(VK_CONTROL, false);
    }
    // The trackbars draw themselves, as the window system does after a change.
    void Redraw() {
        for (int id : {1003, 1004}) {
            NMHDR hdr{};
            hdr.idFrom = static_cast<UINT>(id);
            hdr.code = NM_CUSTOMDRAW;
            dlg->SendMessage(WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
        }
    }
    // Closes the program as the close box does, then ends the dialog object.
    void Close() {
        dlg->OnClose();
        platform::ui::DeliverPostedMessages();
        dlg.reset();
    }
};

TEST_F(PresetRestartTest, PresetStoredWithCtrlClickSurvivesARestart) {
    Start();
    dlg->m_sliderPitch.SetPos(-7);
    dlg->m_sliderFormant.SetPos(5);
    dlg->m_comboMinKey.SetCurSel(3);
    dlg->m_comboMaxKey.SetCurSel(30);
    dlg->m_editCorrTh.SetWindowText("0.650");
    dlg->m_comboVoiceMode.SetCurSel(0);
    CtrlClick(1029);  // preset 3
    Close();
    std::ifstream ini(folder.File("sorvel.ini"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(ini, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines[15].rfind("-7 5 3 30 440 0.650000 ", 0), 0u) << lines[15];

    Start();
    // Start-up always begins neutral; the preset brings the stored voice back.
    EXPECT_EQ(dlg->m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(dlg->m_comboMinKey.GetCurSel(), 7);
    Click(1029);
    Redraw();
    EXPECT_EQ(dlg->m_sliderPitch.GetPos(), -7);
    EXPECT_EQ(dlg->m_sliderFormant.GetPos(), 5);
    EXPECT_EQ(dlg->m_comboMinKey.GetCurSel(), 3);
    EXPECT_EQ(dlg->m_comboMaxKey.GetCurSel(), 30);
    EXPECT_EQ(dlg->m_editCorrTh.GetWindowText(), "0.650");
    EXPECT_EQ(dlg->m_comboVoiceMode.GetCurSel(), 0);
    EXPECT_FLOAT_EQ(dlg->m_fPitchRatio.load(), std::pow(2.0f, -7.0f / 24.0f));
    // The other presets kept their defaults.
    Click(1011);
    EXPECT_EQ(dlg->m_comboMinKey.GetCurSel(), 7);
    EXPECT_EQ(dlg->m_comboVoiceMode.GetCurSel(), 1);
    EXPECT_TRUE(BoxTexts().empty());
}

}  // namespace
