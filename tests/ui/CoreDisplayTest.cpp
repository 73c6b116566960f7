// Starting the window system where there is no display: a clear error, no crash.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "UiTestSupport.h"

namespace {

// Sets or clears an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = std::string(old);
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvOverride() {
        if (m_old) ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

using DisplayCheckTest = HeadlessUiTest;

TEST_F(DisplayCheckTest, NoDisplayAtAllIsReportedWithWhatToDo) {
    EnvOverride platform("QT_QPA_PLATFORM", nullptr);
    EnvOverride x("DISPLAY", nullptr);
    EnvOverride wayland("WAYLAND_DISPLAY", nullptr);
    const std::string error = platform::ui::qt::CheckDisplay();
    EXPECT_NE(error.find("DISPLAY"), std::string::npos) << error;
    EXPECT_NE(error.find("desktop session"), std::string::npos) << error;
}

TEST_F(DisplayCheckTest, UnreachableXDisplayIsReported) {
    EnvOverride platform("QT_QPA_PLATFORM", nullptr);
    EnvOverride x("DISPLAY", ":4711");
    EnvOverride wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_NE(platform::ui::qt::CheckDisplay().find(":4711"), std::string::npos);
    EnvOverride xcb("QT_QPA_PLATFORM", "xcb");
    EXPECT_NE(platform::ui::qt::CheckDisplay().find("X11"), std::string::npos);
}

TEST_F(DisplayCheckTest, OffscreenPlatformNeedsNoDisplay) {
    EnvOverride platform("QT_QPA_PLATFORM", "offscreen");
    EnvOverride x("DISPLAY", nullptr);
    EnvOverride wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(platform::ui::qt::CheckDisplay(), "");
}

TEST_F(DisplayCheckTest, ApplicationWithoutDisplayFailsWithItsErrorInsteadOfAborting) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        int argc = 1;
        char name[] = "sorvel";
        char* argv[] = {name, nullptr};
        platform::ui::qt::Application app(argc, argv);
        const std::string error = app.Error();
        if (::write(pipeFds[1], error.data(), error.size()) < 0) ::_exit(3);
        ::_exit(app.Ok() ? 1 : 0);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the program did not end normally";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(message.find("no display"), std::string::npos) << message;
}

}  // namespace
