#include "platform/base/process.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// Whether a process of the group still runs. One that has ended and waits to be reaped (where
// nothing reaps orphans) runs no more: it cannot write anything.
bool GroupRuns(pid_t group) {
    if (::kill(-group, 0) != 0 && errno == ESRCH) return false;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return true;  // cannot tell: taken as running
    bool runs = false;
    while (const dirent* e = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(e->d_name[0]))) continue;
        const std::string path = std::string("/proc/") + e->d_name + "/stat";
        std::FILE* f = std::fopen(path.c_str(), "re");
        if (f == nullptr) continue;
        char line[1024];
        const bool read = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        if (!read) continue;
        // "pid (name) state ppid pgrp ...": the name may hold anything, so the fields are read
        // after its last ')'.
        const char* close = nullptr;
        for (const char* p = line; *p != '\0'; ++p) {
            if (*p == ')') close = p;
        }
        char state = 0;
        long ppid = 0;
        long pgrp = 0;
        if (close == nullptr || std::sscanf(close + 1, " %c %ld %ld", &state, &ppid, &pgrp) != 3) continue;
        if (pgrp == group && state != 'Z' && state != 'X' && state != 'x') {
            runs = true;
            break;
        }
    }
    ::closedir(proc);
    return runs;
}

// What the watcher tells the caller through its pipe, one note a write (a pipe passes writes
// that small whole).
struct Note {
    char kind;  // kProgram, kStartError, kExited or kKilled
    int value;  // the program's process id, an errno value, an exit code or a signal
};
constexpr char kProgram = 'P';
constexpr char kStartError = 'E';
constexpr char kExited = 'X';
constexpr char kKilled = 'K';

void Tell(int fd, char kind, int value) {
    const Note note{kind, value};
    while (::write(fd, &note, sizeof note) < 0 && errno == EINTR) {
    }
}

void SetSignals(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE}) ::sigaction(sig, &sa, nullptr);
    sa.sa_handler = SIG_DFL;
    ::sigaction(SIGCHLD, &sa, nullptr);
}

// Closes every descriptor from 3 up but keepA and keepB.
void CloseAllBut(int keepA, int keepB) {
    const unsigned a = static_cast<unsigned>(std::min(keepA, keepB));
    const unsigned b = static_cast<unsigned>(std::max(keepA, keepB));
    if (a > 3) ::close_range(3, a - 1, 0);
    if (b > a + 1) ::close_range(a + 1, b - 1, 0);
    ::close_range(b + 1, ~0U, 0);
}

// Reads the parent's id of process pid from /proc/<pid>/stat; -1 when it is gone. Made of plain
// system calls only (no allocation), for the watcher.
long ParentOf(const char* pid) {
    char path[64] = "/proc/";
    std::size_t n = 6;
    for (const char* p = pid; *p != '\0' && n < sizeof path - 6; ++p) path[n++] = *p;
    for (const char* p = "/stat"; *p != '\0'; ++p) path[n++] = *p;
    path[n] = '\0';
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char line[1024];
    const ssize_t got = ::read(fd, line, sizeof line - 1);
    ::close(fd);
    if (got <= 0) return -1;
    // "pid (name) state ppid ...": the name may hold anything, so the fields follow its last ')'.
    const char* close = nullptr;
    for (ssize_t i = 0; i < got; ++i) {
        if (line[i] == ')') close = line + i;
    }
    if (close == nullptr || close + 4 >= line + got) return -1;
    const char* p = close + 4;  // past ") S "
    long ppid = 0;
    for (; p < line + got && *p >= '0' && *p <= '9'; ++p) ppid = ppid * 10 + (*p - '0');
    return ppid;
}

// Sends SIGKILL to every child of the calling process, found in /proc; plain system calls only.
void KillChildren() {
    const long self = ::getpid();
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return;
    alignas(8) char buf[8192];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, proc, buf, sizeof buf);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            // struct linux_dirent64: inode (8 bytes), offset (8), record length (2), type (1), name.
            unsigned short length = 0;
            std::memcpy(&length, buf + at + 16, sizeof length);
            const char* name = buf + at + 19;
            at += length;
            if (*name < '0' || *name > '9') continue;
            if (ParentOf(name) != self) continue;
            long pid = 0;
            for (const char* p = name; *p >= '0' && *p <= '9'; ++p) pid = pid * 10 + (*p - '0');
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
    }
    ::close(proc);
}

// Ends every process the watcher has under it: its child, and every descendant of the program
// that lost its parent and so came to the watcher, the children's reaper, whatever process group
// or session it moved to. Each round kills the children there are and reaps one that ended;
// what an ending process leaves behind comes to the watcher before that process can be reaped,
// so the next round finds it. Returns when the watcher has no child left.
void EndEverythingInherited() {
    for (;;) {
        KillChildren();
        if (::waitpid(-1, nullptr, 0) < 0 && errno == ECHILD) return;
    }
}

// The watcher, a forked copy of the calling program: it starts the program as the leader of a
// new process group, tells the caller the program's id and how it ended, and ends the whole
// group once the caller closes its end of the lifeline, which also happens when the caller's
// process dies in any way (SIGKILL, the out-of-memory killer). It is the reaper of the program's
// descendants, so a process that left the group (a new session, a daemon's double fork) comes to
// it when its parent ends and ends with the rest. Only calls that are safe in a forked copy of a
// program with threads are made here.
[[noreturn]] void Watch(const char* program, char* const* argv, int lifeline, int notes) {
    SetSignals(SIG_IGN);  // it ends only with the caller, after the group
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t watcher = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        // The program also ends when the watcher does (it is single-threaded, so that is when
        // its one thread ends); a watcher already gone by then is seen through getppid().
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != watcher) ::_exit(127);
        SetSignals(SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(program, argv, environ);
        Tell(notes, kStartError, errno);
        ::_exit(127);
    }
    if (child < 0) {
        Tell(notes, kStartError, errno);
        ::_exit(0);
    }
    ::setpgid(child, child);  // the group exists before the caller learns of it
    Tell(notes, kProgram, child);
    CloseAllBut(lifeline, notes);
    bool told = false;
    for (;;) {
        pollfd p{lifeline, POLLIN, 0};
        if (::poll(&p, 1, told ? -1 : 10) > 0) {
            char c;
            if (::read(lifeline, &c, 1) <= 0) break;  // the caller's end is closed
        }
        // Looked at without reaping it: its id, and so the group's, stays taken until the end.
        siginfo_t info{};
        if (!told && ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == child) {
            Tell(notes, info.si_code == CLD_EXITED ? kExited : kKilled, info.si_status);
            told = true;
        }
    }
    ::kill(-child, SIGKILL);
    EndEverythingInherited();
    ::_exit(0);
}

}  // namespace

ProcessResult RunProcessAndWait(const std::string& program, const std::vector<std::string>& args,
                                const std::function<bool()>& cancel) {
    ProcessResult result;
    if (program.empty()) {
        result.startError = ENOENT;
        return result;
    }

    std::vector<std::string> argStore;
    argStore.reserve(args.size() + 1);
    argStore.push_back(program);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argStore.size() + 1);
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The program runs under a watcher process that ends the program's whole group when this
    // call returns or this process dies; the watcher tells how the program ended.
    int lifeline[2];
    int notes[2];
    if (::pipe2(lifeline, O_CLOEXEC) != 0) {
        result.startError = errno;
        return result;
    }
    if (::pipe2(notes, O_CLOEXEC) != 0) {
        result.startError = errno;
        ::close(lifeline[0]);
        ::close(lifeline[1]);
        return result;
    }
    const pid_t watcher = ::fork();
    if (watcher == 0) {
        ::close(lifeline[1]);
        ::close(notes[0]);
        Watch(program.c_str(), argv.data(), lifeline[0], notes[1]);
    }
    ::close(lifeline[0]);
    ::close(notes[1]);
    if (watcher < 0) {
        result.startError = errno;
        ::close(lifeline[1]);
        ::close(notes[0]);
        return result;
    }

    // Notes of the watcher until the program has ended (or the watcher is gone).
    pid_t pid = 0;
    bool ended = false;
    const auto readNote = [&](int timeoutMs) {
        pollfd p{notes[0], POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return;
        Note note{};
        const ssize_t n = ::read(notes[0], &note, sizeof note);
        if (n != static_cast<ssize_t>(sizeof note)) {
            ended = !(n < 0 && errno == EINTR);  // the watcher is gone
            return;
        }
        if (note.kind == kProgram) {
            pid = note.value;
        } else if (note.kind == kStartError) {
            result.startError = note.value;
        } else {
            ended = true;
            result.exited = note.kind == kExited;
            if (result.exited) {
                result.exitCode = note.value;
            } else {
                result.signal = note.value;
            }
        }
    };
    if (cancel) {
        // Polled, so that a cancel can end the program. Once cancelled, the whole group gets
        // SIGTERM, and SIGKILL a second later while any of it still runs; the call returns when
        // the program has ended and nothing of its group runs any more.
        using Clock = std::chrono::steady_clock;
        auto cancelledAt = Clock::time_point::max();
        bool killed = false;
        for (;;) {
            if (!ended) readNote(20);
            const bool cancelled = cancelledAt != Clock::time_point::max();
            if (ended && (!cancelled || pid == 0 || !GroupRuns(pid))) break;
            if (!cancelled && pid != 0 && cancel()) {
                cancelledAt = Clock::now();
                ::kill(-pid, SIGTERM);
            } else if (cancelled && !killed && Clock::now() - cancelledAt > std::chrono::seconds(1)) {
                killed = true;
                ::kill(-pid, SIGKILL);
            } else if (killed && ended && Clock::now() - cancelledAt > std::chrono::seconds(3)) {
                break;  // what SIGKILL has not ended yet (a process stuck in the kernel) is left
            }
            if (ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } else {
        while (!ended) readNote(-1);
    }
    // The watcher ends what is left of the group and then itself.
    ::close(lifeline[1]);
    ::close(notes[0]);
    while (::waitpid(watcher, nullptr, 0) < 0 && errno == EINTR) {
    }
    // Started means that the program ran: a start error arrives before its end.
    result.started = pid != 0 && result.startError == 0;
    if (!result.started) {
        result.exited = false;
        result.exitCode = -1;
        result.signal = 0;
        if (result.startError == 0) result.startError = ECHILD;
    }
    return result;
}

}  // namespace platform
