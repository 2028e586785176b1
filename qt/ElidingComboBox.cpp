#include "qt/ElidingComboBox.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QEvent>
#include <QListView>
#include <QPainterPath>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace m470::qt {

ElidingComboBox::ElidingComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString& text) { setToolTip(text); });
}

bool ElidingComboBox::PopupMade() const { return findChild<QAbstractItemView*>() != nullptr; }

// QComboBox answers a new style or font by refreshing its popup, and asking
// for the popup builds it: a window, a list, its viewport, two scrollers and
// two scroll bars, each styled by the sheet, for every box of every page,
// though most lists are never opened. Before the box is first shown nothing of
// the popup needs refreshing (it takes the box's style and font when it is
// made, at its first opening) and the box's size is worked out afresh at that
// show; after it, QComboBox refreshes as usual.
void ElidingComboBox::changeEvent(QEvent* event) {
    const bool styleOrFont = event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange;
    if (styleOrFont && !shown_ && !isEditable() && sizeAdjustPolicy() == AdjustToContentsOnFirstShow && !PopupMade()) {
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

void ElidingComboBox::showPopup() {
    auto* list = qobject_cast<QListView*>(view());  // made here the first time
    for (int row = 0; list != nullptr && row < count(); ++row) list->setRowHidden(row, itemData(row, kHiddenRole).toBool());
    QComboBox::showPopup();
}

void ElidingComboBox::showEvent(QShowEvent* event) {
    shown_ = true;
    QComboBox::showEvent(event);
}

QString ElidingComboBox::ShownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, field.width());
}

// The drop-down arrow is drawn here, not by the style. Under the window's
// style sheet the base style is handed a palette copied afresh for every
// paint, and it caches its arrow picture under that copy's key: each paint
// left one more picture in the application's pixmap cache, which filled to
// its 10 MiB limit, and the heap kept growing after that, so a window
// showing its pages for days kept growing.
void ElidingComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect arrowArea = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    option.subControls &= ~QStyle::SC_ComboBoxArrow;
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    DrawArrow(painter, arrowArea, option);
    option.currentText = ShownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

// A small downward triangle in the text colour, a little faded, centred in the
// arrow's area; 8 by 4 pixels at 96 dpi.
void ElidingComboBox::DrawArrow(QPainter& painter, const QRect& area, const QStyleOptionComboBox& option) const {
    if (area.isEmpty()) return;
    const qreal scale = logicalDpiX() / 96.0;
    const qreal width = std::min<qreal>(8 * scale, std::min(area.width(), area.height()));
    const qreal height = width / 2;
    const QPointF centre = QRectF(area).center();
    QPainterPath triangle;
    triangle.moveTo(centre.x() - width / 2, centre.y() - height / 2);
    triangle.lineTo(centre.x() + width / 2, centre.y() - height / 2);
    triangle.lineTo(centre.x(), centre.y() + height / 2);
    triangle.closeSubpath();
    const bool enabled = option.state & QStyle::State_Enabled;
    QColor colour = option.palette.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    colour.setAlpha(160);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.fillPath(triangle, colour);
    painter.restore();
}

}  // namespace m470::qt
