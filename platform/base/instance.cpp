#include "platform/base/instance.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

CInstanceLock::~CInstanceLock() { Release(); }

void CInstanceLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the only descriptor drops the flock
        m_fd = -1;
    }
}

std::string CInstanceLock::DefaultLockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        struct stat st {};
        // Only a private folder of this user: anyone else could hold a lock file there.
        if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
            std::string folder(runtime);
            if (folder.back() != '/') folder += '/';
            return folder + name + ".lock";
        }
    }
    return "/tmp/" + name + "-" + std::to_string(::geteuid()) + ".lock";
}

InstanceLockResult CInstanceLock::TryAcquire(const std::string& name, const std::string& folder) {
    if (m_fd >= 0) return InstanceLockResult::Acquired;
    if (name.empty() || name.find('/') != std::string::npos) return InstanceLockResult::Error;
    const std::string path = folder.empty() ? DefaultLockPath(name) : folder + name + ".lock";

    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return InstanceLockResult::Error;

    // In a shared folder such as /tmp the file must be this user's own regular file.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return InstanceLockResult::Error;
    }

    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? InstanceLockResult::AlreadyRunning : InstanceLockResult::Error;
    }
    m_fd = fd;
    return InstanceLockResult::Acquired;
}

}  // namespace platform
