// Dialogs of the window-free core: templates, items, user actions, timers, menus, pickers.
#include <algorithm>
#include <set>
#include <thread>

#include "TestMainDialog.h"
#include "UiTestSupport.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/menu.h"
#include "platform/ui/msgqueue.h"
#include "platform/ui/timers.h"
#include "platform/ui/userinput.h"

namespace {

using platform::ui::ItemKind;

class TemplateLayoutTest : public HeadlessUiTest {
protected:
    void SetUp() override {
        HeadlessUiTest::SetUp();
        ASSERT_TRUE(dlg.BuildItems());
    }
    CRect Rect(int id) { return dlg.GetDlgItem(id)->GetRect(); }
    TestMainDialog dlg;
};

bool Overlap(const CRect& a, const CRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// On screen a drop-down list is only as high as its box; the template's height includes the list.
CRect ShownRect(const CWnd* w) {
    CRect r = w->GetRect();
    if (w->GetItemKind() == ItemKind::ComboBox) r.bottom = r.top + 23;
    return r;
}

const std::set<int> kPitchViewOnly = {IDC_KEY_RANGE, IDC_HISTORY_SCROLL, IDC_NOTE_LABEL, IDC_NOTE, IDC_DUMP,
                                      IDC_CHORUS_FILE, IDC_BATCH, IDC_CORR_TH_LABEL, IDC_CORR_TH, IDC_VOICE_MODE,
                                      IDC_BUFFER_FULL, IDC_MARKER};
const std::set<int> kSpectrumViewOnly = {IDC_DB_LABEL0, IDC_DB_LABEL1, IDC_DB_LABEL2, IDC_AXIS_CAPTION,
                                         IDC_VOCAL_CAPTION, IDC_DB_LABEL3, IDC_AXIS_LOG, IDC_AXIS_LINEAR1,
                                         IDC_AXIS_KEYBOARD, IDC_AXIS_LINEAR2, IDC_VOCAL_OFF, IDC_VOCAL_CUT,
                                         IDC_VOCAL_EXTRACT};

TEST_F(TemplateLayoutTest, ClientAreaIs503By239DialogUnitsInSevenByThirteenBaseUnits) {
    CRect client;
    dlg.GetClientRect(&client);
    EXPECT_EQ(client.Width(), 880);
    EXPECT_EQ(client.Height(), 388);
    EXPECT_EQ(dlg.GetWindowText(), "ソルベル");
    EXPECT_EQ(dlg.GetFontSpec().face, "MS UI Gothic");
    EXPECT_EQ(dlg.GetFontSpec().height, -12);
}

TEST_F(TemplateLayoutTest, EveryBoundMemberAndEveryUnboundItemHasItsKind) {
    struct Expect {
        int id;
        ItemKind kind;
    };
    const Expect items[] = {
        {IDC_LIVE, ItemKind::PushButton}, {IDC_STOP, ItemKind::PushButton}, {IDC_OPEN, ItemKind::PushButton},
        {IDC_PLAY, ItemKind::PushButton}, {IDC_EXIT, ItemKind::PushButton}, {IDC_HELP, ItemKind::PushButton},
        {IDC_SAVE, ItemKind::CheckBox}, {IDC_THRU, ItemKind::CheckBox}, {IDC_ORIGINAL, ItemKind::CheckBox},
        {IDC_DUMP, ItemKind::CheckBox}, {IDC_REPEAT, ItemKind::CheckBox}, {IDC_SLIDER_PITCH, ItemKind::Trackbar},
        {IDC_SLIDER_FORMANT, ItemKind::Trackbar}, {IDC_MIN_KEY, ItemKind::ComboBox}, {IDC_MAX_KEY, ItemKind::ComboBox},
        {IDC_KEY_RANGE, ItemKind::ComboBox}, {IDC_VOICE_MODE, ItemKind::ComboBox}, {IDC_CORR_TH, ItemKind::Edit},
        {IDC_HISTORY_SCROLL, ItemKind::ScrollBar}, {IDC_TD_PSOLA, ItemKind::RadioButton},
        {IDC_PHASE_VOCODER, ItemKind::RadioButton}, {IDC_AXIS_LOG, ItemKind::RadioButton},
        {IDC_AXIS_LINEAR1, ItemKind::RadioButton}, {IDC_AXIS_LINEAR2, ItemKind::RadioButton},
        {IDC_AXIS_KEYBOARD, ItemKind::RadioButton}, {IDC_VOCAL_OFF, ItemKind::RadioButton},
        {IDC_VOCAL_CUT, ItemKind::RadioButton}, {IDC_VOCAL_EXTRACT, ItemKind::RadioButton},
        {IDC_ANALYZER_FRAME, ItemKind::Frame}, {IDC_SETTING, ItemKind::PushButton}, {IDC_EFFECT, ItemKind::PushButton},
        {IDC_PRESET3, ItemKind::PushButton}, {IDC_PRESET4, ItemKind::PushButton}, {IDC_CORR_TH_LABEL, ItemKind::Static},
        {IDC_AXIS_CAPTION, ItemKind::Static}, {IDC_VOCAL_CAPTION, ItemKind::Static}, {IDC_DB_LABEL0, ItemKind::Static},
    };
    for (const auto& e : items) {
        CWnd* w = dlg.GetDlgItem(e.id);
        ASSERT_NE(w, nullptr) << e.id;
        EXPECT_EQ(w->GetItemKind(), e.kind) << e.id;
        EXPECT_EQ(w->GetParent(), &dlg) << e.id;
    }
    EXPECT_EQ(dlg.GetDlgItem(IDC_LIVE), &dlg.m_btnLive);
    EXPECT_EQ(dlg.GetDlgItem(IDC_MARKER), &dlg.m_staticMarker);
    EXPECT_NE(dlg.m_btnLive.GetStyle() & BS_BITMAP, 0u);
    EXPECT_EQ(dlg.m_chkSave.GetWindowText(), "出力音声をファイルに保存する");
    EXPECT_EQ(dlg.m_staticTime.GetWindowText(), "  0:00");
    EXPECT_EQ(dlg.m_staticDbLabel3.GetWindowText(), "-120");
    EXPECT_EQ(dlg.m_btnHelp.GetWindowText(), "Button1");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_SETTING), "設定");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_PHASE_VOCODER), "Phase Vocoder （複数音向け）");
}

TEST_F(TemplateLayoutTest, AnalyserFrameHoldsThe452By260WindowBesideTheLabelColumns) {
    // The analyser window is placed from the frame's window rectangle in client coordinates.
    CRect frame;
    dlg.GetDlgItem(IDC_ANALYZER_FRAME)->GetWindowRect(&frame);
    dlg.ScreenToClient(&frame);
    EXPECT_EQ(frame.left, 397);
    EXPECT_EQ(frame.top, 31);
    EXPECT_GE(frame.Width(), 452);
    EXPECT_GE(frame.Height(), 260);
    const CRect analyser(frame.left, frame.top, frame.left + 452, frame.top + 260);
    EXPECT_FALSE(Overlap(analyser, CRect(380, 20, 396, 280)));  // note labels of the pitch view
    EXPECT_FALSE(Overlap(analyser, CRect(852, 20, 872, 285)));  // its volume labels
    // The lowest note row's centre (245 below the top) lines up with the lowest note label,
    // drawn from y 269 in an 11-pixel font.
    EXPECT_NEAR(analyser.top + 245, 269 + 6, 2);
}

TEST_F(TemplateLayoutTest, NothingCoversTheMeterOrTheLabelColumns) {
    const CRect areas[] = {CRect(318, 28, 337, 88), CRect(380, 20, 396, 280), CRect(852, 20, 872, 285)};
    for (CWnd* w : dlg.GetItems()) {
        if (!w->IsWindowVisible() || w->GetItemKind() == ItemKind::GroupBox) continue;
        for (const CRect& area : areas) {
            EXPECT_FALSE(Overlap(ShownRect(w), area)) << "item " << w->GetDlgCtrlID() << " " << w->GetWindowText();
        }
    }
    // The meter sits inside the "Input Level" group.
    bool inGroup = false;
    for (CWnd* w : dlg.GetItems()) {
        const CRect g = w->GetRect();
        if (w->GetWindowText() == "Input Level" && g.left < 318 && g.right > 337 && g.top < 28 && g.bottom > 88) inGroup = true;
    }
    EXPECT_TRUE(inGroup);
}

TEST_F(TemplateLayoutTest, NoTwoControlsShownTogetherOverlap) {
    CRect client;
    dlg.GetClientRect(&client);
    const auto& items = dlg.GetItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const CRect a = ShownRect(items[i]);
        EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= client.right && a.bottom <= client.bottom)
            << "item " << items[i]->GetDlgCtrlID() << " leaves the client area";
        if (items[i]->GetItemKind() == ItemKind::GroupBox) continue;
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            if (items[j]->GetItemKind() == ItemKind::GroupBox) continue;
            const int idA = items[i]->GetDlgCtrlID();
            const int idB = items[j]->GetDlgCtrlID();
            const bool exclusive = (kPitchViewOnly.count(idA) && kSpectrumViewOnly.count(idB)) ||
                                   (kPitchViewOnly.count(idB) && kSpectrumViewOnly.count(idA));
            if (exclusive) continue;
            EXPECT_FALSE(Overlap(a, ShownRect(items[j]))) << idA << " '" << items[i]->GetWindowText() << "' overlaps "
                                                         << idB << " '" << items[j]->GetWindowText() << "'";
        }
    }
}

TEST_F(TemplateLayoutTest, SpectrumControlsStartHiddenAndPitchControlsShown) {
    for (int id : kSpectrumViewOnly) EXPECT_FALSE(dlg.GetDlgItem(id)->IsWindowVisible()) << id;
    for (int id : kPitchViewOnly) {
        if (id == IDC_BUFFER_FULL) continue;
        EXPECT_TRUE(dlg.GetDlgItem(id)->IsWindowVisible()) << id;
    }
    EXPECT_FALSE(dlg.m_staticBufferFull.IsWindowVisible());
}

// --- Dialog behaviour without a window system -------------------------------------------------------

using HeadlessDialogTest = HeadlessUiTest;

TEST_F(HeadlessDialogTest, RadioClickChecksItAndClearsOnlyItsOwnGroup) {
    TestMainDialog dlg;
    ASSERT_TRUE(dlg.BuildItems());
    dlg.CheckRadioButton(IDC_TD_PSOLA, IDC_PHASE_VOCODER, IDC_TD_PSOLA);
    dlg.CheckDlgButton(IDC_AXIS_LOG, BST_CHECKED);
    platform::ui::UserClickedButton(static_cast<CButton*>(dlg.GetDlgItem(IDC_PHASE_VOCODER)));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_PHASE_VOCODER), 1u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TD_PSOLA), 0u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_AXIS_LOG), 1u);  // another group
    platform::ui::UserClickedButton(static_cast<CButton*>(dlg.GetDlgItem(IDC_AXIS_KEYBOARD)));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_AXIS_LOG), 0u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_AXIS_KEYBOARD), 1u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_PHASE_VOCODER), 1u);
    EXPECT_EQ(dlg.GetRadioGroup(dlg.GetDlgItem(IDC_VOCAL_CUT)).size(), 3u);
    EXPECT_TRUE(dlg.Logged("BN_CLICKED 1026"));
    EXPECT_TRUE(dlg.Logged("BN_CLICKED 1050"));
}

TEST_F(HeadlessDialogTest, UserActionsChangeStateBeforeTheOwnerHearsOfThem) {
    TestMainDialog dlg;
    ASSERT_TRUE(dlg.BuildItems());
    platform::ui::UserClickedButton(&dlg.m_chkThru);
    EXPECT_EQ(dlg.m_chkThru.GetCheck(), BST_CHECKED);
    platform::ui::UserClickedButton(&dlg.m_chkThru);
    EXPECT_EQ(dlg.m_chkThru.GetCheck(), BST_UNCHECKED);
    dlg.m_comboMinKey.AddString("C_2");
    dlg.m_comboMinKey.AddString("C#2");
    platform::ui::UserChoseComboItem(&dlg.m_comboMinKey, 1);
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 1);
    platform::ui::UserChoseComboItem(&dlg.m_comboMinKey, 5);  // no such item: nothing happens
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 1);
    dlg.m_sliderPitch.SetRange(-48, 48);
    platform::ui::UserMovedTrackbar(&dlg.m_sliderPitch, 60, SB_THUMBTRACK);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 48);
    dlg.m_scrollHistory.SetScrollRange(1, 5);
    dlg.m_scrollHistory.SetScrollPos(3);
    platform::ui::UserScrolled(&dlg.m_scrollHistory, SB_LINERIGHT, 3);
    EXPECT_EQ(dlg.m_scrollHistory.GetScrollPos(), 3);  // a scroll bar moves only when told
    dlg.m_btnBatch.EnableWindow(FALSE);
    platform::ui::UserClickedButton(&dlg.m_btnBatch);  // disabled: no click
    const std::vector<std::string> expected = {"BN_CLICKED 1020", "BN_CLICKED 1020", "CBN_SELCHANGE 1019",
                                               "WM_HSCROLL 5 48 1003", "WM_HSCROLL 1 3 1037"};
    EXPECT_EQ(dlg.Log(), expected);
}

TEST_F(HeadlessDialogTest, ControlsAnswerControlMessagesFromAnyThread) {
    TestMainDialog dlg;
    ASSERT_TRUE(dlg.BuildItems());
    dlg.m_chkSave.SetCheck(BST_CHECKED);
    dlg.m_comboVoiceMode.AddString("歌声");
    dlg.m_comboVoiceMode.AddString("話声");
    dlg.m_comboVoiceMode.SetCurSel(1);
    dlg.m_sliderFormant.SetRange(-24, 24);
    dlg.m_sliderFormant.SetPos(-7);
    CBitmap image;
    ASSERT_TRUE(image.LoadBitmap(IDB_PLAY_GREY));
    LRESULT check = 0, sel = 0, pos = 0, bmp = 0;
    std::thread worker([&] {
        check = dlg.m_chkSave.SendMessage(BM_GETCHECK);
        sel = dlg.m_comboVoiceMode.SendMessage(CB_GETCURSEL);
        pos = dlg.m_sliderFormant.SendMessage(TBM_GETPOS);
        dlg.m_btnPlay.SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image.GetSafeHandle()));
        bmp = dlg.m_btnPlay.SendMessage(BM_GETIMAGE, IMAGE_BITMAP);
    });
    worker.join();
    EXPECT_EQ(check, BST_CHECKED);
    EXPECT_EQ(sel, 1);
    EXPECT_EQ(pos, -7);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(bmp), &image);
}

TEST_F(HeadlessDialogTest, ModalRunWithoutWindowSystemHandlesQueuedMessagesThenCancels) {
    TestMainDialog dlg;
    dlg.PostMessage(WM_APP + 1, 7);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(dlg.Logged("WM_APP 7"));

    TestMainDialog ended;
    ended.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
    ended.PostMessage(WM_APP + 1, 8);  // after the end: not handled by this run
    EXPECT_EQ(ended.DoModal(), IDOK);
    EXPECT_FALSE(ended.Logged("WM_APP 8"));
    platform::ui::DeliverPostedMessages();

    CDialog unknown(4711);
    EXPECT_EQ(unknown.DoModal(), -1);
}

TEST_F(HeadlessDialogTest, CloseRequestsEscapeAndEnterEndTheDialogAsCommands) {
    CDialog about(IDD_ABOUTBOX);
    ASSERT_TRUE(about.BuildItems());
    EXPECT_EQ(about.GetDefID(), IDOK);
    platform::ui::UserPressedEnter(&about);
    EXPECT_TRUE(about.IsEnded());
    EXPECT_EQ(about.GetModalResult(), IDOK);

    CDialog closed(IDD_ABOUTBOX);
    ASSERT_TRUE(closed.BuildItems());
    platform::ui::UserClosed(&closed);
    EXPECT_EQ(closed.GetModalResult(), IDCANCEL);

    CDialog escaped(IDD_ABOUTBOX);
    platform::ui::UserPressedEscape(&escaped);
    EXPECT_EQ(escaped.GetModalResult(), IDCANCEL);

    // A greyed close item of the window menu keeps the window open.
    CDialog guarded(IDD_ABOUTBOX);
    guarded.GetSystemMenu(FALSE)->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    platform::ui::UserClosed(&guarded);
    EXPECT_FALSE(guarded.IsEnded());
}

TEST_F(HeadlessDialogTest, TimerTicksWaitInTheQueueOneAtATimeAndStopWithTheTimer) {
    TestMainDialog dlg;
    dlg.SetTimer(1, 100);
    EXPECT_TRUE(dlg.IsTimerRunning(1));
    EXPECT_EQ(platform::ui::TimerElapse(&dlg, 1), 100u);
    EXPECT_TRUE(platform::ui::FireTimer(&dlg, 1));
    EXPECT_FALSE(platform::ui::FireTimer(&dlg, 1));  // one tick still waiting
    EXPECT_EQ(platform::ui::PendingMessageCount(), 1u);
    platform::ui::DeliverPostedMessages();
    EXPECT_EQ(dlg.Log(), std::vector<std::string>{"WM_TIMER 1"});
    EXPECT_TRUE(platform::ui::FireTimer(&dlg, 1));
    EXPECT_TRUE(dlg.KillTimer(1));
    EXPECT_EQ(platform::ui::PendingMessageCount(), 0u);  // the waiting tick went with the timer
    EXPECT_FALSE(platform::ui::FireTimer(&dlg, 1));
    EXPECT_FALSE(dlg.KillTimer(1));
}

TEST_F(HeadlessDialogTest, TooltipShowsOverTheLeftHalfOfAToolAndPopsOverTheRight) {
    TestMainDialog dlg;
    ASSERT_TRUE(dlg.BuildItems());
    dlg.m_toolTip.Create(&dlg);
    dlg.m_toolTip.AddTool(&dlg.m_btnLive, "マイク入力");
    CRect rc;
    dlg.m_btnLive.GetClientRect(&rc);
    platform::ui::UserMouse(&dlg.m_btnLive, WM_MOUSEMOVE, 0, rc.right / 2 - 1, 3);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), &dlg.m_btnLive);
    platform::ui::UserMouse(&dlg.m_btnLive, WM_MOUSEMOVE, 0, rc.right / 2, 3);
    EXPECT_EQ(dlg.m_toolTip.GetShownTool(), nullptr);
    EXPECT_EQ(dlg.m_toolTip.GetToolText(&dlg.m_btnLive), "マイク入力");
}

TEST_F(HeadlessDialogTest, DroppedFilesReachOnlyAWindowThatAcceptsThem) {
    TestMainDialog dlg;
    EXPECT_FALSE(platform::ui::UserDroppedFiles(&dlg, {"/tmp/a.wav"}, POINT{1, 1}));
    dlg.DragAcceptFiles(TRUE);
    EXPECT_TRUE(platform::ui::UserDroppedFiles(&dlg, {"/tmp/声.wav", "/tmp/b.wav"}, POINT{1, 1}));
    const std::vector<std::string> expected = {"WM_DROPFILES /tmp/声.wav", "WM_DROPFILES /tmp/b.wav"};
    EXPECT_EQ(dlg.Log(), expected);
    DropFiles drop;
    drop.files = {"/a/very/long/name.wav"};
    char small[8];
    EXPECT_EQ(DragQueryFile(&drop, 0, small, sizeof small), 7u);
    EXPECT_STREQ(small, "/a/very");
    EXPECT_EQ(DragQueryFile(&drop, 1, small, sizeof small), 0u);
}

TEST_F(HeadlessDialogTest, PopupMenuResourceHasTheThreeCommands) {
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_POPUP_MENU));
    CMenu* popup = menu.GetSubMenu(0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(popup->GetMenuItemCount(), 3);
    EXPECT_EQ(popup->Items()[0].id, ID_SETTING);
    EXPECT_EQ(popup->Items()[0].text, "ソルベルの設定");
    EXPECT_EQ(popup->Items()[1].id, ID_HELP_SHOW);
    EXPECT_EQ(popup->Items()[1].text, "ヘルプの表示");
    EXPECT_EQ(popup->Items()[2].id, ID_VERSION);
    EXPECT_EQ(popup->Items()[2].text, "バージョン情報");
    EXPECT_EQ(std::string(resources::FindString(IDS_ABOUTBOX)), "&About sorvel...");
    TestMainDialog owner;
    EXPECT_FALSE(popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, 0, 0, &owner));  // nothing to show it on
}

TEST_F(HeadlessDialogTest, FileDialogUsesQueuedAnswersAndKeepsTheRequest) {
    platform::ui::TakeHeadlessFileRequests();
    CFileDialog cancelled(TRUE, "wav", nullptr, OFN_HIDEREADONLY, "音声ファイル(*.wav)|*.wav||");
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(cancelled.GetPathName(), "");

    platform::ui::QueueHeadlessFileAnswer({"/x/a.wav", "/x/b.mp3"});
    CFileDialog multi(TRUE, "wav", nullptr, OFN_ALLOWMULTISELECT,
                      "音声ファイル(*.wav;*.mp3)|*.wav;*.mp3|すべてのファイル(*.*)|*.*|");
    ASSERT_EQ(multi.DoModal(), IDOK);
    POSITION pos = multi.GetStartPosition();
    std::vector<std::string> got;
    while (pos != nullptr) got.push_back(multi.GetNextPathName(pos));
    EXPECT_EQ(got, (std::vector<std::string>{"/x/a.wav", "/x/b.mp3"}));
    EXPECT_EQ(multi.GetFileName(), "a.wav");
    EXPECT_EQ(multi.GetFileTitle(), "a");
    EXPECT_EQ(multi.GetFileExt(), "wav");

    const auto requests = platform::ui::TakeHeadlessFileRequests();
    ASSERT_EQ(requests.size(), 2u);
    ASSERT_EQ(requests[1].filters.size(), 2u);
    EXPECT_EQ(requests[1].filters[0].first, "音声ファイル(*.wav;*.mp3)");
    EXPECT_EQ(requests[1].filters[0].second, "*.wav;*.mp3");
    EXPECT_EQ(requests[1].filters[1].second, "*.*");
    EXPECT_TRUE(requests[1].multiSelect);
    EXPECT_EQ(requests[0].defaultExt, "wav");

    std::string folder;
    EXPECT_FALSE(platform::ui::BrowseForFolder(nullptr, "フォルダの選択", &folder));
    platform::ui::QueueHeadlessFolderAnswer("/home/user/out");
    ASSERT_TRUE(platform::ui::BrowseForFolder(nullptr, "フォルダの選択", &folder));
    EXPECT_EQ(folder, "/home/user/out/");
}

TEST_F(HeadlessDialogTest, PaintedChildWindowPaintsOnUpdateAndKeepsPixelsWithoutBackground) {
    TestMainDialog dlg;
    ASSERT_TRUE(dlg.BuildItems());
    CWnd child;
    ASSERT_TRUE(child.Create(AfxRegisterWndClass(0), "FFT Screen", WS_CHILD | WS_VISIBLE, CRect(397, 31, 849, 291), &dlg, 3333));
    CRect rc;
    child.GetClientRect(&rc);
    EXPECT_EQ(rc.Width(), 452);
    EXPECT_EQ(rc.Height(), 260);
    {
        CClientDC dc(&child);
        dc.SetPixel(5, 5, RGB(0, 255, 0));
    }
    child.Invalidate(TRUE);
    EXPECT_TRUE(child.IsPaintPending());
    child.UpdateWindow();  // no WM_PAINT handler, no background: the pixels stay
    EXPECT_FALSE(child.IsPaintPending());
    EXPECT_EQ(child.GetClientSurface()->GetPixel(5, 5), RGB(0, 255, 0));
    POINT p{0, 0};
    child.ClientToScreen(&p);
    EXPECT_EQ(p.x, 397);
    EXPECT_EQ(p.y, 31);
}

}  // namespace
