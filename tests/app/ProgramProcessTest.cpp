// The built program as a user starts it: without a display it explains itself instead of
// crashing, an instance that was killed never blocks the next start, and a termination signal or
// the closing of the terminal it runs in closes it as a close request does.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/RiffBytes.h"
#include "support/TempFolder.h"
#include "support/ElfWordSize.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// build/sorvel, beside the test data folder that CTest names.
fs::path ProgramPath() {
    const char* data = std::getenv("SORVEL_TEST_DATA");
    return data ? fs::path(data).parent_path() / "sorvel" : fs::path();
}

// The environment of this process with some names removed and some set.
std::vector<std::string> Environment(const std::vector<std::string>& drop,
                                     const std::vector<std::string>& set) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool dropped = false;
        for (const auto& d : drop) dropped = dropped || d == name;
        for (const auto& s : set) dropped = dropped || s.substr(0, s.find('=')) == name;
        if (!dropped) env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    return env;
}

// Starts program with env; its standard error goes to errFile. With blockTermination, the
// program starts with SIGTERM, SIGINT and SIGHUP blocked, as a parent may leave them.
pid_t Spawn(const fs::path& program, std::vector<std::string> env, const std::string& errFile,
            bool blockTermination = false) {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The termination signals at their default actions, whatever this test was started with
    // (under nohup, a hangup is ignored and would stay so).
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGDEF;
    if (blockTermination) {
        posix_spawnattr_setsigmask(&attr, &defaults);
        flags |= POSIX_SPAWN_SETSIGMASK;
    }
    posix_spawnattr_setflags(&attr, flags);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, &attr, argv, envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return pid;
}

using riffbytes::ReadFile;

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// Sends sig and waits up to 20 s for the process to end (then kills it); true when it ended.
bool SignalAndWait(pid_t pid, int sig, int* status) {
    ::kill(pid, sig);
    const bool ended = WaitFor([&] { return ::waitpid(pid, status, WNOHANG) == pid; }, 20000);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return ended;
}

// While it lives, a process below this test that loses its parent (a program whose shell
// ended) becomes this test's child, so the test can wait for it and see how it ended.
struct AdoptOrphans {
    AdoptOrphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~AdoptOrphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    AdoptOrphans(const AdoptOrphans&) = delete;
    AdoptOrphans& operator=(const AdoptOrphans&) = delete;
};

// A running process whose executable is `program`, or -1.
pid_t RunningProcessOf(const fs::path& program) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (fs::read_symlink(entry.path() / "exe", ec) == program) return static_cast<pid_t>(std::stoi(name));
    }
    return -1;
}

// Whether the process ignores sig (its disposition, as /proc shows it).
bool Ignores(pid_t pid, int sig) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigIgn:", 0) == 0) return ((std::strtoull(line.c_str() + 7, nullptr, 16) >> (sig - 1)) & 1u) != 0;
    }
    return false;
}

bool EndsWithStartupEnd(const std::string& trace) {
    return trace.size() >= 6 && trace.compare(trace.size() - 6, 6, "0-END\n") == 0;
}

class ProgramProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        program = ProgramPath();
        if (program.empty() || !fs::exists(program)) GTEST_SKIP() << "the program is not built: " << program;
    }
    // A copy of the program in the test's folder, so its settings and trace files are the test's.
    fs::path CopyProgram() {
        const fs::path copy = folder.File("sorvel");
        fs::copy_file(program, copy);
        return copy;
    }
    // The environment of a copy started without a screen, on virtual devices in the test's folder.
    std::vector<std::string> OffscreenOnVirtualDevices() {
        return Environment({}, {"QT_QPA_PLATFORM=offscreen", "SORVEL_VIRTUAL_OUT=" + folder.File("out.wav"),
                                "SORVEL_VIRTUAL_IN=" + folder.File("none.wav")});
    }

    // A program that ended by itself, with status 0, after the close operation: its trace shows
    // the close and the end, and it wrote its settings file whole.
    static void ExpectEndedLikeACloseRequest(int status, const std::string& trace, const std::string& settings) {
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::string text = ReadFile(trace);
        EXPECT_NE(text.find("98-OnClose\n"), std::string::npos) << text;
        EXPECT_NE(text.find("98-END\n"), std::string::npos) << text;
        const std::string ini = ReadFile(settings);
        EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 27) << ini;
    }

    // A copy of the program started in a new terminal (a pseudo-terminal whose master end the
    // test holds): argv runs there, in the test's folder, and `typed` is typed into it. What the
    // terminal shows is read away, so no writer waits on a full terminal. Whatever is left
    // running is killed when this goes.
    struct Terminal {
        pid_t shell = -1;
        int master = -1;
        pid_t program = -1;
        fs::path copy;
        ~Terminal() {
            if (program > 0) {
                ::kill(program, SIGKILL);
                WaitFor([&] { return ::waitpid(program, nullptr, WNOHANG) == program || RunningProcessOf(copy) < 0; }, 20000);
            }
            if (shell > 0) {
                ::kill(shell, SIGKILL);
                ::waitpid(shell, nullptr, 0);
            }
            if (master >= 0) ::close(master);
        }
        void Drain() {
            char bytes[4096];
            while (master >= 0 && ::read(master, bytes, sizeof bytes) > 0) {
            }
        }
        void HangUp() {
            ::close(master);
            master = -1;
        }
        // The program has ended, with status, within 20 s.
        bool Ended(int* status) {
            const bool ended = WaitFor([&] { return ::waitpid(program, status, WNOHANG) == program; }, 20000);
            if (ended && program == shell) shell = -1;
            if (ended) program = -1;
            return ended;
        }
    };
    // Starts the terminal and waits until the program in it has got through its start-up;
    // false when it has not. The trace is emptied first and the settings file removed.
    bool StartInTerminal(Terminal* t, const fs::path& copy, std::vector<std::string> args, const std::string& typed) {
        const std::string trace = folder.File("debug.txt");
        std::ofstream(trace, std::ios::trunc).flush();
        fs::remove(folder.File("sorvel.ini"));
        auto env = OffscreenOnVirtualDevices();
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        t->copy = copy;
        t->shell = ::forkpty(&t->master, nullptr, nullptr, nullptr);
        if (t->shell < 0) return false;
        if (t->shell == 0) {
            ::signal(SIGHUP, SIG_DFL);
            if (::chdir(folder.Path().c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::fcntl(t->master, F_SETFL, O_NONBLOCK);
        if (!typed.empty()) (void)!::write(t->master, typed.data(), typed.size());
        pid_t pid = -1;
        const bool up = WaitFor([&] {
            t->Drain();
            pid = RunningProcessOf(copy);
            return pid > 0 && EndsWithStartupEnd(ReadFile(trace));
        }, 20000);
        if (pid > 0) t->program = pid;
        return up;
    }

    fs::path program;
    TempFolder folder;
};

TEST_F(ProgramProcessTest, WithoutADisplayItSaysItNeedsOneAndHowToUseXvfb) {
    const std::string err = folder.File("stderr.txt");
    const pid_t pid = Spawn(program, Environment({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, {}), err);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string text = ReadFile(err);
    EXPECT_NE(text.find("graphical desktop session"), std::string::npos) << text;
    // The virtual display is the way named first.
    const auto xvfb = text.find("xvfb-run");
    EXPECT_NE(xvfb, std::string::npos) << text;
    EXPECT_LT(xvfb, text.find("offscreen")) << text;
}

TEST_F(ProgramProcessTest, KilledInstanceDoesNotBlockTheNextStart) {
    const fs::path copy = CopyProgram();
    fs::create_directory(folder.File("runtime"));
    ::chmod(folder.File("runtime").c_str(), 0700);
    const std::string trace = folder.File("debug.txt");
    std::ofstream(trace).flush();
    const auto env = Environment({}, {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + folder.File("runtime")});

    const pid_t first = Spawn(copy, env, folder.File("first.txt"));
    ASSERT_GT(first, 0);
    const bool firstUp = WaitFor([&] { return EndsWithStartupEnd(ReadFile(trace)); }, 20000);
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    ASSERT_TRUE(firstUp) << ReadFile(folder.File("first.txt"));

    // The next start rewrites the trace with its report and gets through its start-up.
    std::ofstream(trace, std::ios::trunc).flush();
    const pid_t next = Spawn(copy, env, folder.File("next.txt"));
    ASSERT_GT(next, 0);
    const bool nextUp = WaitFor([&] { return EndsWithStartupEnd(ReadFile(trace)); }, 20000);
    int status = 0;
    const bool stillRunning = ::waitpid(next, &status, WNOHANG) == 0;
    ::kill(next, SIGKILL);
    ::waitpid(next, nullptr, 0);
    EXPECT_TRUE(nextUp) << ReadFile(folder.File("next.txt"));
    EXPECT_TRUE(stillRunning);
    // The report states the word size the executable itself has.
    const int bits = elfword::BitsOf(copy.string());
    ASSERT_NE(bits, 0);
    EXPECT_EQ(ReadFile(trace).rfind("sorvel(" + std::to_string(bits) + "bit) 2.87\n", 0), 0u);
}

TEST_F(ProgramProcessTest, SoundLibrariesPrintNothingOnStandardError) {
    // Without a sound card, ALSA and JACK once printed a hundred lines at every start: from the
    // sound devices, and from the General MIDI synthesizer's audio drivers, which start-up opens
    // for the stored instrument (also when the sound devices are virtual).
    const fs::path copy = CopyProgram();
    const std::string trace = folder.File("debug.txt");
    const std::vector<std::string> realDevices;
    const std::vector<std::string> virtualDevices = {"SORVEL_VIRTUAL_OUT=" + folder.File("out.wav"),
                                                     "SORVEL_VIRTUAL_IN=" + folder.File("none.wav")};
    for (const auto* devices : {&realDevices, &virtualDevices}) {
        SCOPED_TRACE(devices->empty() ? "real devices" : "virtual devices");
        std::ofstream(trace, std::ios::trunc).flush();
        std::vector<std::string> set = {"QT_QPA_PLATFORM=offscreen"};
        set.insert(set.end(), devices->begin(), devices->end());
        const auto env =
            Environment({"SORVEL_VIRTUAL_IN", "SORVEL_VIRTUAL_OUT", "SORVEL_VIRTUAL_MIDI", "JACK_NO_START_SERVER"}, set);
        const pid_t pid = Spawn(copy, env, folder.File("err.txt"));
        ASSERT_GT(pid, 0);
        // The synthesizer is opened after the trace's "0-02"; where it cannot reach a sound
        // device, start-up then waits in its message box, so the end of start-up may not come.
        const bool opening = WaitFor([&] { return ReadFile(trace).find("0-02\n") != std::string::npos; }, 20000);
        WaitFor([&] { return EndsWithStartupEnd(ReadFile(trace)); }, 3000);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ASSERT_TRUE(opening);
        const std::string err = ReadFile(folder.File("err.txt"));
        EXPECT_EQ(err.find("ALSA"), std::string::npos) << err;
        EXPECT_EQ(err.find("ack"), std::string::npos) << err;  // jack, Jack, JACK
    }
}

TEST_F(ProgramProcessTest, TerminationSignalsCloseTheProgramLikeACloseRequest) {
    // A logout (SIGTERM), Ctrl+C (SIGINT) or a closed terminal (SIGHUP) runs the close operation:
    // the settings file is written whole and the program ends normally. So it does when the
    // program was started with those signals blocked.
    const fs::path copy = CopyProgram();
    const std::string trace = folder.File("debug.txt");
    const std::string settings = folder.File("sorvel.ini");
    const auto env = OffscreenOnVirtualDevices();
    for (const bool blocked : {false, true}) {
        for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE("signal " + std::to_string(sig) + (blocked ? ", started blocked" : ""));
            std::ofstream(trace, std::ios::trunc).flush();
            fs::remove(settings);
            const pid_t pid = Spawn(copy, env, folder.File("err.txt"), blocked);
            ASSERT_GT(pid, 0);
            const bool up = WaitFor([&] { return EndsWithStartupEnd(ReadFile(trace)); }, 20000);
            int status = 0;
            const bool ended = SignalAndWait(pid, sig, &status);
            ASSERT_TRUE(up) << ReadFile(folder.File("err.txt"));
            ASSERT_TRUE(ended) << "still running after the signal";
            ExpectEndedLikeACloseRequest(status, trace, settings);
            const char* name = sig == SIGTERM ? "SIGTERM" : sig == SIGINT ? "SIGINT" : "SIGHUP";
            EXPECT_NE(ReadFile(trace).find(std::string("close requested by ") + name + "\n"), std::string::npos);
        }
    }
}

TEST_F(ProgramProcessTest, HangupsUpToItsVeryEndNeverKillIt) {
    // A terminal's hangup may reach the program again and again while it closes (from the shell
    // that passes it on, from the kernel): whenever one comes, up to the end of the process, the
    // close goes on and the program ends normally. Here hangups come every millisecond from the
    // first until the process has ended.
    const fs::path copy = CopyProgram();
    const std::string trace = folder.File("debug.txt");
    const std::string settings = folder.File("sorvel.ini");
    const auto env = OffscreenOnVirtualDevices();
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::ofstream(trace, std::ios::trunc).flush();
        fs::remove(settings);
        const pid_t pid = Spawn(copy, env, folder.File("err.txt"));
        ASSERT_GT(pid, 0);
        const bool up = WaitFor([&] { return EndsWithStartupEnd(ReadFile(trace)); }, 20000);
        int status = 0;
        bool ended = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (up && !(ended = ::waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < end) {
            ::kill(pid, SIGHUP);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ASSERT_TRUE(up) << ReadFile(folder.File("err.txt"));
        ASSERT_TRUE(ended) << "still running after the hangups";
        ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << "a hangup killed the program";
        ExpectEndedLikeACloseRequest(status, trace, settings);
        EXPECT_NE(ReadFile(trace).find("99-END\n"), std::string::npos);
    }
}

TEST_F(ProgramProcessTest, TerminationDuringAStartUpMessageBoxEndsTheProgramAtOnce) {
    // The settings name a recording device that is gone: start-up tells so in a message box and
    // waits there. A termination signal then dismisses the box and closes the program as a
    // close request does, within 2 s, instead of leaving it alive until someone clicks OK.
    const fs::path copy = CopyProgram();
    const std::string trace = folder.File("debug.txt");
    const std::string settings = folder.File("sorvel.ini");
    const auto env = OffscreenOnVirtualDevices();
    // A first run writes a whole settings file.
    std::ofstream(trace).flush();
    pid_t pid = Spawn(copy, env, folder.File("err.txt"));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor([&] { return EndsWithStartupEnd(ReadFile(trace)); }, 20000)) << ReadFile(folder.File("err.txt"));
    int status = 0;
    ASSERT_TRUE(SignalAndWait(pid, SIGTERM, &status));
    std::vector<std::string> lines;
    {
        std::ifstream in(settings);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 27u);
    lines[24] = "a microphone that is gone";
    {
        std::ofstream out(settings, std::ios::trunc);
        for (const auto& line : lines) out << line << "\n";
    }

    std::ofstream(trace, std::ios::trunc).flush();
    pid = Spawn(copy, env, folder.File("err.txt"));
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // Start-up waits in its box: it has not got to its end.
    ASSERT_EQ(::waitpid(pid, &status, WNOHANG), 0);
    ASSERT_FALSE(EndsWithStartupEnd(ReadFile(trace)));
    const auto signalled = std::chrono::steady_clock::now();
    ::kill(pid, SIGTERM);
    const bool ended = WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 2000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ASSERT_TRUE(ended) << "still running 2 s after the signal";
    EXPECT_LT(seconds, 2.0);
    ExpectEndedLikeACloseRequest(status, trace, settings);
}

TEST_F(ProgramProcessTest, AClosedTerminalClosesTheProgramLikeACloseRequest) {
    // The program runs in a terminal: leading the terminal's session itself, under a shell that
    // waits for it, or as the job of an interactive shell. The terminal closes, or the shell
    // leading its session is killed and a logout's SIGTERM comes right behind the hangup the
    // kernel sends then.
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        std::string typed;  // typed into the terminal once the shell runs
        bool killShellThenTerminate;
    };
    const std::vector<Case> cases = {
        {"the program leads the session", {"./sorvel"}, "", false},
        {"sh -c", {"/bin/sh", "-c", "./sorvel; true"}, "", false},
        {"interactive bash", {"/bin/bash", "--norc", "--noprofile", "-i"}, "./sorvel\n", false},
        {"the shell killed, then SIGTERM", {"/bin/sh", "-c", "./sorvel; true"}, "", true},
    };
    const fs::path copy = CopyProgram();
    AdoptOrphans adopt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Terminal t;
        const bool up = StartInTerminal(&t, copy, c.argv, c.typed);
        ASSERT_TRUE(up) << ReadFile(folder.File("debug.txt"));
        if (c.killShellThenTerminate) {
            ::kill(t.shell, SIGKILL);
            ::waitpid(t.shell, nullptr, 0);
            t.shell = -1;
            ::kill(t.program, SIGTERM);
        } else {
            t.HangUp();
        }
        int status = 0;
        ASSERT_TRUE(t.Ended(&status)) << "still running after the terminal closed";
        ExpectEndedLikeACloseRequest(status, folder.File("debug.txt"), folder.File("sorvel.ini"));
    }
}

TEST_F(ProgramProcessTest, UnderNohupAClosedTerminalLeavesItRunningAndTerminationStillClosesIt) {
    // Started by nohup from an interactive shell, in the foreground or in the background: the
    // terminal closes, the shell passes the hangup on to its jobs and ends, and the program
    // goes on as asked. A SIGTERM or SIGINT still closes it the ordinary way.
    struct Case {
        const char* name;
        std::string typed;
        int closingSignal;
        const char* closingName;
    };
    const std::vector<Case> cases = {
        {"in the foreground", "nohup ./sorvel\n", SIGTERM, "SIGTERM"},
        {"in the background", "nohup ./sorvel &\n", SIGINT, "SIGINT"},
    };
    const fs::path copy = CopyProgram();
    AdoptOrphans adopt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Terminal t;
        const bool up = StartInTerminal(&t, copy, {"/bin/bash", "--norc", "--noprofile", "-i"}, c.typed);
        ASSERT_TRUE(up) << ReadFile(folder.File("debug.txt"));
        t.HangUp();
        // Once the shell has ended, every hangup of the terminal has been sent.
        ASSERT_EQ(::waitpid(t.shell, nullptr, 0), t.shell);
        t.shell = -1;
        EXPECT_TRUE(Ignores(t.program, SIGHUP)) << "the program took over the hangup that nohup ignores";
        int status = 0;
        EXPECT_EQ(::waitpid(t.program, &status, WNOHANG), 0) << "the program ended with its terminal";
        ::kill(t.program, c.closingSignal);
        ASSERT_TRUE(t.Ended(&status)) << "still running after the signal";
        ExpectEndedLikeACloseRequest(status, folder.File("debug.txt"), folder.File("sorvel.ini"));
        // The signal sent now closed it, not the hangup before it.
        const std::string trace = ReadFile(folder.File("debug.txt"));
        EXPECT_NE(trace.find(std::string("close requested by ") + c.closingName), std::string::npos) << trace;
        EXPECT_EQ(trace.find("close requested by SIGHUP"), std::string::npos) << trace;
    }
}

}  // namespace
