// The outside converter: patching its settings file, running it on one file and taking its
// output. Runs on the user-interface thread for a file run and on the batch thread in a batch;
// the caller waits until the converter has ended.
#include "audio/ConverterBridge.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "app/WaveInOutDlg.h"
#include "audio/OutputNames.h"
#include "audio/SetAside.h"
#include "batch/BatchDlg.h"
#include "platform/base/fileopen.h"
#include "platform/base/paths.h"
#include "platform/base/process.h"
#include "platform/ui/dialog.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"
#include "platform/ui/windowsystem.h"

namespace {

constexpr const char* kConverterMissing =
    "EcoDecoTooL.exeが見つかりません。\r\n「設定」から再度EcoDecoTooL.exeを指定して下さい";
constexpr const char* kIniMissing =
    "EcoDecoTooL.iniが存在しません。\r\nEcoDecoTooL.exeを起動して終了してから再度この処理を行って下さい。";
constexpr const char* kIniQuestion = "EcoDecoTooL.iniを「ソルベル」用に変更します。よろしいですか？";
constexpr const char* kIniChangeFailed = "EcoDecoTooL.iniの変更に失敗しました。";
constexpr const char* kRenameFailed = "ファイル名の変更に失敗しました。";
// Told at start, followed by one line per folder: the entry's path in it, or the folder and how
// many entries it holds.
constexpr const char* kLeftAside =
    "変換の途中でソルベルが終了したため、次のファイルを元の場所に戻せませんでした。\r\n"
    "ファイルは次のフォルダにあります。";
constexpr const char* kEntriesSuffix = "個のファイル";

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Reads a regular file whole, with its permission bits; a named pipe, a device or a folder in
// its place is refused at once (a pipe with no writer would hold the caller for good).
bool ReadWhole(const std::string& path, std::string* text, mode_t* mode = nullptr) {
    std::FILE* fp = platform::OpenRegularFile(path, "rb");
    if (fp == nullptr) return false;
    struct stat st {};
    bool ok = ::fstat(::fileno(fp), &st) == 0;
    std::string out;
    char buf[8192];
    std::size_t n;
    while (ok && (n = std::fread(buf, 1, sizeof buf, fp)) > 0) out.append(buf, n);
    ok = ok && std::ferror(fp) == 0;
    std::fclose(fp);
    if (!ok) return false;
    *text = std::move(out);
    if (mode != nullptr) *mode = st.st_mode & 0777;
    return true;
}

// Writes data whole to fd; false when it could not.
bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Makes path a new file of the program's own for a helper copy: nothing under that name is
// written through or replaced but a stale copy of this user's, so a link planted there (a
// program folder others can write) leads nowhere. The file gets the permission bits mode (never
// set-user-id, set-group-id or sticky), set through the descriptor, or keeps what the umask
// gives when mode is negative. Returns the descriptor or -1.
int CreateHelperFile(const std::string& path, int mode) {
    const int fd = platform::CreateFreshFile(path);
    if (fd < 0) return -1;
    if (mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode) & 0777) != 0) {
        platform::RemoveCreatedFile(fd, path);
        ::close(fd);
        return -1;
    }
    return fd;
}

// Ends the writing of a helper file made by CreateHelperFile: closed, and removed again when
// anything went wrong (ok false). True when the file is whole.
bool FinishHelperFile(int fd, const std::string& path, bool ok) {
    if (!ok) platform::RemoveCreatedFile(fd, path);
    if (::close(fd) != 0 && ok) {
        std::remove(path.c_str());
        return false;
    }
    return ok;
}

// Writes text to path whole with the permission bits mode; false (and no file left) when it
// could not.
bool WriteWhole(const std::string& path, const std::string& text, mode_t mode) {
    const int fd = CreateHelperFile(path, static_cast<int>(mode));
    if (fd < 0) return false;
    return FinishHelperFile(fd, path, WriteAll(fd, text.data(), text.size()));
}

// Puts a new content in place of path: written beside it and renamed over it, so the file is
// the old one or the new one, never a part of either.
bool ReplaceWhole(const std::string& path, const std::string& text, mode_t mode) {
    const std::string beside = path + ".new";
    if (!WriteWhole(beside, text, mode)) return false;
    if (std::rename(beside.c_str(), path.c_str()) != 0) {
        std::remove(beside.c_str());
        return false;
    }
    return true;
}

// The identity of what lies under a name, seen without following a link (lstat) or at the end
// of the links (stat); exists false when there is nothing.
struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId& o) const { return exists && o.exists && dev == o.dev && ino == o.ino; }
};

FileId IdOf(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return {};
    return {true, st.st_dev, st.st_ino};
}

// Whether path, seen without following a link, is a regular file of this user's with no other
// name: what the program itself leaves under its target name.
bool OwnSingleFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
}

bool IsRegular(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint32_t LittleEndian32(const unsigned char* p) {
    return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16) |
           (static_cast<std::uint32_t>(p[3]) << 24);
}

// Whether path is a WAV file without a sample in it: a RIFF WAVE form whose "data" chunk holds
// no bytes, or that has none. Anything that is not a WAVE form is left to the opening to judge.
bool WavWithoutAudio(const std::string& path) {
    std::FILE* fp = platform::OpenRegularFile(path, "rb", false);
    if (fp == nullptr) return false;
    unsigned char head[12];
    bool none = false;
    if (std::fread(head, 1, sizeof head, fp) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WAVE", 4) == 0) {
        none = true;
        unsigned char chunk[8];
        while (std::fread(chunk, 1, sizeof chunk, fp) == sizeof chunk) {
            const std::uint32_t size = LittleEndian32(chunk + 4);
            if (std::memcmp(chunk, "data", 4) == 0) {
                none = size == 0 || std::fgetc(fp) == EOF;
                break;
            }
            if (::fseeko(fp, static_cast<off_t>(size) + (size & 1), SEEK_CUR) != 0) break;
        }
    }
    std::fclose(fp);
    return none;
}

enum class Section { None, ComboBox, Radio, Edit };

// The value of key= in the [Edit] section names the folder f (with or without a final '/').
bool SameFolder(const std::string& value, const std::string& f) { return value == f || value == f + "/"; }

// The settings text with the three sections' keys as the program needs them; *changes counts
// the lines written in place of others. Each line keeps the line end it had.
std::string PatchedIni(const std::string& text, const std::string& f, int* changes) {
    std::string out;
    out.reserve(text.size() + 64);
    Section section = Section::None;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        std::string line = text.substr(pos, end - pos);
        pos = end;
        std::string eol;
        std::string body = line;
        if (!body.empty() && body.back() == '\n') {
            body.pop_back();
            eol = "\n";
            if (!body.empty() && body.back() == '\r') {
                body.pop_back();
                eol = "\r\n";
            }
        }
        if (StartsWith(body, "[")) {
            if (StartsWith(body, "[ComboBox]")) section = Section::ComboBox;
            else if (StartsWith(body, "[Radio]")) section = Section::Radio;
            else if (StartsWith(body, "[Edit]")) section = Section::Edit;
            else section = Section::None;
            out += line;
            continue;
        }
        std::string replacement;
        bool replace = false;
        if (section == Section::ComboBox && StartsWith(body, "1003=") && !StartsWith(body, "1003=0")) {
            replacement = "1003=0";
            replace = true;
        } else if (section == Section::Radio && StartsWith(body, "wav=") && !StartsWith(body, "wav=1")) {
            replacement = "wav=1";
            replace = true;
        } else if (section == Section::Radio && StartsWith(body, "outfolder=") && !StartsWith(body, "outfolder=1")) {
            replacement = "outfolder=1";
            replace = true;
        } else if (section == Section::Edit && StartsWith(body, "outfolder=") &&
                   !SameFolder(body.substr(std::strlen("outfolder=")), f)) {
            replacement = "outfolder=" + f;
            replace = true;
        }
        if (replace) {
            out += replacement + eol;
            ++*changes;
        } else {
            out += line;
        }
    }
    return out;
}

}  // namespace

BOOL PatchConverterIni(const std::string& converterPath, const std::string& folder) {
    if (std::FILE* exe = platform::OpenRegularFile(converterPath, "r")) {
        std::fclose(exe);
    } else {
        AfxMessageBox(kConverterMissing);
        return FALSE;
    }
    const std::string base = output_names::BaseName(converterPath);
    const std::string ini = platform::FolderOf(converterPath) + base + ".ini";
    std::string text;
    // The replaced file keeps the permissions the user gave it (of the file read, never of
    // what a name points to later).
    mode_t mode = 0;
    if (!ReadWhole(ini, &text, &mode)) {
        AfxMessageBox(kIniMissing);
        return FALSE;
    }
    // The working copy in the program folder.
    const std::string work = platform::WithTrailingSlash(folder) + base + ".ini.tmp";
    std::string f = platform::WithTrailingSlash(folder);
    if (f.size() > 1) f.pop_back();
    int changes = 0;
    const std::string patched = PatchedIni(text, f, &changes);
    if (!WriteWhole(work, patched, mode)) {
        AfxMessageBox(kIniChangeFailed);
        return FALSE;
    }
    if (changes == 0) {
        std::remove(work.c_str());
        return TRUE;
    }
    // A settings file its owner made read-only is not the program's to change (a rename would
    // replace it all the same, also for the superuser, who may write any file).
    if ((mode & S_IWUSR) == 0 || ::access(ini.c_str(), W_OK) != 0) {
        std::remove(work.c_str());
        AfxMessageBox(kIniChangeFailed);
        return FALSE;
    }
    if (AfxMessageBox(kIniQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        std::remove(work.c_str());
        return FALSE;
    }
    // Renamed over the settings file when both lie on one file system, else written beside it
    // and renamed; either way the file is the old or the new one.
    const bool replaced = std::rename(work.c_str(), ini.c_str()) == 0 || ReplaceWhole(ini, patched, mode);
    std::remove(work.c_str());
    if (!replaced) {
        AfxMessageBox(kIniChangeFailed);
        return FALSE;
    }
    return TRUE;
}

bool CWaveInOutDlg::CloseAsked() {
    return platform::ui::CloseRequested() || platform::ui::HasPostedMessage(this, WM_CLOSE);
}

BOOL CWaveInOutDlg::RunConverter(const std::string& source, const std::string& target) {
    BOOL told = FALSE;
    return RunConverter(source, target, &told);
}

BOOL CWaveInOutDlg::RunConverter(const std::string& source, const std::string& target, BOOL* pTold) {
    *pTold = TRUE;
    if (!PatchConverterIni(m_strConverterPath, m_strAppFolder)) return FALSE;
    *pTold = FALSE;
    const std::string expected =
        platform::FolderOf(target) + output_names::BaseName(source) + output_names::Extension(target);
    // What a conversion that never ended (the program was killed) set aside goes back first.
    PutBackConverterSetAside(platform::FolderOf(expected));
    // An entry under the output's name that is there already belongs to the user (or is the
    // source). It is moved aside as it is (a link is moved, never followed) into a private folder
    // beside it and put back as it was afterwards, so the converter writes a new file and never
    // writes through it or over it. Under the target's own name (a source named temp.*) the
    // converter's output stays, so only the program's earlier conversion may be there: it is
    // replaced as the target always is; anything else there is left alone and the conversion
    // refused, since it could not be put back.
    const FileId entry = IdOf(expected, false);
    const bool sourceIsEntry = entry.exists && (IdOf(source, false) == entry || IdOf(source, true) == entry);
    std::optional<set_aside::CHeldEntry> aside;
    if (entry.exists && expected == target) {
        if (sourceIsEntry || !OwnSingleFile(expected) || std::remove(expected.c_str()) != 0) {
            WriteTrace("RunConverter: " + expected + " is not the program's own; it is left as it is");
            AfxMessageBox(kRenameFailed);
            *pTold = TRUE;
            return FALSE;
        }
    } else if (entry.exists) {
        aside.emplace(expected);
        if (!aside->Ok()) {
            WriteTrace("RunConverter: cannot keep " + expected + " aside");
            AfxMessageBox(kRenameFailed);
            *pTold = TRUE;
            return FALSE;
        }
    }
    // The source itself was the entry moved aside: the converter reads it there, under its name.
    const std::string input = sourceIsEntry && aside ? aside->Held() : source;
    // Puts the user's entry back as it was; what took its name meanwhile is kept beside it.
    const auto restore = [&] {
        if (!aside) return;
        std::string kept;
        const bool back = aside->PutBack(&kept);
        if (!kept.empty()) WriteTrace("RunConverter: what took the name " + expected + " during the conversion is kept as " + kept);
        if (!back) WriteTrace("RunConverter: cannot put " + expected + " back; it is in " + aside->Folder());
    };
    // The program's own temporary conversion file, removed when the program ends, once a
    // conversion has put its output there.
    const auto took = [&] {
        if (target == platform::WithTrailingSlash(m_strAppFolder) + "temp.wav") m_bMadeTempWav = TRUE;
        return TRUE;
    };

    // 中止 in the batch dialog ends a converter that is still running, and so does a close
    // request while a file run's converter holds the user-interface thread. Meanwhile the window
    // handles what the desktop sends it (paints, the title bar's close button, a termination
    // signal's request) as under a message box; the user's input waits until the wait is over.
    // A close request ends the converter and is deferred until the wait is over, and the
    // program then closes as it does elsewhere.
    const bool onUiThread = !IsBatchRunning();
    std::optional<platform::ui::ModalFrame> waiting;
    if (onUiThread) waiting.emplace();
    const auto aborted = [this, onUiThread] {
        if (!onUiThread) return m_pBatchDlg != nullptr && m_pBatchDlg->m_bAbort.load(std::memory_order_acquire);
        if (auto* ws = platform::ui::GetWindowSystem()) ws->ProcessPendingEvents();
        return CloseAsked();
    };
    const platform::ProcessResult run = platform::RunProcessAndWait(m_strConverterPath, {input}, aborted);
    waiting.reset();
    if (onUiThread) {
        if (auto* ws = platform::ui::GetWindowSystem()) ws->ReleaseHeldInput();
    }
    if (!run.started) {
        WriteTrace("RunConverter: " + m_strConverterPath + " cannot start: " + std::strerror(run.startError));
    } else if (!run.Succeeded()) {
        WriteTrace("RunConverter: " + m_strConverterPath + (run.exited ? " ended with status " + std::to_string(run.exitCode)
                                                                       : " ended by signal " + std::to_string(run.signal)));
    }

    // Once the program is asked to close, a conversion is not taken even when it was done. A
    // WAV without a sample is no output either.
    const bool closing = onUiThread && CloseAsked();
    const bool written = IsRegular(expected);
    const bool wrote = !closing && run.Succeeded() && written && !WavWithoutAudio(expected);
    if (!wrote) {
        // What the converter left in place of the user's entry goes, so the entry can come back.
        if (written) std::remove(expected.c_str());
        restore();
        // A converter ended for a close request did not fail: nothing is told, the program closes.
        if (closing) {
            WriteTrace("RunConverter: ended for a close request");
            *pTold = TRUE;
        }
        return FALSE;
    }
    if (m_inputFile.IsOpen()) m_inputFile.Close();
    // The converter wrote the target itself (a source named temp.*): nothing to move.
    if (expected == target) return took();
    std::remove(target.c_str());
    const bool moved = std::rename(expected.c_str(), target.c_str()) == 0;
    if (!moved) std::remove(expected.c_str());
    restore();
    if (!moved) {
        AfxMessageBox(kRenameFailed);
        *pTold = TRUE;
        return FALSE;
    }
    return took();
}

void CWaveInOutDlg::PutBackConverterSetAside(const std::string& folder) {
    set_aside::RecoverSetAside(folder, [this](const std::string& line) { WriteTrace(line); });
}

void CWaveInOutDlg::RecoverConverterSetAsideAtStart() {
    const std::vector<set_aside::LeftAside> left =
        set_aside::RecoverSetAside(m_strAppFolder, [this](const std::string& line) { WriteTrace(line); });
    if (left.empty()) return;
    std::string text = kLeftAside;
    for (std::size_t i = 0; i < left.size();) {
        std::size_t n = 1;  // the entries of one folder follow each other
        while (i + n < left.size() && left[i + n].folder == left[i].folder) ++n;
        text += "\r\n" + left[i].folder +
                (n == 1 ? platform::FileNameOf(left[i].path) : " (" + std::to_string(n) + kEntriesSuffix + ")");
        i += n;
    }
    AfxMessageBox(text, MB_OK | MB_ICONWARNING);
}
