// Batch conversion of real recordings end to end: the Batch button with files chosen, the batch
// thread, the progress dialog's texts, the outputs and dumps under their names, and the
// fundamental of the outputs measured here.
#include <cmath>

#include "batch/BatchHarness.h"
#include "support/Speed.h"

namespace {

using batchtest::BatchHarness;
using runtest::ReadWav;
using runtest::WriteWav;

// The recordings of the suite in several lengths, mono and stereo.
struct Recordings {
    explicit Recordings(const TempFolder& where) {
        voice = runtest::TestDataFile("voice.wav");
        stereo = runtest::TestDataFile("voice-stereo.wav");
        const auto v = ReadWav(voice);
        const auto s = ReadWav(stereo);
        shortMono = where.File("short mono.wav");
        WriteWav(shortMono, batchtest::Cut(v, 3 * 44100));
        shortStereo = where.File("brief.WAV");
        WriteWav(shortStereo, batchtest::Cut(s, 44100), 2);
    }
    std::string voice, stereo, shortMono, shortStereo;
};

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = runtest::ReadFile(path);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find("\r\n", pos);
        if (nl == std::string::npos) break;
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 2;
    }
    return lines;
}

TEST(BatchConversion, RecordingsAtEachFactorComeOutNamedMonoAndAnOctaveHigher) {
    BatchHarness h;
    Recordings rec(h.folder);
    const auto voiceIn = ReadWav(rec.voice);
    const auto stereoIn = ReadWav(rec.stereo);
    h.SetPitch(24);  // one octave up
    h.dlg.m_chkDump.SetCheck(BST_CHECKED);

    const int factors[3] = {1, 2, 4};
    for (int run = 0; run < 3; ++run) {
        const int factor = factors[run];
        SCOPED_TRACE("factor " + std::to_string(factor));
        h.dlg.m_nBatchOverSampling = factor;
        h.Run({rec.voice, rec.stereo, rec.shortMono, rec.shortStereo});
        EXPECT_TRUE(runtest::BoxTexts().empty());
        const std::string n = "_0" + std::to_string(run + 1);

        const struct {
            std::string base;
            std::vector<short> input;  // mono
        } files[4] = {{"voice", batchtest::Mono(voiceIn)},
                      {"voice-stereo", batchtest::Mono(stereoIn)},
                      {"short mono", batchtest::Cut(voiceIn, 3 * 44100)},
                      {"brief", batchtest::Mono(ReadWav(rec.shortStereo))}};
        for (const auto& f : files) {
            SCOPED_TRACE(f.base);
            const auto out = ReadWav(h.Output(f.base + n + ".wav"));
            EXPECT_EQ(out.format.nChannels, 1);
            EXPECT_EQ(out.format.nSamplesPerSec, 44100u);
            // Exactly as long as the input, and sounding up to its end.
            EXPECT_EQ(out.samples.size(), f.input.size());
            ASSERT_GT(f.input.size(), 2000u);
            const auto tail = [](const std::vector<short>& s) {
                double e = 0.0;
                for (std::size_t i = s.size() - 2000; i < s.size(); ++i) e += static_cast<double>(s[i]) * s[i];
                return std::sqrt(e / 2000.0);
            };
            EXPECT_GE(tail(out.samples), 0.3 * tail(f.input));

            const auto dump = Lines(h.Output(f.base + "_dump" + n + ".txt"));
            ASSERT_GT(dump.size(), 12u);
            EXPECT_EQ(dump[2], "OverSampling\t" + std::to_string(factor));
            // Rows count periods of the oversampled input: their frequencies are of the voice.
            const std::string row = dump[dump.size() / 2];
            const auto tab = row.find('\t');
            ASSERT_NE(tab, std::string::npos);
            EXPECT_LE(std::stol(row.substr(0, tab)), static_cast<long>(f.input.size()) * factor);
        }

        // The fundamental of the long recordings is an octave higher over the voiced frames.
        for (int k = 0; k < 2; ++k) {
            const auto out = ReadWav(h.Output(files[k].base + n + ".wav"));
            int frames = 0;
            const double ratio =
                runtest::MedianPitchRatio(files[k].input, out.samples, 0, 2048, out.samples.size() - 4096, &frames);
            EXPECT_GT(frames, 100) << files[k].base;
            EXPECT_NEAR(ratio, 2.0, 0.08) << files[k].base;
        }
    }
    // The main dialog is shown again with the elapsed time; the progress dialog is hidden.
    EXPECT_TRUE(h.dlg.IsWindowVisible());
    EXPECT_FALSE(h.dlg.m_pBatchDlg->IsWindowVisible());
    EXPECT_NE(h.dlg.m_staticProcTime.GetWindowText().find(" sec"), std::string::npos);
}

TEST(BatchConversion, ProgressDialogNamesEachFileAndCountsItsPercentUp) {
    BatchHarness h;
    Recordings rec(h.folder);
    h.dlg.m_nBatchOverSampling = 2;
    h.Run({rec.shortMono, rec.voice, rec.shortStereo});
    CBatchDlg* p = h.dlg.m_pBatchDlg;
    ASSERT_NE(p, nullptr);

    EXPECT_EQ(h.TextsOf(&p->m_staticTitle),
              (std::vector<std::string>{"TD-PSOLA バッチ処理中  1/3", "TD-PSOLA バッチ処理中  2/3",
                                        "TD-PSOLA バッチ処理中  3/3"}));
    EXPECT_EQ(h.TextsOf(&p->m_staticFile), (std::vector<std::string>{"short mono.wav", "voice.wav", "brief.WAV"}));
    // Per file: 0 % first, then in steps of 10 up to 80 %, then 90 % and 100 %.
    const std::vector<std::string> progress = h.TextsOf(&p->m_staticProgress);
    std::vector<std::string> expected;
    for (int file = 0; file < 3; ++file) {
        for (int pct = 0; pct <= 80; pct += 10) {
            char text[16];
            std::snprintf(text, sizeof text, "%3d %%", pct);
            // The last analysis text and " 80 %" are the same text, set once.
            if (pct < 80) expected.push_back(text);
        }
        expected.push_back(" 80 %");
        expected.push_back(" 90 %");
        expected.push_back("100 %");
    }
    EXPECT_EQ(progress, expected);
    // The main dialog was hidden for the batch and shown after it.
    EXPECT_EQ(h.dlg.IsWindowVisible(), TRUE);
}

TEST(BatchConversion, StereoChannelsOfOppositeSignMixToSilence) {
    BatchHarness h;
    std::vector<short> s;
    for (short v : runtest::Tone(220.0, 44100)) {
        s.push_back(v);
        s.push_back(static_cast<short>(-v));
    }
    WriteWav(h.folder.File("opposed.wav"), s, 2);
    h.dlg.m_nBatchOverSampling = 1;
    h.Run({h.folder.File("opposed.wav")});
    const auto out = ReadWav(h.Output("opposed_01.wav"));
    ASSERT_FALSE(out.samples.empty());
    for (short v : out.samples) ASSERT_EQ(v, 0);
}

// Share of the voiced frames whose fundamental lies within 2 % of the median one, and that median.
double FlatShare(const std::vector<short>& s, double* median) {
    std::vector<double> f0;
    for (std::size_t t = 2048; t + 4096 < s.size(); t += 1024) {
        const double a = runtest::FrameF0(s, t, 1024);
        if (a > 0.0) f0.push_back(a);
    }
    *median = runtest::Median(f0);
    if (f0.size() < 100) return 0.0;
    int near = 0;
    for (double v : f0) near += std::fabs(v / *median - 1.0) < 0.02 ? 1 : 0;
    return static_cast<double>(near) / static_cast<double>(f0.size());
}

TEST(BatchConversion, FlatteningHoldsTheOutputOnOneNoteNearTheCentreOfTheKeyRange) {
    BatchHarness h;
    h.dlg.m_comboVoiceMode.SetCurSel(3);
    // The first nine seconds of the recording, and of it played 1.3 times faster (a higher voice).
    const auto recording = batchtest::Cut(ReadWav(runtest::TestDataFile("voice.wav")), 9 * 44100);
    const std::string voice = h.folder.File("voice.wav");
    WriteWav(voice, recording);
    const std::string faster = h.folder.File("faster.wav");
    WriteWav(faster, speed::PlayFaster(recording, 1.3));
    double inMedian = 0.0;
    // The voice wanders over its intonation.
    EXPECT_LT(FlatShare(recording, &inMedian), 0.5);
    const int factors[3] = {1, 2, 4};
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("factor " + std::to_string(factors[run]));
        h.dlg.m_nBatchOverSampling = factors[run];
        h.Run({voice, faster});
        const std::string n = "_0" + std::to_string(run + 1) + ".wav";
        for (const char* name : {"voice", "faster"}) {
            SCOPED_TRACE(name);
            double outMedian = 0.0;
            // The output stays on one note: keys 7 and 40 have the centre key 23, B_3, 246.94 Hz.
            EXPECT_GT(FlatShare(ReadWav(h.Output(name + n)).samples, &outMedian), 0.8);
            EXPECT_LE(std::fabs(1200.0 * std::log2(outMedian / 246.94)), 20.0) << outMedian << " Hz";
        }
    }
}

}  // namespace
