// Runs of many hours: the engine stepped block by block with its stream positions started just
// below the limits of 32-bit counts (2^31 samples of input is 13.5 hours; at formant +24 the
// overlap-add position runs at twice that rate), then carried across them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <unistd.h>

#include "support/EngineHarness.h"
#include "support/PitchTrack.h"
#include "support/Signals.h"

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct LongRun {
    const char* name;
    std::int64_t start;  // input samples before the stepped stretch
    std::int64_t ola;    // overlap-add position at that point
};

void PrintTo(const LongRun& run, std::ostream* os) { *os << run.name; }

class LongRunTest : public testing::TestWithParam<LongRun> {};

TEST_P(LongRunTest, PitchStaysRightAndMemoryFlatAcrossTheCountLimits) {
    const LongRun& run = GetParam();
    EngineHarness h;
    h.SetPitch(-24);
    h.SetFormant(24);  // grains four times the period apart: the overlap-add position runs at twice the input's rate
    const int half = h.Half();
    const double f0 = 44100.0 / 240.0;
    const auto tone = signals::Harmonic(f0, 30, 10000.0, 16 * half, [](double hz) { return 1.0 / hz; });
    h.BeginAt(run.start, run.ola);

    const int blocks = static_cast<int>(60.0 * 44100.0 / half);  // a minute, the limits in its middle
    std::vector<short> tail;
    long residentMid = 0;
    for (int b = 0; b < blocks; ++b) {
        h.FeedBlock(tone.data() + static_cast<size_t>(b % 16) * static_cast<size_t>(half), half);
        if (b == blocks / 2) residentMid = ResidentKiB();
        if (b >= blocks - 12) {
            const auto out = h.OutputBlock(b - 1);
            tail.insert(tail.end(), out.begin(), out.end());
        }
    }
    // Every count went on past the limits, and marks were made to the end.
    EXPECT_EQ(h.dlg.m_nInputCount.load(), run.start + static_cast<std::int64_t>(blocks) * half);
    EXPECT_GT(h.dlg.m_pnMark[h.dlg.m_nMarkCount.load() & h.dlg.m_nRingMask], h.dlg.m_nInputCount.load() - 2 * half);
    EXPECT_GT(h.synth.out, run.start + static_cast<std::int64_t>(blocks - 3) * half);
    EXPECT_GT(h.synth.main.grainPos, run.ola + 2 * (static_cast<std::int64_t>(blocks - 3) * half));

    // The last blocks played are the tone an octave down.
    const double got = pitchtrack::MedianF0(tail);
    EXPECT_LE(std::fabs(pitchtrack::Cents(got, f0 / 2.0)), 10.0) << got;
    EXPECT_GT(pitchtrack::Rms(tail, 0, tail.size()), 1000.0);

    // Nothing grows with the run: the per-cycle buffers stay about a block, the process's size stays.
    EXPECT_LE(h.synth.segment.capacity(), static_cast<size_t>(4 * half));
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // (The sanitizers keep records of their own that grow with the run.)
    EXPECT_LE(ResidentKiB() - residentMid, 1024);
#else
    (void)residentMid;
#endif
}

constexpr std::int64_t kHalfMinute = 30 * 44100;
constexpr std::int64_t k2e31 = std::int64_t{1} << 31;
constexpr std::int64_t k2e32 = std::int64_t{1} << 32;

INSTANTIATE_TEST_SUITE_P(
    Counts, LongRunTest,
    testing::Values(
        // Input count across 2^31 (13.5 h), overlap-add position across 2^32.
        LongRun{"InputPast2e31", k2e31 - kHalfMinute, k2e32 - 2 * kHalfMinute},
        // Fifteen hours and more: input past 2^32 (27 h), overlap-add past 2^33.
        LongRun{"InputPast2e32", k2e32 - kHalfMinute, 2 * k2e32 - 2 * kHalfMinute}),
    [](const testing::TestParamInfo<LongRun>& info) { return std::string(info.param.name); });

}  // namespace
