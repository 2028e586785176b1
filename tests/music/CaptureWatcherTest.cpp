// The watcher with a stand-in capture program (the real server over a
// tone): launched, relaunched within the watch limit after it dies, ended
// by the window's quit with nothing left running, a failed launch told once.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "music/CaptureClient.h"
#include "music/CapturePeer.h"
#include "music/CaptureWatcher.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"

extern char** environ;

namespace m470 {
namespace {

using test::Eventually;

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0; }

// A test that stops early (a failed assertion) leaves no stand-in running.
struct ChildrenEnded {
    CaptureWatcher& watcher;
    ~ChildrenEnded() {
        watcher.Stop();
        watcher.EndChildren(std::chrono::milliseconds(0));
    }
};

// Ended: no such process, or a zombie its new parent has not reaped yet.
bool ProcessEnded(pid_t pid) {
    const std::string stat = test::TempFolder::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return stat.empty() || close == std::string::npos || stat.compare(close, 3, ") Z") == 0;
}

// Runs command under /bin/sh; returns its pid and fills out with the first line it prints.
pid_t SpawnShell(const std::string& command, std::string& out) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    char c = 0;
    while (result == 0 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n') out += c;
    ::close(pipeFds[0]);
    return result == 0 ? pid : -1;
}

class CaptureWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* saved = std::getenv("XDG_RUNTIME_DIR");
        if (saved) savedRuntime = saved;
        hadRuntime = saved != nullptr;
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);  // the stand-in inherits it
    }
    void TearDown() override {
        if (hadRuntime) ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        else ::unsetenv("XDG_RUNTIME_DIR");
    }

    CaptureWatcherHooks Hooks() {
        CaptureWatcherHooks hooks;
        hooks.launched = [this](pid_t pid) {
            std::lock_guard guard(mutex);
            launches.push_back({pid, watched != nullptr ? watched->Looks() : 0});
        };
        hooks.relaunched = [this] { ++relaunches; };
        hooks.launchFailed = [this](const std::string& why) {
            std::lock_guard guard(mutex);
            failures.push_back(why);
        };
        return hooks;
    }
    size_t LaunchCount() {
        std::lock_guard guard(mutex);
        return launches.size();
    }
    // A launch: the child and the watcher's look it came in (0: before the first).
    struct Launched {
        pid_t pid;
        int look;
    };
    Launched Launch(size_t index) {
        std::lock_guard guard(mutex);
        return launches.at(index);
    }

    test::TempFolder folder;
    std::string dir = folder.Path().substr(0, folder.Path().size() - 1);
    std::string lock = CaptureLockPath(dir);
    std::string savedRuntime;
    bool hadRuntime = false;
    std::mutex mutex;
    CaptureWatcher* watched = nullptr;
    std::vector<Launched> launches;
    std::vector<std::string> failures;
    std::atomic<int> relaunches{0};
};

TEST_F(CaptureWatcherTest, AProgramThatDiesIsStartedAgainAtTheWatchersNextLook) {
    CaptureWatcher watcher(M470_CAPTURE_STUB, lock, Hooks());
    watched = &watcher;
    ChildrenEnded ended{watcher};
    ASSERT_TRUE(watcher.LaunchCapture());
    watcher.Start();
    ASSERT_TRUE(Eventually([&] { return CaptureWatcher::LockHeld(lock); }));
    const pid_t first = Launch(0).pid;
    ::kill(first, SIGKILL);
    // Dead (its lock released) before the look counted here ends: the
    // look after it starts the program again, whatever the machine's load.
    ASSERT_TRUE(Eventually([&] { return ProcessEnded(first); }));
    const int looksAtDeath = watcher.Looks();
    ASSERT_TRUE(Eventually([&] { return LaunchCount() >= 2; }));
    EXPECT_LE(Launch(1).look, looksAtDeath + 1);
    EXPECT_NE(Launch(1).pid, first);
    // The new copy serves, and the window is told to connect.
    ASSERT_TRUE(Eventually([&] { return CaptureWatcher::LockHeld(lock) && relaunches >= 1; }));
    CaptureClient client(CaptureSocketPath(dir));
    ASSERT_TRUE(Eventually([&] { return client.ConnectCapture(); }));
    int frames = 0;
    for (int pump = 0; pump < 100 && frames == 0 && client.Connected(); ++pump)
        test::PumpClient(client, [&](const CaptureFrame&) { ++frames; });
    EXPECT_GT(frames, 0);
    // A running copy is left alone: the watcher sleeps until it ends, then
    // starts the next one at its next look.
    const int looksServing = watcher.Looks();
    EXPECT_EQ(LaunchCount(), 2u);
    ::kill(Launch(1).pid, SIGKILL);
    ASSERT_TRUE(Eventually([&] { return LaunchCount() >= 3; }));
    EXPECT_EQ(Launch(2).look, looksServing + 1);
    CaptureClient third(CaptureSocketPath(dir));
    ASSERT_TRUE(Eventually([&] { return third.ConnectCapture(); }));
    watcher.Stop();
    third.DisconnectCapture();
    EXPECT_TRUE(watcher.EndChildren(std::chrono::milliseconds(10000)));
    EXPECT_FALSE(ProcessExists(first));
}

TEST_F(CaptureWatcherTest, QuittingTheWindowLeavesNoCaptureProcess) {
    CaptureWatcher watcher(M470_CAPTURE_STUB, lock, Hooks());
    ChildrenEnded ended{watcher};
    watcher.Start();
    ASSERT_TRUE(watcher.LaunchCapture());
    ASSERT_TRUE(Eventually([&] { return CaptureWatcher::LockHeld(lock); }));
    CaptureClient client(CaptureSocketPath(dir));
    ASSERT_TRUE(Eventually([&] { return client.ConnectCapture(); }));
    const std::vector<pid_t> children = watcher.Children();
    ASSERT_EQ(children.size(), 1u);
    // The window's shutdown: the watcher first, so it relaunches nothing, then quit.
    watcher.Stop();
    ASSERT_TRUE(client.DisconnectCapture());
    // It ended on its own (exit, not the fallback signal) and was reaped.
    EXPECT_TRUE(watcher.EndChildren(std::chrono::milliseconds(10000)));
    EXPECT_FALSE(ProcessExists(children[0]));
    EXPECT_TRUE(watcher.Children().empty());
    EXPECT_FALSE(CaptureWatcher::LockHeld(lock));
    EXPECT_EQ(LaunchCount(), 1u);
}

TEST_F(CaptureWatcherTest, AChildThatIgnoresQuitIsEndedAnyway) {
    CaptureWatcher watcher(M470_CAPTURE_STUB, lock, Hooks());
    ChildrenEnded ended{watcher};
    ASSERT_TRUE(watcher.LaunchCapture());
    ASSERT_TRUE(Eventually([&] { return CaptureWatcher::LockHeld(lock); }));
    const pid_t child = watcher.Children().at(0);
    // No quit was sent: the short wait runs out and the child is terminated.
    EXPECT_FALSE(watcher.EndChildren(std::chrono::milliseconds(100)));
    EXPECT_FALSE(ProcessExists(child));
}

TEST_F(CaptureWatcherTest, AFailedLaunchIsToldOncePerRun) {
    CaptureWatcher watcher(folder.File("no-such-program"), lock, Hooks());
    EXPECT_FALSE(watcher.LaunchCapture());
    EXPECT_FALSE(watcher.LaunchCapture());
    watcher.Start();
    ASSERT_TRUE(Eventually([&] { return watcher.Launches() >= 4; }));
    watcher.Stop();
    std::lock_guard guard(mutex);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("no-such-program"), std::string::npos);
    EXPECT_EQ(relaunches, 0);
}

TEST_F(CaptureWatcherTest, TheLockIsFreeWithoutTheProgram) {
    EXPECT_FALSE(CaptureWatcher::LockHeld(lock));  // no lock file at all
    folder.Write("M470AudioRecord.lock", "");
    EXPECT_FALSE(CaptureWatcher::LockHeld(lock));
}

// The program is tied to the process that started it: a parent killed with
// SIGKILL (no quit command ever comes) takes it along, and a parent that is
// gone before the program starts makes it end at once, without the lock.
TEST_F(CaptureWatcherTest, TheProgramEndsWithTheProcessThatStartedItHoweverThatEnds) {
    CaptureWatcher watcher(M470_CAPTURE_STUB, lock, Hooks());
    ASSERT_TRUE(watcher.LaunchCapture());
    const pid_t child = watcher.Children().at(0);
    ASSERT_TRUE(Eventually([&] { return CaptureWatcher::LockHeld(lock); }));  // started: its command line is its own
    const std::string cmdline = test::TempFolder::ReadFile("/proc/" + std::to_string(child) + "/cmdline");
    EXPECT_NE(cmdline.find(std::string("--parent") + '\0' + std::to_string(::getpid()) + '\0'), std::string::npos);
    ::kill(child, SIGKILL);
    watcher.EndChildren(std::chrono::milliseconds(10000));  // reaps it

    // A shell stands in for a window: it starts the program tied to itself and is killed.
    std::string printed;
    const pid_t shell = SpawnShell(std::string("'") + M470_CAPTURE_STUB + "' --parent $$ & echo $!; exec sleep 600", printed);
    ASSERT_GT(shell, 0);
    const pid_t tied = static_cast<pid_t>(std::stol(printed));
    ASSERT_TRUE(Eventually([&] { return CaptureWatcher::LockHeld(lock); })) << "the program runs and holds its lock";
    ASSERT_FALSE(ProcessEnded(tied));
    ::kill(shell, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(shell, &status, 0), shell);
    EXPECT_TRUE(Eventually([&] { return ProcessEnded(tied); })) << "left running after its parent was killed";
    EXPECT_TRUE(Eventually([&] { return !CaptureWatcher::LockHeld(lock); }));

    // Started for a parent that is not its parent (that one is gone): it ends at once.
    printed.clear();
    const pid_t orphaned = SpawnShell(std::string("'") + M470_CAPTURE_STUB + "' --parent 1; echo $?", printed);
    ASSERT_GT(orphaned, 0);
    ASSERT_EQ(::waitpid(orphaned, &status, 0), orphaned);
    EXPECT_EQ(printed, "1");
    EXPECT_FALSE(CaptureWatcher::LockHeld(lock));
}

}  // namespace
}  // namespace m470
