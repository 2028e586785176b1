#include "devices/StoppableThread.h"

#include "platform/DebugTrace.h"

namespace m470 {

void StopEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void StopEvent::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool StopEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

bool StopEvent::WaitFor(std::chrono::milliseconds wait) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, wait, [this] { return set_; });
}

StoppableThread::~StoppableThread() { Stop(std::chrono::milliseconds(1000)); }

void StoppableThread::Start(std::function<void(const StopEvent&)> body) {
    Stop(std::chrono::milliseconds(1000));
    stop_.Reset();
    {
        std::lock_guard lock(doneMutex_);
        done_ = false;
    }
    running_ = true;
    thread_ = std::thread([this, body = std::move(body)] {
        body(stop_);
        {
            std::lock_guard lock(doneMutex_);
            done_ = true;
        }
        doneChanged_.notify_all();
    });
}

StoppableThread::StopResult StoppableThread::Stop(std::chrono::milliseconds wait, const std::function<void()>& wake) {
    if (!thread_.joinable()) return StopResult::NotRunning;
    stop_.Set();
    bool ended;
    {
        std::unique_lock lock(doneMutex_);
        ended = doneChanged_.wait_for(lock, wait, [this] { return done_; });
    }
    if (!ended && wake) wake();
    thread_.join();
    running_ = false;
    return ended ? StopResult::Ended : StopResult::TimedOut;
}

const char* ThreadStopLine(StoppableThread::StopResult result) {
    switch (result) {
        case StoppableThread::StopResult::Ended: return "线程退出：：对象处于激发状态";
        case StoppableThread::StopResult::TimedOut: return "线程退出：：对象处于非激发状态，超时";
        case StoppableThread::StopResult::NotRunning: break;
    }
    return "线程退出：：错误";
}

}  // namespace m470
