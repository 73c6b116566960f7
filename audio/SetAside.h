// Entries moved out of the way of the converter's output. A conversion moves whatever is under
// the converter's output name (a link, a second name of a file, a user's own file, a folder, a
// pipe) into a new private folder beside it and renames it back afterwards, so the converter
// writes a new file and never writes through what the user had there.
//
// The folder is made with mkdtemp as ".sorvel-aside-XXXXXX" in the same folder as the entry, and
// the entry keeps its own name inside it: the folder's place and the entry's name are the whole
// record of where it came from. While the conversion runs it holds a lock on the folder (flock),
// so that nothing else takes the entry back under its feet. A folder of that pattern that nobody
// holds was left by a program that ended in the middle of a conversion (killed, or out of
// memory): RecoverSetAside puts its entry back, at the next start and before the next conversion.
//
// An entry goes back to its name first. Whatever is under the name by then (what the unfinished
// conversion wrote, or anything made there since) is never replaced or removed: it is renamed to
// a free name beside it that says what it is, "<name> (<what> <time>)<extension>", with the time
// the entry was set aside.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace set_aside {

// Where a folder of set-aside entries lives: "<folder>/.sorvel-aside-XXXXXX".
inline constexpr const char* kFolderPrefix = ".sorvel-aside-";

// One entry held aside while a conversion runs. Destroying it releases the lock and leaves the
// entry where it is (the program's next start or next conversion puts it back).
class CHeldEntry {
public:
    // Moves the entry under path itself (a link is moved, never followed) aside. Ok() is false
    // when that could not be done; nothing has changed then.
    explicit CHeldEntry(const std::string& path);
    ~CHeldEntry();
    CHeldEntry(const CHeldEntry&) = delete;
    CHeldEntry& operator=(const CHeldEntry&) = delete;

    bool Ok() const { return m_nLock >= 0 && !m_bBack; }
    // The folder that holds the entry, ending with '/', and the entry's path in it.
    const std::string& Folder() const { return m_strFolder; }
    std::string Held() const;
    // Puts the entry back under its name and removes the folder. What took the name while the
    // conversion ran is kept beside it ("made during conversion"); *kept (when given) names where
    // it went, empty when the name was free. False when the entry stays aside.
    bool PutBack(std::string* kept = nullptr);

private:
    std::string m_strPath;
    std::string m_strFolder;
    int m_nLock = -1;
    bool m_bBack = false;
};

// An entry that stays in a set-aside folder: the name it belongs to and the folder (ending with
// '/') it is in.
struct LeftAside {
    std::string path;
    std::string folder;
};

// Puts back every entry set aside in folder (ending with '/') by a conversion that no longer
// runs; what is under its name then is kept beside it ("unfinished conversion"). Nothing is ever
// written over or removed but an empty set-aside folder. Each entry put back (with where what was
// at its name went) or left aside is told through trace, one line each; the entries left aside
// are returned.
std::vector<LeftAside> RecoverSetAside(const std::string& folder, const std::function<void(const std::string&)>& trace);

}  // namespace set_aside
