// The processor time this process has used, for checks that an idle program uses next to none.
// A busy loop takes a whole core; the limits of such checks are set far below that and far above
// what a loaded test machine adds.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <functional>

namespace cputime {

// User and system time of every thread of the process so far, in seconds.
inline double ProcessSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// The share of one core the process used while idle() ran (idle() keeps the program going for
// some seconds: runs its event loop, or just waits).
inline double ShareOfACoreWhile(const std::function<void()>& idle) {
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = ProcessSeconds();
    idle();
    const double cpu = ProcessSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return wall > 0.0 ? cpu / wall : 0.0;
}

}  // namespace cputime
