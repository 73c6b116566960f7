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

void CWaveInOutDlg::FinishEngineCycle(std::int64_t inputDone) {
    PublishOutput();
    m_nEngineProgress.fetch_add(1, std::memory_order_release);
    // Only ever forward: the Thru copy and the synthesis take turns at reporting.
    const std::int64_t bytes = 2 * inputDone;
    std::int64_t seen = m_nEngineDoneBytes.load(std::memory_order_relaxed);
    while (bytes > seen && !m_nEngineDoneBytes.compare_exchange_weak(seen, bytes, std::memory_order_release)) {
    }
}

bool CWaveInOutDlg::InputRingHasRoom(std::int64_t count) const {
    // The phase vocoder reads the newest block in place, under its sequence number: a block
    // stored before it took the last one would only replace that one unheard.
    if (m_nMethod == 1) return m_nEngineDoneBytes.load(std::memory_order_acquire) >= 2 * count;
    // A block at count overwrites the entries that held the input a ring earlier; every
    // engine thread must have passed the last of those.
    const std::int64_t overwrittenEnd = count + m_nBlockBytes / 2 - m_nRingLen;
    return m_nInputFloor[0].load(std::memory_order_acquire) >= overwrittenEnd &&
           m_nInputFloor[1].load(std::memory_order_acquire) >= overwrittenEnd;
}

void CWaveInOutDlg::ResetEngineReach() {
    for (auto& floor : m_nInputFloor) floor.store(0, std::memory_order_release);
    m_nMarksInputCount.store(0, std::memory_order_release);
    m_nEngineDoneBytes.store(0, std::memory_order_release);
}

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
