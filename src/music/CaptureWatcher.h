#pragma once
// Launches the capture program and keeps it running: a worker sleeps while
// the copy it started last runs, then looks (at most once a second) whether
// the program holds its lock and starts it again when not.
// Children it started are reaped, and after the window told the program to
// quit, EndChildren makes sure none is left behind.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/StoppableThread.h"

namespace m470 {

inline constexpr auto kWatchInterval = std::chrono::milliseconds(1000);
inline constexpr auto kConnectDelay = std::chrono::milliseconds(500);
inline constexpr const char* kRecordOpenFailed = "Record open failed!";

struct CaptureWatcherHooks {
    // A child was started (any thread).
    std::function<void(pid_t)> launched;
    // After a launch from the watcher and the wait for the program to set
    // up: time to connect. Runs on the watcher thread.
    std::function<void()> relaunched;
    // A launch failed; told once per watcher (once per run), whichever
    // thread launched. Runs on the launching thread.
    std::function<void(const std::string& why)> launchFailed;
};

class CaptureWatcher {
public:
    CaptureWatcher(std::string programPath, std::string lockPath, CaptureWatcherHooks hooks);
    ~CaptureWatcher();

    // Starts the program (hidden: no terminal input); false when it could not.
    bool LaunchCapture();
    void Start();
    void Stop();
    // The watch loop itself, for an owner that runs it on a worker of its own.
    void Watch(const StopEvent& stop);

    // True while some process holds the lock (the program runs).
    static bool LockHeld(const std::string& lockPath);

    // Waits up to wait for the children started here to end and reaps them;
    // any still running then is terminated. True when every child ended on
    // its own.
    bool EndChildren(std::chrono::milliseconds wait);
    std::vector<pid_t> Children() const;
    // Launches made so far (by the watcher and by LaunchCapture).
    int Launches() const { return launches_; }
    // Looks the watcher has taken so far (counted as each one begins).
    int Looks() const { return looks_; }

private:
    void ReapEnded();
    // Sleeps until the newest child ends; true when stopped meanwhile. Returns
    // at once when there is no child to wait for.
    bool WaitWhileChildRuns(const StopEvent& stop);

    std::string program_;
    std::string lock_;
    CaptureWatcherHooks hooks_;
    StoppableThread thread_;
    mutable std::mutex childrenMutex_;
    std::vector<pid_t> children_;
    std::atomic<int> launches_{0};
    std::atomic<int> looks_{0};
    std::atomic<bool> failureTold_{false};
};

}  // namespace m470
