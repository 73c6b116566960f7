// Which signals from outside ask the program to close: a terminal's hangup does however it
// arrives, a halted program whose launcher ended meanwhile goes on, a SIGHUP that someone sends
// still closes it, and only a repeated SIGTERM or SIGINT ends it at once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/base/termsignals.h"

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The state letter of a process or thread in /proc (R, S, T, Z, ...), or 0 when it is gone.
char StateIn(const std::string& statPath) {
    const std::string text = ReadText(statPath);
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() ? text[close + 2] : '\0';
}

char StateOf(pid_t pid) { return StateIn("/proc/" + std::to_string(pid) + "/stat"); }

bool Gone(pid_t pid) {
    const char state = StateOf(pid);
    return state == '\0' || state == 'Z' || state == 'X';
}

// True when every thread of the process has stopped: only then does the kernel count the job as
// stopped (a thread of the watch may still be on its way to the stop after the main one).
bool AllThreadsStopped(pid_t pid) {
    std::error_code ec;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        if (StateIn(task.path() / "stat") != 'T') return false;
        any = true;
    }
    return any;
}

// True while sig waits for delivery to the process (once taken, it was either handled or it
// ended the process).
bool Pending(pid_t pid, int sig) {
    std::istringstream status(ReadText("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0) {
            const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
            if ((mask >> (sig - 1)) & 1u) return true;
        }
    }
    return false;
}

template <typename Done>
bool WaitFor(Done done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A byte from fd within `seconds`, or -1.
int ReadWithin(int fd, double seconds) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(seconds * 1000)) != 1) return -1;
    unsigned char b = 0;
    return ::read(fd, &b, 1) == 1 ? b : -1;
}

// A signal reaches the process and is taken, and the process lives on after it.
::testing::AssertionResult TakenAndAlive(pid_t pid, int sig) {
    if (!WaitFor([&] { return !Pending(pid, sig) || Gone(pid); }, 20.0))
        return ::testing::AssertionFailure() << "signal " << sig << " was never taken";
    if (Gone(pid)) return ::testing::AssertionFailure() << "signal " << sig << " ended the process";
    return ::testing::AssertionSuccess();
}

// The thread sanitizer does not follow a thread started in a child forked without exec, which
// is what the watching program is here.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_THREAD_SANITIZER() GTEST_SKIP() << "the thread sanitizer does not support threads in a forked child"
#else
#define SKIP_UNDER_THREAD_SANITIZER() static_cast<void>(0)
#endif

// The pipes between this test and a forked program that watches for termination signals.
struct Pipes {
    int report[2] = {-1, -1};    // the program's handler writes the signal's number
    int launched[2] = {-1, -1};  // the program's id, told by whoever started it
    int watching[2] = {-1, -1};  // one byte once the program watches
    bool Open() { return ::pipe(report) == 0 && ::pipe(launched) == 0 && ::pipe(watching) == 0; }
};

// How the watching program sets itself up before it watches.
enum class Start {
    kPlain,
    // With the termination signals blocked, as a parent may leave them.
    kSignalsBlocked,
    // On one processor, where the thread that takes a signal runs at the lowest priority (as on
    // a busy single core): the watch thread that its handler wakes runs at once, before the
    // handler has gone on.
    kOneCore,
    // Its watch has ended already, as at the very end of the program.
    kWatchEnded,
};

// The program: watches (set up as `how` says), tells so, then waits for ever (with the watch, or
// after it with kWatchEnded).
[[noreturn]] void RunWatchingProgram(const Pipes& p, Start how = Start::kPlain) {
    if (how == Start::kSignalsBlocked) {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    }
    if (how == Start::kOneCore) {
        // The watch thread inherits the processor.
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
            for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
                if (!CPU_ISSET(cpu, &allowed)) continue;
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(cpu, &one);
                ::sched_setaffinity(0, sizeof one, &one);
                break;
            }
        }
    }
    {
        platform::CTerminationWatch watch([fd = p.report[1]](int sig) {
            const unsigned char b = static_cast<unsigned char>(sig);
            (void)!::write(fd, &b, 1);
        });
        // This thread alone (the one a signal to the process goes to) yields to every other.
        if (how == Start::kOneCore) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
        if (how != Start::kWatchEnded) {
            (void)!::write(p.watching[1], "w", 1);
            for (;;) ::pause();
        }
    }
    (void)!::write(p.watching[1], "w", 1);
    for (;;) ::pause();
}

void TellProgram(const Pipes& p, pid_t program) { (void)!::write(p.launched[1], &program, sizeof program); }

// A program started from this test one way or another: its starter (a launcher or a terminal's
// session leader), a launcher below a terminal's session leader and the program are killed when
// this goes, so a failed test leaves nothing running.
struct Started {
    pid_t starter = -1;
    pid_t launcher = -1;
    pid_t program = -1;
    int report = -1;
    int master = -1;  // the terminal's master end, when the program runs in a terminal
    ~Started() {
        if (program > 0) ::kill(program, SIGKILL);
        if (launcher > 0) ::kill(launcher, SIGKILL);
        if (starter > 0) {
            ::kill(starter, SIGKILL);
            ::waitpid(starter, nullptr, 0);
        }
        if (report >= 0) ::close(report);
        if (master >= 0) ::close(master);
    }
    // The starter has ended (killed or by itself) and is reaped.
    void StarterEnded() {
        ASSERT_EQ(::waitpid(starter, nullptr, 0), starter);
        starter = -1;
    }
    void HangUp() {
        ::close(master);
        master = -1;
    }
};

// After the fork that made s->starter: reads which program was started and that it watches.
void Receive(Started* s, Pipes& p) {
    ::close(p.report[1]);
    ::close(p.launched[1]);
    ::close(p.watching[1]);
    s->report = p.report[0];
    pid_t program = -1;
    char w = 0;
    const bool told = ::read(p.launched[0], &program, sizeof program) == static_cast<ssize_t>(sizeof program);
    const bool watches = ::read(p.watching[0], &w, 1) == 1;
    ::close(p.launched[0]);
    ::close(p.watching[0]);
    ASSERT_TRUE(told && program > 0) << "the program was not started";
    s->program = program;
    ASSERT_TRUE(watches) << "the program did not start watching";
}

// A number of a process's /proc stat after its state: 0 its parent, 3 its controlling terminal's
// device number (0: none); -1 when it cannot be read.
int StatNumber(pid_t pid, int index) {
    const std::string text = ReadText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 3 > text.size()) return -1;
    std::istringstream fields(text.substr(close + 3));
    int value = -1;
    for (int i = 0; i <= index; ++i) {
        if (!(fields >> value)) return -1;
    }
    return value;
}

// Where a launcher runs.
enum class Where {
    kNoTerminal,  // as this test runs (a test runner gives it no terminal, or its own)
    kInTerminal,  // in a new terminal's session, whose leader stays
};

// A launcher in a process group of its own starts the program and then waits. s->launcher is it,
// s->starter the process to reap: the launcher itself, or the terminal's session leader above it.
void Launch(Started* s, Where where = Where::kNoTerminal) {
    Pipes p;
    ASSERT_TRUE(p.Open());
    const auto launcher = [&p] {
        ::signal(SIGHUP, SIG_DFL);
        ::setpgid(0, 0);
        const pid_t program = ::fork();
        if (program == 0) RunWatchingProgram(p);
        TellProgram(p, program);
        for (;;) ::pause();
    };
    if (where == Where::kNoTerminal) {
        s->starter = ::fork();
        if (s->starter == 0) launcher();
    } else {
        s->starter = ::forkpty(&s->master, nullptr, nullptr, nullptr);
        if (s->starter == 0) {
            if (::fork() == 0) launcher();
            for (;;) ::pause();
        }
    }
    ASSERT_GE(s->starter, 0);
    ASSERT_NO_FATAL_FAILURE(Receive(s, p));
    s->launcher = where == Where::kNoTerminal ? s->starter : StatNumber(s->program, 0);
    ASSERT_GT(s->launcher, 0);
    if (where == Where::kInTerminal) {
        ASSERT_NE(StatNumber(s->program, 3), 0) << "the program has no terminal";
    }
}

// How the program runs in a terminal.
enum class Session {
    kProgramLeads,     // it is the terminal's session leader itself
    kUnderShell,       // a shell without job control leads the session and waits for it (sh -c)
    kUnderJobControl,  // an interactive shell runs it as the foreground job and, when the
                       // terminal hangs up, passes the hangup on to its jobs before it ends
};

const char* Name(Session how) {
    switch (how) {
        case Session::kProgramLeads: return "the program leads the session";
        case Session::kUnderShell: return "under a shell";
        case Session::kUnderJobControl: return "as a job of an interactive shell";
    }
    return "";
}

pid_t g_job = -1;  // the interactive shell's job (in the shell's process only)

void PassHangupOnAndEnd(int) {
    ::kill(-g_job, SIGHUP);
    ::_exit(0);
}

// A new pseudo-terminal whose session runs the program as `how` says.
void StartInTerminal(Started* s, Session how) {
    Pipes p;
    ASSERT_TRUE(p.Open());
    s->starter = ::forkpty(&s->master, nullptr, nullptr, nullptr);
    ASSERT_GE(s->starter, 0);
    if (s->starter == 0) {
        ::signal(SIGHUP, SIG_DFL);
        if (how == Session::kProgramLeads) {
            TellProgram(p, ::getpid());
            RunWatchingProgram(p);
        }
        const pid_t program = ::fork();
        if (program == 0) {
            if (how == Session::kUnderJobControl) ::setpgid(0, 0);
            RunWatchingProgram(p);
        }
        if (how == Session::kUnderJobControl) {
            ::setpgid(program, program);
            ::tcsetpgrp(STDIN_FILENO, program);
            g_job = program;
            ::signal(SIGHUP, &PassHangupOnAndEnd);
        }
        TellProgram(p, program);
        for (;;) ::pause();
    }
    Receive(s, p);
}

TEST(TerminationWatch, AHaltedProgramWhoseLauncherEndsGoesOnAndAHangupSentToItStillClosesIt) {
    SKIP_UNDER_THREAD_SANITIZER();
    for (const Where where : {Where::kNoTerminal, Where::kInTerminal}) {
        SCOPED_TRACE(where == Where::kInTerminal ? "in a terminal" : "without a terminal of its own");
        Started s;
        ASSERT_NO_FATAL_FAILURE(Launch(&s, where));
        // The program halts, as a user halts a program to look at it; then the launcher ends, so
        // the kernel sends the halted job SIGHUP and SIGCONT. A terminal stays as it was.
        ASSERT_EQ(::kill(s.program, SIGSTOP), 0);
        ASSERT_TRUE(WaitFor([&] { return AllThreadsStopped(s.program); }, 20.0));
        ASSERT_EQ(::kill(s.launcher, SIGKILL), 0);
        if (where == Where::kNoTerminal) {
            ASSERT_NO_FATAL_FAILURE(s.StarterEnded());
        }
        s.launcher = -1;
        ASSERT_TRUE(WaitFor([&] { return StateOf(s.program) != 'T'; }, 20.0)) << "the kernel did not continue the orphaned job";
        // In a terminal, long enough for it to have gone had the hangup been the terminal's.
        EXPECT_EQ(ReadWithin(s.report, where == Where::kInTerminal ? 3.0 : 1.0), -1)
            << "the program took the kernel's notice for a request to close";
        // A hangup that someone sends is a request.
        ASSERT_EQ(::kill(s.program, SIGHUP), 0);
        EXPECT_EQ(ReadWithin(s.report, 20.0), SIGHUP);
    }
}

TEST(TerminationWatch, TerminationWhileHaltedIsARequestOnceTheProgramGoesOn) {
    SKIP_UNDER_THREAD_SANITIZER();
    Started s;
    ASSERT_NO_FATAL_FAILURE(Launch(&s));
    ASSERT_EQ(::kill(s.program, SIGSTOP), 0);
    ASSERT_EQ(::kill(s.program, SIGTERM), 0);
    ASSERT_EQ(::kill(s.program, SIGCONT), 0);
    EXPECT_EQ(ReadWithin(s.report, 20.0), SIGTERM);
}

TEST(TerminationWatch, AClosedTerminalIsOneRequestHoweverItsHangupArrives) {
    SKIP_UNDER_THREAD_SANITIZER();
    for (const Session how : {Session::kProgramLeads, Session::kUnderShell, Session::kUnderJobControl}) {
        SCOPED_TRACE(Name(how));
        Started s;
        ASSERT_NO_FATAL_FAILURE(StartInTerminal(&s, how));
        s.HangUp();
        EXPECT_EQ(ReadWithin(s.report, 20.0), SIGHUP) << "the hangup was not taken for a request";
        if (how != Session::kProgramLeads) {
            // The shell has ended, and the kernel has sent the program its own SIGHUP: the
            // second hangup of the same close, not a user insisting.
            ASSERT_NO_FATAL_FAILURE(s.StarterEnded());
            EXPECT_TRUE(TakenAndAlive(s.program, SIGHUP));
        }
        EXPECT_EQ(ReadWithin(s.report, 0.5), -1) << "one hangup, one request";
    }
}

TEST(TerminationWatch, ATerminationRightBehindTheKernelsHangupIsNotLost) {
    // The shell that leads the terminal's session ends while the terminal stays: the kernel sends
    // the program a SIGHUP alone, before it clears the session's terminal. A logout's SIGTERM
    // comes right behind it.
    SKIP_UNDER_THREAD_SANITIZER();
    Started s;
    ASSERT_NO_FATAL_FAILURE(StartInTerminal(&s, Session::kUnderShell));
    ASSERT_EQ(::kill(s.starter, SIGKILL), 0);
    ASSERT_NO_FATAL_FAILURE(s.StarterEnded());
    ASSERT_EQ(::kill(s.program, SIGTERM), 0);
    const int request = ReadWithin(s.report, 20.0);
    EXPECT_TRUE(request == SIGHUP || request == SIGTERM) << request;
    // Neither signal is a user insisting: the close goes on.
    EXPECT_TRUE(TakenAndAlive(s.program, SIGTERM));
    EXPECT_EQ(ReadWithin(s.report, 0.5), -1) << "two signals of one close, one request";
}

TEST(TerminationWatch, OnlyARepeatedTerminationOrInterruptEndsTheProcessAtOnce) {
    // So it is while the program watches, and after its watch has ended, up to the process's end.
    SKIP_UNDER_THREAD_SANITIZER();
    for (const Start how : {Start::kPlain, Start::kWatchEnded}) {
        for (const int repeated : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(std::string(how == Start::kPlain ? "watching" : "after the watch") + ", repeated signal " +
                         std::to_string(repeated));
            const bool watching = how == Start::kPlain;
            Pipes p;
            ASSERT_TRUE(p.Open());
            Started s;
            s.starter = ::fork();
            if (s.starter == 0) {
                ::signal(SIGHUP, SIG_DFL);
                TellProgram(p, ::getpid());
                RunWatchingProgram(p, how);
            }
            ASSERT_NO_FATAL_FAILURE(Receive(&s, p));
            s.program = -1;  // the starter itself
            ASSERT_EQ(::kill(s.starter, SIGHUP), 0);
            if (watching) {
                EXPECT_EQ(ReadWithin(s.report, 20.0), SIGHUP);
            }
            EXPECT_TRUE(TakenAndAlive(s.starter, SIGHUP));
            ASSERT_EQ(::kill(s.starter, SIGHUP), 0);
            EXPECT_TRUE(TakenAndAlive(s.starter, SIGHUP));
            ASSERT_EQ(::kill(s.starter, repeated), 0);
            EXPECT_TRUE(TakenAndAlive(s.starter, repeated));
            ASSERT_EQ(::kill(s.starter, repeated), 0);
            EXPECT_TRUE(WaitFor([&] { return Gone(s.starter); }, 20.0)) << "the second request did not end the process";
            EXPECT_EQ(ReadWithin(s.report, 0.0), -1) << "only the first signal is a request";
        }
    }
}

TEST(TerminationWatch, NoRequestIsLostWhenTheWatchRunsBeforeTheSignalHandlerHasEnded) {
    // On one busy processor the watch thread, woken by the handler, may run before the handler
    // has gone on: what it takes then must already hold the signal. Each program gets one request.
    SKIP_UNDER_THREAD_SANITIZER();
    for (int run = 0; run < 100; ++run) {
        const int sig = run % 2 == 0 ? SIGTERM : SIGHUP;
        SCOPED_TRACE("run " + std::to_string(run) + ", signal " + std::to_string(sig));
        Pipes p;
        ASSERT_TRUE(p.Open());
        Started s;
        s.starter = ::fork();
        if (s.starter == 0) {
            ::signal(SIGHUP, SIG_DFL);
            TellProgram(p, ::getpid());
            RunWatchingProgram(p, Start::kOneCore);
        }
        ASSERT_NO_FATAL_FAILURE(Receive(&s, p));
        s.program = -1;  // the starter itself
        ASSERT_EQ(::kill(s.starter, sig), 0);
        ASSERT_EQ(ReadWithin(s.report, 20.0), sig) << "the request was lost";
    }
}

TEST(TerminationWatch, AProgramStartedWithTheSignalsBlockedStillTakesThem) {
    SKIP_UNDER_THREAD_SANITIZER();
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE("signal " + std::to_string(sig));
        Pipes p;
        ASSERT_TRUE(p.Open());
        Started s;
        s.starter = ::fork();
        if (s.starter == 0) {
            ::signal(SIGHUP, SIG_DFL);
            TellProgram(p, ::getpid());
            RunWatchingProgram(p, Start::kSignalsBlocked);
        }
        ASSERT_NO_FATAL_FAILURE(Receive(&s, p));
        s.program = -1;  // the starter itself
        ASSERT_EQ(::kill(s.starter, sig), 0);
        EXPECT_EQ(ReadWithin(s.report, 20.0), sig);
    }
}

}  // namespace
