// CBatchDlg: the modeless progress dialog of a batch (template 144). It names the file being
// converted, shows the percentage of the current file, and its 中止 button asks the batch to
// stop; nothing else ends it (its close box is greyed, Enter and Escape do nothing), so a batch
// never runs on with its dialog gone.
//
// Threads: the dialog and its controls belong to the user-interface thread. The batch thread
// never touches a window: it queues each change (a text, a window shown or hidden) here and
// posts WM_APP_BATCH_CHANGES; the user-interface thread applies the queued changes in order.
// The queue's lock is held only to add or take entries, so the batch thread never waits for the
// user-interface thread. m_bAbort is written by the user-interface thread and polled by the
// batch thread.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

class CBatchDlg : public CDialog {
public:
    static constexpr UINT IDD = 144;
    static constexpr UINT WM_APP_BATCH_CHANGES = WM_APP + 0x61;

    // Makes the window at once, modeless, owned by pParent and hidden.
    explicit CBatchDlg(CWnd* pParent);
    ~CBatchDlg() override;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Enter and Escape: ignored.
    void OnOK() override {}
    void OnCancel() override {}
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnBnClickedAbort();

    // Any thread: queue a change for the user-interface thread.
    void PostText(CWnd* target, const std::string& text);
    void PostShow(CWnd* target, int nCmdShow);
    // User-interface thread: applies every queued change in order.
    LRESULT OnApplyChanges(WPARAM wParam, LPARAM lParam);

    CStatic m_staticProgress;  // 1102: percentage of the current file
    CStatic m_staticNote;      // 1104: where the results go
    CStatic m_staticTitle;     // 1038: "TD-PSOLA バッチ処理中" and the file counter
    std::atomic<BOOL> m_bAbort{FALSE};
    CStatic m_staticFile;      // 1039: name and extension of the current file

    DECLARE_MESSAGE_MAP()

private:
    struct Change {
        CWnd* target;
        bool show;          // ShowWindow(nCmdShow) instead of a text
        int nCmdShow;
        std::string text;
    };
    void Queue(Change change);

    std::mutex m_mutex;
    std::deque<Change> m_pending;
};
