// Termination requests from outside the program: SIGTERM (a desktop logout, kill), SIGINT
// (Ctrl+C in a terminal) and SIGHUP (the terminal went away).
//
// While a CTerminationWatch exists, the first of these signals calls its handler once, on the
// watch's own thread (never inside the signal handler); the handler typically posts a close
// request to the user-interface thread, which then ends the program the ordinary way. A second
// signal of any of the three, while the first is still being handled, ends the process at once
// with the signal's default action, so a hung close can still be interrupted.
// The SIGHUP that the kernel sends, with a SIGCONT behind it, to a stopped job whose process
// group has just lost its last parent in the session (a launcher that ended while the program
// was halted) is not a request: the program goes on.
#pragma once

#include <functional>
#include <thread>

namespace platform {

class CTerminationWatch {
public:
    // Installs the signal handlers; handler runs on the watch thread for the first signal.
    explicit CTerminationWatch(std::function<void(int signal)> handler);
    // Restores the signal actions that were there before and ends the watch thread.
    ~CTerminationWatch();
    CTerminationWatch(const CTerminationWatch&) = delete;
    CTerminationWatch& operator=(const CTerminationWatch&) = delete;

    // False when the handlers could not be installed (the signals then keep their old actions).
    bool Active() const { return m_bActive; }

private:
    std::function<void(int)> m_handler;
    std::thread m_thread;
    bool m_bActive = false;
};

}  // namespace platform
