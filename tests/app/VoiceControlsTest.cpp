// The voice group: trackbar ratios and texts, the fixed settings and the four voice presets.
#include <gtest/gtest.h>

#include "StartedMainDialog.h"

namespace {

class VoiceControlsTest : public ::testing::Test {
protected:
    StartedMainDialog s;
    CWaveInOutDlg& dlg = s.dlg;

    std::string PitchText() const { return dlg.m_staticPitchValue.GetWindowText(); }
    std::string FormantText() const { return dlg.m_staticFormantValue.GetWindowText(); }
    void ChooseVocal(int id) {
        s.Click(1026);
        s.Click(id);
        s.Redraw();
    }
};

TEST_F(VoiceControlsTest, TrackbarRedrawSetsTheRatioAndItsText) {
    const struct {
        int pos;
        float ratio;
        const char* text;
    } pitch[] = {{24, 2.0f, "200% (+12.0)"}, {-10, 0.74915f, " 75% (-5.0)"}, {0, 1.0f, "100% ( 0.0)"},
                 {-48, 0.25f, " 25% (-24.0)"}, {48, 4.0f, "400% (+24.0)"}, {1, 1.02930f, "103% (+0.5)"}};
    for (const auto& c : pitch) {
        dlg.m_sliderPitch.SetPos(c.pos);
        s.Redraw();
        EXPECT_NEAR(dlg.m_fPitchRatio.load(), c.ratio, 1e-5f) << c.pos;
        EXPECT_EQ(PitchText(), c.text) << c.pos;
    }
    dlg.m_sliderFormant.SetPos(-24);
    s.Redraw();
    EXPECT_FLOAT_EQ(dlg.m_fFormantRatio.load(), 0.5f);
    EXPECT_EQ(FormantText(), " 50% (-12.0)");
}

TEST_F(VoiceControlsTest, APositionSetByCodeCountsOnlyFromTheNextRedraw) {
    dlg.m_sliderPitch.SetPos(24);
    EXPECT_FLOAT_EQ(dlg.m_fPitchRatio.load(), 1.0f);
    EXPECT_EQ(PitchText(), "100% ( 0.0)");
    s.Redraw();
    EXPECT_FLOAT_EQ(dlg.m_fPitchRatio.load(), 2.0f);
}

TEST_F(VoiceControlsTest, ManToWomanRaisesPitchAnOctaveAndFormantAThirdOfOne) {
    s.Click(1007);
    s.Redraw();
    EXPECT_FLOAT_EQ(dlg.m_fPitchRatio.load(), 2.0f);
    EXPECT_NEAR(dlg.m_fFormantRatio.load(), 1.259921f, 1e-6f);
    EXPECT_EQ(PitchText(), "200% (+12.0)");
    EXPECT_EQ(FormantText(), "126% (+4.0)");
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 7);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 28);
    EXPECT_EQ(dlg.m_editCorrTh.GetWindowText(), "0.5");
    EXPECT_EQ(dlg.m_comboKeyRange.GetCurSel(), 1);
    EXPECT_EQ(dlg.m_nKeyRange, 1);
}

TEST_F(VoiceControlsTest, WomanToManLowersPitchAnOctaveAndResetRestoresEverything) {
    dlg.m_editCorrTh.SetWindowText("0.8");
    s.Click(1008);
    s.Redraw();
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), -24);
    EXPECT_EQ(dlg.m_sliderFormant.GetPos(), -10);
    EXPECT_EQ(PitchText(), " 50% (-12.0)");
    EXPECT_EQ(FormantText(), " 75% (-5.0)");
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 19);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 40);
    EXPECT_EQ(dlg.m_editCorrTh.GetWindowText(), "0.5");
    EXPECT_EQ(dlg.m_nKeyRange, 3);

    s.Click(1007);
    s.Click(1009);
    s.Redraw();
    EXPECT_FLOAT_EQ(dlg.m_fPitchRatio.load(), 1.0f);
    EXPECT_FLOAT_EQ(dlg.m_fFormantRatio.load(), 1.0f);
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 7);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 40);
    EXPECT_EQ(dlg.m_comboKeyRange.GetCurSel(), 3);
    EXPECT_EQ(dlg.m_nKeyRange, 3);
}

TEST_F(VoiceControlsTest, VocalCutHoldsThePitchAgainstFixedSettingsButNotAgainstReset) {
    dlg.m_sliderPitch.SetPos(12);
    ChooseVocal(1052);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);
    EXPECT_FLOAT_EQ(dlg.m_fPitchRatio.load(), 1.0f);

    s.Click(1008);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(dlg.m_sliderFormant.GetPos(), -10);
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 19);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 40);

    dlg.m_sliderPitch.SetPos(6);
    s.Click(1007);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 6);
    s.Click(1009);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);
}

TEST_F(VoiceControlsTest, PhaseVocoderWithoutVocalModeTakesTheFixedPitch) {
    ChooseVocal(1051);
    s.Click(1008);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), -24);
}

TEST_F(VoiceControlsTest, CtrlClickStoresTheVoiceGroupAndAClickBringsItBack) {
    dlg.m_voicePreset[1].nA4 = 415;
    dlg.m_voicePreset[1].fAmpThreshold = 0.25f;
    dlg.m_voicePreset[1].fPeakRatio = 0.5f;
    dlg.m_sliderPitch.SetPos(10);
    dlg.m_sliderFormant.SetPos(-6);
    s.Choose(dlg.m_comboMinKey, 12);
    s.Choose(dlg.m_comboMaxKey, 30);
    dlg.m_editCorrTh.SetWindowText("0.4567");
    s.Choose(dlg.m_comboKeyRange, 2);
    s.Choose(dlg.m_comboVoiceMode, 4);
    s.Redraw();

    s.CtrlClick(1023);
    const VoicePreset& p = dlg.m_voicePreset[1];
    EXPECT_EQ(p.nPitch, 10);
    EXPECT_EQ(p.nFormant, -6);
    EXPECT_EQ(p.nMinKey, 12);
    EXPECT_EQ(p.nMaxKey, 30);
    EXPECT_FLOAT_EQ(p.fCorrTh, 0.4567f);
    EXPECT_EQ(p.nKeyRange, 2);
    EXPECT_EQ(p.nVoiceMode, 4);
    EXPECT_EQ(p.nA4, 415);
    EXPECT_FLOAT_EQ(p.fAmpThreshold, 0.25f);
    EXPECT_FLOAT_EQ(p.fPeakRatio, 0.5f);
    // Storing changes nothing that is shown, and the other presets stay as they were.
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 10);
    EXPECT_EQ(dlg.m_editCorrTh.GetWindowText(), "0.4567");
    EXPECT_EQ(dlg.m_voicePreset[0].nPitch, 0);
    EXPECT_EQ(dlg.m_voicePreset[2].nVoiceMode, 1);

    s.Click(1009);
    s.Choose(dlg.m_comboVoiceMode, 1);
    s.Redraw();
    s.Click(1023);
    s.Redraw();
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 10);
    EXPECT_EQ(dlg.m_sliderFormant.GetPos(), -6);
    EXPECT_NEAR(dlg.m_fPitchRatio.load(), 1.33484f, 1e-5f);
    EXPECT_EQ(PitchText(), "133% (+5.0)");
    EXPECT_EQ(FormantText(), " 84% (-3.0)");
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 12);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 30);
    EXPECT_EQ(dlg.m_editCorrTh.GetWindowText(), "0.457");
    EXPECT_EQ(dlg.m_comboKeyRange.GetCurSel(), 2);
    EXPECT_EQ(dlg.m_nKeyRange, 2);
    EXPECT_EQ(dlg.m_comboVoiceMode.GetCurSel(), 4);
}

TEST_F(VoiceControlsTest, EveryPresetButtonHasItsOwnSlot) {
    const int ids[4] = {1011, 1023, 1029, 1030};
    for (int n = 0; n < 4; ++n) {
        dlg.m_sliderPitch.SetPos(n * 10 - 15);
        s.CtrlClick(ids[n]);
    }
    for (int n = 0; n < 4; ++n) EXPECT_EQ(dlg.m_voicePreset[n].nPitch, n * 10 - 15) << n;
    for (int n = 3; n >= 0; --n) {
        s.Click(ids[n]);
        EXPECT_EQ(dlg.m_sliderPitch.GetPos(), n * 10 - 15) << n;
    }
}

TEST_F(VoiceControlsTest, APresetNeverStoredAppliesTheDefaults) {
    s.Click(1007);
    s.Choose(dlg.m_comboVoiceMode, 6);
    dlg.m_editCorrTh.SetWindowText("0.9");
    s.Click(1030);
    s.Redraw();
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(dlg.m_sliderFormant.GetPos(), 0);
    EXPECT_EQ(dlg.m_comboMinKey.GetCurSel(), 7);
    EXPECT_EQ(dlg.m_comboMaxKey.GetCurSel(), 40);
    EXPECT_EQ(dlg.m_editCorrTh.GetWindowText(), "0.500");
    EXPECT_EQ(dlg.m_comboKeyRange.GetCurSel(), 3);
    EXPECT_EQ(dlg.m_nKeyRange, 3);
    EXPECT_EQ(dlg.m_comboVoiceMode.GetCurSel(), 1);
    EXPECT_EQ(FormantText(), "100% ( 0.0)");
}

TEST_F(VoiceControlsTest, AThresholdTextIsStoredAsTheNumberItStartsWith) {
    const struct {
        const char* text;
        float stored;
    } cases[] = {{"abc", 0.0f}, {"", 0.0f}, {"  0.25xyz", 0.25f}, {"+0.75", 0.75f}, {"1e-1", 0.1f}, {"-0.5", -0.5f}};
    for (const auto& c : cases) {
        dlg.m_editCorrTh.SetWindowText(c.text);
        s.CtrlClick(1011);
        EXPECT_FLOAT_EQ(dlg.m_voicePreset[0].fCorrTh, c.stored) << c.text;
    }
    dlg.m_editCorrTh.SetWindowText(std::string(99, ' ') + "0.3");
    s.CtrlClick(1011);
    EXPECT_FLOAT_EQ(dlg.m_voicePreset[0].fCorrTh, 0.0f);
}

TEST_F(VoiceControlsTest, PresetLoadKeepsThePitchWhileVocalExtractRuns) {
    dlg.m_voicePreset[2].nPitch = 20;
    dlg.m_voicePreset[2].nFormant = 4;
    ChooseVocal(1053);
    s.Click(1029);
    EXPECT_EQ(dlg.m_sliderPitch.GetPos(), 0);
    EXPECT_EQ(dlg.m_sliderFormant.GetPos(), 4);
}

TEST_F(VoiceControlsTest, KeyRangeFollowsTheComboOnlyInTdPsola) {
    s.Choose(dlg.m_comboKeyRange, 0);
    EXPECT_EQ(dlg.m_nKeyRange, 0);
    s.Click(1026);
    s.Choose(dlg.m_comboKeyRange, 4);
    EXPECT_EQ(dlg.m_nKeyRange, 0);
}

}  // namespace
