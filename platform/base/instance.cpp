#include "platform/base/instance.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Opens folder without following a link in its last part; -1 unless it is a folder of this user
// that neither its group nor others may write.
int OpenPrivateFolder(const std::string& folder) {
    if (folder.empty()) return -1;
    const std::string path = WithoutTrailingSlash(folder);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsPrivateFolder(const std::string& folder) {
    const int fd = OpenPrivateFolder(folder);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

CInstanceLock::~CInstanceLock() { Release(); }

void CInstanceLock::Release() {
    if (m_fd >= 0) {
        // Removed while still locked: a start that opened the old file finds it gone after its
        // flock and opens the path again.
        ::unlink(m_path.c_str());
        ::close(m_fd);  // closing the only descriptor drops the lock
        m_fd = -1;
        m_path.clear();
    }
}

std::string CInstanceLock::LockFileName(const std::string& name, const std::string& scope) {
    // The scope can be any length; its 64-bit FNV-1a hash keeps the file name short.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : scope) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, ".%016llx.lock", static_cast<unsigned long long>(hash));
    return name + tail;
}

std::string CInstanceLock::UserLockFolder(const std::string& runUser, const std::string& tmp) {
    const std::string uid = std::to_string(static_cast<unsigned long>(::geteuid()));
    const std::string runtime = runUser + uid + "/";
    if (IsPrivateFolder(runtime)) return runtime;
    const std::string own = tmp + "sorvel-" + uid + "/";
    // Made for this user alone; one that is already there is used only when it is such a folder.
    ::mkdir(WithoutTrailingSlash(own).c_str(), 0700);
    return IsPrivateFolder(own) ? own : std::string();
}

InstanceLockResult CInstanceLock::TryAcquire(const std::string& name, const std::string& scope) {
    if (m_fd >= 0) return InstanceLockResult::Acquired;
    return TryAcquireIn(UserLockFolder(), name, scope);
}

InstanceLockResult CInstanceLock::TryAcquireIn(const std::string& folder, const std::string& name,
                                               const std::string& scope) {
    if (m_fd >= 0) return InstanceLockResult::Acquired;
    if (name.empty() || name.find('/') != std::string::npos) return InstanceLockResult::Error;
    const int dir = OpenPrivateFolder(folder);
    if (dir < 0) return InstanceLockResult::Error;
    const std::string file = LockFileName(name, scope);
    InstanceLockResult result = InstanceLockResult::Error;
    // A few rounds: the holder may remove its file between our open and our flock.
    for (int round = 0; round < 8; ++round) {
        int fd;
        do {
            fd = ::openat(dir, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) break;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            ::close(fd);
            break;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) result = InstanceLockResult::AlreadyRunning;
            break;
        }
        struct stat now {};
        if (::fstatat(dir, file.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
            now.st_ino == st.st_ino) {
            m_fd = fd;
            m_path = WithoutTrailingSlash(folder) + "/" + file;
            result = InstanceLockResult::Acquired;
            break;
        }
        ::close(fd);  // the file was removed by the instance that just ended: once more
    }
    ::close(dir);
    return result;
}

}  // namespace platform
