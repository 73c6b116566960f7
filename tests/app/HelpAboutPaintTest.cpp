// The main dialog's help command, about box and painting, without a window system.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/AboutDlg.h"
#include "app/SystemReport.h"
#include "app/WaveInOutDlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/userinput.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"
#include "support/ElfWordSize.h"

namespace {

std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
    return texts;
}

class HelpAboutPaintTest : public ::testing::Test {
protected:
    HelpAboutPaintTest() {
        BoxTexts();
        platform::ui::TakeHeadlessShellOpens();
    }
    void Command(UINT id) { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    void Click(int id) { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<UINT>(id), BN_CLICKED), 0); }

    TempFolder folder;
    CWaveInOutDlg dlg{folder.Path()};
};

TEST_F(HelpAboutPaintTest, MissingHelpPageIsToldOnceForTheButtonAndForTheMenu) {
    Click(IDC_HELP);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Help file not found."}));
    Command(ID_HELP_SHOW);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Help file not found."}));
    EXPECT_TRUE(platform::ui::TakeHeadlessShellOpens().empty());
}

TEST_F(HelpAboutPaintTest, PresentHelpPageIsOpenedByItsPathBesideTheProgram) {
    std::filesystem::create_directories(folder.File("help"));
    std::ofstream(folder.File("help/sorvel1.html")) << "<html></html>\n";
    Click(IDC_HELP);
    Command(ID_HELP_SHOW);
    EXPECT_EQ(platform::ui::TakeHeadlessShellOpens(),
              (std::vector<std::string>{folder.File("help/sorvel1.html"), folder.File("help/sorvel1.html")}));
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(HelpAboutPaintTest, AboutBoxStatesTheBuildsRealWordSize) {
    CAboutDlg about;
    ASSERT_TRUE(about.BuildItems());
    EXPECT_EQ(about.GetWindowText(), "About sorvel");
    EXPECT_EQ(about.GetDlgItemText(IDC_ABOUT_BUILD), "64bit program");  // the template's text
    about.SetDlgItemText(IDC_ABOUT_BUILD, "");
    about.OnInitDialog();
    // The word size the executable file states, and the one the system report states, agree
    // with the about box.
    const int bits = elfword::BitsOfThisProgram();
    ASSERT_NE(bits, 0);
    EXPECT_EQ(about.m_staticBuild.GetWindowText(), std::to_string(bits) + "bit program");
    const std::string report = FormatSystemReport(CollectSystemReportInput("2.87"));
    EXPECT_EQ(report.substr(0, report.find('\n')), elfword::ReportFirstLine());
    EXPECT_EQ(about.GetDlgItemText(IDC_ABOUT_VERSION), "Sorvel Version 2.87");
    EXPECT_EQ(about.m_staticExtra.GetWindowText(), "");
}

TEST_F(HelpAboutPaintTest, IdleRepaintBlanksBothMeterBarsAndARunLeavesThemToTheMeter) {
    ASSERT_TRUE(dlg.Create(IDD_SORVEL_DIALOG));
    BoxTexts();
    platform::ui::Surface* s = dlg.GetClientSurface();
    ASSERT_NE(s, nullptr);
    const COLORREF lit = RGB(0, 240, 0);
    s->Fill(CRect(310, 20, 345, 95), lit);
    dlg.Invalidate(FALSE);
    dlg.UpdateWindow();
    for (int x : {318, 326, 328, 336}) {
        EXPECT_EQ(s->GetPixel(x, 28), RGB(0, 0, 0)) << x;
        EXPECT_EQ(s->GetPixel(x, 87), RGB(0, 0, 0)) << x;
    }
    // Only the bars: the pixels around them and the gap between them keep what they had.
    EXPECT_EQ(s->GetPixel(327, 50), lit);
    EXPECT_EQ(s->GetPixel(317, 50), lit);
    EXPECT_EQ(s->GetPixel(337, 50), lit);
    EXPECT_EQ(s->GetPixel(320, 88), lit);

    dlg.m_nRunState = 1;
    s->Fill(CRect(310, 20, 345, 95), lit);
    dlg.Invalidate(FALSE);
    dlg.UpdateWindow();
    EXPECT_EQ(s->GetPixel(320, 50), lit);
    dlg.m_nRunState = 0;
}

TEST_F(HelpAboutPaintTest, RepaintDrawsTheAnalysersVolumeLabelsBesideIt) {
    ASSERT_TRUE(dlg.Create(IDD_SORVEL_DIALOG));
    BoxTexts();
    platform::ui::TakeHeadlessTextDraws();
    dlg.Invalidate(FALSE);
    dlg.UpdateWindow();
    std::vector<std::string> texts;
    for (const auto& job : platform::ui::TakeHeadlessTextDraws()) texts.push_back(job.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "-40"), texts.end());
}

TEST_F(HelpAboutPaintTest, MouseOverTheDialogClearsTheAnalysersHighlightOnce) {
    ASSERT_TRUE(dlg.Create(IDD_SORVEL_DIALOG));
    BoxTexts();
    dlg.m_fftScreen.m_nHoverKey = 12;
    dlg.m_fftScreen.m_nPrevHoverKey = 12;
    dlg.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(100, 300));
    EXPECT_EQ(dlg.m_fftScreen.m_nHoverKey, -1);
    EXPECT_EQ(dlg.m_fftScreen.m_nPrevHoverKey, -2);
    EXPECT_TRUE(dlg.m_fftScreen.IsPaintPending());
    dlg.m_fftScreen.UpdateWindow();
    dlg.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(110, 300));
    EXPECT_FALSE(dlg.m_fftScreen.IsPaintPending()) << "no highlight, nothing to repaint";
}

TEST_F(HelpAboutPaintTest, BufferFullIsRedAndOtherTextsKeepTheirColour) {
    ASSERT_TRUE(dlg.Create(IDD_SORVEL_DIALOG));
    BoxTexts();
    EXPECT_EQ(platform::ui::QueryControlColors(&dlg.m_staticBufferFull, CTLCOLOR_STATIC).text, RGB(255, 0, 0));
    EXPECT_EQ(platform::ui::QueryControlColors(&dlg.m_staticNote, CTLCOLOR_STATIC).text, GetSysColor(COLOR_BTNTEXT));
}

}  // namespace
