// Where sound devices come from. A backend lists the devices of each direction, answers format
// queries and opens streams that drive a CWaveDeviceCore. The device calls (waveapi.h) pick the
// backend for each direction: a test backend while one is installed, else the virtual file
// device when its environment variable is set, else the sound system (PortAudio).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/wave/devicecore.h"
#include "platform/wave/wavetypes.h"

namespace platform::wave {

// An open device's backend half. Destroying it stops the device side for good: no call into
// the core is made after the destructor returns.
class CWaveStream {
public:
    virtual ~CWaveStream() = default;
    // True for a device on the sound system's clock, which plays and records in real time
    // whatever the program does (a live run keeps its delay on such devices only).
    virtual bool KeepsRealTime() const { return false; }
};

struct DeviceCaps {
    std::string name;   // fits a capability record's name field
    WORD channels = 0;  // most channels the device takes
};

class CWaveBackend {
public:
    virtual ~CWaveBackend() = default;
    virtual UINT DeviceCount(Direction dir) = 0;
    // id is 0..count-1 or WAVE_MAPPER (the default device).
    virtual MMRESULT Caps(Direction dir, UINT id, DeviceCaps* caps) = 0;
    // The format has already been checked to be 16-bit PCM.
    virtual MMRESULT Query(Direction dir, UINT id, const WAVEFORMATEX& format) = 0;
    // Opens the device with the core's format; the stream moves bytes through core until it is
    // destroyed.
    virtual MMRESULT Open(Direction dir, UINT id, CWaveDeviceCore& core, std::unique_ptr<CWaveStream>* stream) = 0;
};

// The backend that serves dir now.
CWaveBackend& BackendFor(Direction dir);
// While set (not null), every device call uses this backend for both directions.
void SetBackendOverride(CWaveBackend* backend);

// True for a format the devices take: PCM, 16 bits, 1 or 2 channels, 8000..192000 Hz, with
// consistent block alignment and byte rate.
bool IsSupportedPcm(const WAVEFORMATEX& format);

// Device names cut to fit a capability record (whole UTF-8 characters), made unique by a
// " #2", " #3", ... suffix where cutting made two alike.
std::vector<std::string> FitDeviceNames(const std::vector<std::string>& names);

}  // namespace platform::wave
