// The file-backed recording and playback devices chosen by environment variables.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>

#include "platform/wave/virtualbackend.h"
#include "platform/wave/wavfileio.h"
#include "tests/support/TempFolder.h"
#include "tests/wave/WaveTestSupport.h"

using namespace wavetest;
using platform::ui::DeliverPostedMessages;

namespace {

void WriteWav(const std::string& path, const std::vector<short>& samples, WORD channels, DWORD rate = 44100) {
    platform::wave::CWavWriter w;
    ASSERT_TRUE(w.Open(path, Pcm16(channels, rate), nullptr));
    ASSERT_TRUE(w.Write(samples.data(), samples.size() * sizeof(short)));
    ASSERT_TRUE(w.Close());
}

std::vector<short> Ramp(int n) {
    std::vector<short> v(n);
    for (int i = 0; i < n; ++i) v[i] = static_cast<short>((i * 37) % 20000 - 10000 + (i == 0 ? 1 : 0));
    return v;
}

class VirtualDevice : public WaveDeviceTest {
protected:
    // Records from the virtual device, requeueing every buffer, until `samples` have arrived.
    std::vector<short> Record(WORD channels, std::size_t samples) {
        const WAVEFORMATEX f = Pcm16(channels);
        HWAVEIN h = nullptr;
        EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
        if (h == nullptr) return {};
        BufferSet b(512);
        std::vector<short> got;
        int expected = 0;
        wnd.onMessage = [&](const Received& r) {
            const int i = b.IndexOf(r.hdr);
            EXPECT_EQ(i, expected % 4) << "buffers come back in the order they were queued";
            ++expected;
            got.insert(got.end(), b.data[i].begin(), b.data[i].begin() + r.hdr->dwBytesRecorded / 2);
            r.hdr->dwFlags = 0;
            waveInPrepareHeader(h, r.hdr, sizeof(WAVEHDR));
            waveInAddBuffer(h, r.hdr, sizeof(WAVEHDR));
        };
        for (WAVEHDR& hdr : b.hdr) {
            waveInPrepareHeader(h, &hdr, sizeof hdr);
            waveInAddBuffer(h, &hdr, sizeof hdr);
        }
        EXPECT_EQ(waveInStart(h), MMSYSERR_NOERROR);
        EXPECT_TRUE(DeliverUntil([&] { return got.size() >= samples; }));
        EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
        wnd.onMessage = nullptr;
        return got;
    }

    TempFolder tmp;
    ScopedEnv speed{"SORVEL_VIRTUAL_SPEED", "50"};
    CRecordingWnd wnd;
};

TEST_F(VirtualDevice, RecordingDeliversTheFileThenSilenceInBufferOrder) {
    const std::vector<short> voice = Ramp(3000);
    WriteWav(tmp.File("in.wav"), voice, 1);
    ScopedEnv in("SORVEL_VIRTUAL_IN", tmp.File("in.wav"));
    const std::vector<short> got = Record(1, 4096);
    ASSERT_GE(got.size(), 4096u);
    EXPECT_EQ(std::vector<short>(got.begin(), got.begin() + 3000), voice);
    EXPECT_EQ(std::vector<short>(got.begin() + 3000, got.end()), std::vector<short>(got.size() - 3000, 0));
}

TEST_F(VirtualDevice, RecordingInStereoDoublesAMonoFile) {
    const std::vector<short> voice = Ramp(1024);
    WriteWav(tmp.File("in.wav"), voice, 1);
    ScopedEnv in("SORVEL_VIRTUAL_IN", tmp.File("in.wav"));
    const std::vector<short> got = Record(2, 2048);
    ASSERT_GE(got.size(), 2048u);
    for (std::size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(got[2 * i], voice[i]);
        ASSERT_EQ(got[2 * i + 1], voice[i]);
    }
}

TEST_F(VirtualDevice, RecordingNeverRunsAheadOfItsClock) {
    WriteWav(tmp.File("in.wav"), Ramp(100), 1);
    ScopedEnv in("SORVEL_VIRTUAL_IN", tmp.File("in.wav"));
    ScopedEnv slower("SORVEL_VIRTUAL_SPEED", "4");
    const auto start = std::chrono::steady_clock::now();
    const std::vector<short> got = Record(1, 22050);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Whatever the machine's speed, the device cannot have delivered more than its clock allowed.
    EXPECT_LE(static_cast<double>(got.size()), seconds * 44100.0 * 4.0 + 1.0);
}

TEST_F(VirtualDevice, PlaybackRecordsExactlyWhatItPlayedIntoAValidWav) {
    const std::string path = tmp.File("out.wav");
    ScopedEnv out("SORVEL_VIRTUAL_OUT", path);
    const WAVEFORMATEX f = Pcm16(2);
    HWAVEOUT h = nullptr;
    ASSERT_EQ(waveOutOpen(&h, WAVE_MAPPER, &f, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    BufferSet b(400);
    std::vector<short> expected;
    int rounds = 0;
    auto fill = [&](WAVEHDR* hdr) {
        const int i = b.IndexOf(hdr);
        for (int k = 0; k < 400; ++k) b.data[i][k] = static_cast<short>(rounds * 1000 + k);
        expected.insert(expected.end(), b.data[i].begin(), b.data[i].end());
        ++rounds;
        hdr->dwFlags = 0;
        waveOutPrepareHeader(h, hdr, sizeof(WAVEHDR));
        EXPECT_EQ(waveOutWrite(h, hdr, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    };
    wnd.onMessage = [&](const Received& r) {
        if (rounds < 8) fill(r.hdr);
    };
    for (WAVEHDR& hdr : b.hdr) fill(&hdr);
    ASSERT_TRUE(DeliverUntil([&] { return wnd.got.size() == 8; }));
    MMTIME t;
    t.wType = TIME_BYTES;
    ASSERT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.u.cb, 8u * 800u);
    ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);

    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44u + 6400u);
    auto u32 = [&](std::size_t at) { return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24; };
    auto u16 = [&](std::size_t at) { return bytes[at] | bytes[at + 1] << 8; };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), 36 + 6400);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16);
    EXPECT_EQ(u16(20), 1);
    EXPECT_EQ(u16(22), 2);
    EXPECT_EQ(u32(24), 44100);
    EXPECT_EQ(u32(28), 176400);
    EXPECT_EQ(u16(32), 4);
    EXPECT_EQ(u16(34), 16);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(u32(40), 6400);
    std::vector<short> data(3200);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<short>(u16(44 + 2 * i));
    EXPECT_EQ(data, expected);
}

TEST_F(VirtualDevice, PausedPlaybackPlaysNothingAndLaterPlaysWhatWasWrittenIntoQueuedBuffers) {
    const std::string path = tmp.File("out.wav");
    ScopedEnv out("SORVEL_VIRTUAL_OUT", path);
    const WAVEFORMATEX f = Pcm16(1);
    HWAVEOUT h = nullptr;
    ASSERT_EQ(waveOutOpen(&h, 0, &f, Owner(&wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPause(h), MMSYSERR_NOERROR);
    BufferSet b(300);
    for (WAVEHDR& hdr : b.hdr) {
        waveOutPrepareHeader(h, &hdr, sizeof hdr);
        waveOutWrite(h, &hdr, sizeof hdr);
    }
    b.data[3].assign(300, 777);  // the engine writes ahead into a queued buffer
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    MMTIME t;
    t.wType = TIME_SAMPLES;
    ASSERT_EQ(waveOutGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.u.sample, 0u);
    ASSERT_EQ(waveOutRestart(h), MMSYSERR_NOERROR);
    ASSERT_TRUE(DeliverUntil([&] { return wnd.got.size() == 4; }));
    ASSERT_EQ(waveOutClose(h), MMSYSERR_NOERROR);
    platform::wave::WavAudio audio;
    ASSERT_TRUE(platform::wave::ReadWavFile(path, &audio, nullptr));
    ASSERT_EQ(audio.samples.size(), 1200u);
    EXPECT_EQ(std::vector<short>(audio.samples.begin(), audio.samples.begin() + 900), std::vector<short>(900, 0));
    EXPECT_EQ(std::vector<short>(audio.samples.begin() + 900, audio.samples.end()), std::vector<short>(300, 777));
}

TEST_F(VirtualDevice, VirtualDevicesReplaceTheSoundSystemList) {
    WriteWav(tmp.File("in.wav"), Ramp(10), 2);
    ScopedEnv in("SORVEL_VIRTUAL_IN", tmp.File("in.wav"));
    ScopedEnv out("SORVEL_VIRTUAL_OUT", tmp.File("out.wav"));
    ASSERT_EQ(waveInGetNumDevs(), 1u);
    ASSERT_EQ(waveOutGetNumDevs(), 1u);
    WAVEINCAPSA inCaps;
    ASSERT_EQ(waveInGetDevCapsA(0, &inCaps, sizeof inCaps), MMSYSERR_NOERROR);
    EXPECT_STREQ(inCaps.szPname, platform::wave::kVirtualInName);
    WAVEOUTCAPSA outCaps;
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &outCaps, sizeof outCaps), MMSYSERR_NOERROR);
    EXPECT_STREQ(outCaps.szPname, platform::wave::kVirtualOutName);
    const WAVEFORMATEX f = Pcm16(1);
    EXPECT_EQ(waveInOpen(nullptr, 1, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_BADDEVICEID);
}

TEST_F(VirtualDevice, FilesTheDevicesCannotUseAreRefusedWithACode) {
    const WAVEFORMATEX f = Pcm16(1);
    HWAVEIN in = nullptr;
    {
        ScopedEnv missing("SORVEL_VIRTUAL_IN", tmp.File("missing.wav"));
        EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_ERROR);
        EXPECT_EQ(waveInOpen(&in, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_ERROR);
    }
    WriteWav(tmp.File("48k.wav"), Ramp(10), 1, 48000);
    ScopedEnv wrongRate("SORVEL_VIRTUAL_IN", tmp.File("48k.wav"));
    EXPECT_EQ(waveInOpen(&in, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    ScopedEnv badFolder("SORVEL_VIRTUAL_OUT", tmp.File("no-such-folder/out.wav"));
    HWAVEOUT out = nullptr;
    EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_ERROR);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
