#include "platform/wave/jackthreads.h"

#include <future>
#include <memory>
#include <mutex>

#include <dlfcn.h>
#include <pthread.h>

namespace platform::wave {
namespace {

using Routine = void* (*)(void*);
// jack_thread_creator_t of libjack.
using Creator = int (*)(pthread_t*, const pthread_attr_t*, Routine, void*);
using SetCreator = void (*)(Creator);

// What a new thread runs, and how it tells its creator that it runs.
struct Start {
    Routine routine;
    void* arg;
    std::promise<void> running;
};

void* RunStarted(void* p) {
    std::unique_ptr<Start> start(static_cast<Start*>(p));
    const Routine routine = start->routine;
    void* const arg = start->arg;
    start->running.set_value();
    start.reset();
    return routine(arg);
}

// Creates the thread as pthread_create does, with the same attributes, and returns once the
// thread runs. The thread's result is the routine's, so libjack joins and cancels it as its own.
int CreateRunningThread(pthread_t* thread, const pthread_attr_t* attr, Routine routine, void* arg) {
    auto start = std::make_unique<Start>(Start{routine, arg, {}});
    std::future<void> running = start->running.get_future();
    const int err = ::pthread_create(thread, attr, &RunStarted, start.get());
    if (err != 0) return err;
    start.release();  // the thread owns it now
    running.wait();
    return 0;
}

}  // namespace

void InstallJackThreadCreator() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Usually loaded already (PortAudio links it); else loaded here, so that ALSA's "jack"
        // device finds it with the creator in place. The handle is never closed.
        void* jack = ::dlopen("libjack.so.0", RTLD_NOW | RTLD_NOLOAD);
        if (jack == nullptr) jack = ::dlopen("libjack.so.0", RTLD_NOW);
        if (jack == nullptr) return;  // no libjack, none of its threads
        if (auto set = reinterpret_cast<SetCreator>(::dlsym(jack, "jack_set_thread_creator"))) set(&CreateRunningThread);
    });
}

}  // namespace platform::wave
