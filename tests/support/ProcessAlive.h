// Whether a process still runs, for tests that a program's helper processes end with it. A
// process that has ended but is not yet reaped (a zombie, as an orphan stays where nothing reaps
// it) no longer runs.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <sys/types.h>

namespace processalive {

inline bool Runs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return false;
    // The state follows the name, which is in parentheses and may itself hold any character.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return false;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X' && state != 'x';
}

// Waits until the process no longer runs, up to limitSeconds; true when it ended.
inline bool EndsWithin(pid_t pid, double limitSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
    while (Runs(pid)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace processalive
