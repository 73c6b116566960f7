#include "platform/base/termsignals.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = 3;

// Bytes through the pipe besides the signal numbers of requests: a SIGHUP and a SIGCONT sent
// by the kernel itself.
constexpr unsigned char kKernelHangup = 0xF1;
constexpr unsigned char kKernelContinue = 0xF2;

// How long a kernel SIGHUP waits for the SIGCONT that the kernel sends right behind it to a
// stopped job whose process group lost its parent.
constexpr int kContinueWaitMs = 250;

// The write end of the pipe that carries a signal number from the handler to the watch thread
// (a write to a pipe is one of the few things a signal handler may do).
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_received{0};
struct sigaction g_previous[kSignalCount];
struct sigaction g_previousContinue;

void Send(unsigned char byte) {
    const int fd = g_writeFd.load();
    if (fd >= 0) (void)!::write(fd, &byte, 1);
}

void OnSignal(int sig, siginfo_t* info, void*) {
    const int saved = errno;
    const bool kernel = info != nullptr && info->si_code == SI_KERNEL;
    if (sig == SIGCONT) {
        if (kernel) Send(kKernelContinue);
    } else if (sig == SIGHUP && kernel && g_received.load() == 0) {
        // The terminal hung up, or the kernel tells a stopped job that its process group lost
        // its parent: the watch thread tells which.
        Send(kKernelHangup);
    } else if (g_received.fetch_add(1) == 0) {
        Send(static_cast<unsigned char>(sig));
    } else {
        // Asked again while the first request is being handled: the default action, now.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
    errno = saved;
}

// Reads one byte; false when the pipe was closed (or a wait of timeoutMs >= 0 passed first).
bool ReadByte(int fd, unsigned char* byte, int timeoutMs) {
    for (;;) {
        if (timeoutMs >= 0) {
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, timeoutMs);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
        }
        const ssize_t n = ::read(fd, byte, 1);
        if (n < 0 && errno == EINTR) continue;
        return n == 1;
    }
}

// A kernel SIGHUP and the kernel's SIGCONT together, in a process that does not lead its
// session: the process group lost its last parent in the session while a member was stopped
// (a launcher ended while the program was halted). That is no request to close; a hung-up
// terminal sends its SIGHUP alone to a program it started, or through the shell. The two may
// reach different threads and the pipe in either order: a SIGCONT read shortly before counts
// as well as one that follows.
bool OrphanedJobNotice(int fd, std::chrono::steady_clock::time_point lastContinue) {
    if (::getsid(0) == ::getpid()) return false;
    const auto window = std::chrono::milliseconds(kContinueWaitMs);
    if (std::chrono::steady_clock::now() - lastContinue <= window) return true;
    unsigned char next = 0;
    return ReadByte(fd, &next, kContinueWaitMs) && next == kKernelContinue;
}

}  // namespace

CTerminationWatch::CTerminationWatch(std::function<void(int)> handler) : m_handler(std::move(handler)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    g_received.store(0);
    g_writeFd.store(fds[1]);
    const int readFd = fds[0];
    // The watch thread ends when the write end is closed (read returns 0) or after the handler.
    m_thread = std::thread([this, readFd] {
        unsigned char byte = 0;
        int request = 0;
        // The steady clock when a kernel SIGCONT was last read; long ago at first.
        auto lastContinue = std::chrono::steady_clock::now() - std::chrono::hours(1);
        while (request == 0 && ReadByte(readFd, &byte, -1)) {
            if (byte == kKernelContinue) {
                lastContinue = std::chrono::steady_clock::now();
                continue;
            }
            if (byte == kKernelHangup) {
                if (OrphanedJobNotice(readFd, lastContinue)) continue;
                // A request after all: from now on a second signal ends the process at once.
                if (g_received.fetch_add(1) != 0) continue;
                byte = SIGHUP;
            }
            request = byte;
        }
        ::close(readFd);
        if (request != 0 && m_handler) m_handler(request);
    });
    // Whichever thread the kernel interrupts, the handler only writes to the pipe.
    struct sigaction sa {};
    sa.sa_sigaction = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_SIGINFO;
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &sa, &g_previous[i]);
    ::sigaction(SIGCONT, &sa, &g_previousContinue);
    m_bActive = true;
}

CTerminationWatch::~CTerminationWatch() {
    if (m_bActive) {
        for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
        ::sigaction(SIGCONT, &g_previousContinue, nullptr);
    }
    const int fd = g_writeFd.exchange(-1);
    if (fd >= 0) ::close(fd);
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace platform
