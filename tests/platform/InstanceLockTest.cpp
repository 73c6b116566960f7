#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/base/instance.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

extern char** environ;

namespace {

using platform::CInstanceLock;
using platform::InstanceLockResult;

// A child process that takes the lock, tells the parent how that went (and, when asked, the id
// of a program it started while holding it), then waits to be killed.
class LockHolder {
public:
    LockHolder(const std::string& folder, bool startProgram) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            CInstanceLock lock;
            int report[2] = {static_cast<int>(lock.TryAcquire("sorvel", folder)), 0};
            if (startProgram) {
                char prog[] = "/bin/sleep";
                char arg[] = "30";
                char* argv[] = {prog, arg, nullptr};
                pid_t child = -1;
                if (::posix_spawn(&child, prog, nullptr, nullptr, argv, environ) == 0) report[1] = child;
            }
            (void)!::write(fds[1], report, sizeof report);
            for (;;) ::pause();
        }
        ::close(fds[1]);
        if (m_pid > 0 && ::read(fds[0], m_report, sizeof m_report) != sizeof m_report) m_report[0] = -1;
        ::close(fds[0]);
    }
    ~LockHolder() { Kill(); }

    bool Running() const { return m_pid > 0; }
    InstanceLockResult Result() const { return static_cast<InstanceLockResult>(m_report[0]); }
    pid_t StartedProgram() const { return m_report[1]; }

    void Kill() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_report[2] = {-1, 0};
};

TEST(InstanceLock, SecondProcessIsRefusedWhileTheFirstRunsAndAdmittedAfterItIsKilled) {
    TempFolder folder;
    LockHolder first(folder.Path(), false);
    ASSERT_TRUE(first.Running());
    ASSERT_EQ(first.Result(), InstanceLockResult::Acquired);

    CInstanceLock second;
    EXPECT_EQ(second.TryAcquire("sorvel", folder.Path()), InstanceLockResult::AlreadyRunning);
    EXPECT_FALSE(second.IsHeld());

    first.Kill();  // SIGKILL: no clean-up code runs in the first process
    EXPECT_EQ(second.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
    EXPECT_TRUE(second.IsHeld());
}

TEST(InstanceLock, ProgramsStartedByTheHolderDoNotKeepTheLock) {
    TempFolder folder;
    LockHolder first(folder.Path(), true);
    ASSERT_TRUE(first.Running());
    ASSERT_EQ(first.Result(), InstanceLockResult::Acquired);
    ASSERT_GT(first.StartedProgram(), 0);

    first.Kill();
    CInstanceLock next;
    EXPECT_EQ(next.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
    ::kill(first.StartedProgram(), SIGKILL);  // the orphan is reaped by init
}

TEST(InstanceLock, SecondLockInTheSameProcessIsRefusedUntilTheFirstIsReleased) {
    TempFolder folder;
    CInstanceLock a, b;
    ASSERT_EQ(a.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
    EXPECT_EQ(a.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
    EXPECT_EQ(b.TryAcquire("sorvel", folder.Path()), InstanceLockResult::AlreadyRunning);
    a.Release();
    EXPECT_EQ(b.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
}

TEST(InstanceLock, DifferentNamesDoNotBlockEachOther) {
    TempFolder folder;
    CInstanceLock a, b;
    EXPECT_EQ(a.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
    EXPECT_EQ(b.TryAcquire("other", folder.Path()), InstanceLockResult::Acquired);
}

TEST(InstanceLock, UnusableNameIsAnErrorAndHoldsNothing) {
    TempFolder folder;
    CInstanceLock lock;
    EXPECT_EQ(lock.TryAcquire("../sorvel", folder.Path()), InstanceLockResult::Error);
    EXPECT_EQ(lock.TryAcquire("", folder.Path()), InstanceLockResult::Error);
    EXPECT_FALSE(lock.IsHeld());
}

TEST(InstanceLock, NoEnvironmentVariableMovesTheLock) {
    // Once the lock lived in the runtime folder: two starts with different runtime folders (or
    // temporary folders) both ran on one settings file.
    TempFolder folder;
    TempFolder runtimeA;
    TempFolder runtimeB;
    std::optional<LockHolder> first;
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeA.Path());
        first.emplace(folder.Path(), false);
    }
    ASSERT_EQ(first->Result(), InstanceLockResult::Acquired);
    CInstanceLock second;
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeB.Path());
        ScopedEnv tmp("TMPDIR", runtimeB.Path());
        ScopedEnv home("HOME", runtimeB.Path());
        EXPECT_EQ(second.TryAcquire("sorvel", folder.Path()), InstanceLockResult::AlreadyRunning);
    }
    ScopedEnv none("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(second.TryAcquire("sorvel", folder.Path()), InstanceLockResult::AlreadyRunning);
}

}  // namespace
