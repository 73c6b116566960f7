#include "platform/base/fileopen.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The descriptor of path opened as OpenRegularFile describes. With oneName, a regular file that
// has another name too (a hard link shares its data with another file) is not opened: -1 with
// errno EMLINK, and it is left as it was.
int OpenRegularFd(const std::string& path, const char* mode, bool followLinks, bool oneName) {
    if (mode == nullptr || path.empty()) {
        errno = EINVAL;
        return -1;
    }
    int flags = 0;
    switch (mode[0]) {
        case 'r': flags = O_RDONLY; break;
        case 'w': flags = O_WRONLY | O_CREAT; break;
        case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
        default: errno = EINVAL; return -1;
    }
    // Non-blocking only for the open itself, so that a pipe cannot hold it; truncation waits
    // until the file is known to be a regular one.
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st {};
    const int fl = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fl < 0) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    if (oneName && st.st_nlink > 1) {
        ::close(fd);
        errno = EMLINK;
        return -1;
    }
    if (::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0 || (mode[0] == 'w' && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

const char* StreamMode(const char* mode) { return mode[0] == 'r' ? "rb" : (mode[0] == 'w' ? "wb" : "ab"); }

// The stream of an open descriptor, or null (and the descriptor closed).
std::FILE* StreamOf(int fd, const char* mode) {
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, StreamMode(mode));
    if (f == nullptr) ::close(fd);
    return f;
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, const char* mode, bool followLinks) {
    return StreamOf(OpenRegularFd(path, mode, followLinks, false), mode);
}

std::FILE* CreateNewFile(const std::string& path) {
    if (path.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    // O_EXCL fails on any name that exists, a link of any kind included; O_NOFOLLOW says so twice.
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "wb");
    if (f == nullptr) {
        const int err = errno;
        RemoveCreatedFile(fd, path);
        ::close(fd);
        errno = err;
    }
    return f;
}

bool RemoveCreatedFile(int fd, const std::string& path) {
    struct stat open {};
    struct stat named {};
    if (fd < 0 || ::fstat(fd, &open) != 0 || ::lstat(path.c_str(), &named) != 0) return false;
    if (open.st_dev != named.st_dev || open.st_ino != named.st_ino) return false;
    return ::unlink(path.c_str()) == 0;
}

int CreateFreshFile(const std::string& path) {
    if (path.empty()) {
        errno = EINVAL;
        return -1;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            errno = EEXIST;
            return -1;
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
    }
    // O_EXCL fails on anything put there meanwhile, a link of any kind included.
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

namespace {
std::atomic<unsigned> g_replaceCounter{0};
}  // namespace

int ReplaceWithNewFile(const std::string& path, bool readable) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = dir + "." + base + "." + std::to_string(::getpid()) + "." +
                                 std::to_string(g_replaceCounter++) + ".tmp";
        int fd;
        do {
            fd = ::open(temp.c_str(), (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                        0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            const int err = errno;
            ::unlink(temp.c_str());
            ::close(fd);
            errno = err;
            return -1;
        }
        return fd;
    }
    errno = EEXIST;
    return -1;
}

std::FILE* OpenOwnRegularFile(const std::string& path, const char* mode) {
    if (mode == nullptr || (mode[0] != 'w' && mode[0] != 'a')) {
        errno = EINVAL;
        return nullptr;
    }
    const int fd = OpenRegularFd(path, mode, false, true);
    if (fd >= 0) return StreamOf(fd, mode);
    // Only a link, a non-regular file that is not a folder, or a file with another name is
    // replaced; a regular file that cannot be opened (read-only) stays as it is.
    const bool otherNames = errno == EMLINK;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !otherNames)) return nullptr;
    return StreamOf(ReplaceWithNewFile(path), mode);
}

std::FILE* OpenForOverwrite(const std::string& path) {
    int fd = OpenRegularFd(path, "w", false, true);
    if (fd < 0 && errno == EMLINK) fd = ReplaceWithNewFile(path);
    return StreamOf(fd, "w");
}

}  // namespace platform
