// A LIVE run through the sound system (PortAudio) against a real sound server. The script
// scripts/soundserver-test.sh starts a private PulseAudio with two null sinks (the recording
// device is the monitor of the first, which is fed with the voice; the playback device is the
// second), records the second sink's monitor, and runs these cases in turn through
// SORVEL_SOUNDSERVER: "run" converts the voice live, "check" compares the recording with the
// voice, "thru" passes clicks through unchanged and "latency" measures their delay; "midi" clicks a
// note on the analyser, which the MIDI synthesizer plays on the playback device, and "midicheck"
// measures the recorded note's fundamental. Without the script every case is skipped.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <chrono>
#include <thread>

#include "analyser/FFTScreen.h"
#include "platform/midi/midiapi.h"
#include "runs/RunHarness.h"
#include "support/ProcessCpu.h"

namespace {

using runtest::Mono;
using runtest::RunDialog;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

bool Phase(const char* phase) { return Env("SORVEL_SOUNDSERVER") == phase; }

#define SKIP_UNLESS_PHASE(phase)                                                                        \
    if (!Phase(phase))                                                                                  \
    GTEST_SKIP() << "runs only inside scripts/soundserver-test.sh (SORVEL_SOUNDSERVER=" phase " is not set)"

// LIVE through the default devices (WAVE MAPPER) for `seconds` of captured input, then STOP.
void LiveThroughTheSoundServer(bool thru, double seconds) {
    const std::string folder = Env("SORVEL_SOUNDSERVER_DIR") + "/";
    RunDialog dlg(folder);
    runtest::SetUpLikeStartUp(dlg, folder);
    platform::ui::TakeHeadlessMessageBoxes();
    dlg.m_fPitchRatio = std::pow(2.0f, 12.0f / 24.0f);
    dlg.m_chkThru.SetCheck(thru ? BST_CHECKED : BST_UNCHECKED);
    dlg.m_chkSave.SetCheck(BST_CHECKED);
    dlg.OnBnClickedLive();
    ASSERT_EQ(dlg.m_nRunState.load(), 1);
    EXPECT_TRUE(dlg.m_bPsolaRun.load()) << "the run did not start";
    const int want = static_cast<int>(seconds * 44100.0);
    const bool arrived = runtest::PumpUntil([&] { return dlg.m_nInputCount.load() >= want; }, seconds * 3.0 + 10.0);
    // The output ring must reach the device too: let it play the last blocks out.
    runtest::PumpFor(1.5);
    dlg.OnBnClickedStop();
    EXPECT_TRUE(arrived) << "only " << dlg.m_nInputCount.load() << " samples arrived from the recording device";
    EXPECT_EQ(dlg.m_nRunState.load(), 0);
    EXPECT_TRUE(runtest::BoxTexts().empty());
    std::printf("sound server run: %lld samples captured, devices \"%s\" -> \"%s\"\n", static_cast<long long>(dlg.m_nInputCount.load()),
                dlg.m_waveInCaps[dlg.m_nWaveInIndex].szPname, dlg.m_waveOutCaps[dlg.m_nWaveOutIndex].szPname);
}

// First sample whose magnitude passes threshold at or after from, or -1.
long Onset(const std::vector<short>& s, std::size_t from, int threshold) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (std::abs(static_cast<int>(s[i])) > threshold) return static_cast<long>(i);
    return -1;
}

TEST(SoundServer, LiveRunConvertsTheVoiceThroughTheDefaultDevices) {
    SKIP_UNLESS_PHASE("run");
    LiveThroughTheSoundServer(false, std::atof(Env("SORVEL_SOUNDSERVER_SECONDS").c_str()));
}

// Quartiles of the fundamental over every clearly periodic frame.
std::vector<double> F0Quartiles(const std::vector<short>& s) {
    std::vector<double> f;
    for (std::size_t t = 0; t + 4096 < s.size(); t += 512) {
        const double hz = runtest::FrameF0(s, t, 1024);
        if (hz > 0.0) f.push_back(hz);
    }
    if (f.size() < 4) return {0.0, 0.0, 0.0, 0.0};
    std::sort(f.begin(), f.end());
    return {f[f.size() / 4], f[f.size() / 2], f[3 * f.size() / 4], static_cast<double>(f.size())};
}

TEST(SoundServer, RecordingOfThePlaybackDeviceIsTheVoiceWithItsPitchMoved) {
    SKIP_UNLESS_PHASE("check");
    const auto voice = Mono(runtest::ReadForeignWav(Env("SORVEL_SOUNDSERVER_VOICE")));
    const auto recording = runtest::ReadForeignWav(Env("SORVEL_SOUNDSERVER_RECORDING"));
    ASSERT_EQ(recording.format.nSamplesPerSec, 44100u);
    const auto heard = Mono(recording);
    ASSERT_GT(heard.size(), 44100u * 4);
    // The server, the start of the run and the ring delay the voice by an amount not known
    // beforehand, and a late period may be played as silence: the fundamentals are compared as
    // distributions. The voice's lower quartile, median and upper quartile must all move by the
    // ratio.
    const std::vector<double> v = F0Quartiles(voice);
    const std::vector<double> h = F0Quartiles(heard);
    const double want = std::sqrt(2.0);
    std::printf("fundamental quartiles: voice %.1f %.1f %.1f Hz, heard %.1f %.1f %.1f Hz (%.0f frames); ratios %.4f %.4f %.4f, wanted %.4f\n",
                v[0], v[1], v[2], h[0], h[1], h[2], h[3], h[0] / v[0], h[1] / v[1], h[2] / v[2], want);
    EXPECT_GT(h[3], 100.0) << "too little voiced sound in the recording";
    for (int q = 0; q < 3; ++q) EXPECT_NEAR(h[q] / v[q], want, want * 0.03) << "quartile " << q + 1;
}

TEST(SoundServer, ThruRunPassesClicksThroughTheDefaultDevices) {
    SKIP_UNLESS_PHASE("thru");
    LiveThroughTheSoundServer(true, std::atof(Env("SORVEL_SOUNDSERVER_SECONDS").c_str()));
}

TEST(SoundServer, ClickLatencyFromRecordingToPlaybackDevice) {
    SKIP_UNLESS_PHASE("latency");
    // Both monitors were looped into one sink and recorded together: the click goes in first
    // and comes out of the Thru run later.
    const auto mix = Mono(runtest::ReadForeignWav(Env("SORVEL_SOUNDSERVER_CLICK_MIX")));
    const long a = Onset(mix, 0, 8000);
    ASSERT_GE(a, 0) << "no click in the recording";
    const long b = Onset(mix, static_cast<std::size_t>(a + 4410), 8000);
    ASSERT_GE(b, 0) << "the click did not come out of the playback device";
    std::printf("click latency through PortAudio and the sound server: %.1f ms (%ld samples; the ring alone %d samples, %.1f ms)\n",
                (b - a) * 1000.0 / 44100.0, b - a, 32768, 32768 * 1000.0 / 44100.0);
    // The ring's delay plus what the server and the devices buffer; the two loopbacks into the
    // recorded sink settle their own delays independently, which blurs this by some tens of ms.
    EXPECT_GT(b - a, 32768 - 4410);
    EXPECT_LT(b - a, 32768 + 2 * 44100);
}

// A3, the row 9 semitones above the lowest row of the key range C3: MIDI note 57, 220 Hz.
constexpr int kClickedRangeC3 = 2;
constexpr int kClickedRow = 9;
constexpr double kClickedHz = 220.0;

TEST(SoundServer, ClickOnTheAnalyserSoundsItsNoteThroughTheSynthesizer) {
    SKIP_UNLESS_PHASE("midi");
    ::unsetenv("SORVEL_VIRTUAL_MIDI");  // the General MIDI software synthesizer, not the recorder
    platform::ui::TakeHeadlessMessageBoxes();
    CFFTScreen screen;
    ASSERT_TRUE(screen.Create(AfxRegisterWndClass(0), "FFT Screen", WS_CHILD | WS_VISIBLE,
                              CRect(0, 0, CFFTScreen::kWidth, CFFTScreen::kHeight), nullptr, CFFTScreen::kWindowId));
    screen.SetMidiProgram(0);
    ASSERT_NE(screen.m_hMidiOut, nullptr) << "the synthesizer did not start";
    EXPECT_TRUE(runtest::BoxTexts().empty());
    screen.InitPitchAnalyzer(kClickedRangeC3);
    // Open and silent, the synthesizer costs nothing: its sound output sleeps.
    const auto wait = [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); };
    const double openIdle = cputime::ShareOfACoreWhile([&] { wait(4.0); });
    std::printf("synthesizer open, no note: %.1f %% of a core\n", openIdle * 100.0);
    EXPECT_LT(openIdle, 0.05);
    // Each click comes after the output has gone to sleep: the recording must hold every note.
    const int y = CFFTScreen::kPlotH - 1 - kClickedRow * 10 - 5;
    for (int click = 0; click < 3; ++click) {
        screen.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, y));
        EXPECT_EQ(screen.m_nMidiNote.load(), 36 + 12 + kClickedRow);
        wait(click < 2 ? 3.0 : 0.8);
    }
    wait(2.5);
    const double afterIdle = cputime::ShareOfACoreWhile([&] { wait(3.0); });
    std::printf("synthesizer after the notes: %.1f %% of a core\n", afterIdle * 100.0);
    EXPECT_LT(afterIdle, 0.05);
}

TEST(SoundServer, ANoteOnWakesTheSleepingSynthesizerWellWithinATenthOfASecond) {
    SKIP_UNLESS_PHASE("midi");
    ::unsetenv("SORVEL_VIRTUAL_MIDI");
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // asleep by now
    // A3, the note the recording of this phase is checked for.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(midiOutShortMsg(out, 0x90 | (57 << 8) | (0x7F << 16)), MMSYSERR_NOERROR);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("note-on while asleep returned after %.1f ms\n", ms);
    // The output's own buffering (16 periods of 64 frames, 23 ms) comes on top of this.
    EXPECT_LT(ms, 60.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(midiOutShortMsg(out, 0x90 | (57 << 8)), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST(SoundServer, RecordingOfTheClickedNoteHasItsPitch) {
    SKIP_UNLESS_PHASE("midicheck");
    const auto recording = runtest::ReadForeignWav(Env("SORVEL_SOUNDSERVER_RECORDING"));
    ASSERT_EQ(recording.format.nSamplesPerSec, 44100u);
    const std::vector<double> q = F0Quartiles(Mono(recording));
    std::printf("clicked note A3: fundamental quartiles %.1f %.1f %.1f Hz over %.0f frames, wanted %.1f Hz\n", q[0], q[1], q[2],
                q[3], kClickedHz);
    EXPECT_GE(q[3], 10.0) << "the note was not heard on the playback device";
    // Within a quarter of a semitone.
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(q[i], kClickedHz, kClickedHz * 0.015) << "quartile " << i + 1;
}

}  // namespace
