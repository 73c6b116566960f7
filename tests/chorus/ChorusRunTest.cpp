// Chorus runs end to end on the virtual devices: a dump written by a file run of the voice
// recording loads back through the Chorus file button and drives the chorus synthesis; the
// output is measured with the test's own pitch estimator. Also the end of a dump's marks
// ("Buffer Full") and many load/run/STOP cycles with the engine threads.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/PitchDump.h"
#include "audio/PitchDumpLoader.h"
#include "runs/RunHarness.h"

namespace {

constexpr double kTargetHz = 246.94;  // B_3: the middle of keys 7 and 40, where flattening puts every period

// Row fields of a dump, as the loader reads them (header lines kept as they are).
struct DumpRows {
    std::vector<std::string> header;  // the first eleven lines
    struct Row {
        int mark;
        std::string time;
        int amp;
        std::string hz, note, chorus;
    };
    std::vector<Row> rows;

    static DumpRows Read(const std::string& path) {
        DumpRows d;
        std::istringstream in(runtest::ReadFile(path));
        std::string line;
        for (int i = 0; i < 11 && std::getline(in, line); ++i) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            d.header.push_back(line);
        }
        Row r;
        while (in >> r.mark >> r.time >> r.amp >> r.hz >> r.note >> r.chorus) d.rows.push_back(r);
        return d;
    }

    void Write(const std::string& path) const {
        std::ofstream out(path, std::ios::binary);
        for (const auto& h : header) out << h << "\r\n";
        for (const auto& r : rows) out << r.mark << '\t' << r.time << '\t' << r.amp << '\t' << r.hz << '\t' << r.note << '\t' << r.chorus << "\r\n";
    }
};

// Median of F0(b) / F0(a) over the frames of the output where both are clearly periodic.
[[gnu::noinline]] double PitchRatio(const std::vector<short>& a, const std::vector<short>& b, int* frames) {
    const std::size_t to = b.size() > 4096 ? b.size() - 4096 : 0;
    return runtest::MedianPitchRatio(a, b, 0, 4096, to, frames);
}

class ChorusRun : public runtest::VirtualRunTest {
protected:
    void SetUp() override {
        const std::string voice = runtest::TestDataFile("voice.wav");
        if (!runtest::Exists(voice)) GTEST_SKIP() << "no " << voice << " (make it with scripts/make-voice.sh)";
        // Six seconds of the voice recording.
        input = runtest::ReadWav(voice).samples;
        input.resize(6 * 44100);
        take = folder.File("take.wav");
        runtest::WriteWav(take, input);
        runtest::WriteWav(folder.File("silence.wav"), std::vector<short>(4410, 0));
        StartDialog(folder.File("silence.wav"), 4);
    }

    // A file run of the take with Dump ticked in voice mode `mode`; returns the dump's path.
    std::string DumpRun(int mode) {
        dlg->m_comboVoiceMode.SetCurSel(mode);
        dlg->m_chkDump.SetCheck(BST_CHECKED);
        Open(take);
        EXPECT_EQ(dlg->m_nRunState.load(), 2);
        EXPECT_TRUE(WaitIdle());
        dlg->m_chkDump.SetCheck(BST_UNCHECKED);
        dlg->m_comboVoiceMode.SetCurSel(1);
        std::string path;
        for (int n = 1; n < 100; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "take_dump_%02d.txt", n);
            if (runtest::Exists(folder.File(name))) path = folder.File(name);
        }
        return path;
    }

    // Loads the dump with the Chorus file button and plays its run to the end with the save box
    // ticked; returns what was saved.
    std::vector<short> ChorusRunOf(const std::string& dumpPath) {
        dlg->m_chkSave.SetCheck(BST_CHECKED);
        platform::ui::QueueHeadlessFileAnswer({dumpPath});
        dlg->OnBnClickedChorusFile();
        EXPECT_EQ(dlg->m_nRunState.load(), 2);
        EXPECT_FALSE(dlg->m_strChorusFile.empty());
        EXPECT_TRUE(WaitIdle());
        EXPECT_TRUE(dlg->m_strChorusFile.empty());
        dlg->m_chkSave.SetCheck(BST_UNCHECKED);
        EXPECT_TRUE(runtest::BoxTexts().empty());
        std::string saved;
        for (int n = 1; n < 100; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "take_%02d.wav", n);
            if (runtest::Exists(folder.File(name))) saved = folder.File(name);
        }
        return runtest::ReadWav(saved).samples;
    }

    // Fundamentals of the clearly periodic frames of s.
    static std::vector<double> FrameF0s(const std::vector<short>& s) {
        std::vector<double> f0;
        for (std::size_t t = 4096; t + 4096 < s.size(); t += 1024) {
            const double f = runtest::FrameF0(s, t, 1024);
            if (f > 0.0) f0.push_back(f);
        }
        return f0;
    }

    std::vector<short> input;
    std::string take;
};

TEST_F(ChorusRun, FlatteningDumpPlaysEveryVoicedPeriodOnTheTargetNote) {
    const std::string dump = DumpRun(3);
    ASSERT_FALSE(dump.empty());
    const std::vector<double> inputF0 = FrameF0s(input);
    ASSERT_GT(inputF0.size(), 30u);
    // The voice itself lies well away from the target (more than three semitones).
    ASSERT_GT(std::fabs(std::log2(runtest::Median(inputF0) / kTargetHz)), 0.25) << runtest::Median(inputF0);

    const auto out = ChorusRunOf(dump);
    ASSERT_GT(out.size(), input.size() / 2);
    const std::vector<double> f0 = FrameF0s(out);
    ASSERT_GT(f0.size(), 30u);
    EXPECT_NEAR(runtest::Median(f0), kTargetHz, kTargetHz * 0.02);
    int onNote = 0;
    // Within a semitone: the chorus value of each period takes effect one grain late, so
    // periods where the voice glides land a little off the note.
    for (double f : f0) onNote += std::fabs(12.0 * std::log2(f / kTargetHz)) < 1.0 ? 1 : 0;
    EXPECT_GT(onNote, static_cast<int>(f0.size()) * 85 / 100) << onNote << " of " << f0.size();
}

TEST_F(ChorusRun, OctaveEditedDumpAddsTheVoiceAnOctaveUpToTheOriginal) {
    const std::string dump = DumpRun(1);
    ASSERT_FALSE(dump.empty());
    DumpRows d = DumpRows::Read(dump);
    ASSERT_GT(d.rows.size(), 500u);
    for (auto& r : d.rows) {
        if (r.amp > 0 && r.note != "0") r.chorus = "12";
    }
    const std::string edited = folder.File("octave.txt");
    d.Write(edited);

    const auto out = ChorusRunOf(edited);
    ASSERT_GE(out.size(), input.size() / 2);
    // The mix keeps the original's fundamental; what the original does not explain is the
    // voice an octave above it.
    std::vector<short> rest(out.size());
    for (std::size_t i = 1; i < out.size() && i < input.size(); ++i)
        rest[i] = static_cast<short>(std::clamp(out[i] - input[i - 1], -32767, 32767));
    int frames = 0;
    const double mixRatio = PitchRatio(input, out, &frames);
    EXPECT_GT(frames, 30);
    EXPECT_NEAR(mixRatio, 1.0, 0.03);
    const double restRatio = PitchRatio(input, rest, &frames);
    EXPECT_GT(frames, 30);
    EXPECT_NEAR(restRatio, 2.0, 0.06);
}

TEST_F(ChorusRun, BatchDumpAtFactorTwoOrFourEndsWithBufferFullOnceAndSavesExactlyItsLength) {
    dlg->m_chkDump.SetCheck(BST_CHECKED);
    for (int os : {2, 4}) {
        // A batch at this factor writes the dump; its first three seconds of marks, so that the
        // dump ends before its WAV does.
        dlg->m_nBatchOverSampling = os;
        platform::ui::QueueHeadlessFileAnswer({take});
        dlg->SendMessage(WM_COMMAND, MAKEWPARAM(1099, BN_CLICKED), 0);
        ASSERT_TRUE(runtest::PumpUntil([&] { return !dlg->IsBatchRunning(); }, 600.0));
        dlg->m_batchThread.Join();
        platform::ui::DeliverPostedMessages();
        std::string batchDump;
        for (int n = 1; n < 100; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "take_dump_%02d.txt", n);
            if (runtest::Exists(folder.File(name))) batchDump = folder.File(name);
        }
        DumpRows d = DumpRows::Read(batchDump);
        ASSERT_EQ(d.header[2], "OverSampling\t" + std::to_string(os));
        while (!d.rows.empty() && d.rows.back().mark >= 3 * 44100 * os) d.rows.pop_back();
        ASSERT_GT(d.rows.size(), 200u) << os;
        const std::string path = folder.File("os" + std::to_string(os) + ".txt");
        d.Write(path);

        dlg->m_chkDump.SetCheck(BST_UNCHECKED);
        const int stops = runtest::CountLines(Trace(), "4-STOP button");
        const auto out = ChorusRunOf(path);
        dlg->m_chkDump.SetCheck(BST_CHECKED);
        // The main voice runs to the last mark before the dump's end; every sample up to it is
        // saved once, whatever the factor leaves between the rounds.
        const int lastGrainMark = d.rows[d.rows.size() - 2].mark;
        EXPECT_EQ(out.size(), static_cast<std::size_t>((lastGrainMark + 1) / os)) << os;
        EXPECT_TRUE(dlg->m_staticBufferFull.IsWindowVisible()) << os;
        EXPECT_EQ(runtest::CountLines(Trace(), "4-STOP button"), stops + 1) << os;
        runtest::PumpFor(0.2);  // a late end-of-file notice changes nothing
        EXPECT_EQ(runtest::CountLines(Trace(), "4-STOP button"), stops + 1) << os;
        int frames = 0;
        EXPECT_NEAR(PitchRatio(input, out, &frames), 1.0, 0.03) << os;
        EXPECT_GT(frames, 20) << os;
    }
}

// A dump for a tone file: marks every 200 samples, a chorus a fifth up, `rows` rows.
std::string ToneDump(const TempFolder& folder, const std::string& name, const std::string& wav, int rows) {
    pitch_dump::Header h;
    h.liveInput = false;
    h.inputPath = wav;
    h.minKeyName = "G_2";
    h.maxKeyName = "F_5";
    h.corrThText = "0.5";
    std::string text = pitch_dump::FormatHeader(h);
    for (int i = 1; i < rows; ++i) text += pitch_dump::FormatRow(200 * i, 1, 8000, 220, "A_3", true, 7.0f);
    const std::string path = folder.File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class ChorusCycles : public runtest::VirtualRunTest {
protected:
    void SetUp() override {
        runtest::WriteWav(folder.File("silence.wav"), std::vector<short>(4410, 0));
        StartDialog(folder.File("silence.wav"), 50);
    }
};

TEST_F(ChorusCycles, FiftyLoadRunStopCyclesEndCleanAndForgetTheDump) {
    const std::string wav = folder.File("tone.wav");
    runtest::WriteWav(wav, runtest::Tone(220.0, 44100 * 4));
    // A dump that outlasts the cycle, and one whose marks run out within the first block, so
    // that "Buffer Full" and the user's STOP meet.
    const std::string longDump = ToneDump(folder, "long.txt", wav, 4 * 44100 / 200);
    const std::string shortDump = ToneDump(folder, "short.txt", wav, 20);
    dlg->m_chkSave.SetCheck(BST_CHECKED);
    for (int cycle = 0; cycle < 50; ++cycle) {
        platform::ui::QueueHeadlessFileAnswer({cycle % 2 == 0 ? longDump : shortDump});
        dlg->OnBnClickedChorusFile();
        ASSERT_EQ(dlg->m_nRunState.load(), 2) << "cycle " << cycle;
        const int want = (cycle % runtest::kCycleBlocks) * dlg->m_nBlockBytes / 2;
        runtest::PumpUntil([&] { return dlg->m_nInputCount.load() >= want || dlg->m_nRunState.load() == 0; });
        dlg->OnBnClickedStop();
        ASSERT_EQ(dlg->m_nRunState.load(), 0) << "cycle " << cycle;
        ASSERT_TRUE(dlg->m_strChorusFile.empty()) << "cycle " << cycle;
        platform::ui::DeliverPostedMessages();
        ASSERT_EQ(dlg->m_nRunState.load(), 0) << "cycle " << cycle;
    }
    EXPECT_TRUE(runtest::BoxTexts().empty());
    // After the cycles OPEN asks for a file again: no dump is left loaded.
    platform::ui::TakeHeadlessFileRequests();
    dlg->OnBnClickedOpen();
    EXPECT_EQ(platform::ui::TakeHeadlessFileRequests().size(), 1u);
    EXPECT_EQ(dlg->m_nRunState.load(), 0);
}

}  // namespace
