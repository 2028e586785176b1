// A desktop's notification service on a private session bus: every Notify
// call is printed, one line each, with what the desktop would show and the
// id it hands back (counting from 1), for the test to read.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int timeout) {
        ++last_;
        Say(QStringLiteral("notify %1|%2|%3|%4|%5|actions=%6|urgency=%7|category=%8|entry=%9|timeout=%10|id=%11")
                .arg(app)
                .arg(replaces)
                .arg(icon, summary, body)
                .arg(actions.size())
                .arg(hints.value(QStringLiteral("urgency")).toInt())
                .arg(hints.value(QStringLiteral("category")).toString(), hints.value(QStringLiteral("desktop-entry")).toString())
                .arg(timeout)
                .arg(last_));
        return last_;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    void CloseNotification(uint id) { Say(QStringLiteral("close %1").arg(id)); }
    QString GetServerInformation(QString& vendor, QString& version, QString& spec) {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        spec = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }

private:
    uint last_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Notifications service;
    const bool ok = bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                       QDBusConnection::ExportAllSlots) &&
                    bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    if (!ok) {
        Say(QStringLiteral("failed: ") + bus.lastError().message());
        return 1;
    }
    Say(QStringLiteral("ready"));
    return app.exec();
}

#include "FakeNotifications.moc"
