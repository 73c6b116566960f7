// The Qt backend under the main dialog's template: real widgets, driven as a user would.
#include <atomic>
#include <thread>

#include "TestMainDialog.h"
#include "UiTestSupport.h"
#include "platform/ui/msgbox.h"

namespace {

namespace drv = platform::ui::qt::testing;

class QtMainDialogTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        dlg = std::make_unique<TestMainDialog>();
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Left));
        drv::ProcessEvents(20);
        dlg->ClearLog();
    }
    void TearDown() override {
        dlg.reset();
        QtUiTest::TearDown();
    }
    std::unique_ptr<TestMainDialog> dlg;
};

TEST_F(QtMainDialogTest, DialogUnitsFollowTheMappedDialogFontsMetrics) {
    EXPECT_EQ(dlg->GetBaseUnits().x, 7);
    EXPECT_EQ(dlg->GetBaseUnits().y, 13);
    const RECT client = drv::WidgetRect(dlg.get());
    EXPECT_EQ(client.right, 880);
    EXPECT_EQ(client.bottom, 388);
    const RECT frame = drv::WidgetRect(dlg->GetDlgItem(IDC_ANALYZER_FRAME));
    EXPECT_EQ(frame.left, 397);
    EXPECT_EQ(frame.top, 31);
    EXPECT_GE(frame.right - frame.left, 452);
    EXPECT_GE(frame.bottom - frame.top, 260);
    EXPECT_EQ(drv::WidgetFontFamily(&dlg->m_chkSave), "IPAPGothic");
    EXPECT_EQ(drv::WidgetText(dlg.get()), "ソルベル");
}

TEST_F(QtMainDialogTest, EveryTextFitsItsControl) {
    // The small face the program gives the meter labels and the ProcTime text.
    CFont small;
    small.CreateFont(9, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                     DEFAULT_PITCH, "ＭＳ ゴシック");
    dlg->m_staticMeterTop.SetFont(&small);
    dlg->m_staticMeterMid.SetFont(&small);
    dlg->m_staticProcTime.SetFont(&small);
    EXPECT_EQ(drv::WidgetFontFamily(&dlg->m_staticProcTime), "IPAGothic");
    // Texts the program writes later, at their longest.
    dlg->m_staticProcTime.SetWindowText("ProcTime 123ms (12-345)");
    dlg->m_staticTime.SetWindowText(" 12:34 / 56:07");
    dlg->m_staticPitchValue.SetWindowText(" 25% (-24.0)");
    dlg->m_staticFormantValue.SetWindowText("200% (+12.0)");
    dlg->m_staticAnalyzerTitle.SetWindowText("Spectrum Analyzer");
    dlg->m_staticNote.SetWindowText("C#7");
    for (int id : {IDC_AXIS_CAPTION, IDC_VOCAL_CAPTION, IDC_AXIS_LOG, IDC_AXIS_LINEAR1, IDC_AXIS_KEYBOARD, IDC_AXIS_LINEAR2,
                   IDC_VOCAL_OFF, IDC_VOCAL_CUT, IDC_VOCAL_EXTRACT, IDC_DB_LABEL0, IDC_DB_LABEL3, IDC_BUFFER_FULL}) {
        dlg->GetDlgItem(id)->ShowWindow(SW_SHOW);
    }
    drv::ProcessEvents(10);
    for (CWnd* item : dlg->GetItems()) {
        const RECT r = drv::WidgetRect(item);
        EXPECT_LE(drv::WidgetNeededWidth(item), r.right - r.left)
            << "item " << item->GetDlgCtrlID() << " '" << item->GetWindowText() << "'";
    }
}

TEST_F(QtMainDialogTest, StateSetByCodeReachesTheWidgets) {
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    dlg->m_staticNote.SetWindowText("A_4");
    dlg->m_btnBatch.EnableWindow(FALSE);
    dlg->m_staticPitchLabel.ShowWindow(SW_HIDE);
    dlg->m_comboVoiceMode.AddString("歌声");
    dlg->m_comboVoiceMode.AddString("話声");
    dlg->m_comboVoiceMode.SetCurSel(1);
    dlg->m_sliderPitch.SetRange(-48, 48, TRUE);
    dlg->m_sliderPitch.SetPos(-12);
    dlg->m_scrollHistory.SetScrollRange(1, 7);
    dlg->m_scrollHistory.SetScrollPos(7);
    dlg->m_editCorrTh.SetWindowText("0.5");
    EXPECT_TRUE(drv::WidgetChecked(&dlg->m_chkSave));
    EXPECT_EQ(drv::WidgetText(&dlg->m_staticNote), "A_4");
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_btnBatch));
    EXPECT_FALSE(drv::WidgetVisible(&dlg->m_staticPitchLabel));
    EXPECT_EQ(drv::WidgetItems(&dlg->m_comboVoiceMode), (std::vector<std::string>{"歌声", "話声"}));
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboVoiceMode), 1);
    EXPECT_EQ(drv::WidgetMinimum(&dlg->m_sliderPitch), -48);
    EXPECT_EQ(drv::WidgetMaximum(&dlg->m_sliderPitch), 48);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_sliderPitch), -12);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_scrollHistory), 7);
    EXPECT_EQ(drv::WidgetText(&dlg->m_editCorrTh), "0.5");
    dlg->m_comboVoiceMode.ResetContent();
    EXPECT_TRUE(drv::WidgetItems(&dlg->m_comboVoiceMode).empty());
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboVoiceMode), -1);
}

TEST_F(QtMainDialogTest, StateSetOnAWorkerThreadReachesTheWidgetsOnTheUiThread) {
    dlg->m_comboMinKey.AddString("C_2");
    dlg->m_comboMinKey.AddString("C#2");
    dlg->m_sliderFormant.SetRange(-24, 24);
    std::thread worker([&] {
        dlg->m_staticProcTime.SetWindowText("ProcTime 12ms (3-40)");
        dlg->m_staticBufferFull.ShowWindow(SW_SHOW);
        dlg->m_chkDump.SetCheck(BST_CHECKED);
        dlg->m_comboMinKey.SetCurSel(1);
        dlg->m_sliderFormant.SetPos(12);
        dlg->m_btnChorusFile.EnableWindow(FALSE);
        for (int i = 0; i < 200; ++i) dlg->m_staticTime.SetWindowText("  0:" + std::to_string(10 + i % 50));
        dlg->m_staticTime.SetWindowText("  1:05");
    });
    worker.join();
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::WidgetText(&dlg->m_staticTime) == "  1:05"; }));
    EXPECT_EQ(drv::WidgetText(&dlg->m_staticProcTime), "ProcTime 12ms (3-40)");
    EXPECT_TRUE(drv::WidgetVisible(&dlg->m_staticBufferFull));
    EXPECT_TRUE(drv::WidgetChecked(&dlg->m_chkDump));
    EXPECT_EQ(drv::WidgetCurrentIndex(&dlg->m_comboMinKey), 1);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_sliderFormant), 12);
    EXPECT_FALSE(drv::WidgetEnabled(&dlg->m_btnChorusFile));
}

TEST_F(QtMainDialogTest, ClicksUpdateTheStateAndReachTheMessageMap) {
    ASSERT_TRUE(drv::Click(&dlg->m_btnLive));
    ASSERT_TRUE(drv::Click(&dlg->m_chkSave));
    EXPECT_EQ(dlg->m_chkSave.GetCheck(), BST_CHECKED);
    dlg->CheckRadioButton(IDC_TD_PSOLA, IDC_PHASE_VOCODER, IDC_TD_PSOLA);
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_PHASE_VOCODER)));
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_PHASE_VOCODER), 1u);
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_TD_PSOLA), 0u);
    EXPECT_FALSE(drv::WidgetChecked(dlg->GetDlgItem(IDC_TD_PSOLA)));
    // Clicking the checked radio again keeps it checked.
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_PHASE_VOCODER)));
    EXPECT_TRUE(drv::WidgetChecked(dlg->GetDlgItem(IDC_PHASE_VOCODER)));
    dlg->m_btnBatch.EnableWindow(FALSE);
    drv::Click(&dlg->m_btnBatch);
    const std::vector<std::string> expected = {"BN_CLICKED 1000", "BN_CLICKED 1017", "BN_CLICKED 1026", "BN_CLICKED 1026"};
    EXPECT_EQ(dlg->Log(), expected);
}

TEST_F(QtMainDialogTest, ChoosingAListItemSelectsItAndSendsSelChange) {
    for (const char* key : {"C_2", "C#2", "D_2", "D#2"}) dlg->m_comboMaxKey.AddString(key);
    dlg->m_comboMaxKey.SetCurSel(0);
    ASSERT_TRUE(drv::ChooseComboItem(&dlg->m_comboMaxKey, 2));
    EXPECT_EQ(dlg->m_comboMaxKey.GetCurSel(), 2);
    EXPECT_TRUE(dlg->Logged("CBN_SELCHANGE 1021"));
}

TEST_F(QtMainDialogTest, MovingATrackbarSendsHScrollAndItsRedrawSendsCustomDraw) {
    dlg->m_sliderPitch.SetRange(-48, 48, TRUE);
    dlg->m_sliderPitch.SetPageSize(1);
    for (int t : {-48, -24, 0, 24, 48}) dlg->m_sliderPitch.SetTic(t);
    dlg->m_sliderPitch.SetPos(0);
    drv::ProcessEvents(20);
    dlg->ClearLog();
    ASSERT_TRUE(drv::DragTrackbar(&dlg->m_sliderPitch, 24));
    EXPECT_NEAR(dlg->m_sliderPitch.GetPos(), 24, 1);
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->Logged("NM_CUSTOMDRAW 1003"); }));
    bool track = false, position = false;
    for (const auto& line : dlg->Log()) {
        if (line.rfind("WM_HSCROLL 5 ", 0) == 0 && line.size() > 5 && line.substr(line.size() - 4) == "1003") track = true;
        if (line == "WM_HSCROLL 4 " + std::to_string(dlg->m_sliderPitch.GetPos()) + " 1003") position = true;
    }
    EXPECT_TRUE(track);
    EXPECT_TRUE(position);
    // A position set by code redraws too, and the redraw is where the owner reads it.
    dlg->ClearLog();
    ASSERT_TRUE(drv::PressKey(&dlg->m_sliderPitch, "PageDown"));
    EXPECT_NE(dlg->m_sliderPitch.GetPos(), 24);
    dlg->ClearLog();
    dlg->m_sliderPitch.SetPos(0);
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->Logged("NM_CUSTOMDRAW 1003"); }));
}

TEST_F(QtMainDialogTest, ScrollBarReportsTheUsersActionButMovesOnlyWhenTold) {
    dlg->m_scrollHistory.SetScrollRange(1, 5);
    dlg->m_scrollHistory.SetScrollPos(5);
    ASSERT_TRUE(drv::ClickScrollArrow(&dlg->m_scrollHistory, false));
    EXPECT_TRUE(dlg->Logged("WM_HSCROLL 0 4 1037"));
    EXPECT_EQ(dlg->m_scrollHistory.GetScrollPos(), 5);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_scrollHistory), 5);
    dlg->m_scrollHistory.SetScrollPos(4);  // what the owner's handler does
    EXPECT_EQ(drv::WidgetValue(&dlg->m_scrollHistory), 4);
    dlg->m_scrollHistory.EnableWindow(FALSE);
    dlg->ClearLog();
    EXPECT_FALSE(drv::ClickScrollArrow(&dlg->m_scrollHistory, true));
    EXPECT_TRUE(dlg->Log().empty());
}

TEST_F(QtMainDialogTest, TypingIntoTheEditChangesItsTextAndSendsChange) {
    dlg->m_editCorrTh.SetWindowText("0.5");
    ASSERT_TRUE(drv::TypeText(&dlg->m_editCorrTh, "0.75"));
    EXPECT_EQ(dlg->m_editCorrTh.GetWindowText(), "0.75");
    EXPECT_TRUE(dlg->Logged("EN_CHANGE 1012"));
}

TEST_F(QtMainDialogTest, MessagesPostedFromAWorkerArriveInOrderOnTheUiThread) {
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) dlg->PostMessage(WM_APP + 1, static_cast<WPARAM>(i));
    });
    worker.join();
    // Only the posted messages count (the trackbars' redraws may report as well).
    auto posted = [&] {
        std::vector<std::string> lines;
        for (const auto& line : dlg->Log()) {
            if (line.rfind("WM_APP ", 0) == 0) lines.push_back(line);
        }
        return lines;
    };
    ASSERT_TRUE(drv::WaitUntil([&] { return posted().size() >= 100u; }));
    const auto lines = posted();
    ASSERT_EQ(lines.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(lines[static_cast<std::size_t>(i)], "WM_APP " + std::to_string(i));
}

TEST_F(QtMainDialogTest, TimerDeliversWmTimerUntilKilled) {
    auto ticks = [&] {
        std::size_t n = 0;
        for (const auto& line : dlg->Log()) n += line == "WM_TIMER 1" ? 1 : 0;
        return n;
    };
    dlg->SetTimer(1, 10);
    ASSERT_TRUE(drv::WaitUntil([&] { return ticks() >= 3u; }));
    // Stopped from a worker, as STOP may run there.
    std::thread worker([&] { dlg->KillTimer(1); });
    worker.join();
    drv::ProcessEvents(30);
    const std::size_t after = ticks();
    drv::ProcessEvents(60);
    EXPECT_EQ(ticks(), after);
}

TEST_F(QtMainDialogTest, ImageButtonsShowTheirBitmapsAlsoWhenSetByAWorker) {
    CBitmap live, liveOn, stop;
    ASSERT_TRUE(live.LoadBitmap(IDB_LIVE));
    ASSERT_TRUE(liveOn.LoadBitmap(IDB_LIVE_ACTIVE));
    ASSERT_TRUE(stop.LoadBitmap(IDB_STOP));
    dlg->m_btnLive.SetBitmap(live);
    EXPECT_EQ(drv::WidgetImageId(&dlg->m_btnLive), IDB_LIVE);
    std::thread worker([&] {
        dlg->m_btnLive.SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(liveOn.GetSafeHandle()));
        dlg->m_btnStop.SetBitmap(stop);
    });
    worker.join();
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::WidgetImageId(&dlg->m_btnLive) == IDB_LIVE_ACTIVE; }));
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::WidgetImageId(&dlg->m_btnStop) == IDB_STOP; }));
    dlg->m_btnLive.SetBitmap(nullptr);
}

TEST_F(QtMainDialogTest, TooltipShowsOverTheLeftHalfOfAControl) {
    dlg->m_toolTip.Create(dlg.get());
    dlg->m_toolTip.AddTool(&dlg->m_btnLive, "マイク入力");
    const RECT r = drv::WidgetRect(&dlg->m_btnLive);
    const int width = r.right - r.left;
    ASSERT_TRUE(drv::MouseAt(&dlg->m_btnLive, WM_MOUSEMOVE, 3, 5));
    EXPECT_EQ(drv::ShownToolTipText(), "マイク入力");
    ASSERT_TRUE(drv::MouseAt(&dlg->m_btnLive, WM_MOUSEMOVE, width - 3, 5));
    EXPECT_EQ(drv::ShownToolTipText(), "");
}

TEST_F(QtMainDialogTest, RightClickOnTheDialogOpensAPopupWhoseChoiceArrivesAsCommand) {
    ASSERT_TRUE(drv::MouseAt(dlg.get(), WM_RBUTTONDOWN, 600, 370));
    EXPECT_TRUE(dlg->Logged("WM_RBUTTONDOWN 600 370"));
    // Over a static the click still reaches the dialog (statics are transparent to the mouse).
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_POPUP_MENU));
    drv::RunSoon([] { drv::ChooseOpenMenuItem(ID_VERSION); }, 30);
    POINT p{600, 370};
    dlg->ClientToScreen(&p);
    EXPECT_TRUE(menu.GetSubMenu(0)->TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, p.x, p.y, dlg.get()));
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->Logged("BN_CLICKED 32772"); }));
}

TEST_F(QtMainDialogTest, DroppedFilesArriveAsDropFilesWhenAccepted) {
    EXPECT_FALSE(drv::DropFiles(dlg.get(), {"/tmp/voice.wav"}, POINT{100, 300}));
    dlg->DragAcceptFiles(TRUE);
    EXPECT_TRUE(drv::DropFiles(dlg.get(), {"/tmp/声の素材.wav", "/tmp/second.wav"}, POINT{100, 300}));
    EXPECT_TRUE(drv::WaitUntil([&] { return dlg->Logged("WM_DROPFILES /tmp/second.wav"); }));
    EXPECT_TRUE(dlg->Logged("WM_DROPFILES /tmp/声の素材.wav"));
}

TEST_F(QtMainDialogTest, TheCloseButtonAsksTheProgramWhichEndsTheDialog) {
    ASSERT_TRUE(drv::CloseWindow(dlg.get()));
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetModalResult(), IDCANCEL);
    EXPECT_TRUE(drv::WaitUntil([&] { return !drv::WidgetVisible(dlg.get()); }));
}

}  // namespace
