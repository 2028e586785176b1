#include "platform/FileAlerts.h"

#include <mutex>
#include <set>

#include "platform/DebugTrace.h"

namespace m470 {
namespace {

struct Alerts {
    std::mutex mutex;
    std::set<std::string> unreadable;
    bool pending = false;
};

Alerts& State() {
    static Alerts alerts;
    return alerts;
}

}  // namespace

void ReportUnreadableFile(const std::string& path) {
    Alerts& alerts = State();
    std::lock_guard lock(alerts.mutex);
    if (!alerts.unreadable.insert(path).second) return;
    DebugTrace::Printf("file %s exists but cannot be read; it is kept and not written", path.c_str());
    alerts.pending = true;
}

void ReportSaveFailure(const std::string& path) {
    Alerts& alerts = State();
    std::lock_guard lock(alerts.mutex);
    DebugTrace::Printf("file %s could not be saved", path.c_str());
    alerts.pending = true;
}

bool TakeFileAlert() {
    Alerts& alerts = State();
    std::lock_guard lock(alerts.mutex);
    const bool pending = alerts.pending;
    alerts.pending = false;
    return pending;
}

}  // namespace m470
