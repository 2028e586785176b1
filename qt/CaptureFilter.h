#pragma once
// Input capture inside the window for the hook owner: an application-wide
// event filter, installed only while a hook mode is set, that turns key and
// mouse-button events into captured events and withholds what the hook
// withholds. Nothing outside the window is captured: a system-wide grab
// would need access to every input device and would work as a keylogger.
#include <QObject>
#include <optional>

#include "macros/DeviceHook.h"

class QKeyEvent;
class QMouseEvent;

namespace m470::qt {

// The captured form of Qt's events; none for events capture ignores.
std::optional<CapturedKey> CapturedKeyOf(const QKeyEvent& event);
std::optional<CapturedButton> CapturedButtonOf(const QMouseEvent& event);

class CaptureFilter : public QObject, public HookInput {
    Q_OBJECT

public:
    explicit CaptureFilter(CDeviceHook& hook, QObject* parent = nullptr) : QObject(parent), hook_(hook) {}
    ~CaptureFilter() override;

    bool InstallKeyboard() override;
    void RemoveKeyboard() override;
    void InstallMouse(int mode) override;
    void RemoveMouse() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Update();

    CDeviceHook& hook_;
    bool keyboard_ = false, mouse_ = false, installed_ = false;
};

}  // namespace m470::qt
