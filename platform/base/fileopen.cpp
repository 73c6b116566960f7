#include "platform/base/fileopen.h"

#include <atomic>
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

// A new empty regular file renamed over path; its descriptor, or -1.
int ReplaceWithNewFile(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = dir + "." + base + "." + std::to_string(::getpid()) + "." +
                                 std::to_string(g_replaceCounter++) + ".tmp";
        int fd;
        do {
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
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

}  // namespace

std::FILE* OpenOwnRegularFile(const std::string& path, const char* mode) {
    if (mode == nullptr || (mode[0] != 'w' && mode[0] != 'a')) {
        errno = EINVAL;
        return nullptr;
    }
    if (std::FILE* f = OpenRegularFile(path, mode, false)) return f;
    // Only a link or a non-regular file that is not a folder is replaced.
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return nullptr;
    const int fd = ReplaceWithNewFile(path);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, mode[0] == 'w' ? "wb" : "ab");
    if (f == nullptr) ::close(fd);
    return f;
}

}  // namespace platform
