// CMidiNotePlayer: sounds clicked notes on a MIDI output, each for half a second, on one thread
// of its own (started at the first note). Each note's note-off goes to the note its own note-on
// started, however the clicks overlap.
//
// Threads: Play, Stop and the destructor run on the user-interface thread; the player's thread
// sends the messages. Stop (and the destructor) sends every pending note-off at once, then joins
// the thread, so that the output can be closed right after it and no note keeps sounding.
// Notes asked for after Stop start the thread again.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/base/thread.h"
#include "platform/midi/midiapi.h"

class CMidiNotePlayer {
public:
    static constexpr int kNoteMs = 500;

    CMidiNotePlayer() = default;
    CMidiNotePlayer(const CMidiNotePlayer&) = delete;
    CMidiNotePlayer& operator=(const CMidiNotePlayer&) = delete;
    ~CMidiNotePlayer() { Stop(); }

    // Note-on (velocity 127) at once and note-off (note-on with velocity 0) kNoteMs later, on
    // MIDI channel 1 of out. latest (may be null) is set to 0 when this note ends while it is
    // still the latest note. False when no thread could be made (nothing is sent then).
    bool Play(HMIDIOUT out, int note, std::atomic<int>* latest);
    // Sends the note-offs of every sounding note now, drops notes not yet started, joins.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;
    struct Note {
        HMIDIOUT out;
        int note;
        std::atomic<int>* latest;
        Clock::time_point offAt;
    };
    void Run();
    static void NoteOff(const Note& n);
    // Sends the note-off of the first sounding note and forgets it (lock held on entry and exit).
    void EndFirstNote(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Note> m_toStart;   // asked for, note-on not sent yet
    std::deque<Note> m_sounding;  // note-on sent, in order of their note-off times
    bool m_bStop = false;
    CWorkerThread m_thread;
};
