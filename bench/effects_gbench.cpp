// Throughput of the sound effects on one core: the equaliser with all eleven bands designed
// (mono and stereo blocks of the standard size) and the reverb at its longest echo train.
// "realtime" is how many times faster than a 44100 Hz stream one core processes it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "effects/EchoGains.h"
#include "effects/GraphicEqualizer.h"
#include "effects/PeakingDesign.h"
#include "effects/Reverb.h"

namespace {

constexpr int kBlockValues = 16384;  // one 32768-byte device block of 16-bit values
constexpr double kRate = 44100.0;

std::vector<float> Voice(int n) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v[static_cast<size_t>(i)] = std::trunc(7000.0f * std::sin(0.021f * static_cast<float>(i)) + 3000.0f * std::sin(0.37f * static_cast<float>(i)));
    }
    return v;
}

void SetCounters(benchmark::State& state, int channels) {
    const double frames = static_cast<double>(state.iterations()) * kBlockValues / channels;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlockValues);
    state.counters["realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

void BM_EqualiserAllBands(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    EqDesign design;
    const int gains[kEqBands] = {6, -3, 12, -24, 4, 9, -12, 1, 12, -6, 3};
    for (int k = 0; k < kEqBands; ++k) {
        DesignPeaking(static_cast<float>(EqBandFrequency(k)), static_cast<float>(gains[k]), 1.0f, design.b[k], design.a[k]);
    }
    CGraphicEqualizer eq;
    eq.Publish(design);
    const std::vector<float> input = Voice(kBlockValues);
    std::vector<float> buf(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        buf = input;
        state.ResumeTiming();
        eq.Process(buf.data(), kBlockValues, channels);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, channels);
}
BENCHMARK(BM_EqualiserAllBands)->Arg(1)->Arg(2)->ArgName("channels");

void BM_ReverbFifteenEchoes(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    ReverbTaps taps;
    taps.delay = 0.01f;  // every echo within the history's reach for most of the block
    taps.repeat = kMaxEchoes;
    CalcEchoGains(0.95f, kMaxEchoes, taps.gain);
    CReverb reverb(kBlockValues);
    reverb.Publish(taps);
    const std::vector<float> input = Voice(kBlockValues);
    std::vector<float> buf(input.size());
    for (auto _ : state) {
        state.PauseTiming();
        buf = input;
        state.ResumeTiming();
        reverb.Process(buf.data(), kBlockValues, channels);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, channels);
}
BENCHMARK(BM_ReverbFifteenEchoes)->Arg(1)->Arg(2)->ArgName("channels");

}  // namespace

BENCHMARK_MAIN();
