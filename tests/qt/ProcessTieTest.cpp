// The window's capture program goes with the window, however the window
// ends: a window killed with SIGKILL sends no quit command, yet leaves no
// m470-audiorecord running.
#include <gtest/gtest.h>

#include <QProcess>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <optional>
#include <string>
#include <thread>

#include "support/ProgramRun.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

// "pid (comm) state ppid ...": the command name and the parent of a process.
struct ProcessStat {
    std::string name;
    char state = 0;
    long parent = 0;
};
std::optional<ProcessStat> StatOf(long pid) {
    const std::string text = test::TempFolder::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > text.size()) return std::nullopt;
    ProcessStat stat;
    stat.name = text.substr(open + 1, close - open - 1);
    stat.state = text[close + 2];
    stat.parent = std::strtol(text.c_str() + close + 4, nullptr, 10);
    return stat;
}

// The capture program the window started; 0 while there is none.
long CaptureChildOf(long window) {
    long found = 0;
    if (DIR* proc = ::opendir("/proc")) {
        while (dirent* entry = ::readdir(proc)) {
            const long pid = std::strtol(entry->d_name, nullptr, 10);
            const auto stat = pid > 0 ? StatOf(pid) : std::nullopt;
            if (stat && stat->parent == window && stat->name.rfind("m470-audiorec", 0) == 0 && stat->state != 'Z') found = pid;
        }
        ::closedir(proc);
    }
    return found;
}

template <typename Condition>
bool Eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(KilledWindow, LeavesNoCaptureProgramRunning) {
    test::TempFolder folder(false);
    QProcess window;
    test::StartProgram(window, {}, QString::fromStdString(folder.Path()), "mouse");
    ASSERT_TRUE(window.waitForStarted(10000));
    const long windowPid = window.processId();
    long capture = 0;
    EXPECT_TRUE(Eventually([&] { return (capture = CaptureChildOf(windowPid)) != 0; })) << "the window started its capture program";
    ::kill(static_cast<pid_t>(windowPid), SIGKILL);
    ASSERT_TRUE(window.waitForFinished(10000));
    if (capture == 0) return;
    EXPECT_TRUE(Eventually([&] {
        const auto stat = StatOf(capture);
        return !stat || stat->state == 'Z' || stat->name.rfind("m470-audiorec", 0) != 0;
    })) << "m470-audiorecord " << capture << " still runs after the window was killed";
}

}  // namespace
}  // namespace m470::qt
