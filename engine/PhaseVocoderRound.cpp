#include "engine/PhaseVocoderRound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

void FloatsToSamples16(const float* in, int count, short* out) {
    for (int i = 0; i < count; ++i) out[i] = ToSample16(in[i]);
}

CPhaseVocoderRound::CPhaseVocoderRound(CPitchScaleManager& manager) : m_manager(manager) {}

bool CPhaseVocoderRound::Begin(int blockSamples) {
    m_nChannels = 0;
    m_nBlockSamples = 0;
    m_fLastRatio = 0.0f;
    m_nLastMode = -1;
    m_fRatio = 1.0f;
    m_bLastReset = false;
    const int channels = m_manager.m_nChannels.load();
    if ((channels != 1 && channels != 2) || blockSamples <= 0 || blockSamples % channels != 0) return false;
    const size_t total = static_cast<size_t>(blockSamples);
    const size_t perChannel = total / static_cast<size_t>(channels);
    try {
        m_input.assign(total, 0.0f);
        m_inL.assign(perChannel, 0.0f);
        m_inR.assign(perChannel, 0.0f);
        m_outL.assign(perChannel, 0.0f);
        m_outR.assign(perChannel, 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_nChannels = channels;
    m_nBlockSamples = blockSamples;
    return true;
}

float* CPhaseVocoderRound::TakeInput(const float* newest) {
    std::memcpy(m_input.data(), newest, sizeof(float) * m_input.size());
    return m_input.data();
}

bool CPhaseVocoderRound::TakeInput(const float* newest, const CBlockSeq& seq, float** copy) {
    *copy = m_input.data();
    return seq.Read(newest, m_input.data(), m_input.size());
}

bool CPhaseVocoderRound::Convert(float pitchRatio, int vocalMode, float lowEdgeHz) {
    if (m_nChannels == 0) return false;
    const float p = (pitchRatio > 0.0f && std::isfinite(pitchRatio)) ? pitchRatio : 1.0f;
    m_fRatio = p;
    m_manager.SetPitchRatio(p);

    const bool reset = p != m_fLastRatio || std::isnan(p) || std::isnan(m_fLastRatio) || vocalMode != m_nLastMode;
    m_fLastRatio = p;
    m_nLastMode = vocalMode;
    m_bLastReset = reset;

    const int perChannel = m_nBlockSamples / m_nChannels;
    const float* in = m_input.data();
    if (m_nChannels == 1) {
        std::copy(in, in + perChannel, m_inL.begin());
        std::copy(in, in + perChannel, m_inR.begin());
    } else {
        for (int i = 0; i < perChannel; ++i) {
            m_inL[static_cast<size_t>(i)] = in[2 * i];
            m_inR[static_cast<size_t>(i)] = in[2 * i + 1];
        }
    }

    const VocalParams params{{static_cast<float>(vocalMode), lowEdgeHz, kUpperEdgeHz, kCoherence, kLevelRatio}};
    int produced = 0;
    const int ok = m_manager.Process(m_inL.data(), m_inR.data(), perChannel, m_outL.data(), m_outR.data(), &produced,
                                     params.value, reset ? 1 : 0);
    if (ok == 0) {
        std::fill(m_outL.begin(), m_outL.end(), 0.0f);
        std::fill(m_outR.begin(), m_outR.end(), 0.0f);
        return false;
    }
    return true;
}

float CPhaseVocoderRound::OutputGain(float pitchRatio) {
    float g = kGain;
    if (!(pitchRatio >= 1.0f)) g = kGain / std::sqrt(pitchRatio);
    return g;
}

void CPhaseVocoderRound::Render(short* dst) const {
    if (m_nChannels == 0) return;
    const float g = OutputGain(m_fRatio);
    const int perChannel = m_nBlockSamples / m_nChannels;
    if (m_nChannels == 2) {
        for (int i = 0; i < perChannel; ++i) {
            dst[2 * i] = ToSample16(m_outL[static_cast<size_t>(i)] * g);
            dst[2 * i + 1] = ToSample16(m_outR[static_cast<size_t>(i)] * g);
        }
    } else {
        for (int i = 0; i < perChannel; ++i) dst[i] = ToSample16(m_outL[static_cast<size_t>(i)] * g);
    }
}

int CPhaseVocoderRound::PlaybackSlot(std::int64_t inputCount, int blockSamples) {
    if (blockSamples <= 0) return 0;
    return static_cast<int>((inputCount / blockSamples - 2) & 3);
}
