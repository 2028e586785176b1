// Writes the outlines of the keyboard picture's legends that the page's Latin
// font has no glyphs for (ろ, 無変換, 한/영 ...), as the fallback CJK font
// draws them, to standard output. Built and run by scripts/make-key-legends.
//
// One legend per line, tab-separated: the text; its natural width, the line's
// ascent and descent (all at a 100-pixel font); the outline with its baseline
// at y = 0, as M/L/C commands (move, line, cubic curve) with absolute points,
// then E: a line cut short is told from a whole one.
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QTextLayout>
#include <cstdio>

namespace {

constexpr int kEmPixels = 100;
const QStringList kFamilies{"DejaVu Sans", "Noto Sans CJK SC"};  // the skin's, in that order

QFont LegendFont() {
    QFont font;
    font.setFamilies(kFamilies);
    font.setPixelSize(kEmPixels);
    font.setLetterSpacing(QFont::PercentageSpacing, 85);  // as the window sets legends
    return font;
}

QString Number(qreal value) { return QString::number(value, 'f', 2); }

QString PathText(const QPainterPath& path) {
    QStringList parts;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) parts << "M" << Number(e.x) << Number(e.y);
        else if (e.isLineTo()) parts << "L" << Number(e.x) << Number(e.y);
        else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            parts << "C" << Number(e.x) << Number(e.y) << Number(c2.x) << Number(c2.y) << Number(end.x) << Number(end.y);
            i += 2;
        }
    }
    parts << "E";
    return parts.join(' ');
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-key-legends KEYBOARD_UI_FILE\n");
        return 2;
    }
    QFile ui(argv[1]);
    if (!ui.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString text = QString::fromUtf8(ui.readAll());
    const QRawFont latin = QRawFont::fromFont(QFont(kFamilies.front()));
    QSet<QString> seen;
    const QRegularExpression legend(R"(class="DeviceKeyButton".*?<property name="text"><string[^>]*>([^<]+)</string>)");
    for (const QRegularExpressionMatch& match : legend.globalMatch(text)) {
        const QString legendText = match.captured(1);
        if (seen.contains(legendText)) continue;
        seen.insert(legendText);
        bool latinCovers = true;
        for (const char32_t ch : legendText.toUcs4()) latinCovers = latinCovers && latin.supportsCharacter(ch);
        if (latinCovers) continue;
        QTextLayout layout(legendText, LegendFont());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        QPainterPath path;
        path.addText(QPointF(0, 0), LegendFont(), legendText);
        std::printf("%s\t%s %s %s\t%s\n", legendText.toUtf8().constData(), Number(line.naturalTextWidth()).toUtf8().constData(),
                    Number(line.ascent()).toUtf8().constData(), Number(line.descent()).toUtf8().constData(),
                    PathText(path).toUtf8().constData());
    }
    return 0;
}
