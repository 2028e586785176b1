#include "platform/StoppableThread.h"

#include <cerrno>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/DebugTrace.h"

namespace m470 {

StopEvent::StopEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

StopEvent::~StopEvent() {
    if (fd_ >= 0) ::close(fd_);
}

void StopEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        if (!set_ && fd_ >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t ignored = ::write(fd_, &one, sizeof one);
        }
        set_ = true;
    }
    changed_.notify_all();
}

void StopEvent::Reset() {
    std::lock_guard lock(mutex_);
    if (set_ && fd_ >= 0) {
        uint64_t value = 0;
        [[maybe_unused]] ssize_t ignored = ::read(fd_, &value, sizeof value);
    }
    set_ = false;
    woken_ = false;
}

void StopEvent::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

bool StopEvent::WaitUntil(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadline, [this] { return set_ || woken_; });
    woken_ = false;
    return set_;
}

bool StopEvent::WaitForWake() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return set_ || woken_; });
    woken_ = false;
    return set_;
}

FdWait WaitForFdOrStop(int fd, const StopEvent& stop, int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{stop.Fd(), POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (stop.IsSet()) return FdWait::Stopped;
        if (ready > 0 && fd >= 0 && fds[1].revents != 0) return FdWait::Ready;
        return FdWait::TimedOut;
    }
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

void StoppableThread::Start(std::function<void(const StopEvent&)> body, const char* name) {
    Stop(std::chrono::milliseconds(1000));
    stop_.Reset();
    {
        std::lock_guard lock(doneMutex_);
        done_ = false;
    }
    running_ = true;
    std::string threadName = name != nullptr ? std::string(name).substr(0, 15) : std::string();
    thread_ = std::thread([this, body = std::move(body), threadName = std::move(threadName)] {
        if (!threadName.empty()) ::pthread_setname_np(::pthread_self(), threadName.c_str());
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
