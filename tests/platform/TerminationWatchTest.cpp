// Which signals from outside ask the program to close: a halted program whose launcher ended
// meanwhile goes on, a SIGHUP that someone sends still closes it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/base/termsignals.h"

namespace {

// The state letter of a process in /proc (R, S, T, Z, ...), or 0 when it is gone.
char StateOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() ? text[close + 2] : '\0';
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

// A launcher in a process group of its own starts a program that watches for termination
// signals (its handler writes the signal's number into `report`) and then waits. Both are killed
// when this goes, so a failed test leaves nothing running.
struct Launched {
    pid_t launcher = -1;
    pid_t program = -1;
    int report = -1;
    ~Launched() {
        if (program > 0) ::kill(program, SIGKILL);
        if (launcher > 0) {
            ::kill(launcher, SIGKILL);
            ::waitpid(launcher, nullptr, 0);
        }
        if (report >= 0) ::close(report);
    }
};

// Fills l; the launcher tells the program's id through one pipe, the program that it watches
// through another, so the two can never be mixed up.
void Launch(Launched* l) {
    int report[2], launched[2], watching[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(launched), 0);
    ASSERT_EQ(::pipe(watching), 0);
    l->launcher = ::fork();
    if (l->launcher == 0) {
        ::setpgid(0, 0);
        const pid_t program = ::fork();
        if (program == 0) {
            platform::CTerminationWatch watch([fd = report[1]](int sig) {
                const unsigned char b = static_cast<unsigned char>(sig);
                (void)!::write(fd, &b, 1);
            });
            (void)!::write(watching[1], "w", 1);
            for (;;) ::pause();
        }
        (void)!::write(launched[1], &program, sizeof program);
        for (;;) ::pause();
    }
    ::close(report[1]);
    ::close(launched[1]);
    ::close(watching[1]);
    l->report = report[0];
    pid_t program = -1;
    char w = 0;
    const bool told = ::read(launched[0], &program, sizeof program) == static_cast<ssize_t>(sizeof program);
    const bool watches = ::read(watching[0], &w, 1) == 1;
    ::close(launched[0]);
    ::close(watching[0]);
    ASSERT_TRUE(told && program > 0) << "the launcher did not start the program";
    l->program = program;
    ASSERT_TRUE(watches) << "the program did not start watching";
}

// The thread sanitizer does not follow a thread started in a child forked without exec, which
// is what the launched program is here.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_THREAD_SANITIZER() GTEST_SKIP() << "the thread sanitizer does not support threads in a forked child"
#else
#define SKIP_UNDER_THREAD_SANITIZER() static_cast<void>(0)
#endif

// Stops the launched program, as a user halts a program to look at it.
void Halt(const Launched& l) {
    ASSERT_EQ(::kill(l.program, SIGSTOP), 0);
    ASSERT_TRUE(WaitFor([&] { return StateOf(l.program) == 'T'; }, 20.0));
}

TEST(TerminationWatch, AHaltedProgramWhoseLauncherEndsGoesOnAndAHangupSentToItStillClosesIt) {
    SKIP_UNDER_THREAD_SANITIZER();
    Launched l;
    ASSERT_NO_FATAL_FAILURE(Launch(&l));
    // The launcher ends while the program is halted, so the kernel sends the halted job SIGHUP
    // and SIGCONT.
    ASSERT_NO_FATAL_FAILURE(Halt(l));
    ASSERT_EQ(::kill(l.launcher, SIGKILL), 0);
    ASSERT_EQ(::waitpid(l.launcher, nullptr, 0), l.launcher);
    l.launcher = -1;
    ASSERT_TRUE(WaitFor([&] { return StateOf(l.program) != 'T'; }, 20.0)) << "the kernel did not continue the orphaned job";
    EXPECT_EQ(ReadWithin(l.report, 1.0), -1) << "the program took the kernel's notice for a request to close";
    // A hangup that someone sends is a request.
    ASSERT_EQ(::kill(l.program, SIGHUP), 0);
    EXPECT_EQ(ReadWithin(l.report, 20.0), SIGHUP);
}

TEST(TerminationWatch, TerminationWhileHaltedIsARequestOnceTheProgramGoesOn) {
    SKIP_UNDER_THREAD_SANITIZER();
    Launched l;
    ASSERT_NO_FATAL_FAILURE(Launch(&l));
    ASSERT_NO_FATAL_FAILURE(Halt(l));
    ASSERT_EQ(::kill(l.program, SIGTERM), 0);
    ASSERT_EQ(::kill(l.program, SIGCONT), 0);
    EXPECT_EQ(ReadWithin(l.report, 20.0), SIGTERM);
}

}  // namespace
