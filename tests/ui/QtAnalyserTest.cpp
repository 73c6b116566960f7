// The analyser on the real main dialog (Qt backend, virtual sound devices, recording MIDI): the
// pitch view during and after a TD-PSOLA run with its pages, the spectrum view in each axis mode
// during a phase-vocoder run of the stereo recording, the hover highlight on screen and a
// clicked note reaching the MIDI output. Screenshots go to build/screenshots/analyser-*.png.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "QtDialogOnDevices.h"
#include "app/WaveInOutDlg.h"
#include "platform/midi/midiapi.h"
#include "resources/resource_ids.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"
#include "support/TestData.h"

namespace {

namespace drv = platform::ui::qt::testing;

class QtAnalyserTest : public QtDialogOnDevicesTest {
protected:
    void StartWith(const std::string& input, const char* speedFactor) {
        const std::string path = TestDataFile(input.c_str());
        if (!std::ifstream(path).good()) GTEST_SKIP() << "no " << path << " (make it with scripts/make-voice.sh)";
        StartDialog(path, speedFactor);
        if (HasFatalFailure()) return;
        ASSERT_TRUE(drv::HasWidget(&dlg->m_fftScreen));
        platform::midi::TakeRecordedMidi();
    }
    bool InputReached(double seconds, int timeoutMs = 30000) {
        const int want = static_cast<int>(seconds * 44100.0);
        return drv::WaitUntil([&] { return dlg->m_nInputCount.load() >= want; }, timeoutMs);
    }
    void Shot(const std::string& name) { EXPECT_TRUE(drv::SaveScreenshot(dlg.get(), ScreenshotPath("analyser-" + name + ".png"))); }
    COLORREF Screen(int x, int y) { return drv::GrabPixel(&dlg->m_fftScreen, x, y); }
    COLORREF Image(int x, int y) { return dlg->m_fftScreen.m_bitmap.SurfacePtr()->GetPixel(x, y); }
    // Pixels of a colour in the analyser's image (what its paint copies to the screen).
    int CountInImage(COLORREF c) {
        int n = 0;
        for (int y = 0; y < 250; ++y)
            for (int x = 0; x < 452; ++x) n += Image(x, y) == c;
        return n;
    }

};

// Three times real time, but in real time under the thread sanitizer: its pitch detection is
// too slow there to keep up with the input ring of four blocks.
#if defined(__SANITIZE_THREAD__)
constexpr const char* kRunSpeed = "1";
#else
constexpr const char* kRunSpeed = "3";
#endif

TEST_F(QtAnalyserTest, PitchViewDuringAndAfterARunWithPagesHoverAndNotes) {
    StartWith("voice.wav", kRunSpeed);
    // The analyser sits on its frame with the fixed size.
    const RECT r = drv::WidgetRect(&dlg->m_fftScreen);
    EXPECT_EQ(r.right - r.left, 452);
    EXPECT_EQ(r.bottom - r.top, 260);
    EXPECT_EQ(drv::WidgetText(&dlg->m_staticAnalyzerTitle), "Pitch Analyzer");
    ASSERT_TRUE(drv::ChooseComboItem(&dlg->m_comboKeyRange, 1));  // G2: a speaking voice on the grid
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nKeyRange == 1; }));

    ASSERT_TRUE(drv::Click(&dlg->m_btnLive));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 1; }));
    ASSERT_TRUE(InputReached(6.0));
    drv::WaitUntil([&] { return CountInImage(RGB(0, 255, 0)) > 20; }, kUiDeadlineMs);
    EXPECT_GT(CountInImage(RGB(0, 255, 0)), 20) << "the track is shown during the run";
    Shot("pitch-during-run");

    // Hover over row 7 (y 170..179): the row brightens on screen, not in the image.
    ASSERT_TRUE(drv::MouseAt(&dlg->m_fftScreen, WM_MOUSEMOVE, 300, 175));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_fftScreen.m_nHoverKey == 7; }));
    ASSERT_TRUE(drv::WaitUntil([&] { return Screen(300, 175) != Image(300, 175); }, 2000));
    const COLORREF img = Image(300, 175), shown = Screen(300, 175);
    EXPECT_EQ(GetRValue(shown), std::min(255, GetRValue(img) + 96));
    EXPECT_EQ(GetGValue(shown), std::min(255, GetGValue(img) + 64));
    Shot("pitch-hover-during-run");

    ASSERT_TRUE(InputReached(15.0));
    ASSERT_TRUE(drv::Click(&dlg->m_btnStop));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }));
    // Two pages of history; the scroll bar offers them with the last one shown.
    drv::WaitUntil([&] {
        return dlg->m_fftScreen.m_nPageCount == 2 && drv::WidgetEnabled(&dlg->m_scrollHistory) &&
               drv::WidgetMaximum(&dlg->m_scrollHistory) == 2 && drv::WidgetValue(&dlg->m_scrollHistory) == 2;
    }, kUiDeadlineMs);
    ASSERT_EQ(dlg->m_fftScreen.m_nPageCount, 2);
    EXPECT_TRUE(drv::WidgetEnabled(&dlg->m_scrollHistory));
    EXPECT_EQ(drv::WidgetMaximum(&dlg->m_scrollHistory), 2);
    EXPECT_EQ(drv::WidgetValue(&dlg->m_scrollHistory), 2);
    Shot("pitch-after-run");
    ASSERT_TRUE(drv::ClickScrollArrow(&dlg->m_scrollHistory, false));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_scrollHistory.GetScrollPos() == 1; }));
    drv::ProcessEvents(100);
    Shot("pitch-page-1");
    ASSERT_TRUE(drv::ClickScrollArrow(&dlg->m_scrollHistory, true));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_scrollHistory.GetScrollPos() == 2; }));
    drv::ProcessEvents(100);
    EXPECT_GT(CountInImage(RGB(0, 255, 0)), 5);
    Shot("pitch-page-2");

    // A click on the lowest row of G2 plays G2 (MIDI 43) for half a second.
    platform::midi::TakeRecordedMidi();
    ASSERT_TRUE(drv::MouseAt(&dlg->m_fftScreen, WM_LBUTTONDOWN, 300, 245));
    ASSERT_TRUE(drv::MouseAt(&dlg->m_fftScreen, WM_LBUTTONUP, 300, 245));
    std::vector<std::string> sent;
    ASSERT_TRUE(drv::WaitUntil([&] {
        for (const auto& m : platform::midi::TakeRecordedMidi()) sent.push_back(platform::midi::HexBytes(m.bytes));
        return sent.size() >= 2;
    }));
    EXPECT_EQ(sent, (std::vector<std::string>{"90 2B 7F", "90 2B 00"}));
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
}

TEST_F(QtAnalyserTest, NoteAndVolumeLabelsAfterHoursOfPageTurnsLookAsOneFreshDraw) {
    StartWith("voice.wav", kRunSpeed);
    dlg->m_bShowVolumeGraph = TRUE;
    // The note names left of the grid and the volume scale right of it, in client pixels.
    const CRect areas[2] = {CRect(380, 20, 396, 280), CRect(852, 20, 872, 285)};
    const auto snapshot = [&] {
        std::vector<COLORREF> pixels;
        const platform::ui::Surface* s = dlg->GetClientSurface();
        for (const CRect& r : areas)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) pixels.push_back(s->GetPixel(x, y));
        return pixels;
    };
    dlg->DrawAnalyzerLabels(TRUE);
    drv::ProcessEvents(50);
    const std::vector<COLORREF> fresh = snapshot();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    int inked = 0;
    for (COLORREF c : fresh) inked += c != face;
    EXPECT_GT(inked, 60) << "no labels drawn";
    // A page turns every ten seconds of a run: 360 of them are an hour.
    for (int page = 0; page < 360; ++page) dlg->DrawAnalyzerLabels(FALSE);
    drv::ProcessEvents(50);
    const std::vector<COLORREF> later = snapshot();
    int changed = 0;
    for (std::size_t i = 0; i < fresh.size(); ++i) changed += fresh[i] != later[i];
    EXPECT_EQ(changed, 0) << "pixels of the labels differ from one fresh draw";
    EXPECT_EQ(drv::GrabPixel(dlg.get(), 388, 150), dlg->GetClientSurface()->GetPixel(388, 150));
    Shot("labels-after-an-hour");
}

TEST_F(QtAnalyserTest, SpectrumViewInEveryAxisModeWithTheKeyboardHover) {
    StartWith("voice-stereo.wav", "1");
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_PHASE_VOCODER)));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nMethod == 1; }));
    EXPECT_EQ(drv::WidgetText(&dlg->m_staticAnalyzerTitle), "Spectrum Analyzer");
    ASSERT_TRUE(drv::Click(&dlg->m_btnLive));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 1; }));
    ASSERT_TRUE(InputReached(2.0));

    const struct {
        int radio;
        int mode;
        const char* name;
        const char* lowest;  // level label 1056
    } axes[] = {{1033, 0, "log", "-120"}, {1034, 1, "linear1", "-120"}, {1035, 3, "linear2", "-120"}, {1050, 2, "keyboard", "-60"}};
    for (const auto& a : axes) {
        SCOPED_TRACE(a.name);
        ASSERT_TRUE(drv::Click(dlg->GetDlgItem(a.radio)));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nAxisMode == a.mode && dlg->m_fftScreen.m_nAxisMode == a.mode; }));
        EXPECT_EQ(drv::WidgetText(&dlg->m_staticDbLabel3), a.lowest);
        // The timer draws the next frames of speech (the recording has pauses) in the new axis.
        EXPECT_TRUE(drv::WaitUntil([&] { return CountInImage(RGB(0, 255, 255)) + CountInImage(RGB(255, 0, 255)) > 10; }, 8000));
    }
    // Hover over key A3 (key 21): its column brightens and its key turns red on screen.
    const int x = (21 * 452 / 49 + (22 * 452) / 49) / 2;
    ASSERT_TRUE(drv::MouseAt(&dlg->m_fftScreen, WM_MOUSEMOVE, x, 150));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_fftScreen.m_nHoverKey == 21; }));
    ASSERT_TRUE(drv::WaitUntil([&] { return Screen(x, 25) == RGB(255, 0, 0); }, 2000));
    Shot("spectrum-keyboard-hover");
    ASSERT_TRUE(drv::Click(&dlg->m_btnStop));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }));
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
}

}  // namespace
