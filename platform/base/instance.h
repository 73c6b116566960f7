// Single-instance guard: a lock with a name that one process holds while it runs.
//
// The lock is a socket bound in the kernel's abstract namespace under a name made of the lock's
// name, the user id and the scope (the program folder, whose settings file the instance owns).
// No environment variable and no file moves it, and the kernel releases it when the process
// ends in any way, a crash or SIGKILL included, so a dead instance never blocks the next start.
// Testing for the lock and taking it are one step (the bind), so two starts at the same moment
// cannot both run. The socket is close-on-exec: programs the instance starts do not inherit it.
#pragma once

#include <string>

namespace platform {

enum class InstanceLockResult {
    Acquired,        // this process now holds the lock
    AlreadyRunning,  // another process holds it
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
    // not meet). Calling it again while the lock is held gives Acquired.
    InstanceLockResult TryAcquire(const std::string& name, const std::string& scope);

    bool IsHeld() const { return m_fd >= 0; }
    void Release();

    // The abstract socket name used for name and scope (without its leading zero byte).
    static std::string SocketName(const std::string& name, const std::string& scope);

private:
    int m_fd = -1;
};

}  // namespace platform
