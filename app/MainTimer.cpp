// The dialog's window procedure (device completions) and timer 1: play time, note name of the
// pitch being heard and the input level meter. Everything here runs on the user-interface thread;
// marks, amplitudes, the output ring and the peaks are read while the workers write them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/WaveInOutDlg.h"

namespace {

constexpr int kSampleRate = 44100;
// Meter bars in client pixels: left (or mono) and right channel, 9 pixels wide, rows 28..87.
constexpr int kMeterX[2] = {318, 328};
constexpr int kMeterWidth = 9;
constexpr int kMeterTop = 28;
constexpr int kMeterHeight = 60;  // 60 pixels stand for 18 dB
// Six bands of 10 pixels, from the bottom up.
constexpr COLORREF kBandColors[6] = {RGB(0, 0, 255),   RGB(0, 128, 192), RGB(0, 192, 128),
                                     RGB(0, 240, 0),   RGB(224, 224, 0), RGB(224, 0, 0)};

// Bytes per frame of a format; a header that states 0 gets it from channels and bits.
unsigned FrameBytes(const WAVEFORMATEX& fmt) {
    if (fmt.nBlockAlign != 0) return fmt.nBlockAlign;
    return static_cast<unsigned>(fmt.nChannels) * fmt.wBitsPerSample / 8u;
}

// Bytes per second of a format; a header that states 0 gets it from rate and frame size.
unsigned ByteRate(const WAVEFORMATEX& fmt) {
    if (fmt.nAvgBytesPerSec != 0) return fmt.nAvgBytesPerSec;
    return fmt.nSamplesPerSec * FrameBytes(fmt);
}

}  // namespace

LRESULT CWaveInOutDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MM_WOM_DONE) {
        WriteTrace("MM_WOM_DONE");
        if (m_nRunState.load() == 1 || m_bPlayThreadRun.load(std::memory_order_acquire)) {
            OnWomDone(reinterpret_cast<HWAVEOUT>(wParam), reinterpret_cast<WAVEHDR*>(lParam));
        }
        // The file player reads its next block once a playback buffer is free.
        m_bNextBlock.store(TRUE, std::memory_order_release);
    } else if (message == MM_WIM_DATA) {
        WriteTrace("MM_WIM_DATA");
        if (m_nInQueued != 0) OnWimData(reinterpret_cast<WAVEHDR*>(lParam));
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

long long CWaveInOutDlg::PlayedSamples() {
    MMTIME mmt;
    mmt.wType = TIME_SAMPLES;
    if (waveOutGetPosition(m_hWaveOut, &mmt, sizeof mmt) != MMSYSERR_NOERROR) return 0;
    switch (mmt.wType) {
    case TIME_SAMPLES:
        // The device counts in 32 bits; the position is carried on past its wrap (the timer asks
        // far more often than once per 2^32 samples).
        m_nPlayedPos += static_cast<DWORD>(mmt.u.sample - m_dwPlayedRaw);
        m_dwPlayedRaw = mmt.u.sample;
        return m_nPlayedPos;
    case TIME_BYTES: {
        const unsigned frame = FrameBytes(m_waveOutFmt.m_fmt);
        return frame != 0 ? static_cast<long long>(mmt.u.cb / frame) : 0;
    }
    case TIME_MS: return static_cast<long long>(mmt.u.ms) * m_waveOutFmt.m_fmt.nSamplesPerSec / 1000;
    default: return -1;
    }
}

float CWaveInOutDlg::HeardPitchHz(std::int64_t p) {
    const int mask = m_nRingMask;
    const int os = m_nOverSampling > 0 ? m_nOverSampling : 1;
    const std::int64_t* marks = m_pnMark;
    // The count is the index of the newest mark: marks 0..count are this run's, those beyond it
    // are zero or left from an earlier run.
    const int count = m_nMarkCount.load(std::memory_order_acquire);
    int read = m_nMarkRead.load(std::memory_order_relaxed);
    if (read > count) read = count;
    std::int64_t m = marks[read & mask] / os;
    while (p > m && m != 0 && read < count) {
        ++read;
        m = marks[read & mask] / os;
    }
    m_nMarkRead.store(read, std::memory_order_relaxed);
    if (read < 1 || read > count) return 0.0f;

    const std::int64_t q = marks[(read - 1) & mask] / os;
    const std::int64_t period = m - q;
    // A period longer than the output ring cannot be a pitch period.
    if (period <= 0 || period >= m_nRingLen) return 0.0f;
    const auto* out = reinterpret_cast<const short*>(m_pOutBlock);
    int peak = 0;
    std::lock_guard<std::mutex> reading(m_outStage.ReadLock());  // the engine publishes meanwhile
    for (std::int64_t k = q; k < m; ++k) {
        const int v = std::abs(static_cast<int>(out[k & mask]));
        if (v > peak) peak = v;
    }
    return peak > m_nAmpThreshold ? static_cast<float>(kSampleRate) / static_cast<float>(period) : 0.0f;
}

void CWaveInOutDlg::OnTimer(UINT_PTR nIDEvent) {
    // 1-2. Position in samples and in whole seconds.
    const long long s = PlayedSamples();
    const int t = static_cast<int>(s / kSampleRate);

    // 3. Play time; a file run also shows the file's length.
    char text[64];
    if (m_nRunState.load() == 1) {
        std::snprintf(text, sizeof text, "%3d:%02d", t / 60, t % 60);
    } else {
        // The length is what the file holds, whatever its header claims; the silence played
        // after its end to bring its last block out does not count past it.
        const unsigned rate = ByteRate(m_inputFile.m_fmt);
        const unsigned total = rate != 0 ? static_cast<unsigned>(m_inputFile.DataBytesHeld() / rate) : 0u;
        const int shown = t > static_cast<int>(total) ? static_cast<int>(total) : t;
        std::snprintf(text, sizeof text, "%3d:%02d / %u:%02u", shown / 60, shown % 60, total / 60, total % 60);
    }
    m_staticTime.SetWindowText(text);

    // 4. The position heard: played samples minus the four silent start buffers.
    const unsigned frame = FrameBytes(m_waveOutFmt.m_fmt);
    const long long p = s - 4LL * (frame != 0 ? m_nBlockBytes / static_cast<int>(frame) : 0);

    // 5. Note name of the period being heard (TD-PSOLA, not Thru).
    if (p > 0 && m_pnMark != nullptr && m_pOutBlock != nullptr && m_chkThru.GetCheck() == BST_UNCHECKED &&
        m_nMethod == 0) {
        ShowNoteName(static_cast<int>(HeardPitchHz(p)), &m_staticNote);
    }

    // 6.
    DrawLevelMeter();

    // 7. Analyser: the pitch track of the new marks, or the spectrum of the last whole frame.
    if (m_nMethod == 0) {
        const int marks = m_nMarkCount.load(std::memory_order_acquire);
        if (marks < 2 * m_nRingLen && m_pnMark != nullptr) {
            const int lo = std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1);
            const int hi = std::clamp(m_comboMaxKey.GetCurSel() + 1, 1, kKeyCount);
            UpdatePitchAnalyzer(marks, m_pnMark, m_psMarkAmp, m_nKeyBoundaryHz[lo], m_nKeyBoundaryHz[hi]);
        } else if (marks >= 2 * m_nRingLen) {
            m_staticBufferFull.ShowWindow(SW_SHOW);
        }
    } else {
        CPitchScaleManager::Snapshot snapshot;
        m_pitchScale.ReadSnapshot(snapshot);
        RedrawSpectrum(snapshot[0], snapshot[1], snapshot[2], snapshot[3]);
    }

    // 8.
    CDialog::OnTimer(nIDEvent);
}

void CWaveInOutDlg::DrawLevelMeter() {
    if (m_nBlockBytes <= 0) return;
    // The block two before the newest is about what is being heard.
    const unsigned count = static_cast<unsigned>(m_nInputCount.load(std::memory_order_acquire));
    const unsigned slot = (count * 2u / static_cast<unsigned>(m_nBlockBytes) - 2u) & 3u;
    CClientDC dc(this);
    for (int ch = 0; ch < 2; ++ch) {
        const int peak = m_nPeak[ch][slot].load(std::memory_order_relaxed);
        const double db = 20.0 * std::log10((peak + 1) / 32768.0);
        // Dark pixels from the top.
        double dark = db * (-60.0 / 18.0);
        if (!(dark > 0.0)) dark = 0.0;
        if (dark > kMeterHeight) dark = kMeterHeight;
        const int levelRow = kMeterTop + static_cast<int>(dark);
        const int x = kMeterX[ch];
        dc.FillSolidRect(CRect(x, kMeterTop, x + kMeterWidth, kMeterTop + kMeterHeight), RGB(0, 0, 0));
        for (int k = 0; k < 6; ++k) {
            const int top = kMeterTop + 50 - 10 * k;
            const int bottom = kMeterTop + 60 - 10 * k;
            if (top >= levelRow) {
                dc.FillSolidRect(CRect(x, top, x + kMeterWidth, bottom), kBandColors[k]);
            } else {
                if (levelRow < bottom) dc.FillSolidRect(CRect(x, levelRow, x + kMeterWidth, bottom), kBandColors[k]);
                break;
            }
        }
    }
}
