// Fuzz driver for the pitch dump reader: any bytes must read without a fault, and a dump that
// reads as good must hold only what a chorus run can take.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "audio/PitchDumpLoader.h"
#include "fuzz/FuzzFolder.h"

namespace {
constexpr int kMaxRows = 4096;
// The seeds name this WAV; it stands for a file in the driver's private folder, so that
// fuzzing reaches the rows without a shared file in /tmp.
constexpr std::string_view kNamedWav = "/tmp/sorvel-fuzz.wav";

const std::string& PrivateWav() {
    static const fuzzsupport::Folder folder("dump-fuzz");
    static const std::string wav = [] {
        const std::string path = folder.File("sorvel-fuzz.wav");
        fuzzsupport::WriteFile(path, "", 0);
        return path;
    }();
    return wav;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = text.find(kNamedWav); at != std::string::npos; at = text.find(kNamedWav, at + PrivateWav().size()))
        text.replace(at, kNamedWav.size(), PrivateWav());
    std::FILE* fp = fmemopen(text.data(), text.size(), "rb");
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
