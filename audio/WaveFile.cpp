#include "audio/WaveFile.h"

#include <algorithm>
#include <cstdio>

#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"
#include "platform/wave/fmtbytes.h"

namespace {

constexpr FOURCC kWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr FOURCC kData = MakeFourCC('d', 'a', 't', 'a');

// The largest size a RIFF chunk can state.
constexpr std::int64_t kMaxRiffSize = 0xFFFFFFFFLL;
// Bytes of the format record stored in a file: all fields but cbSize, and all of them.
constexpr LONG kFmtBytesWritten = 16;
constexpr DWORD kFmtBytesRead = 18;
// The extensible layout: the 18 bytes above, valid bits, channel mask and a 16-byte sub-format
// identifier, whose PCM value is fixed.
constexpr DWORD kFmtBytesExtensible = 40;
constexpr WORD kFormatExtensible = 0xFFFE;
constexpr BYTE kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};


}  // namespace

CWaveFile::CWaveFile() : m_fmt{}, m_hmmio(nullptr), m_ckRiff{}, m_ckData{}, m_dwDataSize(0), m_pOwner(nullptr) {}

// The owner closes its files; one still open here is closed without a report, because the owner
// (and its trace lock) may already be gone.
CWaveFile::~CWaveFile() { CloseQuietly(); }

void CWaveFile::SetFormat(int channels) {
    m_fmt.wFormatTag = WAVE_FORMAT_PCM;
    m_fmt.nChannels = static_cast<WORD>(channels);
    m_fmt.nSamplesPerSec = 44100;
    m_fmt.nAvgBytesPerSec = 88200u * static_cast<DWORD>(channels);
    m_fmt.nBlockAlign = static_cast<WORD>(2 * channels);
    m_fmt.wBitsPerSample = 16;
    m_fmt.cbSize = 0;
}

void CWaveFile::Report(const char* text) {
    if (m_pOwner != nullptr) m_pOwner->WriteTrace(text);
    AfxMessageBox(text, MB_OK);
}

UINT CWaveFile::Fail(const char* text, UINT code) {
    // A file whose opening failed half way is not worth fixing up: it is closed as it stands,
    // and one that this opening made is removed, so no empty or headless file is left.
    if (m_hmmio != nullptr) {
        const bool remove = m_mode == Mode::Writing && m_bCreated && mmioIsFile(m_hmmio, m_strName.c_str());
        mmioClose(m_hmmio, 0);
        if (remove) std::remove(m_strName.c_str());
    }
    m_hmmio = nullptr;
    m_mode = Mode::Closed;
    m_bCreated = false;
    Report(text);
    return code;
}

UINT CWaveFile::OpenWrite(const std::string& name, bool bNewFile) {
    if (m_hmmio != nullptr) {
        Report("wav01: Wave write file is already open.");
        return MMIOERR_CANNOTOPEN;
    }
    if (name.empty()) return Fail("wav02: Invalid write file name.", MMIOERR_FILENOTFOUND);

    MMIOINFO info{};
    const DWORD flags = MMIO_CREATE | MMIO_WRITE | MMIO_NOFOLLOW | (bNewFile ? MMIO_CREATENEW : 0);
    m_hmmio = mmioOpenA(name.c_str(), &info, flags);
    if (m_hmmio == nullptr && bNewFile && info.wErrorRet == MMIOERR_FILEEXISTS) return MMIOERR_FILEEXISTS;
    if (m_hmmio == nullptr) return Fail("wav03: save.wav open error !", info.wErrorRet);
    m_mode = Mode::Writing;
    m_bCreated = bNewFile;
    m_strName = name;
    m_uWriteError = 0;
    m_bWriteFailed = false;
    mmioSeek(m_hmmio, 0, SEEK_SET);

    m_ckRiff = MMCKINFO{};
    m_ckRiff.fccType = kWave;
    m_ckRiff.cksize = 0;
    if (UINT rc = mmioCreateChunk(m_hmmio, &m_ckRiff, MMIO_CREATERIFF)) {
        return Fail("wav04: mmioCreateChunk(WAVE) failed.", rc);
    }

    m_ckData = MMCKINFO{};
    m_ckData.ckid = kFmt;
    m_ckData.cksize = kFmtBytesRead;
    if (UINT rc = mmioCreateChunk(m_hmmio, &m_ckData, 0)) return Fail("wav05: mmioCreateChunk(fmt ) failed.", rc);

    BYTE fmt[kFmtBytesWritten];
    platform::wave::EncodeFmt(fmt, m_fmt);
    // The "fmt " size still says 18 until the ascent corrects it to 16; a file left with 18
    // would be misread, so a failed correction counts as a failed format write.
    if (mmioWrite(m_hmmio, fmt, kFmtBytesWritten) != kFmtBytesWritten || mmioAscend(m_hmmio, &m_ckData, 0) != 0) {
        return Fail("wav06: mmioWrite() failed.", MMIOERR_CANNOTWRITE);
    }

    m_ckData = MMCKINFO{};
    m_ckData.ckid = kData;
    m_ckData.cksize = 0;
    if (UINT rc = mmioCreateChunk(m_hmmio, &m_ckData, 0)) return Fail("wav07: mmioCreateChunk(data ) failed.", rc);

    // Room for samples: the RIFF size counts everything after its own size field, pad byte
    // included, and must fit in 32 bits. An even limit keeps the pad byte inside it.
    std::int64_t maxData = kMaxRiffSize - (m_ckData.llDataOffset - m_ckRiff.llDataOffset);
    maxData &= ~static_cast<std::int64_t>(1);
    m_llDataEnd = m_ckData.llDataOffset + maxData;
    m_bFull = false;
    // From here on the file is a valid (empty) WAV file at every moment.
    if (!StoreSizes()) return Fail("wav07: mmioCreateChunk(data ) failed.", MMIOERR_CANNOTWRITE);
    m_bCreated = false;
    return 0;
}

bool CWaveFile::StoreSizes() {
    const std::int64_t end = mmioTell(m_hmmio);
    const std::int64_t data = end - m_ckData.llDataOffset;
    // The RIFF size counts the pad byte that an odd data chunk gets at Close.
    const std::int64_t riff = end + (data & 1) - m_ckRiff.llDataOffset;
    BYTE field[4];
    bool ok = true;
    platform::wave::PutLe32(field, static_cast<DWORD>(data));
    ok = ok && mmioSeek64(m_hmmio, m_ckData.llDataOffset - 4, SEEK_SET) >= 0 && mmioWrite(m_hmmio, field, 4) == 4;
    platform::wave::PutLe32(field, static_cast<DWORD>(riff));
    ok = ok && mmioSeek64(m_hmmio, m_ckRiff.llDataOffset - 4, SEEK_SET) >= 0 && mmioWrite(m_hmmio, field, 4) == 4;
    mmioSeek64(m_hmmio, end, SEEK_SET);
    return ok;
}

LONG CWaveFile::Write(const void* data, LONG bytes) {
    if (m_hmmio == nullptr || m_mode != Mode::Writing || bytes < 0 || (data == nullptr && bytes > 0)) return -1;
    if (m_bWriteFailed) return -1;
    const std::int64_t start = mmioTell(m_hmmio);
    const std::int64_t room = m_llDataEnd - start;
    const LONG n = static_cast<LONG>(std::clamp<std::int64_t>(room, 0, bytes));
    if (n < bytes) m_bFull = true;
    if (n == 0) return 0;
    LONG put = mmioWrite(m_hmmio, data, n);
    if (put < n) {
        // The disk is full (or the file may grow no further): the whole frames that reached the
        // file stay, a cut frame goes, and the sizes state what is left. Saving ends here.
        const LONG frame = std::max<LONG>(m_fmt.nBlockAlign, 1);
        put = std::max<LONG>(put, 0);
        put -= put % frame;
        mmioSeek64(m_hmmio, start + put, SEEK_SET);
        mmioTruncate(m_hmmio);
        m_bWriteFailed = true;
        if (m_uWriteError == 0) m_uWriteError = MMIOERR_CANNOTWRITE;
        StoreSizes();
        return put;
    }
    // The two sizes follow every block, so a file cut off by a crash or a killed process holds
    // every block but the one being written, under true sizes. A sample block is whole frames
    // (an even byte count), so the sizes never count half a sample.
    if (!StoreSizes()) {
        m_bWriteFailed = true;
        if (m_uWriteError == 0) m_uWriteError = MMIOERR_CANNOTWRITE;
    }
    return put;
}

UINT CWaveFile::CloseHandle() {
    UINT rc = 0;
    if (m_mode == Mode::Writing) {
        // Bytes appended past the size limit by direct handle writes stay outside the chunk, so
        // the sizes written below are always true.
        if (mmioTell(m_hmmio) > m_llDataEnd) mmioSeek64(m_hmmio, m_llDataEnd, SEEK_SET);
        const UINT data = mmioAscend(m_hmmio, &m_ckData, 0);
        const UINT riff = mmioAscend(m_hmmio, &m_ckRiff, 0);
        rc = data != 0 ? data : riff;
    }
    const UINT flush = mmioFlush(m_hmmio, 0);
    const UINT close = mmioClose(m_hmmio, 0);
    m_hmmio = nullptr;
    if (rc == 0) rc = flush;
    if (rc == 0) rc = close;
    m_mode = Mode::Closed;
    return rc;
}

void CWaveFile::CloseQuietly() {
    if (m_hmmio != nullptr) CloseHandle();
}

UINT CWaveFile::Close() {
    if (m_hmmio == nullptr) return 0;
    const bool writing = m_mode == Mode::Writing;
    const UINT rc = CloseHandle();
    // A failed sample write has been told when it happened; only the close's own failure is new.
    if (rc != 0) Report("wav08: mmioClose() failed.");
    const UINT earlier = writing ? m_uWriteError : 0;
    m_uWriteError = 0;
    return rc != 0 ? rc : earlier;
}

UINT CWaveFile::OpenRead(const std::string& name) {
    if (m_hmmio != nullptr) {
        Report("wav09: Wave read file is already open.");
        return MMIOERR_CANNOTOPEN;
    }
    m_dwDataSize = 0;
    if (name.empty()) return Fail("wav10: Invalid read file name.", MMIOERR_FILENOTFOUND);

    MMIOINFO info{};
    m_hmmio = mmioOpenA(name.c_str(), &info, MMIO_READ);
    if (m_hmmio == nullptr) return Fail("wav11: mmioOpen(MMIO_READ) failed.", info.wErrorRet);
    m_mode = Mode::Reading;

    MMCKINFO parent{};
    parent.fccType = kWave;
    if (UINT rc = mmioDescend(m_hmmio, &parent, nullptr, MMIO_FINDRIFF)) {
        return Fail("wav12: mmioDescend(WAVE) failed.", rc);
    }

    MMCKINFO sub{};
    sub.ckid = kFmt;
    if (UINT rc = mmioDescend(m_hmmio, &sub, &parent, MMIO_FINDCHUNK)) {
        return Fail("wav13: mmioDescend(fmt ) failed.", rc);
    }

    m_fmt = WAVEFORMATEX{};
    m_bPcm = false;
    // The format record, and the extensible layout's sub-format when the chunk holds one.
    BYTE fmt[kFmtBytesExtensible] = {};
    const LONG n = static_cast<LONG>(std::min(sub.cksize, kFmtBytesRead));
    if (mmioRead(m_hmmio, fmt, n) != n) return Fail("wav14: mmioRead() failed.", MMIOERR_CANNOTREAD);
    m_fmt = platform::wave::DecodeFmt(fmt);
    m_fmt.cbSize = platform::wave::GetLe16(fmt + 16);
    if (m_fmt.wFormatTag == kFormatExtensible && sub.cksize >= kFmtBytesExtensible) {
        const LONG more = static_cast<LONG>(kFmtBytesExtensible - kFmtBytesRead);
        m_bPcm = mmioRead(m_hmmio, fmt + kFmtBytesRead, more) == more &&
                 std::equal(kPcmSubFormat, kPcmSubFormat + 16, fmt + 24);
    } else {
        m_bPcm = m_fmt.wFormatTag == WAVE_FORMAT_PCM;
    }
    mmioAscend(m_hmmio, &sub, 0);

    sub = MMCKINFO{};
    sub.ckid = kData;
    if (UINT rc = mmioDescend(m_hmmio, &sub, &parent, MMIO_FINDCHUNK)) {
        return Fail("wav15: mmioDescend(data) failed.", rc);
    }
    m_dwDataSize = sub.cksize;
    m_llDataEnd = sub.llDataOffset + static_cast<std::int64_t>(sub.cksize);
    m_llDataHeld = std::clamp<std::int64_t>(mmioFileSize(m_hmmio) - sub.llDataOffset, 0, sub.cksize);
    return 0;
}

LONG CWaveFile::Read(void* data, LONG bytes) {
    if (m_hmmio == nullptr || m_mode != Mode::Reading || bytes < 0 || (data == nullptr && bytes > 0)) return -1;
    // A stated size that runs past the end of the file simply ends in a short read there.
    const std::int64_t left = m_llDataEnd - mmioTell(m_hmmio);
    const LONG n = static_cast<LONG>(std::clamp<std::int64_t>(left, 0, bytes));
    if (n == 0) return 0;
    return mmioRead(m_hmmio, data, n);
}

void CWaveFile::Reset() {
    Close();
    m_hmmio = nullptr;
    m_ckRiff = MMCKINFO{};
    m_ckData = MMCKINFO{};
}
