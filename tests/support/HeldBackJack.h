// Child processes whose libjack threads start late. The library of tests/support/jackhold is
// preloaded into them: every thread libjack creates (itself, or through a creator it was given)
// begins only after a hold, as on a machine too loaded to run it within libjack's wait of about a
// second. The library logs each held thread, and when it begins, with the object file of its
// start routine, which tells whether the thread went through the program's creator or straight
// from libjack.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/wave/waveapi.h"

extern char** environ;

namespace heldjack {

// How long the children's libjack threads are held back: well past libjack's wait.
inline constexpr const char* kHoldSeconds = "1.5";

// True when libjack is on this machine (it then stays loaded in this process).
inline bool LibjackInstalled() { return ::dlopen("libjack.so.0", RTLD_LAZY) != nullptr; }

// This process's environment with `set` (NAME=value entries) replacing what they name, for a
// child that must not touch the test runner's file that marks this program's own early end.
inline std::vector<std::string> Environment(const std::vector<std::string>& set) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = name == "TEST_PREMATURE_EXIT_FILE";
        for (const std::string& s : set) replaced = replaced || s.substr(0, s.find('=')) == name;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    return env;
}

// The environment for a child whose libjack threads are held back and logged into logPath, with
// `set` added. The child accepts the preloaded library ahead of an address sanitizer's runtime.
inline std::vector<std::string> HeldEnvironment(const std::string& logPath, const std::vector<std::string>& set) {
    std::string asan = "verify_asan_link_order=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old != nullptr && *old != '\0') asan = std::string(old) + ":" + asan;
    std::vector<std::string> add = {std::string("LD_PRELOAD=") + SORVEL_HOLD_JACK_LIBRARY, std::string("SORVEL_HOLD_JACK_SECONDS=") + kHoldSeconds,
                                    "SORVEL_HOLD_JACK_LOG=" + logPath, "ASAN_OPTIONS=" + asan};
    add.insert(add.end(), set.begin(), set.end());
    return Environment(add);
}

// Starts program with args and env; its standard output and error go to the two files.
inline pid_t Spawn(const std::string& program, const std::vector<std::string>& args, std::vector<std::string> env,
                   const std::string& outFile, const std::string& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits until done() holds or the limit passes (the limit only keeps a broken run from hanging
// the suite); true when done() held.
inline bool WaitFor(const std::function<bool()>& done, double limitSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Waits for the child to end; one that is still running after the limit is killed. True when it
// ended by itself, with *status set.
inline bool Await(pid_t pid, double limitSeconds, int* status) {
    if (WaitFor([&] { return ::waitpid(pid, status, WNOHANG) == pid; }, limitSeconds)) return true;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

// "exit status N" or "killed by signal N (name)".
inline std::string Describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    return "status " + std::to_string(status);
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The object files of the held threads' start routines: of every thread the library held back
// ("held"), or of those whose routine has begun ("began").
inline std::vector<std::string> LoggedRoutines(const std::string& logPath, const std::string& event = "held") {
    std::vector<std::string> objects;
    std::ifstream in(logPath);
    const std::string prefix = event + " ";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) objects.push_back(line.substr(prefix.size()));
    return objects;
}

// True when every thread held back so far has begun its routine.
inline bool AllHeldBegan(const std::string& logPath) {
    return LoggedRoutines(logPath, "began").size() >= LoggedRoutines(logPath, "held").size();
}

// In a child: waits until every thread held back so far has begun its routine, so that a thread
// that starts on memory libjack has freed meets it in this process's lifetime. False when the
// limit passed first.
inline bool AwaitHeldThreads(double limitSeconds = 60.0) {
    const char* log = std::getenv("SORVEL_HOLD_JACK_LOG");
    if (log == nullptr || *log == '\0') return true;
    return WaitFor([&] { return AllHeldBegan(log); }, limitSeconds);
}

// What the log tells against the program's thread creator: empty when libjack started threads
// and every one of them went through the creator; else what went wrong, a line each.
inline std::string CreatorProblems(const std::string& logPath) {
    const std::vector<std::string> held = LoggedRoutines(logPath);
    if (held.empty()) return "libjack started no thread: nothing was held back\n";
    std::string problems;
    for (const std::string& object : held)
        if (object.find("libjack") != std::string::npos) problems += "a thread went straight from libjack to its routine in " + object + "\n";
    return problems;
}

// The sound system's recording and playback devices, one "in NAME" or "out NAME" a line, as
// the device calls list them.
inline std::string DeviceListing() {
    std::string text;
    for (UINT id = 0, n = waveInGetNumDevs(); id < n; ++id) {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR) text += std::string("in ") + caps.szPname + "\n";
    }
    for (UINT id = 0, n = waveOutGetNumDevs(); id < n; ++id) {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR) text += std::string("out ") + caps.szPname + "\n";
    }
    return text;
}

}  // namespace heldjack
