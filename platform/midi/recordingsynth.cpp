// The recording synthesizer: keeps each message with its arrival time, for tests and for runs
// without a sound device.
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include "platform/midi/midiapi.h"
#include "platform/midi/synth.h"

namespace platform::midi {
namespace {

std::mutex g_recordMutex;
std::deque<RecordedMidi> g_recorded;
constexpr std::size_t kRecordLimit = 100000;

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

class RecordingSynth : public Synth {
public:
    explicit RecordingSynth(std::string file) : m_file(std::move(file)) {}
    bool Send(const std::uint8_t* bytes, std::size_t count) override {
        RecordedMidi m;
        m.ms = NowMs();
        m.bytes.assign(bytes, bytes + count);
        if (!m_file.empty()) {
            if (std::FILE* fp = std::fopen(m_file.c_str(), "a")) {
                std::fprintf(fp, "%.1f %s\n", m.ms, HexBytes(m.bytes).c_str());
                std::fclose(fp);
            }
        }
        std::lock_guard<std::mutex> lock(g_recordMutex);
        g_recorded.push_back(std::move(m));
        if (g_recorded.size() > kRecordLimit) g_recorded.pop_front();
        return true;
    }

private:
    std::string m_file;
};

}  // namespace

std::unique_ptr<Synth> OpenRecordingSynth(const char* file) { return std::make_unique<RecordingSynth>(file ? file : ""); }

std::vector<RecordedMidi> TakeRecordedMidi() {
    std::lock_guard<std::mutex> lock(g_recordMutex);
    std::vector<RecordedMidi> out(g_recorded.begin(), g_recorded.end());
    g_recorded.clear();
    return out;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char hex[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

}  // namespace platform::midi
