#include "platform/base/instance.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

CInstanceLock::~CInstanceLock() { Release(); }

void CInstanceLock::Release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the only descriptor frees the name
        m_fd = -1;
    }
}

std::string CInstanceLock::SocketName(const std::string& name, const std::string& scope) {
    // The scope can be any length; its 64-bit FNV-1a hash keeps the name within the socket
    // address.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char c : scope) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, ".%u.%016llx", static_cast<unsigned>(::geteuid()),
                  static_cast<unsigned long long>(hash));
    return name + tail;
}

InstanceLockResult CInstanceLock::TryAcquire(const std::string& name, const std::string& scope) {
    if (m_fd >= 0) return InstanceLockResult::Acquired;
    if (name.empty() || name.find('/') != std::string::npos) return InstanceLockResult::Error;
    const std::string id = SocketName(name, scope);
    sockaddr_un addr{};
    if (id.size() + 1 > sizeof addr.sun_path) return InstanceLockResult::Error;
    addr.sun_family = AF_UNIX;
    addr.sun_path[0] = '\0';  // the abstract namespace: no file, gone with the socket
    std::memcpy(addr.sun_path + 1, id.data(), id.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + id.size());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return InstanceLockResult::Error;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EADDRINUSE ? InstanceLockResult::AlreadyRunning : InstanceLockResult::Error;
    }
    m_fd = fd;
    return InstanceLockResult::Acquired;
}

}  // namespace platform
