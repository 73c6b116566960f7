// Running another program and waiting for it to end. The program is started directly with the
// given arguments (no shell, so nothing in the arguments is interpreted); it inherits the
// environment, the current folder and the standard streams.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ProcessResult {
    bool started = false;  // the program could be started
    bool exited = false;   // it ended by itself (not by a signal)
    int exitCode = -1;     // its exit code when exited
    int signal = 0;        // the signal that ended it, otherwise 0
    int startError = 0;    // why it could not be started (an errno value), otherwise 0

    bool Succeeded() const { return started && exited && exitCode == 0; }
};

// Starts program (a path; it is not looked up in PATH) with args as argv[1..] (argv[0] is the
// program path) in a process group of its own, and blocks the calling thread until it ends.
// When cancel is given it is asked about every 20 ms while the program runs; once it says true
// the whole group (the program and what it started, such as the real converter behind a
// wrapper script) is sent SIGTERM, and SIGKILL a second later while any of it still runs. The
// call then returns when nothing of the group runs any more, and the result tells the signal
// that ended the program. The program runs under a small watcher process, which ends whatever
// is left of the group with SIGKILL once the call returns, and at once when the calling process
// dies in any way (killed, out of memory), and with it every descendant of the program that
// left the group (a new session, a daemon's double fork): nothing the program started outlives
// the call.
ProcessResult RunProcessAndWait(const std::string& program, const std::vector<std::string>& args,
                                const std::function<bool()>& cancel = nullptr);

}  // namespace platform
