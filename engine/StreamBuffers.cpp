// Allocation of the shared rings and device buffers.
#include <cstring>
#include <new>

#include "app/WaveInOutDlg.h"

namespace {

template <typename T>
bool AllocZeroed(T*& p, int count) {
    p = new (std::nothrow) T[static_cast<size_t>(count)]();
    return p != nullptr;
}

template <typename T>
void FreeArray(T*& p) {
    delete[] p;
    p = nullptr;
}

}  // namespace

BOOL CWaveInOutDlg::AllocStreamBuffers() {
    FreeStreamBuffers();
    m_nBlockBytes = m_nLatencyMode == 0 ? 32768 : 16384;
    m_nRingLen = 2 * m_nBlockBytes;
    m_nRingMask = m_nRingLen - 1;
    m_nOlaMask = 2 * m_nRingLen - 1;
    const int n = m_nRingLen;
    const int halfBlock = m_nBlockBytes / 2;

    bool ok = AllocZeroed(m_pfInputBuf, 2 * n) && AllocZeroed(m_pfOla, 2 * n) && AllocZeroed(m_pfOla2, 2 * n) &&
              AllocZeroed(m_pnMark, n) && AllocZeroed(m_pnMark2, n) && AllocZeroed(m_psMarkAmp, n) &&
              AllocZeroed(m_psMarkAmp2, n) && AllocZeroed(m_pfHistTime, 2 * n) && AllocZeroed(m_pfHistLevel, 2 * n) &&
              AllocZeroed(m_pfHistPitch, 2 * n) && AllocZeroed(m_pfChorus, 2 * n) &&
              AllocZeroed(m_pfVocInL, halfBlock) && AllocZeroed(m_pfVocInR, halfBlock) &&
              AllocZeroed(m_pfVocOutL, halfBlock) && AllocZeroed(m_pfVocOutR, halfBlock) &&
              AllocZeroed(m_pfCorr, kCorrSlots) && AllocZeroed(m_pfFrame, kFrameSlots) &&
              AllocZeroed(m_pInBlock, 4 * m_nBlockBytes);
    for (int i = 0; ok && i < 4; ++i) {
        m_pInData[i] = reinterpret_cast<char*>(m_pInBlock) + i * m_nBlockBytes;
        m_pInHdr[i] = new (std::nothrow) WAVEHDR{};
        ok = m_pInHdr[i] != nullptr;
    }
    ok = ok && AllocZeroed(m_pOutBlock, 4 * m_nBlockBytes) && m_outStage.Allocate(static_cast<size_t>(4 * m_nBlockBytes));
    for (int i = 0; ok && i < 4; ++i) {
        m_pOutData[i] = reinterpret_cast<char*>(m_pOutBlock) + i * m_nBlockBytes;
        m_pOutHdr[i] = new (std::nothrow) WAVEHDR{};
        ok = m_pOutHdr[i] != nullptr;
    }
    if (!ok) {
        FreeStreamBuffers();
        return FALSE;
    }
    return TRUE;
}

void CWaveInOutDlg::FreeStreamBuffers() {
    FreeArray(m_pfInputBuf);
    FreeArray(m_pfOla);
    FreeArray(m_pfOla2);
    FreeArray(m_pnMark);
    FreeArray(m_pnMark2);
    FreeArray(m_psMarkAmp);
    FreeArray(m_psMarkAmp2);
    FreeArray(m_pfHistTime);
    FreeArray(m_pfHistLevel);
    FreeArray(m_pfHistPitch);
    FreeArray(m_pfChorus);
    FreeArray(m_pfVocInL);
    FreeArray(m_pfVocInR);
    FreeArray(m_pfVocOutL);
    FreeArray(m_pfVocOutR);
    FreeArray(m_pfCorr);
    FreeArray(m_pfFrame);
    for (int i = 0; i < 4; ++i) {
        delete m_pInHdr[i];
        m_pInHdr[i] = nullptr;
        m_pInData[i] = nullptr;
        delete m_pOutHdr[i];
        m_pOutHdr[i] = nullptr;
        m_pOutData[i] = nullptr;
    }
    FreeArray(m_pInBlock);
    FreeArray(m_pOutBlock);
    m_outStage.Free();
}
