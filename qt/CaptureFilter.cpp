#include "qt/CaptureFilter.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "keys/EvdevScanCodes.h"
#include "macros/MouseEventTable.h"

namespace m470::qt {
namespace {

// xcb and Wayland report xkb key codes: the evdev code plus 8.
constexpr quint32 kXkbOffset = 8;

struct ButtonMessages {
    Qt::MouseButton button;
    uint16_t press, release;
    uint8_t extra;
};
constexpr ButtonMessages kButtons[] = {
    {Qt::LeftButton, mouse_message::kLeftDown, mouse_message::kLeftUp, 0},
    {Qt::RightButton, mouse_message::kRightDown, mouse_message::kRightUp, 0},
    {Qt::MiddleButton, mouse_message::kMiddleDown, mouse_message::kMiddleUp, 0},
    {Qt::BackButton, mouse_message::kExtraDown, mouse_message::kExtraUp, kExtraBack},
    {Qt::ForwardButton, mouse_message::kExtraDown, mouse_message::kExtraUp, kExtraForward},
};

}  // namespace

std::optional<CapturedKey> CapturedKeyOf(const QKeyEvent& event) {
    const quint32 native = event.nativeScanCode();
    if (native <= kXkbOffset || native - kXkbOffset > 0xFFFF) return std::nullopt;
    const std::optional<uint16_t> scan = ScanCodeOfEvdev(static_cast<uint16_t>(native - kXkbOffset));
    if (!scan) return std::nullopt;
    return CapturedKey{static_cast<uint16_t>(*scan & 0xFF), (*scan & kExtendedFlag) != 0, event.type() == QEvent::KeyPress};
}

std::optional<CapturedButton> CapturedButtonOf(const QMouseEvent& event) {
    const bool press = event.type() == QEvent::MouseButtonPress || event.type() == QEvent::MouseButtonDblClick;
    const QPoint global = event.globalPosition().toPoint();
    for (const ButtonMessages& row : kButtons)
        if (row.button == event.button()) return CapturedButton{press ? row.press : row.release, row.extra, global.x(), global.y()};
    return std::nullopt;
}

CaptureFilter::~CaptureFilter() {
    if (installed_ && QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

bool CaptureFilter::InstallKeyboard() {
    keyboard_ = true;
    Update();
    return installed_;
}

void CaptureFilter::RemoveKeyboard() {
    keyboard_ = false;
    Update();
}

void CaptureFilter::InstallMouse(int) {
    mouse_ = true;
    Update();
}

void CaptureFilter::RemoveMouse() {
    mouse_ = false;
    Update();
}

void CaptureFilter::Update() {
    QCoreApplication* app = QCoreApplication::instance();
    const bool wanted = keyboard_ || mouse_;
    if (app == nullptr || wanted == installed_) return;
    if (wanted) app->installEventFilter(this);
    else app->removeEventFilter(this);
    installed_ = wanted;
}

bool CaptureFilter::eventFilter(QObject* watched, QEvent* event) {
    // Input reaches the top-level window first, then travels to the widget and
    // up its parents: taken at the window, each event is captured once.
    if (event->type() != QEvent::ShortcutOverride && !watched->isWindowType()) return false;
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Withheld keys start no shortcut either.
            if (!keyboard_) return false;
            event->accept();
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            if (!keyboard_) return false;
            const auto& key = static_cast<const QKeyEvent&>(*event);
            // X11 sends a held key as release and press pairs: they are no new events.
            if (key.isAutoRepeat()) return true;
            const std::optional<CapturedKey> captured = CapturedKeyOf(key);
            return captured ? hook_.DeliverKey(*captured) : true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            if (!mouse_) return false;
            const std::optional<CapturedButton> captured = CapturedButtonOf(static_cast<const QMouseEvent&>(*event));
            return captured && hook_.DeliverButton(*captured);
        }
        default: return false;
    }
}

}  // namespace m470::qt
