// Single-instance guard: a lock with a name that one process of a user holds while it runs.
//
// The lock is an exclusive flock on a file in a folder that only this user can write: the
// user's runtime folder (/run/user/<uid>, made by the login manager) or, where there is none, a
// folder "sorvel-<uid>" in /tmp that this user makes with mode 0700. Both are found from the
// user id alone; no environment variable moves them. A process of another user can neither
// create nor open the lock file, so it cannot hold the lock nor block a start; a folder of that
// name that belongs to someone else, or that others may write, is not used at all (the caller
// then runs without the guard rather than be kept out). The lock file's name is made of the
// lock's name and a hash of the scope (the program folder, whose settings file the instance
// owns). The kernel drops the lock when the process ends in any way, a crash or SIGKILL
// included, so a dead instance never blocks the next start. Testing for the lock and taking it
// are one step (the flock), so two starts at the same moment cannot both run. The descriptor is
// close-on-exec: programs the instance starts do not inherit the lock.
#pragma once

#include <string>

namespace platform {

enum class InstanceLockResult {
    Acquired,        // this process now holds the lock
    AlreadyRunning,  // another process of this user holds it
    Error,           // the lock could not be made; nothing is held
};

class CInstanceLock {
public:
    CInstanceLock() = default;
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;
    // Releases the lock if held. The program keeps its lock object alive until it ends.
    ~CInstanceLock();

    // Tries to take the lock called name within scope (a folder; instances of other folders do
    // not meet) in this user's lock folder. Calling it again while the lock is held gives
    // Acquired.
    InstanceLockResult TryAcquire(const std::string& name, const std::string& scope);
    // The same in folder, which must be a folder of this user that no one else can write
    // (anything else gives Error); an empty folder gives Error.
    InstanceLockResult TryAcquireIn(const std::string& folder, const std::string& name, const std::string& scope);

    bool IsHeld() const { return m_fd >= 0; }
    // Gives the lock up and removes its file.
    void Release();

    // File name of the lock called name within scope.
    static std::string LockFileName(const std::string& name, const std::string& scope);
    // This user's lock folder, ending with '/': runUser + "<uid>/" when that is a folder of this
    // user that no one else can write, else tmp + "sorvel-<uid>/", made here when missing and
    // used only when it is such a folder; "" when neither is.
    static std::string UserLockFolder(const std::string& runUser = "/run/user/", const std::string& tmp = "/tmp/");

private:
    int m_fd = -1;
    std::string m_path;  // the lock file while held
};

}  // namespace platform
