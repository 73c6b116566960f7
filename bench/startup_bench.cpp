// Start-up time and idle memory of the program window.
//
//     startup_bench [runs]
//
// Starts itself again as a separate process `runs` times (default 15) on the offscreen window
// system. Each child does what the program does at start (window system, instance lock, the
// main dialog with its whole start-up, shown modally) and reports through a pipe when its
// dialog is up; the time from spawning the process to that report is the start-up time. The
// child then idles for a second in its message loop and reports its resident memory (VmRSS).
// Target: under 300 ms to the first shown dialog.
//
// The dialog's start-up opens the MIDI synthesizer for the stored instrument. Where it cannot
// open (no sound device, as on a build machine) the dialog would stop in the message box that
// says so, and what was timed would be the box. The benchmark therefore opens the synthesizer
// once itself first: when that works the children start as a user's program does; when it
// fails they start with a private settings file whose MIDI instrument is none, so the dialog is
// timed without the synthesizer's start, and the result line says which of the two was timed.
// A child that shows no dialog within kChildLimitMs is killed and counted as failed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/SettingsFile.h"
#include "app/WaveInOutDlg.h"
#include "platform/base/instance.h"
#include "platform/midi/midiapi.h"
#include "platform/ui/qt/application.h"
#include "resources/resource_ids.h"

extern char** environ;

namespace {

constexpr UINT kShown = WM_APP + 1;
constexpr UINT kMeasureIdle = WM_APP + 2;
constexpr int kIdleMs = 1000;
// Longest wait for one child's dialog and idle report.
constexpr int kChildLimitMs = 20000;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The program's main dialog, telling the benchmark when it is up and how large it idles.
class MeasuredDialog : public CWaveInOutDlg {
public:
    MeasuredDialog(const std::string& folder, int reportFd) : CWaveInOutDlg(folder), m_fd(reportFd) {}
    ~MeasuredDialog() override {
        if (m_idle.joinable()) m_idle.join();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kShown) {
            Report("shown\n");
            m_idle = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(kIdleMs));
                PostMessage(kMeasureIdle);
            });
            return 0;
        }
        if (message == kMeasureIdle) {
            Report("rss " + std::to_string(ResidentKiB()) + "\n");
            EndDialog(IDOK);
            return 0;
        }
        return CWaveInOutDlg::WindowProc(message, wParam, lParam);
    }

private:
    void Report(const std::string& text) { (void)!::write(m_fd, text.data(), text.size()); }
    int m_fd;
    std::thread m_idle;
};

int RunChild(const std::string& folder, int reportFd, char* self) {
    int argc = 1;
    char* argv[] = {self, nullptr};
    platform::ui::qt::Application app(argc, argv);
    if (!app.Ok()) {
        std::fprintf(stderr, "%s\n", app.Error().c_str());
        return 1;
    }
    platform::CInstanceLock lock;
    lock.TryAcquire("sorvel-bench", folder);
    MeasuredDialog dlg(folder, reportFd);
    // Delivered by the dialog's message loop, which runs once the dialog is shown.
    dlg.PostMessage(kShown);
    app.RunMainDialog(dlg);
    return 0;
}

struct Sample {
    double startMs = -1.0;
    long rssKiB = -1;
};

Sample RunOnce(const std::string& self, const std::string& folder) {
    Sample s;
    int fds[2];
    if (::pipe(fds) != 0) return s;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);  // sound-system chatter
    const std::string fdText = std::to_string(fds[1]);
    std::vector<std::string> args = {self, "--child", folder, fdText};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return s;
    }
    std::string got;
    char buf[256];
    bool shown = false;
    bool killed = false;
    for (;;) {
        const double waited = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const int left = kChildLimitMs - static_cast<int>(waited);
        pollfd pfd{fds[0], POLLIN, 0};
        if (left <= 0 || ::poll(&pfd, 1, left) == 0) {
            // No dialog (or no idle report) in time: the child hangs, for example in a box.
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
        if (!shown && got.find("shown\n") != std::string::npos) {
            shown = true;
            s.startMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        }
    }
    if (killed && !shown) std::fprintf(stderr, "the child showed no dialog within %d ms and was stopped\n", kChildLimitMs);
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    const auto rss = got.find("rss ");
    if (rss != std::string::npos) s.rssKiB = std::strtol(got.c_str() + rss + 4, nullptr, 10);
    return s;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        return RunChild(argv[2], std::atoi(argv[3]), argv[0]);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    char selfPath[4096];
    const ssize_t len = ::readlink("/proc/self/exe", selfPath, sizeof selfPath - 1);
    if (len <= 0) return 1;
    selfPath[len] = '\0';
    char folderPattern[] = "/tmp/sorvel-startup-XXXXXX";
    const char* made = ::mkdtemp(folderPattern);
    if (made == nullptr) return 1;
    const std::string folder = std::string(made) + "/";
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    // Whether the children can open the MIDI synthesizer as the program does at start.
    const char* virtualMidi = std::getenv("SORVEL_VIRTUAL_MIDI");
    std::string midiNote;
    HMIDIOUT probe = nullptr;
    if (midiOutOpen(&probe, MIDI_MAPPER, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
        midiOutClose(probe);
        midiNote = virtualMidi != nullptr ? "MIDI to the recording synthesizer of SORVEL_VIRTUAL_MIDI"
                                          : "MIDI synthesizer started";
    } else {
        CSettingsFile settings(folder);
        settings.m_nMidiProgram = -1;
        if (!settings.Write(folder + CSettingsFile::kFileName)) {
            std::fprintf(stderr, "startup_bench: cannot write the settings file in %s\n", folder.c_str());
            std::filesystem::remove_all(made);
            return 1;
        }
        midiNote = "the MIDI synthesizer cannot open here: timed with the MIDI instrument set to none";
    }

    std::vector<double> times;
    std::vector<double> rss;
    for (int i = 0; i < runs; ++i) {
        const Sample s = RunOnce(selfPath, folder);
        if (s.startMs < 0) {
            std::fprintf(stderr, "run %d: the dialog was not shown\n", i + 1);
            continue;
        }
        times.push_back(s.startMs);
        if (s.rssKiB > 0) rss.push_back(static_cast<double>(s.rssKiB));
    }
    std::filesystem::remove_all(made);
    if (times.empty()) return 1;
    const double median = Median(times);
    std::printf("start-up to the first shown dialog (offscreen), %zu runs: median %.1f ms, min %.1f ms, max %.1f ms"
                " (target < 300 ms: %s; %s)\n",
                times.size(), median, *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), median < 300.0 ? "met" : "missed", midiNote.c_str());
    if (!rss.empty()) {
        std::printf("idle resident memory after %d ms: median %.1f MiB, max %.1f MiB\n", kIdleMs, Median(rss) / 1024.0,
                    *std::max_element(rss.begin(), rss.end()) / 1024.0);
    }
    // A start-up that showed no dialog is a fault, not a slow sample.
    if (times.size() != static_cast<std::size_t>(runs)) {
        std::fprintf(stderr, "startup_bench: %d of %d runs showed no dialog\n", runs - static_cast<int>(times.size()), runs);
        return 1;
    }
    return 0;
}
