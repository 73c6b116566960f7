// Pitch dump writer: the header when a TD-PSOLA run starts with Dump ticked, and one row per
// pitch period that the analysis (or the batch) finds.
//
// Threads: OpenOutputFiles runs on the user-interface thread (or the batch thread) before the
// engine starts; WriteDumpLine runs on the analysis or batch thread; the dump may be closed by
// STOP or the close operation while a row is being written, so the stream is guarded by
// m_csDump. A writer that finds no open dump writes nothing. Rows are written through at once.
#include "audio/PitchDump.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include <unistd.h>

#include "app/WaveInOutDlg.h"

namespace pitch_dump {

namespace {

std::string Printf(const char* format, auto... args) {
    char buf[1024];
    const int n = std::snprintf(buf, sizeof buf, format, args...);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof buf) return std::string(buf, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, args...);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

}  // namespace

std::string FormatHeader(const Header& h) {
    std::string s = Printf("sorvel\t%s\r\n", CSettingsFile::kVersion);
    s += h.liveInput ? std::string("Input\tMIC\r\n") : "Input\t" + h.inputPath + "\r\n";
    s += Printf("OverSampling\t%d\r\n", h.overSampling);
    s += Printf("A4\t%d\r\n", h.a4);
    s += "MinKey\t" + h.minKeyName + Printf("\t%d\r\n", h.minKey);
    s += "MaxKey\t" + h.maxKeyName + Printf("\t%d\r\n", h.maxKey);
    s += "CorrThresh\t" + h.corrThText + "\r\n";
    s += "PitchShiftEnable\t1\r\n";
    s += h.flattening ? "MixingLevel_Original\t0.0\r\n" : "MixingLevel_Original\t1.0\r\n";
    s += h.flattening ? "MixingLevel_Chorus\t1.0\r\n" : "MixingLevel_Chorus\t0.5\r\n";
    s += h.flattening ? "Samples\tTime     \tMaxAmp\tHz\tNote\tChorus(" + h.targetNote + ")\r\n"
                      : std::string("Samples\tTime     \tMaxAmp\tHz\tNote\tChorus\r\n");
    s += "      0\t 0:00.000\t     0\t  0\t0\t127\r\n";
    return s;
}

std::string FormatTime(int b, int os) {
    // b × 10 leaves the 32-bit range beyond mark 214748364 (long batch files at high
    // oversampling); the time is formed in 64 bits there, the same value below it.
    const std::int64_t t64 = (static_cast<std::int64_t>(b) * 10 / 441) / (os >= 1 ? os : 1);
    const long long t = static_cast<long long>(t64);
    return Printf("%2lld:%02lld.%03lld", t / 60000, (t / 1000) % 60, t % 1000);
}

float PeriodHz(int a, int b, int os) {
    return static_cast<float>(os * 44100) / static_cast<float>(b - a);
}

std::string FormatRow(int b, int os, int amplitude, int hz, const char* note, bool flattening, float chorus) {
    std::string s = Printf("%7d\t", b) + FormatTime(b, os) + Printf("\t%6d\t%3d\t", amplitude, hz);
    s += note != nullptr ? note : "";
    s += flattening ? Printf("\t%8.3f\r\n", static_cast<double>(chorus)) : std::string("\t127\r\n");
    return s;
}

std::string FormatErrorRow(int b) { return Printf("%7d\terror\r\n", b); }

float TargetHz(int a4, int minKey, int maxKey) {
    const int k = (minKey + maxKey) / 2;
    return static_cast<float>(a4) * std::pow(2.0f, static_cast<float>(k - 33) * 0.083333336f);
}

}  // namespace pitch_dump

// --- The main dialog's dump file ---------------------------------------------------------------

void CWaveInOutDlg::CloseDumpFile() {
    std::lock_guard<CCriticalSection> lock(m_csDump);
    if (m_pDumpFile != nullptr) {
        std::fclose(m_pDumpFile);
        m_pDumpFile = nullptr;
    }
}

void CWaveInOutDlg::WriteDumpLine(int nPrevMark, int nMark, int nAmplitude, int nOverSampling) {
    std::lock_guard<CCriticalSection> lock(m_csDump);
    if (m_pDumpFile == nullptr) return;
    std::string row;
    if (nMark < nPrevMark) {
        row = pitch_dump::FormatErrorRow(nMark);
    } else if (nOverSampling == 1 && m_nMarkCount.load(std::memory_order_acquire) >= 2 * m_nRingLen) {
        // The dump holds at most 2N rows (the header's row of mark 0 included): what a chorus
        // file can take back.
        std::fclose(m_pDumpFile);
        m_pDumpFile = nullptr;
        return;
    } else if (nMark == nPrevMark) {
        row = pitch_dump::FormatErrorRow(nMark);  // a period of no length has no frequency
    } else {
        const int os = nOverSampling >= 1 ? nOverSampling : 1;
        const float f = pitch_dump::PeriodHz(nPrevMark, nMark, os);
        const int hz = static_cast<int>(f + 0.5f);
        const bool silent = nAmplitude < m_nAmpThreshold;
        const std::string note = silent ? std::string("0") : std::string(FreqToNoteName(hz));
        const bool flattening = m_comboVoiceMode.GetCurSel() == 3;
        float chorus = 127.0f;
        if (flattening && !silent) {
            const float target = pitch_dump::TargetHz(m_nA4.load(), m_comboMinKey.GetCurSel(), m_comboMaxKey.GetCurSel());
            chorus = std::log(target / f) * m_fSemitonesPerLn;
        }
        row = pitch_dump::FormatRow(nMark, os, nAmplitude, hz, note.c_str(), flattening, chorus);
    }
    // Each row goes through to the file as it is made, so a dump cut off by a crash or a killed
    // process ends with a whole row. A row that cannot be written (a full disk) ends the dump
    // after the last whole row, and the user is told.
    const long before = std::ftell(m_pDumpFile);
    if (std::fwrite(row.data(), 1, row.size(), m_pDumpFile) != row.size() || std::fflush(m_pDumpFile) != 0) {
        // Closing tries the rest of the row once more; the cut comes after it.
        const int fd = ::dup(fileno(m_pDumpFile));
        std::fclose(m_pDumpFile);
        m_pDumpFile = nullptr;
        if (fd >= 0) {
            if (before >= 0) (void)!::ftruncate(fd, static_cast<off_t>(before));
            ::close(fd);
        }
        TellDumpCut();
    }
}
