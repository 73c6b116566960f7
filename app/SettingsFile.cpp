#include "app/SettingsFile.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <initializer_list>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/fileopen.h"
#include "platform/base/paths.h"

namespace {

// No settings file is this big; reading stops here whatever the file holds.
constexpr std::size_t kMaxFileBytes = 1 << 20;

// ---- Reading ------------------------------------------------------------------------------------

struct Line {
    std::string text;
    bool usable = true;  // within the length limit, free of zero bytes and of stray CRs
};

// Cuts bytes into at most kLineCount lines, keeping at most kMaxLineLength bytes of each.
class LineSplitter {
public:
    // False once every line that is read has been collected.
    bool Wants() const { return m_lines.size() < CSettingsFile::kLineCount; }

    void Put(char c) {
        if (c == '\n') {
            Finish();
            return;
        }
        m_open = true;
        if (c == '\0') m_current.usable = false;
        // One byte more than the limit is kept so that a CR before the LF does not count.
        if (m_current.text.size() <= CSettingsFile::kMaxLineLength)
            m_current.text += c;
        else
            m_current.usable = false;
    }

    // The end of the input: a last line without a line end still counts.
    std::vector<Line> Take() {
        if (m_open && Wants()) Finish();
        return std::move(m_lines);
    }

private:
    void Finish() {
        if (!m_current.text.empty() && m_current.text.back() == '\r') m_current.text.pop_back();
        // A CR anywhere else is no line end the writer makes: the line is damaged.
        if (m_current.text.size() > CSettingsFile::kMaxLineLength ||
            m_current.text.find('\r') != std::string::npos)
            m_current.usable = false;
        if (!m_current.usable) m_current.text.clear();
        m_lines.push_back(std::move(m_current));
        m_current = Line();
        m_open = false;
    }

    std::vector<Line> m_lines;
    Line m_current;
    bool m_open = false;
};

// Whitespace between values on a line, as the C library's number reading skips it.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::vector<std::string_view> SplitFields(std::string_view s) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        const std::size_t start = i;
        while (i < s.size() && !IsBlank(s[i])) ++i;
        if (i > start) fields.push_back(s.substr(start, i - start));
    }
    return fields;
}

std::string_view WithoutPlus(std::string_view f) {
    if (f.size() > 1 && f[0] == '+' && f[1] != '-' && f[1] != '+') f.remove_prefix(1);
    return f;
}

// A whole field as a decimal integer (a leading '+' allowed; overflow refused).
bool ParseInt(std::string_view f, int& out) {
    f = WithoutPlus(f);
    int v = 0;
    const auto res = std::from_chars(f.data(), f.data() + f.size(), v);
    if (res.ec != std::errc() || res.ptr != f.data() + f.size()) return false;
    out = v;
    return true;
}

// A whole field as a decimal number in double precision.
bool ParseDouble(std::string_view f, double& out) {
    f = WithoutPlus(f);
    double v = 0.0;
    const auto res = std::from_chars(f.data(), f.data() + f.size(), v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != f.data() + f.size()) return false;
    out = v;
    return true;
}

// A whole field as a finite single-precision number. Infinity and NaN are refused: they would
// reach the equaliser and the reverb as they are.
bool ParseFloat(std::string_view f, float& out) {
    double v = 0.0;
    if (!ParseDouble(f, v) || !std::isfinite(v)) return false;
    const float fv = static_cast<float>(v);
    if (!std::isfinite(fv)) return false;
    out = fv;
    return true;
}

// One value of a line: an integer or a float target.
struct Slot {
    int* i = nullptr;
    float* f = nullptr;
    Slot(int& v) : i(&v) {}
    Slot(float& v) : f(&v) {}
};

// Reads a line that holds exactly these values, in this order, into them: all or nothing.
bool ParseLine(const Line& line, std::initializer_list<Slot> slots) {
    if (!line.usable) return false;
    const auto fields = SplitFields(line.text);
    if (fields.size() != slots.size()) return false;
    int ints[12];
    float floats[12];
    std::size_t k = 0;
    for (const Slot& s : slots) {
        if (k >= 12) return false;
        if (s.i ? !ParseInt(fields[k], ints[k]) : !ParseFloat(fields[k], floats[k])) return false;
        ++k;
    }
    k = 0;
    for (const Slot& s : slots) {
        if (s.i)
            *s.i = ints[k];
        else
            *s.f = floats[k];
        ++k;
    }
    return true;
}

void CheckInt(int& v, int lo, int hi, int fallback) {
    if (v < lo || v > hi) v = fallback;
}

void CheckFloat(float& v, float lo, float hi, float fallback) {
    if (!(v >= lo && v <= hi)) v = fallback;
}

// Both bounds excluded.
void CheckFloatOpen(float& v, float lo, float hi, float fallback) {
    if (!(v > lo && v < hi)) v = fallback;
}

// The converter file name is compared ignoring case. The text is UTF-8, so a tail that equals
// this ASCII name is made of whole characters.
constexpr std::string_view kConverterName = "EcoDecoTooL.exe";

bool EndsWithIgnoringCase(const std::string& s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    const std::size_t off = s.size() - tail.size();
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char a = s[off + i], b = tail[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

}  // namespace

bool CSettingsFile::KeepsConverterPath(const std::string& path) {
    if (path.empty() || path == "none") return false;
    if (EndsWithIgnoringCase(path, kConverterName)) return true;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

namespace {

// Accepts the header line "sorvel <version>" with a version above 2.799.
bool HeaderAccepted(const Line& line) {
    if (!line.usable) return false;
    const auto fields = SplitFields(line.text);
    if (fields.size() < 2 || fields[0] != "sorvel") return false;
    double version = 0.0;
    return ParseDouble(fields[1], version) && version > 2.799;
}

SettingsReadResult Apply(CSettingsFile& s, const std::vector<Line>& lines) {
    if (lines.empty() || !HeaderAccepted(lines[0])) return SettingsReadResult::Ignored;
    // Lines are numbered from 1 as in the file; a missing line reads as an unusable one.
    const Line missing{std::string(), false};
    auto line = [&](int n) -> const Line& {
        return static_cast<std::size_t>(n) <= lines.size() ? lines[static_cast<std::size_t>(n - 1)] : missing;
    };

    // Line 2 holds the time the file was written; nothing reads it.
    int v = 0;
    if (ParseLine(line(3), {v})) s.m_nMethod = v;
    ParseLine(line(4), {s.m_nPitch});
    ParseLine(line(5), {s.m_nFormant});
    ParseLine(line(6), {s.m_nMinKey});
    ParseLine(line(7), {s.m_nMaxKey});
    if (ParseLine(line(8), {v})) {
        CheckInt(v, 0, 3, 0);
        s.m_nAxisMode = v;
    }
    if (ParseLine(line(9), {v})) s.m_nBatchOverSampling = v;

    for (int k = 0; k < 4; ++k) {
        int* g = s.m_nPresetGain[k];
        int gain[11];
        float q = 0.0f;
        if (ParseLine(line(10 + k), {gain[0], gain[1], gain[2], gain[3], gain[4], gain[5], gain[6], gain[7],
                                     gain[8], gain[9], gain[10], q})) {
            // Gains as the band trackbars allow them, Q as the equaliser can use it.
            for (int b = 0; b < 11; ++b) {
                CheckInt(gain[b], -24, 12, 0);
                g[b] = gain[b];
            }
            CheckFloat(q, CSettingsFile::kMinPresetQ, CSettingsFile::kMaxPresetQ, 1.0f);
            s.m_fPresetQ[k] = q;
        }
    }
    CheckInt(s.m_nMethod, 0, 1, 0);
    CheckInt(s.m_nBatchOverSampling, 1, 4, 4);

    for (int k = 0; k < 4; ++k) {
        VoicePreset p = s.m_voicePreset[k];
        if (ParseLine(line(14 + k), {p.nPitch, p.nFormant, p.nMinKey, p.nMaxKey, p.nA4, p.fCorrTh,
                                     p.fAmpThreshold, p.nKeyRange, p.fPeakRatio, p.nVoiceMode})) {
            CheckInt(p.nPitch, -48, 48, 0);
            CheckInt(p.nFormant, -24, 24, 0);
            CheckInt(p.nMinKey, 0, 48, 7);
            CheckInt(p.nMaxKey, 0, 48, 40);
            if (p.nMinKey > p.nMaxKey) {
                // A range whose lowest key lies above its highest is no range.
                p.nMinKey = 7;
                p.nMaxKey = 40;
            }
            CheckInt(p.nA4, 220, 880, 440);
            CheckFloat(p.fCorrTh, 0.0f, 1.0f, 0.5f);
            CheckFloat(p.fAmpThreshold, 0.0f, 1.0f, 0.02f);
            CheckInt(p.nKeyRange, 0, 4, 3);
            CheckFloat(p.fPeakRatio, 0.1f, 1.0f, 0.9f);
            CheckInt(p.nVoiceMode, 0, 6, 1);
            s.m_voicePreset[k] = p;
        }
    }

    int save = 0, dump = 0;
    if (ParseLine(line(18), {save, dump})) {
        CheckInt(save, 0, 9999, 0);
        CheckInt(dump, 0, 9999, 0);
        s.m_nSaveCounter = save;
        s.m_nDumpCounter = dump;
    }
    if (ParseLine(line(19), {v})) {
        CheckInt(v, 220, 880, 440);
        s.m_nA4 = v;
    }

    // A relative folder is relative to the program folder, wherever the program was started from.
    const Line& folder = line(20);
    if (folder.usable && !folder.text.empty() && folder.text.back() == '/')
        s.m_strOutputFolder = folder.text.front() == '/' ? folder.text : s.m_strAppFolder + folder.text;

    const Line& converter = line(21);
    if (converter.usable && CSettingsFile::KeepsConverterPath(converter.text)) s.m_strConverterPath = converter.text;

    if (ParseLine(line(22), {v})) {
        CheckInt(v, 0, 1, 1);
        s.m_bShowVolumeGraph = v;
    }

    float att = 0.0f, delay = 0.0f;
    int repeat = 0;
    if (ParseLine(line(23), {att, delay, repeat})) {
        CheckFloatOpen(att, 0.049f, 0.951f, 0.7f);
        CheckFloatOpen(delay, 0.009f, 0.101f, 0.07f);
        CheckInt(repeat, 1, 15, 12);
        s.m_fReverbAttenuation = att;
        s.m_fReverbDelay = delay;
        s.m_nReverbRepeat = repeat;
    }
    if (ParseLine(line(24), {v})) {
        CheckInt(v, -1, 127, 0);
        s.m_nMidiProgram = v;
    }

    // A name that is missing or unusable is kept empty, so it matches no device and the user
    // is told that the mapper is used.
    s.m_strWaveInName = line(25).text;
    s.m_strWaveOutName = line(26).text;

    if (ParseLine(line(27), {v})) {
        CheckInt(v, 0, 1, 0);
        s.m_nLatencyMode = v;
    }
    return SettingsReadResult::Read;
}

// ---- Writing ------------------------------------------------------------------------------------

void AppendInt(std::string& out, int v, int width = 0) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%*d", width, v);
    out += buf;
}

// A number with a fixed count of decimals, right-aligned in width columns, as "%W.Pf" writes
// it, but always with a decimal point whatever the user's locale says.
void AppendFixed(std::string& out, double v, int decimals, int width = 0) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    const std::size_t n = res.ec == std::errc() ? static_cast<std::size_t>(res.ptr - buf) : 0;
    if (n < static_cast<std::size_t>(width)) out.append(static_cast<std::size_t>(width) - n, ' ');
    out.append(buf, n);
}

// A text value as one line. A value that would break the line layout (a line end or a zero
// byte inside) or that is too long to be read back is written as an empty line, which the
// reader does not take.
void AppendTextLine(std::string& out, const std::string& s) {
    if (s.size() <= CSettingsFile::kMaxLineLength &&
        s.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos)
        out += s;
    out += '\n';
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

CSettingsFile::CSettingsFile(const std::string& appFolder) : m_strOutputFolder(appFolder), m_strAppFolder(appFolder) {}

void CSettingsFile::RemoveStaleTemporaries(const std::string& appFolder) {
    const std::string prefix = std::string(".") + kFileName + ".";
    DIR* dir = ::opendir(appFolder.empty() ? "." : appFolder.c_str());
    if (dir == nullptr) return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0)
            ::unlink((appFolder + name).c_str());
    }
    ::closedir(dir);
}

SettingsReadResult CSettingsFile::Parse(std::string_view text) {
    LineSplitter splitter;
    const std::size_t n = text.size() < kMaxFileBytes ? text.size() : kMaxFileBytes;
    for (std::size_t i = 0; i < n && splitter.Wants(); ++i) splitter.Put(text[i]);
    return Apply(*this, splitter.Take());
}

SettingsReadResult CSettingsFile::Read(const std::string& path) {
    std::FILE* f = platform::OpenRegularFile(path, "rb");
    if (!f) return SettingsReadResult::NoFile;
    LineSplitter splitter;
    char buf[4096];
    std::size_t total = 0;
    std::size_t got;
    while (splitter.Wants() && total < kMaxFileBytes && (got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        for (std::size_t i = 0; i < got && splitter.Wants(); ++i) splitter.Put(buf[i]);
        total += got;
    }
    std::fclose(f);
    return Apply(*this, splitter.Take());
}

std::string CSettingsFile::Format(std::int64_t timeSeconds) const {
    std::string out;
    out.reserve(1024);
    out += "sorvel ";
    out += kVersion;
    out += '\n';

    // Line 2: the 64-bit time, low 32 bits then high 32 bits, each read as a signed number.
    const auto t = static_cast<std::uint64_t>(timeSeconds);
    AppendInt(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(t & 0xFFFFFFFFu)));
    out += ' ';
    AppendInt(out, static_cast<std::int32_t>(static_cast<std::uint32_t>(t >> 32)));
    out += '\n';

    for (int v : {m_nMethod, m_nPitch, m_nFormant, m_nMinKey, m_nMaxKey, m_nAxisMode, m_nBatchOverSampling}) {
        AppendInt(out, v);
        out += '\n';
    }

    for (int k = 0; k < 4; ++k) {
        for (int b = 0; b < 11; ++b) {
            AppendInt(out, m_nPresetGain[k][b], 2);
            out += ' ';
        }
        AppendFixed(out, m_fPresetQ[k], 3, 6);
        out += '\n';
    }

    for (const VoicePreset& p : m_voicePreset) {
        for (int v : {p.nPitch, p.nFormant, p.nMinKey, p.nMaxKey, p.nA4}) {
            AppendInt(out, v);
            out += ' ';
        }
        AppendFixed(out, p.fCorrTh, 6);
        out += ' ';
        AppendFixed(out, p.fAmpThreshold, 6);
        out += ' ';
        AppendInt(out, p.nKeyRange);
        out += ' ';
        AppendFixed(out, p.fPeakRatio, 6);
        out += ' ';
        AppendInt(out, p.nVoiceMode);
        out += '\n';
    }

    AppendInt(out, m_nSaveCounter);
    out += ' ';
    AppendInt(out, m_nDumpCounter);
    out += '\n';
    AppendInt(out, m_nA4);
    out += '\n';
    AppendTextLine(out, m_strOutputFolder);
    AppendTextLine(out, m_strConverterPath);
    AppendInt(out, m_bShowVolumeGraph);
    out += '\n';
    AppendFixed(out, m_fReverbAttenuation, 6);
    out += ' ';
    AppendFixed(out, m_fReverbDelay, 6);
    out += ' ';
    AppendInt(out, m_nReverbRepeat);
    out += '\n';
    AppendInt(out, m_nMidiProgram);
    out += '\n';
    AppendTextLine(out, m_strWaveInName);
    AppendTextLine(out, m_strWaveOutName);
    AppendInt(out, m_nLatencyMode);
    out += '\n';
    return out;
}

bool CSettingsFile::Write(const std::string& path) const {
    return Write(path, static_cast<std::int64_t>(std::time(nullptr)));
}

bool CSettingsFile::Write(const std::string& path, std::int64_t timeSeconds) const {
    if (path.empty() || path.back() == '/') return false;
    const std::string text = Format(timeSeconds);
    const std::string folder = platform::FolderOf(path);
    const std::string base = path.substr(folder.size() == path.size() ? 0 : folder.size());
    const std::string dir = folder.size() == path.size() ? std::string() : folder;

    // A new file beside the target; O_EXCL so that nothing already there is ever written into.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = dir + "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(g_tempCounter++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST && errno != EINTR) return false;
    }
    if (fd < 0) return false;

    // The new file keeps the permissions the user gave the old one.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) (void)::fchmod(fd, old.st_mode & 07777);

    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

DeviceChoice FindSavedDevice(const std::string& savedName, const std::vector<std::string>& tableNames) {
    if (!savedName.empty()) {
        for (std::size_t i = 0; i < tableNames.size(); ++i) {
            if (tableNames[i] == savedName) return DeviceChoice{static_cast<int>(i), false};
        }
    }
    return DeviceChoice{0, true};
}
