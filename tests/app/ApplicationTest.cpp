// The application object: one instance per user, refused with a message while another runs,
// and never blocked by an instance that was killed.
#include <algorithm>
#include <vector>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "app/WaveInOutApp.h"
#include "platform/ui/dialog.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/msgqueue.h"
#include "platform/wave/testdevice.h"
#include "support/TempFolder.h"

namespace {

// Another instance of the program: a child process that holds the lock until it is killed.
class OtherInstance {
public:
    explicit OtherInstance(const std::string& lockFolder) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            platform::CInstanceLock lock;
            const char held = lock.TryAcquire(CWaveInOutApp::kInstanceName, lockFolder) ==
                                      platform::InstanceLockResult::Acquired
                                  ? 1
                                  : 0;
            (void)!::write(fds[1], &held, 1);
            for (;;) ::pause();
        }
        ::close(fds[1]);
        if (m_pid > 0 && (::read(fds[0], &m_held, 1) != 1)) m_held = 0;
        ::close(fds[0]);
    }
    ~OtherInstance() { Kill(); }
    bool Holds() const { return m_pid > 0 && m_held == 1; }
    void Kill() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    char m_held = 0;
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override { platform::ui::TakeHeadlessMessageBoxes(); }
    void TearDown() override {
        platform::ui::DeliverPostedMessages();
        platform::ui::TakeHeadlessMessageBoxes();
    }
    TempFolder lockFolder;
    TempFolder appFolder;
    platform::wave::CTestWaveDevices devices;
};

TEST_F(ApplicationTest, SecondStartIsRefusedWithTheMessageAndRunsNothing) {
    OtherInstance first(lockFolder.Path());
    ASSERT_TRUE(first.Holds());
    std::ofstream(appFolder.File("debug.txt")).flush();

    CWaveInOutApp second(lockFolder.Path(), appFolder.Path());
    EXPECT_FALSE(second.InitInstance());
    const auto boxes = platform::ui::TakeHeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "二重起動はできません。");
    EXPECT_EQ(boxes[0].caption, "ソルベル");
    EXPECT_EQ(boxes[0].type & 0xF0u, MB_ICONHAND);
    EXPECT_FALSE(second.HoldsInstanceLock());
    EXPECT_EQ(second.DialogResult(), 0);
    // The refused start touched neither the trace nor the settings file.
    std::ifstream trace(appFolder.File("debug.txt"));
    EXPECT_EQ(trace.peek(), std::char_traits<char>::eof());
}

TEST_F(ApplicationTest, KilledInstanceDoesNotBlockTheNextStart) {
    OtherInstance first(lockFolder.Path());
    ASSERT_TRUE(first.Holds());
    first.Kill();
    std::ofstream(appFolder.File("debug.txt")).flush();

    CWaveInOutApp next(lockFolder.Path(), appFolder.Path());
    EXPECT_FALSE(next.InitInstance());
    EXPECT_TRUE(platform::ui::TakeHeadlessMessageBoxes().empty());
    EXPECT_TRUE(next.HoldsInstanceLock());
    // The main dialog ran its start-up and ended (without a window system it cancels at once).
    EXPECT_EQ(next.DialogResult(), IDCANCEL);
    std::ifstream trace(appFolder.File("debug.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(trace, line);) lines.push_back(line);
    // Start-up ran to its end; the close of the dialog follows it.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0-END"), lines.end());
}

TEST_F(ApplicationTest, RunningInstanceRefusesAnotherInTheSameSession) {
    CWaveInOutApp first(lockFolder.Path(), appFolder.Path());
    first.InitInstance();
    ASSERT_TRUE(first.HoldsInstanceLock());
    CWaveInOutApp second(lockFolder.Path(), appFolder.Path());
    second.InitInstance();
    EXPECT_FALSE(second.HoldsInstanceLock());
    EXPECT_EQ(platform::ui::TakeHeadlessMessageBoxes().size(), 1u);
}

}  // namespace
