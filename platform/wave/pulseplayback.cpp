#include "platform/wave/pulseplayback.h"

#include "platform/wave/pulseconnection.h"

#include <cstring>

namespace platform::wave {
namespace {

// Total delay the stream asks for (the server's buffer of this stream plus the sink's own):
// longer than the ordinary stalls of a busy desktop's scheduler, and well inside the engine's
// lead in a LIVE run with the short blocks, where an output block is written one input block
// (0.19 s) before it is due, less the capture's own delay.
constexpr pa_usec_t kTargetUsec = 80000;
// The server asks for more data whenever this much has been played.
constexpr pa_usec_t kRequestUsec = 10000;
// How often the mainloop looks at the queue for data the program queued after the server's
// last request (a restart after a pause, a buffer requeued late).
constexpr pa_usec_t kTickUsec = 10000;

// Owns one stream and everything under it: mainloop thread, context, stream, timer. All
// callbacks run on the mainloop thread with the mainloop locked, and that thread is the only
// one that calls the core's device side (Render). The program side reaches this object only
// through its constructor and destructor.
class CPulsePlayback : public CWaveStream {
public:
    explicit CPulsePlayback(CWaveDeviceCore& core) : m_core(core) {}

    ~CPulsePlayback() override {
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
        m_frame = pa_frame_size(&sampleSpec);

        m_loop = pa_threaded_mainloop_new();
        if (m_loop == nullptr) return false;
        pa_threaded_mainloop_lock(m_loop);
        const bool ok = ConnectLocked(sampleSpec);
        if (!ok) {
            m_closing = true;
            Release();
        }
        pa_threaded_mainloop_unlock(m_loop);
        return ok;
    }

private:
    bool ConnectLocked(const pa_sample_spec& spec) {
        if (!ConnectPulseContext(m_loop, &m_context, &CPulsePlayback::ContextState, this)) return false;

        m_stream = pa_stream_new(m_context, "sorvel playback", &spec, nullptr);
        if (m_stream == nullptr) return false;
        pa_stream_set_state_callback(m_stream, &CPulsePlayback::StreamState, this);
        pa_stream_set_write_callback(m_stream, &CPulsePlayback::Write, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetUsec, &spec));
        attr.prebuf = static_cast<std::uint32_t>(-1);  // after an underrun, play again once tlength is back
        attr.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(kRequestUsec, &spec));
        attr.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                          PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0) return false;
        if (!WaitPulseStreamReady(m_loop, m_stream)) return false;
        m_tick = pa_context_rttime_new(m_context, pa_rtclock_now() + kTickUsec, &CPulsePlayback::Tick, this);
        return m_tick != nullptr;
    }

    // With the mainloop locked: no callback reaches the core after this.
    void Release() {
        if (m_tick != nullptr) pa_threaded_mainloop_get_api(m_loop)->time_free(m_tick);
        m_tick = nullptr;
        if (m_stream != nullptr) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
        ReleasePulseContext(&m_context);
    }

    static void ContextState(pa_context* context, void* user) {
        auto* self = static_cast<CPulsePlayback*>(user);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) self->Lost();
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    static void StreamState(pa_stream* stream, void* user) {
        auto* self = static_cast<CPulsePlayback*>(user);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) self->Lost();
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    // The server went away or dropped the stream while the device was open.
    void Lost() {
        if (m_closing || m_lost || m_tick == nullptr) return;
        m_lost = true;
        m_core.LoseAsync();
    }

    static void Write(pa_stream*, std::size_t bytes, void* user) { static_cast<CPulsePlayback*>(user)->Fill(bytes); }

    static void Tick(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* user) {
        auto* self = static_cast<CPulsePlayback*>(user);
        if (!self->m_raised) {
            self->m_raised = true;
            RaisePulseThreadPriority();
        }
        if (self->m_stream != nullptr && pa_stream_get_state(self->m_stream) == PA_STREAM_READY) {
            const std::size_t writable = pa_stream_writable_size(self->m_stream);
            if (writable != static_cast<std::size_t>(-1)) self->Fill(writable);
        }
        pa_context_rttime_restart(self->m_context, event, pa_rtclock_now() + kTickUsec);
    }

    // Writes up to `bytes` bytes of the queued buffers, as much as they hold now. Never pads
    // with silence: what the server does not get in time it plays as silence without adding
    // to the delay.
    void Fill(std::size_t bytes) {
        while (bytes >= m_frame) {
            void* data = nullptr;
            std::size_t room = bytes;
            if (pa_stream_begin_write(m_stream, &data, &room) < 0 || data == nullptr || room < m_frame) return;
            room -= room % m_frame;
            auto* out = static_cast<BYTE*>(data);
            std::size_t got = m_core.Render(out, room);
            if (got == 0) {
                pa_stream_cancel_write(m_stream);
                return;
            }
            if (const std::size_t part = got % m_frame; part != 0) {  // a buffer of odd length: finish the frame
                std::memset(out + got, 0, m_frame - part);
                got += m_frame - part;
            }
            if (pa_stream_write(m_stream, data, got, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
            if (got < room) return;
            bytes -= got;
        }
    }

    CWaveDeviceCore& m_core;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_time_event* m_tick = nullptr;
    bool m_closing = false;
    bool m_lost = false;
    bool m_raised = false;
    std::size_t m_frame = 4;
};

}  // namespace

std::unique_ptr<CWaveStream> OpenPulsePlayback(CWaveDeviceCore& core) {
    auto stream = std::make_unique<CPulsePlayback>(core);
    if (!stream->Open()) return nullptr;
    return stream;
}

}  // namespace platform::wave
