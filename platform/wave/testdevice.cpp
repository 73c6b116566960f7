#include "platform/wave/testdevice.h"

#include <cstring>
#include <mutex>

namespace platform::wave {

// State shared between the backend and its open streams, so that a stream closed after the
// backend is gone still finds its mutex. Everything here is guarded by `mutex`; a pump holds it
// while it drives a core, so a close waits for the pump to finish.
struct CTestWaveDevices::Shared {
    mutable std::mutex mutex;
    std::vector<std::string> names[2];
    UINT defaultId[2] = {0, 0};
    MMRESULT queryFailure[2] = {MMSYSERR_NOERROR, MMSYSERR_NOERROR};
    MMRESULT openFailure[2] = {MMSYSERR_NOERROR, MMSYSERR_NOERROR};
    bool busy[2] = {false, false};
    CWaveDeviceCore* open[2] = {nullptr, nullptr};
    UINT openId[2] = {WAVE_MAPPER, WAVE_MAPPER};
    std::function<double()> realTimeClock;
};

namespace {

int Index(Direction dir) { return dir == Direction::In ? 0 : 1; }

class CTestStream : public CWaveStream {
public:
    CTestStream(std::shared_ptr<CTestWaveDevices::Shared> shared, Direction dir, bool realTime)
        : m_shared(std::move(shared)), m_dir(dir), m_realTime(realTime) {}
    ~CTestStream() override {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->open[Index(m_dir)] = nullptr;
        m_shared->openId[Index(m_dir)] = WAVE_MAPPER;
    }

    bool KeepsRealTime() const override { return m_realTime; }

private:
    std::shared_ptr<CTestWaveDevices::Shared> m_shared;
    Direction m_dir;
    bool m_realTime;
};

}  // namespace

CTestWaveDevices::CTestWaveDevices(std::vector<std::string> inputs, std::vector<std::string> outputs)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->names[0] = FitDeviceNames(inputs);
    m_shared->names[1] = FitDeviceNames(outputs);
    SetBackendOverride(this);
}

CTestWaveDevices::~CTestWaveDevices() { SetBackendOverride(nullptr); }

void CTestWaveDevices::SetDefault(Direction dir, UINT id) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->defaultId[Index(dir)] = id;
}

void CTestWaveDevices::FailQuery(Direction dir, MMRESULT code) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->queryFailure[Index(dir)] = code;
}

void CTestWaveDevices::FailOpen(Direction dir, MMRESULT code) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->openFailure[Index(dir)] = code;
}

void CTestWaveDevices::SetBusy(Direction dir, bool busy) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->busy[Index(dir)] = busy;
}

void CTestWaveDevices::KeepRealTime(std::function<double()> clock) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->realTimeClock = std::move(clock);
}

void CTestWaveDevices::Vanish(Direction dir) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (CWaveDeviceCore* core = m_shared->open[Index(dir)]) {
        core->Lose();
        core->WaitPosted();
    }
}

bool CTestWaveDevices::IsOpen(Direction dir) const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->open[Index(dir)] != nullptr;
}

UINT CTestWaveDevices::OpenedId(Direction dir) const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->openId[Index(dir)];
}

WAVEFORMATEX CTestWaveDevices::OpenFormat(Direction dir) const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const CWaveDeviceCore* core = m_shared->open[Index(dir)];
    return core != nullptr ? core->Format() : WAVEFORMATEX{};
}

std::size_t CTestWaveDevices::FeedInput(const std::vector<short>& samples) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    CWaveDeviceCore* core = m_shared->open[0];
    if (core == nullptr) return 0;
    const std::size_t stored =
        core->Capture(reinterpret_cast<const BYTE*>(samples.data()), samples.size() * sizeof(short));
    core->WaitPosted();
    return stored / sizeof(short);
}

void CTestWaveDevices::DropInput(std::size_t samples) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    if (CWaveDeviceCore* core = m_shared->open[0]) core->DropCaptured(samples * sizeof(short));
}

bool CTestWaveDevices::CompleteInputBuffer(const std::vector<short>& samples) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    CWaveDeviceCore* core = m_shared->open[0];
    if (core == nullptr) return false;
    const bool done =
        core->CaptureOneBuffer(reinterpret_cast<const BYTE*>(samples.data()), samples.size() * sizeof(short));
    core->WaitPosted();
    return done;
}

bool CTestWaveDevices::PlayOutputBuffer(std::vector<short>* out) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    CWaveDeviceCore* core = m_shared->open[1];
    if (core == nullptr) return false;
    std::vector<BYTE> bytes;
    const bool played = core->RenderOneBuffer(&bytes);
    core->WaitPosted();
    if (played) {
        out->assign(bytes.size() / sizeof(short), 0);
        if (!out->empty()) std::memcpy(out->data(), bytes.data(), out->size() * sizeof(short));
    }
    return played;
}

std::vector<short> CTestWaveDevices::PlayOutput(std::size_t frames) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    CWaveDeviceCore* core = m_shared->open[1];
    if (core == nullptr) return {};
    std::vector<BYTE> bytes(frames * core->Format().nBlockAlign);
    const std::size_t n = core->Render(bytes.data(), bytes.size());
    core->WaitPosted();
    std::vector<short> out(n / sizeof(short));
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(short));
    return out;
}

UINT CTestWaveDevices::DeviceCount(Direction dir) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return static_cast<UINT>(m_shared->names[Index(dir)].size());
}

MMRESULT CTestWaveDevices::Caps(Direction dir, UINT id, DeviceCaps* caps) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const auto& names = m_shared->names[Index(dir)];
    if (names.empty()) return MMSYSERR_NODRIVER;
    if (id == WAVE_MAPPER) id = m_shared->defaultId[Index(dir)];
    if (id >= names.size()) return MMSYSERR_BADDEVICEID;
    caps->name = names[id];
    caps->channels = 2;
    return MMSYSERR_NOERROR;
}

MMRESULT CTestWaveDevices::Query(Direction dir, UINT id, const WAVEFORMATEX&) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const auto& names = m_shared->names[Index(dir)];
    if (names.empty()) return MMSYSERR_NODRIVER;
    if (id != WAVE_MAPPER && id >= names.size()) return MMSYSERR_BADDEVICEID;
    return m_shared->queryFailure[Index(dir)];
}

MMRESULT CTestWaveDevices::Open(Direction dir, UINT id, CWaveDeviceCore& core, std::unique_ptr<CWaveStream>* stream) {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    const int d = Index(dir);
    const auto& names = m_shared->names[d];
    if (names.empty()) return MMSYSERR_NODRIVER;
    if (id == WAVE_MAPPER) id = m_shared->defaultId[d];
    if (id >= names.size()) return MMSYSERR_BADDEVICEID;
    if (m_shared->openFailure[d] != MMSYSERR_NOERROR) return m_shared->openFailure[d];
    if (m_shared->busy[d] || m_shared->open[d] != nullptr) return MMSYSERR_ALLOCATED;
    m_shared->open[d] = &core;
    m_shared->openId[d] = id;
    const bool realTime = static_cast<bool>(m_shared->realTimeClock);
    if (realTime) core.SetClock(m_shared->realTimeClock);
    *stream = std::make_unique<CTestStream>(m_shared, dir, realTime);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::wave
