#pragma once
// A colour field to pick from: hue across, from full colour at the top to
// white at the bottom. The picked colour is the control's background colour
// property, as the panels read it.
#include <QColor>
#include <QImage>
#include <QWidget>

namespace m470::qt {

class ColorPalette : public QWidget {
    Q_OBJECT

public:
    explicit ColorPalette(QWidget* parent = nullptr);
    // Marks a colour without notifying.
    void SetColour(QRgb argb);
    QRgb Colour() const { return colour_; }

signals:
    void colourPicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor ColourAt(QPoint point) const;
    void PickAt(QPoint point);
    const QImage& Field();

    QImage field_;
    QRgb colour_ = 0xFF000000u;
    QPoint marker_{-1, -1};
    bool dragging_ = false;
};

}  // namespace m470::qt
