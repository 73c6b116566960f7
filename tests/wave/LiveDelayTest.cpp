// A live run's delay: the keeper's corrections, and a linked recording and playback device
// that skip what comes late, hold where the input lost more and never play overwritten sound.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "platform/wave/cutfade.h"
#include "platform/wave/devicecore.h"
#include "platform/wave/livedelay.h"
#include "platform/wave/testdevice.h"
#include "runs/RunHarness.h"
#include "tests/wave/WaveTestSupport.h"

using platform::wave::CLiveDelay;
using platform::wave::CWaveDeviceCore;
using platform::wave::Direction;

namespace {

constexpr double kStep = 0.01;  // the sound system asks for (and hands on) 10 ms at a time

// Two timelines as the devices tell them: offsets that only a loss moves for good, with the
// jitter of requests and arrivals on top. Returns the correction total the keeper asked for.
struct Timelines {
    CLiveDelay keeper;
    double now = 0.0;
    double inLoss = 0.0;   // seconds the recording lost so far
    double outLoss = 0.0;  // seconds the playback lost so far, less its corrections
    double corrected = 0.0;
    int moves = 0;         // corrections in one move
    int gradual = 0;       // corrections a frame at a time
    double largestGradual = 0.0;

    void Run(double seconds, double jitter = 0.004) {
        for (int i = 0; i < static_cast<int>(seconds / kStep + 0.5); ++i) {
            now += kStep;
            const double wobble = jitter * ((i * 7919) % 11) / 10.0;
            keeper.NoteInput(1.0 + inLoss + wobble, now);
            Ask(3.0 + outLoss + wobble);
        }
    }
    void Ask(double outputOffset) {
        const CLiveDelay::Move c = keeper.Correction(outputOffset, now);
        if (c.seconds == 0.0) return;
        outLoss -= c.seconds;
        corrected += c.seconds;
        if (c.gradual) {
            ++gradual;
            largestGradual = std::max(largestGradual, std::fabs(c.seconds));
        } else {
            ++moves;
        }
    }
    double LagAboveUsual() const { return outLoss - inLoss; }
};

TEST(LiveDelayKeeper, JitterAndTheStartsOwnSettlingAreNeverCorrected) {
    Timelines t;
    // The sound server takes a quarter second more at first than it does later, settling over
    // half a second: the lag it then keeps is the usual one.
    for (int i = 0; i < 50; ++i) {
        t.outLoss = -0.25 * (1.0 - i / 50.0);
        t.Run(kStep);
    }
    t.outLoss = 0.0;
    t.Run(60.0, 0.015);
    EXPECT_EQ(t.corrected, 0.0);
}

TEST(LiveDelayKeeper, EveryStallIsUndoneWhateverSideItFellOnAndHoweverMany) {
    struct Case {
        const char* name;
        double halt;
        int times;
        double gap;
    };
    // The program halted: the playback loses the halt less its own buffer, the recording drops
    // the backlog beyond its slack (nothing of a halt up to the slack).
    for (const Case& c : {Case{"one 1 s halt", 1.0, 1, 0.0}, Case{"3 x 0.3 s", 0.3, 3, 1.0},
                          Case{"10 x 0.1 s", 0.1, 10, 0.5}, Case{"20 x 0.15 s", 0.15, 20, 1.0}}) {
        Timelines t;
        t.Run(2.0);
        for (int i = 0; i < c.times; ++i) {
            t.outLoss += c.halt - 0.045;
            t.inLoss += std::max(0.0, c.halt - 0.1);
            t.now += c.halt;
            t.Run(c.gap);
        }
        t.Run(2.0);
        EXPECT_NEAR(t.LagAboveUsual(), 0.0, CLiveDelay::kDriftBandSeconds + 0.005) << c.name;
    }
    // The recording lost more than the playback (a starved sound server): silence holds.
    Timelines t;
    t.Run(2.0);
    t.inLoss += 0.49;
    t.outLoss += 0.05;
    t.Run(2.0);
    EXPECT_NEAR(t.LagAboveUsual(), 0.0, CLiveDelay::kDriftBandSeconds + 0.005);
    EXPECT_LT(t.corrected, -0.4);
}

TEST(LiveDelayKeeper, ALossThatReachesOneSideASpanBeforeTheOtherIsCorrectedOnceByItsFinalSize) {
    Timelines t;
    t.Run(2.0);
    // The playback's loss shows at once, the recording's drop a fifth of a second later, across
    // a span boundary: a correction taken in between would skip 0.9 s and then hold it again.
    t.now = std::floor(t.now / CLiveDelay::kSpanSeconds + 1.0) * CLiveDelay::kSpanSeconds - 0.1;
    t.outLoss += 0.955;
    t.Run(0.2);
    t.inLoss += 0.9;
    t.Run(2.0);
    EXPECT_NEAR(t.corrected, 0.055, 0.01);
    EXPECT_NEAR(t.LagAboveUsual(), 0.0, CLiveDelay::kDriftBandSeconds);
}

TEST(LiveDelayKeeper, ADriftOfTheTwoClocksIsTakenUpGraduallyAndNeverByAMove) {
    // The recording's clock runs 0.022 % fast against the playback's (a USB microphone beside
    // the board's speakers), in either direction, for five minutes.
    for (double drift : {0.00022, -0.00022}) {
        Timelines t;
        t.Run(2.0);
        double furthest = 0.0;
        for (int i = 0; i < 30000; ++i) {
            t.inLoss -= drift * kStep;
            t.Run(kStep);
            furthest = std::max(furthest, std::fabs(t.LagAboveUsual()));
        }
        EXPECT_EQ(t.moves, 0) << drift;
        EXPECT_GT(t.gradual, 5) << drift;
        EXPECT_NEAR(t.corrected, 300.0 * drift, CLiveDelay::kDriftBandSeconds + 0.001) << drift;
        EXPECT_LT(furthest, 1.5 * CLiveDelay::kDriftBandSeconds) << drift;
    }
}

TEST(LiveDelayKeeper, AStallThatBothSidesLoseUnevenlyCostsOneMoveOrNone) {
    // The window's thread stalls: the recording's buffers fill and then overrun, the playback's
    // play out and then run dry, each side's offset climbing with the clock from its own moment
    // on, each side noted at its own pace (pieces of 40 ms and requests every 10 ms, or a
    // playback that, run dry, asks only every 50 ms or not at all). The playback ran dry a little
    // later (or sooner) than the recording overran, which is all the lag moves. The stall ends
    // early or late in a span of the keeper's filters.
    struct Pace {
        int input, output;  // steps of 10 ms between notes (0: none once dry)
    };
    for (const Pace pace : {Pace{4, 1}, Pace{1, 5}, Pace{1, 0}})
    for (double stall : {1.0, 2.09, 4.0}) {
        for (double dryLater : {-0.05, 0.0, 0.03, 0.08}) {
            Timelines t;
            t.Run(2.0);
            const double start = t.now;
            const double overrun = 0.74;
            const double dry = overrun + dryLater;
            for (int i = 1; i <= static_cast<int>(stall / kStep + 0.5); ++i) {
                t.now = start + i * kStep;
                const double into = i * kStep;
                if (i % pace.input == 0) t.keeper.NoteInput(1.0 + t.inLoss + std::max(0.0, into - overrun), t.now);
                if ((pace.output > 0 && i % pace.output == 0) || into < dry) t.Ask(3.0 + t.outLoss + std::max(0.0, into - dry));
            }
            t.inLoss += std::max(0.0, stall - overrun);
            t.outLoss += std::max(0.0, stall - dry);
            t.Run(4.0);
            EXPECT_LE(t.moves, 1) << stall << " s stall, dry " << dryLater << " s later, pace " << pace.input << "/" << pace.output;
            EXPECT_NEAR(t.LagAboveUsual(), 0.0, CLiveDelay::kDriftBandSeconds + 0.001)
                << stall << " s stall, dry " << dryLater << " s later, pace " << pace.input << "/" << pace.output;
        }
    }
}

// A recording and a playback device of 16-bit mono linked to one keeper, on a clock the test
// steps. The playback's buffers are the ring; each sample holds a signal of the stream position
// it is queued for: by default the position itself (plus 1, up to 30000), so what is played
// tells which part of the stream it was.
class LinkedDevices : public ::testing::Test {
protected:
    static constexpr std::size_t kBlock = 4410 * 2;  // 0.1 s
    static constexpr std::size_t kRing = 4 * kBlock;
    using Signal = short (*)(std::size_t frame);
    static short Position(std::size_t frame) { return static_cast<short>(frame % 30000 + 1); }

    explicit LinkedDevices(Signal signal = &Position)
        : signal(signal),
          format(wavetest::Pcm16(1)),
          in(Direction::In, format, [this](WAVEHDR* h) { Requeue(&in, h, 0); }),
          out(Direction::Out, format, [this](WAVEHDR* h) { Requeue(&out, h, kRing); }) {
        const auto clock = [this] { return now; };
        in.SetClock(clock);
        out.SetClock(clock);
        auto keeper = std::make_shared<CLiveDelay>();
        in.LinkLiveDelay(keeper);
        out.SetProgress(&progress);
        out.LinkLiveDelay(keeper, kRing, 2 * kBlock);
        for (int i = 0; i < 4; ++i) {
            inData[i].resize(kBlock / 2);
            outData[i].resize(kBlock / 2);
            for (auto* pair : {&inHdr[i], &outHdr[i]}) pair->dwBufferLength = kBlock;
            inHdr[i].lpData = reinterpret_cast<char*>(inData[i].data());
            outHdr[i].lpData = reinterpret_cast<char*>(outData[i].data());
            outHdr[i].dwUser = i * kBlock / 2;
            Fill(&outHdr[i]);
            in.Submit(&inHdr[i]);
            out.Submit(&outHdr[i]);
        }
        in.Start();
    }
    ~LinkedDevices() override {
        stopping = true;
        in.Reset();
        out.Reset();
    }

    // A playback buffer holds the signal of the stream positions from its dwUser on.
    void Fill(WAVEHDR* h) const {
        auto* samples = reinterpret_cast<short*>(h->lpData);
        for (std::size_t k = 0; k < h->dwBufferLength / 2; ++k) samples[k] = signal(h->dwUser + k);
    }
    // The program's side: a finished buffer goes back at once, a playback buffer holding the
    // positions of its next turn of the ring.
    void Requeue(CWaveDeviceCore* core, WAVEHDR* h, std::size_t ring) {
        if (stopping) return;
        if (ring > 0) {
            h->dwUser += ring / 2;
            if (blockWise) {
                std::fill_n(reinterpret_cast<short*>(h->lpData), h->dwBufferLength / 2, kUnwritten);
            } else {
                Fill(h);
            }
        }
        h->dwFlags &= ~WHDR_DONE;
        core->Submit(h);
    }

    // 10 ms of real time: 10 ms recorded and 10 ms asked for, unless halted. The program keeps
    // up with the recording.
    void Step() {
        now += kStep;
        std::vector<BYTE> piece(441 * 2);
        in.Capture(piece.data(), piece.size());
        in.WaitPosted();
        captured += piece.size();
        progress.store(static_cast<std::int64_t>(captured));
        Play(441 * 2);
    }
    void Play(std::size_t bytes) {
        std::vector<BYTE> got(bytes, 0xEE);
        const std::size_t n = out.Render(got.data(), bytes);
        out.WaitPosted();
        const auto* s = reinterpret_cast<const short*>(got.data());
        played.insert(played.end(), s, s + n / 2);
    }
    void Run(double seconds) {
        for (int i = 0; i < static_cast<int>(seconds / kStep + 0.5); ++i) Step();
    }
    // A halt of the whole program: nothing is asked for or arrives; afterwards the recording's
    // backlog beyond the slack is dropped and the rest delivered, as the backends do.
    void Halt(double seconds) {
        now += seconds;
        const std::size_t bytes = static_cast<std::size_t>(seconds * 44100) * 2;
        const std::size_t kept = std::min<std::size_t>(bytes, 4410 * 2);
        in.DropCaptured(bytes - kept);
        std::vector<BYTE> backlog(kept);
        in.Capture(backlog.data(), kept);
        in.WaitPosted();
        captured += kept;
        progress.store(static_cast<std::int64_t>(captured));
    }
    // Half a second of recording that found no buffer (an overrun), which cost the playback
    // nothing.
    void Overrun() {
        for (int i = 0; i < 50; ++i) {
            now += kStep;
            in.DropCaptured(441 * 2);
            Play(441 * 2);
        }
    }
    // How far the playback's stream position (played or skipped) is behind the recording's,
    // in frames: the lag, less the program's fixed distance.
    long long Behind() const {
        const auto counts = out.DelayCounts();
        const auto sounded = static_cast<long long>(played.size() - std::count(played.begin(), played.end(), 0));
        return static_cast<long long>(captured / 2) - sounded -
               static_cast<long long>((counts.skippedLate + counts.skippedOverwritten + counts.steppedOn - counts.steppedBack) / 2);
    }

    const Signal signal;
    WAVEFORMATEX format;
    double now = 0.0;
    std::atomic<std::int64_t> progress{0};
    std::size_t captured = 0;
    std::vector<short> played;
    bool stopping = false;
    // The program writes each buffer's next turn only as its progress passes it (see
    // BlockWiseProgram); until then the buffer holds this mark.
    static constexpr short kUnwritten = -30000;
    bool blockWise = false;
    std::vector<short> inData[4], outData[4];
    WAVEHDR inHdr[4], outHdr[4];
    CWaveDeviceCore in, out;
};

TEST_F(LinkedDevices, AfterManyHaltsThePlaybackSkipsWhatCameLateAndKeepsItsDistance) {
    Run(2.0);
    const long long before = Behind();
    for (int i = 0; i < 20; ++i) {
        Halt(0.15);
        Run(1.0);
    }
    Run(1.0);
    // The playback, asked for nothing during the halts, lost all of them; the recording lost
    // each halt less the slack; what is skipped makes the difference up.
    const auto counts = out.DelayCounts();
    EXPECT_NEAR(static_cast<double>(counts.skippedLate) / 88200.0, 20 * 0.1, 0.05);
    EXPECT_EQ(counts.held, 0u);
    EXPECT_EQ(counts.skippedOverwritten, 0u);
    EXPECT_NEAR(static_cast<double>(Behind() - before) / 44100.0, 0.0, CLiveDelay::kDriftBandSeconds + 0.01);
    // Nothing played twice, no stream position played out of order: what is skipped is left out.
    for (std::size_t k = 1; k < played.size(); ++k) {
        const int step = (played[k] - played[k - 1] + 30000) % 30000;
        ASSERT_TRUE(step >= 1 && step < 15000) << k;
    }
}

TEST_F(LinkedDevices, WhenTheRecordingLostMoreThePlaybackHoldsWithSilence) {
    Run(2.0);
    const long long before = Behind();
    Overrun();
    Run(2.0);
    const auto counts = out.DelayCounts();
    EXPECT_NEAR(static_cast<double>(counts.held) / 88200.0, 0.5, 0.03);
    EXPECT_EQ(counts.skippedLate, 0u);
    const auto zeros = std::count(played.begin(), played.end(), 0);
    EXPECT_NEAR(static_cast<double>(zeros) / 44100.0, 0.5, 0.03);
    EXPECT_NEAR(static_cast<double>(Behind() - before) / 44100.0, 0.0, CLiveDelay::kDriftBandSeconds + 0.01);
}

TEST_F(LinkedDevices, APlaybackARingBehindSkipsWhatWasWrittenOverAndNeverPlaysIt) {
    Run(2.0);
    // The program went on writing for 0.6 s (a ring is 0.4 s) while the playback got nothing:
    // the entries of the stream positions it was to play next were written again.
    const std::size_t firstMissed = played.size();
    captured += static_cast<std::size_t>(0.6 * 44100) * 2;
    progress.store(static_cast<std::int64_t>(captured));
    for (int i = 0; i < 3; ++i) Play(441 * 2);
    EXPECT_GT(out.DelayCounts().skippedOverwritten, 0u);
    // The first sound played again, once the last level has gone down to silence and the sound
    // after the skip has faded in, comes from no further back than a ring before the newest
    // entry written.
    const std::size_t fade = static_cast<std::size_t>(44100 * platform::wave::cutfade::kFadeSeconds);
    ASSERT_GT(played.size(), firstMissed + 2 * fade);
    const long long oldestKept = static_cast<long long>(captured + 2 * kBlock - kRing) / 2;
    const long long resumed = played[firstMissed + 2 * fade] - 1 - static_cast<long long>(fade);
    EXPECT_LT((resumed - oldestKept % 30000 + 30000) % 30000, 15000) << resumed << " " << oldestKept;
}

// The same devices behind a program that, as the engine does, takes the recording a block at a
// time and writes its output two blocks ahead of it: a buffer entry holds the sound of its new
// turn only once the program's progress has passed it, and kUnwritten until then.
class BlockWiseProgram : public LinkedDevices {
protected:
    BlockWiseProgram() {
        blockWise = true;
        // The first two blocks are the run's opening silence; the rest comes with the recording.
        for (int i = 0; i < 4; ++i)
            std::fill(outData[i].begin(), outData[i].end(), i < 2 ? short{0} : kUnwritten);
    }
    // 10 ms of real time, recorded (once the sound server has begun the recording) and asked
    // for.
    void Tick(bool recording) {
        now += kStep;
        if (recording) {
            std::vector<BYTE> piece(441 * 2);
            in.Capture(piece.data(), piece.size());
            in.WaitPosted();
            captured += piece.size();
            const std::size_t done = captured / kBlock * kBlock;
            for (std::size_t b = written; b < done + 2 * kBlock; b += 2) {
                const std::size_t frame = b / 2 % (kRing / 2);
                outData[frame / (kBlock / 2)][frame % (kBlock / 2)] = Position(b / 2);
            }
            written = done + 2 * kBlock;
            progress.store(static_cast<std::int64_t>(done));
        }
        Play(441 * 2);
    }
    std::size_t written = 2 * kBlock;  // the stream bytes written so far
};

TEST_F(BlockWiseProgram, APlaybackThatStartedAheadOfItsRecordingIsHeldBehindWhatTheProgramHasWritten) {
    // The sound server began the recording 0.15 s after the playback, more than the block by
    // which the program's output is ahead of its input: before each block arrived, the playback
    // would reach the entries of the ring's previous turn.
    for (int i = 0; i < 15; ++i) Tick(false);
    for (int i = 0; i < 300; ++i) Tick(true);
    EXPECT_GT(out.DelayCounts().held, 0u);
    // Once the start has settled, nothing is heard that the program had not written.
    const std::size_t settled = played.size();
    for (int i = 0; i < 500; ++i) Tick(true);
    const auto unwritten = std::count_if(played.begin() + static_cast<std::ptrdiff_t>(settled), played.end(), [](short s) { return s < 0; });
    EXPECT_EQ(unwritten, 0);
}

// The same devices playing a triangle wave of the stream position: one step up or down from one
// sample to the next, so any cut that is not faded shows as a jump.
class FadedCuts : public LinkedDevices {
protected:
    FadedCuts() : LinkedDevices(&Triangle) {}
    static short Triangle(std::size_t frame) {
        return static_cast<short>(std::abs(static_cast<int>((frame + 12000) % 48000) - 24000) - 12000);
    }
    // The largest step between two samples played one after the other.
    int LargestStep() const {
        int largest = 0;
        for (std::size_t k = 1; k < played.size(); ++k) largest = std::max(largest, std::abs(played[k] - played[k - 1]));
        return largest;
    }
};

TEST_F(FadedCuts, EverySkipAndHoldIsFadedOutAndInWithNoJumpThatAHardCutMakes) {
    // A fade of 5 ms between the two farthest levels of the wave steps by 24000 * pi / 442 at
    // most; a hard cut of a 0.1 s skip jumps by up to 4410, and a hold drops to silence from
    // wherever the wave was.
    constexpr int kFadedStep = 250;
    Run(2.0);
    for (int i = 0; i < 4; ++i) {
        Halt(0.15);
        Run(1.2);
    }
    EXPECT_GT(out.DelayCounts().skippedLate, 0u);
    Overrun();
    Run(2.0);
    EXPECT_GT(out.DelayCounts().held, 0u);
    EXPECT_LE(LargestStep(), kFadedStep) << "skips of late sound and holds";
    // The program wrote a ring and a half while the playback got nothing.
    captured += static_cast<std::size_t>(0.6 * 44100) * 2;
    progress.store(static_cast<std::int64_t>(captured));
    Run(0.5);
    EXPECT_GT(out.DelayCounts().skippedOverwritten, 0u);
    EXPECT_LE(LargestStep(), kFadedStep) << "a skip of sound written over";
}

// The dialog's capture wrapper on devices that keep real time, linked as a LIVE run links them,
// on the test's clock: a recorded block the engine had no room for is input lost, and the
// playback makes it up with silence.
TEST(LiveDelayOfTheDialog, ABlockTheEngineHadNoRoomForIsMadeUpByThePlayback) {
    double now = 0.0;
    platform::wave::CTestWaveDevices devices;
    devices.KeepRealTime([&now] { return now; });
    TempFolder folder;
    runtest::RunDialog dlg(folder.Path());
    runtest::SetUpLikeStartUp(dlg, folder.Path());
    platform::ui::TakeHeadlessMessageBoxes();

    wavetest::CRecordingWnd wnd;
    const WAVEFORMATEX f = wavetest::Pcm16(1);
    HWAVEIN hwi = nullptr;
    HWAVEOUT hwo = nullptr;
    ASSERT_EQ(waveInOpen(&hwi, WAVE_MAPPER, &f, wavetest::Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutOpen(&hwo, WAVE_MAPPER, &f, wavetest::Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ASSERT_EQ(platform::wave::LinkLiveDevices(hwi, hwo, 0, 0), MMSYSERR_NOERROR);
    wavetest::BufferSet recorded(4410), playing(4410);
    for (auto& data : playing.data) data.assign(4410, 1000);
    // The program's side: each finished buffer goes back at once.
    wnd.onMessage = [&](const wavetest::Received& r) {
        r.hdr->dwFlags = 0;
        if (r.message == MM_WIM_DATA) {
            waveInPrepareHeader(hwi, r.hdr, sizeof(WAVEHDR));
            waveInAddBuffer(hwi, r.hdr, sizeof(WAVEHDR));
        } else {
            waveOutPrepareHeader(hwo, r.hdr, sizeof(WAVEHDR));
            waveOutWrite(hwo, r.hdr, sizeof(WAVEHDR));
        }
    };
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(waveInPrepareHeader(hwi, &recorded.hdr[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(hwi, &recorded.hdr[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutPrepareHeader(hwo, &playing.hdr[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(hwo, &playing.hdr[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
    const auto run = [&](double seconds) {
        for (int i = 0; i < static_cast<int>(seconds / kStep + 0.5); ++i) {
            now += kStep;
            devices.FeedInput(std::vector<short>(441, 0));
            devices.PlayOutput(441);
            platform::ui::DeliverPostedMessages();
        }
    };
    run(2.0);
    // The engine has passed none of the ring that a block at a whole ring's count overwrites.
    dlg.m_nMethod = 0;
    dlg.m_hWaveIn = hwi;
    dlg.m_nInputCount.store(dlg.m_nRingLen);
    std::vector<short> block(8820, 500);
    WAVEHDR hdr;
    hdr.lpData = reinterpret_cast<char*>(block.data());
    hdr.dwBufferLength = hdr.dwBytesRecorded = static_cast<DWORD>(block.size() * sizeof(short));
    EXPECT_FALSE(dlg.StoreInputBlock(&hdr)) << "the block found room";
    dlg.m_hWaveIn = nullptr;
    run(2.0);
    platform::wave::LiveDelayCounts counts;
    ASSERT_EQ(platform::wave::GetLiveDelayCounts(hwo, &counts), MMSYSERR_NOERROR);
    EXPECT_NEAR(static_cast<double>(counts.held) / 88200.0, 0.2, 0.01) << "the playback did not make up the dropped block";
    EXPECT_EQ(counts.skippedLate, 0u);

    wnd.onMessage = nullptr;
    waveInReset(hwi);
    waveOutReset(hwo);
    platform::ui::DeliverPostedMessages();
    for (int i = 0; i < 4; ++i) {
        waveInUnprepareHeader(hwi, &recorded.hdr[i], sizeof(WAVEHDR));
        waveOutUnprepareHeader(hwo, &playing.hdr[i], sizeof(WAVEHDR));
    }
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(hwo), MMSYSERR_NOERROR);
}

}  // namespace
