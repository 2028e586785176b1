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

class StopEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event was set within the wait.
    bool WaitFor(std::chrono::milliseconds wait) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool set_ = false;
};

class StoppableThread {
public:
    enum class StopResult { NotRunning, Ended, TimedOut };

    StoppableThread() = default;
    ~StoppableThread();
    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;

    // Starts body(stop); a running thread is stopped first.
    void Start(std::function<void(const StopEvent&)> body);
    // wake runs after the wait expired, before the final join.
    StopResult Stop(std::chrono::milliseconds wait, const std::function<void()>& wake = {});
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
