#include "platform/base/process.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <dirent.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

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

    // The program leads a process group of its own, so that everything it starts can be ended
    // with it; it gets no blocked signal of the calling thread.
    posix_spawnattr_t attr;
    if (const int rc = ::posix_spawnattr_init(&attr); rc != 0) {
        result.startError = rc;
        return result;
    }
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setpgroup(&attr, 0);
    ::posix_spawnattr_setsigmask(&attr, &none);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    ::posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        result.startError = rc;
        return result;
    }
    result.started = true;

    int status = 0;
    pid_t waited = 0;
    if (cancel) {
        // Polled, so that a cancel can end the program. Once cancelled, the whole group gets
        // SIGTERM, and SIGKILL a second later while any of it still runs; the call returns when
        // the program has ended and nothing of its group runs any more.
        using Clock = std::chrono::steady_clock;
        auto cancelledAt = Clock::time_point::max();
        bool killed = false;
        bool ended = false;
        for (;;) {
            if (!ended) {
                waited = ::waitpid(pid, &status, WNOHANG);
                ended = waited == pid || (waited < 0 && errno != EINTR);
            }
            const bool cancelled = cancelledAt != Clock::time_point::max();
            if (ended && (!cancelled || !GroupRuns(pid))) break;
            if (!cancelled && cancel()) {
                cancelledAt = Clock::now();
                ::kill(-pid, SIGTERM);
            } else if (cancelled && !killed && Clock::now() - cancelledAt > std::chrono::seconds(1)) {
                killed = true;
                ::kill(-pid, SIGKILL);
            } else if (killed && ended && Clock::now() - cancelledAt > std::chrono::seconds(3)) {
                break;  // what SIGKILL has not ended yet (a process stuck in the kernel) is left
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } else {
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    if (waited != pid) return result;  // cannot learn how it ended (SIGCHLD ignored elsewhere)

    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace platform
