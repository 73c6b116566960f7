#include "platform/base/fileopen.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::FILE* OpenRegularFile(const std::string& path, const char* mode, bool followLinks) {
    if (mode == nullptr || path.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    int flags = 0;
    switch (mode[0]) {
        case 'r': flags = O_RDONLY; break;
        case 'w': flags = O_WRONLY | O_CREAT; break;
        case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
        default: errno = EINVAL; return nullptr;
    }
    // Non-blocking only for the open itself, so that a pipe cannot hold it; truncation waits
    // until the file is known to be a regular one.
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st {};
    const int fl = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0 ||
        (mode[0] == 'w' && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    const char* fdMode = mode[0] == 'r' ? "rb" : (mode[0] == 'w' ? "wb" : "ab");
    std::FILE* f = ::fdopen(fd, fdMode);
    if (f == nullptr) ::close(fd);
    return f;
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

}  // namespace platform
