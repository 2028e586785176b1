#include "qt/WndUI.h"

#include <QEvent>

namespace m470::qt {

CWndUI::CWndUI(QWidget* parent) : QWidget(parent) {}

void CWndUI::SetWindow(QWidget* window) {
    window_ = window;
    if (window_) window_->setAttribute(Qt::WA_ShowWithoutActivating);
    Follow();
}

QRect CWndUI::TargetGeometry() const {
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    if (!window_ || window_->isWindow() || window_->parentWidget() == nullptr) return {origin, size()};
    return {window_->parentWidget()->mapFromGlobal(origin), size()};
}

void CWndUI::Follow() {
    if (!window_) return;
    window_->setGeometry(TargetGeometry());
    window_->setVisible(isVisible());
}

void CWndUI::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (watched_ != window()) {
        if (watched_) watched_->removeEventFilter(this);
        watched_ = window();
        watched_->installEventFilter(this);
    }
    Follow();
}

bool CWndUI::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watched_ && event->type() == QEvent::Move && isVisible()) Follow();
    return QWidget::eventFilter(watched, event);
}

void CWndUI::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Follow();
}

void CWndUI::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    Follow();
}

void CWndUI::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Follow();
}

}  // namespace m470::qt
