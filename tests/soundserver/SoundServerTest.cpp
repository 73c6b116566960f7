// Runs through the sound system (PortAudio, or the sound server's own client library for the
// default devices) against a real sound server. The script
// scripts/soundserver-test.sh starts a private PulseAudio with two null sinks (the recording
// device is the monitor of the first, which is fed with the voice; the playback device is the
// second), records the second sink's monitor, and runs these cases in turn through
// SORVEL_SOUNDSERVER: "run" converts the voice live, "check" compares the recording with the
// voice, "thru" passes clicks through unchanged and "latency" measures their delay; "midi" clicks a
// note on the analyser, which the MIDI synthesizer plays on the playback device, and "midicheck"
// measures the recorded note's fundamental; "halt" runs a file or LIVE run that is halted for half
// a second in its middle and measures what that cost on the recording. Without the script every
// case is skipped.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <chrono>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// --- A halt of the program in the middle of a run -------------------------------------------
// The "halt" phase runs a file run or a LIVE run, halts this process in the middle of it
// (SIGSTOP from a child, SIGCONT after the halt) and measures what that cost on the playback
// sink's monitor, against the voice: how late the sound starts after the run's start, how much
// longer the heard sound lasts than the voice, the silence the halt added and the longest silent
// stretch. SORVEL_SOUNDSERVER_CASE names the run: "file" or "live", the method "psola" or "pv",
// the latency setting 0 (blocks of 32768 bytes) or 1 (16384), the MIDI synthesizer "none"
// (switched off) or "asleep" (open and silent, its output gone to sleep), the halt's length
// in seconds, and optionally "ui": then only the user-interface thread is held up that long
// (the devices' finished buffers wait in its queue) and the process runs on.
// Beside the program a plain client of the server, a player of the same voice on a sink of its
// own, starts with the run and is halted with it: what the halt cost that player is what the
// machine gives any client at that moment, and the program may do only a little worse.
// A LIVE run also has its input and its output looped into the left and the right channel of
// one more sink, recorded together: the output's lag behind the input, measured before the halt
// and two to seven seconds after it, must come back to what it was.
// The run's start is found in the recording through a click played on the same sink just before
// it: the click's end is the moment paplay returned, the run started a measured time later.

constexpr double kFrame = 0.01;         // level frames of 10 ms
constexpr double kIdleSinkBlock = 2.0;  // longest block an idle null sink renders ahead

// RMS level per 10 ms frame.
std::vector<double> Levels(const std::vector<short>& s) {
    const std::size_t n = static_cast<std::size_t>(44100 * kFrame);
    std::vector<double> r(s.size() / n);
    for (std::size_t i = 0; i < r.size(); ++i) {
        double sum = 0.0;
        for (std::size_t k = 0; k < n; ++k) sum += double(s[i * n + k]) * s[i * n + k];
        r[i] = std::sqrt(sum / n);
    }
    return r;
}

// One channel of an interleaved recording.
std::vector<short> Channel(const platform::wave::WavAudio& a, int channel) {
    const std::size_t c = a.format.nChannels;
    std::vector<short> m(a.samples.size() / c);
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = a.samples[i * c + static_cast<std::size_t>(channel)];
    return m;
}

struct Sounded {
    double first = -1.0;  // seconds, first frame above the threshold at or after `from`
    double last = -1.0;   // last such frame
    double longestGap = 0.0;
};

Sounded SoundedSpan(const std::vector<double>& level, double from, double threshold) {
    Sounded s;
    double gapStart = -1.0;
    for (std::size_t i = static_cast<std::size_t>(from / kFrame); i < level.size(); ++i) {
        const double t = i * kFrame;
        if (level[i] <= threshold) {
            if (gapStart < 0.0 && s.first >= 0.0) gapStart = t;
            continue;
        }
        if (s.first < 0.0) s.first = t;
        if (gapStart >= 0.0) s.longestGap = std::max(s.longestGap, t - gapStart);
        gapStart = -1.0;
        s.last = t + kFrame;
    }
    return s;
}

// Silent frames inside a sounded span.
double SilenceWithin(const std::vector<double>& level, const Sounded& s) {
    double t = 0.0;
    for (double x = s.first; x < s.last - kFrame / 2; x += kFrame)
        if (level[static_cast<std::size_t>(x / kFrame + 0.5)] <= 100.0) t += kFrame;
    return t;
}

// What a halted run cost against the voice.
struct HaltCost {
    double endLate = 0.0;  // how much longer the heard sound lasted than the voice
    double lost = 0.0;     // silence added inside it
    double longestGap = 0.0;
};

HaltCost CostAgainst(const std::vector<double>& heard, const Sounded& h, const std::vector<double>& voice, const Sounded& v) {
    HaltCost c;
    c.endLate = (h.last - h.first) - (v.last - v.first);
    c.lost = SilenceWithin(heard, h) - SilenceWithin(voice, v);
    c.longestGap = h.longestGap;
    return c;
}

// The lag of `output` behind `input` (seconds, both level envelopes on one clock) that matches
// the input's stretch [from, to) best, searched within [lo, hi]; *match gets the normalised
// correlation at that lag.
double LagOver(const std::vector<double>& input, const std::vector<double>& output, double from, double to, double lo,
               double hi, double* match) {
    const auto db = [](double level) { return 20.0 * std::log10(std::max(level, 30.0)); };
    const auto i0 = static_cast<std::size_t>(std::max(0.0, from) / kFrame);
    const std::size_t n = static_cast<std::size_t>((to - std::max(0.0, from)) / kFrame);
    double best = -2.0;
    double bestLag = -1.0;
    for (auto k = static_cast<std::size_t>(lo / kFrame); k <= static_cast<std::size_t>(hi / kFrame); ++k) {
        if (i0 + k + n > output.size() || i0 + n > input.size()) break;
        double ma = 0.0, mb = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            ma += db(input[i0 + i]);
            mb += db(output[i0 + k + i]);
        }
        ma /= n;
        mb /= n;
        double ab = 0.0, aa = 0.0, bb = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double a = db(input[i0 + i]) - ma, b = db(output[i0 + k + i]) - mb;
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
        const double r = aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : -1.0;
        if (r > best) {
            best = r;
            bestLag = k * kFrame;
        }
    }
    *match = best;
    return bestLag;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Seconds of silence the sink has rendered ahead now (its latency as the server reports it): a
// null sink with no stream renders up to two seconds at a time, and its monitor passes that on
// before anything a new stream plays. -1 when it cannot be read.
double SilenceAheadOf(const std::string& sink) {
    std::FILE* p = popen("pactl list sinks", "r");
    if (p == nullptr) return -1.0;
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
    const std::size_t at = text.find("Name: " + sink + "\n");
    if (at == std::string::npos) return -1.0;
    const std::size_t lat = text.find("Latency: ", at);
    if (lat == std::string::npos) return -1.0;
    return std::atof(text.c_str() + lat + 9) * 1e-6;
}

pid_t SpawnShell(const std::string& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Output of a shell command, less its last line end.
std::string CommandOutput(const std::string& command) {
    std::FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return std::string();
    std::string text;
    char buf[256];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

pid_t Record(const std::string& source, int channels, const std::string& path) {
    return SpawnShell("exec parecord --device=" + source + " --format=s16le --rate=44100 --channels=" +
                      std::to_string(channels) + " --file-format=wav " + Quote(path));
}

void EndChild(pid_t pid, int sig) {
    if (pid <= 0) return;
    kill(pid, sig);
    waitpid(pid, nullptr, 0);
}

// Halts this process and `other` together for `seconds`: a child stops both and lets them go
// on. Returns once this process runs again.
void HaltTogether(double seconds, pid_t other) {
    const pid_t self = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        kill(self, SIGSTOP);
        if (other > 0) kill(other, SIGSTOP);
        const auto ns = static_cast<long long>(seconds * 1e9);
        const timespec halt{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
        nanosleep(&halt, nullptr);
        kill(self, SIGCONT);
        if (other > 0) kill(other, SIGCONT);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

// Halts `other` alone for `seconds` (the sound server: every client waits for it).
void HaltOther(double seconds, pid_t other) {
    kill(other, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    kill(other, SIGCONT);
}

// The output's half-second windows over [from, to) of the input: the lag that matches each best,
// with its match, and how well each matches at the lag `usual`. A voice repeats its sounds, so
// a short window may match about as well somewhere else; one that has moved matches poorly at
// the usual lag.
struct WindowLag {
    double at, lag, match, usualMatch;
};
std::vector<WindowLag> WindowLags(const std::vector<double>& input, const std::vector<double>& output, double from, double to,
                                  double usual) {
    std::vector<WindowLag> lags;
    for (double t = from; t + 0.5 <= to; t += 0.5) {
        WindowLag w{t, 0.0, 0.0, 0.0};
        w.lag = LagOver(input, output, t, t + 0.5, 0.05, 3.0, &w.match);
        LagOver(input, output, t, t + 0.5, usual - 0.05, usual + 0.05, &w.usualMatch);
        lags.push_back(w);
    }
    return lags;
}

// Loops the voice's and the heard sink's monitors into the left and the right channel of the
// lag sink while it lives.
class LagLoops {
public:
    LagLoops() {
        for (const char* pair : {"source=sorvel_voice.monitor sink=sorvel_lag_in", "source=sorvel_heard.monitor sink=sorvel_lag_out"})
            m_modules.push_back(CommandOutput(std::string("pactl load-module module-loopback latency_msec=20 ") + pair));
    }
    ~LagLoops() {
        for (const std::string& m : m_modules)
            if (!m.empty()) (void)std::system(("pactl unload-module " + m).c_str());
    }
    bool Loaded() const {
        return std::all_of(m_modules.begin(), m_modules.end(), [](const std::string& m) { return !m.empty(); });
    }

private:
    std::vector<std::string> m_modules;
};

TEST(SoundServer, AHaltCostsTheRunNoMoreThanItCostsAPlainClient) {
    SKIP_UNLESS_PHASE("halt");
    // run method latency synthesizer halt-seconds [what [times [every]]]: what is halted is
    // "process" (this process and the plain player), "ui" (this process's window thread alone)
    // or "server" (the sound server); the halt comes `times` times, `every` seconds apart.
    std::istringstream kind(Env("SORVEL_SOUNDSERVER_CASE"));
    std::string run, method, midi;
    int latencyMode = 0;
    double haltSeconds = 0.0;
    std::string halted = "process";
    int times = 1;
    double every = 0.0;
    kind >> run >> method >> latencyMode >> midi >> haltSeconds >> halted >> times >> every;
    if (times < 1) times = 1;
    ASSERT_TRUE((run == "file" || run == "live") && (method == "psola" || method == "pv") && (midi == "none" || midi == "asleep") &&
                haltSeconds > 0.0 && haltSeconds <= 4.0 && (halted == "process" || halted == "ui" || halted == "server") &&
                times <= 40 && (times == 1 || (every >= haltSeconds && run == "live")))
        << Env("SORVEL_SOUNDSERVER_CASE");
    const pid_t server = static_cast<pid_t>(std::atol(Env("SORVEL_SOUNDSERVER_SERVER_PID").c_str()));
    if (halted == "server") {
        ASSERT_GT(server, 0) << "SORVEL_SOUNDSERVER_SERVER_PID names no process";
    }
    const double haltTotal = haltSeconds * times;
    const bool live = run == "live";
    const std::string folder = Env("SORVEL_SOUNDSERVER_DIR") + "/";
    std::string voicePath = Env("SORVEL_SOUNDSERVER_VOICE");
    // Many halts need a longer voice: it is played twice over.
    const double haltsLast = (times - 1) * every;
    if (haltsLast > 3.0) {
        const std::string twice = folder + "voice-twice.wav";
        ASSERT_EQ(std::system(("sox " + Quote(voicePath) + " " + Quote(voicePath) + " " + Quote(twice)).c_str()), 0);
        voicePath = twice;
    }
    const std::string name = run + "-" + method + "-" + std::to_string(latencyMode) + "-" + midi + "-" + Env("SORVEL_SOUNDSERVER_CASE_INDEX");
    const std::string recording = folder + "halt-" + name + ".wav";
    const std::string reference = folder + "halt-" + name + "-plain.wav";
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };

    HMIDIOUT synth = nullptr;
    if (midi == "asleep") {
        ::unsetenv("SORVEL_VIRTUAL_MIDI");
        ASSERT_EQ(midiOutOpen(&synth, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR);
    }
    // A LIVE run is heard through the lag sink, whose loopbacks keep both sinks awake.
    std::unique_ptr<LagLoops> loops;
    if (live) {
        loops = std::make_unique<LagLoops>();
        ASSERT_TRUE(loops->Loaded()) << "the loopbacks into the lag sink could not be loaded";
    }
    const pid_t recorder = live ? Record("sorvel_lag.monitor", 2, recording) : Record("sorvel_heard.monitor", 1, recording);
    const pid_t plainRecorder = Record("sorvel_plain.monitor", 1, reference);
    ASSERT_GT(recorder, 0);
    ASSERT_GT(plainRecorder, 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // the recorders run; an open synthesizer sleeps by now
    ASSERT_EQ(std::system(("paplay --latency-msec=20 --device=sorvel_heard " + Quote(Env("SORVEL_SOUNDSERVER_MARKER"))).c_str()), 0);
    const auto marked = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // the sink idles before the run, as it usually does

    // The trace tells what the recording device dropped.
    const std::string tracePath = folder + "debug.txt";
    if (std::FILE* trace = std::fopen(tracePath.c_str(), "w")) std::fclose(trace);
    RunDialog dlg(folder);
    runtest::SetUpLikeStartUp(dlg, folder, latencyMode);
    platform::ui::TakeHeadlessMessageBoxes();
    dlg.m_fPitchRatio = 1.0f;
    dlg.m_nMethod = method == "pv" ? 1 : 0;
    if (method == "pv") dlg.m_pitchScale.Init(2, 44100);
    // About what no stream can come before: silence the idle sinks have already rendered ahead.
    double ahead = SilenceAheadOf("sorvel_heard");
    if (live) ahead += SilenceAheadOf("sorvel_voice");
    ASSERT_GE(ahead, 0.0) << "pactl cannot tell the sinks' latency";
    pid_t feeder = -1;
    const pid_t plain = SpawnShell("exec paplay --latency-msec=20 --device=sorvel_plain " + Quote(voicePath));
    const auto started = Clock::now();
    if (!live) {
        dlg.m_strDropFile = voicePath.c_str();
        dlg.OnBnClickedOpen();
        ASSERT_EQ(dlg.m_nRunState.load(), 2);
    } else {
        feeder = SpawnShell("exec paplay --latency-msec=20 --device=sorvel_voice " + Quote(voicePath));
        dlg.OnBnClickedLive();
        ASSERT_EQ(dlg.m_nRunState.load(), 1);
    }
    const double runStart = seconds(started - marked);
    // 8.5 s into the voice (5.5 s before many halts); the phase vocoder's LIVE input counts
    // both channels' samples.
    const double firstHaltInVoice = haltsLast > 3.0 ? 5.5 : 8.5;
    const int middle = static_cast<int>(44100 * firstHaltInVoice) * (live && method == "pv" ? 2 : 1);
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg.m_nInputCount.load() >= middle; }, 40.0));
    const double haltAt = seconds(Clock::now() - marked);
    double lastHaltAt = haltAt;
    for (int i = 0; i < times; ++i) {
        if (i > 0) {
            // The next halt `every` seconds after the one before began.
            const double due = haltAt + i * every;
            runtest::PumpFor(std::max(0.0, due - seconds(Clock::now() - marked)));
        }
        lastHaltAt = seconds(Clock::now() - marked);
        if (halted == "ui") {
            // Only the user-interface thread is held up: the devices go on, and their finished
            // buffers wait in its queue.
            std::this_thread::sleep_for(std::chrono::duration<double>(haltSeconds));
        } else if (halted == "server") {
            HaltOther(haltSeconds, server);
        } else {
            HaltTogether(haltSeconds, plain);
        }
    }
    if (!live) {
        EXPECT_TRUE(runtest::PumpUntil([&] { return dlg.m_nRunState.load() == 0; }, 40.0)) << "the file run did not end";
    } else {
        // Until the voice has ended, and long enough after the last halt to measure the lag.
        const double voiceSeconds = static_cast<double>(runtest::ReadForeignWav(voicePath).samples.size()) / 44100.0;
        runtest::PumpFor(std::max({1.0, std::max(22.0, voiceSeconds + 3.0) - seconds(Clock::now() - started),
                                   lastHaltAt + 8.0 - seconds(Clock::now() - marked)}));
        dlg.OnBnClickedStop();
    }
    EXPECT_TRUE(runtest::BoxTexts().empty());
    // The plain player has played its voice to the end by now, unless the machine holds it back.
    int status = 0;
    EXPECT_TRUE(runtest::PumpUntil([&] { return waitpid(plain, &status, WNOHANG) == plain; }, 30.0)) << "the plain player did not end";
    runtest::PumpFor(2.5);
    EndChild(recorder, SIGINT);
    EndChild(plainRecorder, SIGINT);
    EndChild(feeder, SIGTERM);
    loops.reset();
    if (synth != nullptr) midiOutClose(synth);

    // Drops of recording the trace tells, with their lengths in ms, and blocks the engine had
    // no room for.
    std::vector<int> droppedMs;
    int engineDrops = 0;
    int skippedLateMs = 0, skippedOverwrittenMs = 0, heldMs = 0, stepped = 0, lateOrHeld = 0;
    std::string moves;  // every move the playback made, in order: +ms skipped, -ms held
    for (const std::string& line : runtest::TraceLines(tracePath)) {
        const int ms = line.find(": ") != std::string::npos ? std::atoi(line.c_str() + line.find(": ") + 2) : 0;
        if (line.rfind("MM_WIM_DATA recording dropped at ", 0) == 0) droppedMs.push_back(ms);
        if (line.rfind("MM_WIM_DATA dropped at ", 0) == 0) ++engineDrops;
        if (line.rfind("MM_WOM_DONE playback skipped", 0) == 0) {
            const bool over = line.find("written over") != std::string::npos;
            (over ? skippedOverwrittenMs : skippedLateMs) += ms;
            moves += " +" + std::to_string(ms) + (over ? "(written over)" : "");
            lateOrHeld += over ? 0 : 1;
        }
        if (line.rfind("MM_WOM_DONE playback held", 0) == 0) {
            heldMs += ms;
            moves += " -" + std::to_string(ms);
            ++lateOrHeld;
        }
        if (line.rfind("MM_WOM_DONE playback stepped", 0) == 0) stepped += ms;
    }
    std::printf("halt case %s: the playback skipped %d ms that came late and %d ms written over, and held %d ms (moves in ms:%s); "
                "it stepped %d frames one at a time\n",
                Env("SORVEL_SOUNDSERVER_CASE").c_str(), skippedLateMs, skippedOverwrittenMs, heldMs, moves.empty() ? " none" : moves.c_str(),
                stepped);
    // A stall of the window's thread alone costs both sides about the same: one move makes up
    // the difference, or none; never a move and then its undoing.
    if (halted == "ui") {
        EXPECT_LE(lateOrHeld, 1) << "the playback moved more than once after one stall:" << moves;
    }
    std::remove(tracePath.c_str());
    std::string told;
    for (int ms : droppedMs) told += " " + std::to_string(ms);
    std::printf("halt case %s: the trace tells recording dropped (ms):%s; blocks the engine had no room for: %d\n",
                Env("SORVEL_SOUNDSERVER_CASE").c_str(), told.empty() ? " none" : told.c_str(), engineDrops);

    const auto recorded = runtest::ReadForeignWav(recording);
    const std::vector<double> heard = Levels(Channel(recorded, live ? 1 : 0));
    const std::vector<double> voice = Levels(Mono(runtest::ReadForeignWav(voicePath)));
    const std::vector<double> plainHeard = Levels(Mono(runtest::ReadForeignWav(reference)));
    const Sounded marker = SoundedSpan(heard, 0.0, 1000.0);
    ASSERT_GE(marker.first, 0.0) << "the click before the run is not in the recording";
    double markerEnd = marker.first;
    while (markerEnd / kFrame < heard.size() && heard[static_cast<std::size_t>(markerEnd / kFrame)] > 30.0) markerEnd += kFrame;
    const double openAt = markerEnd + runStart;
    const Sounded v = SoundedSpan(voice, 0.0, 100.0);
    const Sounded h = SoundedSpan(heard, markerEnd + 0.1, 100.0);
    const Sounded p = SoundedSpan(plainHeard, 0.0, 100.0);
    ASSERT_GE(h.first, 0.0) << "nothing of the run was heard";
    ASSERT_GE(p.first, 0.0) << "nothing of the plain player was heard";
    // The program's own delay: B samples of the output ring (the silent start buffers). Before it,
    // an idle null sink may have rendered silence ahead, up to its longest block of 2 s, which its
    // monitor passes on before anything a stream that comes now plays: the sinks' latencies read
    // just before the run tell about how much, but that figure jumps by 2 s whenever the idle sink
    // renders its next block, so the start is bounded with the whole block.
    const double ring = dlg.m_nBlockBytes / 44100.0;
    const double startsAfter = h.first - openAt - v.first;
    const HaltCost cost = CostAgainst(heard, h, voice, v);
    const HaltCost plainCost = CostAgainst(plainHeard, p, voice, v);
    std::printf("halt case %s: %.2f s halt; heard from %.2f s to %.2f s after the run's start (ring %.2f s, idle sinks about %.2f s "
                "ahead); ends %.2f s later than the voice lasts, %.2f s of silence added (longest %.2f s, the voice's own %.2f s); "
                "the plain player: %.2f s later, %.2f s added, longest %.2f s\n",
                Env("SORVEL_SOUNDSERVER_CASE").c_str(), haltSeconds, startsAfter, h.last - openAt, ring, ahead, cost.endLate, cost.lost,
                cost.longestGap, v.longestGap, plainCost.endLate, plainCost.lost, plainCost.longestGap);
    const double idleSinks = live ? 0.0 : 1.0;  // the lag sink's loopbacks keep a LIVE run's sinks awake
    EXPECT_LE(startsAfter, ring + idleSinks * kIdleSinkBlock + 1.0) << "the sound started late";
    // Silence: no more than the plain player got (the halt and whatever the machine added to
    // it), with a margin; with a quiet machine that is the halt's own length. What the machine
    // added beyond the halts, as the plain player met it, bounds the other checks as well.
    constexpr double kMargin = 0.3;
    const double machineAdded = std::max(0.0, std::max(plainCost.lost, plainCost.endLate) - (halted == "process" ? haltTotal : 0.0));
    const double gapBound = std::max(plainCost.longestGap, v.longestGap + haltSeconds) + kMargin;
    EXPECT_LE(cost.longestGap, gapBound) << "the halt left a hole longer than the plain player's";
    EXPECT_LE(cost.lost, std::max(plainCost.lost, haltTotal) + kMargin) << "the halt cost more silence than it cost the plain player";
    if (!live) {
        EXPECT_TRUE(droppedMs.empty()) << "a file run has no recording to drop";
        // Nothing of a file is dropped: the run carries the halt's length, like the plain player,
        // and no more than it. Ending sooner means sound was lost.
        EXPECT_LE(cost.endLate, std::max(plainCost.endLate, haltSeconds) + kMargin) << "the run ended late: the halt's delay was carried";
        EXPECT_GE(cost.endLate, haltSeconds - kMargin) << "the run ended early: sound of the file was lost";
        return;
    }
    // A LIVE run drops what the halts kept from it, and the trace tells it: as much as each halt
    // less what the playback's own buffer carried over (or, with the window's thread alone held
    // up, what the recording buffers could not hold), no more than the halts.
    double dropped = 0.0;
    for (int ms : droppedMs) dropped += ms / 1000.0;
    EXPECT_LE(dropped, haltTotal + 0.1 + machineAdded) << "the trace tells more recording dropped than the halts lasted";
    if (halted == "process") {
        EXPECT_GE(dropped, times * (haltSeconds - 0.35)) << "the trace does not tell what the halt's backlog cost";
    }
    // It ends as late as the voice does, no later and no sooner.
    EXPECT_LE(std::abs(cost.endLate), kMargin + machineAdded) << "the LIVE run's end moved against the voice's";
    const std::vector<double> input = Levels(Channel(recorded, 0));
    const double haltHeard = markerEnd + haltAt;  // the first halt on the recording's clock
    const double lastHeard = markerEnd + lastHaltAt + haltSeconds;  // the end of the last one
    double before = 0.0, after1 = 0.0, after2 = 0.0, m0 = 0.0, m1 = 0.0, m2 = 0.0;
    before = LagOver(input, heard, haltHeard - 4.5, haltHeard - 0.3, 0.05, 3.0, &m0);
    after1 = LagOver(input, heard, lastHeard + 2.0, lastHeard + 5.0, 0.05, 3.0, &m1);
    after2 = LagOver(input, heard, lastHeard + 4.0, lastHeard + 7.0, 0.05, 3.0, &m2);
    std::printf("halt case %s: lag behind the input %.2f s before the halt (match %.2f), %.2f s 2-5 s after it (match %.2f), "
                "%.2f s 4-7 s after it (match %.2f)\n",
                Env("SORVEL_SOUNDSERVER_CASE").c_str(), before, m0, after1, m1, after2, m2);
    // Half a second at a time after the last halt: one lag throughout, never sound a ring apart.
    const std::vector<WindowLag> windows = WindowLags(input, heard, lastHeard + 1.0, lastHeard + 7.0, before);
    std::string shown;
    for (const WindowLag& w : windows) {
        char one[64];
        std::snprintf(one, sizeof one, " %.2f(%.2f; %.2f at %.2f)", w.lag, w.match, w.usualMatch, before);
        shown += one;
    }
    std::printf("halt case %s: half-second windows after the last halt, best lag (match; match at the usual lag):%s\n", Env("SORVEL_SOUNDSERVER_CASE").c_str(),
                shown.c_str());
    // The plain player, whose voice went through the same machine, says how closely any client
    // could follow its input: the lag's match must come near its own.
    std::vector<double> plainMatches;
    for (double t = v.first; t + 3.0 <= v.last; t += 3.0) {
        double m = 0.0;
        LagOver(voice, plainHeard, t, t + 3.0, 0.0, p.first - v.first + haltTotal + 1.0, &m);
        plainMatches.push_back(m);
    }
    ASSERT_FALSE(plainMatches.empty());
    std::sort(plainMatches.begin(), plainMatches.end());
    const double plainMatch = plainMatches[plainMatches.size() / 2];
    const double matchBound = std::min(0.5, plainMatch - 0.15);
    for (double m : {m0, m1, m2})
        EXPECT_GT(m, matchBound) << "the output does not follow the input closely enough to measure its lag (the plain player's match "
                                 << plainMatch << ")";
    const double tolerance = times > 1 ? 0.1 : 0.15;
    EXPECT_NEAR(after1, before, tolerance) << "the LIVE run's delay did not come back after the halt";
    EXPECT_NEAR(after2, before, tolerance) << "the LIVE run's delay did not stay at its value after the halt";
    int matched = 0;
    for (const WindowLag& w : windows) {
        if (w.match < std::max(0.6, matchBound)) continue;
        ++matched;
        // Sound from elsewhere in the input (a ring apart, say) matches well at its own lag and
        // poorly at the usual one.
        if (std::abs(w.lag - before) > 0.15) {
            EXPECT_GT(w.usualMatch, w.match - 0.25)
                << "the output " << w.at - lastHeard << " s after the last halt follows its input at another lag, " << w.lag << " s";
        }
    }
    EXPECT_GE(matched, static_cast<int>(windows.size()) / 2) << "too few half-second windows follow the input to tell its lag";
}

}  // namespace
