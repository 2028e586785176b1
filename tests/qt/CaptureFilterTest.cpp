#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWindow>
#include <QPushButton>
#include <vector>

#include "macros/MouseEventTable.h"
#include "qt/CaptureFilter.h"

namespace m470::qt {
namespace {

// A key as X11 or Wayland reports it: its xkb key code (evdev + 8).
void SendKey(QWidget* widget, QEvent::Type type, int key, quint32 evdev, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, evdev + 8, 0, 0, type == QEvent::KeyPress && key == Qt::Key_A ? "a" : "", autoRepeat);
    QApplication::sendEvent(widget->window()->windowHandle(), &event);
}

class Capture : public ::testing::Test {
public:
    void SetUp() override {
        edit.show();
        edit.setFocus();
        hook.OnKeyMessage("WM_HOOK_KEY_KBMACRO_MSG", [this](const CapturedKey& k) { keys.push_back(k); });
        hook.OnButtonMessage("WM_HOOK_KEY_MSMACRO_MSG", [this](const CapturedButton& b) { buttons.push_back(b); });
    }
    QLineEdit edit;
    CaptureFilter filter{hook};
    CDeviceHook hook{&filter};
    std::vector<CapturedKey> keys;
    std::vector<CapturedButton> buttons;
};

TEST_F(Capture, KeysAreTakenFromTheWindowWhileRecordingAndLockKeysPass) {
    SendKey(&edit, QEvent::KeyPress, Qt::Key_A, 30);
    EXPECT_EQ(edit.text(), "a");  // no hook: the window has the key
    ASSERT_TRUE(hook.SetHookMode(0, hook_mode::kRecord, true, true));
    SendKey(&edit, QEvent::KeyPress, Qt::Key_A, 30);
    SendKey(&edit, QEvent::KeyRelease, Qt::Key_A, 30, true);  // X11's repeat pair
    SendKey(&edit, QEvent::KeyPress, Qt::Key_A, 30, true);
    SendKey(&edit, QEvent::KeyRelease, Qt::Key_A, 30);
    EXPECT_EQ(edit.text(), "a");
    SendKey(&edit, QEvent::KeyPress, Qt::Key_Control, 97);  // KEY_RIGHTCTRL
    SendKey(&edit, QEvent::KeyPress, Qt::Key_CapsLock, 58);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].scanCode, 0x1E);
    EXPECT_TRUE(keys[0].press);
    EXPECT_FALSE(keys[1].press);
    EXPECT_EQ(keys[2].scanCode, 0x1D);
    EXPECT_TRUE(keys[2].extended);
    EXPECT_EQ(keys[3].scanCode, 0x3A);
    hook.RemoveHooks();
    SendKey(&edit, QEvent::KeyPress, Qt::Key_A, 30);
    EXPECT_EQ(edit.text(), "aa");
    EXPECT_EQ(keys.size(), 4u);
}

TEST_F(Capture, MouseButtonsWithTheirExtraButtonsAndTheStopButtonStaysClickable) {
    QPushButton stop("stop");
    stop.resize(80, 30);
    stop.show();
    int clicks = 0;
    QObject::connect(&stop, &QPushButton::clicked, [&clicks] { ++clicks; });
    ASSERT_TRUE(hook.SetHookMode(0, hook_mode::kRecord, true, true));
    hook.SetPassArea([&stop] {
        const QPoint at = stop.mapToGlobal(QPoint(0, 0));
        return ScreenRect{at.x(), at.y(), stop.width(), stop.height()};
    });
    const auto send = [&stop](QEvent::Type type, Qt::MouseButton button, QPoint local) {
        QMouseEvent event(type, local, stop.mapToGlobal(local), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                          Qt::NoModifier);
        QApplication::sendEvent(stop.windowHandle(), &event);
    };
    send(QEvent::MouseButtonPress, Qt::BackButton, QPoint(5, 5));
    send(QEvent::MouseButtonRelease, Qt::ForwardButton, QPoint(5, 5));
    send(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(10, 10));
    send(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);  // inside the stop button the click reaches it
    ASSERT_EQ(buttons.size(), 4u);
    EXPECT_EQ(buttons[0].message, mouse_message::kExtraDown);
    EXPECT_EQ(buttons[0].extraButton, kExtraBack);
    EXPECT_EQ(buttons[1].message, mouse_message::kExtraUp);
    EXPECT_EQ(buttons[1].extraButton, kExtraForward);
    EXPECT_EQ(buttons[2].message, mouse_message::kLeftDown);
    EXPECT_EQ(buttons[2].x, stop.mapToGlobal(QPoint(10, 10)).x());
    hook.SetPassArea(nullptr);
    send(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(10, 10));
    send(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);  // elsewhere it is withheld
    hook.SetHookMode(0, hook_mode::kSingleKey, true, false);  // key capture takes no buttons
    send(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(10, 10));
    send(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(10, 10));
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(buttons.size(), 6u);
}

}  // namespace
}  // namespace m470::qt
