#include "qt/ColorPalette.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace m470::qt {

ColorPalette::ColorPalette(QWidget* parent) : QWidget(parent) {
    // Low enough for the lighting tab to fit a window at its minimum size; it grows with the page.
    setMinimumSize(180, 64);
    setCursor(Qt::CrossCursor);
}

QColor ColorPalette::ColourAt(QPoint point) const {
    const int w = std::max(1, width() - 1), h = std::max(1, height() - 1);
    const double hue = std::clamp(point.x(), 0, w) / double(w);
    const double saturation = 1.0 - std::clamp(point.y(), 0, h) / double(h);
    return QColor::fromHsvF(std::min(hue, 0.9999), saturation, 1.0);
}

// A new size moves every colour: the marker is placed again by the next SetColour.
void ColorPalette::resizeEvent(QResizeEvent*) { marker_ = {-1, -1}; }

// The field is drawn on the first paint at a size, not on every paint, and
// let go while hidden: the palettes of pages not shown would hold some 400 KiB each.
void ColorPalette::hideEvent(QHideEvent*) { field_ = QImage(); }

const QImage& ColorPalette::Field() {
    if (field_.size() == size()) return field_;
    field_ = QImage(size(), QImage::Format_RGB32);
    for (int y = 0; y < field_.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(field_.scanLine(y));
        for (int x = 0; x < field_.width(); ++x) line[x] = ColourAt({x, y}).rgb();
    }
    return field_;
}

void ColorPalette::SetColour(QRgb argb) {
    colour_ = argb;
    const QColor colour = QColor::fromRgb(argb);
    const int w = std::max(1, width() - 1), h = std::max(1, height() - 1);
    marker_ = colour.hsvHue() < 0 ? QPoint(0, h) : QPoint(int(colour.hsvHueF() * w), int((1.0 - colour.hsvSaturationF()) * h));
    update();
}

void ColorPalette::PickAt(QPoint point) {
    colour_ = ColourAt(point).rgba();
    marker_ = point;
    setProperty("m470BkColour", static_cast<uint>(colour_));
    update();
}

void ColorPalette::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    PickAt(event->position().toPoint());
}

void ColorPalette::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) PickAt(event->position().toPoint());
}

// One pick per gesture: the device is written once, with the colour let go on.
void ColorPalette::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    PickAt(event->position().toPoint());
    emit colourPicked();
}

void ColorPalette::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(rect(), 6, 6);
    painter.setClipPath(clip);
    if (!isEnabled()) painter.setOpacity(0.35);
    painter.drawImage(0, 0, Field());
    painter.setClipping(false);
    if (marker_.x() < 0) return;
    painter.setPen(QPen(Qt::black, 3));
    painter.drawEllipse(marker_, 6, 6);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.drawEllipse(marker_, 6, 6);
}

}  // namespace m470::qt
