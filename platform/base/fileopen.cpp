#include "platform/base/fileopen.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::FILE* OpenRegularFile(const std::string& path, const char* mode) {
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
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
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

}  // namespace platform
