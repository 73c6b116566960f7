#include "audio/SetAside.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/paths.h"

namespace set_aside {
namespace {

// Renames from to to only when nothing is under to: a name taken meanwhile is never replaced.
// Where the file system cannot rename that way, the name is tested first.
bool RenameNoReplace(int fromDir, const std::string& from, const std::string& to) {
    if (::renameat2(fromDir, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromDir, from.c_str(), AT_FDCWD, to.c_str()) == 0;
}

// Opens a set-aside folder and takes its lock without waiting: -1 when it is not one of the
// program's (not a folder of this user's that only its owner may enter) or a running conversion
// holds it.
int LockFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0 ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The names in the folder open on fd, without "." and "..".
std::vector<std::string> Entries(int fd) {
    std::vector<std::string> names;
    const int copy = ::dup(fd);
    if (copy < 0) return names;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return names;
    }
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

bool IsSetAsideName(const std::string& name) {
    const std::size_t prefix = std::strlen(kFolderPrefix);
    return name.size() == prefix + 6 && name.compare(0, prefix, kFolderPrefix) == 0;
}

}  // namespace

CHeldEntry::CHeldEntry(const std::string& path) : m_strPath(path) {
    std::string made = platform::FolderOf(path) + kFolderPrefix + "XXXXXX";
    if (::mkdtemp(made.data()) == nullptr) return;
    // Locked before the entry goes in, so that no recovery ever sees it there unheld.
    m_nLock = LockFolder(made);
    if (m_nLock < 0) {
        ::rmdir(made.c_str());
        return;
    }
    if (::renameat(AT_FDCWD, path.c_str(), m_nLock, platform::FileNameOf(path).c_str()) != 0) {
        ::rmdir(made.c_str());
        ::close(m_nLock);
        m_nLock = -1;
        return;
    }
    m_strFolder = made + "/";
}

CHeldEntry::~CHeldEntry() {
    if (m_nLock >= 0) ::close(m_nLock);
}

std::string CHeldEntry::Held() const { return m_strFolder + platform::FileNameOf(m_strPath); }

bool CHeldEntry::PutBack() {
    if (!Ok()) return false;
    if (!RenameNoReplace(m_nLock, platform::FileNameOf(m_strPath), m_strPath)) return false;
    m_bBack = true;
    ::rmdir(m_strFolder.c_str());
    ::close(m_nLock);
    m_nLock = -1;
    return true;
}

void RecoverSetAside(const std::string& folder, const std::function<void(const std::string&)>& trace) {
    const std::string base = platform::WithTrailingSlash(folder);
    std::vector<std::string> found;
    if (DIR* dir = ::opendir(base.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            if (IsSetAsideName(e->d_name)) found.emplace_back(e->d_name);
        }
        ::closedir(dir);
    }
    for (const std::string& name : found) {
        const std::string aside = base + name;
        const int fd = LockFolder(aside);
        if (fd < 0) continue;
        const std::vector<std::string> entries = Entries(fd);
        if (entries.size() == 1) {
            const std::string path = base + entries[0];
            if (RenameNoReplace(fd, entries[0], path)) {
                trace("RunConverter: put back " + path + ", set aside by a conversion that did not end");
            } else {
                trace("RunConverter: cannot put back " + path + " (" + std::strerror(errno) +
                      "); what a conversion set aside there stays in " + aside + "/");
            }
        } else if (!entries.empty()) {
            trace("RunConverter: " + aside + "/ holds " + std::to_string(entries.size()) + " entries; left as it is");
        }
        // Empty now (or made by a conversion that ended before it moved anything in).
        ::rmdir(aside.c_str());
        ::close(fd);
    }
}

}  // namespace set_aside
