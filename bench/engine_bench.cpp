// Runs the live conversion path on a WAV file as fast as it can and reports its speed.
//
//   engine_bench psola [--pitch N] [--formant N] [--voice-mode N] [--min-key K] [--max-key K]
//                      [--corrth TEXT] [--a4 HZ] [--small] [EFFECTS] IN.wav OUT.wav
//   engine_bench pv    [--pitch N] [--vocal off|cut|extract] [--min-key K] [--a4 HZ] [--small]
//                      [EFFECTS] IN.wav OUT.wav
//   EFFECTS: [--eq GAINS] [--q Q] [--reverb]
//   engine_bench batch [--oversampling 1|2|4] [--pitch N] [--formant N] [--voice-mode N] IN.wav... OUTFOLDER
//
// GAINS is one gain in dB for all eleven equaliser bands, or eleven gains separated by commas
// (band C0 first), each -24..12; Q is the bands' Q (default 1.0). --reverb switches the reverb
// on with the effect dialog's defaults (attenuation 0.70, delay 0.07 s, 12 echoes).
//
// psola: blocks are stored as the capture wrapper stores them, the analysis and synthesis
// cycles run in turn, and the output is taken from the output ring as playback would play it,
// without the ring's latency, so that output sample x belongs to input sample x. A stereo file
// is averaged.
// pv: the file keeps its channels; each block is stored as the capture wrapper (stereo) or the
// file player (mono) stores it and one round of the phase-vocoder thread converts it, as in a
// run. The output is taken from the playback buffer of each round, without the units' delay of
// 1792 samples per channel, so that output frame x belongs to input frame x.
//
// batch: the batch worker converts the files one at a time, headless, into OUTFOLDER (names as
// a batch run gives them).
//
// The last line printed is
//   blocks N  cpu-per-block X ms  realtime-factor Y
// with Y = audio seconds / CPU seconds of the conversion (file reading and writing excluded),
// or for batch
//   files N  audio-seconds S  realtime-factor Y
// with Y = audio seconds / CPU seconds of the whole worker (reading and writing included).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/WaveInOutDlg.h"
#include "batch/BatchList.h"
#include "effects/EQdlg.h"
#include "engine/PhaseVocoderRound.h"
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
    int vocal = 0;  // 0 off, 1 cut, 2 extract
    bool eq = false;
    int gains[kEqBands] = {};
    std::string q = "1.0";
    bool reverb = false;
    int overSampling = 4;
    std::string in;
    std::string out;
    std::vector<std::string> inputs;  // batch: every input file
};

void Usage() {
    std::fprintf(stderr,
                 "usage: engine_bench psola [--pitch N] [--formant N] [--voice-mode N] [--min-key K] [--max-key K]\n"
                 "                          [--corrth TEXT] [--a4 HZ] [--small] [EFFECTS] IN.wav OUT.wav\n"
                 "       engine_bench pv [--pitch N] [--vocal off|cut|extract] [--min-key K] [--a4 HZ] [--small]\n"
                 "                       [EFFECTS] IN.wav OUT.wav\n"
                 "       engine_bench batch [--oversampling 1|2|4] [--pitch N] [--formant N] [--voice-mode N]\n"
                 "                          IN.wav... OUTFOLDER\n"
                 "EFFECTS: [--eq GAIN | --eq G0,G1,...,G10] [--q Q] [--reverb]   (gains in dB, -24..12)\n");
}

bool ParseInt(const char* text, int lo, int hi, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

// One gain for every band, or eleven gains separated by commas.
bool ParseGains(const std::string& text, int* gains) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() != 1 && parts.size() != static_cast<size_t>(kEqBands)) return false;
    for (int k = 0; k < kEqBands; ++k) {
        const std::string& part = parts.size() == 1 ? parts[0] : parts[static_cast<size_t>(k)];
        if (!ParseInt(part.c_str(), -24, 12, &gains[k])) return false;
    }
    return true;
}

bool ParseQ(const char* text) {
    char* end = nullptr;
    const double q = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(q) && q > 0.0;
}

bool Parse(int argc, char** argv, Options* o) {
    if (argc < 2) return false;
    o->method = argv[1];
    const bool pv = o->method == "pv";
    const bool batch = o->method == "batch";
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](int lo, int hi, int* out) { return i + 1 < argc && ParseInt(argv[++i], lo, hi, out); };
        bool ok = true;
        if (a == "--pitch") ok = value(-48, 48, &o->pitch);
        else if (a == "--oversampling" && batch) ok = value(1, 4, &o->overSampling) && o->overSampling != 3;
        else if (a == "--formant" && !pv) ok = value(-24, 24, &o->formant);
        else if (a == "--voice-mode" && !pv) ok = value(0, 6, &o->voiceMode);
        else if (a == "--min-key") ok = value(0, 61, &o->minKey);
        else if (a == "--max-key" && !pv) ok = value(0, 61, &o->maxKey);
        else if (a == "--a4") ok = value(220, 880, &o->a4);
        else if (a == "--corrth" && !pv) ok = i + 1 < argc && (o->corrTh = argv[++i], true);
        else if (a == "--small") o->small = true;
        else if (a == "--vocal" && pv) {
            const std::string mode = i + 1 < argc ? argv[++i] : "";
            if (mode == "off") o->vocal = 0;
            else if (mode == "cut") o->vocal = 1;
            else if (mode == "extract") o->vocal = 2;
            else ok = false;
        } else if (a == "--eq") ok = i + 1 < argc && (o->eq = ParseGains(argv[++i], o->gains));
        else if (a == "--q") ok = i + 1 < argc && ParseQ(argv[i + 1]) && (o->q = argv[++i], true);
        else if (a == "--reverb") o->reverb = true;
        else if (!a.empty() && a[0] == '-') ok = false;
        else files.push_back(a);
        if (!ok) {
            std::fprintf(stderr, "engine_bench: bad option %s\n", a.c_str());
            return false;
        }
    }
    if (batch) {
        if (files.size() < 2) return false;
        o->out = files.back();
        files.pop_back();
        o->inputs = files;
        return true;
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

// Reads the whole file: interleaved 16-bit samples and the channel count.
bool ReadInput(CWaveFile& file, const std::string& name, std::vector<short>* samples, int* channels) {
    if (file.OpenRead(name) != 0) return false;
    const WAVEFORMATEX fmt = file.m_fmt;
    if (fmt.wFormatTag != WAVE_FORMAT_PCM || fmt.wBitsPerSample != 16 || fmt.nSamplesPerSec != 44100 ||
        (fmt.nChannels != 1 && fmt.nChannels != 2)) {
        std::fprintf(stderr, "engine_bench: %s is not 16-bit 44.1 kHz PCM (mono or stereo)\n", name.c_str());
        file.Close();
        return false;
    }
    samples->clear();
    std::vector<short> chunk(65536);
    for (;;) {
        const LONG got = file.Read(chunk.data(), static_cast<LONG>(chunk.size() * sizeof(short)));
        if (got <= 0) break;
        samples->insert(samples->end(), chunk.begin(), chunk.begin() + got / 2);
    }
    file.Close();
    *channels = fmt.nChannels;
    samples->resize(samples->size() - samples->size() % static_cast<size_t>(*channels));
    return true;
}

// Reads the whole file as mono 16-bit samples (a stereo file is averaged).
bool ReadMonoInput(CWaveFile& file, const std::string& name, std::vector<short>* samples) {
    std::vector<short> raw;
    int channels = 0;
    if (!ReadInput(file, name, &raw, &channels)) return false;
    if (channels == 1) {
        *samples = std::move(raw);
    } else {
        samples->resize(raw.size() / 2);
        for (size_t i = 0; i < samples->size(); ++i)
            (*samples)[i] = static_cast<short>((static_cast<int>(raw[2 * i]) + static_cast<int>(raw[2 * i + 1])) / 2);
    }
    return true;
}

bool WriteOutput(CWaveFile& file, const std::string& name, int channels, const std::vector<short>& samples) {
    file.SetFormat(channels);
    if (file.OpenWrite(name) != 0) return false;
    const LONG bytes = static_cast<LONG>(samples.size() * sizeof(short));
    const bool written = file.Write(samples.data(), bytes) == bytes;
    if (file.Close() != 0 || !written) {
        std::fprintf(stderr, "engine_bench: could not write %s\n", name.c_str());
        return false;
    }
    return true;
}

// The effect dialog as the user would set it: the band trackbars and the Q text (read back at
// the trackbars' redraws), and the two boxes.
std::unique_ptr<CEQdlg> MakeEffects(CWaveInOutDlg& dlg, const Options& o) {
    if (!o.eq && !o.reverb) return nullptr;
    auto fx = std::make_unique<CEQdlg>(&dlg);
    if (o.eq) {
        fx->m_editQ.SetWindowText(o.q);
        for (int k = 0; k < kEqBands; ++k) {
            fx->m_sliderBand[k].SetPos(-o.gains[k]);
            NMHDR hdr{};
            hdr.idFrom = static_cast<UINT>(CEQdlg::IDC_SLIDER_BAND0 + k);
            hdr.code = NM_CUSTOMDRAW;
            fx->SendMessage(WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
        }
        fx->m_chkEQ.SetCheck(BST_CHECKED);
        fx->OnBnClickedEqEnable();
    }
    if (o.reverb) {
        fx->m_chkReverb.SetCheck(BST_CHECKED);
        fx->OnBnClickedReverbEnable();
    }
    dlg.m_pEQDlg = fx.get();
    return fx;
}

std::string EffectsText(const Options& o) {
    std::string text;
    if (o.eq) {
        text += " eq";
        for (int k = 0; k < kEqBands; ++k) text += (k == 0 ? " " : ",") + std::to_string(o.gains[k]);
        text += " q " + o.q;
    }
    if (o.reverb) text += " reverb";
    return text.empty() ? " no effects" : text;
}

void PrintSpeed(int blocks, double cpu, double audioSeconds) {
    std::printf("blocks %d  cpu-per-block %.3f ms  realtime-factor %.1f\n", blocks, blocks > 0 ? cpu * 1000.0 / blocks : 0.0,
                cpu > 0 ? audioSeconds / cpu : 0.0);
}

std::string FolderFor(const std::string& out) {
    return platform::FolderOf(out.find('/') == std::string::npos ? "./" + out : out);
}

// The key table and the voice controls of a TD-PSOLA conversion as the options say.
void SetUpVoice(CWaveInOutDlg& dlg, const Options& o) {
    dlg.BuildKeyTable();
    dlg.FillVoiceModeCombo();
    dlg.m_comboVoiceMode.SetCurSel(o.voiceMode);
    dlg.m_comboMinKey.SetCurSel(o.minKey);
    dlg.m_comboMaxKey.SetCurSel(o.maxKey);
    dlg.m_editCorrTh.SetWindowText(o.corrTh);
    dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(o.pitch) / 24.0f);
    dlg.m_fFormantRatio = std::pow(2.0f, static_cast<float>(o.formant) / 24.0f);
}

int RunPsola(const Options& o) {
    CWaveInOutDlg dlg(FolderFor(o.out));
    dlg.m_nLatencyMode = o.small ? 1 : 0;
    dlg.m_nA4 = o.a4;
    if (!dlg.AllocStreamBuffers()) {
        std::fprintf(stderr, "engine_bench: out of memory\n");
        return 1;
    }
    SetUpVoice(dlg, o);
    const std::unique_ptr<CEQdlg> effects = MakeEffects(dlg, o);

    std::vector<short> input;
    if (!ReadMonoInput(dlg.m_inputFile, o.in, &input)) return 1;

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
    dlg.m_pEQDlg = nullptr;
    output.resize(input.size());

    if (!WriteOutput(dlg.m_saveFile, o.out, 1, output)) return 1;
    const double audioSeconds = static_cast<double>(input.size()) / 44100.0;
    std::printf("input %s  %.2f s  psola pitch %d formant %d mode %d keys %d..%d a4 %d block %d bytes%s\n", o.in.c_str(),
                audioSeconds, o.pitch, o.formant, o.voiceMode, o.minKey, o.maxKey, o.a4, dlg.m_nBlockBytes,
                EffectsText(o).c_str());
    PrintSpeed(blocks + 1, cpu, audioSeconds);
    return 0;
}

int RunPhaseVocoder(const Options& o) {
    CWaveInOutDlg dlg(FolderFor(o.out));
    dlg.m_nLatencyMode = o.small ? 1 : 0;
    dlg.m_nA4 = o.a4;
    dlg.m_nMethod = 1;
    if (!dlg.AllocStreamBuffers() || dlg.m_pitchScale.Init(0, 0) == 0) {
        std::fprintf(stderr, "engine_bench: out of memory\n");
        return 1;
    }
    dlg.BuildKeyTable();
    dlg.m_comboMinKey.SetCurSel(o.minKey);
    dlg.m_nVocalMode = o.vocal;
    dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(o.pitch) / 24.0f);
    const std::unique_ptr<CEQdlg> effects = MakeEffects(dlg, o);

    std::vector<short> input;
    int channels = 0;
    if (!ReadInput(dlg.m_inputFile, o.in, &input, &channels)) return 1;
    if (o.vocal != 0 && channels != 2) {
        std::fprintf(stderr, "engine_bench: vocal cut and extract need a stereo file\n");
        return 1;
    }
    dlg.m_pitchScale.m_nChannels = channels;
    CPhaseVocoderState state(dlg.m_pitchScale);
    if (!dlg.PhaseVocoderBegin(state)) {
        std::fprintf(stderr, "engine_bench: the phase vocoder cannot start\n");
        return 1;
    }

    // One more block than the file fills carries the last 1792 frames out of the units.
    const int samples = dlg.m_nBlockBytes / 2;
    const size_t delay = static_cast<size_t>(CPitchScaleUnit::kFrameSize - CPitchScaleUnit::kHop) * static_cast<size_t>(channels);
    const int blocks = static_cast<int>((input.size() + delay + static_cast<size_t>(samples) - 1) / static_cast<size_t>(samples));
    std::vector<short> output;
    output.reserve(static_cast<size_t>(blocks) * static_cast<size_t>(samples));
    std::vector<short> block(static_cast<size_t>(samples));
    dlg.m_nInputCount = 0;

    const double cpuStart = CpuSeconds();
    for (int b = 0; b < blocks; ++b) {
        std::fill(block.begin(), block.end(), 0);
        const size_t start = static_cast<size_t>(b) * static_cast<size_t>(samples);
        if (start < input.size())
            std::copy(input.begin() + static_cast<long>(start),
                      input.begin() + static_cast<long>(std::min(input.size(), start + static_cast<size_t>(samples))), block.begin());
        if (channels == 2) {
            // As the capture wrapper stores a recorded buffer.
            WAVEHDR* hdr = dlg.m_pInHdr[b & 3];
            std::memcpy(dlg.m_pInData[b & 3], block.data(), static_cast<size_t>(dlg.m_nBlockBytes));
            hdr->lpData = dlg.m_pInData[b & 3];
            hdr->dwBufferLength = static_cast<DWORD>(dlg.m_nBlockBytes);
            hdr->dwBytesRecorded = static_cast<DWORD>(dlg.m_nBlockBytes);
            dlg.StoreInputBlock(hdr);
        } else {
            // As the file player stores a mono block.
            for (int i = 0; i < samples; ++i) dlg.m_pfInputBuf[i] = static_cast<float>(block[static_cast<size_t>(i)]);
            dlg.m_nInputCount.store(dlg.m_nInputCount.load(std::memory_order_relaxed) + samples, std::memory_order_release);
        }
        dlg.PhaseVocoderStep(state);
        const int slot = CPhaseVocoderRound::PlaybackSlot(dlg.m_nInputCount.load(std::memory_order_acquire), samples);
        const auto* played = reinterpret_cast<const short*>(dlg.m_pOutData[slot]);
        output.insert(output.end(), played, played + samples);
    }
    const double cpu = CpuSeconds() - cpuStart;
    dlg.m_pEQDlg = nullptr;
    output.erase(output.begin(), output.begin() + static_cast<long>(std::min(delay, output.size())));
    output.resize(input.size());

    if (!WriteOutput(dlg.m_saveFile, o.out, channels, output)) return 1;
    static const char* const kVocal[3] = {"off", "cut", "extract"};
    const double audioSeconds = static_cast<double>(input.size()) / static_cast<double>(channels) / 44100.0;
    std::printf("input %s  %.2f s  %s  pv pitch %d vocal %s min-key %d block %d bytes%s\n", o.in.c_str(), audioSeconds,
                channels == 2 ? "stereo" : "mono", o.pitch, kVocal[o.vocal], o.minKey, dlg.m_nBlockBytes, EffectsText(o).c_str());
    PrintSpeed(blocks, cpu, static_cast<double>(blocks) * samples / channels / 44100.0);
    return 0;
}

int RunBatch(const Options& o) {
    const std::string folder = platform::WithTrailingSlash(o.out);
    if (!platform::IsDirectory(folder)) {
        std::fprintf(stderr, "engine_bench: %s is not a folder\n", o.out.c_str());
        return 1;
    }
    if (o.inputs.size() > static_cast<size_t>(kBatchMaxFiles)) {
        std::fprintf(stderr, "engine_bench: at most %d files\n", kBatchMaxFiles);
        return 1;
    }
    CWaveInOutDlg dlg(folder);
    if (!dlg.AllocStreamBuffers()) {
        std::fprintf(stderr, "engine_bench: out of memory\n");
        return 1;
    }
    SetUpVoice(dlg, o);
    dlg.m_strOutputFolder = folder;
    dlg.m_nBatchOverSampling = o.overSampling;

    // Audio length of the inputs, from their headers.
    double audioSeconds = 0.0;
    for (const std::string& name : o.inputs) {
        CWaveFile probe;
        if (probe.OpenRead(name) != 0) return 1;
        const WAVEFORMATEX fmt = probe.m_fmt;
        if (fmt.nChannels >= 1 && fmt.nSamplesPerSec > 0)
            audioSeconds += static_cast<double>(probe.m_dwDataSize / 2 / fmt.nChannels) / fmt.nSamplesPerSec;
        probe.Close();
    }
    g_nBatchFiles = 0;
    for (const std::string& name : o.inputs) g_strBatchFile[g_nBatchFiles++] = name;

    const double cpuStart = CpuSeconds();
    dlg.BatchProc();
    const double cpu = CpuSeconds() - cpuStart;
    if (dlg.m_staticProcTime.GetWindowText().find("sec") == std::string::npos) {
        std::fprintf(stderr, "engine_bench: the batch ended early\n");
        return 1;
    }
    std::printf("batch oversampling %d pitch %d formant %d mode %d into %s\n", o.overSampling, o.pitch, o.formant,
                o.voiceMode, folder.c_str());
    std::printf("files %d  audio-seconds %.2f  realtime-factor %.1f\n", g_nBatchFiles, audioSeconds,
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
    if (o.method == "pv") return RunPhaseVocoder(o);
    if (o.method == "batch") return RunBatch(o);
    std::fprintf(stderr, "engine_bench: unknown method %s\n", o.method.c_str());
    Usage();
    return 2;
}
