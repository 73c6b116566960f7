#include "platform/wave/libmessages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <dlfcn.h>

namespace platform::wave {
namespace {

std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& Sink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

void Deliver(const std::string& text) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    if (Sink()) Sink()(text);
}

// snd_lib_error_handler_t of ALSA.
void OnAlsaMessage(const char* file, int line, const char* function, int, const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt != nullptr ? fmt : "", args);
    va_end(args);
    char where[256];
    std::snprintf(where, sizeof where, "ALSA %s:%d (%s) ", file != nullptr ? file : "?", line,
                  function != nullptr ? function : "?");
    Deliver(std::string(where) + text);
}

void OnJackMessage(const char* text) { Deliver(std::string("JACK ") + (text != nullptr ? text : "")); }

// A function of a library that is already loaded (PortAudio brings them in), or null.
void* LoadedSymbol(const char* library, const char* symbol) {
    void* handle = ::dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    void* fn = ::dlsym(handle, symbol);
    ::dlclose(handle);  // the library stays loaded: PortAudio holds it
    return fn;
}

}  // namespace

void SetSoundLibraryMessageSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sink() = std::move(sink);
}

void RouteSoundLibraryMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        ::setenv("JACK_NO_START_SERVER", "1", 0);
        using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetAlsaHandler = int (*)(AlsaHandler);
        if (auto set = reinterpret_cast<SetAlsaHandler>(LoadedSymbol("libasound.so.2", "snd_lib_error_set_handler")))
            set(&OnAlsaMessage);
        using JackHandler = void (*)(const char*);
        using SetJackHandler = void (*)(JackHandler);
        for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
            if (auto set = reinterpret_cast<SetJackHandler>(LoadedSymbol("libjack.so.0", name))) set(&OnJackMessage);
        }
    });
}

}  // namespace platform::wave
