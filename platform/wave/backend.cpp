#include "platform/wave/backend.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "platform/wave/portaudiobackend.h"
#include "platform/wave/virtualbackend.h"

namespace platform::wave {
namespace {

std::atomic<CWaveBackend*> g_override{nullptr};

// Cuts s to at most maxBytes bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) return s;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

}  // namespace

CWaveBackend& BackendFor(Direction dir) {
    if (CWaveBackend* b = g_override.load(std::memory_order_acquire)) return *b;
    if (VirtualDeviceConfigured(dir)) return VirtualBackend();
    return PortAudioBackend();
}

void SetBackendOverride(CWaveBackend* backend) { g_override.store(backend, std::memory_order_release); }

bool IsSupportedPcm(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM || f.wBitsPerSample != 16) return false;
    if (f.nChannels < 1 || f.nChannels > 2) return false;
    if (f.nSamplesPerSec < 8000 || f.nSamplesPerSec > 192000) return false;
    if (f.nBlockAlign != f.nChannels * 2) return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

std::vector<std::string> FitDeviceNames(const std::vector<std::string>& names) {
    constexpr std::size_t kMax = MAXPNAMELEN - 1;
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const std::string& name : names) {
        std::string fitted = CutUtf8(name, kMax);
        for (int n = 2; std::find(out.begin(), out.end(), fitted) != out.end(); ++n) {
            const std::string suffix = " #" + std::to_string(n);
            fitted = CutUtf8(name, kMax - suffix.size()) + suffix;
        }
        out.push_back(std::move(fitted));
    }
    return out;
}

}  // namespace platform::wave
