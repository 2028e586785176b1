#include "qt/RedioMacroButtonUI.h"

#include <QPainter>
#include <algorithm>

namespace m470::qt {

CRedioMacroButtonUI::Fade CRedioMacroButtonUI::NextFade(Fade fade) {
    if (fade.falling) {
        fade.value -= kFadeStep;
        if (fade.value <= kFadeLow) fade = {kFadeLow, false};
    } else {
        fade.value += kFadeStep;
        if (fade.value >= kFadeHigh) fade = {kFadeHigh, true};
    }
    return fade;
}

CRedioMacroButtonUI::CRedioMacroButtonUI(QWidget* parent) : QPushButton(parent) {
    timer_.setInterval(kBlinkMs);
    connect(&timer_, &QTimer::timeout, this, &CRedioMacroButtonUI::Tick);
}

void CRedioMacroButtonUI::SetRedioImage(const QString& path) {
    imagePath_ = path;
    image_ = QPixmap(path);
    update();
}

void CRedioMacroButtonUI::SetBlinking(bool blinking) {
    if (blinking == Blinking()) return;
    fade_ = Fade{};
    if (blinking)
        timer_.start();
    else
        timer_.stop();
    update();
}

QString CRedioMacroButtonUI::ImageDescription() const {
    return QString("res='%1' fade='%2'").arg(imagePath_).arg(fade_.value);
}

void CRedioMacroButtonUI::Tick() {
    fade_ = NextFade(fade_);
    update();
}

void CRedioMacroButtonUI::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setOpacity(fade_.value / 255.0);
    const QSize size = image_.size().scaled(rect().size(), Qt::KeepAspectRatio).boundedTo(image_.size());
    QRect target(QPoint(0, 0), size);
    target.moveCenter(rect().center());
    painter.drawPixmap(target, image_);
}

}  // namespace m470::qt
