// pv_bench: runs the phase-vocoder round over a whole 16-bit 44.1 kHz WAV file as fast as
// possible and reports the processing time per block.
//
//   pv_bench [--pitch N] [--vocal off|cut|extract] IN.wav OUT.wav
//
// N is the Pitch trackbar position, -48..48 (ratio 2^(N/24)); default 0. Blocks are those of
// the normal voice delay (32768 bytes: 16384 samples, both channels together); the last one
// is filled up with silence. The vocal band starts at 64 Hz (the lowest key). Only the rounds
// are timed (CPU time of the process), not the file reading and writing.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "engine/PhaseVocoderRound.h"

namespace {

constexpr int kBlockSamples = 16384;
constexpr float kLowEdgeHz = 64.0f;

struct Wav {
    int channels = 0;
    int rate = 0;
    std::vector<std::int16_t> samples;  // interleaved
};

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Reads a PCM WAV: walks the chunks of the RIFF file for "fmt " and "data".
bool ReadWav(const std::string& path, Wav& wav, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return false;
    }
    int bits = 0, format = 0;
    bool haveFmt = false, haveData = false;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const std::uint32_t size = Le32(&bytes[pos + 4]);
        const size_t body = pos + 8;
        const size_t avail = bytes.size() - body;
        const size_t len = size < avail ? size : avail;
        if (std::memcmp(&bytes[pos], "fmt ", 4) == 0 && len >= 16) {
            format = Le16(&bytes[body]);
            wav.channels = Le16(&bytes[body + 2]);
            wav.rate = static_cast<int>(Le32(&bytes[body + 4]));
            bits = Le16(&bytes[body + 14]);
            haveFmt = true;
        } else if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            wav.samples.resize(len / 2);
            for (size_t i = 0; i < wav.samples.size(); ++i)
                wav.samples[i] = static_cast<std::int16_t>(Le16(&bytes[body + 2 * i]));
            haveData = true;
        }
        pos = body + len + (len & 1);
    }
    if (!haveFmt || !haveData) {
        error = path + " has no format or no data";
        return false;
    }
    if (format != 1 || bits != 16 || wav.rate != 44100 || (wav.channels != 1 && wav.channels != 2)) {
        error = path + " is not 16-bit PCM at 44100 Hz with 1 or 2 channels";
        return false;
    }
    return true;
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void Put16(std::vector<unsigned char>& out, std::uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

bool WriteWav(const std::string& path, const Wav& wav) {
    std::vector<unsigned char> out;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(wav.samples.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(wav.channels));
    Put32(out, static_cast<std::uint32_t>(wav.rate));
    Put32(out, static_cast<std::uint32_t>(wav.rate * wav.channels * 2));
    Put16(out, static_cast<std::uint16_t>(wav.channels * 2));
    Put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, dataBytes);
    for (std::int16_t s : wav.samples) Put16(out, static_cast<std::uint16_t>(s));
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

int Usage() {
    std::fprintf(stderr, "usage: pv_bench [--pitch N] [--vocal off|cut|extract] IN.wav OUT.wav\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int pitch = 0;
    int vocal = 0;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pitch" && i + 1 < argc) {
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || v < -48 || v > 48) return Usage();
            pitch = static_cast<int>(v);
        } else if (arg == "--vocal" && i + 1 < argc) {
            const std::string mode = argv[++i];
            if (mode == "off")
                vocal = 0;
            else if (mode == "cut")
                vocal = 1;
            else if (mode == "extract")
                vocal = 2;
            else
                return Usage();
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return Usage();

    Wav in;
    std::string error;
    if (!ReadWav(files[0], in, error)) {
        std::fprintf(stderr, "pv_bench: %s\n", error.c_str());
        return 1;
    }
    if (vocal != 0 && in.channels != 2) {
        std::fprintf(stderr, "pv_bench: vocal cut and extract need a stereo file\n");
        return 1;
    }

    CPitchScaleManager manager;
    if (manager.Init(0, 0) == 0) {
        std::fprintf(stderr, "pv_bench: out of memory\n");
        return 1;
    }
    manager.m_nChannels = in.channels;
    CPhaseVocoderRound round(manager);
    if (!round.Begin(kBlockSamples)) {
        std::fprintf(stderr, "pv_bench: cannot start the rounds\n");
        return 1;
    }
    const float ratio = std::pow(2.0f, static_cast<float>(pitch) / 24.0f);

    const size_t blocks = (in.samples.size() + kBlockSamples - 1) / kBlockSamples;
    std::vector<float> input(blocks * kBlockSamples, 0.0f);
    for (size_t i = 0; i < in.samples.size(); ++i) input[i] = in.samples[i];
    Wav out;
    out.channels = in.channels;
    out.rate = in.rate;
    out.samples.assign(blocks * kBlockSamples, 0);

    const std::clock_t start = std::clock();
    for (size_t b = 0; b < blocks; ++b) {
        round.TakeInput(input.data() + b * kBlockSamples);
        round.Convert(ratio, vocal, kLowEdgeHz);
        round.Render(out.samples.data() + b * kBlockSamples);
    }
    const double cpuSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;

    if (!WriteWav(files[1], out)) {
        std::fprintf(stderr, "pv_bench: cannot write %s\n", files[1].c_str());
        return 1;
    }
    const double audioSeconds = static_cast<double>(blocks * kBlockSamples) / in.channels / 44100.0;
    const double perBlockMs = blocks > 0 ? 1000.0 * cpuSeconds / static_cast<double>(blocks) : 0.0;
    const double factor = cpuSeconds > 0.0 ? audioSeconds / cpuSeconds : 0.0;
    std::printf("blocks %zu  cpu-per-block %.3f ms  realtime-factor %.1f\n", blocks, perBlockMs, factor);
    return 0;
}
