// Fuzz driver for the pitch dump reader: any bytes must read without a fault, and a dump that
// reads as good must hold only what a chorus run can take.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "audio/PitchDumpLoader.h"

namespace {
constexpr int kMaxRows = 4096;
}

// The seeds name this file as their WAV, so that fuzzing reaches the rows.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::FILE* f = std::fopen("/tmp/sorvel-fuzz.wav", "wb")) std::fclose(f);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* fp = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (fp == nullptr) return 0;
    pitch_dump::ChorusDump dump;
    const pitch_dump::LoadStatus status = pitch_dump::ReadChorusDump(fp, kMaxRows, &dump);
    std::fclose(fp);
    if (status != pitch_dump::LoadStatus::Ok) return 0;
    if (dump.wavPath.size() > 511 || !IsPlayableExtension(dump.wavPath.c_str() + dump.wavPath.size() - 4)) std::abort();
    if (dump.overSampling < 1 || dump.overSampling > 8) std::abort();
    if (dump.minKey < 0 || dump.minKey > dump.maxKey || dump.maxKey > 48) std::abort();
    if (!(dump.mixOriginal >= 0.0f && dump.mixOriginal <= 2.0f && dump.mixChorus >= 0.0f && dump.mixChorus <= 2.0f)) std::abort();
    const std::size_t rows = dump.marks.size();
    if (rows > kMaxRows || dump.amplitudes.size() != rows || dump.chorus.size() != rows) std::abort();
    for (std::size_t i = 0; i < rows; ++i) {
        if (dump.marks[i] < 0 || (i > 0 && dump.marks[i] < dump.marks[i - 1])) std::abort();
        const float c = dump.chorus[i];
        if (!(c == 127.0f || (c >= -64.0f && c <= 64.0f))) std::abort();
    }
    return 0;
}
