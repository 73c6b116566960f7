// Clicked notes on the MIDI output, as the recording synthesizer receives them: bytes, order and
// timing, instrument changes, MIDI off, and closing while a note sounds.
#include <chrono>
#include <thread>

#include "AnalyserSupport.h"
#include "platform/midi/midiapi.h"
#include "platform/ui/msgbox.h"

namespace {

using platform::midi::HexBytes;
using platform::midi::RecordedMidi;
using platform::midi::TakeRecordedMidi;

std::vector<std::string> Hex(const std::vector<RecordedMidi>& msgs) {
    std::vector<std::string> out;
    for (const auto& m : msgs) out.push_back(HexBytes(m.bytes));
    return out;
}

// Waits until n messages have arrived (at most 30 s, generous for a loaded machine) and returns
// what arrived.
std::vector<RecordedMidi> WaitFor(std::size_t n, std::vector<RecordedMidi> have = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (have.size() < n && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (auto& m : TakeRecordedMidi()) have.push_back(std::move(m));
    }
    return have;
}

class MidiNoteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("SORVEL_VIRTUAL_MIDI"), nullptr);
        TakeRecordedMidi();
        platform::ui::TakeHeadlessMessageBoxes();
        MakeWindow(screen);
    }
    void Click(int x, int y) { screen.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    CFFTScreen screen;
};

TEST_F(MidiNoteTest, OpeningResetsToGeneralMidiThenSelectsTheInstrumentOnce) {
    screen.SetMidiProgram(0);
    EXPECT_EQ(Hex(TakeRecordedMidi()), (std::vector<std::string>{"F0 7E 7F 09 01 F7", "C0 00"}));
    EXPECT_NE(screen.m_hMidiOut, nullptr);
    // A later instrument is only a program change on the open output.
    screen.SetMidiProgram(41);
    EXPECT_EQ(Hex(TakeRecordedMidi()), (std::vector<std::string>{"C0 29"}));
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());
}

TEST_F(MidiNoteTest, NoInstrumentOrOneOutOfRangeMeansMidiOffWithoutTraffic) {
    for (int program : {-1, 128, -7, 1000}) {
        screen.SetMidiProgram(program);
        EXPECT_EQ(screen.m_nMidiProgram, -1) << program;
    }
    EXPECT_EQ(screen.m_hMidiOut, nullptr);
    screen.InitPitchAnalyzer(0);
    Click(100, 245);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(TakeRecordedMidi().empty());
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());
}

TEST_F(MidiNoteTest, ClickOnTheLowestRowPlaysItsNoteForHalfASecond) {
    screen.SetMidiProgram(0);
    TakeRecordedMidi();
    screen.InitPitchAnalyzer(0);  // C2
    Click(100, 245);
    EXPECT_EQ(screen.m_nMidiNote.load(), 36);
    const auto msgs = WaitFor(2);
    ASSERT_EQ(Hex(msgs), (std::vector<std::string>{"90 24 7F", "90 24 00"}));
    const double held = msgs[1].ms - msgs[0].ms;
    EXPECT_GE(held, 495.0);
    EXPECT_LT(held, 700.0);
    EXPECT_EQ(screen.m_nMidiNote.load(), 0) << "the note has ended";
}

TEST_F(MidiNoteTest, RowsFollowTheKeyRangeAndKeysTheKeyboardAxis) {
    screen.SetMidiProgram(0);
    TakeRecordedMidi();
    screen.InitPitchAnalyzer(4);  // C4: the lowest row is note 60
    Click(100, 245);
    Click(100, 5);  // the top row: 60 + 24
    screen.InitSpectrumAnalyzer(440);
    screen.SetAxisMode(2);
    screen.m_nScreenKind = 1;
    Click(451, 100);  // C6
    Click(0, 100);    // C2
    const auto msgs = WaitFor(8);
    std::vector<std::string> ons;
    for (const auto& m : msgs)
        if (m.bytes.size() == 3 && m.bytes[2] == 0x7F) ons.push_back(HexBytes(m.bytes));
    EXPECT_EQ(ons, (std::vector<std::string>{"90 3C 7F", "90 54 7F", "90 54 7F", "90 24 7F"}));
    EXPECT_EQ(msgs.size(), 8u);
}

TEST_F(MidiNoteTest, ClicksOutsideRowsAndKeysSendNothing) {
    screen.SetMidiProgram(0);
    TakeRecordedMidi();
    screen.InitPitchAnalyzer(0);
    Click(100, 252);   // the label strip
    Click(-20, 100);   // outside, as while a button is held
    Click(460, 100);
    screen.InitSpectrumAnalyzer(440);
    screen.m_nScreenKind = 1;
    for (int axis : {0, 1, 3}) {
        screen.SetAxisMode(axis);
        Click(200, 100);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(TakeRecordedMidi().empty());
}

TEST_F(MidiNoteTest, OverlappingClicksEachEndTheirOwnNote) {
    screen.SetMidiProgram(0);
    TakeRecordedMidi();
    screen.InitPitchAnalyzer(0);
    Click(100, 245);  // 36
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Click(100, 235);  // 37
    const auto msgs = WaitFor(4);
    EXPECT_EQ(Hex(msgs), (std::vector<std::string>{"90 24 7F", "90 25 7F", "90 24 00", "90 25 00"}));
}

TEST_F(MidiNoteTest, ClosingWhileANoteSoundsEndsItAtOnce) {
    std::vector<RecordedMidi> on;
    {
        CFFTScreen s;
        MakeWindow(s);
        s.SetMidiProgram(0);
        s.InitPitchAnalyzer(0);
        TakeRecordedMidi();
        s.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 245));
        on = WaitFor(1);
    }  // the window and its output go while the note sounds
    const auto off = TakeRecordedMidi();
    ASSERT_EQ(Hex(on), (std::vector<std::string>{"90 24 7F"}));
    ASSERT_EQ(Hex(off), (std::vector<std::string>{"90 24 00"}));
    EXPECT_LT(off[0].ms - on[0].ms, 300.0);
    // Nothing more arrives from a thread that outlived the window.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_TRUE(TakeRecordedMidi().empty());
}

}  // namespace
