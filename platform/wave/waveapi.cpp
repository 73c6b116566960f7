// The device calls: open devices are kept in a table by handle; completions travel from each
// device's completion thread through a relay window that drops those of closed devices.
#include "platform/wave/waveapi.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/ui/wnd.h"
#include "platform/wave/backend.h"
#include "platform/wave/devicecore.h"
#include "platform/wave/livedelay.h"

namespace platform::wave {
namespace {

// One open device. `closed` and the two parts are changed only under `calls`; the owner and
// the direction never change.
struct OpenDevice {
    Direction dir = Direction::Out;
    CWnd* owner = nullptr;
    std::mutex calls;  // serialises the program's calls on this device
    bool closed = false;
    std::unique_ptr<CWaveDeviceCore> core;
    std::unique_ptr<CWaveStream> stream;
};

// The open devices by handle. Any thread; one mutex. Handles count up and are never reused.
class CDeviceTable {
public:
    std::uintptr_t NewHandle() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next += 0x10;
        return m_next;
    }
    void Add(std::uintptr_t handle, std::shared_ptr<OpenDevice> dev) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.emplace(handle, std::move(dev));
    }
    void Remove(std::uintptr_t handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.erase(handle);
    }
    std::shared_ptr<OpenDevice> Find(std::uintptr_t handle, Direction dir) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_devices.find(handle);
        if (it == m_devices.end() || it->second->dir != dir) return nullptr;
        return it->second;
    }
    // The owner of an open device, or nullptr when the handle is not (or no longer) open.
    CWnd* OwnerOf(std::uintptr_t handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_devices.find(handle);
        return it == m_devices.end() ? nullptr : it->second->owner;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<OpenDevice>> m_devices;
    std::uintptr_t m_next = 0x5A0000;
};

// Built once and never destroyed, so that no device call can outlive it at program exit.
CDeviceTable& Table() {
    static auto* table = new CDeviceTable;
    return *table;
}

// Receives every completion on the user-interface thread and hands it to the device's owner
// while the device is still open; completions of a closed device end here.
class CCompletionRelay : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        CWnd* owner = Table().OwnerOf(wParam);
        return owner != nullptr ? owner->WindowProc(message, wParam, lParam) : 0;
    }
};

CCompletionRelay& Relay() {
    static auto* relay = new CCompletionRelay;
    return *relay;
}

MMRESULT CheckHeader(const WAVEHDR* hdr, UINT size) {
    if (hdr == nullptr || size < sizeof(WAVEHDR) || hdr->lpData == nullptr) return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

template <typename Fn>
MMRESULT WithDevice(std::uintptr_t handle, Direction dir, Fn&& fn) {
    std::shared_ptr<OpenDevice> dev = Table().Find(handle, dir);
    if (!dev) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(dev->calls);
    if (dev->closed) return MMSYSERR_INVALHANDLE;
    return fn(*dev);
}

MMRESULT Open(Direction dir, std::uintptr_t* handleOut, UINT id, const WAVEFORMATEX* format, DWORD_PTR callback,
              DWORD flags) {
    if (format == nullptr) return MMSYSERR_INVALPARAM;
    const DWORD callbackType = flags & CALLBACK_TYPEMASK;
    if ((flags & ~(WAVE_FORMAT_QUERY | CALLBACK_TYPEMASK)) != 0) return MMSYSERR_INVALFLAG;
    if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
    if (!IsSupportedPcm(*format)) return WAVERR_BADFORMAT;
    CWaveBackend& backend = BackendFor(dir);
    if ((flags & WAVE_FORMAT_QUERY) != 0) return backend.Query(dir, id, *format);
    if (handleOut == nullptr) return MMSYSERR_INVALPARAM;
    if (callbackType == CALLBACK_WINDOW && callback == 0) return MMSYSERR_INVALPARAM;

    auto dev = std::make_shared<OpenDevice>();
    dev->dir = dir;
    dev->owner = callbackType == CALLBACK_WINDOW ? reinterpret_cast<CWnd*>(callback) : nullptr;
    const std::uintptr_t handle = Table().NewHandle();
    std::function<void(WAVEHDR*)> post;
    if (dev->owner != nullptr) {
        const UINT message = dir == Direction::In ? MM_WIM_DATA : MM_WOM_DONE;
        CCompletionRelay* relay = &Relay();
        post = [relay, message, handle](WAVEHDR* hdr) {
            relay->PostMessage(message, handle, reinterpret_cast<LPARAM>(hdr));
        };
    }
    dev->core = std::make_unique<CWaveDeviceCore>(dir, *format, std::move(post));
    const MMRESULT r = backend.Open(dir, id, *dev->core, &dev->stream);
    if (r != MMSYSERR_NOERROR) return r;
    Table().Add(handle, dev);
    *handleOut = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT Prepare(std::uintptr_t handle, Direction dir, WAVEHDR* hdr, UINT size) {
    return WithDevice(handle, dir, [&](OpenDevice& dev) {
        if (const MMRESULT r = CheckHeader(hdr, size)) return r;
        if (dev.core->IsLost()) return MMSYSERR_NODRIVER;
        hdr->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT Unprepare(std::uintptr_t handle, Direction dir, WAVEHDR* hdr, UINT size) {
    return WithDevice(handle, dir, [&](OpenDevice&) {
        if (const MMRESULT r = CheckHeader(hdr, size)) return r;
        if ((hdr->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        hdr->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT Queue(std::uintptr_t handle, Direction dir, WAVEHDR* hdr, UINT size) {
    return WithDevice(handle, dir, [&](OpenDevice& dev) {
        if (const MMRESULT r = CheckHeader(hdr, size)) return r;
        if ((hdr->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
        if ((hdr->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
        return dev.core->Submit(hdr);
    });
}

MMRESULT Close(std::uintptr_t handle, Direction dir) {
    return WithDevice(handle, dir, [&](OpenDevice& dev) {
        dev.closed = true;
        Table().Remove(handle);  // from here on its completions are dropped
        dev.stream.reset();      // the device side stops
        // Buffers still queued (the owner requeued one after the reset that came before the
        // close) come back marked done, so the device closes whatever the order of calls.
        if (!dev.core->IsLost()) dev.core->Reset();
        dev.core.reset();  // the completion thread ends
        return MMSYSERR_NOERROR;
    });
}

void FillName(char (&dest)[MAXPNAMELEN], const std::string& name) {
    std::memset(dest, 0, sizeof dest);
    std::memcpy(dest, name.data(), std::min<std::size_t>(name.size(), MAXPNAMELEN - 1));
}

DWORD StandardFormats(WORD channels) { return WAVE_FORMAT_4M16 | (channels >= 2 ? WAVE_FORMAT_4S16 : 0); }

std::uintptr_t H(HWAVEIN h) { return reinterpret_cast<std::uintptr_t>(h); }
std::uintptr_t H(HWAVEOUT h) { return reinterpret_cast<std::uintptr_t>(h); }

}  // namespace
}  // namespace platform::wave

namespace platform::wave {
namespace {

// Capabilities record of either kind: the device's name, channels and the standard formats.
template <typename Caps>
MMRESULT FillCaps(Direction dir, UINT id, Caps* out, UINT size) {
    if (out == nullptr || size < sizeof(Caps)) return MMSYSERR_INVALPARAM;
    DeviceCaps caps;
    if (const MMRESULT r = BackendFor(dir).Caps(dir, id, &caps)) return r;
    *out = Caps{};
    FillName(out->szPname, caps.name);
    out->wChannels = caps.channels;
    out->dwFormats = StandardFormats(caps.channels);
    return MMSYSERR_NOERROR;
}

// Opens a device of either kind; a format query leaves the handle untouched.
template <typename Handle>
MMRESULT OpenAs(Direction dir, Handle* out, UINT id, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD flags) {
    std::uintptr_t handle = 0;
    if (out != nullptr && (flags & WAVE_FORMAT_QUERY) == 0) *out = nullptr;
    const MMRESULT r = Open(dir, out != nullptr ? &handle : nullptr, id, format, callback, flags);
    if (r == MMSYSERR_NOERROR && handle != 0) *out = reinterpret_cast<Handle>(handle);
    return r;
}

}  // namespace
}  // namespace platform::wave

using platform::wave::Direction;
namespace pw = platform::wave;

// --- Recording ---------------------------------------------------------------------------------

UINT waveInGetNumDevs() { return pw::BackendFor(Direction::In).DeviceCount(Direction::In); }

MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic) {
    return pw::FillCaps(Direction::In, uDeviceID, pwic, cbwic);
}

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback, DWORD_PTR,
                    DWORD fdwOpen) {
    return pw::OpenAs(Direction::In, phwi, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    return pw::Prepare(pw::H(hwi), Direction::In, pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    return pw::Unprepare(pw::H(hwi), Direction::In, pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    return pw::Queue(pw::H(hwi), Direction::In, pwh, cbwh);
}

MMRESULT waveInStart(HWAVEIN hwi) {
    return pw::WithDevice(pw::H(hwi), Direction::In, [](pw::OpenDevice& d) { return d.core->Start(); });
}

MMRESULT waveInStop(HWAVEIN hwi) {
    return pw::WithDevice(pw::H(hwi), Direction::In, [](pw::OpenDevice& d) { return d.core->Stop(); });
}

MMRESULT waveInReset(HWAVEIN hwi) {
    return pw::WithDevice(pw::H(hwi), Direction::In, [](pw::OpenDevice& d) { return d.core->Reset(); });
}

MMRESULT waveInClose(HWAVEIN hwi) { return pw::Close(pw::H(hwi), Direction::In); }

// --- Playback ----------------------------------------------------------------------------------

UINT waveOutGetNumDevs() { return pw::BackendFor(Direction::Out).DeviceCount(Direction::Out); }

MMRESULT waveOutGetDevCapsA(UINT uDeviceID, WAVEOUTCAPSA* pwoc, UINT cbwoc) {
    return pw::FillCaps(Direction::Out, uDeviceID, pwoc, cbwoc);
}

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback, DWORD_PTR,
                     DWORD fdwOpen) {
    return pw::OpenAs(Direction::Out, phwo, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
    return pw::Prepare(pw::H(hwo), Direction::Out, pwh, cbwh);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
    return pw::Unprepare(pw::H(hwo), Direction::Out, pwh, cbwh);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
    return pw::Queue(pw::H(hwo), Direction::Out, pwh, cbwh);
}

MMRESULT waveOutPause(HWAVEOUT hwo) {
    return pw::WithDevice(pw::H(hwo), Direction::Out, [](pw::OpenDevice& d) { return d.core->Pause(); });
}

MMRESULT waveOutRestart(HWAVEOUT hwo) {
    return pw::WithDevice(pw::H(hwo), Direction::Out, [](pw::OpenDevice& d) { return d.core->Restart(); });
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    return pw::WithDevice(pw::H(hwo), Direction::Out, [](pw::OpenDevice& d) { return d.core->Reset(); });
}

MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* pmmt, UINT cbmmt) {
    if (pmmt == nullptr || cbmmt < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
    return pw::WithDevice(pw::H(hwo), Direction::Out, [&](pw::OpenDevice& d) {
        std::uint64_t bytes = 0;
        if (const MMRESULT r = d.core->PlayedBytes(&bytes)) return r;
        const WAVEFORMATEX& f = d.core->Format();
        const std::uint64_t frames = bytes / f.nBlockAlign;
        switch (pmmt->wType) {
        case TIME_SAMPLES:
            pmmt->u.sample = static_cast<DWORD>(frames);
            break;
        case TIME_MS:
            pmmt->u.ms = static_cast<DWORD>(frames * 1000u / f.nSamplesPerSec);
            break;
        default:
            pmmt->wType = TIME_BYTES;
            pmmt->u.cb = static_cast<DWORD>(bytes);
            break;
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutClose(HWAVEOUT hwo) { return pw::Close(pw::H(hwo), Direction::Out); }

MMRESULT platform::wave::SetPlaybackReadLock(HWAVEOUT hwo, std::mutex* readLock) {
    return pw::WithDevice(pw::H(hwo), Direction::Out, [&](pw::OpenDevice& d) {
        d.core->SetReadLock(readLock);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT platform::wave::SetStreamProgress(HWAVEIN hwi, const std::atomic<std::int64_t>* bytes) {
    return pw::WithDevice(pw::H(hwi), Direction::In, [&](pw::OpenDevice& d) {
        d.core->SetProgress(bytes);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT platform::wave::SetStreamProgress(HWAVEOUT hwo, const std::atomic<std::int64_t>* bytes) {
    return pw::WithDevice(pw::H(hwo), Direction::Out, [&](pw::OpenDevice& d) {
        d.core->SetProgress(bytes);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT platform::wave::LinkLiveDevices(HWAVEIN hwi, HWAVEOUT hwo, DWORD ringBytes, DWORD aheadBytes) {
    std::shared_ptr<pw::OpenDevice> in = pw::Table().Find(pw::H(hwi), Direction::In);
    std::shared_ptr<pw::OpenDevice> out = pw::Table().Find(pw::H(hwo), Direction::Out);
    if (!in || !out) return MMSYSERR_INVALHANDLE;
    const auto realTime = [](pw::OpenDevice& d) {
        std::lock_guard<std::mutex> lock(d.calls);
        return !d.closed && d.stream != nullptr && d.stream->KeepsRealTime();
    };
    if (!realTime(*in) || !realTime(*out)) return MMSYSERR_NOTSUPPORTED;
    auto delay = std::make_shared<CLiveDelay>();
    MMRESULT r = pw::WithDevice(pw::H(hwo), Direction::Out, [&](pw::OpenDevice& d) {
        d.core->LinkLiveDelay(delay, ringBytes, aheadBytes);
        return MMSYSERR_NOERROR;
    });
    if (r != MMSYSERR_NOERROR) return r;
    return pw::WithDevice(pw::H(hwi), Direction::In, [&](pw::OpenDevice& d) {
        d.core->LinkLiveDelay(delay);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT platform::wave::NoteInputDropped(HWAVEIN hwi, DWORD bytes) {
    return pw::WithDevice(pw::H(hwi), Direction::In, [&](pw::OpenDevice& d) {
        d.core->NoteProgramDrop(bytes);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT platform::wave::GetLiveDelayCounts(HWAVEOUT hwo, LiveDelayCounts* counts) {
    if (counts == nullptr) return MMSYSERR_INVALPARAM;
    return pw::WithDevice(pw::H(hwo), Direction::Out, [&](pw::OpenDevice& d) {
        *counts = d.core->DelayCounts();
        return MMSYSERR_NOERROR;
    });
}
