#include "audio/WaveFile.h"

#include "app/WaveInOutDlg.h"

CWaveFile::CWaveFile() : m_fmt{}, m_hmmio(nullptr), m_ckRiff{}, m_ckData{}, m_dwDataSize(0), m_pOwner(nullptr) {}

CWaveFile::~CWaveFile() = default;

void CWaveFile::SetFormat(int channels) {
    m_fmt.wFormatTag = WAVE_FORMAT_PCM;
    m_fmt.nChannels = static_cast<WORD>(channels);
    m_fmt.nSamplesPerSec = 44100;
    m_fmt.nAvgBytesPerSec = 88200u * static_cast<DWORD>(channels);
    m_fmt.nBlockAlign = static_cast<WORD>(2 * channels);
    m_fmt.wBitsPerSample = 16;
    m_fmt.cbSize = 0;
}

UINT CWaveFile::Close() {
    if (m_hmmio == nullptr) return 0;
    UINT rc = mmioClose(m_hmmio, 0);
    m_hmmio = nullptr;
    return rc;
}

LONG CWaveFile::Write(const void* data, LONG bytes) {
    if (m_hmmio == nullptr) return -1;
    return mmioWrite(m_hmmio, data, bytes);
}
