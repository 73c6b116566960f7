// The sound-effect dialog in its real window: opened from the main dialog's Effect button,
// driven with the mouse, its graphs on screen, and its effects heard in a phase-vocoder file run
// on the virtual sound devices.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "QtDialogOnDevices.h"
#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "effects/PeakingDesign.h"
#include "platform/wave/wavfileio.h"
#include "resources/resource_ids.h"
#include "support/RiffBytes.h"
#include "support/ScopedEnv.h"
#include "support/ProcessCpu.h"
#include "support/Signals.h"
#include "support/TempFolder.h"

namespace {

namespace drv = platform::ui::qt::testing;

// Seconds of white noise, mono, from a fixed seed (level about -20 dBFS).
std::string NoiseWave(double seconds) {
    std::uint32_t state = 12345u;
    std::string bytes;
    const int n = static_cast<int>(seconds * 44100.0);
    for (int i = 0; i < n; ++i) {
        int sum = 0;
        for (int j = 0; j < 4; ++j) {  // four uniform values: close to Gaussian
            state = state * 1664525u + 1013904223u;
            sum += static_cast<int>(state >> 20) - 2048;
        }
        bytes += riffbytes::Le16(static_cast<std::uint16_t>(static_cast<std::int16_t>(sum)));
    }
    return riffbytes::Wave(1, bytes);
}

std::vector<short> ReadSamples(const std::string& path) {
    platform::wave::WavAudio audio;
    std::string error;
    EXPECT_TRUE(platform::wave::ReadWavFile(path, &audio, &error)) << error;
    return std::vector<short>(audio.samples.begin(), audio.samples.end());
}

// Mean power in dB of the octave around C(k) (16.35 Hz · 2^k), from Hann-windowed DFT bins at
// eight frequencies across the octave in frames of 4096 samples over the middle of the signal.
double OctavePowerDb(const std::vector<short>& s, int k) {
    const double centre = 16.3516 * std::pow(2.0, k);
    const std::size_t frame = 4096;
    double sum = 0.0;
    int count = 0;
    for (std::size_t from = s.size() / 5; from + frame < s.size() * 4 / 5; from += s.size() / 30) {
        for (int i = 0; i < 8; ++i) {
            const double hz = centre * std::pow(2.0, (i - 3.5) / 8.0);
            const double m = signals::MagnitudeAt(s, from, frame, hz);
            sum += m * m;
            ++count;
        }
    }
    return 10.0 * std::log10(sum / count + 1e-9);
}

// Correlation of the signal with itself lag samples later, over its middle, normalised.
double Autocorrelation(const std::vector<short>& s, std::size_t lag) {
    double xy = 0.0, xx = 0.0;
    for (std::size_t i = s.size() / 5; i + lag < s.size() * 4 / 5; ++i) {
        xy += static_cast<double>(s[i]) * s[i + lag];
        xx += static_cast<double>(s[i]) * s[i];
    }
    return xx > 0.0 ? xy / xx : 0.0;
}

class QtEffectDialogTest : public QtDialogOnDevicesTest {
protected:
    void SetUp() override {
        QtUiTest::SetUp();
        noise = folder.File("noise.wav");
        riffbytes::WriteFile(noise, NoiseWave(6.0));
        StartDialog(noise, "4");
        if (HasFatalFailure()) return;
        ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_EFFECT)));
        ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_pEQDlg.load() != nullptr && drv::WidgetVisible(dlg->m_pEQDlg.load()); }));
        effects = dlg->m_pEQDlg.load();
        drv::ProcessEvents(50);
    }

    // Plays the noise file through the phase vocoder to its end; what the playback device played.
    std::vector<short> PlayNoise() {
        EXPECT_TRUE(drv::DropFiles(dlg.get(), {noise}, POINT{200, 200}));
        EXPECT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 2; }));
        EXPECT_TRUE(drv::WaitUntil([&] { return dlg->m_nRunState.load() == 0; }, 30000));
        // STOP closed the playback device, and with it the file it recorded into.
        return ReadSamples(folder.File("played.wav"));
    }

    COLORREF Pixel(int x, int y) { return drv::GrabPixel(effects, x, y); }

    // Types into the Q box one key at a time, letting the window run between the keys as it
    // does while a user types.
    void TypeKeyByKey(const std::string& text) {
        // The box takes the focus first: the control that loses it redraws then, and a band
        // trackbar that does so reads the Q as it stands before the typing.
        ASSERT_TRUE(drv::TypeText(&effects->m_editQ, effects->m_editQ.GetWindowText()));
        drv::ProcessEvents(100);
        ASSERT_TRUE(drv::TypeText(&effects->m_editQ, ""));
        drv::ProcessEvents(100);
        for (char c : text) {
            ASSERT_TRUE(drv::PressKey(&effects->m_editQ, std::string(1, c)));
            drv::ProcessEvents(150);
        }
    }

    std::string noise;
    CEQdlg* effects = nullptr;
};

TEST_F(QtEffectDialogTest, OpensFromTheEffectButtonWithEveryControlAndTextInPlace) {
    EXPECT_EQ(drv::WidgetText(effects), "Sound Effect (Graphic Equalizer & Reverb)");
    const RECT client = drv::WidgetRect(effects);
    EXPECT_EQ(client.right, 447);
    EXPECT_EQ(client.bottom, 600);
    for (int k = 0; k < kEqBands; ++k) {
        EXPECT_EQ(drv::WidgetValue(&effects->m_sliderBand[k]), 0);
        EXPECT_EQ(drv::WidgetText(&effects->m_staticBandValue[k]), "  0");
        const RECT r = drv::WidgetRect(&effects->m_sliderBand[k]);
        EXPECT_GT(r.bottom - r.top, 3 * (r.right - r.left)) << "band trackbars stand upright";
    }
    EXPECT_EQ(drv::WidgetText(&effects->m_editQ), "1.0");
    EXPECT_EQ(drv::WidgetText(&effects->m_staticAttenuation), "0.70");
    EXPECT_EQ(drv::WidgetText(&effects->m_staticDelay), "0.07");
    EXPECT_EQ(drv::WidgetText(&effects->m_staticRepeat), "12");
    EXPECT_EQ(drv::WidgetFontFamily(&effects->m_staticCtrlClick), "IPAGothic");
    for (CWnd* item : effects->GetItems()) {
        const RECT r = drv::WidgetRect(item);
        EXPECT_LE(drv::WidgetNeededWidth(item), r.right - r.left)
            << "item " << item->GetDlgCtrlID() << " '" << item->GetWindowText() << "'";
    }
    // Both graphs on screen: the flat total on row 50 of the filter graph, the default echoes.
    EXPECT_EQ(Pixel(24 + 100, 210 + 50), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(24 + 100, 210 + 40), RGB(0, 0, 0));
    EXPECT_EQ(Pixel(50 + 17, 480 + 99), RGB(255, 255, 0));
    EXPECT_EQ(Pixel(50 + 210, 480 + 99), RGB(255, 255, 0));
    EXPECT_TRUE(drv::SaveScreenshot(effects, ScreenshotPath("effect-dialog-default.png")));
}

TEST_F(QtEffectDialogTest, DraggedBandsAndReverbTrackbarsChangeValuesAndGraphs) {
    // Up is louder: the top of a band trackbar is +12 dB.
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[4], -12));
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[8], 24));
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[1], 6));
    drv::WaitUntil([&] {
        return effects->m_nGain[4] == 12 && effects->m_nGain[8] == -24 && effects->m_nGain[1] == -6 &&
               drv::WidgetText(&effects->m_staticBandValue[4]) == " 12" && drv::WidgetText(&effects->m_staticBandValue[8]) == "-24" &&
               Pixel(24 + 160, 210 + 0) == RGB(255, 255, 255) && Pixel(24 + 320, 210 + 149) == RGB(255, 255, 255);
    }, kUiDeadlineMs);
    EXPECT_EQ(effects->m_nGain[4], 12);
    EXPECT_EQ(effects->m_nGain[8], -24);
    EXPECT_EQ(effects->m_nGain[1], -6);
    EXPECT_EQ(drv::WidgetText(&effects->m_staticBandValue[4]), " 12");
    EXPECT_EQ(drv::WidgetText(&effects->m_staticBandValue[8]), "-24");
    // +12 dB at the top row at band 4's centre, -24 dB clipped to the bottom row at band 8's.
    EXPECT_EQ(Pixel(24 + 160, 210 + 0), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(24 + 320, 210 + 149), RGB(255, 255, 255));
    EXPECT_TRUE(drv::SaveScreenshot(effects, ScreenshotPath("effect-dialog-bands-moved.png")));

    ASSERT_TRUE(drv::Click(&effects->m_chkEQ));
    ASSERT_TRUE(drv::Click(&effects->m_chkReverb));
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderDelay, 4));
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderRepeat, 6));
    drv::WaitUntil([&] {
        return effects->m_bEQ && effects->m_bReverb && drv::WidgetText(&effects->m_staticDelay) == "0.04" &&
               drv::WidgetText(&effects->m_staticRepeat) == " 6" && Pixel(50 + 60, 480 + 99) == RGB(255, 255, 0);
    }, kUiDeadlineMs);
    EXPECT_TRUE(effects->m_bEQ);
    EXPECT_TRUE(effects->m_bReverb);
    EXPECT_EQ(drv::WidgetText(&effects->m_staticDelay), "0.04");
    EXPECT_EQ(drv::WidgetText(&effects->m_staticRepeat), " 6");
    // Six echoes 0.04 s apart: columns 10, 20, ... 60, nothing at 70.
    EXPECT_EQ(Pixel(50 + 10, 480 + 99), RGB(255, 255, 0));
    EXPECT_EQ(Pixel(50 + 60, 480 + 99), RGB(255, 255, 0));
    EXPECT_EQ(Pixel(50 + 70, 480 + 99), RGB(0, 0, 0));
    EXPECT_TRUE(drv::SaveScreenshot(effects, ScreenshotPath("effect-dialog-graphs.png")));

    // Reset and Default through their buttons.
    ASSERT_TRUE(drv::Click(effects->GetDlgItem(IDC_EQ_RESET)));
    ASSERT_TRUE(drv::Click(effects->GetDlgItem(IDC_REVERB_DEFAULT)));
    drv::WaitUntil([&] {
        return drv::WidgetValue(&effects->m_sliderBand[4]) == 0 && effects->m_nGain[4] == 0 &&
               drv::WidgetText(&effects->m_staticDelay) == "0.07" && effects->m_nRepeat == 12;
    }, kUiDeadlineMs);
    EXPECT_EQ(drv::WidgetValue(&effects->m_sliderBand[4]), 0);
    EXPECT_EQ(effects->m_nGain[4], 0);
    EXPECT_EQ(drv::WidgetText(&effects->m_staticDelay), "0.07");
    EXPECT_EQ(effects->m_nRepeat, 12);
}

TEST_F(QtEffectDialogTest, QThatIsNotANumberIsToldOnceAtTheNextBandMoveAndMendedWhileTrackbarsKeepRedrawing) {
    std::vector<std::string> boxes;
    WhenPossible([&] {
        const auto texts = drv::OpenMessageBoxTexts();
        if (texts.empty()) return false;
        boxes.insert(boxes.end(), texts.begin(), texts.end());
        return drv::AnswerMessageBox(IDOK);
    });
    // Typed key by key, the window going on between the keys: nothing reads the box yet.
    TypeKeyByKey("abc");
    EXPECT_TRUE(boxes.empty()) << "the Q was read while it was typed";
    EXPECT_EQ(drv::WidgetText(&effects->m_editQ), "abc");
    // The Q is read at the next redraw of a band trackbar: here when one is moved.
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[2], -6));
    ASSERT_TRUE(drv::WaitUntil([&] { return !boxes.empty(); }));
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[7], 6));
    // The box's handler mends the Q once the box is answered; a second box has its time to come.
    drv::WaitUntil([&] { return drv::WidgetText(&effects->m_editQ) == "1.0" && effects->m_fQ == 1.0f; }, kUiDeadlineMs);
    drv::ProcessEvents(200);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Q値は正の実数です"}));
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
    EXPECT_EQ(drv::WidgetText(&effects->m_editQ), "1.0");
    EXPECT_EQ(effects->m_fQ, 1.0f);
    EXPECT_EQ(effects->m_nGain[2], 6);
    EXPECT_EQ(effects->m_nGain[7], -6);
}

TEST_F(QtEffectDialogTest, QTypedKeyByKeyIsTakenWholeAtTheNextBandMoveWithoutAnyMessage) {
    // A message box that should not come is answered all the same, so that the test goes on;
    // the answering ends with the test.
    auto boxes = std::make_shared<std::vector<std::string>>();
    auto done = std::make_shared<bool>(false);
    WhenPossible([boxes, done] {
        if (*done) return true;
        const auto texts = drv::OpenMessageBoxTexts();
        if (texts.empty()) return false;
        boxes->insert(boxes->end(), texts.begin(), texts.end());
        return !drv::AnswerMessageBox(IDOK);
    });
    struct EndAnswering {
        std::shared_ptr<bool> done;
        ~EndAnswering() {
            *done = true;
            drv::ProcessEvents(30);
        }
    } endAnswering{done};
    // "0" alone is no Q: read at a keystroke it would bring the message and undo the typing.
    TypeKeyByKey("0.5");
    EXPECT_EQ(drv::WidgetText(&effects->m_editQ), "0.5");
    EXPECT_EQ(effects->m_fQ, 1.0f) << "the Q was read before a band trackbar redrew";
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[5], -12));
    // The band's redraw reads the Q: it is taken, or a message comes.
    drv::WaitUntil([&] { return effects->m_fQ == 0.5f || !boxes->empty(); }, kUiDeadlineMs);
    EXPECT_TRUE(boxes->empty());
    EXPECT_EQ(effects->m_fQ, 0.5f);
    EXPECT_EQ(drv::WidgetText(&effects->m_editQ), "0.5");
    // Every band designed anew with the Q: band 5 at +12 dB, the others flat.
    for (int k = 0; k < kEqBands; ++k) {
        float b[3];
        float a[3];
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), k == 5 ? 12.0f : 0.0f, 0.5f, b, a);
        EXPECT_EQ(effects->m_design.b[k][0], b[0]) << "band " << k;
        EXPECT_EQ(effects->m_design.a[k][2], a[2]) << "band " << k;
    }
    // The broad peak (Q 0.5) of +12 dB at C5 on screen: still above +6 dB an octave away.
    EXPECT_EQ(Pixel(24 + 200, 210 + 0), RGB(255, 255, 255));
    EXPECT_GT(effects->m_fTotalResp[160], 6.0f);
    EXPECT_TRUE(drv::SaveScreenshot(effects, ScreenshotPath("effect-dialog-q-0.5.png")));
}

TEST_F(QtEffectDialogTest, IdleWindowsUseNextToNoProcessorTimeWithTheEffectWindowShownOrHidden) {
    // A window that keeps repainting itself takes a whole core; an idle one next to nothing.
    const double shown = cputime::ShareOfACoreWhile([] { drv::ProcessEvents(3000); });
    ASSERT_TRUE(drv::Click(effects->GetDlgItem(IDC_EQ_CLOSE)));
    ASSERT_TRUE(drv::WaitUntil([&] { return !drv::WidgetVisible(effects); }));
    const double hidden = cputime::ShareOfACoreWhile([] { drv::ProcessEvents(3000); });
    EXPECT_LT(shown, 0.2) << "effect window shown";
    EXPECT_LT(hidden, 0.2) << "effect window hidden";
}

TEST_F(QtEffectDialogTest, CloseBoxAndCloseButtonHideItAndEffectShowsItAgain) {
    ASSERT_TRUE(drv::CloseWindow(effects));
    ASSERT_TRUE(drv::WaitUntil([&] { return !drv::WidgetVisible(effects); }));
    EXPECT_FALSE(dlg->m_bEffectShown);
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_EFFECT)));
    ASSERT_TRUE(drv::WaitUntil([&] { return drv::WidgetVisible(effects); }));
    ASSERT_TRUE(drv::Click(effects->GetDlgItem(IDC_EQ_CLOSE)));
    ASSERT_TRUE(drv::WaitUntil([&] { return !drv::WidgetVisible(effects); }));
    EXPECT_FALSE(dlg->m_bEffectShown);
    EXPECT_EQ(dlg->m_pEQDlg.load(), effects);
}

TEST_F(QtEffectDialogTest, PhaseVocoderRunOnNoiseHearsTheBandMovedAndTheEchoesAtTheSetDelay) {
    ASSERT_TRUE(drv::Click(dlg->GetDlgItem(IDC_PHASE_VOCODER)));
    ASSERT_TRUE(drv::WaitUntil([&] { return dlg->m_nMethod == 1; }));
    const std::vector<short> input = ReadSamples(noise);
    const std::vector<short> plain = PlayNoise();
    ASSERT_GT(plain.size(), input.size() / 2);

    // Band 6 (C6, 1047 Hz) up by 12 dB, the equaliser on.
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderBand[6], -12));
    ASSERT_TRUE(drv::Click(&effects->m_chkEQ));
    // The gain is read at the trackbar's next redraw.
    drv::WaitUntil([&] { return effects->m_nGain[6] == 12 && effects->m_bEQ; }, kUiDeadlineMs);
    ASSERT_EQ(effects->m_nGain[6], 12);
    const std::vector<short> boosted = PlayNoise();
    for (int k = 3; k <= 10; ++k) {
        const double change = OctavePowerDb(boosted, k) - OctavePowerDb(plain, k);
        SCOPED_TRACE("octave C" + std::to_string(k) + " changed by " + std::to_string(change) + " dB");
        if (k == 6) {
            EXPECT_GT(change, 9.0);
        } else if (k == 4 || k == 8) {
            EXPECT_LT(std::abs(change), 2.5);  // two octaves away: the peak's far skirt
        } else if (k <= 3 || k >= 9) {
            EXPECT_LT(std::abs(change), 1.0);  // three octaves and more away: untouched
        }
    }

    // The equaliser off again: the output has the input's spectrum (the same tilt in every octave).
    ASSERT_TRUE(drv::Click(&effects->m_chkEQ));
    drv::WaitUntil([&] { return !effects->m_bEQ; }, kUiDeadlineMs);
    ASSERT_FALSE(effects->m_bEQ);
    const std::vector<short> restored = PlayNoise();
    double offset = 0.0;
    for (int k = 3; k <= 10; ++k) offset += (OctavePowerDb(restored, k) - OctavePowerDb(input, k)) / 8.0;
    for (int k = 3; k <= 10; ++k) {
        EXPECT_NEAR(OctavePowerDb(restored, k) - OctavePowerDb(input, k), offset, 1.5) << "C" << k;
    }

    // Reverb on with echoes 0.04 s apart: the output repeats itself 1764 samples later.
    ASSERT_TRUE(drv::DragTrackbar(&effects->m_sliderDelay, 4));
    ASSERT_TRUE(drv::Click(&effects->m_chkReverb));
    drv::WaitUntil([&] { return effects->m_bReverb.load() != FALSE; }, kUiDeadlineMs);
    ASSERT_TRUE(effects->m_bReverb);
    const std::vector<short> echoed = PlayNoise();
    const std::size_t lag = 1764;
    EXPECT_LT(std::abs(Autocorrelation(restored, lag)), 0.05);
    EXPECT_GT(Autocorrelation(echoed, lag), 0.2);
    EXPECT_GT(Autocorrelation(echoed, 2 * lag), 0.1);
    EXPECT_LT(std::abs(Autocorrelation(echoed, lag + lag / 2)), 0.05);
    EXPECT_TRUE(drv::OpenMessageBoxTexts().empty());
}

}  // namespace
