#include "analyser/MidiNotePlayer.h"

namespace {
DWORD NoteOnMessage(int note, int velocity) {
    return 0x90u | (static_cast<DWORD>(note & 0x7F) << 8) | (static_cast<DWORD>(velocity & 0x7F) << 16);
}
}  // namespace

bool CMidiNotePlayer::Play(HMIDIOUT out, int note, std::atomic<int>* latest) {
    if (out == nullptr) return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_toStart.push_back(Note{out, note, latest, Clock::time_point{}});
    }
    if (!m_thread.IsRunning()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = false;
        }
        if (!m_thread.Start([this] { Run(); })) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_toStart.clear();
            return false;
        }
    }
    m_wake.notify_one();
    return true;
}

void CMidiNotePlayer::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_thread.Join();
}

void CMidiNotePlayer::NoteOff(const Note& n) {
    midiOutShortMsg(n.out, NoteOnMessage(n.note, 0));
    if (n.latest != nullptr) {
        int expected = n.note;
        n.latest->compare_exchange_strong(expected, 0);
    }
}

void CMidiNotePlayer::EndFirstNote(std::unique_lock<std::mutex>& lock) {
    const Note n = m_sounding.front();
    m_sounding.pop_front();
    // No lock while sending: a note asked for meanwhile must not wait for the output.
    lock.unlock();
    NoteOff(n);
    lock.lock();
}

void CMidiNotePlayer::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_bStop) {
            // Nothing new starts; what sounds ends now.
            m_toStart.clear();
            while (!m_sounding.empty()) EndFirstNote(lock);
            return;
        }
        if (!m_toStart.empty()) {
            Note n = m_toStart.front();
            m_toStart.pop_front();
            lock.unlock();
            midiOutShortMsg(n.out, NoteOnMessage(n.note, 127));
            n.offAt = Clock::now() + std::chrono::milliseconds(kNoteMs);
            lock.lock();
            m_sounding.push_back(n);
            continue;
        }
        if (!m_sounding.empty()) {
            const Clock::time_point due = m_sounding.front().offAt;
            if (Clock::now() >= due) {
                EndFirstNote(lock);
                continue;
            }
            m_wake.wait_until(lock, due);
            continue;
        }
        m_wake.wait(lock);
    }
}
