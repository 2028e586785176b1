#include "qt/SelectPanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

#include "qt/DeviceKeyButton.h"

namespace m470::qt {

SelectPanel::SelectPanel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_StyledBackground); }

void SelectPanel::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) return;
    anchor_ = event->position().toPoint();
    armed_ = true;
    dragged_ = false;
}

void SelectPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!armed_) return;
    selection_ = QRect(anchor_, event->position().toPoint()).normalized();
    dragged_ = true;
    update();
}

void SelectPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (!armed_) return;
    armed_ = false;
    if (!dragged_) return;
    selection_ = QRect(anchor_, event->position().toPoint()).normalized();
    for (DeviceKeyButton* button : findChildren<DeviceKeyButton*>(Qt::FindDirectChildrenOnly))
        button->SetMarked(button->geometry().intersects(selection_));
    selection_ = QRect();
    update();
    emit selectionEnded();
}

void SelectPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (selection_.isNull()) return;
    painter.setPen(QPen(QColor(0x00, 0xc8, 0xff), 1, Qt::DashLine));
    painter.setBrush(QColor(0x00, 0xc8, 0xff, 40));
    painter.drawRect(selection_);
}

}  // namespace m470::qt
