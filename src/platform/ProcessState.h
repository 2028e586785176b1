#pragma once
// One value for the whole process, reached only under its lock: the trace
// and the file alerts are written from every thread.
#include <mutex>
#include <utility>

namespace m470 {

template <typename T>
class ProcessState {
public:
    // Runs work(value) with the lock held; returns what work returns.
    template <typename Work>
    static auto With(Work&& work) {
        Holder& holder = Instance();
        std::lock_guard lock(holder.mutex);
        return std::forward<Work>(work)(holder.value);
    }

private:
    struct Holder {
        std::mutex mutex;
        T value;
    };
    static Holder& Instance() {
        static Holder holder;
        return holder;
    }
};

}  // namespace m470
