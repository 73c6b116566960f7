// The effect dialog as a window without a window system: its graphs painted into the client
// area, the Effect button's toggle and the ways of closing it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "effects/EffectGraphs.h"
#include "platform/ui/msgbox.h"
#include "resources/resource_ids.h"
#include "support/TempFolder.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kFilterGrid = RGB(0, 128, 0);
constexpr COLORREF kImpulseGrid = RGB(0, 64, 0);
// Places of the two graphs in the client area.
constexpr int kFilterX = 24, kFilterY = 210;
constexpr int kImpulseX = 50, kImpulseY = 480;

class EffectDialogWindowTest : public ::testing::Test {
protected:
    EffectDialogWindowTest() {
        mainDlg.m_nBlockBytes = 32768;
        platform::ui::TakeHeadlessMessageBoxes();
    }

    CEQdlg& Effects() { return *mainDlg.m_pEQDlg.load(); }
    // A trackbar's redraw, as the window system reports it.
    void Redraw(int id) {
        NMHDR hdr;
        hdr.idFrom = static_cast<UINT>(id);
        hdr.code = NM_CUSTOMDRAW;
        Effects().SendMessage(WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&hdr));
    }
    void SetGain(int band, int gain) {
        Effects().m_sliderBand[band].SetPos(-gain);
        Redraw(IDC_EQ_BAND0 + band);
    }
    void Paint() {
        Effects().Invalidate(FALSE);
        Effects().UpdateWindow();
    }
    COLORREF FilterPixel(int x, int y) { return Effects().GetClientSurface()->GetPixel(kFilterX + x, kFilterY + y); }
    COLORREF ImpulsePixel(int x, int y) { return Effects().GetClientSurface()->GetPixel(kImpulseX + x, kImpulseY + y); }

    TempFolder folder;
    CWaveInOutDlg mainDlg{folder.Path()};
};

TEST_F(EffectDialogWindowTest, FirstPressMakesTheDialogShownFlatWithTheKeptReverbValuesOnTheGrid) {
    mainDlg.m_fReverbAttenuation = 0.72f;  // as a settings file may hold it
    mainDlg.m_nPresetGain[2][5] = 9;
    mainDlg.OnBnClickedEffect();
    ASSERT_NE(mainDlg.m_pEQDlg.load(), nullptr);
    CEQdlg& dlg = Effects();
    EXPECT_TRUE(mainDlg.m_bEffectShown);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(dlg.GetWindowText(), "Sound Effect (Graphic Equalizer & Reverb)");
    EXPECT_EQ(dlg.m_editQ.GetWindowText(), "1.0");
    EXPECT_EQ(dlg.m_chkEQ.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg.m_chkReverb.GetCheck(), BST_UNCHECKED);
    for (int k = 0; k < kEqBands; ++k) EXPECT_EQ(dlg.m_staticBandValue[k].GetWindowText(), "  0");
    EXPECT_EQ(dlg.m_sliderAttenuation.GetPos(), 14);
    EXPECT_EQ(dlg.m_fAttenuation, 14 * 0.05f);
    EXPECT_EQ(dlg.m_staticAttenuation.GetWindowText(), "0.70");
    EXPECT_EQ(dlg.m_sliderDelay.GetPos(), 7);
    EXPECT_EQ(dlg.m_sliderRepeat.GetPos(), 12);
    EXPECT_EQ(dlg.m_nPresetGain[2][5], 9);
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());
}

TEST_F(EffectDialogWindowTest, EffectButtonHidesAndShowsTheSameObjectWithItsState) {
    mainDlg.OnBnClickedEffect();
    CEQdlg* first = mainDlg.m_pEQDlg.load();
    SetGain(3, 6);
    mainDlg.OnBnClickedEffect();
    EXPECT_FALSE(mainDlg.m_bEffectShown);
    EXPECT_FALSE(first->IsWindowVisible());
    mainDlg.OnBnClickedEffect();
    EXPECT_EQ(mainDlg.m_pEQDlg.load(), first);
    EXPECT_TRUE(first->IsWindowVisible());
    EXPECT_EQ(first->m_nGain[3], 6);
    EXPECT_EQ(first->m_sliderBand[3].GetPos(), -6);
}

TEST_F(EffectDialogWindowTest, EveryWayOfClosingHidesItAndClearsTheShownFlag) {
    mainDlg.OnBnClickedEffect();
    CEQdlg& dlg = Effects();
    const std::vector<std::pair<UINT, WPARAM>> closers = {
        {WM_CLOSE, 0},
        {WM_COMMAND, MAKEWPARAM(IDC_EQ_CLOSE, BN_CLICKED)},
        {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)},  // Escape
        {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)},      // Enter
    };
    for (const auto& [message, wParam] : closers) {
        ASSERT_TRUE(dlg.IsWindowVisible());
        dlg.SendMessage(message, wParam, 0);
        EXPECT_FALSE(dlg.IsWindowVisible()) << message << " " << wParam;
        EXPECT_FALSE(mainDlg.m_bEffectShown) << message << " " << wParam;
        // One press of Effect shows it again.
        mainDlg.OnBnClickedEffect();
        EXPECT_TRUE(dlg.IsWindowVisible());
    }
    EXPECT_EQ(mainDlg.m_pEQDlg.load(), &dlg);
}

// Row of a value in dB as the graph's scale has it: 50 - dB·100/24 (0 dB at row 50, +12 dB at
// the top), limited to 0..150.
int RowOf(float db) { return std::clamp(static_cast<int>(std::trunc(50.0f - db * 100.0f / 24.0f)), 0, 150); }

TEST_F(EffectDialogWindowTest, FilterGraphDrawsPlusTwelveAtTheTopZeroAtRowFiftyAndClipsMinusTwentyFour) {
    mainDlg.OnBnClickedEffect();
    SetGain(4, 12);
    Paint();
    EXPECT_NEAR(Effects().m_fTotalResp[160], 12.0f, 0.01f);
    EXPECT_EQ(RowOf(Effects().m_fTotalResp[160]), 0);
    // The total in white with a 2-pixel pen: +12 dB on the top row at band 4's centre.
    EXPECT_EQ(FilterPixel(160, 0), kWhite);
    EXPECT_EQ(FilterPixel(159, 0), kWhite);
    EXPECT_NE(FilterPixel(160, 2), kWhite);
    // Away from the band the total is near 0 dB, where the scale puts it.
    for (int x : {10, 250, 390}) {
        const int r = RowOf(Effects().m_fTotalResp[x]);
        EXPECT_EQ(FilterPixel(x, r), kWhite) << x;
        EXPECT_EQ(FilterPixel(x, r - 3), kBlack) << x;  // the flat bands lie below it
    }

    // -24 dB lies on row 150, just below the picture: only the pen's upper half shows, on the
    // bottom row, and nothing above it.
    SetGain(4, 0);
    SetGain(8, -24);
    Paint();
    EXPECT_NEAR(Effects().m_fTotalResp[320], -24.0f, 0.01f);
    EXPECT_EQ(RowOf(Effects().m_fTotalResp[320]), 150);
    EXPECT_EQ(FilterPixel(320, 149), kWhite);
    EXPECT_NE(FilterPixel(320, 147), kWhite);

    // Flat bands: the total lies on row 50 (and 49, the pen's other half) across the picture.
    Effects().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_EQ_RESET, BN_CLICKED), 0);
    Paint();
    for (int x : {1, 100, 201, 398}) {
        EXPECT_EQ(FilterPixel(x, 50), kWhite) << x;
        EXPECT_EQ(FilterPixel(x, 49), kWhite) << x;
        EXPECT_EQ(FilterPixel(x, 52), kBlack) << x;
    }
    // Grid every 6 dB and every octave, dark green; the rest black.
    EXPECT_EQ(FilterPixel(10, 25), kFilterGrid);
    EXPECT_EQ(FilterPixel(10, 125), kFilterGrid);
    EXPECT_EQ(FilterPixel(80, 90), kFilterGrid);
    EXPECT_EQ(FilterPixel(10, 90), kBlack);
}

TEST_F(EffectDialogWindowTest, FilterGraphDrawsEachBandInItsColour) {
    mainDlg.OnBnClickedEffect();
    // Neighbouring bands with opposite gains: each band's curve lies away from the total.
    SetGain(2, 12);
    SetGain(3, -12);
    Paint();
    struct Probe {
        int band, x;
        COLORREF colour;
    };
    for (const Probe& p : {Probe{2, 80, RGB(0, 255, 0)}, Probe{3, 120, RGB(0, 255, 255)}}) {
        const int bandRow = RowOf(Effects().m_fBandResp[p.band][p.x]);
        ASSERT_GE(std::abs(bandRow - RowOf(Effects().m_fTotalResp[p.x])), 3) << p.band;
        EXPECT_EQ(FilterPixel(p.x, bandRow), p.colour) << p.band;
    }
}

TEST_F(EffectDialogWindowTest, ImpulseGraphDrawsTheDefaultReverbsBarsWhereTheFormulaPutsThem) {
    mainDlg.OnBnClickedEffect();
    Paint();
    // Gains worked out here: 0.7^k scaled by 1 / max(0.75·sum, 1), the direct path included.
    double sum = 1.0;
    for (int k = 1; k <= 12; ++k) sum += std::pow(0.7, k);
    const double norm = 1.0 / std::max(0.75 * sum, 1.0);
    EXPECT_NEAR(norm, 0.40391, 1e-4);
    std::vector<int> columns;
    const float delay = 7 * 0.01f;  // trackbar position 7
    for (int k = 0; k <= 12; ++k) {
        const int x = k == 0 ? 2 : static_cast<int>(static_cast<float>(250 * k) * delay);
        const int top = static_cast<int>((1.0 - norm * std::pow(0.7, k)) * 100.0);
        if (k > 0) columns.push_back(x);
        SCOPED_TRACE(k);
        // A 2-pixel bar from the bottom up to its top row: columns x-1 and x.
        EXPECT_EQ(ImpulsePixel(x, 99), kYellow);
        EXPECT_EQ(ImpulsePixel(x - 1, 99), kYellow);
        EXPECT_EQ(ImpulsePixel(x, top), kYellow);
        EXPECT_EQ(ImpulsePixel(x, top - 1), kBlack);
        EXPECT_EQ(ImpulsePixel(x + 1, 99), kBlack);
    }
    EXPECT_EQ(columns.front(), 17);
    EXPECT_EQ(columns[1], 35);
    EXPECT_EQ(columns[2], 52);
    EXPECT_EQ(columns.back(), 210);
    // Nothing after the twelfth echo; the grid at gain 0.5 and at 0.5 s and 1.0 s.
    EXPECT_EQ(ImpulsePixel(228, 99), kBlack);
    EXPECT_EQ(ImpulsePixel(300, 50), kImpulseGrid);
    EXPECT_EQ(ImpulsePixel(125, 20), kImpulseGrid);
    EXPECT_EQ(ImpulsePixel(250, 20), kImpulseGrid);
}

TEST_F(EffectDialogWindowTest, ImpulseGraphFollowsTheReverbTrackbars) {
    mainDlg.OnBnClickedEffect();
    CEQdlg& dlg = Effects();
    dlg.m_sliderDelay.SetPos(10);
    Redraw(IDC_REVERB_DELAY);
    dlg.m_sliderRepeat.SetPos(1);
    Redraw(IDC_REVERB_REPEAT);
    dlg.m_sliderAttenuation.SetPos(1);
    Redraw(IDC_REVERB_ATTENUATION);
    Paint();
    // One echo at 0.1 s, gain 0.05 (the sum 1.05 is below 4/3: no scaling).
    const int x = static_cast<int>(250.0f * (10 * 0.01f));
    const int top = static_cast<int>((1.0f - 1 * 0.05f) * 100.0f);
    EXPECT_EQ(x, 24);  // 0.1 s in single precision lies just below 25 columns
    EXPECT_EQ(ImpulsePixel(x, top), kYellow);
    EXPECT_EQ(ImpulsePixel(x, top - 1), kBlack);
    EXPECT_EQ(ImpulsePixel(x + 1, 99), kBlack);
    EXPECT_EQ(ImpulsePixel(2, 0), kYellow);  // the direct path at gain 1
    EXPECT_EQ(ImpulsePixel(17, 99), kBlack);
}

TEST(EffectGraphRows, ValuesBeyondThePictureOrNotNumbersAreLimitedBeforeBecomingIntegers) {
    EXPECT_EQ(FilterGraphRow(12.0f), 0);
    EXPECT_EQ(FilterGraphRow(0.0f), 50);
    EXPECT_EQ(FilterGraphRow(-24.0f), 150);
    EXPECT_EQ(FilterGraphRow(1e30f), 0);
    EXPECT_EQ(FilterGraphRow(-1e30f), 150);
    EXPECT_EQ(FilterGraphRow(-std::numeric_limits<float>::infinity()), 150);
    EXPECT_EQ(FilterGraphRow(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(ImpulseGraphRow(1.0f), 0);
    EXPECT_EQ(ImpulseGraphRow(-1e30f), 100);
    EXPECT_EQ(ImpulseGraphRow(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST_F(EffectDialogWindowTest, BadQAsksOnceEvenWhenEveryTrackbarRedrawsAfterwards) {
    mainDlg.OnBnClickedEffect();
    Effects().m_editQ.SetWindowText("abc");
    for (int k = 0; k < kEqBands; ++k) Redraw(IDC_EQ_BAND0 + k);
    EXPECT_EQ(platform::ui::TakeHeadlessMessageBoxes().size(), 1u);
    EXPECT_EQ(Effects().m_editQ.GetWindowText(), "1.0");
}

TEST_F(EffectDialogWindowTest, ClosingTheProgramWritesTheDialogsPresetsEvenWhileItIsHidden) {
    mainDlg.OnBnClickedEffect();
    SetGain(7, 5);
    Effects().OnPreset(2, true);
    Effects().m_sliderRepeat.SetPos(3);
    Redraw(IDC_REVERB_REPEAT);
    mainDlg.OnBnClickedEffect();  // hidden
    mainDlg.CloseOperation();
    EXPECT_EQ(mainDlg.m_pEQDlg.load(), nullptr);
    EXPECT_EQ(mainDlg.m_nPresetGain[1][7], 5);
    EXPECT_EQ(mainDlg.m_nReverbRepeat, 3);
    CSettingsFile settings(folder.Path());
    settings.Read(folder.File("sorvel.ini"));
    EXPECT_EQ(settings.m_nPresetGain[1][7], 5);
    EXPECT_EQ(settings.m_nReverbRepeat, 3);
}

}  // namespace
