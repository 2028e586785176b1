#include "qt/AudioRecordUI.h"

#include <QPainter>
#include <algorithm>

namespace m470::qt {

// It starts with a ramp of 0-255 in its first places.
CAudioRecordUI::CAudioRecordUI(QWidget* parent) : QLabel(parent) {
    for (int i = 0; i < 256; ++i) values_[static_cast<size_t>(i)] = i;
}

void CAudioRecordUI::SetValues(const std::vector<int>& values) {
    values_.fill(0);
    std::copy_n(values.begin(), std::min(values.size(), values_.size()), values_.begin());
    update();
}

int CAudioRecordUI::BarHeight(int value, int height) {
    const long long bar = static_cast<long long>(value) * height / kFullScale;
    return static_cast<int>(std::clamp<long long>(bar, 0, height));
}

void CAudioRecordUI::SetBackgroundName(const QString& name) {
    const QColor colour(name);
    if (colour.isValid()) background_ = colour;
    update();
}

void CAudioRecordUI::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    for (int i = 0; i < kValueCount && 2 * i < width(); ++i) {
        const int bar = BarHeight(values_[static_cast<size_t>(i)], height());
        if (bar > 0) painter.fillRect(2 * i, height() - bar, 1, bar, Qt::black);
    }
}

}  // namespace m470::qt
