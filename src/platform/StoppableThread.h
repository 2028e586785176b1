#pragma once
// A worker thread with a manual-reset stop event. Stop signals the event,
// waits a bounded time for the thread to end, writes the outcome to the trace
// and always joins: a thread still blocked is woken through its wake hook
// (the abort event of its HID read), never killed.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace m470 {

// Manual-reset stop event. Besides the condition a thread can wait on, it
// keeps a descriptor that is readable while the event is set, so a thread
// blocked in poll() sees it too. Wake() ends one wait early without setting
// the event (a changed setting the thread should look at).
class StopEvent {
public:
    StopEvent();
    ~StopEvent();
    StopEvent(const StopEvent&) = delete;
    StopEvent& operator=(const StopEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event was set within the wait.
    bool WaitFor(std::chrono::milliseconds wait) const;
    // Waits until the event is set, a Wake() since the last wait, or the
    // deadline; true when the event is set.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const;
    // Waits with no time limit for the event or a Wake(); true when set.
    bool WaitForWake() const;
    void Wake();
    // Readable while the event is set.
    int Fd() const { return fd_; }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_ = false;
    mutable bool woken_ = false;
    int fd_;
};

// Waits until fd is readable, the stop event is set or timeoutMs passes
// (timeoutMs < 0: no limit; fd < 0: the stop event alone).
enum class FdWait { Ready, Stopped, TimedOut };
FdWait WaitForFdOrStop(int fd, const StopEvent& stop, int timeoutMs);

class StoppableThread {
public:
    enum class StopResult { NotRunning, Ended, TimedOut };

    StoppableThread() = default;
    ~StoppableThread();
    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;

    // Starts body(stop); a running thread is stopped first. The name (at
    // most 15 characters) shows in /proc and debuggers.
    void Start(std::function<void(const StopEvent&)> body, const char* name = nullptr);
    // wake runs after the wait expired, before the final join.
    StopResult Stop(std::chrono::milliseconds wait, const std::function<void()>& wake = {});
    // Ends the thread's current wait early (see StopEvent::Wake).
    void Wake() { stop_.Wake(); }
    bool Running() const { return running_; }

private:
    StopEvent stop_;
    std::thread thread_;
    std::mutex doneMutex_;
    std::condition_variable doneChanged_;
    bool done_ = false;
    std::atomic<bool> running_{false};
};

// The trace line for a stop outcome.
const char* ThreadStopLine(StoppableThread::StopResult result);

}  // namespace m470
