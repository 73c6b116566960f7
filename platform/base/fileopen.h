// Opening the program's own files safely: only a regular file is opened. A named pipe, a device
// or a folder in its place is refused at once instead of blocking the caller (a pipe with no
// writer would hold the program forever). New output files are made only where nothing exists
// yet, and links are not followed, so no file is written where a planted link points.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// fopen with mode "r", "w" or "a" (a "b" is allowed and ignored), for regular files only: a
// path that exists as anything else gives null with errno EINVAL. Writing modes create a
// missing file. With followLinks false a link in the last part of the path is not followed
// (null, errno ELOOP).
std::FILE* OpenRegularFile(const std::string& path, const char* mode, bool followLinks = true);

// Creates path as a new file open for writing ("wb"). Anything under that name, a link that
// points nowhere included, gives null with errno EEXIST and is left as it is.
std::FILE* CreateNewFile(const std::string& path);

// Removes path when it still names the file open on fd (not following a link), that is a file
// this program has just created and that holds nothing worth keeping; anything put in its place
// meanwhile stays. True when it was removed.
bool RemoveCreatedFile(int fd, const std::string& path);

}  // namespace platform
