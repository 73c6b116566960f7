// Start-up when the shared buffers cannot be allocated: the failure is traced and told, the
// dialog closes and ends, and nothing of the rest of start-up runs.
//
// This test program's nothrow array allocation can be told to fail once for one size; every
// other allocation goes to the usual operator new[].
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>

#include "StartupSupport.h"
#include "support/ElfWordSize.h"

namespace {
std::atomic<std::size_t> g_failNothrowArrayBytes{0};
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    std::size_t armed = g_failNothrowArrayBytes.load();
    if (armed != 0 && size == armed && g_failNothrowArrayBytes.compare_exchange_strong(armed, 0)) return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

constexpr const char* kNoMemory = "0-00a メモリの確保に失敗しました。";

using StartupMemoryTest = StartedDialogTest;

TEST_F(StartupMemoryTest, FailedBufferAllocationIsTracedToldAndEndsTheDialogBeforeTheRestOfStartUp) {
    WriteTraceSwitch();
    // The capture block (four blocks of 32768 bytes) comes after the analysis buffers.
    g_failNothrowArrayBytes.store(4 * 32768);
    dlg = std::make_unique<CWaveInOutDlg>(folder.Path());
    dlg->Create(IDD_SORVEL_DIALOG);
    const bool failedOnce = g_failNothrowArrayBytes.exchange(0) == 0;
    ASSERT_TRUE(failedOnce);

    EXPECT_TRUE(dlg->IsEnded());
    const auto boxes = BoxTexts();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front(), kNoMemory);
    // What was allocated before the failure is freed again.
    EXPECT_EQ(dlg->m_pfInputBuf, nullptr);
    EXPECT_EQ(dlg->m_pfFrame, nullptr);
    EXPECT_EQ(dlg->m_pInBlock, nullptr);
    EXPECT_EQ(dlg->m_pOutBlock, nullptr);

    const auto lines = TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), elfword::ReportFirstLine());
    const auto failure = std::find(lines.begin(), lines.end(), kNoMemory);
    EXPECT_NE(failure, lines.end());
    for (const char* later : {"0-01", "0-02", "0-END"}) {
        EXPECT_EQ(std::find(lines.begin(), lines.end(), later), lines.end()) << later;
    }
}

}  // namespace
