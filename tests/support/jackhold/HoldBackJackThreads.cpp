// Preloaded into a program under test (LD_PRELOAD), this library plays a machine too loaded to
// run libjack's threads in time: every thread created while libjack is on the creating thread's
// stack (libjack's own, and those a thread creator makes on its behalf) begins its start routine
// only after a hold. pthread_create itself returns at once; only the new thread waits.
//   SORVEL_HOLD_JACK_SECONDS  the hold (default 1.5 s)
//   SORVEL_HOLD_JACK_LOG      a file that gets a line "held OBJECT" when a held thread is created
//                             and "began OBJECT" when its start routine begins, OBJECT being the
//                             object file that holds the routine
// Built for the tests only.
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Routine = void* (*)(void*);
using Create = int (*)(pthread_t*, const pthread_attr_t*, Routine, void*);

Create RealCreate() {
    static const Create real = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    return real;
}

double HoldSeconds() {
    const char* text = std::getenv("SORVEL_HOLD_JACK_SECONDS");
    return text != nullptr && *text != '\0' ? std::atof(text) : 1.5;
}

bool InLibjack(void* address) {
    Dl_info info{};
    return ::dladdr(address, &info) != 0 && info.dli_fname != nullptr && std::strstr(info.dli_fname, "libjack") != nullptr;
}

bool LibjackIsCreating() {
    void* frames[128];
    const int n = ::backtrace(frames, 128);
    for (int i = 0; i < n; ++i)
        if (InLibjack(frames[i])) return true;
    return false;
}

void Log(const char* what, Routine routine) {
    const char* path = std::getenv("SORVEL_HOLD_JACK_LOG");
    if (path == nullptr || *path == '\0') return;
    Dl_info info{};
    const char* object = ::dladdr(reinterpret_cast<void*>(routine), &info) != 0 && info.dli_fname != nullptr ? info.dli_fname : "?";
    const std::string line = std::string(what) + " " + object + "\n";
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    (void)!::write(fd, line.data(), line.size());
    ::close(fd);
}

struct Held {
    Routine routine;
    void* arg;
    double seconds;
};

void* StartLate(void* p) {
    const Held held = *static_cast<Held*>(p);
    delete static_cast<Held*>(p);
    const auto ns = static_cast<long long>(held.seconds * 1e9);
    timespec left{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    while (::nanosleep(&left, &left) != 0) {
    }
    Log("began", held.routine);
    return held.routine(held.arg);
}

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, Routine routine, void* arg) {
    const Create real = RealCreate();
    if (!LibjackIsCreating()) return real(thread, attr, routine, arg);
    Log("held", routine);
    auto* held = new Held{routine, arg, HoldSeconds()};
    const int err = real(thread, attr, &StartLate, held);
    if (err != 0) delete held;
    return err;
}
