// KWin's input devices as a Plasma Wayland session shows them on the session
// bus: the device manager's list and, per device, the properties the
// pointer settings use. Three devices: a keyboard and the gaming mouse of
// one vendor, and another vendor's mouse. Every property written and every
// global settings signal heard is printed, one line each, for the test.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QStringList>
#include <cstdio>

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class Device : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.InputDevice")
    Q_PROPERTY(QString sysName READ sysName CONSTANT)
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(quint32 vendor READ vendor CONSTANT)
    Q_PROPERTY(quint32 product READ product CONSTANT)
    Q_PROPERTY(bool pointer READ pointer CONSTANT)
    Q_PROPERTY(bool keyboard READ keyboard CONSTANT)
    Q_PROPERTY(qreal pointerAcceleration READ pointerAcceleration WRITE setPointerAcceleration)
    Q_PROPERTY(bool pointerAccelerationProfileFlat READ flat WRITE setFlat)
    Q_PROPERTY(bool pointerAccelerationProfileAdaptive READ adaptive WRITE setAdaptive)

public:
    Device(QString sysName, QString name, quint32 vendor, quint32 product, bool pointer, qreal acceleration, bool flat)
        : sysName_(std::move(sysName)), name_(std::move(name)), vendor_(vendor), product_(product), pointer_(pointer),
          acceleration_(acceleration), flat_(flat) {}
    QString sysName() const { return sysName_; }
    QString name() const { return name_; }
    quint32 vendor() const { return vendor_; }
    quint32 product() const { return product_; }
    bool pointer() const { return pointer_; }
    bool keyboard() const { return !pointer_; }
    qreal pointerAcceleration() const { return acceleration_; }
    void setPointerAcceleration(qreal value) {
        acceleration_ = value;
        Say(QStringLiteral("set %1 pointerAcceleration %2").arg(sysName_).arg(value));
    }
    bool flat() const { return flat_; }
    bool adaptive() const { return !flat_; }
    // As KWin: clearing one profile chooses the other.
    void setFlat(bool on) { SetProfile(on); }
    void setAdaptive(bool on) { SetProfile(!on); }

private:
    void SetProfile(bool flat) {
        flat_ = flat;
        Say(QStringLiteral("set %1 profile %2").arg(sysName_, flat ? QStringLiteral("flat") : QStringLiteral("adaptive")));
    }
    QString sysName_, name_;
    quint32 vendor_, product_;
    bool pointer_;
    qreal acceleration_;
    bool flat_;
};

class Manager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.KWin.InputDeviceManager")
    Q_PROPERTY(QStringList devicesSysNames READ devicesSysNames CONSTANT)

public:
    explicit Manager(QStringList names) : names_(std::move(names)) {}
    QStringList devicesSysNames() const { return names_; }

public slots:
    void heard(int type, int category) { Say(QStringLiteral("notifyChange %1 %2").arg(type).arg(category)); }

private:
    QStringList names_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Device keyboard(QStringLiteral("event3"), QStringLiteral("Gaming Keyboard"), 0x320F, 0x50C9, false, 0.0, false);
    Device mouse(QStringLiteral("event7"), QStringLiteral("Gaming Mouse"), 0x320F, 0x222E, true, 0.5, true);
    Device other(QStringLiteral("event9"), QStringLiteral("Office Mouse"), 0x046D, 0xC077, true, 0.0, false);
    Manager manager({keyboard.sysName(), mouse.sysName(), other.sysName()});
    bool ok = bus.registerObject(QStringLiteral("/org/kde/KWin/InputDevice"), &manager, QDBusConnection::ExportAllProperties);
    for (Device* device : {&keyboard, &mouse, &other})
        ok = ok && bus.registerObject(QStringLiteral("/org/kde/KWin/InputDevice/") + device->sysName(), device,
                                      QDBusConnection::ExportAllProperties);
    ok = ok && bus.connect(QString(), QStringLiteral("/KGlobalSettings"), QStringLiteral("org.kde.KGlobalSettings"),
                           QStringLiteral("notifyChange"), &manager, SLOT(heard(int, int)));
    ok = ok && bus.registerService(QStringLiteral("org.kde.KWin"));
    if (!ok) {
        Say(QStringLiteral("failed: ") + bus.lastError().message());
        return 1;
    }
    Say(QStringLiteral("ready"));
    return app.exec();
}

#include "FakeKWin.moc"
