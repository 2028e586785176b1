#pragma once
// The device picture area: a rubber band marks the key buttons it touches
// and reports the end of the selection once.
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace m470::qt {

class SelectPanel : public QWidget {
    Q_OBJECT

public:
    explicit SelectPanel(QWidget* parent = nullptr);
    QRect Selection() const { return selection_; }

signals:
    void selectionEnded();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint anchor_;
    QRect selection_;
    bool armed_ = false;
    bool dragged_ = false;
};

}  // namespace m470::qt
