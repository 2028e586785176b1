#pragma once
// A placeholder that keeps another window over its rectangle: whenever the
// control is shown, hidden, moved or resized, the window follows it (in
// screen coordinates for a top-level window, else in its parent's), without
// being activated or raised. A top-level window also follows the moves of
// the control's own window.
#include <QPointer>
#include <QWidget>

namespace m470::qt {

class CWndUI : public QWidget {
    Q_OBJECT

public:
    explicit CWndUI(QWidget* parent = nullptr);
    void SetWindow(QWidget* window);
    QWidget* Window() const { return window_; }
    // Where the window belongs now (in its own coordinate system).
    QRect TargetGeometry() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Follow();

    QPointer<QWidget> window_;
    QPointer<QWidget> watched_;
};

}  // namespace m470::qt
