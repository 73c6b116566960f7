// Opening the program's own text files (settings, trace, dumps) safely: only a regular file is
// opened. A named pipe, a device or a folder in its place is refused at once instead of blocking
// the caller (a pipe with no writer would hold the program forever).
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// fopen with mode "r", "w" or "a" (a "b" is allowed and ignored), for regular files only: a
// path that exists as anything else gives null with errno EINVAL. Writing modes create a
// missing file.
std::FILE* OpenRegularFile(const std::string& path, const char* mode);

}  // namespace platform
