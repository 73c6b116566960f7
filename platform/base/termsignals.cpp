#include "platform/base/termsignals.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the signal handler has seen since the watch thread last looked, one bit each.
constexpr unsigned kTerminate = 1u << 0;      // SIGTERM
constexpr unsigned kInterrupt = 1u << 1;      // SIGINT
constexpr unsigned kHangupSent = 1u << 2;     // SIGHUP sent by a process
constexpr unsigned kKernelHangup = 1u << 3;   // SIGHUP sent by the kernel

// How long a kernel SIGHUP waits for the controlling terminal to go, and how often the watch
// looks meanwhile (it goes on reading the pipe between the looks).
constexpr auto kTerminalWait = std::chrono::milliseconds(2000);
constexpr int kTerminalLookMs = 10;

// The handler records a signal in g_pending first and then writes one byte into the pipe to
// wake the watch thread (a write to a pipe is one of the few things a signal handler may do).
// The byte carries nothing: the watch reads the bytes, then takes the bits, so every signal
// whose byte it read is in the bits it takes, and one that comes later writes a byte of its own.
// A full pipe (the watch already has bytes to read) loses nothing either.
std::atomic<unsigned> g_pending{0};
// SIGTERM and SIGINT received so far: the second one ends the process at once.
std::atomic<int> g_terminations{0};
std::atomic<int> g_writeFd{-1};
// Handlers between taking g_writeFd and their write: the descriptor is not closed under them.
std::atomic<int> g_writers{0};

// True when SIGHUP is ignored now (as nohup starts a program).
bool HangupIgnored() {
    struct sigaction now {};
    if (::sigaction(SIGHUP, nullptr, &now) != 0) return false;
    return (now.sa_flags & SA_SIGINFO) == 0 && now.sa_handler == SIG_IGN;
}

void Wake() {
    g_writers.fetch_add(1);
    const int fd = g_writeFd.load();
    const unsigned char byte = 1;
    if (fd >= 0) (void)!::write(fd, &byte, 1);
    g_writers.fetch_sub(1);
}

void OnSignal(int sig, siginfo_t* info, void*) {
    const int saved = errno;
    unsigned seen = 0;
    if (sig == SIGHUP) {
        seen = info != nullptr && info->si_code == SI_KERNEL ? kKernelHangup : kHangupSent;
    } else {
        if (g_terminations.fetch_add(1) != 0) {
            // Asked again: the default action, now (delivered when this handler returns).
            ::signal(sig, SIG_DFL);
            ::raise(sig);
            errno = saved;
            return;
        }
        seen = sig == SIGTERM ? kTerminate : kInterrupt;
    }
    g_pending.fetch_or(seen);
    Wake();
    errno = saved;
}

// True when a kernel SIGHUP is the terminal's hangup as far as can be told now: the process had
// a controlling terminal at the watch's start and has it no more. Without one at the start, no
// terminal can hang up on the process; when the terminal cannot be read, a hangup is assumed
// rather than left unanswered.
bool TerminalGone(int startTerminal) {
    if (startTerminal == 0) return false;
    if (startTerminal < 0) return true;
    return CTerminationWatch::ControllingTerminal() != startTerminal;
}

}  // namespace

int CTerminationWatch::ControllingTerminal() {
    const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[1024];
    ssize_t n = 0;
    do n = ::read(fd, text, sizeof text - 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0) return -1;
    text[n] = '\0';
    // "pid (name) state ppid pgrp session tty_nr ...": the name may hold any character.
    const char* close = std::strrchr(text, ')');
    int tty = 0;
    if (close == nullptr || std::sscanf(close + 1, " %*c %*d %*d %*d %d", &tty) != 1) return -1;
    return tty;
}

CTerminationWatch::CTerminationWatch(std::function<void(int)> handler) : m_handler(std::move(handler)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    // A signal handler never waits on the pipe.
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    g_pending.store(0);
    g_terminations.store(0);
    g_writeFd.store(fds[1]);
    try {
        m_thread = std::thread(&CTerminationWatch::Watch, this, fds[0], ControllingTerminal());
    } catch (const std::system_error&) {
        g_writeFd.store(-1);
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    // The handlers come last: the first signal they catch finds the pipe and its reader ready.
    // Whichever thread the kernel interrupts, the handler only records the signal and writes.
    struct sigaction sa {};
    sa.sa_sigaction = &OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_SIGINFO;
    for (int sig : kSignals) {
        if (sig == SIGHUP && HangupIgnored()) continue;
        ::sigaction(sig, &sa, nullptr);
    }
    m_bActive = true;
}

CTerminationWatch::~CTerminationWatch() {
    // The handlers stay: with no pipe they only count, and a repeated SIGTERM or SIGINT still
    // ends the process.
    const int fd = g_writeFd.exchange(-1);
    while (g_writers.load() != 0) std::this_thread::yield();
    if (fd >= 0) ::close(fd);
    if (m_thread.joinable()) m_thread.join();
}

// The watch thread: a loop over the pipe that ends when the write end is closed (the
// destructor). The read end stays open until then, so a handler never writes into a pipe
// without a reader.
void CTerminationWatch::Watch(int readFd, int startTerminal) {
    // The process may have been started with these signals blocked, and every thread inherits
    // that; this thread takes them, so a request is never left pending.
    sigset_t mine;
    sigemptyset(&mine);
    for (int sig : kSignals) sigaddset(&mine, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &mine, nullptr);

    bool requested = false;
    // A kernel SIGHUP while the terminal is still there: looked at again until lookUntil.
    bool awaitingTerminal = false;
    std::chrono::steady_clock::time_point lookUntil;
    for (;;) {
        pollfd p{readFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, awaitingTerminal ? kTerminalLookMs : -1);
        if (ready < 0 && errno != EINTR && errno != ENOMEM) break;
        if (ready > 0) {
            unsigned char bytes[64];
            const ssize_t n = ::read(readFd, bytes, sizeof bytes);
            if (n == 0) break;
        }
        const unsigned seen = g_pending.exchange(0);
        int request = (seen & kTerminate) ? SIGTERM : (seen & kInterrupt) ? SIGINT : (seen & kHangupSent) ? SIGHUP : 0;
        if ((seen & kKernelHangup) != 0 && !awaitingTerminal) {
            awaitingTerminal = true;
            lookUntil = std::chrono::steady_clock::now() + kTerminalWait;
        }
        if (awaitingTerminal) {
            if (TerminalGone(startTerminal)) {
                if (request == 0) request = SIGHUP;
                awaitingTerminal = false;
            } else if (startTerminal == 0 || std::chrono::steady_clock::now() >= lookUntil) {
                // The kernel's notice to a stopped job whose group lost its parent: go on.
                awaitingTerminal = false;
            }
        }
        if (request != 0 && !requested) {
            requested = true;
            if (m_handler) m_handler(request);
        }
        if (requested) awaitingTerminal = false;
    }
    ::close(readFd);
}

}  // namespace platform
