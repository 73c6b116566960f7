#include "platform/base/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

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

    pid_t pid = -1;
    if (const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ); rc != 0) {
        result.startError = rc;
        return result;
    }
    result.started = true;

    int status = 0;
    pid_t waited;
    if (cancel) {
        // Polled, so that a cancel can end the program; the signals go only to this child.
        auto cancelledAt = std::chrono::steady_clock::time_point::max();
        bool killed = false;
        for (;;) {
            waited = ::waitpid(pid, &status, WNOHANG);
            if (waited == pid || (waited < 0 && errno != EINTR)) break;
            if (cancelledAt == std::chrono::steady_clock::time_point::max() && cancel()) {
                cancelledAt = std::chrono::steady_clock::now();
                ::kill(pid, SIGTERM);
            } else if (!killed && std::chrono::steady_clock::now() - cancelledAt > std::chrono::seconds(1)) {
                killed = true;
                ::kill(pid, SIGKILL);
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
