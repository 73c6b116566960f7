// A main dialog set up as start-up leaves it, whose Batch button is clicked with files chosen
// in the (headless) picker. The test thread stands in for the user-interface thread: it
// delivers the batch thread's posted window changes and records every text they set on the
// progress dialog.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "batch/BatchDlg.h"
#include "batch/BatchList.h"
#include "platform/ui/wnd.h"
#include "runs/RunHarness.h"

namespace batchtest {

// Texts set on windows while the hook is installed, in order.
struct TextLog {
    std::mutex mutex;
    std::vector<std::pair<CWnd*, std::string>> texts;
};

inline TextLog& Log() {
    static TextLog log;
    return log;
}

inline void RecordText(CWnd* wnd, unsigned what) {
    if ((what & platform::ui::kText) == 0) return;
    std::lock_guard<std::mutex> lock(Log().mutex);
    Log().texts.emplace_back(wnd, wnd->GetWindowText());
}

class BatchHarness {
public:
    BatchHarness()
        : virtualIn("SORVEL_VIRTUAL_IN", folder.File("none.wav")),
          virtualOut("SORVEL_VIRTUAL_OUT", folder.File("played.wav")),
          dlg(folder.Path()) {
        runtest::SetUpLikeStartUp(dlg, out.Path());
        platform::ui::TakeHeadlessMessageBoxes();
        platform::ui::TakeHeadlessFileRequests();
        {
            std::lock_guard<std::mutex> lock(Log().mutex);
            Log().texts.clear();
        }
        platform::ui::SetStateChangeHook(&RecordText);
    }
    ~BatchHarness() {
        if (dlg.m_pBatchDlg != nullptr) dlg.m_pBatchDlg->m_bAbort = TRUE;
        dlg.m_batchThread.Join();
        platform::ui::DeliverPostedMessages();
        platform::ui::SetStateChangeHook(nullptr);
    }

    void SetPitch(int position) { dlg.m_fPitchRatio = std::pow(2.0f, static_cast<float>(position) / 24.0f); }

    // Clicks Batch with these files chosen; does not wait.
    void Start(const std::vector<std::string>& files) {
        platform::ui::QueueHeadlessFileAnswer(files);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1099, BN_CLICKED), 0);
        // What the batch sets from here on (the progress dialog's template texts are not).
        std::lock_guard<std::mutex> lock(Log().mutex);
        Log().texts.clear();
    }

    // Clicks Batch and serves the user-interface side until the batch has ended.
    void Run(const std::vector<std::string>& files) {
        Start(files);
        Finish();
    }

    void Finish() {
        ASSERT_TRUE(runtest::PumpUntil([&] { return !dlg.IsBatchRunning(); }, 600.0));
        dlg.m_batchThread.Join();
        platform::ui::DeliverPostedMessages();
    }

    // Texts set on one window so far.
    std::vector<std::string> TextsOf(CWnd* wnd) {
        std::vector<std::string> out;
        std::lock_guard<std::mutex> lock(Log().mutex);
        for (const auto& [w, text] : Log().texts)
            if (w == wnd) out.push_back(text);
        return out;
    }

    std::string Output(const std::string& name) const { return out.File(name); }

    TempFolder folder;  // program folder
    TempFolder out;     // output folder
    // A batch needs no sound device: the device lists are the virtual ones.
    ScopedEnv virtualIn;
    ScopedEnv virtualOut;
    CWaveInOutDlg dlg;
};

// The first n frames of a recording (all channels).
inline std::vector<short> Cut(const platform::wave::WavAudio& a, std::size_t frames) {
    const std::size_t n = std::min(a.samples.size(), frames * a.format.nChannels);
    return std::vector<short>(a.samples.begin(), a.samples.begin() + static_cast<long>(n));
}

using runtest::Mono;

}  // namespace batchtest
