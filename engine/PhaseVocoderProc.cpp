// The phase-vocoder thread: in every round it converts the newest input block (equaliser,
// pitch shift or vocal cut/extract, gain and clamping, reverb) into the playback buffer two
// blocks behind it and appends that buffer to the output file when saving. The conversion
// itself is CPhaseVocoderRound; this file is the thin loop around it.
#include <algorithm>
#include <memory>
#include <new>

#include "app/WaveInOutDlg.h"
#include "effects/EQdlg.h"
#include "engine/PhaseVocoderRound.h"
#include "platform/base/clock.h"

namespace {

// How often a copy of the newest block is taken again when the input count moved on while it
// was being copied (a new block was stored over it meanwhile).
constexpr int kCopyAttempts = 4;

}  // namespace

BOOL CWaveInOutDlg::StartPhaseVocoderThread() {
    if (m_vocoderThread.IsRunning()) {
        // A thread of an earlier run that nobody joined ends before the new run starts.
        m_bThreadRun.store(FALSE, std::memory_order_release);
        m_vocoderThread.Join();
    }
    m_bThreadRun.store(TRUE, std::memory_order_release);
    for (auto& channel : m_nPeak)
        for (auto& slot : channel) slot.store(0, std::memory_order_relaxed);
    m_nInputCount.store(0, std::memory_order_release);
    m_bNextBlock.store(FALSE, std::memory_order_release);

    // The state is made here, so that a run that cannot convert fails at its start; the thread
    // owns it from then on and it goes with the thread.
    std::shared_ptr<CPhaseVocoderState> state;
    try {
        state = std::make_shared<CPhaseVocoderState>(m_pitchScale);
    } catch (const std::bad_alloc&) {
        state.reset();
    }
    const bool started = state && PhaseVocoderBegin(*state) &&
                         m_vocoderThread.Start([this, state] { PhaseVocoderThreadProc(this, state.get()); });
    m_dwVocoderThreadId = m_vocoderThread.Id();
    if (!started) {
        m_bThreadRun.store(FALSE, std::memory_order_release);
        return FALSE;
    }
    // The phase vocoder has no formant control: the formant display returns to 100 %.
    m_sliderFormant.SetPos(0);
    return TRUE;
}

void CWaveInOutDlg::JoinPhaseVocoderThread() { m_vocoderThread.Join(); }

unsigned CWaveInOutDlg::PhaseVocoderThreadProc(void* pDlg, CPhaseVocoderState* pState) {
    static_cast<CWaveInOutDlg*>(pDlg)->PhaseVocoderProc(*pState);
    return 1;
}

void CWaveInOutDlg::PhaseVocoderProc(CPhaseVocoderState& st) {
    if (!m_bThreadRun.load(std::memory_order_acquire)) return;
    do {
        PhaseVocoderStep(st);
        Sleep(2);
    } while (m_bThreadRun.load(std::memory_order_acquire));
}

bool CWaveInOutDlg::PhaseVocoderBegin(CPhaseVocoderState& st) {
    st.last = 0;
    st.procMin = 1000;
    st.procMax = -1;
    if (m_pfInputBuf == nullptr || m_pOutData[0] == nullptr || !m_outStage.IsAllocated() || m_nBlockBytes <= 0) return false;
    const int samples = m_nBlockBytes / 2;
    if (!st.round.Begin(samples)) return false;
    try {
        st.reverbBlock.assign(static_cast<size_t>(samples), 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CWaveInOutDlg::PhaseVocoderStep(CPhaseVocoderState& st) {
    std::int64_t count = m_nInputCount.load(std::memory_order_acquire);
    if (count == st.last) return false;
    const bool thru = m_chkThru.GetCheck() != BST_UNCHECKED;
    const DWORD t0 = timeGetTime();
    const int samples = st.round.BlockSamples();
    const int channels = st.round.Channels();

    // A private copy of the newest block, whole: taken again when a block was being stored
    // during the copy (its sequence number moved) or stored meanwhile (the count moved).
    float* in = nullptr;
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        const bool whole = st.round.TakeInput(m_pfInputBuf, m_vocoderInputSeq, &in);
        const std::int64_t now = m_nInputCount.load(std::memory_order_acquire);
        if (whole && now == count) break;
        count = now;
    }

    if (thru) {
        // Straight through: no gain, effects or file.
        short* out = m_outStage.Slot(CPhaseVocoderRound::PlaybackSlot(count, samples));
        FloatsToSamples16(in, samples, out);
        st.last = count;
        FinishEngineCycle(count);
        ShowProcTime(t0, &st.procMin, &st.procMax);
        return true;
    }

    CEQdlg* effects = m_pEQDlg.load(std::memory_order_acquire);
    if (effects != nullptr && effects->m_bEQ.load(std::memory_order_acquire)) effects->ProcessEQ(in, samples, channels);

    const int minKey = std::clamp(m_comboMinKey.GetCurSel(), 0, kKeyCount - 1);
    st.round.Convert(m_fPitchRatio.load(std::memory_order_relaxed), m_nVocalMode,
                     static_cast<float>(m_nKeyBoundaryHz[minKey]));

    // Two blocks behind the newest block, as the count stands now.
    const int slot = CPhaseVocoderRound::PlaybackSlot(m_nInputCount.load(std::memory_order_acquire), samples);
    short* out = m_outStage.Slot(slot);
    st.round.Render(out);

    if (effects != nullptr && effects->m_bReverb.load(std::memory_order_acquire)) {
        float* block = st.reverbBlock.data();
        for (int i = 0; i < samples; ++i) block[i] = static_cast<float>(out[i]);
        effects->ProcessReverb(block, samples, channels);
        FloatsToSamples16(block, samples, out);
    }

    st.last = m_nInputCount.load(std::memory_order_acquire);

    // Original: the equalised input as it came, in place of the conversion.
    if (m_chkOriginal.GetCheck() != BST_UNCHECKED) FloatsToSamples16(st.round.Input(), samples, out);

    // The silent blocks that carry a file's last block through are played but not saved.
    if (m_chkSave.GetCheck() != BST_UNCHECKED && SamplesBeforeInputEnd(count - samples, samples) > 0)
        AppendToSaveFile(out, static_cast<LONG>(m_nBlockBytes));

    FinishEngineCycle(count);
    ShowProcTime(t0, &st.procMin, &st.procMax);
    return true;
}
