#include "qt/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "Version.h"
#include "platform/DebugTrace.h"
#include "qt/InstanceChannel.h"

namespace m470::qt {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr int kServerDecidesTimeout = -1;

}  // namespace

void DesktopNotifier::Show(const DesktopNote& note) {
    if (!bus_.isConnected()) {
        if (!toldMissing_) DebugTrace::Write("desktop notifications: no session bus");
        toldMissing_ = true;
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(note.urgency)));
    hints.insert("category", "device");
    hints.insert("desktop-entry", QString(kAppId));
    const auto shown = shownIds_.find(note.product);
    const uint32_t replaces = shown != shownIds_.end() ? shown->second : 0;
    call << QString(kInstanceName) << replaces << QString(kAppId) << QString::fromStdString(note.summary)
         << QString::fromStdString(note.body) << QStringList() << hints << kServerDecidesTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    ++pending_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, product = note.product](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<uint32_t> reply = *done;
        if (reply.isError()) {
            if (!toldMissing_) DebugTrace::Write("desktop notifications: " + reply.error().message().toStdString());
            toldMissing_ = true;
        } else {
            shownIds_[product] = reply.value();
        }
        --pending_;
        done->deleteLater();
    });
}

}  // namespace m470::qt
