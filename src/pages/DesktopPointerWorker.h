#pragma once
// The desktop's pointer tools (gsettings, gdbus, kreadconfig) run on a
// thread of their own, so a slow or hung session bus never holds up the
// window. A read's result is handed back through the UI-thread invoker;
// values to set wait their turn behind it, a later value of a key replacing
// one not set yet. Without an invoker each job runs at once on the calling
// thread.
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "pages/DesktopPointer.h"
#include "platform/StoppableThread.h"

namespace m470 {

// What a read found: the values the desktop has, and which keys it has.
struct DesktopPointerRead {
    std::vector<DesktopPointerReading> readings;
    std::array<bool, kPointerValueCount> found{};
};

class DesktopPointerWorker {
public:
    using Invoker = std::function<void(std::function<void()>)>;
    using ReadDone = std::function<void(const DesktopPointerRead&)>;

    DesktopPointerWorker(CDesktopPointer desktop, Invoker invoker, std::chrono::milliseconds toolTime = ToolLimit().time);
    // Values still waiting are set first, for at most one tool's time limit;
    // a read not yet done is dropped.
    ~DesktopPointerWorker();
    DesktopPointerWorker(const DesktopPointerWorker&) = delete;
    DesktopPointerWorker& operator=(const DesktopPointerWorker&) = delete;

    // Reads the mouse's values from the desktop; done runs on the UI thread,
    // never after this worker is gone.
    void Read(PointerIds ids, ReadDone done);
    // Sets a value on the desktop after what was asked before; the desktop
    // takes it only where the read found its key.
    void Apply(PointerValue value, int position);

private:
    struct Job {
        std::optional<PointerValue> value;  // a value to set, else a read
        int position = 0;
        PointerIds ids;
        ReadDone done;
    };
    void Queue(Job job);
    void Run(const StopEvent& stop);
    void Do(const Job& job);
    bool Idle() const { return jobs_.empty() && !applying_; }

    CDesktopPointer desktop_;  // used by the worker thread alone once it runs
    Invoker invoker_;
    std::chrono::milliseconds toolTime_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    bool applying_ = false;
    // Results handed to the UI thread look at it before they touch the page.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    StoppableThread thread_;
};

}  // namespace m470
