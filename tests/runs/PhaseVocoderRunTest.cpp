// Phase-vocoder runs end to end on the virtual file devices: LIVE converts the recording in
// stereo, OPEN converts a mono or a stereo file in its own channel count, with and without the
// equaliser and the reverb of the effect dialog.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "effects/EQdlg.h"
#include "runs/RunHarness.h"

namespace {


// One channel of an interleaved block of `channels` channels.
std::vector<short> Channel(const std::vector<short>& interleaved, int channels, int which) {
    std::vector<short> out;
    out.reserve(interleaved.size() / static_cast<std::size_t>(channels));
    for (std::size_t i = static_cast<std::size_t>(which); i < interleaved.size(); i += static_cast<std::size_t>(channels))
        out.push_back(interleaved[i]);
    return out;
}

double Rms(const std::vector<short>& s, std::size_t from, std::size_t to) {
    double sum = 0.0;
    to = std::min(to, s.size());
    if (to <= from) return 0.0;
    for (std::size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

class PhaseVocoderRun : public runtest::VirtualRunTest {
protected:
    void SetUp() override {
        const std::string fullVoice = runtest::TestDataFile("voice.wav");
        const std::string fullStereo = runtest::TestDataFile("voice-stereo.wav");
        if (!runtest::Exists(fullVoice) || !runtest::Exists(fullStereo))
            GTEST_SKIP() << "no voice files (make them with scripts/make-voice.sh)";
        // The first six seconds of the voice keep the file runs short; a second of silence ends
        // them, so that the vocoder carries nothing from one run into the next.
        voice = folder.File("voice.wav");
        voiceStereo = folder.File("voice-stereo.wav");
        auto mono = runtest::ReadWav(fullVoice).samples;
        mono.resize(std::min<std::size_t>(mono.size(), 6 * 44100));
        mono.resize(mono.size() + 44100, 0);
        runtest::WriteWav(voice, mono, 1);
        auto stereo = runtest::ReadWav(fullStereo).samples;
        stereo.resize(std::min<std::size_t>(stereo.size(), 2 * 6 * 44100));
        stereo.resize(stereo.size() + 2 * 44100, 0);
        runtest::WriteWav(voiceStereo, stereo, 2);
        StartDialog(voice, 4);
        dlg->m_nMethod = 1;
        dlg->m_pitchScale.Init(2, 44100);
    }
    void TearDown() override {
        if (dlg) dlg->m_pEQDlg = nullptr;
        effects.reset();
        VirtualRunTest::TearDown();
    }

    // An effect dialog object with every equaliser band at +gain dB and the reverb switched as asked.
    void AttachEffects(int gain, bool reverb) {
        effects = std::make_unique<CEQdlg>(dlg.get());
        for (int k = 0; k < kEqBands; ++k) {
            effects->m_sliderBand[k].SetPos(-gain);
            NMHDR hdr{};
            hdr.idFrom = static_cast<UINT>(CEQdlg::IDC_SLIDER_BAND0 + k);
            hdr.code = NM_CUSTOMDRAW;
            effects->SendMessage(WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
        }
        effects->m_chkEQ.SetCheck(gain != 0 ? BST_CHECKED : BST_UNCHECKED);
        effects->OnBnClickedEqEnable();
        effects->m_chkReverb.SetCheck(reverb ? BST_CHECKED : BST_UNCHECKED);
        effects->OnBnClickedReverbEnable();
        dlg->m_pEQDlg = effects.get();
    }

    void OpenAndWait(const std::string& file) {
        Open(file);
        ASSERT_EQ(dlg->m_nRunState.load(), 2);
        ASSERT_TRUE(WaitIdle(120.0));
    }

    // Checks that channel `which` of what was played is the input channel with its fundamental
    // moved by `ratio`; returns the played channel's level over the voiced part.
    double ExpectVoiceMovedBy(const std::vector<short>& input, const platform::wave::WavAudio& played, int which, double ratio) {
        const int c = played.format.nChannels;
        const std::vector<short> heard = Channel(played.samples, c, which);
        const long b = dlg->m_nBlockBytes;
        const long lag = runtest::EnvelopeLag(input, heard, 0, 3 * b);
        EXPECT_GE(lag, b / 2);
        int frames = 0;
        const std::size_t usable = std::min(input.size(), heard.size() - static_cast<std::size_t>(lag));
        const double got = runtest::MedianPitchRatio(input, heard, static_cast<std::size_t>(lag), 22050, usable, &frames);
        EXPECT_GT(frames, 10);
        // The vocoder moves every bin by the ratio; frequencies are exact only to the bin spacing.
        EXPECT_NEAR(got, ratio, ratio * 0.03) << "channel " << which;
        return Rms(heard, static_cast<std::size_t>(lag), static_cast<std::size_t>(lag) + usable);
    }

    std::string voice, voiceStereo;
    std::unique_ptr<CEQdlg> effects;
};

TEST_F(PhaseVocoderRun, LiveRunPlaysBothChannelsOfTheVoiceWithItsPitchMoved) {
    dlg->m_fPitchRatio = std::pow(2.0f, 6.0f / 24.0f);
    LiveFor(5.0);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
    EXPECT_FALSE(dlg->m_bThreadRun.load());
    const auto audio = runtest::ReadWav(played);
    ASSERT_EQ(audio.format.nChannels, 2);
    const std::vector<short> input = runtest::ReadWav(voice).samples;
    const std::vector<short> heard(input.begin(), input.begin() + std::min<long>(dlg->m_nInputCount.load(), static_cast<long>(input.size())));
    const double ratio = std::pow(2.0, 6.0 / 24.0);
    EXPECT_GT(ExpectVoiceMovedBy(heard, audio, 0, ratio), 0.2 * Rms(heard, 0, heard.size()));
    EXPECT_GT(ExpectVoiceMovedBy(heard, audio, 1, ratio), 0.2 * Rms(heard, 0, heard.size()));
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(PhaseVocoderRun, MonoFileRunConvertsInOneChannelAndSavesIt) {
    dlg->m_fPitchRatio = std::pow(2.0f, 12.0f / 24.0f);
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    OpenAndWait(voice);
    ASSERT_FALSE(HasFatalFailure());
    const auto audio = runtest::ReadWav(played);
    ASSERT_EQ(audio.format.nChannels, 1);
    const std::vector<short> input = runtest::ReadWav(voice).samples;
    ExpectVoiceMovedBy(input, audio, 0, std::sqrt(2.0));
    // The output file holds the converted run in the same channel count.
    std::string savedPath;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        if (const std::string name = entry.path().filename().string();
            name.rfind("voice", 0) == 0 && name != "voice.wav" && name != "voice-stereo.wav")
            savedPath = entry.path().string();
    ASSERT_FALSE(savedPath.empty());
    const auto saved = runtest::ReadWav(savedPath);
    EXPECT_EQ(saved.format.nChannels, 1);
    EXPECT_GT(saved.samples.size(), input.size() / 2);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(PhaseVocoderRun, StereoFileRunKeepsItsTwoChannels) {
    OpenAndWait(voiceStereo);
    ASSERT_FALSE(HasFatalFailure());
    const auto audio = runtest::ReadWav(played);
    ASSERT_EQ(audio.format.nChannels, 2);
    const auto source = runtest::ReadWav(voiceStereo);
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<short> input = Channel(source.samples, 2, ch);
        EXPECT_GT(ExpectVoiceMovedBy(input, audio, ch, 1.0), 0.5 * Rms(input, 0, input.size()));
    }
}

TEST_F(PhaseVocoderRun, EqualiserAndReverbChangeTheStereoFileRunOnlyWhileSwitchedOn) {
    OpenAndWait(voiceStereo);
    ASSERT_FALSE(HasFatalFailure());
    const auto plain = runtest::ReadWav(played).samples;

    AttachEffects(0, false);  // an effect dialog with both effects off changes nothing
    OpenAndWait(voiceStereo);
    ASSERT_FALSE(HasFatalFailure());
    auto off = runtest::ReadWav(played).samples;
    // The playback device records until STOP closes it, a little more or less each run.
    const std::size_t common = std::min(off.size(), plain.size());
    ASSERT_GT(common, plain.size() * 9 / 10);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + static_cast<long>(common), off.begin()));

    dlg->m_pEQDlg = nullptr;
    AttachEffects(-12, false);  // every band 12 dB down
    OpenAndWait(voiceStereo);
    ASSERT_FALSE(HasFatalFailure());
    const auto quieter = runtest::ReadWav(played).samples;
    EXPECT_LT(Rms(quieter, 0, quieter.size()), 0.5 * Rms(plain, 0, plain.size()));

    dlg->m_pEQDlg = nullptr;
    AttachEffects(0, true);  // echoes keep sound going where the plain run is silent
    OpenAndWait(voiceStereo);
    ASSERT_FALSE(HasFatalFailure());
    const auto echoed = runtest::ReadWav(played).samples;
    const std::size_t shared = std::min(echoed.size(), plain.size());
    double diff = 0.0;
    for (std::size_t i = 0; i < shared; ++i) diff += std::abs(double(echoed[i]) - plain[i]);
    EXPECT_GT(diff / static_cast<double>(shared), 50.0);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

}  // namespace
