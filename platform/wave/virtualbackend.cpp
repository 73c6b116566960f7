#include "platform/wave/virtualbackend.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/wave/wavfileio.h"

namespace platform::wave {
namespace {

const char* PathFor(Direction dir) {
    const char* v = std::getenv(dir == Direction::In ? "SORVEL_VIRTUAL_IN" : "SORVEL_VIRTUAL_OUT");
    return (v != nullptr && *v != '\0') ? v : nullptr;
}

void Report(const std::string& text) { std::fprintf(stderr, "sorvel: %s\n", text.c_str()); }

double Speed() {
    const char* v = std::getenv("SORVEL_VIRTUAL_SPEED");
    if (v == nullptr || *v == '\0') return 1.0;
    char* end = nullptr;
    const double k = std::strtod(v, &end);
    if (end == v || *end != '\0' || !(k > 0.0) || k > 10000.0) {
        Report(std::string("SORVEL_VIRTUAL_SPEED=") + v + " is not a number from above 0 to 10000; the virtual devices run in real time.");
        return 1.0;
    }
    return k;
}

// Paces one virtual device. About every 2 ms it offers step() the frames that became due since
// the last tick (sample rate × speed), in chunks of at most kChunkFrames; step returns how many
// it handled. Frames the device could not handle (no buffer queued, or the program has not got
// as far as the next buffer) are not made up later: the device waits instead of rushing, so a
// run on the virtual devices gives the same result however busy the machine is.
class CDeviceClock {
public:
    static constexpr std::size_t kChunkFrames = 8192;

    CDeviceClock(double framesPerSecond, std::function<std::size_t(std::size_t)> step)
        : m_framesPerSecond(framesPerSecond), m_step(std::move(step)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~CDeviceClock() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    CDeviceClock(const CDeviceClock&) = delete;
    CDeviceClock& operator=(const CDeviceClock&) = delete;

private:
    void Run() {
        using Clock = std::chrono::steady_clock;
        auto last = Clock::now();
        double carry = 0.0;
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(2), [this] { return m_stop; })) {
            lock.unlock();
            const auto now = Clock::now();
            const double due = carry + std::chrono::duration<double>(now - last).count() * m_framesPerSecond;
            last = now;
            auto frames = static_cast<std::size_t>(due);
            carry = due - static_cast<double>(frames);
            while (frames > 0) {
                const std::size_t chunk = std::min(frames, kChunkFrames);
                const std::size_t done = m_step(chunk);
                if (done < chunk) break;
                frames -= chunk;
            }
            lock.lock();
        }
    }

    const double m_framesPerSecond;
    const std::function<std::size_t(std::size_t)> m_step;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Recording device: the file's samples in the opened format, then silence.
class CVirtualInStream : public CWaveStream {
public:
    CVirtualInStream(CWaveDeviceCore& core, std::vector<std::int16_t> samples, double speed)
        : m_core(core),
          m_samples(std::move(samples)),
          m_frameBytes(core.Format().nBlockAlign),
          m_chunk(CDeviceClock::kChunkFrames * core.Format().nBlockAlign) {
        m_clock = std::make_unique<CDeviceClock>(core.Format().nSamplesPerSec * speed,
                                                 [this](std::size_t frames) { return Step(frames); });
    }
    ~CVirtualInStream() override { m_clock.reset(); }

private:
    std::size_t Step(std::size_t frames) {
        const std::size_t bytes = frames * m_frameBytes;
        const std::size_t total = m_samples.size() * sizeof(std::int16_t);
        const std::size_t fromFile = m_pos < total ? std::min(bytes, total - m_pos) : 0;
        if (fromFile > 0) std::memcpy(m_chunk.data(), reinterpret_cast<const BYTE*>(m_samples.data()) + m_pos, fromFile);
        std::memset(m_chunk.data() + fromFile, 0, bytes - fromFile);
        const std::size_t stored = m_core.CapturePaced(m_chunk.data(), bytes);
        m_pos += stored;  // the file moves on only by what a buffer took
        return stored / m_frameBytes;
    }

    CWaveDeviceCore& m_core;
    const std::vector<std::int16_t> m_samples;
    const std::size_t m_frameBytes;
    std::vector<BYTE> m_chunk;
    std::size_t m_pos = 0;  // bytes of the converted file delivered so far
    std::unique_ptr<CDeviceClock> m_clock;
};

// Playback device: what it plays goes into a WAV file.
class CVirtualOutStream : public CWaveStream {
public:
    CVirtualOutStream(CWaveDeviceCore& core, std::string path)
        : m_core(core), m_path(std::move(path)), m_frameBytes(core.Format().nBlockAlign),
          m_chunk(CDeviceClock::kChunkFrames * core.Format().nBlockAlign) {}
    bool Open(std::string* error, double speed) {
        if (!m_writer.Open(m_path, m_core.Format(), error)) return false;
        m_clock = std::make_unique<CDeviceClock>(m_core.Format().nSamplesPerSec * speed,
                                                 [this](std::size_t frames) { return Step(frames); });
        return true;
    }
    ~CVirtualOutStream() override {
        m_clock.reset();
        if (!m_writer.Close()) Report(std::string("virtual playback device: could not complete ") + m_path + ".");
    }

private:
    std::size_t Step(std::size_t frames) {
        const std::size_t played = m_core.RenderPaced(m_chunk.data(), frames * m_frameBytes);
        if (played > 0 && !m_writer.Write(m_chunk.data(), played) && !m_reported) {
            Report(std::string("virtual playback device: could not write to ") + m_path + "; the rest is not recorded.");
            m_reported = true;
        }
        return played / m_frameBytes;
    }

    CWaveDeviceCore& m_core;
    const std::string m_path;
    const std::size_t m_frameBytes;
    std::vector<BYTE> m_chunk;
    CWavWriter m_writer;
    bool m_reported = false;
    std::unique_ptr<CDeviceClock> m_clock;
};

// The file's frames in the device's channel count.
std::vector<std::int16_t> ToChannels(const WavAudio& audio, WORD channels) {
    const WORD from = audio.format.nChannels;
    if (from == channels) return audio.samples;
    std::vector<std::int16_t> out;
    if (from == 1) {
        out.reserve(audio.samples.size() * 2);
        for (std::int16_t s : audio.samples) {
            out.push_back(s);
            out.push_back(s);
        }
    } else {
        out.reserve(audio.samples.size() / 2);
        for (std::size_t i = 0; i + 1 < audio.samples.size(); i += 2)
            out.push_back(static_cast<std::int16_t>((audio.samples[i] + audio.samples[i + 1]) / 2));
    }
    return out;
}

class CVirtualBackend : public CWaveBackend {
public:
    UINT DeviceCount(Direction dir) override { return PathFor(dir) != nullptr ? 1 : 0; }

    MMRESULT Caps(Direction dir, UINT id, DeviceCaps* caps) override {
        if (const MMRESULT r = CheckId(dir, id)) return r;
        caps->name = dir == Direction::In ? kVirtualInName : kVirtualOutName;
        caps->channels = 2;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Query(Direction dir, UINT id, const WAVEFORMATEX& format) override {
        if (const MMRESULT r = CheckId(dir, id)) return r;
        if (dir == Direction::Out) return MMSYSERR_NOERROR;
        WavAudio audio;
        return LoadInput(format, &audio, true);
    }

    MMRESULT Open(Direction dir, UINT id, CWaveDeviceCore& core, std::unique_ptr<CWaveStream>* stream) override {
        if (const MMRESULT r = CheckId(dir, id)) return r;
        const double speed = Speed();
        if (dir == Direction::In) {
            WavAudio audio;
            if (const MMRESULT r = LoadInput(core.Format(), &audio, false)) return r;
            *stream = std::make_unique<CVirtualInStream>(core, ToChannels(audio, core.Format().nChannels), speed);
            return MMSYSERR_NOERROR;
        }
        auto out = std::make_unique<CVirtualOutStream>(core, PathFor(Direction::Out));
        std::string error;
        if (!out->Open(&error, speed)) {
            Report(std::string("virtual playback device: ") + PathFor(Direction::Out) + ": " + error + ".");
            return MMSYSERR_ERROR;
        }
        *stream = std::move(out);
        return MMSYSERR_NOERROR;
    }

private:
    static MMRESULT CheckId(Direction dir, UINT id) {
        if (PathFor(dir) == nullptr) return MMSYSERR_NODRIVER;
        return (id == 0 || id == WAVE_MAPPER) ? MMSYSERR_NOERROR : MMSYSERR_BADDEVICEID;
    }

    static MMRESULT LoadInput(const WAVEFORMATEX& format, WavAudio* audio, bool formatOnly) {
        const std::string path = PathFor(Direction::In);
        std::string error;
        if (!ReadWavFile(path, audio, &error, formatOnly)) {
            Report("virtual recording device: " + path + ": " + error + ".");
            return MMSYSERR_ERROR;
        }
        if (audio->format.nSamplesPerSec != format.nSamplesPerSec) {
            Report("virtual recording device: " + path + " is sampled at " + std::to_string(audio->format.nSamplesPerSec) +
                   " Hz; the device was asked for " + std::to_string(format.nSamplesPerSec) + " Hz.");
            return WAVERR_BADFORMAT;
        }
        return MMSYSERR_NOERROR;
    }
};

}  // namespace

bool VirtualDeviceConfigured(Direction dir) { return PathFor(dir) != nullptr; }

CWaveBackend& VirtualBackend() {
    static auto* backend = new CVirtualBackend;
    return *backend;
}

}  // namespace platform::wave
