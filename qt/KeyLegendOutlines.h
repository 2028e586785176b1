#pragma once
// Keycap legends drawn from outlines shipped with the skin
// (skin/common/key-legends.txt, written by scripts/make-key-legends): the
// keyboard's international keys (ろ, 無変換, 한/영 ...) need glyphs that the
// page's Latin font lacks, and drawing them as text would load the CJK font,
// a few MiB resident, into every English window that shows the keyboard.
#include <QHash>
#include <QPainterPath>
#include <QString>

class QFont;
class QPaintDevice;
class QPainter;

namespace m470::qt {

class KeyLegendOutlines {
public:
    struct Outline {
        QPainterPath path;  // baseline at y = 0, at a font of kEmPixels
        qreal width = 0;    // the text's natural width
        qreal ascent = 0, descent = 0;  // the line's
    };
    static constexpr qreal kEmPixels = 100;
    // The pixel size text of font takes on device: Qt rounds a point size to
    // whole pixels when it loads the font.
    static qreal PixelSizeOf(const QFont& font, const QPaintDevice& device);

    // The skin's table, read once found (on the UI thread, which draws the
    // legends); empty while the file is missing, or when it is bad.
    static const KeyLegendOutlines& Shared();
    // One legend per line: text TAB width ascent descent TAB M/L/C commands
    // and E. A line that does not read whole is skipped (its legend is then
    // drawn as text).
    static KeyLegendOutlines Parse(const QString& text);

    const Outline* Find(const QString& legend) const;
    int Size() const { return static_cast<int>(outlines_.size()); }
    // Fills the legend centred in box as text at pixelSize would stand there,
    // its baseline on the device's pixel grid
    // (Qt::AlignCenter), in the painter's pen colour, as text.
    static void Draw(QPainter& painter, const Outline& outline, const QRectF& box, qreal pixelSize);

private:
    QHash<QString, Outline> outlines_;
};

}  // namespace m470::qt
