// Runs the live conversion path on a WAV file as fast as it can and reports its speed.
//
//   engine_bench psola [--pitch N] [--formant N] [--voice-mode N] [--min-key K] [--max-key K]
//                      [--corrth TEXT] [--a4 HZ] [--small] IN.wav OUT.wav
//
// Blocks are stored as the capture wrapper stores them, the analysis and synthesis cycles run
// in turn, and the output is taken from the output ring as playback would play it, without the
// ring's latency, so that output sample x belongs to input sample x. The last line printed is
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
#include "platform/base/paths.h"

namespace {

struct Options {
    std::string method;
    int pitch = 0;
    int formant = 0;
    int voiceMode = 1;
    int minKey = 7;
    int maxKey = 40;
    std::string corrTh = "0.5";
    int a4 = 440;
    bool small = false;
    std::string in;
    std::string out;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: engine_bench psola [--pitch N] [--formant N] [--voice-mode N] [--min-key K] [--max-key K]\n"
                 "                          [--corrth TEXT] [--a4 HZ] [--small] IN.wav OUT.wav\n");
}

bool ParseInt(const char* text, int lo, int hi, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

bool Parse(int argc, char** argv, Options* o) {
    if (argc < 2) return false;
    o->method = argv[1];
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](int lo, int hi, int* out) { return i + 1 < argc && ParseInt(argv[++i], lo, hi, out); };
        bool ok = true;
        if (a == "--pitch") ok = value(-48, 48, &o->pitch);
        else if (a == "--formant") ok = value(-24, 24, &o->formant);
        else if (a == "--voice-mode") ok = value(0, 6, &o->voiceMode);
        else if (a == "--min-key") ok = value(0, 61, &o->minKey);
        else if (a == "--max-key") ok = value(0, 61, &o->maxKey);
        else if (a == "--a4") ok = value(220, 880, &o->a4);
        else if (a == "--corrth") ok = i + 1 < argc && (o->corrTh = argv[++i], true);
        else if (a == "--small") o->small = true;
        else if (!a.empty() && a[0] == '-') ok = false;
        else files.push_back(a);
        if (!ok) {
            std::fprintf(stderr, "engine_bench: bad option %s\n", a.c_str());
            return false;
        }
    }
    if (files.size() != 2) return false;
    o->in = files[0];
    o->out = files[1];
    return true;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Reads the whole file as mono 16-bit samples (a stereo file is averaged).
bool ReadInput(CWaveFile& file, const std::string& name, std::vector<short>* samples) {
    if (file.OpenRead(name) != 0) return false;
    const WAVEFORMATEX fmt = file.m_fmt;
    if (fmt.wFormatTag != WAVE_FORMAT_PCM || fmt.wBitsPerSample != 16 || fmt.nSamplesPerSec != 44100 ||
        (fmt.nChannels != 1 && fmt.nChannels != 2)) {
        std::fprintf(stderr, "engine_bench: %s is not 16-bit 44.1 kHz PCM (mono or stereo)\n", name.c_str());
        file.Close();
        return false;
    }
    std::vector<short> raw;
    std::vector<short> chunk(65536);
    for (;;) {
        const LONG got = file.Read(chunk.data(), static_cast<LONG>(chunk.size() * sizeof(short)));
        if (got <= 0) break;
        raw.insert(raw.end(), chunk.begin(), chunk.begin() + got / 2);
    }
    file.Close();
    if (fmt.nChannels == 1) {
        *samples = std::move(raw);
    } else {
        samples->resize(raw.size() / 2);
        for (size_t i = 0; i < samples->size(); ++i)
            (*samples)[i] = static_cast<short>((static_cast<int>(raw[2 * i]) + static_cast<int>(raw[2 * i + 1])) / 2);
    }
    return true;
}

int RunPsola(const Options& o) {
    const std::string folder = platform::FolderOf(o.out.find('/') == std::string::npos ? "./" + o.out : o.out);
    CWaveInOutDlg dlg(folder);
    dlg.m_nLatencyMode = o.small ? 1 : 0;
    dlg.m_nA4 = o.a4;
    if (!dlg.AllocStreamBuffers()) {
        std::fprintf(stderr, "engine_bench: out of memory\n");
        return 1;
    }
    dlg.BuildKeyTable();
    dlg.FillVoiceModeCombo();
    dlg.m_comboVoiceMode.SetCurSel(o.voiceMode);
    dlg.m_comboMinKey.SetCurSel(o.minKey);
    dlg.m_comboMaxKey.SetCurSel(o.maxKey);
    dlg.m_editCorrTh.SetWindowText(o.corrTh);
    dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(o.pitch) / 24.0f);
    dlg.m_fFormantRatio = std::pow(2.0f, static_cast<float>(o.formant) / 24.0f);

    std::vector<short> input;
    if (!ReadInput(dlg.m_inputFile, o.in, &input)) return 1;

    const int half = dlg.m_nBlockBytes / 2;
    const int blocks = static_cast<int>((input.size() + static_cast<size_t>(half) - 1) / static_cast<size_t>(half));
    std::vector<short> output;
    output.reserve(static_cast<size_t>(blocks + 1) * static_cast<size_t>(half));
    std::vector<short> block(static_cast<size_t>(half));
    const auto* ring = reinterpret_cast<const short*>(dlg.m_pOutData[0]);

    CAnalyzeState analyze;
    CSynthState synth;
    dlg.m_nInputCount = 0;
    dlg.AnalyzeBegin(analyze);
    dlg.SynthesizeBegin(synth);

    const double cpuStart = CpuSeconds();
    for (int b = 0; b <= blocks; ++b) {
        std::fill(block.begin(), block.end(), 0);
        const size_t start = static_cast<size_t>(b) * static_cast<size_t>(half);
        if (start < input.size())
            std::copy(input.begin() + static_cast<long>(start),
                      input.begin() + static_cast<long>(std::min(input.size(), start + static_cast<size_t>(half))), block.begin());
        WAVEHDR* hdr = dlg.m_pInHdr[b & 3];
        std::memcpy(dlg.m_pInData[b & 3], block.data(), static_cast<size_t>(dlg.m_nBlockBytes));
        hdr->lpData = dlg.m_pInData[b & 3];
        hdr->dwBufferLength = static_cast<DWORD>(dlg.m_nBlockBytes);
        hdr->dwBytesRecorded = static_cast<DWORD>(dlg.m_nBlockBytes);
        dlg.StoreInputBlock(hdr);
        dlg.AnalyzeStep(analyze);
        dlg.SynthesizeStep(synth);
        // Block b - 1 is complete now: playback would play it next.
        if (b >= 1) {
            const int first = (b - 1) * half;
            for (int i = 0; i < half; ++i) output.push_back(ring[(first + i + dlg.m_nBlockBytes) & dlg.m_nRingMask]);
        }
    }
    const double cpu = CpuSeconds() - cpuStart;
    output.resize(input.size());

    dlg.m_saveFile.SetFormat(1);
    if (dlg.m_saveFile.OpenWrite(o.out) != 0) return 1;
    const LONG bytes = static_cast<LONG>(output.size() * sizeof(short));
    const bool written = dlg.m_saveFile.Write(output.data(), bytes) == bytes;
    if (dlg.m_saveFile.Close() != 0 || !written) {
        std::fprintf(stderr, "engine_bench: could not write %s\n", o.out.c_str());
        return 1;
    }
    const double audioSeconds = static_cast<double>(input.size()) / 44100.0;
    std::printf("input %s  %.2f s  pitch %d formant %d mode %d keys %d..%d a4 %d block %d bytes\n", o.in.c_str(), audioSeconds,
                o.pitch, o.formant, o.voiceMode, o.minKey, o.maxKey, o.a4, dlg.m_nBlockBytes);
    std::printf("blocks %d  cpu-per-block %.3f ms  realtime-factor %.1f\n", blocks + 1, cpu * 1000.0 / (blocks + 1),
                cpu > 0 ? audioSeconds / cpu : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, &o)) {
        Usage();
        return 2;
    }
    if (o.method == "psola") return RunPsola(o);
    std::fprintf(stderr, "engine_bench: unknown method %s\n", o.method.c_str());
    Usage();
    return 2;
}
