#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/base/thread.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/msgqueue.h"

namespace {

class ProbeDialog : public CDialog {
public:
    ProbeDialog() : CDialog(500) {}
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, 1000, m_btn);
        DDX_Control(pDX, 1019, m_combo);
    }
    void OnBnClickedLive() { ++clicks; }
    void OnCbnSelchangeMinKey() { lastSel = m_combo.GetCurSel(); }
    void OnCustomDrawPitch(NMHDR* hdr, LRESULT* result) {
        drawnId = static_cast<int>(hdr->idFrom);
        *result = 7;
    }
    void OnTimer(UINT_PTR id) { lastTimer = static_cast<int>(id); }
    LRESULT OnUserMessage(WPARAM w, LPARAM) {
        userValues.push_back(static_cast<int>(w));
        return 0;
    }

    CButton m_btn;
    CComboBox m_combo;
    int clicks = 0;
    int lastSel = -5;
    int drawnId = 0;
    int lastTimer = 0;
    std::vector<int> userValues;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDialog, CDialog)
ON_BN_CLICKED(1000, &ProbeDialog::OnBnClickedLive)
ON_CBN_SELCHANGE(1019, &ProbeDialog::OnCbnSelchangeMinKey)
ON_NOTIFY(NM_CUSTOMDRAW, 1003, &ProbeDialog::OnCustomDrawPitch)
ON_WM_TIMER()
ON_MESSAGE(WM_APP + 1, &ProbeDialog::OnUserMessage)
END_MESSAGE_MAP()

TEST(MessageMapTest, CommandsAndNotificationsReachTheirHandlers) {
    ProbeDialog dlg;
    dlg.BindControls();
    EXPECT_EQ(dlg.GetDlgItem(1000), &dlg.m_btn);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0);  // no entry: ignored
    EXPECT_EQ(dlg.clicks, 1);
    dlg.m_combo.AddString("C_2");
    dlg.m_combo.AddString("C#2");
    dlg.m_combo.SetCurSel(1);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(1019, CBN_SELCHANGE), 0);
    EXPECT_EQ(dlg.lastSel, 1);
    NMHDR hdr;
    hdr.idFrom = 1003;
    hdr.code = NM_CUSTOMDRAW;
    EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, 1003, reinterpret_cast<LPARAM>(&hdr)), 7);
    EXPECT_EQ(dlg.drawnId, 1003);
    dlg.SendMessage(WM_TIMER, 1, 0);
    EXPECT_EQ(dlg.lastTimer, 1);
}

TEST(MessageQueueTest, PostedMessagesArriveInOrderOnTheDeliveringThread) {
    ProbeDialog dlg;
    platform::ui::DeliverPostedMessages();
    std::thread worker([&dlg] {
        for (int i = 0; i < 100; ++i) dlg.PostMessage(WM_APP + 1, static_cast<WPARAM>(i), 0);
    });
    worker.join();
    EXPECT_TRUE(dlg.userValues.empty());  // nothing runs until the UI thread delivers
    EXPECT_EQ(platform::ui::DeliverPostedMessages(), 100u);
    ASSERT_EQ(dlg.userValues.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(dlg.userValues[static_cast<size_t>(i)], i);
}

TEST(MessageQueueTest, MessagesForAWindowThatWentAwayAreDropped) {
    {
        ProbeDialog dlg;
        dlg.PostMessage(WM_APP + 1, 1, 0);
    }
    EXPECT_EQ(platform::ui::PendingMessageCount(), 0u);
    EXPECT_EQ(platform::ui::DeliverPostedMessages(), 0u);
}

TEST(ControlStateTest, TrackbarAndScrollBarKeepPositionsInsideTheirRange) {
    CSliderCtrl slider;
    slider.SetRange(-48, 48);
    slider.SetPos(60);
    EXPECT_EQ(slider.GetPos(), 48);
    slider.SetPos(-49);
    EXPECT_EQ(slider.GetPos(), -48);
    EXPECT_EQ(slider.SetTic(24), TRUE);
    EXPECT_EQ(slider.SetTic(49), FALSE);
    slider.SetTic(-24);
    EXPECT_EQ(slider.GetTics(), (std::vector<int>{-24, 24}));
    CScrollBar bar;
    bar.SetScrollRange(0, 10);
    EXPECT_EQ(bar.SetScrollPos(20), 0);
    EXPECT_EQ(bar.GetScrollPos(), 10);
}

TEST(ControlStateTest, ComboSelectionIsAlwaysAnIndexOfTheList) {
    CComboBox combo;
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    combo.AddString("歌声");
    combo.AddString("話声");
    EXPECT_EQ(combo.SetCurSel(5), CB_ERR);
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
    combo.SetCurSel(1);
    EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), "話声");
    combo.ResetContent();
    EXPECT_EQ(combo.GetCurSel(), CB_ERR);
}

TEST(ControlStateTest, StateIsSharedSafelyBetweenThreads) {
    CButton check;
    CEdit edit;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            const std::string text = edit.GetWindowText();
            ASSERT_TRUE(text.empty() || text == "0.5" || text == "0.75");
            (void)check.GetCheck();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        edit.SetWindowText(i % 2 ? "0.5" : "0.75");
        check.SetCheck(i % 2);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(check.GetCheck(), 1);
}

TEST(WorkerThreadTest, JoinWaitsForTheBodyAndStartReportsSuccess) {
    CWorkerThread worker;
    std::atomic<int> value{0};
    ASSERT_TRUE(worker.Start([&value] { value = 42; }));
    EXPECT_TRUE(worker.IsRunning());
    worker.Join();
    EXPECT_EQ(value.load(), 42);
    EXPECT_FALSE(worker.IsRunning());
    worker.Join();  // a second join does nothing
}

}  // namespace
