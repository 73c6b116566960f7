#include "audio/OutputNames.h"

#include <cstdio>
#include <sys/stat.h>

namespace output_names {

bool FileExists(const std::string& path) {
    // A link counts as the name taken, also one that points nowhere: a new output is never made
    // through it.
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

namespace {

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Numbered(const std::string& head, const char* format, int n, const char* suffix) {
    char num[16];
    std::snprintf(num, sizeof num, format, n);
    return head + num + suffix;
}

}  // namespace

std::string BaseName(const std::string& path) {
    const std::string name = FileNamePart(path);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string Extension(const std::string& path) {
    const std::string name = FileNamePart(path);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string NextLiveName(const std::string& folder, const char* prefix, const char* suffix, int* counter,
                         const ExistsFn& exists, bool* allTaken) {
    if (allTaken != nullptr) *allTaken = false;
    const std::string head = folder + prefix + "_";
    int n = (*counter >= 0 && *counter <= 9999) ? *counter : 0;
    const int first = n;
    for (int tries = 0; tries < 10000; ++tries) {
        const std::string name = Numbered(head, "%04d", n, suffix);
        if (!exists(name)) {
            *counter = n == 9999 ? 0 : n + 1;
            return name;
        }
        n = n == 9999 ? 0 : n + 1;
    }
    *counter = first == 9999 ? 0 : first + 1;
    if (allTaken != nullptr) *allTaken = true;
    return Numbered(head, "%04d", first, suffix);
}

std::string NextFileRunName(const std::string& folder, const std::string& base, const char* tag,
                            const char* suffix, bool* all99Taken, const ExistsFn& exists) {
    const std::string head = folder + base + tag + "_";
    for (int n = 1; n <= 99; ++n) {
        const std::string name = Numbered(head, "%02d", n, suffix);
        if (!exists(name)) {
            *all99Taken = false;
            return name;
        }
    }
    *all99Taken = true;
    return Numbered(head, "%02d", 100, suffix);
}

}  // namespace output_names
