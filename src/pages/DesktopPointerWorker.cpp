#include "pages/DesktopPointerWorker.h"

#include <algorithm>

namespace m470 {

DesktopPointerWorker::DesktopPointerWorker(CDesktopPointer desktop, Invoker invoker, std::chrono::milliseconds toolTime)
    : desktop_(std::move(desktop)), invoker_(std::move(invoker)), toolTime_(toolTime) {
    desktop_.SetToolLimit({toolTime_, nullptr});
}

DesktopPointerWorker::~DesktopPointerWorker() {
    if (!thread_.Running()) return;
    std::unique_lock lock(mutex_);
    std::erase_if(jobs_, [](const Job& job) { return !job.value; });
    // A desktop that answers sets the few values left well within one
    // tool's limit; a hung one holds the window no longer than that.
    idle_.wait_for(lock, toolTime_, [this] { return Idle(); });
    jobs_.clear();
    lock.unlock();
    thread_.Stop(std::chrono::milliseconds(1000));
}

void DesktopPointerWorker::Read(PointerIds ids, ReadDone done) { Queue({std::nullopt, 0, std::move(ids), std::move(done)}); }

void DesktopPointerWorker::Apply(PointerValue value, int position) { Queue({value, position, {}, {}}); }

void DesktopPointerWorker::Queue(Job job) {
    // A desktop that is not asked runs no tool: nothing to wait for.
    if (!invoker_ || !desktop_.Asks()) return Do(job);
    {
        std::lock_guard lock(mutex_);
        const auto waiting = std::find_if(jobs_.begin(), jobs_.end(), [&job](const Job& queued) {
            return job.value && queued.value == job.value;
        });
        if (waiting != jobs_.end()) waiting->position = job.position;
        else jobs_.push_back(std::move(job));
    }
    if (!thread_.Running()) {
        thread_.Start([this](const StopEvent& stop) { Run(stop); }, "desktop-pointer");
        return;
    }
    thread_.Wake();
}

void DesktopPointerWorker::Run(const StopEvent& stop) {
    desktop_.SetToolLimit({toolTime_, &stop});
    for (;;) {
        std::unique_lock lock(mutex_);
        if (jobs_.empty()) {
            lock.unlock();
            if (stop.WaitForWake()) return;
            continue;
        }
        const Job job = std::move(jobs_.front());
        jobs_.pop_front();
        applying_ = job.value.has_value();  // a read left running when the page goes is of no use
        lock.unlock();
        Do(job);
        lock.lock();
        applying_ = false;
        if (Idle()) idle_.notify_all();
        if (stop.IsSet()) return;
    }
}

void DesktopPointerWorker::Do(const Job& job) {
    if (job.value) {
        desktop_.Apply(*job.value, job.position);
        return;
    }
    desktop_.SetPointer(job.ids);
    DesktopPointerRead read{desktop_.Read(), desktop_.Found()};
    if (!job.done) return;
    if (!invoker_ || !desktop_.Asks()) return job.done(read);
    invoker_([alive = std::weak_ptr<const bool>(alive_), done = job.done, read = std::move(read)] {
        if (alive.lock()) done(read);
    });
}

}  // namespace m470
