#include "qt/ElidingComboBox.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace m470::qt {

ElidingComboBox::ElidingComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString& text) { setToolTip(text); });
}

QString ElidingComboBox::ShownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, field.width());
}

void ElidingComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = ShownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace m470::qt
