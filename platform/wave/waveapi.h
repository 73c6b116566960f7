// The wave-in / wave-out device calls the program makes.
//
// Devices: ids 0..GetNumDevs()-1 name the listed devices; WAVE_MAPPER opens the default one.
// Open with CALLBACK_WINDOW and dwCallback = (DWORD_PTR) the owner CWnd*: every finished buffer
// is then posted to the owner as MM_WIM_DATA (capture) or MM_WOM_DONE (playback) with
// wParam = (WPARAM) the device handle and lParam = (LPARAM) the WAVEHDR*, one message per
// buffer, in the order the buffers were queued, WHDR_DONE already set. The messages reach the
// owner's WindowProc on the thread that delivers posted messages (the user-interface thread).
// A message whose device has been closed by the time it is delivered is dropped, so a handler
// never receives a closed handle (handles are never reused either: a call with a stale one
// answers MMSYSERR_INVALHANDLE).
//
// Playback reads a queued buffer's memory when it plays it, so the program may keep writing
// into buffers that are already queued. Reset returns every queued buffer at once (marked done,
// posted) and returns after posting them. Close always closes: buffers still queued come back
// marked done, and their completions are dropped with the device. A device that goes away returns its queued buffers; later calls on it answer
// MMSYSERR_NODRIVER and close releases it.
//
// Every call is safe from any thread; calls on one device are serialised.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/wave/wavetypes.h"

UINT waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic);
MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInClose(HWAVEIN hwi);

UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsA(UINT uDeviceID, WAVEOUTCAPSA* pwoc, UINT cbwoc);
MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveOutPause(HWAVEOUT hwo);
MMRESULT waveOutRestart(HWAVEOUT hwo);
MMRESULT waveOutReset(HWAVEOUT hwo);
// Position played since open or the last reset, in the kind asked for in pmmt->wType
// (TIME_BYTES, TIME_SAMPLES or TIME_MS); any other kind is answered in TIME_BYTES.
MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* pmmt, UINT cbmmt);
MMRESULT waveOutClose(HWAVEOUT hwo);

namespace platform::wave {
// Playback devices read a queued buffer when they play it, holding readLock (when not nullptr)
// during each read of buffer memory. A program that writes into queued buffers from its own
// threads writes under the same lock, briefly: the device's sound thread waits for it. The
// lock must outlive the device. Set it before the first buffer is queued.
MMRESULT SetPlaybackReadLock(HWAVEOUT hwo, std::mutex* readLock);
// How far the program has gone with the stream, in bytes (an atomic the program keeps up to
// date; it must outlive the device): a device on a clock of its own making (the virtual
// devices) begins a buffer only once this has reached the buffer's start, so on it a run waits
// for the program; a sound-system device keeps its own time and takes no notice.
MMRESULT SetStreamProgress(HWAVEIN hwi, const std::atomic<std::int64_t>* bytes);
MMRESULT SetStreamProgress(HWAVEOUT hwo, const std::atomic<std::int64_t>* bytes);
// A live run: the playback device plays, through the program, what the recording device
// records. From now on the playback keeps its delay behind the recording at the value it had
// once both had run for a second: it skips what comes late (a stall of the program, of its
// window's thread or of the sound system cost the output more than the input) and plays
// silence where the input lost more. The program's playback buffers, end to end, are a ring
// of ringBytes into which it writes up to aheadBytes beyond its stream progress
// (SetStreamProgress): what was written again for a later turn of the ring before it was
// played is skipped. MMSYSERR_NOTSUPPORTED, and nothing linked, unless both devices are on the
// sound system's clock (the virtual devices wait for the program instead).
MMRESULT LinkLiveDevices(HWAVEIN hwi, HWAVEOUT hwo, DWORD ringBytes, DWORD aheadBytes);
// The program dropped `bytes` of what the recording device delivered: the input lost that
// much time, which a linked playback makes up for.
MMRESULT NoteInputDropped(HWAVEIN hwi, DWORD bytes);
// What a linked playback device did to keep the delay, since it was opened.
MMRESULT GetLiveDelayCounts(HWAVEOUT hwo, LiveDelayCounts* counts);
}  // namespace platform::wave
