// Playback wrapper: the four playback buffers, laid end to end, are the output ring as played.
// They are queued silent at the start of a run and requeued as they come back, now holding
// whatever the engine has published into them since.
#include <cstring>
#include <new>
#include <string>

#include "app/WaveInOutDlg.h"
#include "platform/ui/msgbox.h"

namespace {

void Report(CWaveInOutDlg* dlg, const char* text) {
    dlg->WriteTrace(text);
    AfxMessageBox(text);
}

constexpr DWORD kDonePrepared = WHDR_DONE | WHDR_PREPARED;

}  // namespace

BOOL CWaveInOutDlg::WaveOutQuery(UINT deviceId) {
    const WAVEFORMATEX fmt = m_waveOutFmt.m_fmt;
    if (waveOutOpen(nullptr, deviceId, &fmt, 0, 0, WAVE_FORMAT_QUERY) != MMSYSERR_NOERROR) {
        Report(this, "wavout01: waveOutOpen(WAVE_FORMAT_QUERY) failed.");
        return FALSE;
    }
    return TRUE;
}

BOOL CWaveInOutDlg::WaveOutOpen(UINT deviceId, CWnd* pWnd) {
    if (m_hWaveOut != nullptr) {
        Report(this, "wavout02: WaveOut device is already open.");
        return FALSE;
    }
    const WAVEFORMATEX fmt = m_waveOutFmt.m_fmt;
    if (waveOutOpen(&m_hWaveOut, deviceId, &fmt, reinterpret_cast<DWORD_PTR>(pWnd), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR) {
        m_hWaveOut = nullptr;
        Report(this, "wavout03: waveOutOpen() failed.");
        return FALSE;
    }
    // The device reads a buffer when it plays it, while the engine threads keep publishing
    // their output ahead of it: the two take turns on the output ring's lock.
    platform::wave::SetPlaybackReadLock(m_hWaveOut, &m_outStage.ReadLock());
    // A device on a clock of its own making plays no buffer the engine has not reached yet.
    platform::wave::SetStreamProgress(m_hWaveOut, &m_nEngineDoneBytes);
    return TRUE;
}

void CWaveInOutDlg::KeepLiveDelay() {
    m_delayCounts = platform::wave::LiveDelayCounts{};
    if (m_hWaveIn == nullptr || m_hWaveOut == nullptr) return;
    // The engine writes up to two blocks past its input (TD-PSOLA's fixed delay of B samples),
    // the phase vocoder three (its output goes two blocks behind the newest input block, in
    // the ring of four).
    const auto block = static_cast<DWORD>(m_nBlockBytes);
    platform::wave::LinkLiveDevices(m_hWaveIn, m_hWaveOut, 4 * block, (m_nMethod == 1 ? 3 : 2) * block);
}

// Trace lines for what the playback did to keep a live run's delay since the last buffer.
void CWaveInOutDlg::TraceLiveDelay(HWAVEOUT hDevice) {
    platform::wave::LiveDelayCounts now;
    if (!IsTracing() || platform::wave::GetLiveDelayCounts(hDevice, &now) != MMSYSERR_NOERROR) return;
    const auto ms = [this](std::uint64_t bytes) {
        return std::to_string(bytes / (2u * static_cast<unsigned>(m_waveOutFmt.m_fmt.nChannels)) * 1000 / 44100);
    };
    const std::string at = " at " + std::to_string(m_nOutBytes) + ": ";
    if (now.skippedOverwritten > m_delayCounts.skippedOverwritten)
        WriteTrace("MM_WOM_DONE playback skipped" + at + ms(now.skippedOverwritten - m_delayCounts.skippedOverwritten) +
                   " ms that the engine had already written over");
    if (now.skippedLate > m_delayCounts.skippedLate)
        WriteTrace("MM_WOM_DONE playback skipped" + at + ms(now.skippedLate - m_delayCounts.skippedLate) +
                   " ms that came later than the usual delay");
    if (now.held > m_delayCounts.held)
        WriteTrace("MM_WOM_DONE playback held" + at + ms(now.held - m_delayCounts.held) +
                   " ms of silence for recording the input lost");
    // Steps of a frame are too small for milliseconds: they are told in frames.
    const auto frames = [this](std::uint64_t bytes) {
        return std::to_string(bytes / (2u * static_cast<unsigned>(m_waveOutFmt.m_fmt.nChannels)));
    };
    if (now.steppedOn > m_delayCounts.steppedOn)
        WriteTrace("MM_WOM_DONE playback stepped on" + at + frames(now.steppedOn - m_delayCounts.steppedOn) +
                   " frames, one at a time, to bring the delay down to its usual value");
    if (now.steppedBack > m_delayCounts.steppedBack)
        WriteTrace("MM_WOM_DONE playback stepped back" + at + frames(now.steppedBack - m_delayCounts.steppedBack) +
                   " frames, one at a time, to bring the delay up to its usual value");
    m_delayCounts = now;
}

BOOL CWaveInOutDlg::WaveOutWriteBuffers() {
    if (m_hWaveOut == nullptr) return TRUE;
    // Without its buffers (the close operation freed them) no playback starts.
    if (m_pOutBlock == nullptr) return FALSE;
    for (WAVEHDR* hdr : m_pOutHdr) {
        if (hdr == nullptr) return FALSE;
    }
    m_nOutQueued = 0;
    m_nOutBytes = 0;
    m_nPlayedPos = 0;
    m_dwPlayedRaw = 0;
    // The engine's copy starts silent with the buffers (no engine thread runs yet).
    m_outStage.Clear();
    int written = 0;
    for (int i = 0; i < 4; ++i) {
        WAVEHDR* hdr = m_pOutHdr[i];
        std::memset(m_pOutData[i], 0, static_cast<std::size_t>(m_nBlockBytes));
        hdr->lpData = m_pOutData[i];
        hdr->dwBufferLength = static_cast<DWORD>(m_nBlockBytes);
        hdr->dwBytesRecorded = 0;
        hdr->dwUser = 0;
        hdr->dwFlags = 0;
        if (waveOutPrepareHeader(m_hWaveOut, hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            Report(this, "wavout05: waveOutPrepareHeader() failed.");
        if (waveOutWrite(m_hWaveOut, hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            Report(this, "wavout06: waveOutWrite() failed.");
        } else {
            ++written;
        }
        ++m_nOutQueued;
        m_nOutIndex = i;
    }
    // A playback that misses one of its four buffers would play the ring out of order.
    return written == 4 ? TRUE : FALSE;
}

BOOL CWaveInOutDlg::OnWomDone(HWAVEOUT hDevice, WAVEHDR* pHdr) {
    if (m_nOutQueued == 0) return FALSE;
    if (pHdr == nullptr || (pHdr->dwFlags & kDonePrepared) != kDonePrepared) return FALSE;
    if (m_bOutDeviceLost) {
        waveOutUnprepareHeader(hDevice, pHdr, sizeof(WAVEHDR));
        --m_nOutQueued;
        return FALSE;
    }
    TraceLiveDelay(hDevice);
    if (waveOutUnprepareHeader(hDevice, pHdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        Report(this, "wavout07: waveOutUnprepareHeader() failed.");
    } else {
        --m_nOutQueued;
    }
    pHdr->dwFlags = 0;
    // A buffer that cannot go back to the device is a failed device, told once (see OnWimData).
    if (waveOutPrepareHeader(hDevice, pHdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        DeviceLost(&m_bOutDeviceLost, "wavout08: waveOutPrepareHeader() failed.");
        return FALSE;
    }
    if (waveOutWrite(hDevice, pHdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        waveOutUnprepareHeader(hDevice, pHdr, sizeof(WAVEHDR));
        DeviceLost(&m_bOutDeviceLost, "wavout09: waveOutWrite() failed.");
        return FALSE;
    }
    m_nOutBytes += static_cast<std::uint64_t>(m_nBlockBytes);
    ++m_nOutQueued;
    return TRUE;
}

void CWaveInOutDlg::WaveOutStop() {
    if (m_hWaveOut == nullptr) return;
    if (waveOutReset(m_hWaveOut) != MMSYSERR_NOERROR && !m_bOutDeviceLost) Report(this, "wavout10: waveOutReset() failed.");
    for (WAVEHDR* hdr : m_pOutHdr) {
        if (hdr == nullptr || (hdr->dwFlags & kDonePrepared) != kDonePrepared) continue;
        if (waveOutUnprepareHeader(m_hWaveOut, hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            Report(this, "wavout11: waveOutUnprepareHeader() failed.");
    }
    m_nOutQueued = 0;
}

BOOL CWaveInOutDlg::WaveOutClose() {
    if (m_hWaveOut == nullptr) return TRUE;
    const MMRESULT r = waveOutClose(m_hWaveOut);
    m_hWaveOut = nullptr;
    if (r != MMSYSERR_NOERROR) {
        Report(this, "wavout04: waveOutClose() failed.");
        return FALSE;
    }
    return TRUE;
}

BOOL CWaveInOutDlg::WaveOutAllocBuffers() {
    WaveOutFreeBuffers();
    m_pOutBlock = new (std::nothrow) BYTE[static_cast<std::size_t>(4 * m_nBlockBytes)]();
    if (m_pOutBlock == nullptr) return FALSE;
    for (int i = 0; i < 4; ++i) {
        m_pOutData[i] = reinterpret_cast<char*>(m_pOutBlock) + i * m_nBlockBytes;
        m_pOutHdr[i] = new (std::nothrow) WAVEHDR{};
        if (m_pOutHdr[i] == nullptr) {
            WaveOutFreeBuffers();
            return FALSE;
        }
    }
    return TRUE;
}

void CWaveInOutDlg::WaveOutFreeBuffers() {
    for (int i = 0; i < 4; ++i) {
        delete m_pOutHdr[i];
        m_pOutHdr[i] = nullptr;
        m_pOutData[i] = nullptr;
    }
    delete[] m_pOutBlock;
    m_pOutBlock = nullptr;
}

void CWaveInOutDlg::WaveOutClearState() {
    m_hWaveOut = nullptr;
    m_bOutDeviceLost = FALSE;
    m_nOutQueued = 0;
    m_nOutBytes = 0;
    m_nPlayedPos = 0;
    m_dwPlayedRaw = 0;
}
