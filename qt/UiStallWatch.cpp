#include "qt/UiStallWatch.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <QTime>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "platform/DebugTrace.h"

namespace m470::qt {
namespace {

int64_t Nanoseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The second field of /proc/thread-self/schedstat: ns spent runnable but
// waiting for a CPU. -1 when unreadable.
int64_t RunQueueDelay(int schedstat) {
    char text[96];
    const ssize_t length = ::pread(schedstat, text, sizeof text - 1, 0);
    if (length <= 0) return -1;
    text[length] = '\0';
    char* end = nullptr;
    const unsigned long long running = std::strtoull(text, &end, 10);
    const unsigned long long waiting = std::strtoull(end, &end, 10);
    return running == 0 ? -1 : static_cast<int64_t>(waiting);
}

const char* EventName(int type) {
    static const QMetaEnum names = QMetaEnum::fromType<QEvent::Type>();
    const char* name = names.valueToKey(type);
    return name != nullptr ? name : "user event";
}

WatchedApplication* Watched() { return dynamic_cast<WatchedApplication*>(QCoreApplication::instance()); }

}  // namespace

bool UiStallWatch::WantedByEnvironment() {
    const char* wanted = std::getenv("M470_STALL_WATCH");
    return wanted != nullptr && std::strcmp(wanted, "1") == 0;
}

UiStallWatch::UiStallWatch(QAbstractEventDispatcher* dispatcher, std::chrono::milliseconds limit, Measure measure)
    : thread_(std::this_thread::get_id()),
      limit_(std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count()),
      measure_(measure) {
    if (measure_ != Measure::CpuOnly) {
        schedstat_ = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        if (schedstat_ < 0 || RunQueueDelay(schedstat_) < 0) measure_ = Measure::CpuOnly;
        else measure_ = Measure::RunningOrBlocked;
    }
    frames_.reserve(16);
    if (dispatcher == nullptr) return;
    // A nested event loop serves events while a handler is open: the time it
    // waits is the thread idle, and what its events cost is timed apart.
    connections_.push_back(QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] {
        if (frames_.empty()) return;
        CloseStretches();
        blocked_ = true;
    }));
    connections_.push_back(QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] {
        if (frames_.empty()) return;
        if (!blocked_) CloseStretches();
        blocked_ = false;
        Restart();
    }));
}

UiStallWatch::~UiStallWatch() {
    for (const QMetaObject::Connection& connection : connections_) QObject::disconnect(connection);
    if (schedstat_ >= 0) ::close(schedstat_);
}

int64_t UiStallWatch::Charged() const {
    if (measure_ == Measure::CpuOnly) return Nanoseconds(CLOCK_THREAD_CPUTIME_ID);
    return Nanoseconds(CLOCK_MONOTONIC) - RunQueueDelay(schedstat_);
}

void UiStallWatch::Enter(const char* className, const QString& objectName, int eventType) {
    if (std::this_thread::get_id() != thread_) return;
    frames_.push_back({className, objectName, eventType, Nanoseconds(CLOCK_MONOTONIC), Charged()});
}

void UiStallWatch::Leave() {
    if (std::this_thread::get_id() != thread_ || frames_.empty()) return;
    const int64_t charged = Close(frames_.back());
    frames_.pop_back();
    if (charged > 0 && !frames_.empty()) frames_.back().reportedInside += charged;
}

// Reports the frame when its own time since its start is over the limit;
// the time reported in it and by it, for the frame around it (which must not
// tell a nested stall again, however deep).
int64_t UiStallWatch::Close(Frame& frame) {
    // Charged time never exceeds wall time: most frames end here.
    if (Nanoseconds(CLOCK_MONOTONIC) - frame.startWall - frame.reportedInside <= limit_) return frame.reportedInside;
    const int64_t charged = Charged() - frame.startCharged;
    if (charged - frame.reportedInside <= limit_) return frame.reportedInside;
    Report(frame, charged - frame.reportedInside);
    return charged;
}

// Innermost first, so that what a nested frame reported is not told again
// by the frame around it.
void UiStallWatch::CloseStretches() {
    for (size_t index = frames_.size(); index-- > 0;) {
        const int64_t charged = Close(frames_[index]);
        if (charged > 0 && index > 0) frames_[index - 1].reportedInside += charged;
    }
}

void UiStallWatch::Restart() {
    const int64_t wall = Nanoseconds(CLOCK_MONOTONIC);
    const int64_t charged = Charged();
    for (Frame& frame : frames_) {
        frame.startWall = wall;
        frame.startCharged = charged;
        frame.reportedInside = 0;
    }
}

void UiStallWatch::Report(const Frame& frame, int64_t nanoseconds) {
    ++stalls_;
    const QByteArray name = frame.objectName.toUtf8();
    const QByteArray at = QTime::currentTime().toString("HH:mm:ss.zzz").toLatin1();
    if (frame.eventType == QEvent::None)
        DebugTrace::Printf("UI thread stall: %.1f ms in %s at %s", nanoseconds / 1e6, frame.className, at.constData());
    else
        DebugTrace::Printf("UI thread stall: %.1f ms in %s \"%s\" handling %s (%d) at %s", nanoseconds / 1e6,
                           frame.className, name.constData(), EventName(frame.eventType), frame.eventType,
                           at.constData());
}

WatchedApplication::WatchedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

WatchedApplication::~WatchedApplication() = default;

UiStallWatch& WatchedApplication::WatchStalls(std::chrono::milliseconds limit, UiStallWatch::Measure measure) {
    watch_ = std::make_unique<UiStallWatch>(eventDispatcher(), limit, measure);
    return *watch_;
}

void WatchedApplication::StopWatching() { watch_.reset(); }

// An unnamed receiver (a timer, a queue) is named by its owner.
QString WatchedApplication::NameOf(const QObject* receiver) {
    const QString name = receiver->objectName();
    const QObject* owner = receiver->parent();
    if (!name.isEmpty() || owner == nullptr) return name;
    return QString("of %1 \"%2\"").arg(owner->metaObject()->className(), owner->objectName());
}

bool WatchedApplication::notify(QObject* receiver, QEvent* event) {
    if (!watch_) return QApplication::notify(receiver, event);
    // The receiver may be gone when its handler returns (a deferred delete):
    // what names it is taken now.
    watch_->Enter(receiver->metaObject()->className(), NameOf(receiver), event->type());
    const bool handled = QApplication::notify(receiver, event);
    if (watch_) watch_->Leave();  // a handler may have stopped the watch
    return handled;
}

StallScope::StallScope(const char* what) : watch_(nullptr) {
    if (WatchedApplication* application = Watched()) watch_ = application->Watch();
    if (watch_ != nullptr) watch_->Enter(what, QString(), QEvent::None);
}

StallScope::~StallScope() {
    if (watch_ != nullptr) watch_->Leave();
}

}  // namespace m470::qt
