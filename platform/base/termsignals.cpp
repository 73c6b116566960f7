#include "platform/base/termsignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSignalCount = 3;

// The write end of the pipe that carries a signal number from the handler to the watch thread
// (a write to a pipe is one of the few things a signal handler may do).
std::atomic<int> g_writeFd{-1};
std::atomic<int> g_received{0};
struct sigaction g_previous[kSignalCount];

void OnSignal(int sig) {
    const int saved = errno;
    if (g_received.fetch_add(1) == 0) {
        const unsigned char byte = static_cast<unsigned char>(sig);
        const int fd = g_writeFd.load();
        if (fd >= 0) (void)!::write(fd, &byte, 1);
    } else {
        // Asked again while the first request is being handled: the default action, now.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
    errno = saved;
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
        ssize_t n;
        do {
            n = ::read(readFd, &byte, 1);
        } while (n < 0 && errno == EINTR);
        ::close(readFd);
        if (n == 1 && m_handler) m_handler(byte);
    });
    // Whichever thread the kernel interrupts, the handler only writes to the pipe.
    struct sigaction sa {};
    sa.sa_handler = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &sa, &g_previous[i]);
    m_bActive = true;
}

CTerminationWatch::~CTerminationWatch() {
    if (m_bActive) {
        for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    const int fd = g_writeFd.exchange(-1);
    if (fd >= 0) ::close(fd);
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace platform
