#include "qt/KeyLegendOutlines.h"

#include <QFile>
#include <QPainter>
#include <QStringList>

namespace m470::qt {
namespace {

// The points each command takes, and how they go into the path.
struct Command {
    QChar name;
    int points;
};
constexpr Command kCommands[] = {{'M', 1}, {'L', 1}, {'C', 3}};

bool ParsePath(const QString& text, QPainterPath& path) {
    const QStringList words = text.split(' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size();) {
        const Command* command = nullptr;
        for (const Command& known : kCommands)
            if (words[i].size() == 1 && words[i][0] == known.name) command = &known;
        if (command == nullptr || i + 1 + 2 * command->points > words.size()) return false;
        QPointF points[3];
        for (int p = 0; p < command->points; ++p) {
            bool xOk = false, yOk = false;
            points[p] = {words[i + 1 + 2 * p].toDouble(&xOk), words[i + 2 + 2 * p].toDouble(&yOk)};
            if (!xOk || !yOk) return false;
        }
        if (command->name == 'M') path.moveTo(points[0]);
        else if (path.elementCount() == 0) return false;  // a line or curve from nowhere
        else if (command->name == 'L') path.lineTo(points[0]);
        else path.cubicTo(points[0], points[1], points[2]);
        i += 1 + 2 * command->points;
    }
    return !path.isEmpty();
}

}  // namespace

KeyLegendOutlines KeyLegendOutlines::Parse(const QString& text) {
    KeyLegendOutlines table;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        if (fields.size() != 3 || fields[0].isEmpty()) continue;
        const QStringList metrics = fields[1].split(' ', Qt::SkipEmptyParts);
        if (metrics.size() != 3) continue;
        Outline outline;
        bool ok[3] = {};
        outline.width = metrics[0].toDouble(&ok[0]);
        outline.ascent = metrics[1].toDouble(&ok[1]);
        outline.descent = metrics[2].toDouble(&ok[2]);
        if (!ok[0] || !ok[1] || !ok[2] || !ParsePath(fields[2], outline.path)) continue;
        table.outlines_.insert(fields[0], std::move(outline));
    }
    return table;
}

const KeyLegendOutlines& KeyLegendOutlines::Shared() {
    static const KeyLegendOutlines table = [] {
        QFile file("skin:common/key-legends.txt");
        constexpr qint64 kMaxBytes = 1024 * 1024;  // a few KiB: anything larger is not ours
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes) return KeyLegendOutlines();
        return Parse(QString::fromUtf8(file.readAll()));
    }();
    return table;
}

const KeyLegendOutlines::Outline* KeyLegendOutlines::Find(const QString& legend) const {
    const auto found = outlines_.constFind(legend);
    return found == outlines_.cend() ? nullptr : &found.value();
}

void KeyLegendOutlines::Draw(QPainter& painter, const Outline& outline, const QRectF& box, qreal pixelSize) {
    const qreal scale = pixelSize / kEmPixels;
    // Where drawText(box, Qt::AlignCenter, ...) puts the line: centred by its
    // natural width and by its ascent and descent, the baseline after the ascent.
    const QPointF baseline(box.left() + (box.width() - outline.width * scale) / 2,
                           box.top() + (box.height() - (outline.ascent + outline.descent) * scale) / 2 + outline.ascent * scale);
    const QColor ink = painter.pen().color();  // the colour text would take
    painter.save();
    painter.translate(baseline);
    painter.scale(scale, scale);
    painter.fillPath(outline.path, ink);
    painter.restore();
}

}  // namespace m470::qt
