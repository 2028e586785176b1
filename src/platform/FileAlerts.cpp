#include "platform/FileAlerts.h"

#include <set>
#include <string>

#include "platform/DebugTrace.h"
#include "platform/ProcessState.h"

namespace m470 {
namespace {

struct Alerts {
    std::set<std::string> unreadable;
    bool pending = false;
};

}  // namespace

void ReportUnreadableFile(const std::string& path) {
    ProcessState<Alerts>::With([&path](Alerts& alerts) {
        if (!alerts.unreadable.insert(path).second) return;
        DebugTrace::Printf("file %s exists but cannot be read; it is kept and not written", path.c_str());
        alerts.pending = true;
    });
}

void ReportSaveFailure(const std::string& path) {
    ProcessState<Alerts>::With([&path](Alerts& alerts) {
        DebugTrace::Printf("file %s could not be saved", path.c_str());
        alerts.pending = true;
    });
}

bool TakeFileAlert() {
    return ProcessState<Alerts>::With([](Alerts& alerts) { return std::exchange(alerts.pending, false); });
}

}  // namespace m470
