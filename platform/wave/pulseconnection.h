// Connecting to a PulseAudio server (or PipeWire's PulseAudio service) on a threaded mainloop,
// shared by the playback and capture streams. Every function here is called with the mainloop
// locked; the state callbacks the streams install signal the mainloop.
#pragma once

#include <pulse/pulseaudio.h>

#include <cstdint>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/wave/wavetypes.h"

namespace platform::wave {

// The server's sample format for a device format (16-bit PCM); false when the server cannot
// take it.
inline bool PulseSampleSpec(const WAVEFORMATEX& format, pa_sample_spec* sampleSpec) {
    sampleSpec->format = PA_SAMPLE_S16LE;
    sampleSpec->rate = format.nSamplesPerSec;
    sampleSpec->channels = static_cast<std::uint8_t>(format.nChannels);
    return pa_sample_spec_valid(sampleSpec) != 0;
}

// Connects a new context of `loop` (never starting a server), starts the loop's thread and waits
// until the context is ready. False when no server answers; *context is set either way (null
// when it could not be made) and belongs to the caller.
inline bool ConnectPulseContext(pa_threaded_mainloop* loop, pa_context** context, pa_context_notify_cb_t onState,
                                void* user) {
    *context = pa_context_new(pa_threaded_mainloop_get_api(loop), "sorvel");
    if (*context == nullptr) return false;
    pa_context_set_state_callback(*context, onState, user);
    if (pa_context_connect(*context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    if (pa_threaded_mainloop_start(loop) < 0) return false;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(*context);
        if (state == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(state)) return false;
        pa_threaded_mainloop_wait(loop);
    }
}

// Waits until a stream being connected is ready; false when the server refused it.
inline bool WaitPulseStreamReady(pa_threaded_mainloop* loop, pa_stream* stream) {
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) return true;
        if (!PA_STREAM_IS_GOOD(state)) return false;
        pa_threaded_mainloop_wait(loop);
    }
}

// Drops the context (its callback first, so nothing reaches the owner any more).
inline void ReleasePulseContext(pa_context** context) {
    if (*context == nullptr) return;
    pa_context_set_state_callback(*context, nullptr, nullptr);
    pa_context_disconnect(*context);
    pa_context_unref(*context);
    *context = nullptr;
}

// Called on the mainloop thread: the thread that moves sound between the server and the
// program's buffers goes before the engine's own threads where the system allows it (an
// unprivileged process may not, which is fine).
inline void RaisePulseThreadPriority() {
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -10);
}

// Stops and frees a mainloop whose context and streams are released.
inline void StopPulseLoop(pa_threaded_mainloop* loop) {
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

}  // namespace platform::wave
