// The two device tables of the main dialog: entry 0 is the "WAVE MAPPER" pseudo device (the
// system's default device), entries 1..count the listed devices; table entry i opens device
// id i - 1, so entry 0 opens WAVE_MAPPER.
#include <algorithm>
#include <cstring>

#include "app/WaveInOutDlg.h"

namespace {

template <typename Caps>
void SetMapperEntry(Caps& caps) {
    caps = Caps{};
    std::strncpy(caps.szPname, CSettingsFile::kMapperName, sizeof caps.szPname - 1);
}

}  // namespace

void CWaveInOutDlg::BuildDeviceTables() {
    // The table has room for the mapper and 99 devices; beyond that the first 99 are listed.
    constexpr UINT kMaxDevices = kDeviceTableSize - 1;

    SetMapperEntry(m_waveInCaps[0]);
    m_nWaveInIndex = 0;
    const UINT inDevices = std::min(waveInGetNumDevs(), kMaxDevices);
    int inCount = 0;
    for (UINT id = 0; id < inDevices; ++id) {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR) break;
        m_waveInCaps[++inCount] = caps;
    }
    m_nWaveInCount = inCount;

    SetMapperEntry(m_waveOutCaps[0]);
    m_nWaveOutIndex = 0;
    const UINT outDevices = std::min(waveOutGetNumDevs(), kMaxDevices);
    int outCount = 0;
    for (UINT id = 0; id < outDevices; ++id) {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR) break;
        m_waveOutCaps[++outCount] = caps;
    }
    m_nWaveOutCount = outCount;

    m_nWaveInId = WAVE_MAPPER;
    m_nWaveOutId = WAVE_MAPPER;
}
