#include "platform/wave/portaudiobackend.h"

#include <portaudio.h>

#include "platform/wave/capturebacklog.h"
#include "platform/wave/jackthreads.h"
#include "platform/wave/libmessages.h"
#include "platform/wave/pulsecapture.h"
#include "platform/wave/pulseplayback.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform::wave {
namespace {

void Report(const char* what, PaError err) {
    std::fprintf(stderr, "sorvel: sound system: %s: %s\n", what, Pa_GetErrorText(err));
}

MMRESULT ToResult(PaError err) {
    switch (err) {
    case paNoError:
        return MMSYSERR_NOERROR;
    case paDeviceUnavailable:
        return MMSYSERR_ALLOCATED;
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
    case paBadIODeviceCombination:
        return WAVERR_BADFORMAT;
    case paInsufficientMemory:
        return MMSYSERR_NOMEM;
    case paInvalidDevice:
        return MMSYSERR_BADDEVICEID;
    default:
        return MMSYSERR_ERROR;
    }
}

// One open PortAudio stream. The callback runs on PortAudio's thread and only moves bytes
// through the core without waiting (silence or a dropped period when the program side holds
// the queue at that instant); an unexpected end of the stream marks the device lost. Recorded
// periods that a stall kept waiting in the driver are dropped by their age (the stream's own
// capture time against its current time).
class CPortAudioStream : public CWaveStream {
public:
    CPortAudioStream(CWaveDeviceCore& core, std::mutex& paMutex)
        : m_core(core), m_paMutex(paMutex), m_frameBytes(core.Format().nBlockAlign) {}

    ~CPortAudioStream() override {
        if (m_stream == nullptr) return;
        std::lock_guard<std::mutex> lock(m_paMutex);
        m_closing.store(true, std::memory_order_release);
        Pa_AbortStream(m_stream);
        Pa_CloseStream(m_stream);
    }

    bool KeepsRealTime() const override { return true; }

    // Called with the PortAudio mutex held.
    PaError Open(const PaStreamParameters& params) {
        const bool input = m_core.Dir() == Direction::In;
        PaError err = Pa_OpenStream(&m_stream, input ? &params : nullptr, input ? nullptr : &params,
                                    m_core.Format().nSamplesPerSec, paFramesPerBufferUnspecified, paNoFlag,
                                    &CPortAudioStream::Callback, this);
        if (err != paNoError) {
            m_stream = nullptr;
            return err;
        }
        Pa_SetStreamFinishedCallback(m_stream, &CPortAudioStream::Finished);
        err = Pa_StartStream(m_stream);
        if (err != paNoError) {
            m_closing.store(true, std::memory_order_release);
            Pa_CloseStream(m_stream);
            m_stream = nullptr;
        }
        return err;
    }

private:
    static int Callback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* timeInfo,
                        PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<CPortAudioStream*>(user);
        const std::size_t bytes = frames * self->m_frameBytes;
        if (output != nullptr) {
            auto* out = static_cast<BYTE*>(output);
            const std::size_t n = self->m_core.TryRender(out, bytes);
            if (n < bytes) std::memset(out + n, 0, bytes - n);
        } else if (input != nullptr) {
            const double seconds = static_cast<double>(frames) / self->m_core.Format().nSamplesPerSec;
            if (self->m_backlog.IsBacklog(AgeOf(timeInfo), seconds, SteadySeconds()))
                self->m_core.DropCaptured(bytes);
            else
                self->m_core.TryCapture(static_cast<const BYTE*>(input), bytes);
        }
        return paContinue;
    }

    // How long before the callback the period's first frame was recorded; negative when the
    // host API does not tell.
    static double AgeOf(const PaStreamCallbackTimeInfo* timeInfo) {
        if (timeInfo == nullptr || timeInfo->currentTime <= 0.0 || timeInfo->inputBufferAdcTime <= 0.0) return -1.0;
        const double age = timeInfo->currentTime - timeInfo->inputBufferAdcTime;
        return age >= 0.0 ? age : 0.0;
    }

    static void Finished(void* user) {
        auto* self = static_cast<CPortAudioStream*>(user);
        if (!self->m_closing.load(std::memory_order_acquire)) self->m_core.LoseAsync();
    }

    CWaveDeviceCore& m_core;
    std::mutex& m_paMutex;
    const std::size_t m_frameBytes;
    PaStream* m_stream = nullptr;
    std::atomic<bool> m_closing{false};
    CCaptureBacklog m_backlog;  // PortAudio's callback thread only
};

class CPortAudioBackend : public CWaveBackend {
public:
    UINT DeviceCount(Direction dir) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        InitLocked();
        return static_cast<UINT>(m_devices[Index(dir)].size());
    }

    MMRESULT Caps(Direction dir, UINT id, DeviceCaps* caps) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        MMRESULT r = MMSYSERR_NOERROR;
        const PaDeviceIndex device = ResolveLocked(dir, id, &r);
        if (r != MMSYSERR_NOERROR) return r;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        const auto& list = m_devices[Index(dir)];
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i] == device) caps->name = m_names[Index(dir)][i];
        const int channels = dir == Direction::In ? info->maxInputChannels : info->maxOutputChannels;
        caps->channels = static_cast<WORD>(channels > 2 ? 2 : channels);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Query(Direction dir, UINT id, const WAVEFORMATEX& format) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        MMRESULT r = MMSYSERR_NOERROR;
        const PaDeviceIndex device = ResolveLocked(dir, id, &r);
        if (r != MMSYSERR_NOERROR) return r;
        const PaStreamParameters params = Params(dir, device, format);
        const bool input = dir == Direction::In;
        return ToResult(Pa_IsFormatSupported(input ? &params : nullptr, input ? nullptr : &params, format.nSamplesPerSec));
    }

    MMRESULT Open(Direction dir, UINT id, CWaveDeviceCore& core, std::unique_ptr<CWaveStream>* stream) override {
        std::unique_ptr<CPortAudioStream> s;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            MMRESULT r = MMSYSERR_NOERROR;
            const PaDeviceIndex device = ResolveLocked(dir, id, &r);
            if (r != MMSYSERR_NOERROR) return r;
            // The default device goes straight to the sound server when one answers: its own
            // streams ride out stalls and underruns that the ALSA route turns into recreated
            // streams and seconds of added delay.
            if (ReachesSoundServer(id, device)) {
                if (std::unique_ptr<CWaveStream> pulse =
                        dir == Direction::Out ? OpenPulsePlayback(core) : OpenPulseCapture(core)) {
                    *stream = std::move(pulse);
                    return MMSYSERR_NOERROR;
                }
            }
            s = std::make_unique<CPortAudioStream>(core, m_mutex);
            const PaError err = s->Open(Params(dir, device, core.Format()));
            if (err != paNoError) {
                Report(dir == Direction::In ? "cannot open the recording device" : "cannot open the playback device", err);
                s.reset();
                return ToResult(err) == MMSYSERR_NOERROR ? MMSYSERR_ERROR : ToResult(err);
            }
        }
        *stream = std::move(s);
        return MMSYSERR_NOERROR;
    }

private:
    static int Index(Direction dir) { return dir == Direction::In ? 0 : 1; }

    void InitLocked() {
        if (m_tried) return;
        m_tried = true;
        RouteSoundLibraryMessages();
        // Listing the devices opens JACK clients (see jackthreads.h).
        InstallJackThreadCreator();
        const PaError err = Pa_Initialize();
        if (err != paNoError) {
            Report("cannot start", err);
            return;
        }
        m_ready = true;
        std::vector<std::string> names[2];
        const PaDeviceIndex count = Pa_GetDeviceCount();
        for (PaDeviceIndex i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info == nullptr) continue;
            const std::string name = info->name != nullptr ? info->name : "";
            if (info->maxInputChannels > 0) {
                m_devices[0].push_back(i);
                names[0].push_back(name);
            }
            if (info->maxOutputChannels > 0) {
                m_devices[1].push_back(i);
                names[1].push_back(name);
            }
        }
        m_names[0] = FitDeviceNames(names[0]);
        m_names[1] = FitDeviceNames(names[1]);
    }

    PaDeviceIndex ResolveLocked(Direction dir, UINT id, MMRESULT* result) {
        InitLocked();
        const auto& list = m_devices[Index(dir)];
        if (!m_ready || list.empty()) {
            *result = MMSYSERR_NODRIVER;
            return paNoDevice;
        }
        if (id == WAVE_MAPPER) {
            const PaDeviceIndex device = dir == Direction::In ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
            if (device == paNoDevice || Pa_GetDeviceInfo(device) == nullptr) {
                *result = MMSYSERR_NODRIVER;
                return paNoDevice;
            }
            return device;
        }
        if (id >= list.size()) {
            *result = MMSYSERR_BADDEVICEID;
            return paNoDevice;
        }
        return list[id];
    }

    // The default device, or the ALSA devices that stand for the sound server.
    static bool ReachesSoundServer(UINT id, PaDeviceIndex device) {
        if (id == WAVE_MAPPER) return true;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (info == nullptr || info->name == nullptr) return false;
        return std::strcmp(info->name, "default") == 0 || std::strcmp(info->name, "pulse") == 0;
    }

    static PaStreamParameters Params(Direction dir, PaDeviceIndex device, const WAVEFORMATEX& format) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        PaStreamParameters p{};
        p.device = device;
        p.channelCount = format.nChannels;
        p.sampleFormat = paInt16;
        p.suggestedLatency = dir == Direction::In ? info->defaultHighInputLatency : info->defaultHighOutputLatency;
        p.hostApiSpecificStreamInfo = nullptr;
        return p;
    }

    std::mutex m_mutex;  // PortAudio is called by one thread at a time
    bool m_tried = false;
    bool m_ready = false;
    std::vector<PaDeviceIndex> m_devices[2];  // [0] recording, [1] playback
    std::vector<std::string> m_names[2];
};

}  // namespace

CWaveBackend& PortAudioBackend() {
    static auto* backend = new CPortAudioBackend;
    return *backend;
}

}  // namespace platform::wave
