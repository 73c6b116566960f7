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

// The member a value of a line fills: an integer, a float or a text.
struct Slot {
    int* i = nullptr;
    float* f = nullptr;
    std::string* t = nullptr;
    Slot() = default;
    Slot(int& v) : i(&v) {}
    Slot(float& v) : f(&v) {}
    Slot(std::string& v) : t(&v) {}
};

// Most values on one line (an equaliser preset: eleven gains and Q).
constexpr std::size_t kMaxLineValues = 12;

// Reads a line that holds exactly these numbers, in this order, into them: all or nothing.
bool ParseLine(const Line& line, const Slot* slots, std::size_t count) {
    if (!line.usable || count > kMaxLineValues) return false;
    const auto fields = SplitFields(line.text);
    if (fields.size() != count) return false;
    int ints[kMaxLineValues];
    float floats[kMaxLineValues];
    for (std::size_t k = 0; k < count; ++k) {
        if (slots[k].i ? !ParseInt(fields[k], ints[k]) : !ParseFloat(fields[k], floats[k])) return false;
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (slots[k].i)
            *slots[k].i = ints[k];
        else
            *slots[k].f = floats[k];
    }
    return true;
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
    if (path.empty() || path == settings_default::kConverterPath) return false;
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

// ---- The kept values ------------------------------------------------------------------------------

// What a text line becomes on reading: false keeps the member as it is.
using TextRule = bool (*)(const CSettingsFile& s, const Line& line, std::string& value);

// A relative folder is relative to the program folder, wherever the program was started from.
bool TakeFolder(const CSettingsFile& s, const Line& line, std::string& value) {
    if (!line.usable || line.text.empty() || line.text.back() != '/') return false;
    value = line.text.front() == '/' ? line.text : s.m_strAppFolder + line.text;
    return true;
}

bool TakeConverter(const CSettingsFile&, const Line& line, std::string& value) {
    if (!line.usable || !CSettingsFile::KeepsConverterPath(line.text)) return false;
    value = line.text;
    return true;
}

// A device name that is missing or unusable is kept empty, so it matches no device and the
// user is told that the mapper is used.
bool TakeName(const CSettingsFile&, const Line& line, std::string& value) {
    value = line.text;
    return true;
}

enum class Range {
    Any,     // taken as read
    Closed,  // lo <= v <= hi
    Open,    // lo < v < hi
};

// The values a number may take. The bounds hold the member's own type exactly (an int or a
// float).
struct Bounds {
    Range range;
    double lo, hi;
};

constexpr Bounds kAnyValue{Range::Any, 0.0, 0.0};
constexpr Bounds In(double lo, double hi) { return Bounds{Range::Closed, lo, hi}; }
constexpr Bounds Inside(double lo, double hi) { return Bounds{Range::Open, lo, hi}; }

using Member = Slot (*)(CSettingsFile& s, int k, int j);

// One kept value: where it stands in the file, how it is written, which values are taken on
// reading and what takes the place of any other, and the member it fills. The values of one
// line follow each other in the table in their order on the line; written, they are separated
// by one blank.
struct Field {
    int line;         // counted from 1 as in the file
    int presets;      // 4 for a preset's value (preset k stands on line + k), else 1
    int count;        // values side by side on the line (the eleven gains), else 1
    int width;        // columns a number is right-aligned in, 0 for none
    int decimals;     // of a float, written with a decimal point whatever the locale
    Bounds bounds;    // of a number
    double fallback;  // what a number outside the bounds becomes, exactly in the member's type
    TextRule take;    // a text line: how it is read (nullptr for numbers)
    Member member;    // value j of preset k
};

// The width and decimals of a "%d", "%Wd", "%f" or "%W.Pf" format.
constexpr int FormatNumber(const char* format, bool decimals) {
    int i = 1, width = 0, places = 6;
    for (; format[i] >= '0' && format[i] <= '9'; ++i) width = width * 10 + (format[i] - '0');
    if (format[i] == '.')
        for (places = 0, ++i; format[i] >= '0' && format[i] <= '9'; ++i) places = places * 10 + (format[i] - '0');
    return decimals ? places : width;
}

// A number on line `line` of the file, written as `format` says.
constexpr Field Value(int line, const char* format, Bounds bounds, double fallback, Member member) {
    const int width = FormatNumber(format, false), decimals = FormatNumber(format, true);
    return Field{line, 1, 1, width, decimals, bounds, fallback, nullptr, member};
}

// A number of each of the four presets, on lines line .. line + 3; count of them side by side.
constexpr Field Preset(int line, const char* format, Bounds bounds, double fallback, Member member, int count = 1) {
    Field f = Value(line, format, bounds, fallback, member);
    f.presets = 4;
    f.count = count;
    return f;
}

// A text that fills a whole line.
constexpr Field Text(int line, TextRule take, Member member) {
    return Field{line, 1, 1, 0, 0, kAnyValue, 0.0, take, member};
}

#define MEMBER(value) [](CSettingsFile& s, [[maybe_unused]] int k, [[maybe_unused]] int j) -> Slot { return s.value; }

// What a voice preset starts with.
constexpr VoicePreset kStartPreset{};
// The first of the four voice preset lines.
constexpr int kVoicePresetLine = 14;

namespace def = settings_default;

// Lines 1 (the header) and 2 (the time the file was written, read by nothing) hold no values.
const Field kFields[] = {
    Value(3, "%d", In(0, 1), def::kMethod, MEMBER(m_nMethod)),
    // The voice's trackbars and key combos as they were: stored and read back, not applied.
    Value(4, "%d", kAnyValue, 0, MEMBER(m_nPitch)),
    Value(5, "%d", kAnyValue, 0, MEMBER(m_nFormant)),
    Value(6, "%d", kAnyValue, 0, MEMBER(m_nMinKey)),
    Value(7, "%d", kAnyValue, 0, MEMBER(m_nMaxKey)),
    Value(8, "%d", In(0, 3), 0, MEMBER(m_nAxisMode)),  // an unusable axis mode means Log, not the start value
    Value(9, "%d", In(1, 4), def::kBatchOverSampling, MEMBER(m_nBatchOverSampling)),
    // Equaliser presets: gains as the band trackbars allow them, Q as the equaliser can use it.
    Preset(10, "%2d", In(-24, 12), 0, MEMBER(m_nPresetGain[k][j]), 11),
    Preset(10, "%6.3f", In(CSettingsFile::kMinPresetQ, CSettingsFile::kMaxPresetQ), def::kPresetQ,
           MEMBER(m_fPresetQ[k])),
    // Voice presets, their ten values in the order of VoicePreset.
    Preset(kVoicePresetLine, "%d", In(-48, 48), kStartPreset.nPitch, MEMBER(m_voicePreset[k].nPitch)),
    Preset(kVoicePresetLine, "%d", In(-24, 24), kStartPreset.nFormant, MEMBER(m_voicePreset[k].nFormant)),
    Preset(kVoicePresetLine, "%d", In(0, 48), kStartPreset.nMinKey, MEMBER(m_voicePreset[k].nMinKey)),
    Preset(kVoicePresetLine, "%d", In(0, 48), kStartPreset.nMaxKey, MEMBER(m_voicePreset[k].nMaxKey)),
    Preset(kVoicePresetLine, "%d", In(220, 880), kStartPreset.nA4, MEMBER(m_voicePreset[k].nA4)),
    Preset(kVoicePresetLine, "%f", In(0.0f, 1.0f), kStartPreset.fCorrTh, MEMBER(m_voicePreset[k].fCorrTh)),
    Preset(kVoicePresetLine, "%f", In(0.0f, 1.0f), kStartPreset.fAmpThreshold, MEMBER(m_voicePreset[k].fAmpThreshold)),
    Preset(kVoicePresetLine, "%d", In(0, 4), kStartPreset.nKeyRange, MEMBER(m_voicePreset[k].nKeyRange)),
    Preset(kVoicePresetLine, "%f", In(0.1f, 1.0f), kStartPreset.fPeakRatio, MEMBER(m_voicePreset[k].fPeakRatio)),
    Preset(kVoicePresetLine, "%d", In(0, 6), kStartPreset.nVoiceMode, MEMBER(m_voicePreset[k].nVoiceMode)),
    Value(18, "%d", In(0, 9999), 0, MEMBER(m_nSaveCounter)),
    Value(18, "%d", In(0, 9999), 0, MEMBER(m_nDumpCounter)),
    Value(19, "%d", In(220, 880), def::kA4, MEMBER(m_nA4)),
    Text(20, TakeFolder, MEMBER(m_strOutputFolder)),
    Text(21, TakeConverter, MEMBER(m_strConverterPath)),
    Value(22, "%d", In(0, 1), def::kShowVolumeGraph, MEMBER(m_bShowVolumeGraph)),
    Value(23, "%f", Inside(0.049f, 0.951f), def::kReverbAttenuation, MEMBER(m_fReverbAttenuation)),
    Value(23, "%f", Inside(0.009f, 0.101f), def::kReverbDelay, MEMBER(m_fReverbDelay)),
    Value(23, "%d", In(1, 15), def::kReverbRepeat, MEMBER(m_nReverbRepeat)),
    Value(24, "%d", In(-1, 127), def::kMidiProgram, MEMBER(m_nMidiProgram)),
    Text(25, TakeName, MEMBER(m_strWaveInName)),
    Text(26, TakeName, MEMBER(m_strWaveOutName)),
    Value(27, "%d", In(0, 1), def::kLatencyMode, MEMBER(m_nLatencyMode)),
};

// The values of one line of the file for one preset (0 when the line holds no preset), in
// their order on the line, each with its row of the table.
struct LineValues {
    int line = 0;
    std::size_t count = 0;
    Slot slot[kMaxLineValues];
    const Field* field[kMaxLineValues] = {};
};

// Calls visit(values) for lines 3 to 27 in order, with the members of record s.
template <typename Visit>
void ForEachLine(CSettingsFile& s, Visit visit) {
    const std::size_t rows = sizeof kFields / sizeof kFields[0];
    for (std::size_t first = 0; first < rows;) {
        std::size_t end = first + 1;
        while (end < rows && kFields[end].line == kFields[first].line) ++end;
        for (int k = 0; k < kFields[first].presets; ++k) {
            LineValues values;
            values.line = kFields[first].line + k;
            for (std::size_t r = first; r < end; ++r) {
                for (int j = 0; j < kFields[r].count && values.count < kMaxLineValues; ++j, ++values.count) {
                    values.slot[values.count] = kFields[r].member(s, k, j);
                    values.field[values.count] = &kFields[r];
                }
            }
            visit(values);
        }
        first = end;
    }
}

// A number read from the file, replaced by its row's fallback when it is outside the range.
void Check(const Field& f, Slot v) {
    const Bounds& b = f.bounds;
    if (v.i) {
        if (b.range != Range::Any && (*v.i < b.lo || *v.i > b.hi)) *v.i = static_cast<int>(f.fallback);
        return;
    }
    // Compared in single precision, as the member holds it.
    const float lo = static_cast<float>(b.lo), hi = static_cast<float>(b.hi);
    const bool inside = b.range == Range::Any || (b.range == Range::Closed ? (*v.f >= lo && *v.f <= hi)
                                                                          : (*v.f > lo && *v.f < hi));
    if (!inside) *v.f = static_cast<float>(f.fallback);
}

// Reads a line into its members: all of the line's values or none. True when it was read.
bool ReadLine(const CSettingsFile& s, const Line& line, const LineValues& values) {
    const TextRule take = values.field[0]->take;
    if (take != nullptr) {
        std::string text;
        if (!take(s, line, text)) return false;
        *values.slot[0].t = std::move(text);
        return true;
    }
    if (!ParseLine(line, values.slot, values.count)) return false;
    for (std::size_t v = 0; v < values.count; ++v) Check(*values.field[v], values.slot[v]);
    return true;
}

SettingsReadResult Apply(CSettingsFile& s, const std::vector<Line>& lines) {
    if (lines.empty() || !HeaderAccepted(lines[0])) return SettingsReadResult::Ignored;
    // Lines are numbered from 1 as in the file; a missing line reads as an unusable one.
    const Line missing{std::string(), false};
    ForEachLine(s, [&](const LineValues& values) {
        const auto n = static_cast<std::size_t>(values.line);
        if (!ReadLine(s, n <= lines.size() ? lines[n - 1] : missing, values)) return;
        const int k = values.line - kVoicePresetLine;
        if (k >= 0 && k < 4 && s.m_voicePreset[k].nMinKey > s.m_voicePreset[k].nMaxKey) {
            // A range whose lowest key lies above its highest is no range.
            s.m_voicePreset[k].nMinKey = kStartPreset.nMinKey;
            s.m_voicePreset[k].nMaxKey = kStartPreset.nMaxKey;
        }
    });
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

    // The table reaches the members of a writable record: a copy of this one.
    CSettingsFile record = *this;
    ForEachLine(record, [&](const LineValues& values) {
        if (values.field[0]->take != nullptr) {
            AppendTextLine(out, *values.slot[0].t);
            return;
        }
        for (std::size_t v = 0; v < values.count; ++v) {
            if (v > 0) out += ' ';
            const Field& f = *values.field[v];
            if (values.slot[v].i)
                AppendInt(out, *values.slot[v].i, f.width);
            else
                AppendFixed(out, *values.slot[v].f, f.decimals, f.width);
        }
        out += '\n';
    });
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

    // The new file keeps the permission bits the user gave the old one, when that is a regular
    // file itself (never what a link there points to), without set-id or sticky bits; a new
    // file takes what the umask gives.
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) (void)::fchmod(fd, old.st_mode & 0777);

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
