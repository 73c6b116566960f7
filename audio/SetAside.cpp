#include "audio/SetAside.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
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

// The time t as part of a kept entry's name: local time, without the colons some file systems
// refuse.
std::string Stamp(std::time_t t) {
    std::tm tm {};
    ::localtime_r(&t, &tm);
    char text[40];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%S", &tm) > 0 ? text : "";
}

// s cut to at most n bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& s, std::size_t n) {
    if (s.size() <= n) return s;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

// The longest file name (in bytes) that file systems of this system take.
constexpr std::size_t kNameMax = 255;

// Renames what is under path to a free name beside it, "<name> (<what> <when>)<extension>"
// (with " 2", " 3" ... after the time while such a name is taken), and tells where in *kept.
// True when path is free now; *kept stays empty when it was free already.
bool KeepBeside(const std::string& path, const char* what, std::time_t when, std::string* kept) {
    const std::string folder = platform::FolderOf(path);
    const std::string name = platform::FileNameOf(path);
    const std::size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    const std::string base = name.substr(0, name.size() - ext.size());
    for (int n = 1; n < 100; ++n) {
        const std::string tag =
            std::string(" (") + what + " " + Stamp(when) + (n > 1 ? " " + std::to_string(n) : "") + ")";
        if (tag.size() + ext.size() >= kNameMax) ext.clear();
        const std::string candidate = folder + CutUtf8(base, kNameMax - tag.size() - ext.size()) + tag + ext;
        if (RenameNoReplace(AT_FDCWD, path, candidate)) {
            *kept = candidate;
            return true;
        }
        if (errno == ENOENT) return true;  // nothing is under the name any more
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

// Puts the entry name of the folder open on dirFd back at path. Whatever is under path is first
// kept beside it as what (KeepBeside, with the time the entry was set aside, which is when the
// folder last changed); *kept lists where it went. A name taken again while it is being freed is
// freed again, a few times. False (errno set) when the entry stays aside.
bool PutBackKeeping(int dirFd, const std::string& name, const std::string& path, const char* what, std::string* kept) {
    struct stat st {};
    const std::time_t when = ::fstat(dirFd, &st) == 0 ? st.st_mtime : std::time(nullptr);
    for (int round = 0; round < 8; ++round) {
        if (RenameNoReplace(dirFd, name, path)) return true;
        if (errno != EEXIST) return false;
        std::string moved;
        if (!KeepBeside(path, what, when, &moved)) return false;
        if (!moved.empty()) *kept += (kept->empty() ? "" : ", ") + moved;
    }
    errno = EEXIST;
    return false;
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

bool CHeldEntry::PutBack(std::string* kept) {
    if (!Ok()) return false;
    std::string moved;
    const bool back = PutBackKeeping(m_nLock, platform::FileNameOf(m_strPath), m_strPath, "made during conversion", &moved);
    if (kept != nullptr) *kept = moved;
    if (!back) return false;
    m_bBack = true;
    ::rmdir(m_strFolder.c_str());
    ::close(m_nLock);
    m_nLock = -1;
    return true;
}

std::vector<LeftAside> RecoverSetAside(const std::string& folder, const std::function<void(const std::string&)>& trace) {
    const std::string base = platform::WithTrailingSlash(folder);
    std::vector<std::string> found;
    if (DIR* dir = ::opendir(base.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            if (IsSetAsideName(e->d_name)) found.emplace_back(e->d_name);
        }
        ::closedir(dir);
    }
    std::vector<LeftAside> left;
    for (const std::string& name : found) {
        const std::string aside = base + name;
        const int fd = LockFolder(aside);
        if (fd < 0) continue;
        const std::vector<std::string> entries = Entries(fd);
        if (entries.size() == 1) {
            const std::string path = base + entries[0];
            std::string kept;
            const bool back = PutBackKeeping(fd, entries[0], path, "unfinished conversion", &kept);
            const int error = errno;
            const std::string keptText = kept.empty() ? "" : "; what was at its name is kept as " + kept;
            if (back) {
                trace("RunConverter: put back " + path + ", set aside by a conversion that did not end" + keptText);
            } else {
                trace("RunConverter: cannot put back " + path + " (" + std::strerror(error) +
                      "); what a conversion set aside there stays in " + aside + "/" + keptText);
                left.push_back({path, aside + "/"});
            }
        } else if (!entries.empty()) {
            trace("RunConverter: " + aside + "/ holds " + std::to_string(entries.size()) + " entries; left as it is");
            for (const std::string& entry : entries) left.push_back({base + entry, aside + "/"});
        }
        // Empty now (or made by a conversion that ended before it moved anything in).
        ::rmdir(aside.c_str());
        ::close(fd);
    }
    return left;
}

}  // namespace set_aside
