// The General MIDI software synthesizer (FluidSynth) with a GM sound font from the system,
// playing through the default sound device. The mapper of a desktop without MIDI hardware.
//
// The sound output sleeps while no note sounds: a synthesizer that renders silence into the
// sound device costs a fifth of a core all the time the program is open. The output is opened
// once at the start, so that a missing sound device is reported then, and closed again at once;
// a note-on opens it (in some milliseconds, before the note's first period plays), and a
// watcher closes it once every voice has been silent for a while.
//
// Threads: Send runs on the threads that play notes (one at a time, under the device's lock);
// the watcher is a thread of its own. Both open and close the output under m_outputMutex.
#include <fluidsynth.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/midi/synth.h"
#include "platform/wave/libmessages.h"

namespace platform::midi {
namespace {

// GM sound fonts of the system, in order of choice.
constexpr const char* kSoundFonts[] = {
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/soundfonts/default.sf2",
};
// Audio drivers that reach the desktop's default sound device, in order of choice.
constexpr const char* kAudioDrivers[] = {"pulseaudio", "pipewire", "alsa"};
// How long every voice must have been silent before the output sleeps, and how often the
// watcher looks while the output is open.
constexpr auto kSilenceBeforeSleep = std::chrono::milliseconds(1500);
constexpr auto kWatchPeriod = std::chrono::milliseconds(250);

bool Exists(const char* path) { return std::ifstream(path).good(); }

// The synthesizer's own log lines would go to the terminal; failures are reported by the caller.
void QuietLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            fluid_set_log_function(level, nullptr, nullptr);
        }
    });
}

class SoftwareSynth : public Synth {
public:
    ~SoftwareSynth() override {
        {
            std::lock_guard<std::mutex> lock(m_outputMutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_watcher.joinable()) m_watcher.join();
        // The audio driver pulls from the synth: it goes first.
        if (m_driver != nullptr) delete_fluid_audio_driver(m_driver);
        if (m_synth != nullptr) delete_fluid_synth(m_synth);
        if (m_settings != nullptr) delete_fluid_settings(m_settings);
    }

    bool Start() {
        const char* font = nullptr;
        for (const char* path : kSoundFonts) {
            if (Exists(path)) {
                font = path;
                break;
            }
        }
        if (font == nullptr) return false;
        m_settings = new_fluid_settings();
        if (m_settings == nullptr) return false;
        fluid_settings_setnum(m_settings, "synth.sample-rate", 44100.0);
        fluid_settings_setnum(m_settings, "synth.gain", 0.5);
        m_synth = new_fluid_synth(m_settings);
        if (m_synth == nullptr || fluid_synth_sfload(m_synth, font, 1) == FLUID_FAILED) return false;
        // Its audio drivers try the sound libraries, which print their failures themselves.
        platform::wave::RouteSoundLibraryMessages();
        // The first driver that opens is the one the notes use; it sleeps until the first note.
        bool opened = false;
        for (const char* driver : kAudioDrivers) {
            if (fluid_settings_setstr(m_settings, "audio.driver", driver) != FLUID_OK) continue;
            if (fluid_audio_driver_t* probe = new_fluid_audio_driver(m_settings, m_synth)) {
                delete_fluid_audio_driver(probe);
                opened = true;
                break;
            }
        }
        if (!opened) return false;
        m_watcher = std::thread([this] { Watch(); });
        return true;
    }

    bool Send(const std::uint8_t* b, std::size_t n) override {
        if (n == 0) return false;
        const int ch = b[0] & 0x0F;
        switch (b[0] & 0xF0) {
        case 0x80: return n >= 3 && Ok(fluid_synth_noteoff(m_synth, ch, b[1]));
        case 0x90:
            if (n < 3) return false;
            if (b[2] == 0) return Ok(fluid_synth_noteon(m_synth, ch, b[1], 0));
            // The note is in the synth before the output wakes, so its first period plays it.
            if (!Ok(fluid_synth_noteon(m_synth, ch, b[1], b[2]))) return false;
            return WakeOutput();
        case 0xA0: return n >= 3 && Ok(fluid_synth_key_pressure(m_synth, ch, b[1], b[2]));
        case 0xB0: return n >= 3 && Ok(fluid_synth_cc(m_synth, ch, b[1], b[2]));
        case 0xC0: return n >= 2 && Ok(fluid_synth_program_change(m_synth, ch, b[1]));
        case 0xD0: return n >= 2 && Ok(fluid_synth_channel_pressure(m_synth, ch, b[1]));
        case 0xE0: return n >= 3 && Ok(fluid_synth_pitch_bend(m_synth, ch, b[1] | (b[2] << 7)));
        default: break;
        }
        if (b[0] == 0xF0 && n >= 2 && b[n - 1] == 0xF7) {
            // The synthesizer takes the message without its F0 and F7.
            int handled = 0;
            return Ok(fluid_synth_sysex(m_synth, reinterpret_cast<const char*>(b + 1), static_cast<int>(n - 2), nullptr,
                                        nullptr, &handled, 0));
        }
        return false;
    }

private:
    static bool Ok(int result) { return result == FLUID_OK; }

    // Opens the output if it sleeps; the watcher then sees sound again. False when it cannot.
    bool WakeOutput() {
        {
            std::lock_guard<std::mutex> lock(m_outputMutex);
            m_lastSound = std::chrono::steady_clock::now();
            if (m_driver == nullptr) m_driver = new_fluid_audio_driver(m_settings, m_synth);
            if (m_driver == nullptr) return false;
        }
        m_wake.notify_all();
        return true;
    }

    // Closes the output once no voice has sounded for kSilenceBeforeSleep; waits without
    // looking while it sleeps.
    void Watch() {
        std::unique_lock<std::mutex> lock(m_outputMutex);
        while (!m_stop) {
            if (m_driver == nullptr) {
                m_wake.wait(lock, [this] { return m_stop || m_driver != nullptr; });
                continue;
            }
            m_wake.wait_for(lock, kWatchPeriod, [this] { return m_stop; });
            if (m_stop || m_driver == nullptr) continue;
            const auto now = std::chrono::steady_clock::now();
            if (fluid_synth_get_active_voice_count(m_synth) > 0) {
                m_lastSound = now;
            } else if (now - m_lastSound >= kSilenceBeforeSleep) {
                delete_fluid_audio_driver(m_driver);
                m_driver = nullptr;
            }
        }
    }

    fluid_settings_t* m_settings = nullptr;
    fluid_synth_t* m_synth = nullptr;
    std::mutex m_outputMutex;
    std::condition_variable m_wake;
    fluid_audio_driver_t* m_driver = nullptr;  // null while the output sleeps
    std::chrono::steady_clock::time_point m_lastSound;
    bool m_stop = false;
    std::thread m_watcher;
};

}  // namespace

std::unique_ptr<Synth> OpenSoftwareSynth() {
    QuietLog();
    auto synth = std::make_unique<SoftwareSynth>();
    if (!synth->Start()) return nullptr;
    return synth;
}

}  // namespace platform::midi
