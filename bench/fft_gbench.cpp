// CFFT against FFTW (single precision, in place, plan made once with FFTW_MEASURE) on the
// 2048-point complex transform that each phase-vocoder frame runs twice. Every iteration
// first copies the same input into the array (the copy is timed for both alike), so repeated
// transforms never drift into denormal or infinite values; BM_Copy times the copy alone.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/FFT.h"

namespace {

std::vector<float> Noise(int n) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> a(static_cast<size_t>(2 * n));
    for (float& v : a) v = dist(rng);
    return a;
}

void BM_CFFT(benchmark::State& state, int forward) {
    const int n = static_cast<int>(state.range(0));
    CFFT fft;
    fft.Init(n, 0, forward);
    const std::vector<float> x = Noise(n);
    std::vector<float> a(x.size());
    for (auto _ : state) {
        std::memcpy(a.data(), x.data(), sizeof(float) * x.size());
        fft.Transform(a.data());
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

// The four-wide stages, as on processors without 256-bit vectors.
void BM_CFFT_FourWide(benchmark::State& state, int forward) {
    CFFT::UseFourWideOnly(true);
    BM_CFFT(state, forward);
    CFFT::UseFourWideOnly(false);
}

void BM_FFTW(benchmark::State& state, int forward) {
    const int n = static_cast<int>(state.range(0));
    fftwf_complex* a = fftwf_alloc_complex(static_cast<size_t>(n));
    fftwf_plan plan = fftwf_plan_dft_1d(n, a, a, forward != 0 ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_MEASURE);
    const std::vector<float> x = Noise(n);
    for (auto _ : state) {
        std::memcpy(a, x.data(), sizeof(float) * x.size());
        fftwf_execute(plan);
        benchmark::DoNotOptimize(a);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(a);
    state.SetItemsProcessed(state.iterations());
}

void BM_Copy(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> x = Noise(n);
    std::vector<float> a(x.size());
    for (auto _ : state) {
        std::memcpy(a.data(), x.data(), sizeof(float) * x.size());
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_Copy)->Arg(2048);
BENCHMARK_CAPTURE(BM_CFFT, forward, 1)->Arg(2048)->Arg(256)->Arg(4096);
BENCHMARK_CAPTURE(BM_CFFT_FourWide, forward, 1)->Arg(2048);
BENCHMARK_CAPTURE(BM_FFTW, forward, 1)->Arg(2048)->Arg(256)->Arg(4096);
BENCHMARK_CAPTURE(BM_CFFT, inverse, 0)->Arg(2048);
BENCHMARK_CAPTURE(BM_FFTW, inverse, 0)->Arg(2048);

BENCHMARK_MAIN();
