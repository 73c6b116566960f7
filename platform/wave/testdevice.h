// CTestWaveDevices: sound devices that a test drives by hand.
//
// While an object exists it replaces every other backend for both directions: the device
// calls list and open its devices, and no buffer moves until the test pumps one. Each pump
// returns after the completions it caused have been posted, so a following
// platform::ui::DeliverPostedMessages() hands them to the owner window. Failures can be
// injected: queries or opens that fail with a chosen code, a busy device, a device that goes
// away while it is open.
//
// One device of each direction can be open at a time (a second open answers
// MMSYSERR_ALLOCATED). Pumps and injections may be called from any thread; close every device
// before the object goes away.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wave/backend.h"

namespace platform::wave {

class CTestWaveDevices : public CWaveBackend {
public:
    CTestWaveDevices(std::vector<std::string> inputs = {"Test microphone"},
                     std::vector<std::string> outputs = {"Test speaker"});
    ~CTestWaveDevices() override;
    CTestWaveDevices(const CTestWaveDevices&) = delete;
    CTestWaveDevices& operator=(const CTestWaveDevices&) = delete;

    // --- Set-up and failures ----------------------------------------------------------------
    // The device WAVE_MAPPER opens (0 unless set).
    void SetDefault(Direction dir, UINT id);
    // Format queries (or opens) of that direction answer `code`; MMSYSERR_NOERROR clears it.
    void FailQuery(Direction dir, MMRESULT code);
    void FailOpen(Direction dir, MMRESULT code);
    // Opens of that direction answer MMSYSERR_ALLOCATED while busy.
    void SetBusy(Direction dir, bool busy);
    // Devices opened from now on stand in for a sound system's, which keep real time (a live
    // run links them to its delay keeper), on `clock` (seconds) instead of the steady clock;
    // nullptr: as before.
    void KeepRealTime(std::function<double()> clock);
    // The open device of that direction goes away: its queued buffers come back marked done,
    // and every later call on it but unprepare and close fails with MMSYSERR_NODRIVER.
    void Vanish(Direction dir);

    // --- State ------------------------------------------------------------------------------
    bool IsOpen(Direction dir) const;
    // The device id that the open device was opened as (WAVE_MAPPER resolved), or WAVE_MAPPER
    // when none is open.
    UINT OpenedId(Direction dir) const;
    WAVEFORMATEX OpenFormat(Direction dir) const;

    // --- Recording --------------------------------------------------------------------------
    // Streams interleaved samples into the queued buffers like a real device, completing each
    // buffer as it fills. Returns how many samples were taken (fewer when the buffers ran out,
    // 0 when not started).
    std::size_t FeedInput(const std::vector<short>& samples);
    // Drops `samples` recorded samples before they reach a buffer, as a device drops the backlog
    // of a stall.
    void DropInput(std::size_t samples);
    // Puts samples (at most what the current buffer still holds) into the current buffer and
    // completes it, full or not. False when not started or nothing is queued.
    bool CompleteInputBuffer(const std::vector<short>& samples);

    // --- Playback ---------------------------------------------------------------------------
    // Plays the rest of the current (or next) buffer and completes it; returns its samples.
    // False (out untouched) while paused or when nothing is queued.
    bool PlayOutputBuffer(std::vector<short>* out);
    // Plays up to `frames` frames across buffers; returns the samples taken from buffers
    // (fewer while paused or when the buffers run out).
    std::vector<short> PlayOutput(std::size_t frames);

    // --- CWaveBackend -----------------------------------------------------------------------
    UINT DeviceCount(Direction dir) override;
    MMRESULT Caps(Direction dir, UINT id, DeviceCaps* caps) override;
    MMRESULT Query(Direction dir, UINT id, const WAVEFORMATEX& format) override;
    MMRESULT Open(Direction dir, UINT id, CWaveDeviceCore& core, std::unique_ptr<CWaveStream>* stream) override;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace platform::wave
