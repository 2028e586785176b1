#include "qt/HandImgButtonUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "qt/CursorNames.h"

namespace m470::qt {
namespace {

constexpr int kCornerSize = 20;
constexpr int kCornerFromRight = 30;
constexpr int kCornerFromBottom = 29;

int Scaled(const QWidget* widget, int pixels) { return static_cast<int>(std::lround(pixels * widget->logicalDpiX() / 96.0)); }

}  // namespace

CHandImgButtonUI::CHandImgButtonUI(QWidget* parent) : QPushButton(parent) { setMouseTracking(true); }

void CHandImgButtonUI::SetHandImage(const QString& path) {
    handPath_ = path;
    hand_ = QPixmap(path);
    update();
}

void CHandImgButtonUI::SetDeleteNormalImage(const QString& path) {
    deleteNormalPath_ = path;
    deleteNormal_ = QPixmap(path);
    update();
}

void CHandImgButtonUI::SetDeleteHotImage(const QString& path) {
    deleteHotPath_ = path;
    deleteHotImage_ = QPixmap(path);
    update();
}

QRect CHandImgButtonUI::DeleteCorner() const {
    return {width() - Scaled(this, kCornerFromRight), height() - Scaled(this, kCornerFromBottom), Scaled(this, kCornerSize),
            Scaled(this, kCornerSize)};
}

void CHandImgButtonUI::SetDeleteHot(bool hot) {
    if (hot == deleteHot_) return;
    deleteHot_ = hot;
    update(DeleteCorner());
}

void CHandImgButtonUI::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    if (!hand_.isNull()) {
        QRect target(QPoint(0, 0), hand_.size().scaled(size(), Qt::KeepAspectRatio).boundedTo(hand_.size()));
        target.moveCenter(rect().center());
        painter.drawPixmap(target, hand_);
    }
    PaintState(painter);
    const QPixmap& corner = deleteHot_ && !deleteHotImage_.isNull() ? deleteHotImage_ : deleteNormal_;
    if (!corner.isNull()) painter.drawPixmap(DeleteCorner(), corner);
}

void CHandImgButtonUI::PaintState(QPainter&) {}

void CHandImgButtonUI::mouseMoveEvent(QMouseEvent* event) {
    SetDeleteHot(DeleteCorner().contains(event->position().toPoint()));
    QPushButton::mouseMoveEvent(event);
}

void CHandImgButtonUI::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isDown() && DeleteCorner().contains(event->position().toPoint())) {
        setDown(false);
        event->accept();
        emit deleteClicked();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
}

void CHandImgButtonUI::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    emit entered();
}

void CHandImgButtonUI::leaveEvent(QEvent* event) {
    SetDeleteHot(false);
    QPushButton::leaveEvent(event);
    emit left();
}

CHandImgSelectButtonUI::CHandImgSelectButtonUI(QWidget* parent) : CHandImgButtonUI(parent) { setCheckable(true); }

void CHandImgSelectButtonUI::SetCursorName(const QString& name) {
    cursorName_ = name;
    setCursor(CursorShapeOf(name));
}

// The chosen row carries a frame in the accent colour.
void CHandImgSelectButtonUI::PaintState(QPainter& painter) {
    if (!isChecked()) return;
    painter.setPen(QPen(QColor(0x00, 0xc8, 0xff), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

}  // namespace m470::qt
