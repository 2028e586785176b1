#include "qt/SelectPanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QStyleOption>

#include "qt/DeviceKeyButton.h"

namespace m470::qt {

SelectPanel::SelectPanel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_StyledBackground); }

void SelectPanel::SetPictureImage(const QString& path) {
    pictureImage_ = path;
    picture_ = QPixmap(path);
    scaled_ = QPixmap();
    update();
}

const QPixmap& SelectPanel::ScaledPicture() {
    const QSize wanted = size() * devicePixelRatioF();
    if (scaled_.size() != wanted && !picture_.isNull()) {
        scaled_ = picture_.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled_.setDevicePixelRatio(devicePixelRatioF());
        ++scalings_;
    }
    return scaled_;
}

void SelectPanel::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) return;
    anchor_ = event->position().toPoint();
    armed_ = true;
    dragged_ = false;
}

void SelectPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!armed_) return;
    const QRect before = selection_;
    selection_ = QRect(anchor_, event->position().toPoint()).normalized();
    dragged_ = true;
    update(before.united(selection_).adjusted(-1, -1, 1, 1));
}

void SelectPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (!armed_) return;
    armed_ = false;
    if (!dragged_) return;
    selection_ = QRect(anchor_, event->position().toPoint()).normalized();
    for (DeviceKeyButton* button : findChildren<DeviceKeyButton*>(Qt::FindDirectChildrenOnly))
        button->SetMarked(button->geometry().intersects(selection_));
    const QRect drawn = selection_;
    selection_ = QRect();
    update(drawn.adjusted(-1, -1, 1, 1));
    emit selectionEnded();
}

void SelectPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (picture_.isNull()) {
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    } else {
        // Only the dirty part of the cached picture: an LED change repaints
        // its own small rectangle.
        const QRect dirty = event->rect();
        const QPixmap& scaled = ScaledPicture();
        const qreal ratio = scaled.devicePixelRatio();
        painter.drawPixmap(dirty, scaled,
                           QRectF(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio, dirty.height() * ratio));
    }
    for (DeviceKeyButton* button : findChildren<DeviceKeyButton*>(Qt::FindDirectChildrenOnly))
        if (button->isVisible() && event->region().intersects(button->geometry())) button->PaintBase(painter, button->geometry());
    if (selection_.isNull()) return;
    painter.setPen(QPen(QColor(0x00, 0xc8, 0xff), 1, Qt::DashLine));
    painter.setBrush(QColor(0x00, 0xc8, 0xff, 40));
    painter.drawRect(selection_);
}

}  // namespace m470::qt
