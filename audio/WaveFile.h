// CWaveFile: the one object through which WAV files are read and written, around an open RIFF
// handle. Written files are PCM with a 16-byte "fmt " chunk and a "data" chunk whose two sizes
// are kept true after every appended block (and fixed once more at Close), so a file whose
// writer was killed still plays up to the block being written. Open and close failures are
// reported through the owner (trace line, then message box) with the texts "wav01:" to
// "wav15:" and returned as the RIFF layer's error codes; an open that fails after the file was
// created or opened closes it at once, so the object is closed again. A failed sample write
// (a full disk) is not reported here: Write's result and WriteFailed() tell the writer, whose
// owner tells the user at once; the file then takes no more samples and keeps what it holds
// under true sizes.
//
// Threads: the user-interface thread opens and closes; while a run lasts, one engine thread
// appends to the output file and the file player reads the input file. No lock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/riff/mmio.h"
#include "platform/wave/wavetypes.h"

class CWaveInOutDlg;

class CWaveFile {
public:
    CWaveFile();
    ~CWaveFile();
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    void SetOwner(CWaveInOutDlg* owner) { m_pOwner = owner; }
    // PCM, 44100 Hz, 16 bits, the given channel count.
    void SetFormat(int channels);

    // Creates (or truncates) name and writes the RIFF header, the 16-byte "fmt " chunk of m_fmt
    // and an open "data" chunk; the position is then the first sample. 0 or an error code; a
    // failure after the file was created closes it at once. A link in the last part of name is
    // never followed. With bNewFile only a new file is made: a name under which anything exists
    // gives MMIOERR_FILEEXISTS without a report, so the caller can take the next name, and a
    // file made here whose header cannot be written is removed again.
    UINT OpenWrite(const std::string& name, bool bNewFile = false);
    // Fixes the sizes of a written file (pad byte for an odd data chunk) and closes it; closes a
    // read file. 0, or the first error of the size writes or of the close itself (reported), or
    // of an earlier sample write (not reported again). 0 on a closed object.
    UINT Close();
    // Opens name, finds the WAVE form, reads up to 18 bytes of "fmt " into m_fmt and stops at
    // the first sample of "data" (searched after "fmt "); m_dwDataSize holds the stated size.
    // 0 or an error code; a failure after the file was opened closes it at once.
    UINT OpenRead(const std::string& name);
    // Forgets the chunk records; a file that is still open is closed first, never dropped.
    void Reset();

    // Appends sample bytes to a file opened for writing and rewrites both size fields. The data
    // chunk never grows past what its 32-bit size field and the RIFF size can state: bytes
    // beyond that are not written and IsFull() turns true. Returns the bytes written (0 once the
    // chunk is full). A write that fails (a full disk) keeps the whole sample frames it got into
    // the file, cuts off the rest, states the sizes of what the file holds and turns
    // WriteFailed() true; from then on nothing more is written and the result is -1.
    LONG Write(const void* data, LONG bytes);
    // A sample write failed: the file holds what came before, under true sizes. Stays true
    // after Close until the next OpenWrite.
    bool WriteFailed() const { return m_bWriteFailed; }
    // A written file reached the largest size a WAV file can state; it stays complete and valid.
    bool IsFull() const { return m_bFull; }
    // Reads sample bytes of a file opened for reading, never past the end of its data chunk
    // when the chunk's stated size fits in the file (otherwise up to the end of the file).
    // Returns the bytes read (0 at the end), or -1 on a read error.
    LONG Read(void* data, LONG bytes);

    bool IsOpen() const { return m_hmmio != nullptr; }
    // A file opened for reading holds PCM samples: the plain PCM tag, or the extensible layout
    // whose sub-format is PCM.
    bool IsPcm() const { return m_bPcm; }
    // Bytes of the data chunk that the file really holds (its stated size, or less when the
    // file ends before that).
    std::int64_t DataBytesHeld() const { return m_llDataHeld; }

    WAVEFORMATEX m_fmt;
    HMMIO m_hmmio;
    MMCKINFO m_ckRiff;
    MMCKINFO m_ckData;
    DWORD m_dwDataSize;
    CWaveInOutDlg* m_pOwner;

private:
    enum class Mode { Closed, Writing, Reading };

    // Closes an open file without reporting, then writes text to the trace and shows it;
    // returns code.
    UINT Fail(const char* text, UINT code);
    void Report(const char* text);
    // Closes without reporting: sizes fixed for a written file as far as possible.
    void CloseQuietly();
    UINT CloseHandle();
    // Writes the sizes of the data chunk and the RIFF form as the file stands; false on failure.
    bool StoreSizes();

    Mode m_mode = Mode::Closed;
    // Writing: the end the data chunk may reach; reading: the end of the data chunk as stated.
    std::int64_t m_llDataEnd = 0;
    // Writing: the first failed sample write, returned by Close.
    UINT m_uWriteError = 0;
    bool m_bWriteFailed = false;
    // Writing: the file was made by OpenWrite as a new file and goes again if its opening fails.
    bool m_bCreated = false;
    std::string m_strName;
    bool m_bFull = false;
    bool m_bPcm = false;
    std::int64_t m_llDataHeld = 0;
};
