// Reading a pitch dump back: the twelve header lines and the rows, read word by word (tabs,
// blanks and line ends all separate words, so CR LF and LF files read alike), every number
// range-checked, into a record that the caller applies only when the whole file was good.
#include "audio/PitchDumpLoader.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/base/fileopen.h"

namespace {

constexpr int kMaxWord = 511;  // longest word or path the dump may hold
constexpr int kMaxKeyIndex = 48;

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Whitespace-separated words of a file, as formatted input reads them: the character that ends
// a word stays unread.
class WordReader {
public:
    enum Result { kWord, kEnd, kTooLong };

    explicit WordReader(std::FILE* fp) : m_fp(fp) {}

    Result Next(std::string* word) {
        word->clear();
        int c = std::getc(m_fp);
        while (c != EOF && IsSpace(c)) c = std::getc(m_fp);
        if (c == EOF) return kEnd;
        while (c != EOF && !IsSpace(c)) {
            if (static_cast<int>(word->size()) == kMaxWord) return kTooLong;
            word->push_back(static_cast<char>(c));
            c = std::getc(m_fp);
        }
        if (c != EOF) std::ungetc(c, m_fp);
        return kWord;
    }

    int Char() { return std::getc(m_fp); }

private:
    std::FILE* m_fp;
};

// A whole word as an int (an optional sign and digits, nothing else, within the int range).
bool ToInt(const std::string& word, int* value) {
    const char* first = word.data();
    const char* last = first + word.size();
    if (first != last && *first == '+') ++first;
    long long v = 0;
    const auto res = std::from_chars(first, last, v);
    if (res.ec != std::errc() || res.ptr != last || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

// A whole word as a float, read in single precision whatever the locale says.
bool ToFloat(const std::string& word, float* value) {
    const char* first = word.data();
    const char* last = first + word.size();
    if (first != last && *first == '+') ++first;
    float v = 0.0f;
    const auto res = std::from_chars(first, last, v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != last) return false;
    *value = v;
    return true;
}

bool EndsPlayable(const std::string& path) {
    return path.size() >= 4 && IsPlayableExtension(path.c_str() + path.size() - 4);
}

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};

}  // namespace

bool IsPlayableExtension(const char* p) {
    if (p == nullptr || std::strlen(p) != 4 || p[0] != '.') return false;
    char lower[4];
    for (int i = 1; i < 4; ++i) lower[i - 1] = static_cast<char>(std::tolower(static_cast<unsigned char>(p[i])));
    lower[3] = '\0';
    return std::strcmp(lower, "wav") == 0 || std::strcmp(lower, "mp3") == 0;
}

namespace pitch_dump {

LoadStatus ReadChorusDump(const std::string& path, int maxRows, ChorusDump* out) {
    *out = ChorusDump{};
    std::unique_ptr<std::FILE, FileCloser> file(platform::OpenRegularFile(path, "rb"));
    if (!file) return LoadStatus::OpenFailed;
    return ReadChorusDump(file.get(), maxRows, out);
}

LoadStatus ReadChorusDump(std::FILE* fp, int maxRows, ChorusDump* out) {
    *out = ChorusDump{};
    WordReader in(fp);
    std::string word;
    std::string value;
    const auto pair = [&]() { return in.Next(&word) == WordReader::kWord && in.Next(&value) == WordReader::kWord; };

    // "sorvel" and a version above 2.2, read in single precision and compared in double.
    float version = 0.0f;
    if (!pair() || word != "sorvel" || !ToFloat(value, &version) || !(static_cast<double>(version) > 2.2))
        return LoadStatus::NotADump;

    // The input path; a path with blanks goes on, character by character, to its playable ending.
    if (!pair()) return LoadStatus::ContentError;
    std::string wav = value;
    while (!EndsPlayable(wav)) {
        const int c = in.Char();
        if (c == EOF || c == '\r' || c == '\n' || static_cast<int>(wav.size()) == kMaxWord) return LoadStatus::ContentError;
        wav.push_back(static_cast<char>(c));
    }
    out->wavPath = wav;
    {
        std::unique_ptr<std::FILE, FileCloser> wavFile(platform::OpenRegularFile(wav, "rb"));
        if (!wavFile) return LoadStatus::WavMissing;
    }

    // Dumps after 2.639 give the unit of their marks.
    int number = 0;
    out->overSampling = 1;
    if (static_cast<double>(version) > 2.639) {
        if (!pair() || word != "OverSampling" || !ToInt(value, &number) || number < 1 || number > 8)
            return LoadStatus::ContentError;
        out->overSampling = number;
    }

    // The tuning is only checked: the key table keeps the program's own.
    if (!pair() || !ToInt(value, &number) || number < 220 || number > 880) return LoadStatus::ContentError;

    std::string keyName;
    const auto key = [&](int* index) {
        return in.Next(&word) == WordReader::kWord && in.Next(&keyName) == WordReader::kWord &&
               in.Next(&value) == WordReader::kWord && ToInt(value, index);
    };
    if (!key(&out->minKey) || !key(&out->maxKey)) return LoadStatus::ContentError;
    if (out->minKey < 0 || out->minKey > out->maxKey || out->maxKey > kMaxKeyIndex) return LoadStatus::ContentError;

    if (!pair()) return LoadStatus::ContentError;
    const float threshold = static_cast<float>(std::atof(value.c_str()));
    if (!(threshold >= 0.0f && threshold <= 1.0f)) return LoadStatus::ContentError;
    out->corrThText = value;

    if (!pair() || !ToInt(value, &number) || (number != 0 && number != 1)) return LoadStatus::ContentError;
    out->pitchShiftEnable = number == 1;

    float level = 0.0f;
    if (!pair() || !ToFloat(value, &level) || !(level >= 0.0f && level <= 2.0f)) return LoadStatus::ContentError;
    out->mixOriginal = level;
    if (!pair() || !ToFloat(value, &level) || !(level >= 0.0f && level <= 2.0f)) return LoadStatus::ContentError;
    out->mixChorus = level;

    // The six column titles.
    for (int i = 0; i < 6; ++i) {
        if (in.Next(&word) != WordReader::kWord) return LoadStatus::ContentError;
    }

    // Rows: Samples, Time, MaxAmp, Hz, Note, Chorus. Fields are read without regard to line
    // ends; a row that the end of the file cuts short is dropped.
    int previous = -1;
    std::string field[6];
    while (static_cast<int>(out->marks.size()) < maxRows) {
        int got = 0;
        WordReader::Result r = WordReader::kWord;
        while (got < 6 && (r = in.Next(&field[got])) == WordReader::kWord) ++got;
        if (r == WordReader::kTooLong) return LoadStatus::ContentError;
        if (got < 6) break;

        int mark = 0;
        int amplitude = 0;
        float chorus = 0.0f;
        if (!ToInt(field[0], &mark) || mark < 0 || mark < previous) return LoadStatus::ContentError;
        if (!ToInt(field[2], &amplitude)) return LoadStatus::ContentError;
        if (!ToFloat(field[5], &chorus) || !(chorus == 127.0f || (chorus >= -64.0f && chorus <= 64.0f)))
            return LoadStatus::ContentError;
        previous = mark;
        out->marks.push_back(mark);
        out->amplitudes.push_back(static_cast<short>(amplitude > 32767 ? 32767 : (amplitude < -32768 ? -32768 : amplitude)));
        out->chorus.push_back(chorus);
    }
    return LoadStatus::Ok;
}

std::string LoadMessage(LoadStatus status, const std::string& wavPath) {
    switch (status) {
    case LoadStatus::Ok: return std::string();
    case LoadStatus::OpenFailed: return "File open error !";
    case LoadStatus::NotADump: return "This is not a sorvel v2.3 dump file.";
    case LoadStatus::WavMissing: return wavPath + " open error !";
    case LoadStatus::ContentError: break;
    }
    return "File contents error !";
}

}  // namespace pitch_dump
