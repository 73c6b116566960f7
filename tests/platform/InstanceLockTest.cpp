#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/base/instance.h"
#include "support/ScopedEnv.h"
#include "support/TempFolder.h"

extern char** environ;

namespace {

using platform::CInstanceLock;
using platform::InstanceLockResult;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A child process that takes the lock, tells the parent how that went (and, when asked, the id
// of a program it started while holding it), then waits to be killed.
class LockHolder {
public:
    LockHolder(const std::string& folder, bool startProgram)
        : m_lockFile(CInstanceLock::UserLockFolder() + CInstanceLock::LockFileName("sorvel", folder)) {
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
    // The killed holder's lock file stays behind (as after a crash); the test's end removes it.
    ~LockHolder() {
        Kill();
        ::unlink(m_lockFile.c_str());
    }

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
    std::string m_lockFile;
    pid_t m_pid = -1;
    int m_report[2] = {-1, 0};
};

// A process of another user (nobody, 65534): a child of the test that drops to that user, does
// what it is given, tells the parent the result and waits to be killed.
class OtherUser {
public:
    static constexpr uid_t kNobody = 65534;
    static bool Possible() { return ::geteuid() == 0; }

    explicit OtherUser(const std::function<int()>& act) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            int report = -1;
            if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) report = act();
            (void)!::write(fds[1], &report, sizeof report);
            for (;;) ::pause();
        }
        ::close(fds[1]);
        if (m_pid > 0 && ::read(fds[0], &m_report, sizeof m_report) != sizeof m_report) m_report = -1;
        ::close(fds[0]);
    }
    ~OtherUser() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    // What act returned; -1 when the child could not become the other user.
    int Report() const { return m_report; }

private:
    pid_t m_pid = -1;
    int m_report = -1;
};

// Binds and listens on a socket in the abstract namespace (which has no permissions at all).
bool BindAbstract(const std::string& name) {
    sockaddr_un addr{};
    if (name.size() + 1 > sizeof addr.sun_path) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0 && ::listen(fd, 1) == 0;
}

// Opens (creating when it can) and flocks path; the descriptor stays open.
bool FlockFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0) return false;
    ::fchmod(fd, 0666);
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// The name any local user can compute for the lock of user uid on scope under an abstract
// socket scheme: the name, the user id and a 64-bit FNV-1a hash of the scope.
std::string AbstractName(const std::string& name, unsigned uid, const std::string& scope) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : scope) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, ".%u.%016llx", uid, static_cast<unsigned long long>(hash));
    return name + tail;
}

TEST(InstanceLockOtherUser, AnotherUserCannotBlockAStart) {
    if (!OtherUser::Possible()) GTEST_SKIP() << "acting as another user needs the superuser";
    TempFolder folder;
    const std::string lockFolder = CInstanceLock::UserLockFolder();
    ASSERT_FALSE(lockFolder.empty());
    const std::string lockFile = lockFolder + CInstanceLock::LockFileName("sorvel", folder.Path());
    const std::string socketName = AbstractName("sorvel", ::geteuid(), folder.Path());
    // Everything the other user can reach: a socket under the name anyone can compute, the
    // lock file in this user's lock folder, and an instance of its own on the same folder.
    OtherUser squatter([&] {
        int got = 0;
        if (BindAbstract(socketName)) got |= 1;
        if (FlockFile(lockFile)) got |= 2;
        static CInstanceLock own;
        if (own.TryAcquire("sorvel", folder.Path()) == InstanceLockResult::Acquired) got |= 4;
        return got;
    });
    ASSERT_NE(squatter.Report(), -1) << "the child could not become user " << OtherUser::kNobody;
    EXPECT_EQ(squatter.Report() & 2, 0) << "the other user took this user's lock file";
    EXPECT_NE(squatter.Report() & 4, 0) << "the other user's own instance did not start";

    CInstanceLock lock;
    EXPECT_EQ(lock.TryAcquire("sorvel", folder.Path()), InstanceLockResult::Acquired);
    // Still one instance per user: a second start of this user is refused.
    CInstanceLock second;
    EXPECT_EQ(second.TryAcquire("sorvel", folder.Path()), InstanceLockResult::AlreadyRunning);
    // The other user's instance is killed with its lock file in place; it goes with the test.
    const std::string theirs = CInstanceLock::LockFileName("sorvel", folder.Path());
    ::unlink(("/run/user/65534/" + theirs).c_str());
    ::unlink(("/tmp/sorvel-65534/" + theirs).c_str());
}

TEST(InstanceLockOtherUser, AFolderPlantedUnderTheLockFoldersNameIsNotUsed) {
    if (!OtherUser::Possible()) GTEST_SKIP() << "acting as another user needs the superuser";
    TempFolder run;  // holds no runtime folder of this user
    TempFolder tmp;
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 01777), 0);
    TempFolder folder;
    const std::string planted = tmp.File("sorvel-" + std::to_string(::geteuid()));
    const std::string lockName = CInstanceLock::LockFileName("sorvel", folder.Path());
    OtherUser squatter([&] {
        if (::mkdir(planted.c_str(), 0777) != 0 || ::chmod(planted.c_str(), 0777) != 0) return 0;
        return FlockFile(planted + "/" + lockName) ? 1 : 0;
    });
    ASSERT_EQ(squatter.Report(), 1);
    // The planted folder is not this user's: no lock folder, and no start is kept out.
    EXPECT_EQ(CInstanceLock::UserLockFolder(run.Path(), tmp.Path()), "");
    CInstanceLock lock;
    EXPECT_EQ(lock.TryAcquireIn(planted, "sorvel", folder.Path()), InstanceLockResult::Error);
    EXPECT_EQ(lock.TryAcquireIn(CInstanceLock::UserLockFolder(run.Path(), tmp.Path()), "sorvel", folder.Path()),
              InstanceLockResult::Error);
}

TEST(InstanceLock, LockFolderIsTheUsersRuntimeFolderOrAPrivateOneOfItsOwn) {
    TempFolder run;
    TempFolder tmp;
    const std::string uid = std::to_string(::geteuid());
    // No runtime folder: a folder of its own is made in tmp, for this user alone.
    const std::string own = tmp.File("sorvel-" + uid + "/");
    EXPECT_EQ(CInstanceLock::UserLockFolder(run.Path(), tmp.Path()), own);
    struct stat st {};
    ASSERT_EQ(::lstat(own.substr(0, own.size() - 1).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // The runtime folder is taken when only this user may write it.
    const std::string runtime = run.File(uid);
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    EXPECT_EQ(CInstanceLock::UserLockFolder(run.Path(), tmp.Path()), runtime + "/");
    ASSERT_EQ(::chmod(runtime.c_str(), 0777), 0);
    EXPECT_EQ(CInstanceLock::UserLockFolder(run.Path(), tmp.Path()), own);
    // A link in its place is not followed.
    ASSERT_EQ(::rmdir(runtime.c_str()), 0);
    ASSERT_EQ(::symlink(own.c_str(), runtime.c_str()), 0);
    EXPECT_EQ(CInstanceLock::UserLockFolder(run.Path(), tmp.Path()), own);
    // Locks taken there meet; a released lock leaves no file behind.
    CInstanceLock a, b;
    ASSERT_EQ(a.TryAcquireIn(own, "sorvel", "/x/"), InstanceLockResult::Acquired);
    EXPECT_EQ(b.TryAcquireIn(own, "sorvel", "/x/"), InstanceLockResult::AlreadyRunning);
    a.Release();
    EXPECT_FALSE(Exists(own + CInstanceLock::LockFileName("sorvel", "/x/")));
    EXPECT_EQ(b.TryAcquireIn(own, "sorvel", "/x/"), InstanceLockResult::Acquired);
}

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
