#pragma once
// Notes for the desktop through its notification service
// (org.freedesktop.Notifications on the session bus): never a window of our
// own, never a wait on the UI thread. A product's later note replaces its
// earlier one on the screen. Without a session bus or a service the note
// is dropped, and that is written to the trace once.
#include <QDBusConnection>
#include <QObject>

#include <map>

#include "pages/ProductNews.h"

namespace m470::qt {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus()) : bus_(std::move(bus)) {}
    void Show(const DesktopNote& note);
    // Calls sent whose answer has not come back yet.
    int Pending() const { return pending_; }

private:
    QDBusConnection bus_;
    std::map<int, uint32_t> shownIds_;  // product -> the service's id of its last note
    bool toldMissing_ = false;
    int pending_ = 0;
};

}  // namespace m470::qt
