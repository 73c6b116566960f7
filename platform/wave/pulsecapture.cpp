#include "platform/wave/pulsecapture.h"

#include "platform/wave/pulseconnection.h"

#include "platform/wave/capturebacklog.h"

namespace platform::wave {
namespace {

// The server hands recorded sound on in pieces of this length.
constexpr pa_usec_t kFragmentUsec = 20000;

// Owns one recording stream and everything under it. All callbacks run on the mainloop thread
// with the mainloop locked, and that thread is the only one that calls the core's device side
// (Capture). The program side reaches this object only through its constructor and destructor.
class CPulseCapture : public CWaveStream {
public:
    explicit CPulseCapture(CWaveDeviceCore& core) : m_core(core) {}

    ~CPulseCapture() override {
        if (m_loop == nullptr) return;
        pa_threaded_mainloop_lock(m_loop);
        m_closing = true;
        Release();
        pa_threaded_mainloop_unlock(m_loop);
        StopPulseLoop(m_loop);
    }

    bool KeepsRealTime() const override { return true; }

    bool Open() {
        const WAVEFORMATEX& format = m_core.Format();
        pa_sample_spec sampleSpec{};
        if (!PulseSampleSpec(format, &sampleSpec)) return false;
        m_bytesPerSecond = static_cast<double>(pa_bytes_per_second(&sampleSpec));
        m_loop = pa_threaded_mainloop_new();
        if (m_loop == nullptr) return false;
        pa_threaded_mainloop_lock(m_loop);
        const bool ok = ConnectLocked(sampleSpec);
        if (!ok) {
            m_closing = true;
            Release();
        }
        m_ready = ok;
        pa_threaded_mainloop_unlock(m_loop);
        return ok;
    }

private:
    bool ConnectLocked(const pa_sample_spec& spec) {
        if (!ConnectPulseContext(m_loop, &m_context, &CPulseCapture::ContextState, this)) return false;
        m_stream = pa_stream_new(m_context, "sorvel recording", &spec, nullptr);
        if (m_stream == nullptr) return false;
        pa_stream_set_state_callback(m_stream, &CPulseCapture::StreamState, this);
        pa_stream_set_read_callback(m_stream, &CPulseCapture::Read, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUsec, &spec));
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                          PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(m_stream, nullptr, &attr, flags) < 0) return false;
        return WaitPulseStreamReady(m_loop, m_stream);
    }

    // With the mainloop locked: no callback reaches the core after this.
    void Release() {
        if (m_stream != nullptr) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
        ReleasePulseContext(&m_context);
    }

    static void ContextState(pa_context* context, void* user) {
        auto* self = static_cast<CPulseCapture*>(user);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) self->Lost();
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    static void StreamState(pa_stream* stream, void* user) {
        auto* self = static_cast<CPulseCapture*>(user);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) self->Lost();
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    // The server went away or dropped the stream while the device was open.
    void Lost() {
        if (m_closing || m_lost || !m_ready) return;
        m_lost = true;
        m_core.LoseAsync();
    }

    // Hands every recorded piece to the core in order (the core drops it while capture is not
    // started), except a backlog: pieces recorded so long ago that a stall must have kept them
    // waiting. Those, and the holes the server reports where it lost sound itself, are dropped
    // and counted.
    static void Read(pa_stream* stream, std::size_t, void* user) {
        auto* self = static_cast<CPulseCapture*>(user);
        if (!self->m_raised) {
            self->m_raised = true;
            RaisePulseThreadPriority();
        }
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
            const double seconds = static_cast<double>(bytes) / self->m_bytesPerSecond;
            if (data == nullptr || self->m_backlog.IsBacklog(AgeOfNextRead(stream), seconds, SteadySeconds()))
                self->m_core.DropCaptured(bytes);
            else
                self->m_core.Capture(static_cast<const BYTE*>(data), bytes);
            pa_stream_drop(stream);
        }
    }

    // How long ago the first byte not yet read was recorded, by the stream's timing (carried on
    // by the local clock since the server's last report, so a stall of this process counts in
    // full); negative while the stream cannot tell yet.
    static double AgeOfNextRead(pa_stream* stream) {
        pa_usec_t usec = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &usec, &negative) < 0) return -1.0;
        return negative != 0 ? 0.0 : static_cast<double>(usec) * 1e-6;
    }

    CWaveDeviceCore& m_core;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    double m_bytesPerSecond = 88200.0;
    CCaptureBacklog m_backlog;
    bool m_raised = false;
    bool m_ready = false;
    bool m_closing = false;
    bool m_lost = false;
};

}  // namespace

std::unique_ptr<CWaveStream> OpenPulseCapture(CWaveDeviceCore& core) {
    auto stream = std::make_unique<CPulseCapture>(core);
    if (!stream->Open()) return nullptr;
    return stream;
}

}  // namespace platform::wave
