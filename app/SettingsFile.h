// The settings file "sorvel.ini" in the program folder: a record of every value it keeps from
// one run of the program to the next, with the start values as defaults, and its reader and
// writer. The record knows no window: the main dialog copies its members in before writing and
// out after reading.
//
// The file is text, one group of values per line, 27 lines. The reader takes LF or CR LF line
// ends. A value that is missing, malformed, not finite, out of its range or on a line longer
// than kMaxLineLength keeps its default; the other values are still read. A file whose first
// line is not "sorvel" with a version above 2.799 is not read at all.
//
// Both the reader and the writer follow one table of the kept values in SettingsFile.cpp: each
// value's line, format, accepted range, fallback and member.
//
// The writer makes the whole file in a temporary file beside it and renames that over the old
// one, so the file on disk is always either the old or the new one, never a part of either. A
// link in its place is replaced, never written through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Start values of the kept settings: what the record starts with and what a value that is
// missing or out of its range becomes on reading. The windows that hold these settings start
// from the same values.
namespace settings_default {
inline constexpr int kMethod = 0;                      // TD-PSOLA
inline constexpr int kMinKey = 7;                      // lowest key of the voice
inline constexpr int kMaxKey = 40;                     // highest key of the voice
inline constexpr int kAxisMode = 2;                    // on reading, an axis mode out of range becomes 0
inline constexpr int kBatchOverSampling = 4;           // 1, 2 or 4 (3 is read as it is)
inline constexpr float kPresetQ = 1.0f;                // Q of an equaliser preset
inline constexpr int kA4 = 440;                        // tuning of A4 in Hz
inline constexpr const char* kConverterPath = "none";  // no converter chosen
inline constexpr int kShowVolumeGraph = 1;
inline constexpr float kReverbAttenuation = 0.7f;
inline constexpr float kReverbDelay = 0.07f;  // seconds
inline constexpr int kReverbRepeat = 12;
inline constexpr int kMidiProgram = 0;  // -1 none, 0..127
inline constexpr int kLatencyMode = 0;  // 0 standard, 1 small
}  // namespace settings_default

// A stored voice setting: what a voice preset button loads and saves.
struct VoicePreset {
    int nPitch = 0;                           // -48..48
    int nFormant = 0;                         // -24..24
    int nMinKey = settings_default::kMinKey;  // lowest key of the voice, 0..48
    int nMaxKey = settings_default::kMaxKey;  // highest key of the voice, 0..48
    int nA4 = settings_default::kA4;          // 220..880 Hz
    float fCorrTh = 0.5f;                     // correlation threshold 0..1
    float fAmpThreshold = 0.02f;              // 0..1; kept and written back, applied by nothing
    int nKeyRange = 3;                        // lowest note of the keyboard display, 0..4
    float fPeakRatio = 0.9f;                  // 0.1..1; kept and written back, applied by nothing
    int nVoiceMode = 1;                       // 0..6
};

enum class SettingsReadResult {
    NoFile,   // the file could not be opened: every value keeps its default
    Ignored,  // another program's file or an older version: every value keeps its default
    Read,     // the file was read (values it lacks or that were unusable keep their defaults)
};

class CSettingsFile {
public:
    static constexpr const char* kFileName = "sorvel.ini";
    static constexpr const char* kVersion = "2.87";
    static constexpr int kLineCount = 27;
    // Longest line content (without its line end) that is read; longer lines count as unusable
    // and text values longer than this are not written.
    static constexpr std::size_t kMaxLineLength = 4095;
    static constexpr const char* kMapperName = "WAVE MAPPER";

    // appFolder: the program folder, ending with '/'; it is the default output folder.
    explicit CSettingsFile(const std::string& appFolder);

    // Removes temporary files that a write cut off (a killed process) left in the program folder.
    // Only the instance that holds the folder's lock may call it.
    static void RemoveStaleTemporaries(const std::string& appFolder);

    // Whether a converter path is one the settings keep: a program the user can run (a regular
    // file with an execute permission), or a path that ends in the converter's own file name
    // (ignoring case) whether or not it is there now. The settings dialog accepts the same.
    static bool KeepsConverterPath(const std::string& path);

    // Q of an equaliser preset: outside this range a preset's Q takes its default.
    static constexpr float kMinPresetQ = 0.01f;
    static constexpr float kMaxPresetQ = 100.0f;

    // Reads the file at path into the record.
    SettingsReadResult Read(const std::string& path);
    // The same for the text of a file.
    SettingsReadResult Parse(std::string_view text);

    // The 27 lines of the file, with timeSeconds (seconds since 1970) on line 2.
    std::string Format(std::int64_t timeSeconds) const;
    // Writes the file with the current time. False (and the old file untouched) when it could
    // not be written whole.
    bool Write(const std::string& path) const;
    bool Write(const std::string& path, std::int64_t timeSeconds) const;

    // --- The values, named as the main dialog's members they come from ------------------------
    int m_nMethod = settings_default::kMethod;  // 0 TD-PSOLA, 1 phase vocoder
    // Pitch and formant trackbars and the two key combos: stored and read back, but start-up
    // does not apply them.
    int m_nPitch = 0;
    int m_nFormant = 0;
    int m_nMinKey = settings_default::kMinKey;
    int m_nMaxKey = settings_default::kMaxKey;
    int m_nAxisMode = settings_default::kAxisMode;                    // 0..3
    int m_nBatchOverSampling = settings_default::kBatchOverSampling;  // 1..4
    int m_nPresetGain[4][11] = {};
    float m_fPresetQ[4] = {settings_default::kPresetQ, settings_default::kPresetQ, settings_default::kPresetQ,
                           settings_default::kPresetQ};
    VoicePreset m_voicePreset[4];
    int m_nSaveCounter = 0;             // 0..9999
    int m_nDumpCounter = 0;             // 0..9999
    int m_nA4 = settings_default::kA4;  // 220..880
    std::string m_strOutputFolder;      // ends with '/'
    std::string m_strConverterPath = settings_default::kConverterPath;
    int m_bShowVolumeGraph = settings_default::kShowVolumeGraph;
    float m_fReverbAttenuation = settings_default::kReverbAttenuation;
    float m_fReverbDelay = settings_default::kReverbDelay;
    int m_nReverbRepeat = settings_default::kReverbRepeat;
    int m_nMidiProgram = settings_default::kMidiProgram;  // -1 none, 0..127
    // Device names. Without a file they stay "WAVE MAPPER"; when the file was read but gave no
    // usable name they are empty, which matches no device.
    std::string m_strWaveInName = kMapperName;
    std::string m_strWaveOutName = kMapperName;
    int m_nLatencyMode = settings_default::kLatencyMode;
    // The program folder: the default output folder, and what a relative one is relative to.
    std::string m_strAppFolder;
};

// Message shown when the user closes the window and the settings file could not be written
// (the old file stays as it was).
inline constexpr const char* kSettingsNotSavedMessage =
    "ini01: 設定ファイル(sorvel.ini)に書き込めないため、今回の設定は保存されませんでした。";

// Message shown when the recording device saved in the settings file is no longer present.
inline constexpr const char* kMissingInDeviceMessage =
    "前回設定した録音デバイスが存在しないのでWAVE MAPPERに設定しました。";
// Message shown when the playback device saved in the settings file is no longer present.
inline constexpr const char* kMissingOutDeviceMessage =
    "前回設定した再生デバイスが存在しないのでWAVE MAPPERに設定しました。";

struct DeviceChoice {
    int index = 0;          // table entry to use
    bool notFound = false;  // the saved name matched no entry: entry 0 is used and the user is told
};

// Finds the saved device name in a device table (entry 0 "WAVE MAPPER", then the devices): the
// first entry with exactly that name. An empty name matches nothing.
DeviceChoice FindSavedDevice(const std::string& savedName, const std::vector<std::string>& tableNames);
