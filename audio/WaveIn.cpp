// Capture wrapper: the conversion of one returned recording buffer into the engine's input.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/base/clock.h"
#include "platform/ui/msgbox.h"

#include "app/WaveInOutDlg.h"

namespace {

// Longest wait of a recorded block for the engine to pass the ring entries it overwrites.
constexpr DWORD kRoomWaitMs = 100;

}  // namespace

BOOL CWaveInOutDlg::StoreInputBlock(WAVEHDR* pHdr) {
    if (pHdr == nullptr || pHdr->lpData == nullptr) return FALSE;
    // The device dropped recording before this block's end (an overrun, or sound a stall kept
    // waiting): the input goes on with the newer sound, as after a sound card's overrun.
    if (pHdr->reserved != 0 && IsTracing()) {
        const auto frames = static_cast<long long>(pHdr->reserved / (2u * static_cast<unsigned>(m_nMethod + 1)));
        WriteTrace("MM_WIM_DATA recording dropped at " + std::to_string(m_nInputCount.load(std::memory_order_relaxed)) + ": " +
                   std::to_string(frames * 1000 / 44100) + " ms that waited beyond the usual delay");
    }
    DWORD n = pHdr->dwBytesRecorded;
    if (pHdr->dwBufferLength != 0) n = std::min(n, pHdr->dwBufferLength);
    if (n < 1) return FALSE;
    const std::int64_t count = m_nInputCount.load(std::memory_order_relaxed);
    // An engine still reading the entries this block would overwrite keeps them. Blocks that
    // waited in the queue (this thread was held up) arrive together, and the engine, which
    // never waits for this thread, passes them within moments: the block waits that long. An
    // engine that has fallen a ring behind for longer loses the block, as a sound card drops an
    // overrun, and the run goes on with the next one. The phase vocoder takes its block in
    // place, under its sequence number, and is never in the way.
    const auto hasRoom = [&] {
        const DWORD since = timeGetTime();
        while (!InputRingHasRoom(count)) {
            if (timeGetTime() - since >= kRoomWaitMs) return false;
            Sleep(1);
        }
        return true;
    };
    if (m_nMethod == 0 && !hasRoom()) {
        if (IsTracing()) WriteTrace("MM_WIM_DATA dropped at " + std::to_string(count) + ": the engine is behind");
        // The input lost the block's time; a live run's playback makes up for it.
        platform::wave::NoteInputDropped(m_hWaveIn, n);
        return FALSE;
    }
    const unsigned slot = static_cast<unsigned>((count * 2 / m_nBlockBytes) & 3);
    const auto* samples = reinterpret_cast<const short*>(pHdr->lpData);
    const int nSamples = static_cast<int>(n / 2);
    if (m_nMethod == 0) {
        // Mono: sample by sample with the ring mask, so a short buffer never misaligns the ring.
        int peak = 0;
        for (int k = 0; k < nSamples; ++k) {
            const short s = samples[k];
            m_pfInputBuf[(count + k) & m_nRingMask] = static_cast<float>(s);
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        }
        m_nPeak[0][slot].store(peak, std::memory_order_relaxed);
        m_nPeak[1][slot].store(peak, std::memory_order_relaxed);
    } else {
        // Stereo: the newest block alone, interleaved, at the start of the buffer.
        const int frames = static_cast<int>(n / 4);
        int peakL = 0;
        int peakR = 0;
        m_vocoderInputSeq.BeginWrite();
        for (int f = 0; f < frames; ++f) {
            const short l = samples[2 * f];
            const short r = samples[2 * f + 1];
            CBlockSeq::Store(&m_pfInputBuf[2 * f], static_cast<float>(l));
            CBlockSeq::Store(&m_pfInputBuf[2 * f + 1], static_cast<float>(r));
            peakL = std::max(peakL, std::abs(static_cast<int>(l)));
            peakR = std::max(peakR, std::abs(static_cast<int>(r)));
        }
        m_vocoderInputSeq.EndWrite();
        m_nPeak[0][slot].store(peakL, std::memory_order_relaxed);
        m_nPeak[1][slot].store(peakR, std::memory_order_relaxed);
    }
    // The samples are in place before the count that announces them.
    m_nInputCount.store(count + nSamples, std::memory_order_release);
    return TRUE;
}

namespace {

// A wrapper's failure: a trace line, then a message box with the same text.
void Report(CWaveInOutDlg* dlg, const char* text) {
    dlg->WriteTrace(text);
    AfxMessageBox(text);
}

constexpr DWORD kDonePrepared = WHDR_DONE | WHDR_PREPARED;

WAVEFORMATEX FormatOf(const CWaveFile& f) { return f.m_fmt; }

}  // namespace

BOOL CWaveInOutDlg::WaveInQuery(UINT deviceId) {
    const WAVEFORMATEX fmt = FormatOf(m_waveInFmt);
    if (waveInOpen(nullptr, deviceId, &fmt, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR) {
        Report(this, "wavin01: waveInOpen(WAVE_FORMAT_QUERY) failed.");
        return FALSE;
    }
    return TRUE;
}

BOOL CWaveInOutDlg::WaveInOpen(UINT deviceId, CWnd* pWnd) {
    if (m_hWaveIn != nullptr) {
        Report(this, "wavin02: WaveIn device is already open.");
        return FALSE;
    }
    const WAVEFORMATEX fmt = FormatOf(m_waveInFmt);
    if (waveInOpen(&m_hWaveIn, deviceId, &fmt, reinterpret_cast<DWORD_PTR>(pWnd), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR) {
        m_hWaveIn = nullptr;
        Report(this, "wavin03: waveInOpen() failed.");
        return FALSE;
    }
    // A device on a clock of its own making records no buffer before the engine has taken the
    // ones before it.
    platform::wave::SetStreamProgress(m_hWaveIn, &m_nEngineDoneBytes);
    return TRUE;
}

BOOL CWaveInOutDlg::WaveInAddBuffers() {
    if (m_hWaveIn == nullptr) return FALSE;
    m_nInQueued = 0;
    m_nInputCount.store(0, std::memory_order_release);
    for (int i = 0; i < 4; ++i) {
        WAVEHDR* hdr = m_pInHdr[i];
        hdr->lpData = m_pInData[i];
        hdr->dwBufferLength = static_cast<DWORD>(m_nBlockBytes);
        hdr->dwBytesRecorded = 0;
        hdr->dwUser = 0;
        hdr->dwFlags = 0;
        if (waveInPrepareHeader(m_hWaveIn, hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            Report(this, "wavin05: waveInPrepareHeader() failed.");
            return FALSE;
        }
        if (waveInAddBuffer(m_hWaveIn, hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            Report(this, "wavin06: waveInAddBuffer() failed.");
            return FALSE;
        }
        ++m_nInQueued;
    }
    m_nInIndex = 0;
    return TRUE;
}

void CWaveInOutDlg::WaveInStart() {
    if (m_hWaveIn != nullptr) waveInStart(m_hWaveIn);
}

BOOL CWaveInOutDlg::OnWimData(WAVEHDR* pHdr) {
    if (pHdr == nullptr || (pHdr->dwFlags & kDonePrepared) != kDonePrepared) return FALSE;
    StoreInputBlock(pHdr);
    if (m_bInDeviceLost) {
        // The device is gone: what it recorded is kept, nothing is requeued.
        waveInUnprepareHeader(m_hWaveIn, pHdr, sizeof(WAVEHDR));
        m_nInQueued = m_nInQueued > 0 ? m_nInQueued - 1 : 0;
        return FALSE;
    }
    if (waveInUnprepareHeader(m_hWaveIn, pHdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        Report(this, "wavin07: waveInUnprepareHeader() failed.");
    } else {
        --m_nInQueued;
    }
    pHdr->dwFlags = 0;
    // A buffer that cannot go back to the device is a failed device: the other buffers it
    // still holds come back failing the same way, so the message is shown once.
    if (waveInPrepareHeader(m_hWaveIn, pHdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        DeviceLost(&m_bInDeviceLost, "wavin08: waveInPrepareHeader() failed.");
        return FALSE;
    }
    if (waveInAddBuffer(m_hWaveIn, pHdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        waveInUnprepareHeader(m_hWaveIn, pHdr, sizeof(WAVEHDR));
        DeviceLost(&m_bInDeviceLost, "wavin09: waveInAddBuffer() failed.");
        return FALSE;
    }
    ++m_nInQueued;
    m_nInIndex = (m_nInIndex + 1) % 4;
    return TRUE;
}

void CWaveInOutDlg::DeviceLost(BOOL* pLostFlag, const char* text) {
    if (*pLostFlag) return;
    *pLostFlag = TRUE;
    Report(this, text);
    // The run cannot go on without the device; STOP ends it as the button would, after the
    // notifications already queued, and only the run that lost it.
    PostMessage(WM_APP_DEVICE_LOST, static_cast<WPARAM>(m_nRunSerial), 0);
}

LRESULT CWaveInOutDlg::OnDeviceLost(WPARAM wParam, LPARAM) {
    if (static_cast<unsigned>(wParam) == m_nRunSerial && m_nRunState.load() != 0) OnBnClickedStop();
    return 0;
}

void CWaveInOutDlg::WaveInStop() {
    if (m_hWaveIn == nullptr) return;
    // A device that went away has already returned its buffers and said so.
    if (waveInReset(m_hWaveIn) != MMSYSERR_NOERROR && !m_bInDeviceLost) Report(this, "wavin10: waveInReset() failed.");
    for (WAVEHDR* hdr : m_pInHdr) {
        if (hdr == nullptr || (hdr->dwFlags & kDonePrepared) != kDonePrepared) continue;
        if (waveInUnprepareHeader(m_hWaveIn, hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            Report(this, "wavin11: waveInUnprepareHeader() failed.");
    }
    m_nInQueued = 0;
}

BOOL CWaveInOutDlg::WaveInClose() {
    if (m_hWaveIn == nullptr) return TRUE;
    const MMRESULT r = waveInClose(m_hWaveIn);
    m_hWaveIn = nullptr;
    if (r != MMSYSERR_NOERROR) {
        Report(this, "wavin04: waveInClose() failed.");
        return FALSE;
    }
    return TRUE;
}

BOOL CWaveInOutDlg::WaveInAllocBuffers() {
    WaveInFreeBuffers();
    m_pInBlock = new (std::nothrow) BYTE[static_cast<std::size_t>(4 * m_nBlockBytes)]();
    if (m_pInBlock == nullptr) return FALSE;
    for (int i = 0; i < 4; ++i) {
        m_pInData[i] = reinterpret_cast<char*>(m_pInBlock) + i * m_nBlockBytes;
        m_pInHdr[i] = new (std::nothrow) WAVEHDR{};
        if (m_pInHdr[i] == nullptr) {
            WaveInFreeBuffers();
            return FALSE;
        }
    }
    return TRUE;
}

void CWaveInOutDlg::WaveInFreeBuffers() {
    for (int i = 0; i < 4; ++i) {
        delete m_pInHdr[i];
        m_pInHdr[i] = nullptr;
        m_pInData[i] = nullptr;
    }
    delete[] m_pInBlock;
    m_pInBlock = nullptr;
}

void CWaveInOutDlg::WaveInClearState() {
    m_hWaveIn = nullptr;
    m_bInDeviceLost = FALSE;
    m_nInQueued = 0;
    m_nInputCount.store(0, std::memory_order_release);
}
