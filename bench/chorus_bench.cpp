// Runs a chorus conversion of a pitch dump as fast as it can and reports its speed.
//
//   chorus_bench [--pitch N] [--formant N] [--small] DUMP.txt OUT.wav
//
// The dump is loaded as the Chorus file button loads it, and the WAV it names is converted:
// blocks are stored as the file player stores them, the analysis cycle hands the dump's marks
// over and the chorus round runs, and the output is taken from the output ring as playback
// would play it, without the ring's latency. The run ends at the end of the WAV or where the
// dump's marks end.
//
// The last line printed is
//   blocks N  cpu-per-block X ms  realtime-factor Y
// with Y = audio seconds / CPU seconds of the conversion (file reading and writing excluded).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "audio/PitchDumpLoader.h"
#include "engine/ChorusState.h"
#include "platform/base/paths.h"

namespace {

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool ParseInt(const char* text, int lo, int hi, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

// The WAV as mono samples (a stereo file averaged, as the file player does).
bool ReadMono(CWaveFile& file, const std::string& name, std::vector<short>* samples) {
    if (file.OpenRead(name) != 0) return false;
    const WAVEFORMATEX fmt = file.m_fmt;
    if (fmt.wFormatTag != WAVE_FORMAT_PCM || fmt.wBitsPerSample != 16 || fmt.nSamplesPerSec != 44100 ||
        (fmt.nChannels != 1 && fmt.nChannels != 2)) {
        std::fprintf(stderr, "chorus_bench: %s is not 16-bit 44.1 kHz PCM\n", name.c_str());
        file.Close();
        return false;
    }
    std::vector<short> raw;
    std::vector<short> chunk(65536);
    for (LONG got; (got = file.Read(chunk.data(), static_cast<LONG>(chunk.size() * sizeof(short)))) > 0;)
        raw.insert(raw.end(), chunk.begin(), chunk.begin() + got / 2);
    file.Close();
    const size_t ch = fmt.nChannels;
    samples->resize(raw.size() / ch);
    for (size_t i = 0; i < samples->size(); ++i)
        (*samples)[i] = ch == 1 ? raw[i] : static_cast<short>((static_cast<int>(raw[2 * i]) + raw[2 * i + 1]) / 2);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int pitch = 0;
    int formant = 0;
    bool small = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        bool ok = true;
        if (a == "--pitch") ok = i + 1 < argc && ParseInt(argv[++i], -48, 48, &pitch);
        else if (a == "--formant") ok = i + 1 < argc && ParseInt(argv[++i], -24, 24, &formant);
        else if (a == "--small") small = true;
        else if (!a.empty() && a[0] == '-') ok = false;
        else files.push_back(a);
        if (!ok) files.clear();
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "usage: chorus_bench [--pitch N] [--formant N] [--small] DUMP.txt OUT.wav\n");
        return 2;
    }

    const std::string out = files[1];
    CWaveInOutDlg dlg(platform::FolderOf(out.find('/') == std::string::npos ? "./" + out : out));
    dlg.m_nLatencyMode = small ? 1 : 0;
    if (!dlg.AllocStreamBuffers()) {
        std::fprintf(stderr, "chorus_bench: out of memory\n");
        return 1;
    }
    dlg.BuildKeyTable();
    pitch_dump::ChorusDump dump;
    const pitch_dump::LoadStatus status = pitch_dump::ReadChorusDump(files[0], 2 * dlg.m_nRingLen, &dump);
    if (status != pitch_dump::LoadStatus::Ok) {
        std::fprintf(stderr, "chorus_bench: %s\n", pitch_dump::LoadMessage(status, dump.wavPath).c_str());
        return 1;
    }
    dlg.ApplyChorusDump(dump);
    if (dump.pitchShiftEnable) dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(pitch) / 24.0f);
    dlg.m_fFormantRatio = std::pow(2.0f, static_cast<float>(formant) / 24.0f);

    std::vector<short> input;
    if (!ReadMono(dlg.m_inputFile, dlg.m_strChorusFile, &input)) return 1;

    const int half = dlg.m_nBlockBytes / 2;
    const int blocks = static_cast<int>((input.size() + static_cast<size_t>(half) - 1) / static_cast<size_t>(half));
    std::vector<short> output;
    const auto* ring = reinterpret_cast<const short*>(dlg.m_pOutData[0]);
    CAnalyzeState analyze;
    CChorusState chorus;
    dlg.m_nInputCount = 0;
    dlg.AnalyzeBegin(analyze);
    if (!dlg.ChorusSynthesizeBegin(chorus)) {
        std::fprintf(stderr, "chorus_bench: out of memory\n");
        return 1;
    }

    const double cpuStart = CpuSeconds();
    int b = 0;
    for (; b <= blocks && !analyze.bufferFull; ++b) {
        // As the file player stores a block: at the running count, then the count.
        const int count = dlg.m_nInputCount.load(std::memory_order_relaxed);
        for (int i = 0; i < half; ++i) {
            const size_t at = static_cast<size_t>(b) * static_cast<size_t>(half) + static_cast<size_t>(i);
            dlg.m_pfInputBuf[(count + i) & dlg.m_nRingMask] = at < input.size() ? static_cast<float>(input[at]) : 0.0f;
        }
        dlg.m_nInputCount.store(count + half, std::memory_order_release);
        dlg.AnalyzeStep(analyze);
        dlg.ChorusSynthesizeStep(chorus);
        if (b >= 1) {
            const int first = (b - 1) * half;
            for (int i = 0; i < half; ++i) output.push_back(ring[(first + i + dlg.m_nBlockBytes) & dlg.m_nRingMask]);
        }
    }
    const double cpu = CpuSeconds() - cpuStart;
    output.resize(std::min(output.size(), input.size()));

    dlg.m_saveFile.SetFormat(1);
    const LONG bytes = static_cast<LONG>(output.size() * sizeof(short));
    if (dlg.m_saveFile.OpenWrite(out) != 0 || dlg.m_saveFile.Write(output.data(), bytes) != bytes || dlg.m_saveFile.Close() != 0) {
        std::fprintf(stderr, "chorus_bench: could not write %s\n", out.c_str());
        return 1;
    }
    const double audioSeconds = static_cast<double>(b) * half / 44100.0;
    std::printf("dump %s  %zu rows  oversampling %d  levels %.2f %.2f  pitch %d formant %d block %d bytes  %.2f s\n",
                files[0].c_str(), dump.marks.size(), dump.overSampling, static_cast<double>(dump.mixOriginal),
                static_cast<double>(dump.mixChorus), pitch, formant, dlg.m_nBlockBytes, audioSeconds);
    std::printf("blocks %d  cpu-per-block %.3f ms  realtime-factor %.1f\n", b, b > 0 ? cpu * 1000.0 / b : 0.0,
                cpu > 0 ? audioSeconds / cpu : 0.0);
    return 0;
}
