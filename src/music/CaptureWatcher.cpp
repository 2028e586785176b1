#include "music/CaptureWatcher.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "music/CaptureProtocol.h"
#include "platform/DebugTrace.h"

extern char** environ;

namespace m470 {

CaptureWatcher::CaptureWatcher(std::string programPath, std::string lockPath, CaptureWatcherHooks hooks)
    : program_(std::move(programPath)), lock_(std::move(lockPath)), hooks_(std::move(hooks)) {}

CaptureWatcher::~CaptureWatcher() { Stop(); }

bool CaptureWatcher::LockHeld(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;  // no lock file: the program never ran here
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also drops the shared lock if we got it
    return held;
}

bool CaptureWatcher::LaunchCapture() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling and nothing blocked,
    // whatever this process set up for its own threads.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // The program ends with this process (and with the thread that starts it:
    // the UI thread, or the watcher's, which both last until the window ends).
    std::string parent = std::to_string(::getpid());
    char* argv[] = {const_cast<char*>(program_.c_str()), const_cast<char*>(kParentOption), parent.data(), nullptr};
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ++launches_;
    if (result != 0) {
        const std::string why = program_ + ": " + std::strerror(result);
        DebugTrace::Write("capture program launch failed: " + why);
        if (!failureTold_.exchange(true) && hooks_.launchFailed) hooks_.launchFailed(why);
        return false;
    }
    {
        std::lock_guard lock(childrenMutex_);
        children_.push_back(pid);
    }
    if (hooks_.launched) hooks_.launched(pid);
    return true;
}

void CaptureWatcher::ReapEnded() {
    std::lock_guard lock(childrenMutex_);
    std::erase_if(children_, [](pid_t pid) {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) == pid;
    });
}

bool CaptureWatcher::WaitWhileChildRuns(const StopEvent& stop) {
    pid_t newest = -1;
    {
        std::lock_guard lock(childrenMutex_);
        if (!children_.empty()) newest = children_.back();
    }
    if (newest <= 0) return false;
    // Readable once the child ended (reaped or not); without pidfds (before
    // Linux 5.3) the watcher looks every interval instead.
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, newest, 0));
    if (pidFd < 0) return false;
    const bool stopped = WaitForFdOrStop(pidFd, stop, -1) == FdWait::Stopped;
    ::close(pidFd);
    return stopped;
}

void CaptureWatcher::Watch(const StopEvent& stop) {
    for (;;) {
        if (stop.WaitFor(kWatchInterval)) break;
        // While the copy started last runs (it holds the lock or ends at
        // once), nothing needs a look until it ends.
        if (WaitWhileChildRuns(stop)) break;
        ++looks_;
        ReapEnded();
        if (LockHeld(lock_)) continue;
        if (!LaunchCapture()) continue;
        if (stop.WaitFor(kConnectDelay)) break;
        if (hooks_.relaunched) hooks_.relaunched();
    }
    DebugTrace::Write("AudioDaemonThreadPrc stop");
}

void CaptureWatcher::Start() {
    thread_.Start([this](const StopEvent& stop) { Watch(stop); }, "capture-watch");
}

void CaptureWatcher::Stop() {
    if (thread_.Running()) DebugTrace::Write(ThreadStopLine(thread_.Stop(std::chrono::milliseconds(1000))));
}

std::vector<pid_t> CaptureWatcher::Children() const {
    std::lock_guard lock(childrenMutex_);
    return children_;
}

namespace {

// Reaps pid when it ends before the deadline; 0 while it still runs.
pid_t WaitChild(pid_t pid, int& status, std::chrono::steady_clock::time_point deadline) {
    pid_t done = 0;
    // Short steps: a child told to quit ends within a few of them.
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return done;
}

}  // namespace

bool CaptureWatcher::EndChildren(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool allEnded = true;
    std::lock_guard lock(childrenMutex_);
    for (pid_t pid : children_) {
        int status = 0;
        const pid_t done = WaitChild(pid, status, deadline);
        if (done == pid) {
            allEnded = allEnded && WIFEXITED(status);
            continue;
        }
        if (done < 0) continue;  // not ours any more
        allEnded = false;
        DebugTrace::Printf("capture program %d did not quit; terminated", static_cast<int>(pid));
        ::kill(pid, SIGTERM);
        if (WaitChild(pid, status, std::chrono::steady_clock::now() + std::chrono::milliseconds(500)) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    }
    children_.clear();
    return allEnded;
}

}  // namespace m470
