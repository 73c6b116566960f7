// Path helpers. Folders end with '/'.
#pragma once

#include <string>

namespace platform {

// Folder of the running executable, ending with '/'.
std::string ProgramFolder();
// The folder part of a path, keeping its trailing '/'; a path without '/' is returned whole.
std::string FolderOf(const std::string& path);
// The file name part of a path (everything after the last '/').
std::string FileNameOf(const std::string& path);
// Appends '/' when the folder does not already end with one (an empty folder stays empty).
std::string WithTrailingSlash(const std::string& folder);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);

}  // namespace platform
