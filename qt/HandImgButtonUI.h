#pragma once
// List buttons with a delete corner: a 20 × 20 square (scaled with the
// screen's DPI) whose top is 29 and whose left is 30 scaled pixels in from
// the bottom-right corner. A release inside it is a delete, not a click;
// over it the hot delete picture shows. The select variant is checkable and
// takes its cursor from a layout name ("hand", "ibeam", ...).
#include <QPixmap>
#include <QPushButton>

namespace m470::qt {

class CHandImgButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString handimage READ HandImage WRITE SetHandImage)
    Q_PROPERTY(QString deletenormalimage READ DeleteNormalImage WRITE SetDeleteNormalImage)
    Q_PROPERTY(QString deletehotimage READ DeleteHotImage WRITE SetDeleteHotImage)

public:
    explicit CHandImgButtonUI(QWidget* parent = nullptr);

    QString HandImage() const { return handPath_; }
    void SetHandImage(const QString& path);
    QString DeleteNormalImage() const { return deleteNormalPath_; }
    void SetDeleteNormalImage(const QString& path);
    QString DeleteHotImage() const { return deleteHotPath_; }
    void SetDeleteHotImage(const QString& path);

    QRect DeleteCorner() const;
    bool DeleteHot() const { return deleteHot_; }

signals:
    void deleteClicked();
    void entered();
    void left();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // Drawn over the hand picture, under the delete corner.
    virtual void PaintState(QPainter& painter);

private:
    void SetDeleteHot(bool hot);

    QString handPath_, deleteNormalPath_, deleteHotPath_;
    QPixmap hand_, deleteNormal_, deleteHotImage_;
    bool deleteHot_ = false;
};

class CHandImgSelectButtonUI : public CHandImgButtonUI {
    Q_OBJECT
    // Shadows the widget's own cursor: layouts give a name.
    Q_PROPERTY(QString cursor READ CursorName WRITE SetCursorName)

public:
    explicit CHandImgSelectButtonUI(QWidget* parent = nullptr);
    QString CursorName() const { return cursorName_; }
    void SetCursorName(const QString& name);

protected:
    void PaintState(QPainter& painter) override;

private:
    QString cursorName_;
};

}  // namespace m470::qt
