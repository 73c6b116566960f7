// The Qt backend's modal loops, message boxes, drawing and painted windows, with screenshots.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "TestMainDialog.h"
#include "UiTestSupport.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/msgbox.h"

namespace {

namespace drv = platform::ui::qt::testing;

using QtModalTest = QtUiTest;

class AboutDialog : public CDialog {
public:
    AboutDialog() : CDialog(IDD_ABOUTBOX) {}
    CStatic m_staticBuild;
    CStatic m_staticExtra;
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_ABOUT_EXTRA, m_staticExtra);
        DDX_Control(pDX, IDC_ABOUT_BUILD, m_staticBuild);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_staticBuild.SetWindowText("32bit program");
        return TRUE;
    }
};

TEST_F(QtModalTest, ModalDialogRunsANestedLoopUntilEndDialog) {
    AboutDialog about;
    std::vector<std::string> shown;
    std::string buildText;
    drv::RunSoon([&] {
        shown = drv::ShownWindowTitles();
        buildText = drv::WidgetText(&about.m_staticBuild);
        drv::SaveScreenshot(&about, ScreenshotPath("about100.png"));
        drv::Click(about.GetDlgItem(IDOK));
    }, 30);
    EXPECT_EQ(about.DoModal(), IDOK);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "About sorvel"), shown.end());
    EXPECT_EQ(buildText, "32bit program");
    EXPECT_FALSE(drv::HasWidget(&about));  // the window is gone when DoModal returns
    // Run again on the same object: a new window, the same items.
    drv::RunSoon([&] { drv::PressKey(about.GetDlgItem(IDOK), "Escape"); }, 30);
    EXPECT_EQ(about.DoModal(), IDCANCEL);
}

TEST_F(QtModalTest, ModalLoopsNestAndEachEndsItsOwnDialog) {
    AboutDialog outer;
    AboutDialog inner;
    INT_PTR innerResult = 0;
    bool outerStillRunning = false;
    drv::RunSoon([&] {
        drv::RunSoon([&] {
            outerStillRunning = drv::HasWidget(&outer);
            inner.EndDialog(IDOK);
        }, 20);
        innerResult = inner.DoModal();
        // Ended from another thread, as a worker's request would be.
        std::thread([&] { outer.EndDialog(42); }).join();
    }, 20);
    EXPECT_EQ(outer.DoModal(), 42);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_TRUE(outerStillRunning);
}

TEST_F(QtModalTest, DialogEndedDuringInitialisationNeverShows) {
    class Failing : public AboutDialog {
    public:
        BOOL OnInitDialog() override {
            AboutDialog::OnInitDialog();
            EndDialog(IDCANCEL);
            return TRUE;
        }
    } failing;
    EXPECT_EQ(failing.DoModal(), IDCANCEL);
}

TEST_F(QtModalTest, OkOnlyBoxFromAWorkerDoesNotBlockIt) {
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = AfxMessageBox("wav11: mmioOpen(MMIO_READ) failed.", MB_OK | MB_ICONERROR); });
    worker.join();  // returns without the user: the box was posted
    EXPECT_EQ(answer, IDOK);
    std::vector<std::string> texts;
    WhenPossible([&] {
        texts = drv::OpenMessageBoxTexts();
        return !texts.empty() && drv::AnswerMessageBox(IDOK);
    });
    drv::WaitUntil([&] { return !texts.empty() && drv::OpenMessageBoxTexts().empty(); }, kUiDeadlineMs);
    EXPECT_EQ(texts, std::vector<std::string>{"wav11: mmioOpen(MMIO_READ) failed."});
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
}

TEST_F(QtModalTest, QuestionFromAWorkerWaitsForTheUsersAnswer) {
    std::atomic<int> answer{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        answer = AfxMessageBox("上書きしますか？", MB_YESNO | MB_ICONQUESTION, "ソルベル");
        done = true;
    });
    std::vector<std::string> texts;
    bool waitedForTheUser = false;
    drv::RunSoon([&] {
        waitedForTheUser = !done;  // the box is open and the worker still waits
        texts = drv::OpenMessageBoxTexts();
        drv::AnswerMessageBox(IDNO);
    }, 80);
    EXPECT_TRUE(drv::WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(answer, IDNO);
    EXPECT_TRUE(waitedForTheUser);
    EXPECT_EQ(texts, std::vector<std::string>{"上書きしますか？"});
}

// The UI thread about to join a worker that asked a question (closing the program during a
// batch) declines it: the worker is answered "no" whether its box was still queued or already
// open, so the join cannot wait for ever.
TEST_F(QtModalTest, WorkerQuestionIsDeclinedWhenTheUiThreadIsAboutToJoinIt) {
    const auto askAndWait = [](bool openTheBoxFirst) {
        std::atomic<int> answer{0};
        std::atomic<bool> done{false};
        std::thread worker([&] {
            answer = AfxMessageBox("設定を書き換えますか？", MB_YESNO | MB_ICONQUESTION);
            done = true;
        });
        bool joinedWithoutAnswering = false;
        const auto declineAndJoin = [&] {
            platform::ui::DeclineWorkerQuestions(true);
            // No events run here, as in a join: the worker must come back by itself.
            for (int i = 0; i < 500 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            joinedWithoutAnswering = done.load();
            platform::ui::DeclineWorkerQuestions(false);
        };
        if (openTheBoxFirst) {
            WhenPossible([&] {
                if (drv::OpenMessageBoxTexts().empty()) return false;
                declineAndJoin();
                drv::AnswerMessageBox(IDYES);
                return true;
            });
            EXPECT_TRUE(drv::WaitUntil([&] { return done.load(); }));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the question is queued
            declineAndJoin();
        }
        worker.join();
        EXPECT_TRUE(joinedWithoutAnswering) << (openTheBoxFirst ? "box open" : "box queued");
        EXPECT_EQ(answer, IDNO);
        // A declined question's box never shows up afterwards.
        drv::ProcessEvents(50);
        EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
    };
    askAndWait(false);
    askAndWait(true);
}

TEST_F(QtModalTest, BoxOnTheUiThreadReturnsTheButtonPressed) {
    drv::RunSoon([] { drv::AnswerMessageBox(IDYES); }, 20);
    EXPECT_EQ(AfxMessageBox("続けますか？", MB_YESNO), IDYES);
    drv::RunSoon([] { drv::AnswerMessageBox(IDCANCEL); }, 20);
    EXPECT_EQ(AfxMessageBox("続けますか？", MB_OKCANCEL), IDCANCEL);
    drv::RunSoon([] { drv::AnswerMessageBox(IDOK); }, 20);
    EXPECT_EQ(AfxMessageBox("Help file not found."), IDOK);
}

// --- Drawing with the window system's text ------------------------------------------------------------

using QtDrawingTest = QtUiTest;

int InkPixels(CDC& dc, const CRect& r, COLORREF background) {
    int ink = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (dc.GetPixel(x, y) != background) ++ink;
        }
    }
    return ink;
}

TEST_F(QtDrawingTest, JapaneseTextIsRasterisedIntoAMemoryBitmapInItsColour) {
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateBitmap(120, 40));
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap* old = dc.SelectObject(&bitmap);
    dc.FillSolidRect(0, 0, 120, 40, RGB(255, 255, 255));
    CFont font;
    font.CreatePointFont(90, "ＭＳ ゴシック");
    dc.SelectObject(&font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(255, 0, 0));
    dc.SetTextAlign(TA_CENTER | TA_TOP);
    ASSERT_TRUE(dc.TextOut(60, 10, "声の高さ"));
    const int left = InkPixels(dc, CRect(0, 0, 60, 40), RGB(255, 255, 255));
    const int right = InkPixels(dc, CRect(60, 0, 120, 40), RGB(255, 255, 255));
    EXPECT_GT(left, 20);
    EXPECT_GT(right, 20);
    EXPECT_EQ(InkPixels(dc, CRect(0, 0, 120, 9), RGB(255, 255, 255)), 0);  // nothing above the top
    // Ink is red: full red, green and blue equal and lower.
    bool sawRed = false;
    std::vector<unsigned char> bits(120 * 40 * 4);
    bitmap.GetBitmapBits(static_cast<DWORD>(bits.size()), bits.data());
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        if (bits[i + 2] >= 200 && bits[i + 1] == bits[i] && bits[i] < 100) sawRed = true;
        EXPECT_EQ(bits[i + 3], 0);  // the unused byte stays 0
        if (bits[i + 3] != 0) break;
    }
    EXPECT_TRUE(sawRed);
    const CSize extent = dc.GetTextExtent("声の高さ");
    EXPECT_EQ(extent.cx, 48);  // four full-width characters of a 12-pixel face
    dc.SelectObject(old);
}

TEST_F(QtDrawingTest, OpaqueTextFillsItsBackground) {
    CBitmap bitmap;
    bitmap.CreateBitmap(60, 20);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    dc.SelectObject(&bitmap);
    dc.SetBkMode(OPAQUE);
    dc.SetBkColor(RGB(0, 0, 255));
    dc.SetTextColor(RGB(255, 255, 255));
    dc.TextOut(2, 2, "dB");
    EXPECT_EQ(dc.GetPixel(2, 2), RGB(0, 0, 255));
    EXPECT_EQ(dc.GetPixel(40, 2), RGB(0, 0, 0));
}

TEST_F(QtDrawingTest, ButtonImagesSheet) {
    // One sheet of every button image, for a person to look at.
    const UINT rows[][4] = {{IDB_LIVE, IDB_LIVE_ACTIVE, IDB_LIVE_GREY, 0},
                            {IDB_OPEN, IDB_OPEN_ACTIVE, IDB_OPEN_GREY, 0},
                            {IDB_PLAY, IDB_PLAY_PAUSE, IDB_PLAY_GREY, IDB_PLAY_GREY_LIVE},
                            {IDB_STOP_IDLE, IDB_STOP, IDB_EXIT, IDB_HELP}};
    CBitmap sheet;
    ASSERT_TRUE(sheet.CreateBitmap(4 * 52, 4 * 38));
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    dc.SelectObject(&sheet);
    dc.FillSolidRect(0, 0, 4 * 52, 4 * 38, RGB(240, 240, 240));
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (rows[r][c] == 0) continue;
            CBitmap image;
            ASSERT_TRUE(image.LoadBitmap(rows[r][c]));
            CDC src;
            src.CreateCompatibleDC(nullptr);
            src.SelectObject(&image);
            const CSize size = image.GetBitmapDimension();
            dc.BitBlt(c * 52 + 4, r * 38 + 4, size.cx, size.cy, &src, 0, 0, SRCCOPY);
        }
    }
    EXPECT_TRUE(drv::SaveBitmap(sheet, ScreenshotPath("buttons.png")));
}

// --- The main dialog as the program will show it ---------------------------------------------------------

// A window that paints itself from an off-screen image, as the analyser does.
class PaintedWindow : public CWnd {
public:
    CBitmap m_image;
    std::vector<std::string> m_log;
    DECLARE_MESSAGE_MAP()
    void OnPaint() {
        CPaintDC dc(this);
        CDC mem;
        mem.CreateCompatibleDC(&dc);
        CBitmap* old = mem.SelectObject(&m_image);
        dc.BitBlt(0, 0, 452, 260, &mem, 0, 0, SRCCOPY);
        mem.SelectObject(old);
        m_log.push_back("WM_PAINT");
    }
    void OnMouseMove(UINT, CPoint p) { m_log.push_back("MOVE " + std::to_string(p.x) + " " + std::to_string(p.y)); }
    void OnLButtonDown(UINT, CPoint p) { m_log.push_back("DOWN " + std::to_string(p.x) + " " + std::to_string(p.y)); }
};

BEGIN_MESSAGE_MAP(PaintedWindow, CWnd)
    ON_WM_PAINT()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

class QtScreenTest : public QtUiTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        dlg = std::make_unique<TestMainDialog>();
        ASSERT_TRUE(ShowMainDialog(*dlg, StartUpBoxes::Left));
    }
    void TearDown() override {
        screen.reset();
        dlg.reset();
        QtUiTest::TearDown();
    }
    // The analyser's place: the frame's window rectangle in client pixels, 452 × 260.
    void MakeAnalyser() {
        CRect rc;
        dlg->GetDlgItem(IDC_ANALYZER_FRAME)->GetWindowRect(&rc);
        dlg->ScreenToClient(&rc);
        rc.right = rc.left + 452;
        rc.bottom = rc.top + 260;
        screen = std::make_unique<PaintedWindow>();
        ASSERT_TRUE(screen->m_image.CreateBitmap(452, 260));
        CDC mem;
        mem.CreateCompatibleDC(nullptr);
        mem.SelectObject(&screen->m_image);
        mem.FillSolidRect(0, 0, 452, 260, RGB(0, 0, 0));
        mem.FillSolidRect(0, 250, 452, 10, GetSysColor(COLOR_BTNFACE));
        CPen grey(PS_SOLID, 1, RGB(64, 64, 64));
        mem.SelectObject(&grey);
        for (int row = 0; row <= 25; ++row) {
            mem.MoveTo(32, row * 10);
            mem.LineTo(452, row * 10);
        }
        mem.FillSolidRect(0, 0, 31, 250, RGB(255, 255, 255));
        mem.FillSolidRect(100, 120, 250, 3, RGB(0, 255, 255));
        CFont font;
        font.CreatePointFont(80, "ＭＳゴシック");
        mem.SelectObject(&font);
        mem.SetTextAlign(TA_CENTER | TA_TOP);
        mem.SetBkMode(TRANSPARENT);
        mem.SetTextColor(GetSysColor(COLOR_BTNTEXT));
        mem.TextOut(40, 250, " 0:00");
        mem.TextOut(436, 250, " 0:10");
        mem.SelectObject(static_cast<CPen*>(nullptr));
        mem.SelectObject(static_cast<CFont*>(nullptr));
        ASSERT_TRUE(screen->Create(AfxRegisterWndClass(0), "FFT Screen", WS_CHILD | WS_VISIBLE, rc, dlg.get(), 3333));
    }
    // What the program draws on the dialog: the level meter bars and the analyser's labels.
    void DrawMeterAndLabels() {
        CClientDC dc(dlg.get());
        const COLORREF bands[6] = {RGB(0, 0, 255), RGB(0, 128, 192), RGB(0, 192, 128), RGB(0, 240, 0), RGB(224, 224, 0), RGB(224, 0, 0)};
        for (int x : {318, 328}) {
            dc.FillSolidRect(CRect(x, 28, x + 9, 88), RGB(0, 0, 0));
            for (int k = 0; k < (x == 318 ? 6 : 4); ++k) {
                dc.FillSolidRect(CRect(x, 28 + 50 - 10 * k, x + 9, 28 + 60 - 10 * k), bands[k]);
            }
        }
        CFont font;
        font.CreatePointFont(80, "ＭＳゴシック");
        dc.SelectObject(&font);
        dc.SetTextAlign(TA_CENTER | TA_TOP);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(GetSysColor(COLOR_BTNTEXT));
        dc.TextOut(388, 269, "G2");
        dc.TextOut(388, 219, "C3");
        dc.TextOut(388, 99, "C4");
        dc.TextOut(861, 139, " dB");
        dc.TextOut(861, 150, "  0");
        dc.TextOut(861, 212, "-20");
        dc.TextOut(861, 275, "-40");
    }
    std::unique_ptr<TestMainDialog> dlg;
    std::unique_ptr<PaintedWindow> screen;
};

TEST_F(QtScreenTest, PaintedChildWindowShowsItsImageAndGetsMouseMessagesInClientPixels) {
    MakeAnalyser();
    ASSERT_TRUE(drv::WaitUntil([&] { return !screen->m_log.empty(); }));  // first paint
    EXPECT_EQ(drv::GrabPixel(screen.get(), 200, 121), RGB(0, 255, 255));
    EXPECT_EQ(drv::GrabPixel(screen.get(), 10, 10), RGB(255, 255, 255));
    const RECT r = drv::WidgetRect(screen.get());
    EXPECT_EQ(r.left, 397);
    EXPECT_EQ(r.top, 31);
    EXPECT_EQ(r.right - r.left, 452);
    EXPECT_EQ(r.bottom - r.top, 260);
    screen->m_log.clear();
    ASSERT_TRUE(drv::MouseAt(screen.get(), WM_MOUSEMOVE, 451, 249));
    ASSERT_TRUE(drv::MouseAt(screen.get(), WM_LBUTTONDOWN, 12, 34));
    EXPECT_EQ(screen->m_log, (std::vector<std::string>{"MOVE 451 249", "DOWN 12 34"}));
    // A change of the image shows after invalidation.
    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    mem.SelectObject(&screen->m_image);
    mem.SetPixel(200, 200, RGB(255, 0, 255));
    screen->Invalidate(TRUE);
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::GrabPixel(screen.get(), 200, 200) == RGB(255, 0, 255); }));
}

TEST_F(QtScreenTest, Template102ScreenshotShowsMeterLabelsAnalyserAndRedBufferFull) {
    CBitmap live, open, play, stop, exitImage, help;
    ASSERT_TRUE(live.LoadBitmap(IDB_LIVE) && open.LoadBitmap(IDB_OPEN) && play.LoadBitmap(IDB_PLAY_GREY) &&
                stop.LoadBitmap(IDB_STOP_IDLE) && exitImage.LoadBitmap(IDB_EXIT) && help.LoadBitmap(IDB_HELP));
    dlg->m_btnLive.SetBitmap(live);
    dlg->m_btnOpen.SetBitmap(open);
    dlg->m_btnPlay.SetBitmap(play);
    dlg->m_btnStop.SetBitmap(stop);
    dlg->m_btnExit.SetBitmap(exitImage);
    dlg->m_btnHelp.SetBitmap(help);
    dlg->CheckRadioButton(IDC_TD_PSOLA, IDC_PHASE_VOCODER, IDC_TD_PSOLA);
    const char* names[] = {"C_", "C#", "D_", "D#", "E_", "F_", "F#", "G_", "G#", "A_", "A#", "B_"};
    for (int i = 0; i < 62; ++i) {
        const std::string key = std::string(names[i % 12]) + std::to_string(i / 12 + 2);
        dlg->m_comboMinKey.AddString(key);
        dlg->m_comboMaxKey.AddString(key);
    }
    dlg->m_comboMinKey.SetCurSel(7);
    dlg->m_comboMaxKey.SetCurSel(40);
    for (const char* k : {"C2", "G2", "C3", "G3", "C4"}) dlg->m_comboKeyRange.AddString(k);
    dlg->m_comboKeyRange.SetCurSel(3);
    for (const char* m : {"歌声", "話声", "3度上を重ねる", "平坦化", "正弦波", "方形波", "鋸波"}) dlg->m_comboVoiceMode.AddString(m);
    dlg->m_comboVoiceMode.SetCurSel(1);
    dlg->m_sliderPitch.SetRange(-48, 48, TRUE);
    dlg->m_sliderPitch.SetPageSize(1);
    for (int t : {-48, -24, 0, 24, 48}) dlg->m_sliderPitch.SetTic(t);
    dlg->m_sliderFormant.SetRange(-24, 24, TRUE);
    for (int t : {-24, -12, 0, 12, 24}) dlg->m_sliderFormant.SetTic(t);
    dlg->m_sliderPitch.SetPos(0);
    dlg->m_sliderFormant.SetPos(0);
    dlg->m_staticPitchValue.SetWindowText("100% ( 0.0)");
    dlg->m_staticFormantValue.SetWindowText("100% ( 0.0)");
    dlg->m_editCorrTh.SetWindowText("0.5");
    dlg->m_scrollHistory.EnableWindow(FALSE);
    dlg->m_staticBufferFull.ShowWindow(SW_SHOW);
    dlg->m_staticNote.SetWindowText("A_4");
    CFont small;
    small.CreateFont(9, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                     DEFAULT_PITCH, "ＭＳ ゴシック");
    dlg->m_staticMeterTop.SetFont(&small);
    dlg->m_staticMeterMid.SetFont(&small);
    dlg->m_staticProcTime.SetFont(&small);
    dlg->m_staticProcTime.SetWindowText("ProcTime 12ms (3-40)");
    MakeAnalyser();
    dlg->m_bIdle = false;
    DrawMeterAndLabels();
    drv::ProcessEvents(50);
    ASSERT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("template102.png")));

    // The meter bars at their pixels: the left bar lit to the top band, the right to band 3.
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 318, 87), RGB(0, 0, 255));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 326, 28), RGB(224, 0, 0));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 328, 50), RGB(0, 240, 0));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 336, 30), RGB(0, 0, 0));
    EXPECT_NE(drv::GrabPixel(dlg.get(), 337, 30), RGB(0, 0, 0));  // right of the bars: background
    // The analyser at its place.
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 397 + 200, 31 + 121), RGB(0, 255, 255));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 397 + 451, 31 + 105), RGB(0, 0, 0));
    // Red text in "Buffer Full" (the owner's WM_CTLCOLOR).
    const RECT full = drv::WidgetRect(&dlg->m_staticBufferFull);
    bool red = false;
    for (int y = full.top; y < full.bottom && !red; ++y) {
        for (int x = full.left; x < full.right && !red; ++x) {
            const COLORREF c = drv::GrabPixel(dlg.get(), x, y);
            red = GetRValue(c) > 180 && GetGValue(c) < 90 && GetBValue(c) < 90;
        }
    }
    EXPECT_TRUE(red);

    // A repaint while idle blanks the bars (the owner's WM_PAINT), the labels stay on the surface.
    dlg->m_bIdle = true;
    dlg->Invalidate(FALSE);
    EXPECT_TRUE(drv::WaitUntil([&] { return drv::GrabPixel(dlg.get(), 318, 87) == RGB(0, 0, 0); }));
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 328, 50), RGB(0, 0, 0));

    // The spectrum view's controls in the same place.
    for (int id : {IDC_KEY_RANGE, IDC_HISTORY_SCROLL, IDC_NOTE_LABEL, IDC_NOTE, IDC_DUMP, IDC_CHORUS_FILE, IDC_BATCH,
                   IDC_CORR_TH_LABEL, IDC_CORR_TH, IDC_VOICE_MODE, IDC_BUFFER_FULL, IDC_MARKER}) {
        dlg->GetDlgItem(id)->ShowWindow(SW_HIDE);
    }
    for (int id : {IDC_DB_LABEL0, IDC_DB_LABEL1, IDC_DB_LABEL2, IDC_DB_LABEL3, IDC_AXIS_CAPTION, IDC_VOCAL_CAPTION,
                   IDC_AXIS_LOG, IDC_AXIS_LINEAR1, IDC_AXIS_KEYBOARD, IDC_AXIS_LINEAR2, IDC_VOCAL_OFF, IDC_VOCAL_CUT,
                   IDC_VOCAL_EXTRACT}) {
        dlg->GetDlgItem(id)->ShowWindow(SW_SHOW);
    }
    dlg->CheckRadioButton(IDC_TD_PSOLA, IDC_PHASE_VOCODER, IDC_PHASE_VOCODER);
    dlg->CheckDlgButton(IDC_AXIS_KEYBOARD, BST_CHECKED);
    dlg->CheckDlgButton(IDC_VOCAL_OFF, BST_CHECKED);
    dlg->m_staticAnalyzerTitle.SetWindowText("Spectrum Analyzer");
    {
        CClientDC dc(dlg.get());
        dc.FillSolidRect(CRect(380, 20, 396, 280), GetSysColor(COLOR_BTNFACE));
        dc.FillSolidRect(CRect(852, 20, 872, 285), GetSysColor(COLOR_BTNFACE));
    }
    drv::ProcessEvents(50);
    ASSERT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("template102_spectrum.png")));
}

}  // namespace

namespace {

namespace drv2 = platform::ui::qt::testing;
using QtPickerTest = QtUiTest;

TEST_F(QtPickerTest, FilePickerOffersTheProgramsFiltersAndReturnsTheChosenPathsInOrder) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "sorvel-picker-test";
    std::filesystem::create_directories(folder);
    for (const char* name : {"a.wav", "b.wav", "声.wav"}) {
        std::FILE* f = std::fopen((folder / name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    std::vector<std::string> filters;
    drv2::RunSoon([&] {
        filters = drv2::OpenFileDialogFilters();
        drv2::AnswerFileDialog({(folder / "b.wav").string(), (folder / "声.wav").string()});
    }, 50);
    CFileDialog multi(TRUE, "wav", nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                      "音声ファイル(*.wav;*.mp3)|*.wav;*.mp3|すべてのファイル(*.*)|*.*|");
    ASSERT_EQ(multi.DoModal(), IDOK);
    EXPECT_EQ(multi.GetPathNames(), (std::vector<std::string>{(folder / "b.wav").string(), (folder / "声.wav").string()}));
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_NE(filters[0].find("*.wav *.mp3"), std::string::npos) << filters[0];

    drv2::RunSoon([] { drv2::AnswerFileDialog({}); }, 50);
    CFileDialog cancelled(TRUE, "wav", nullptr, OFN_HIDEREADONLY, "音声ファイル(*.wav)|*.wav||");
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(cancelled.GetPathName(), "");

    std::string chosen;
    drv2::RunSoon([&] { drv2::AnswerFileDialog({folder.string()}); }, 50);
    ASSERT_TRUE(platform::ui::BrowseForFolder(nullptr, "フォルダの選択", &chosen));
    EXPECT_EQ(chosen, folder.string() + "/");
    std::filesystem::remove_all(folder);
}

}  // namespace
