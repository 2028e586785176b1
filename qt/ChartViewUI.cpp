#include "qt/ChartViewUI.h"

#include <QPainter>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <cmath>

namespace m470::qt {
namespace {

constexpr std::array<QRgb, 6> kItemColours{0xff00c8ff, 0xffff6b3d, 0xff7ed957, 0xffffc93c, 0xffb267ff, 0xffff5fa2};
constexpr int kBarTextHeight = 16;

}  // namespace

CChartViewUI::CChartViewUI(QWidget* parent) : QWidget(parent) {}

void CChartViewUI::AddItem(const QString& name, double value, QColor colour) {
    if (!colour.isValid()) colour = barColour_.isValid() ? barColour_ : QColor::fromRgba(kItemColours[items_.size() % kItemColours.size()]);
    items_.push_back({name, std::max(0.0, value), colour});
    update();
}

void CChartViewUI::ClearItems() {
    items_.clear();
    update();
}

void CChartViewUI::SetView(const QString& view) {
    view_ = view;
    update();
}

void CChartViewUI::SetShadowImage(const QString& path) {
    shadowPath_ = path;
    shadow_ = QPixmap(path);
    update();
}

void CChartViewUI::SetShadowImageHeight(int height) {
    shadowHeight_ = std::max(0, height);
    update();
}

void CChartViewUI::SetPillarImage(const QString& path) {
    pillarPath_ = path;
    pillar_ = QPixmap(path);
    update();
}

void CChartViewUI::SetPillarImageWidth(int width) {
    pillarWidth_ = std::max(1, width);
    update();
}

void CChartViewUI::SetShowHtml(bool show) {
    showHtml_ = show;
    update();
}

void CChartViewUI::SetShowText(bool show) {
    showText_ = show;
    update();
}

QString CChartViewUI::Label(const Item& item) const {
    const QString text = QString("%1 %2").arg(item.name).arg(item.value);
    if (!showHtml_) return text;
    QTextDocument document;
    document.setHtml(text);  // names may carry markup; drawn as plain text
    return document.toPlainText();
}

std::vector<QRect> CChartViewUI::BarRects() const {
    std::vector<QRect> bars;
    if (items_.empty()) return bars;
    double largest = 0;
    for (const Item& item : items_) largest = std::max(largest, item.value);
    const int floor = height() - shadowHeight_ - (showText_ ? kBarTextHeight : 0);
    const int slot = width() / static_cast<int>(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) {
        const int barHeight = largest > 0 ? static_cast<int>(std::lround(items_[i].value / largest * std::max(0, floor))) : 0;
        const int left = static_cast<int>(i) * slot + (slot - std::min(slot, pillarWidth_)) / 2;
        bars.emplace_back(left, floor - barHeight, std::min(slot, pillarWidth_), barHeight);
    }
    return bars;
}

void CChartViewUI::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (IsPie())
        PaintPie(painter);
    else
        PaintBars(painter);
}

void CChartViewUI::PaintPie(QPainter& painter) {
    double total = 0;
    for (const Item& item : items_) total += item.value;
    if (total <= 0) return;
    const int side = std::min(width(), height());
    QRectF area(0, 0, side, side);
    area.moveCenter(QRectF(rect()).center());
    int start = 90 * 16;  // twelve o'clock
    painter.setPen(Qt::NoPen);
    for (const Item& item : items_) {
        const int span = -static_cast<int>(std::lround(item.value / total * 360 * 16));
        painter.setBrush(item.colour);
        painter.drawPie(area, start, span);
        if (showText_) {
            const double middle = (start + span / 2.0) / 16.0 * M_PI / 180.0;
            const QPointF at = area.center() + QPointF(std::cos(middle), -std::sin(middle)) * side / 3.0;
            painter.setPen(Qt::black);
            painter.drawText(QRectF(at - QPointF(40, 8), QSizeF(80, 16)), Qt::AlignCenter, Label(item));
            painter.setPen(Qt::NoPen);
        }
        start += span;
    }
}

void CChartViewUI::PaintBars(QPainter& painter) {
    if (!shadow_.isNull() && shadowHeight_ > 0) painter.drawPixmap(QRect(0, height() - shadowHeight_, width(), shadowHeight_), shadow_);
    const std::vector<QRect> bars = BarRects();
    for (size_t i = 0; i < bars.size(); ++i) {
        if (!pillar_.isNull())
            painter.drawPixmap(bars[i], pillar_);
        else
            painter.fillRect(bars[i], items_[i].colour);
        if (showText_) {
            painter.setPen(Qt::black);
            painter.drawText(QRect(bars[i].left() - 20, bars[i].bottom() + 1, bars[i].width() + 40, kBarTextHeight),
                             Qt::AlignCenter, Label(items_[i]));
        }
    }
}

}  // namespace m470::qt
