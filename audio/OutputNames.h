// Names of the files a run leaves in the output folder: numbered live recordings
// ("save_0000.wav", "dump_0000.txt") and files named after the input of a file or batch run
// ("song_01.wav", "song_dump_01.txt").
#pragma once

#include <functional>
#include <string>

namespace output_names {

// Answers whether a file of that name exists (tests give their own).
using ExistsFn = std::function<bool(const std::string&)>;
// Anything under the name counts, a link that points nowhere included.
bool FileExists(const std::string& path);

// The input path's file name without its folder and extension.
std::string BaseName(const std::string& path);
// Its extension with the dot ("" when it has none).
std::string Extension(const std::string& path);

// Live name: folder + prefix + "_%04d" + suffix with *counter, which then moves on (9999 wraps
// to 0). Numbers whose file already exists are passed over, so a recording left by a session
// that ended before it could save its counters is never overwritten; when every number is
// taken, the counter's own number is used and *allTaken (when given) says so.
std::string NextLiveName(const std::string& folder, const char* prefix, const char* suffix, int* counter,
                         const ExistsFn& exists = FileExists, bool* allTaken = nullptr);

// File-run name: folder + base + tag + "_%02d" + suffix with the first n in 1..99 whose file
// does not exist; *all99Taken tells that none was free and n = 100 was used.
std::string NextFileRunName(const std::string& folder, const std::string& base, const char* tag,
                            const char* suffix, bool* all99Taken, const ExistsFn& exists = FileExists);

}  // namespace output_names
