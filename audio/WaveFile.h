// CWaveFile: the one object through which WAV files are read and written, around an open RIFF
// handle. Written files are PCM with a 16-byte "fmt " chunk and a "data" chunk whose sizes are
// fixed at Close. Failures are reported through the owner (trace line, then message box) with the
// texts "wav01:" to "wav15:" and returned as the RIFF layer's error codes.
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

    UINT OpenWrite(const std::string& name);
    UINT Close();
    UINT OpenRead(const std::string& name);
    // Forgets the chunk records; a file that is still open is closed first, never dropped.
    void Reset();

    // Appends sample bytes to a file opened for writing. The data chunk never grows past what
    // its 32-bit size field can state: bytes beyond that are not written. Returns the bytes
    // written, or -1 when nothing could be written.
    LONG Write(const void* data, LONG bytes);
    // Reads sample bytes of a file opened for reading, never past the end of its data chunk
    // when the chunk's stated size fits in the file (otherwise up to the end of the file).
    // Returns the bytes read (0 at the end), or -1 on a read error.
    LONG Read(void* data, LONG bytes);

    bool IsOpen() const { return m_hmmio != nullptr; }

    WAVEFORMATEX m_fmt;
    HMMIO m_hmmio;
    MMCKINFO m_ckRiff;
    MMCKINFO m_ckData;
    DWORD m_dwDataSize;
    CWaveInOutDlg* m_pOwner;

private:
    void Report(const char* text);
    void CloseQuietly();

    std::int64_t m_llDataLeft = 0;    // reading: bytes of the data chunk not yet read
    std::int64_t m_llDataRoom = 0;    // writing: bytes the data chunk may still take
};
