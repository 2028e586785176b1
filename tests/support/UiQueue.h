#pragma once
// Stands in for the UI thread in tests: device threads queue work, the test
// thread runs it.
#include <functional>
#include <mutex>
#include <vector>

namespace m470::test {

class UiQueue {
public:
    std::function<void(std::function<void()>)> Invoker() {
        return [this](std::function<void()> work) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        };
    }
    size_t Pump() {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(queue_);
        }
        for (auto& work : batch) work();
        return batch.size();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> queue_;
};

}  // namespace m470::test
