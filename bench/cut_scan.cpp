// Finds the places where a recording of a steady tone was cut, and says how each cut sounds.
//
//   cut_scan FILE.wav --hz F [--channel C] [--db D]
//
// A pure tone of F Hz obeys x[n] = 2 cos(w) x[n-1] - x[n-2] exactly, so what is left of that
// prediction (the residual) is everything in the recording that is not the tone: a jump where
// the sound was cut, or the clicks and sidebands around it. In each 10 ms frame where the tone
// sounds, the residual's energy is compared with its median over the recording; a frame D dB
// (default 20) above it is part of a cut. For every cut: where it is, how far the residual stands above the
// median (dB), its largest sample, and the largest step from one sample to the next near it
// against the largest step of the tone itself at that level. A frame where the tone is missing
// (the output ran dry) is told as a gap instead. The recording of bench/live-drift.sh is a LIVE
// run passing such a tone through, so the keeper's corrections are the cuts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/wave/wavfileio.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Cut {
    double at = 0.0;       // seconds into the recording
    double seconds = 0.0;  // how long the residual stays high
    double db = 0.0;       // residual energy of its worst frame above the median frame's
    double residual = 0.0; // largest residual sample
    double step = 0.0;     // largest sample-to-sample step within 10 ms of it
    double toneStep = 0.0; // the tone's own largest step at its level there
    bool gap = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    double hz = 0.0;
    int channel = 0;
    double threshold = 20.0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--hz" && i + 1 < argc) hz = std::atof(argv[++i]);
        else if (a == "--channel" && i + 1 < argc) channel = std::atoi(argv[++i]);
        else if (a == "--db" && i + 1 < argc) threshold = std::atof(argv[++i]);
        else path = a;
    }
    if (path.empty() || hz <= 0.0) {
        std::fprintf(stderr, "usage: cut_scan FILE.wav --hz F [--channel C] [--db D]\n");
        return 2;
    }
    platform::wave::WavAudio audio;
    std::string error;
    if (!platform::wave::ReadWavFile(path, &audio, &error)) {
        std::fprintf(stderr, "cut_scan: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    const int channels = audio.format.nChannels;
    const double rate = audio.format.nSamplesPerSec;
    if (channel < 0 || channel >= channels) {
        std::fprintf(stderr, "cut_scan: %s has %d channels\n", path.c_str(), channels);
        return 2;
    }
    std::vector<double> x(audio.samples.size() / static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = audio.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];

    const double c = 2.0 * std::cos(2.0 * kPi * hz / rate);
    const std::size_t frame = static_cast<std::size_t>(rate * 0.01);
    const std::size_t frames = x.size() / frame;
    std::vector<double> level(frames, 0.0), rest(frames, 0.0);
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t k = 0; k < frame; ++k) {
            const std::size_t n = f * frame + k;
            level[f] += x[n] * x[n];
            if (n >= 2) {
                const double e = x[n] - c * x[n - 1] + x[n - 2];
                rest[f] += e * e;
            }
        }
        level[f] = std::sqrt(level[f] / static_cast<double>(frame));
    }
    // Where the tone sounds: from the first frame at half its usual level to the last.
    std::vector<double> sorted(level);
    std::sort(sorted.begin(), sorted.end());
    const double loud = sorted[sorted.size() * 9 / 10];
    std::size_t first = frames, last = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        if (level[f] > loud / 2.0) {
            first = std::min(first, f);
            last = f;
        }
    }
    if (first + 20 >= last) {
        std::fprintf(stderr, "cut_scan: no tone in %s\n", path.c_str());
        return 1;
    }
    // Its onset and its end are cuts of their own: they are left out.
    first += 5;
    last -= 5;
    std::vector<double> restSorted(rest.begin() + static_cast<long>(first), rest.begin() + static_cast<long>(last));
    std::sort(restSorted.begin(), restSorted.end());
    const double median = std::max(restSorted[restSorted.size() / 2], 1e-9);

    std::vector<Cut> cuts;
    for (std::size_t f = first; f < last; ++f) {
        const bool gap = level[f] < loud / 4.0;
        const double db = 10.0 * std::log10(std::max(rest[f], 1e-9) / median);
        if (!gap && db < threshold) continue;
        const double at = static_cast<double>(f * frame) / rate;
        Cut* cut = !cuts.empty() && at - (cuts.back().at + cuts.back().seconds) < 0.015 ? &cuts.back() : nullptr;
        if (cut == nullptr) {
            cuts.push_back(Cut{});
            cut = &cuts.back();
            cut->at = at;
        }
        cut->seconds = at + 0.01 - cut->at;
        cut->gap = cut->gap || gap;
        cut->db = std::max(cut->db, db);
        const std::size_t from = f * frame >= frame ? f * frame - frame : 2;
        const std::size_t to = std::min(x.size(), (f + 2) * frame);
        for (std::size_t n = std::max<std::size_t>(from, 2); n < to; ++n) {
            cut->residual = std::max(cut->residual, std::fabs(x[n] - c * x[n - 1] + x[n - 2]));
            cut->step = std::max(cut->step, std::fabs(x[n] - x[n - 1]));
        }
        // The tone's amplitude there is its level times the square root of two.
        const double around = level[f >= 3 ? f - 3 : f] * std::sqrt(2.0);
        cut->toneStep = std::max(cut->toneStep, 2.0 * kPi * hz / rate * around);
    }
    double steepest = 0.0;
    for (std::size_t n = first * frame + 1; n < last * frame; ++n) steepest = std::max(steepest, std::fabs(x[n] - x[n - 1]));
    int gaps = 0;
    for (const Cut& cut : cuts) gaps += cut.gap;
    std::printf("%s: %.1f s of tone at %.0f Hz (level %.0f); residual median %.1f per frame; %zu cuts, %d of them gaps; "
                "steepest step %.0f (the tone's own %.0f)\n",
                path.c_str(), static_cast<double>(last - first) * 0.01, hz, loud, std::sqrt(median / static_cast<double>(frame)),
                cuts.size() - static_cast<std::size_t>(gaps), gaps, steepest, 2.0 * kPi * hz / rate * loud * std::sqrt(2.0));
    std::printf("%10s %8s %10s %10s %10s %10s  %s\n", "at (s)", "ms", "dB above", "residual", "step", "tone step", "kind");
    for (const Cut& cut : cuts)
        std::printf("%10.3f %8.0f %10.1f %10.0f %10.0f %10.0f  %s\n", cut.at, cut.seconds * 1000.0, cut.db, cut.residual, cut.step,
                    cut.toneStep, cut.gap ? "gap" : "cut");
    return 0;
}
