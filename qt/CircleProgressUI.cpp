#include "qt/CircleProgressUI.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace m470::qt {

CCircleProgressUI::CCircleProgressUI(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setRange(0, 100);
    setValue(0);
}

double CCircleProgressUI::SweepDegrees(int value, int minimum, int maximum) {
    if (maximum <= minimum) return 0.0;
    const double share = (static_cast<double>(value) - minimum) / (static_cast<double>(maximum) - minimum);
    return std::clamp(share, 0.0, 1.0) * 360.0;
}

void CCircleProgressUI::SetBackgroundName(const QString& name) {
    const QColor colour(name);
    if (colour.isValid()) background_ = colour;
    update();
}

void CCircleProgressUI::SetForegroundName(const QString& name) {
    const QColor colour(name);
    if (colour.isValid()) foreground_ = colour;
    update();
}

void CCircleProgressUI::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(background_);
    painter.drawEllipse(area);
    const double sweep = SweepDegrees(value(), minimum(), maximum());
    if (sweep > 0.0) {
        // Angles count anticlockwise from three o'clock in sixteenths of a degree:
        // -90 is six o'clock, a negative span runs clockwise.
        painter.setBrush(foreground_);
        painter.drawPie(area, -90 * 16, -static_cast<int>(std::lround(sweep * 16)));
    }
    painter.setBrush(Qt::white);
    painter.drawEllipse(area.adjusted(kRingWidth, kRingWidth, -kRingWidth, -kRingWidth));
}

}  // namespace m470::qt
