#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "effects/PeakingDesign.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/userinput.h"
#include "platform/ui/windowsystem.h"
#include "support/TempFolder.h"

namespace {

class EQdlgTest : public ::testing::Test {
protected:
    EQdlgTest() {
        mainDlg.m_nBlockBytes = 32768;
        dlg = std::make_unique<CEQdlg>(&mainDlg);
        platform::ui::TakeHeadlessMessageBoxes();
    }

    // A trackbar's redraw, as the window system reports it.
    void Redraw(int id) {
        NMHDR hdr;
        hdr.idFrom = static_cast<UINT>(id);
        hdr.code = NM_CUSTOMDRAW;
        dlg->SendMessage(WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&hdr));
    }
    void Click(int id) { dlg->SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<UINT>(id), BN_CLICKED), 0); }
    void SetGain(int band, int gain) {
        dlg->m_sliderBand[band].SetPos(-gain);
        Redraw(CEQdlg::IDC_SLIDER_BAND0 + band);
    }
    void ExpectBandDesignedWith(int band, int gain, float q) {
        float b[3];
        float a[3];
        DesignPeaking(static_cast<float>(EqBandFrequency(band)), static_cast<float>(gain), q, b, a);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dlg->m_design.b[band][i], b[i]) << "band " << band;
            EXPECT_EQ(dlg->m_design.a[band][i], a[i]) << "band " << band;
        }
    }
    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> texts;
        for (const auto& box : platform::ui::TakeHeadlessMessageBoxes()) texts.push_back(box.text);
        return texts;
    }

    TempFolder folder;
    CWaveInOutDlg mainDlg{folder.Path()};
    std::unique_ptr<CEQdlg> dlg;
};

TEST_F(EQdlgTest, StartsFlatWithBothEffectsOffAndTheReverbDefaults) {
    EXPECT_EQ(dlg->GetTemplateId(), 103u);
    EXPECT_EQ(dlg->m_nBufLen, 32768);
    EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.0");
    for (int k = 0; k < kEqBands; ++k) {
        EXPECT_EQ(dlg->m_sliderBand[k].GetPos(), 0);
        EXPECT_EQ(dlg->m_sliderBand[k].GetRangeMin(), -12);
        EXPECT_EQ(dlg->m_sliderBand[k].GetRangeMax(), 24);
        EXPECT_EQ(dlg->m_sliderBand[k].GetTics(), (std::vector<int>{-12, -6, 0, 6, 12, 18, 24}));
        EXPECT_EQ(dlg->GetDlgItem(CEQdlg::IDC_SLIDER_BAND0 + k), &dlg->m_sliderBand[k]);
    }
    EXPECT_FALSE(dlg->m_bEQ);
    EXPECT_FALSE(dlg->m_bReverb);
    EXPECT_EQ(dlg->m_sliderAttenuation.GetPos(), 14);
    EXPECT_EQ(dlg->m_sliderDelay.GetPos(), 7);
    EXPECT_EQ(dlg->m_sliderRepeat.GetPos(), 12);
    EXPECT_EQ(dlg->m_staticAttenuation.GetWindowText(), "0.70");
    EXPECT_EQ(dlg->m_staticDelay.GetWindowText(), "0.07");
    EXPECT_EQ(dlg->m_staticRepeat.GetWindowText(), "12");
}

TEST_F(EQdlgTest, FirstBandRedrawDesignsEveryBand) {
    Redraw(CEQdlg::IDC_SLIDER_BAND0 + 4);
    EXPECT_EQ(dlg->m_fQ, 1.0f);
    for (int k = 0; k < kEqBands; ++k) {
        ExpectBandDesignedWith(k, 0, 1.0f);
        EXPECT_EQ(dlg->m_staticBandValue[k].GetWindowText(), "  0");
    }
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(EQdlgTest, BandRedrawTakesTheNegatedPositionAsGain) {
    SetGain(3, 12);
    SetGain(8, -24);
    EXPECT_EQ(dlg->m_nGain[3], 12);
    EXPECT_EQ(dlg->m_nGain[8], -24);
    EXPECT_EQ(dlg->m_staticBandValue[3].GetWindowText(), " 12");
    EXPECT_EQ(dlg->m_staticBandValue[8].GetWindowText(), "-24");
    ExpectBandDesignedWith(3, 12, 1.0f);
    ExpectBandDesignedWith(8, -24, 1.0f);
    EXPECT_NEAR(dlg->m_fBandResp[3][120], 12.0f, 0.01f);
    EXPECT_NEAR(dlg->m_fBandResp[8][320], -24.0f, 0.01f);
}

TEST_F(EQdlgTest, TotalResponseIsTheSumOfTheBandsInBandOrder) {
    SetGain(0, 7);
    SetGain(5, -13);
    SetGain(10, 4);
    for (int j = 0; j < kEqResponsePoints; ++j) {
        float sum = 0.0f;
        for (int k = 0; k < kEqBands; ++k) sum = sum + dlg->m_fBandResp[k][j];
        ASSERT_EQ(dlg->m_fTotalResp[j], sum) << j;
    }
}

TEST_F(EQdlgTest, QThatIsNotAPositiveNormalNumberIsReportedAndReplacedByOne) {
    for (const char* text : {"0", "-1", "abc", "", "1e-40", "inf", "nan", "1e400", "--2"}) {
        dlg->m_editQ.SetWindowText(text);
        Redraw(CEQdlg::IDC_SLIDER_BAND0);
        EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Q値は正の実数です"})) << text;
        EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.0") << text;
        EXPECT_EQ(dlg->m_fQ, 1.0f) << text;
        ExpectBandDesignedWith(6, 0, 1.0f);
    }
}

TEST_F(EQdlgTest, QIsReadAsTheLeadingNumberOfTheText) {
    const std::pair<const char*, float> cases[] = {{" 2.5x", 2.5f}, {"+0.5", 0.5f}, {"3", 3.0f}, {"1e1", 10.0f},
                                                     {"0x2", 2.0f},   {"0X1.8p1", 3.0f}, {"0x.8q", 0.5f},
                                                     {"0x1p-1", 0.5f}};
    for (const auto& [text, q] : cases) {
        dlg->m_editQ.SetWindowText(text);
        Redraw(CEQdlg::IDC_SLIDER_BAND0);
        EXPECT_EQ(dlg->m_fQ, q) << text;
        EXPECT_EQ(dlg->m_editQ.GetWindowText(), text);
    }
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(EQdlgTest, HexadecimalPrefixWithoutDigitsReadsAsZeroQ) {
    for (const char* text : {"0x", "0xg", "0x-1"}) {
        dlg->m_editQ.SetWindowText(text);
        Redraw(CEQdlg::IDC_SLIDER_BAND0);
        EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Q値は正の実数です"})) << text;
        EXPECT_EQ(dlg->m_fQ, 1.0f) << text;
    }
}

TEST_F(EQdlgTest, NewQRedesignsEveryBandAtTheNextRedrawAndNotBefore) {
    SetGain(7, 6);
    MessageTexts();
    // Typed key by key, with what a shown dialog does meanwhile: its graphs painted, the reverb
    // trackbars redrawn. "0" on its way to "0.5" is no Q: read now, it would be refused.
    for (const char* typed : {"0", "0.", "0.5"}) {
        platform::ui::UserEditedText(&dlg->m_editQ, typed);
        dlg->SendMessage(WM_PAINT);
        Redraw(CEQdlg::IDC_SLIDER_ATTENUATION);
        Redraw(CEQdlg::IDC_SLIDER_DELAY);
        Redraw(CEQdlg::IDC_SLIDER_REPEAT);
        EXPECT_TRUE(MessageTexts().empty()) << typed;
        EXPECT_EQ(dlg->m_editQ.GetWindowText(), typed);
        EXPECT_EQ(dlg->m_fQ, 1.0f) << typed;
        ExpectBandDesignedWith(7, 6, 1.0f);
    }
    Redraw(CEQdlg::IDC_SLIDER_BAND0 + 1);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(dlg->m_fQ, 0.5f);
    for (int k = 0; k < kEqBands; ++k) ExpectBandDesignedWith(k, k == 7 ? 6 : 0, 0.5f);
}

TEST_F(EQdlgTest, CtrlClickStoresThePresetWithoutAnyVisibleChange) {
    SetGain(2, 9);
    SetGain(9, -5);
    dlg->OnPreset(3, true);
    EXPECT_EQ(dlg->m_nPresetGain[2][2], 9);
    EXPECT_EQ(dlg->m_nPresetGain[2][9], -5);
    EXPECT_EQ(dlg->m_fPresetQ[2], 1.0f);
    EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.0");
    EXPECT_EQ(dlg->m_sliderBand[2].GetPos(), -9);

    Click(CEQdlg::IDC_RESET);
    EXPECT_EQ(dlg->m_nGain[2], 0);
    dlg->OnPreset(3, false);
    EXPECT_EQ(dlg->m_sliderBand[2].GetPos(), -9);
    EXPECT_EQ(dlg->m_sliderBand[9].GetPos(), 5);
    EXPECT_EQ(dlg->m_nGain[2], 9);
    EXPECT_EQ(dlg->m_nGain[9], -5);
    EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.000");
    ExpectBandDesignedWith(9, -5, 1.0f);
}

TEST_F(EQdlgTest, PresetButtonsStoreWithCtrlHeldAndLoadWithout) {
    const int buttons[CEQdlg::kPresets] = {CEQdlg::IDC_PRESET1, CEQdlg::IDC_PRESET2, CEQdlg::IDC_PRESET3,
                                           CEQdlg::IDC_PRESET4};
    for (int p = 0; p < CEQdlg::kPresets; ++p) {
        SetGain(p, 3 + p);
        platform::ui::SetHeadlessKeyDown(VK_CONTROL, true);
        Click(buttons[p]);
        platform::ui::SetHeadlessKeyDown(VK_CONTROL, false);
        EXPECT_EQ(dlg->m_nPresetGain[p][p], 3 + p) << "preset " << p + 1;
        EXPECT_EQ(dlg->m_fPresetQ[p], 1.0f) << "preset " << p + 1;
        SetGain(p, 0);
    }
    for (int p = 0; p < CEQdlg::kPresets; ++p) {
        Click(buttons[p]);
        EXPECT_EQ(dlg->m_nGain[p], 3 + p) << "preset " << p + 1;
        EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.000");
    }
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(EQdlgTest, PresetGainsOutsideTheTrackbarRangeAreLimitedByIt) {
    dlg->m_nPresetGain[0][0] = 40;
    dlg->m_nPresetGain[0][1] = -100;
    dlg->m_nPresetGain[0][2] = INT_MIN;
    dlg->m_nPresetGain[0][3] = INT_MAX;
    dlg->m_fPresetQ[0] = 0.5f;
    dlg->OnPreset(1, false);
    EXPECT_EQ(dlg->m_nGain[0], 12);
    EXPECT_EQ(dlg->m_nGain[1], -24);
    EXPECT_EQ(dlg->m_nGain[2], -24);
    EXPECT_EQ(dlg->m_nGain[3], 12);
    EXPECT_EQ(dlg->m_editQ.GetWindowText(), "0.500");
    ExpectBandDesignedWith(0, 12, 0.5f);
}

TEST_F(EQdlgTest, PresetWithoutAQShowsTheQMessage) {
    dlg->OnPreset(4, false);  // presets start with Q 0 until the main dialog's are copied in
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Q値は正の実数です"}));
    EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.0");
}

TEST_F(EQdlgTest, ResetFlattensEveryBandAndTheQ) {
    SetGain(1, 12);
    dlg->m_editQ.SetWindowText("3.0");
    Click(CEQdlg::IDC_RESET);
    EXPECT_EQ(dlg->m_editQ.GetWindowText(), "1.0");
    for (int k = 0; k < kEqBands; ++k) {
        EXPECT_EQ(dlg->m_sliderBand[k].GetPos(), 0);
        ExpectBandDesignedWith(k, 0, 1.0f);
    }
}

TEST_F(EQdlgTest, EnableBoxesSwitchTheEffects) {
    dlg->m_chkEQ.SetCheck(BST_CHECKED);
    Click(CEQdlg::IDC_EQ_ENABLE);
    EXPECT_TRUE(dlg->m_bEQ);
    dlg->m_chkReverb.SetCheck(BST_CHECKED);
    Click(CEQdlg::IDC_REVERB_ENABLE);
    EXPECT_TRUE(dlg->m_bReverb);
    dlg->m_chkEQ.SetCheck(BST_UNCHECKED);
    Click(CEQdlg::IDC_EQ_ENABLE);
    EXPECT_FALSE(dlg->m_bEQ);
}

TEST_F(EQdlgTest, ProcessEQFiltersWithTheDialogsDesign) {
    SetGain(5, 12);
    SetGain(6, -8);
    std::vector<float> buf(2048);
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = std::trunc(5000.0f * std::sin(0.07f * static_cast<float>(i)));
    CGraphicEqualizer reference;
    reference.Publish(dlg->m_design);
    std::vector<float> expected = buf;
    reference.Process(expected.data(), 2048, 1);
    dlg->ProcessEQ(buf.data(), 2048, 1);
    EXPECT_EQ(buf, expected);
}

TEST_F(EQdlgTest, ReverbTrackbarsSetValuesTextsAndEchoGainsAtOnce) {
    dlg->m_sliderAttenuation.SetPos(19);
    Redraw(CEQdlg::IDC_SLIDER_ATTENUATION);
    dlg->m_sliderRepeat.SetPos(15);
    Redraw(CEQdlg::IDC_SLIDER_REPEAT);
    dlg->m_sliderDelay.SetPos(1);
    Redraw(CEQdlg::IDC_SLIDER_DELAY);
    EXPECT_EQ(dlg->m_fAttenuation, 19.0f * 0.05f);
    EXPECT_EQ(dlg->m_fDelay, 0.01f);
    EXPECT_EQ(dlg->m_nRepeat, 15);
    EXPECT_EQ(dlg->m_staticAttenuation.GetWindowText(), "0.95");
    EXPECT_EQ(dlg->m_staticDelay.GetWindowText(), "0.01");
    EXPECT_EQ(dlg->m_staticRepeat.GetWindowText(), "15");
    EXPECT_NEAR(dlg->m_fEchoGain[0], 0.1191f, 0.00005f);

    // The engine hears the new train without the dialog ever painting.
    std::vector<float> block(8192, 0.0f);
    block[0] = 10000.0f;
    dlg->ProcessReverb(block.data(), 8192, 1);
    EXPECT_FLOAT_EQ(block[441 * 15], 10000.0f * dlg->m_fEchoGain[15]);
}

TEST_F(EQdlgTest, ReverbDefaultRestoresTheDefaultValues) {
    dlg->m_sliderAttenuation.SetPos(3);
    dlg->m_sliderDelay.SetPos(2);
    dlg->m_sliderRepeat.SetPos(1);
    Redraw(CEQdlg::IDC_SLIDER_ATTENUATION);
    Redraw(CEQdlg::IDC_SLIDER_DELAY);
    Redraw(CEQdlg::IDC_SLIDER_REPEAT);
    Click(CEQdlg::IDC_REVERB_DEFAULT);
    EXPECT_EQ(dlg->m_sliderAttenuation.GetPos(), 14);
    EXPECT_EQ(dlg->m_sliderDelay.GetPos(), 7);
    EXPECT_EQ(dlg->m_sliderRepeat.GetPos(), 12);
    EXPECT_EQ(dlg->m_nRepeat, 12);
    EXPECT_NEAR(dlg->m_fEchoGain[0], 0.40391f, 0.000005f);
}

TEST_F(EQdlgTest, SwitchingTheReverbOnClearsItsHistoryAtTheNextBlock) {
    dlg->m_chkReverb.SetCheck(BST_CHECKED);
    Click(CEQdlg::IDC_REVERB_ENABLE);
    std::vector<float> loud(16384, 12000.0f);
    dlg->ProcessReverb(loud.data(), 16384, 1);
    dlg->m_chkReverb.SetCheck(BST_UNCHECKED);
    Click(CEQdlg::IDC_REVERB_ENABLE);
    dlg->m_chkReverb.SetCheck(BST_CHECKED);
    Click(CEQdlg::IDC_REVERB_ENABLE);
    std::vector<float> silence(16384, 0.0f);
    dlg->ProcessReverb(silence.data(), 16384, 1);
    EXPECT_EQ(silence, std::vector<float>(16384, 0.0f));
}

TEST_F(EQdlgTest, ShowingPutsCopiedValuesOnTheTrackbarGrid) {
    dlg->m_fAttenuation = 0.72f;
    dlg->m_fDelay = 0.5f;  // beyond the trackbar
    dlg->m_nRepeat = 40;
    dlg->OnShowWindow(TRUE, 0);
    EXPECT_EQ(dlg->m_sliderAttenuation.GetPos(), 14);
    EXPECT_EQ(dlg->m_fAttenuation, 14.0f * 0.05f);
    EXPECT_EQ(dlg->m_sliderDelay.GetPos(), 10);
    EXPECT_EQ(dlg->m_fDelay, 10.0f * 0.01f);
    EXPECT_EQ(dlg->m_nRepeat, 15);
    for (int k = 0; k < kEqBands; ++k) ExpectBandDesignedWith(k, 0, 1.0f);
}

TEST_F(EQdlgTest, HidingOnlyMovesTheTrackbars) {
    dlg->m_fDelay = std::nanf("");
    dlg->m_fAttenuation = 1e30f;
    dlg->OnShowWindow(FALSE, 0);
    EXPECT_EQ(dlg->m_sliderDelay.GetPos(), 7);
    EXPECT_EQ(dlg->m_sliderAttenuation.GetPos(), 19);
    EXPECT_EQ(dlg->m_fAttenuation, 1e30f);
    EXPECT_EQ(dlg->m_design.b[0][1], 0.0f);  // nothing designed
}

TEST_F(EQdlgTest, DeletingTheDialogHandsPresetsAndReverbValuesToTheMainDialog) {
    SetGain(4, -7);
    dlg->OnPreset(2, true);
    dlg->m_fPresetQ[0] = 2.5f;
    dlg->m_sliderDelay.SetPos(3);
    Redraw(CEQdlg::IDC_SLIDER_DELAY);
    dlg.reset();
    EXPECT_EQ(mainDlg.m_nPresetGain[1][4], -7);
    EXPECT_EQ(mainDlg.m_fPresetQ[1], 1.0f);
    EXPECT_EQ(mainDlg.m_fPresetQ[0], 2.5f);
    EXPECT_EQ(mainDlg.m_fReverbDelay, 3.0f * 0.01f);
    EXPECT_EQ(mainDlg.m_fReverbAttenuation, 14.0f * 0.05f);
    EXPECT_EQ(mainDlg.m_nReverbRepeat, 12);
}

}  // namespace
