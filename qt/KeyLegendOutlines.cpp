#include "qt/KeyLegendOutlines.h"

#include <QFile>
#include <QFont>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QStringList>

#include <cmath>

namespace m470::qt {
namespace {

// The points each command takes, and how they go into the path.
struct Command {
    QChar name;
    int points;
};
constexpr Command kCommands[] = {{'M', 1}, {'L', 1}, {'C', 3}};

// The outline's edge, in device pixels: with it the legends' ink is within a
// few per cent of the same text's, at 9 pt and larger.
constexpr qreal kEdgeDevicePixels = 0.45;

// Far beyond any glyph at a 100-pixel font: a point past it is not an outline of ours.
constexpr double kMaxCoordinate = 1000;

bool ReadNumber(const QString& word, double& value) {
    bool ok = false;
    value = word.toDouble(&ok);
    return ok && std::isfinite(value) && std::abs(value) <= kMaxCoordinate;
}

// The commands, then E: without it the line was cut short and is not used.
bool ParsePath(const QString& text, QPainterPath& path) {
    QStringList words = text.split(' ', Qt::SkipEmptyParts);
    if (words.isEmpty() || words.takeLast() != "E") return false;
    for (qsizetype i = 0; i < words.size();) {
        const Command* command = nullptr;
        for (const Command& known : kCommands)
            if (words[i].size() == 1 && words[i][0] == known.name) command = &known;
        if (command == nullptr || i + 1 + 2 * command->points > words.size()) return false;
        QPointF points[3];
        for (int p = 0; p < command->points; ++p) {
            double x = 0, y = 0;
            if (!ReadNumber(words[i + 1 + 2 * p], x) || !ReadNumber(words[i + 2 + 2 * p], y)) return false;
            points[p] = {x, y};
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
        if (!ReadNumber(metrics[0], outline.width) || !ReadNumber(metrics[1], outline.ascent) ||
            !ReadNumber(metrics[2], outline.descent) || !ParsePath(fields[2], outline.path))
            continue;
        table.outlines_.insert(fields[0], std::move(outline));
    }
    return table;
}

const KeyLegendOutlines& KeyLegendOutlines::Shared() {
    static KeyLegendOutlines table;
    static bool read = false;
    // Until the file is found it is looked for again: the skin's folder is
    // made known when the window starts (a legend is drawn once per size).
    if (!read) {
        QFile file("skin:common/key-legends.txt");
        constexpr qint64 kMaxBytes = 1024 * 1024;  // a few KiB: anything larger is not ours
        if (file.open(QIODevice::ReadOnly)) {
            read = true;
            if (file.size() <= kMaxBytes) table = Parse(QString::fromUtf8(file.readAll()));
        }
    }
    return table;
}

const KeyLegendOutlines::Outline* KeyLegendOutlines::Find(const QString& legend) const {
    const auto found = outlines_.constFind(legend);
    return found == outlines_.cend() ? nullptr : &found.value();
}

qreal KeyLegendOutlines::PixelSizeOf(const QFont& font, const QPaintDevice& device) {
    if (font.pixelSize() > 0) return font.pixelSize();
    // As Qt turns a point size into the pixel size it asks the font for.
    const qreal pixels = std::floor(font.pointSizeF() * device.logicalDpiY() / 72.0 * 100 + 0.5) / 100;
    return qRound(pixels);
}

void KeyLegendOutlines::Draw(QPainter& painter, const Outline& outline, const QRectF& box, qreal pixelSize) {
    const qreal scale = pixelSize / kEmPixels;
    // Where drawText(box, Qt::AlignCenter, ...) puts the line: centred by its
    // natural width and by its ascent and descent, the baseline after the ascent.
    // On the device's pixel grid, as the font's glyphs are placed.
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const auto onGrid = [ratio](qreal at) { return std::round(at * ratio) / ratio; };
    const QPointF baseline(onGrid(box.left() + (box.width() - outline.width * scale) / 2),
                           onGrid(box.top() + (box.height() - (outline.ascent + outline.descent) * scale) / 2 +
                                  outline.ascent * scale));
    const QColor ink = painter.pen().color();  // the colour text would take
    painter.save();
    painter.translate(baseline);
    painter.scale(scale, scale);
    painter.fillPath(outline.path, ink);
    // The font's rasteriser sets text a little heavier than the bare outline
    // fills (hinting, and its gamma on the edges): the outline's edge is drawn
    // a little wider so the legend weighs what its neighbours in text weigh.
    painter.strokePath(outline.path, QPen(ink, kEdgeDevicePixels / (scale * ratio)));
    painter.restore();
}

}  // namespace m470::qt
