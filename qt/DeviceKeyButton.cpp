#include "qt/DeviceKeyButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace m470::qt {

DeviceKeyButton::DeviceKeyButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
}

void DeviceKeyButton::SetLight(uint32_t colour, uint8_t level, bool on) {
    if (colour == lightColour_ && level == lightLevel_ && on == lightOn_) return;
    lightColour_ = colour;
    lightLevel_ = level;
    lightOn_ = on;
    update();
}

QColor DeviceKeyButton::ShownColour() const {
    const auto channel = [this](int shift) { return static_cast<int>(((lightColour_ >> shift) & 0xFF) * lightLevel_ >> 8); };
    return QColor(channel(0), channel(8), channel(16));
}

void DeviceKeyButton::SetKeySetHidden(bool hidden) {
    if (hidden == keySetHidden_) return;
    keySetHidden_ = hidden;
    update();
}

void DeviceKeyButton::SetKeyUnsetHidden(bool hidden) {
    if (hidden == keyUnsetHidden_) return;
    keyUnsetHidden_ = hidden;
    update();
}

void DeviceKeyButton::SetLightImage(const QString& path) {
    lightImage_ = path;
    light_ = QPixmap(path);
    update();
}

void DeviceKeyButton::SetKeySetImage(const QString& path) {
    keySetImage_ = path;
    keySet_ = QPixmap(path);
    update();
}

void DeviceKeyButton::SetKeyUnsetImage(const QString& path) {
    keyUnsetImage_ = path;
    keyUnset_ = QPixmap(path);
    update();
}

void DeviceKeyButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    // The plain button: a dark key cap, lighter while hovered or pressed.
    const QColor cap = isDown() ? QColor(0x3a, 0x40, 0x4c) : underMouse() ? QColor(0x30, 0x35, 0x3f) : QColor(0x24, 0x28, 0x30);
    painter.setPen(QPen(marked_ || isChecked() ? QColor(0x00, 0xc8, 0xff) : QColor(0x44, 0x4a, 0x56), marked_ ? 2.0 : 1.0));
    painter.setBrush(cap);
    painter.drawRoundedRect(area, 5, 5);
    if (lightOn_) {
        const QColor shown = ShownColour();
        if (!light_.isNull()) {
            // Tint the light image with the shown colour.
            QPixmap tinted(light_.size());
            tinted.fill(Qt::transparent);
            QPainter tint(&tinted);
            tint.drawPixmap(0, 0, light_);
            tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
            tint.fillRect(tinted.rect(), shown);
            tint.end();
            painter.drawPixmap(rect(), tinted);
        } else {
            QRadialGradient glow(area.center(), area.width() / 2);
            glow.setColorAt(0.0, shown.lighter(120));
            glow.setColorAt(0.7, shown);
            QColor edge = shown;
            edge.setAlpha(60);
            glow.setColorAt(1.0, edge);
            painter.setPen(Qt::NoPen);
            painter.setBrush(glow);
            painter.drawRoundedRect(area.adjusted(3, 3, -3, -3), 4, 4);
        }
    }
    if (!keyUnsetHidden_ && !keyUnset_.isNull()) painter.drawPixmap(rect(), keyUnset_);
    if (!keySetHidden_ && !keySet_.isNull()) painter.drawPixmap(rect(), keySet_);
    if (!text().isEmpty()) {
        painter.setPen(QColor(0xe6, 0xea, 0xf0));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
}

void DeviceKeyButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!isEnabled()) return;
    setDown(true);
    emit doubleClicked();
    event->accept();
}

}  // namespace m470::qt
