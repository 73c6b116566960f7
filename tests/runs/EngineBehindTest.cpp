// Runs whose engine falls behind its input on purpose: the test holds the output stage's lock,
// so the engine threads stop at the end of their cycle, while the file player or the capture
// wrapper goes on writing the input ring. A file run must hold its next block until the engine
// has passed the entries it would overwrite (nothing of the file lost); a live run drops the
// blocks it has no room for and says so in the trace. Either way the engine then sees the
// input that was kept whole and in order, which the pitch dump shows: every period's peak
// names the block it lies in. Under the thread sanitizer the same runs show that no writer
// touches entries an engine thread still reads.
#include <algorithm>
#include <filesystem>
#include <atomic>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/wave/testdevice.h"
#include "runs/RunHarness.h"

namespace {

using platform::wave::CTestWaveDevices;

// Block k of the input: a 150 Hz tone at its own level, so that a period's peak in the dump
// tells which block the engine read it from.
constexpr int kBlocks = 12;
short Level(int block) { return static_cast<short>(1000 + 700 * block); }

std::vector<short> Block(int block, int half) {
    return runtest::Tone(150.0, half, Level(block));
}

class EngineBehind : public ::testing::Test {
protected:
    void SetUp() override {
        devices = std::make_unique<CTestWaveDevices>(std::vector<std::string>{"Mic"}, std::vector<std::string>{"Speaker"});
        std::FILE* trace = std::fopen(folder.File("debug.txt").c_str(), "w");
        if (trace != nullptr) std::fclose(trace);
        dlg = std::make_unique<runtest::RunDialog>(folder.Path());
        runtest::SetUpLikeStartUp(*dlg, folder.Path());
        dlg->m_chkDump.SetCheck(BST_CHECKED);
        platform::ui::TakeHeadlessMessageBoxes();
        half = dlg->m_nBlockBytes / 2;
    }
    void TearDown() override {
        dlg.reset();
        platform::ui::DeliverPostedMessages();
        devices.reset();
    }

    // The blocks, in order, whose periods the dump's rows come from; rows whose period holds no
    // whole cycle of one block (at a block's start, in the silence after a file) name none.
    std::vector<int> BlocksInDump() {
        std::string dump;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            if (entry.path().filename().string().find("dump") != std::string::npos) dump = entry.path().string();
        EXPECT_FALSE(dump.empty());
        std::istringstream text(runtest::ReadFile(dump));
        std::vector<int> blocks;
        int row = 0;
        for (std::string line; std::getline(text, line); ++row) {
            if (row < 12) continue;  // header and row 0
            std::istringstream fields(line);
            std::string samples, time, amp;
            fields >> samples >> time >> amp;
            const int peak = std::abs(std::stoi(amp));
            int nearest = 0;
            for (int k = 1; k < kBlocks; ++k)
                if (std::abs(peak - Level(k)) < std::abs(peak - Level(nearest))) nearest = k;
            if (std::abs(peak - Level(nearest)) > 30) continue;
            if (blocks.empty() || blocks.back() != nearest) blocks.push_back(nearest);
        }
        return blocks;
    }

    // Waits until the engine, held at the output stage's lock, has stopped in the cycle that
    // took the input up to `count`: the synthesis has published how far back it still reads
    // (it was at `floorBefore`) and waits to publish its output.
    void WaitEngineHeld(std::int64_t count, std::int64_t floorBefore) {
        ASSERT_TRUE(runtest::PumpUntil([&] {
            return dlg->m_nMarksInputCount.load() == count && dlg->m_nInputFloor[1].load() != floorBefore;
        }));
    }

    // Trace lines of dropped input blocks.
    int DroppedLines() {
        int n = 0;
        for (const std::string& line : runtest::TraceLines(folder.File("debug.txt"))) n += line.rfind("MM_WIM_DATA dropped", 0) == 0;
        return n;
    }

    // A trace line that begins with `start`.
    bool TraceHas(const std::string& start) {
        for (const std::string& line : runtest::TraceLines(folder.File("debug.txt")))
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }

    TempFolder folder;
    std::unique_ptr<CTestWaveDevices> devices;
    std::unique_ptr<runtest::RunDialog> dlg;
    int half = 0;
};

TEST_F(EngineBehind, FileRunHoldsItsNextBlockUntilTheEngineHasRoomAndLosesNothing) {
    std::vector<short> file;
    for (int k = 0; k < kBlocks; ++k) {
        const auto b = Block(k, half);
        file.insert(file.end(), b.begin(), b.end());
    }
    runtest::WriteWav(folder.File("levels.wav"), file);
    dlg->m_strDropFile = folder.File("levels.wav");
    dlg->OnBnClickedOpen();
    ASSERT_EQ(dlg->m_nRunState.load(), 2);

    // Each finished playback buffer lets the player store one block; the engine takes the
    // first two, then stops at the held lock.
    const auto nextBlock = [&] {
        const std::int64_t before = dlg->m_nInputCount.load();
        dlg->m_bNextBlock.store(TRUE);
        return before;
    };
    for (int k = 0; k < 2; ++k) {
        const std::int64_t before = nextBlock();
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == before + half; }));
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineDoneBytes.load() == 2 * (before + half); }));
    }
    {
        // The engine stops at the end of its next cycle. The player stores what fits beside the
        // entries the engine still reads, then holds the next block however often the device
        // asks for it.
        std::unique_lock<std::mutex> held(dlg->m_outStage.ReadLock());
        const std::int64_t floorBefore = dlg->m_nInputFloor[1].load();
        const std::int64_t before = nextBlock();
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == before + half; }));
        WaitEngineHeld(before + half, floorBefore);
        for (int k = 0; k < 6; ++k) {
            nextBlock();
            ASSERT_TRUE(runtest::PumpUntil([&] {
                return !dlg->m_bNextBlock.load() || !dlg->InputRingHasRoom(dlg->m_nInputCount.load());
            }));
        }
        // The player has had its turn at the block it holds: it says so in the trace.
        ASSERT_TRUE(runtest::PumpUntil([&] { return TraceHas("File block held at " + std::to_string(6 * half)); }, 20.0))
            << "the player did not hold its next block";
        EXPECT_TRUE(dlg->m_bNextBlock.load());
        EXPECT_FALSE(dlg->InputRingHasRoom(dlg->m_nInputCount.load()));
        const std::int64_t heldAt = dlg->m_nInputCount.load();
        // The engine read from about two blocks back when it stopped: three blocks fit after it.
        EXPECT_EQ(heldAt, 6 * half);
    }
    // The engine goes on; every block of the file follows, then the silent tail ends the run.
    ASSERT_TRUE(runtest::PumpUntil([&] {
        if (!dlg->m_bNextBlock.load()) dlg->m_bNextBlock.store(TRUE);
        return dlg->m_nRunState.load() == 0;
    }));
    // The file's blocks, the empty read that finds its end and the two silent blocks after it.
    EXPECT_EQ(dlg->m_nInputCount.load(), (kBlocks + 3) * half);
    std::vector<int> all;
    for (int k = 0; k < kBlocks; ++k) all.push_back(k);
    EXPECT_EQ(BlocksInDump(), all);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(EngineBehind, LiveRunDropsTheBlocksItHasNoRoomForTellsThemAndGoesOn) {
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    int fed = 0;
    // One block from the device; true when the wrapper kept it, false when it dropped it.
    const auto feed = [&] {
        const std::int64_t count = dlg->m_nInputCount.load();
        const int dropped = DroppedLines();
        devices->FeedInput(Block(fed++, half));
        bool kept = false;
        EXPECT_TRUE(runtest::PumpUntil([&] {
            kept = dlg->m_nInputCount.load() == count + half;
            return kept || DroppedLines() == dropped + 1;
        }));
        return kept;
    };
    std::vector<int> heard;
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(feed());
        heard.push_back(k);
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineDoneBytes.load() == 2 * fed * half; }));
    }
    int droppedBlocks = 0;
    {
        // The engine stops at the end of its next cycle; the device goes on delivering.
        std::unique_lock<std::mutex> held(dlg->m_outStage.ReadLock());
        const std::int64_t floorBefore = dlg->m_nInputFloor[1].load();
        ASSERT_TRUE(feed());
        heard.push_back(2);
        WaitEngineHeld(3 * half, floorBefore);
        for (int k = 0; k < 4; ++k) {
            const int block = fed;
            if (feed()) heard.push_back(block);
            else ++droppedBlocks;
        }
    }
    // Three blocks found room beside the entries the engine still read, the last did not.
    EXPECT_EQ(droppedBlocks, 1);
    // Once the engine has caught up, every block finds room again.
    const std::int64_t caughtUp = dlg->m_nInputCount.load();
    ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineDoneBytes.load() == 2 * caughtUp; }));
    for (int k = 0; k < 5; ++k) {
        heard.push_back(fed);
        ASSERT_TRUE(feed());
        const std::int64_t count = dlg->m_nInputCount.load();
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineDoneBytes.load() == 2 * count; }));
    }
    const std::int64_t count = dlg->m_nInputCount.load();
    dlg->OnBnClickedStop();
    ASSERT_EQ(fed, kBlocks);
    EXPECT_EQ(count, static_cast<std::int64_t>(heard.size()) * half);
    EXPECT_EQ(DroppedLines(), droppedBlocks);

    // The engine read the kept blocks in order; the newest block's last periods end past the
    // newest mark, so the dump may stop inside it.
    const std::vector<int> seen = BlocksInDump();
    ASSERT_GE(seen.size() + 1, heard.size());
    heard.resize(seen.size());
    EXPECT_EQ(seen, heard);
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

TEST_F(EngineBehind, LiveRunBlockWaitsForAnEngineThatIsAboutToPassInsteadOfBeingDropped) {
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    int fed = 0;
    const auto feed = [&] {
        const std::int64_t count = dlg->m_nInputCount.load();
        devices->FeedInput(Block(fed++, half));
        return runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == count + half; });
    };
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(feed());
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineDoneBytes.load() == 2 * fed * half; }));
    }
    // The engine stops at the end of its next cycle while a thread of the test holds the output
    // stage, until the test lets it go.
    std::atomic<int> holder{0};  // 1: holding, 2: let go
    std::thread hold([&] {
        std::lock_guard<std::mutex> held(dlg->m_outStage.ReadLock());
        holder.store(1);
        while (holder.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    // Lets the engine go and ends the holding thread, however the test ends.
    const std::unique_ptr<std::thread, void (*)(std::thread*)> letGo(&hold, [](std::thread* t) { t->join(); });
    const struct Release {
        std::atomic<int>& h;
        ~Release() { h.store(2); }
    } release{holder};
    while (holder.load() != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::int64_t floorBefore = dlg->m_nInputFloor[1].load();
    ASSERT_TRUE(feed());
    WaitEngineHeld(3 * half, floorBefore);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(feed());
    const std::int64_t count = dlg->m_nInputCount.load();
    ASSERT_FALSE(dlg->InputRingHasRoom(count));
    std::vector<short> block = Block(fed++, half);
    WAVEHDR hdr;
    hdr.lpData = reinterpret_cast<char*>(block.data());
    hdr.dwBufferLength = hdr.dwBytesRecorded = static_cast<DWORD>(2 * half);
    // A block that comes while the engine stays held waits for it a while (the engine, which
    // never waits for this thread, passes within moments unless it is really behind), and only
    // then is dropped.
    const auto since = std::chrono::steady_clock::now();
    EXPECT_FALSE(dlg->StoreInputBlock(&hdr));
    EXPECT_GE(std::chrono::steady_clock::now() - since, std::chrono::milliseconds(95)) << "the block was dropped without waiting";
    EXPECT_EQ(DroppedLines(), 1);
    EXPECT_EQ(dlg->m_nInputCount.load(), count);
#if !defined(__SANITIZE_THREAD__)
    // The next block comes while the engine still reads the entries it would overwrite, and
    // the engine goes on the moment it is stored (as when blocks that waited in the queue of a
    // held-up window thread come together): the block waits for it and is kept. (Under the
    // thread sanitizer an engine cycle alone may take longer than the wait.)
    holder.store(2);
    EXPECT_TRUE(dlg->StoreInputBlock(&hdr));
    EXPECT_EQ(dlg->m_nInputCount.load(), count + half);
    EXPECT_EQ(DroppedLines(), 1);
#endif
    holder.store(2);
    dlg->OnBnClickedStop();
}

TEST_F(EngineBehind, LiveRunGoesOnWithTheNewerSoundAfterTheDeviceDropsAStallsBacklog) {
    dlg->OnBnClickedLive();
    ASSERT_EQ(dlg->m_nRunState.load(), 1);
    const auto feed = [&](int block) {
        const std::int64_t count = dlg->m_nInputCount.load();
        devices->FeedInput(Block(block, half));
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nInputCount.load() == count + half; }));
        ASSERT_TRUE(runtest::PumpUntil([&] { return dlg->m_nEngineDoneBytes.load() == 2 * (count + half); }));
    };
    feed(0);
    feed(1);
    // Half a second that a stall kept waiting is dropped by the device; the next block and those
    // after it follow at once.
    devices->DropInput(22050);
    for (int k = 2; k < 5; ++k) feed(k);
    dlg->OnBnClickedStop();
    EXPECT_EQ(dlg->m_nInputCount.load(), 5 * half);
    std::vector<std::string> told;
    for (const std::string& line : runtest::TraceLines(folder.File("debug.txt")))
        if (line.rfind("MM_WIM_DATA recording dropped", 0) == 0) told.push_back(line);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "MM_WIM_DATA recording dropped at " + std::to_string(2 * half) + ": 500 ms that waited beyond the usual delay");
    // The dump holds the kept blocks in order; the newest block's last periods end past the
    // newest mark, so it may stop inside that one.
    std::vector<int> seen = BlocksInDump();
    ASSERT_GE(seen.size(), 4u);
    seen.resize(4);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(runtest::BoxTexts().empty());
}

}  // namespace
