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

// Creates path as a new file open for writing, made with 0666 less the umask, without following
// a link: a file left there by an earlier attempt is removed first only when it is this user's
// own regular file; anything else under that name (a link, another user's file, a pipe, a
// folder) stays as it is and the creation fails. Returns the descriptor (close-on-exec) or -1.
int CreateFreshFile(const std::string& path);

// Opens path for writing ("w" empties it, "a" appends) as OpenRegularFile does without following
// a link. When a link, a pipe, a device or a socket is there instead of a regular file, or a
// regular file that has another name too (a hard link shares its data with another file), it is
// replaced by a new empty regular file of the program's own (made beside it and renamed over
// it), which is then opened; the other file keeps its data. Null when neither could be done.
std::FILE* OpenOwnRegularFile(const std::string& path, const char* mode);

// Opens path to be written anew ("wb"), for an output that the naming rules write over: a
// regular file of one name there is emptied; one that has another name too is left to that name
// and a new empty file takes its place under path (made beside it and renamed over it). A link
// is not followed and nothing but a regular file is opened: null then, and it stays as it is.
std::FILE* OpenForOverwrite(const std::string& path);

// Puts a new empty file of the program's own under path in place of whatever is there (made
// beside it and renamed over it, so a link there is replaced, never followed, and a file with
// other names keeps its data under them). Returns its descriptor (close-on-exec), open for
// writing, with readable also for reading, or -1.
int ReplaceWithNewFile(const std::string& path, bool readable = false);

}  // namespace platform
