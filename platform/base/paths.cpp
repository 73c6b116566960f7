#include "platform/base/paths.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string ProgramFolder() {
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return "./";
    buf[n] = '\0';
    return FolderOf(std::string(buf, static_cast<size_t>(n)));
}

std::string FolderOf(const std::string& path) {
    const auto pos = path.find_last_of('/');
    if (pos == std::string::npos) return path;
    return path.substr(0, pos + 1);
}

std::string FileNameOf(const std::string& path) {
    const auto pos = path.find_last_of('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string WithTrailingSlash(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + '/';
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
