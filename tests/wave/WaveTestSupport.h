// Shared pieces of the sound-device tests: a window that records what reaches it, buffer sets,
// formats, environment settings and a loop that stands in for the user-interface thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/msgqueue.h"
#include "platform/ui/wnd.h"
#include "platform/wave/waveapi.h"
#include "support/ScopedEnv.h"

namespace wavetest {

// A test of the wave devices: the device messages a test left queued are delivered before the
// next test starts.
class WaveDeviceTest : public ::testing::Test {
protected:
    void TearDown() override { platform::ui::DeliverPostedMessages(); }
};

struct Received {
    UINT message;
    WPARAM device;
    WAVEHDR* hdr;
    DWORD flagsAtDelivery;
    DWORD bytesRecordedAtDelivery;
    bool deviceOpenAtDelivery;
};

// Records every device message; asks at delivery time whether the handle still names an open
// device (preparing a scratch header answers MMSYSERR_INVALHANDLE for a closed one).
class CRecordingWnd : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        auto* hdr = reinterpret_cast<WAVEHDR*>(lParam);
        char byte = 0;
        WAVEHDR scratch;
        scratch.lpData = &byte;
        scratch.dwBufferLength = 1;
        const MMRESULT r = message == MM_WIM_DATA
                               ? waveInPrepareHeader(reinterpret_cast<HWAVEIN>(wParam), &scratch, sizeof scratch)
                               : waveOutPrepareHeader(reinterpret_cast<HWAVEOUT>(wParam), &scratch, sizeof scratch);
        got.push_back({message, wParam, hdr, hdr->dwFlags, hdr->dwBytesRecorded, r == MMSYSERR_NOERROR});
        if (onMessage) onMessage(got.back());
        return 0;
    }
    std::vector<Received> got;
    std::function<void(const Received&)> onMessage;
};

inline WAVEFORMATEX Pcm16(WORD channels, DWORD rate = 44100) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<WORD>(channels * 2);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// Four buffers of `samples` 16-bit samples each, headers pointing at them.
struct BufferSet {
    explicit BufferSet(std::size_t samples) {
        for (int i = 0; i < 4; ++i) {
            data[i].assign(samples, 0);
            hdr[i].lpData = reinterpret_cast<char*>(data[i].data());
            hdr[i].dwBufferLength = static_cast<DWORD>(samples * sizeof(short));
        }
    }
    std::vector<short> data[4];
    WAVEHDR hdr[4];
    int IndexOf(const WAVEHDR* h) const {
        for (int i = 0; i < 4; ++i)
            if (h == &hdr[i]) return i;
        return -1;
    }
};

inline DWORD_PTR Owner(CWnd* wnd) { return reinterpret_cast<DWORD_PTR>(wnd); }

using ::ScopedEnv;

// Stands in for the user-interface thread: delivers posted messages until done() holds. The
// limit only keeps a broken device from hanging the suite; nothing is asserted about time.
inline bool DeliverUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (platform::ui::DeliverPostedMessages() == 0) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

}  // namespace wavetest
