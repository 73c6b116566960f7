// Termination requests from outside the program: SIGTERM (a desktop logout, kill), SIGINT
// (Ctrl+C in a terminal) and SIGHUP (the terminal went away, or someone sent it).
//
// While a CTerminationWatch exists, the first request calls its handler once, on the watch's own
// thread (never inside the signal handler); the handler typically posts a close request to the
// user-interface thread, which then ends the program the ordinary way. Every signal is read:
// none is dropped, whatever comes close behind another.
//
// - A SIGTERM or SIGINT after an earlier SIGTERM or SIGINT is someone insisting: it ends the
//   process at once with the signal's default action, so a hung close can still be interrupted.
//   A hangup never does: a terminal's hangup reaches a program several times (from the shell that
//   passes it on, from the kernel when the session's leader ends), and the close it asked for
//   is already under way.
// - A hangup that was ignored when the watch started (a program started by nohup) stays ignored:
//   whoever started the program asked for it to outlive its terminal. SIGTERM and SIGINT are
//   taken all the same.
// - The handlers stay in place after the watch has ended, up to the end of the process: a
//   program ends its watch only as it ends, and a signal in its last moments finds that end
//   under way. A hangup then changes nothing, and only a SIGTERM or SIGINT that repeats an
//   earlier one (before or after the watch ended) ends the process at once.
// - The kernel sends SIGHUP for two reasons: the program's terminal hung up or its session ended
//   (a request), or the program's process group lost its last parent in the session while a
//   member was stopped (a launcher ended while the program was halted; no request, the program
//   goes on). Only the first takes the controlling terminal away, so a kernel SIGHUP is a request
//   when the terminal the process had at the watch's start is gone, at once or within a short
//   time (the kernel may send the signal a moment before it clears the session's terminal).
#pragma once

#include <functional>
#include <thread>

namespace platform {

class CTerminationWatch {
public:
    // Installs the signal handlers; handler runs on the watch thread for the first request.
    explicit CTerminationWatch(std::function<void(int signal)> handler);
    // Ends the watch thread; the handlers stay (see above), the handler is never called again.
    ~CTerminationWatch();
    CTerminationWatch(const CTerminationWatch&) = delete;
    CTerminationWatch& operator=(const CTerminationWatch&) = delete;

    // False when the handlers could not be installed (the signals then keep their old actions).
    bool Active() const { return m_bActive; }

    // The device number of the process's controlling terminal, 0 without one, -1 when it cannot
    // be read.
    static int ControllingTerminal();

private:
    void Watch(int readFd, int startTerminal);

    std::function<void(int)> m_handler;
    std::thread m_thread;
    bool m_bActive = false;
};

}  // namespace platform
