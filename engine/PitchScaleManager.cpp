#include "engine/PitchScaleManager.h"

#include <cstring>
#include <mutex>
#include <new>

CPitchScaleManager::CPitchScaleManager() = default;

CPitchScaleManager::~CPitchScaleManager() = default;

int CPitchScaleManager::Init(int /*unused1*/, int /*unused2*/) {
    std::lock_guard<CCriticalSection> lock(m_cs);
    m_nChannels = 2;
    m_nSampleRate = 44100;
    for (auto& unit : m_pUnit) unit.reset();
    for (auto& unit : m_pUnit) {
        unit.reset(new (std::nothrow) CPitchScaleUnit());
        if (!unit || !unit->Init(0, m_nSampleRate, 0)) {
            for (auto& made : m_pUnit) made.reset();
            return 0;
        }
    }
    return 1;
}

void CPitchScaleManager::SetPitchRatio(float ratio) {
    std::lock_guard<CCriticalSection> lock(m_cs);
    for (auto& unit : m_pUnit)
        if (unit) unit->SetPitchRatio(ratio);
}

void CPitchScaleManager::Publish(const float* mag0, const float* mag1, const float* freq0, const float* freq1) {
    const size_t bytes = sizeof(float) * kSnapshotBins;
    std::lock_guard<CCriticalSection> lock(m_csSnapshot);
    std::memcpy(m_fSnapshot[0], mag0, bytes);
    std::memcpy(m_fSnapshot[1], mag1, bytes);
    if (freq0 != nullptr) std::memcpy(m_fSnapshot[2], freq0, bytes);
    if (freq1 != nullptr) std::memcpy(m_fSnapshot[3], freq1, bytes);
}

void CPitchScaleManager::ReadSnapshot(Snapshot& out) const {
    std::lock_guard<CCriticalSection> lock(m_csSnapshot);
    std::memcpy(out, m_fSnapshot, sizeof(Snapshot));
}

int CPitchScaleManager::Process(const float* inL, const float* inR, int count, float* outL, float* outR,
                                int* pOutCount, const float* params, int bReset) {
    if (count == 0) {
        *pOutCount = 0;
        return 1;
    }
    *pOutCount = 0;
    std::lock_guard<CCriticalSection> lock(m_cs);
    CPitchScaleUnit* left = m_pUnit[0].get();
    CPitchScaleUnit* right = m_pUnit[1].get();
    if (left == nullptr || right == nullptr) return 0;
    switch (m_nChannels.load()) {
    case 1:
        left->Process(inL, count, outL, pOutCount, bReset);
        Publish(left->AnaMag(), left->AnaMag(), left->AnaFreq(), left->AnaFreq());
        return 1;
    case 2:
        if (params != nullptr && params[VocalParams::kMode] > 0.0f) {
            // The vocal path needs both channels in one unit; the right unit rests, and the
            // frequency rows keep what the last pitch-shift frame left.
            left->ProcessVocal(count, inL, inR, params, pOutCount, outL, outR);
            Publish(left->DispMag(), left->DispMagR(), nullptr, nullptr);
        } else {
            left->Process(inL, count, outL, pOutCount, bReset);
            right->Process(inR, count, outR, pOutCount, bReset);
            Publish(left->AnaMag(), right->AnaMag(), left->AnaFreq(), right->AnaFreq());
        }
        return 1;
    default:
        return 0;
    }
}
