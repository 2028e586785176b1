#pragma once
// Times what the UI thread does for each event it handles, and writes one
// trace line for every handler that kept the thread longer than the limit:
// the receiver's class and object name, the event type, how long, and when.
//
// The hook is QApplication::notify (WatchedApplication below) rather than
// the event dispatcher's awake/aboutToBlock: notify knows the receiver and
// the event, and it sees events sent synchronously from inside another
// handler, so a stall names the handler that did the work. The dispatcher's
// aboutToBlock is still listened to, so that a nested event loop (a modal
// dialog) counts as the thread going idle and not as one long handler.
//
// What counts is the time the handler itself takes: time running plus time
// blocked in a wait (a lock, a read, a sleep), but not time the scheduler
// kept the thread from running. A busy machine then does not make it cry
// wolf. The kernel's per-thread run-queue delay (/proc/thread-self/schedstat)
// gives that split; where the file is missing or reads 0, only the thread's
// CPU time counts (waits are then not seen).
#include <QApplication>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAbstractEventDispatcher;

namespace m470::qt {

class UiStallWatch {
public:
    static constexpr std::chrono::milliseconds kLimit{50};
    // How handler time is measured; Automatic takes the run-queue delay when
    // the kernel gives it.
    enum class Measure { Automatic, RunningOrBlocked, CpuOnly };

    // On when M470_STALL_WATCH=1.
    static bool WantedByEnvironment();

    // Built on the thread it watches; dispatcher is that thread's.
    explicit UiStallWatch(QAbstractEventDispatcher* dispatcher, std::chrono::milliseconds limit = kLimit,
                          Measure measure = Measure::Automatic);
    ~UiStallWatch();
    UiStallWatch(const UiStallWatch&) = delete;
    UiStallWatch& operator=(const UiStallWatch&) = delete;

    // A stretch of work on the watched thread: Enter before, Leave after, nested
    // in the order they happen. Calls from another thread are ignored.
    void Enter(const char* className, const QString& objectName, int eventType);
    void Leave();

    Measure Measuring() const { return measure_; }
    int Stalls() const { return stalls_; }

private:
    struct Frame {
        const char* className;
        QString objectName;
        int eventType;
        int64_t startWall;     // ns, monotonic
        int64_t startCharged;  // ns of running or blocked
        int64_t reportedInside = 0;  // ns of nested frames already reported
    };
    int64_t Charged() const;
    int64_t Close(Frame& frame);
    void CloseStretches();
    void Report(const Frame& frame, int64_t nanoseconds);
    void Restart();

    std::thread::id thread_;
    int64_t limit_;
    Measure measure_;
    int schedstat_ = -1;
    std::vector<Frame> frames_;
    int stalls_ = 0;
    bool blocked_ = false;
    std::vector<QMetaObject::Connection> connections_;
};

// The program's application object: every event passes through the watch
// once it is started; until then notify costs one pointer test.
class WatchedApplication : public QApplication {
public:
    WatchedApplication(int& argc, char** argv);
    ~WatchedApplication() override;

    UiStallWatch& WatchStalls(std::chrono::milliseconds limit = UiStallWatch::kLimit,
                              UiStallWatch::Measure measure = UiStallWatch::Measure::Automatic);
    void StopWatching();
    UiStallWatch* Watch() const { return watch_.get(); }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    static QString NameOf(const QObject* receiver);
    std::unique_ptr<UiStallWatch> watch_;
};

// Times work on the UI thread that is not an event (start-up code before
// the event loop runs); no cost when the application is not watching.
class StallScope {
public:
    explicit StallScope(const char* what);
    ~StallScope();
    StallScope(const StallScope&) = delete;
    StallScope& operator=(const StallScope&) = delete;

private:
    UiStallWatch* watch_;
};

}  // namespace m470::qt
