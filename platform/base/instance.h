// Single-instance guard: a lock with a name that one process of the user holds while it runs.
//
// The lock is an exclusive flock on the file "<name>.lock" in the user's runtime folder
// ($XDG_RUNTIME_DIR, else /tmp with the user id in the file name). The kernel drops it when the
// process ends in any way, a crash or SIGKILL included, so a dead instance never blocks the next
// start. Testing for the lock and taking it are one step, so two starts at the same moment
// cannot both run. The file is opened close-on-exec: programs the instance starts do not inherit
// the lock.
#pragma once

#include <string>

namespace platform {

enum class InstanceLockResult {
    Acquired,        // this process now holds the lock
    AlreadyRunning,  // another process holds it
    Error,           // the lock file could not be made or locked; nothing is held
};

class CInstanceLock {
public:
    CInstanceLock() = default;
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;
    // Releases the lock if held. The program keeps its lock object alive until it ends.
    ~CInstanceLock();

    // Tries to take the lock called name. folder (ending with '/') holds the lock file; empty
    // means the user's runtime folder. Calling it again while the lock is held gives Acquired.
    InstanceLockResult TryAcquire(const std::string& name, const std::string& folder = std::string());

    bool IsHeld() const { return m_fd >= 0; }
    void Release();

    // The lock file used for name when no folder is given.
    static std::string DefaultLockPath(const std::string& name);

private:
    int m_fd = -1;
};

}  // namespace platform
