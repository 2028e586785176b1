#include "qt/DeviceKeyButton.h"

#include <algorithm>
#include <cstring>

#include <QMouseEvent>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QPainterPath>
#include <list>
#include <unordered_map>
#include <vector>

#include "qt/KeyLegendOutlines.h"
#include "qt/SelectPanel.h"

namespace m470::qt {
namespace {

enum CapState { kCapNormal, kCapHover, kCapDown };
int gImagesRendered = 0;
int gLegendsRendered = 0;

// Cap-and-light images by look: shown colour, size, cap state, frame and
// light image. A breathing LED reuses its levels; an effect that keeps
// changing colour brings new looks all the time, so the cache holds at most
// kMaxCachedImageBytes and lets the least recently drawn look go first (a
// count of 4,096 let it reach some 20 MB of key images). The look let go is
// drawn over for the new one when its size fits: a new colour then costs no
// allocation, and its image keeps the paint engine it already has.
class LookCache {
public:
    const QImage* Find(uint64_t key) {
        const auto found = entries_.find(key);
        if (found == entries_.end()) return nullptr;
        order_.splice(order_.begin(), order_, found->second.use);
        return &found->second.image;
    }
    // render(image) draws the look into image, whose pixels and pixel ratio
    // are those of a look let go when one fits, else image is null.
    template <typename Render>
    const QImage& Add(uint64_t key, QSize pixels, Render&& render) {
        const size_t bytes = BytesOf(pixels);
        Map::node_type recycled;
        if (bytes_ + bytes > DeviceKeyButton::kMaxCachedImageBytes) recycled = LetGoOfSize(pixels);
        while (!entries_.empty() && bytes_ + bytes > DeviceKeyButton::kMaxCachedImageBytes) {
            entries_.erase(order_.back().key);
            bytes_ -= BytesOf(order_.back().pixels);
            order_.pop_back();
        }
        if (!recycled) {
            order_.push_front({key, pixels});
            Entry entry{QImage(), order_.begin()};
            render(entry.image);
            bytes_ += bytes;
            return entries_.emplace(key, std::move(entry)).first->second.image;
        }
        recycled.mapped().use->key = key;
        recycled.key() = key;
        render(recycled.mapped().image);
        bytes_ += bytes;
        return entries_.insert(std::move(recycled)).position->second.image;
    }
    size_t Bytes() const { return bytes_; }

private:
    struct Use {
        uint64_t key;
        QSize pixels;
    };
    struct Entry {
        QImage image;
        std::list<Use>::iterator use;
    };
    using Map = std::unordered_map<uint64_t, Entry>;
    // The least recently drawn look of that size among the oldest few, taken
    // out with its place moved to the front: a keyboard has keys of a dozen
    // sizes, so the very oldest look seldom fits.
    static constexpr int kRecycleReach = 32;
    Map::node_type LetGoOfSize(QSize pixels) {
        auto use = order_.end();
        for (int reach = 0; use != order_.begin() && reach < kRecycleReach; ++reach) {
            if ((--use)->pixels != pixels) continue;
            bytes_ -= BytesOf(pixels);
            order_.splice(order_.begin(), order_, use);
            return entries_.extract(use->key);
        }
        return {};
    }
    // The pixels and what a painted image keeps beside them (its paint engine).
    static size_t BytesOf(QSize pixels) {
        return static_cast<size_t>(pixels.width()) * static_cast<size_t>(pixels.height()) * 4u + 8192u;
    }
    Map entries_;
    std::list<Use> order_;  // most recently drawn first
    size_t bytes_ = 0;
};
LookCache& ImageCache() {
    static LookCache cache;
    return cache;
}
// The pixel ratio is part of the look: after a scale change an image of the
// old ratio would be drawn at the wrong size.
uint64_t LookKey(QRgb shown, QSize size, int capState, int frame, bool on, qint64 lightImage, qreal ratio) {
    uint64_t key = (static_cast<uint64_t>(shown) & 0xFFFFFF) | (static_cast<uint64_t>(size.width() & 0xFFF) << 24) |
                   (static_cast<uint64_t>(size.height() & 0xFFF) << 36) | (static_cast<uint64_t>(capState) << 48) |
                   (static_cast<uint64_t>(frame) << 50) | (static_cast<uint64_t>(on) << 52);
    return key ^ (static_cast<uint64_t>(lightImage) << 53) ^ (static_cast<uint64_t>(qRound(ratio * 16) & 0x7F) << 57);
}
enum Frame { kFrameNormal, kFrameChecked, kFrameMarked };

// The glow's shape: the centre colour inside, the key's colour at 0.7 of the
// radius, fading to a quarter of it at the edge.
void DrawGlow(QPainter& painter, const QRectF& area, const QColor& centre, const QColor& colour) {
    QRadialGradient glow(area.center(), area.width() / 2);
    glow.setColorAt(0.0, centre);
    glow.setColorAt(0.7, colour);
    QColor edge = colour;
    edge.setAlpha(60);
    glow.setColorAt(1.0, edge);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawRoundedRect(area.adjusted(3, 3, -3, -3), 4, 4);
}

// The pixels of image (premultiplied) that are not wholly transparent: the rectangle around them.
QRect InkBounds(const QImage& image) {
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Qt blends a gradient's stops premultiplied, so each pixel of the glow is
// (centre × a + colour × b) for two weights that depend on the place alone.
// Drawn once per size in pure red (centre) and pure green (colour), the
// glow's red and green are those weights and its alpha their sum: a new
// colour then costs one pass of integer arithmetic over the key, not a
// painter and a gradient (an effect brings new colours every frame).
class GlowWeights {
public:
    struct Weights {
        QSize size;
        qreal ratio;
        QImage image;
        QRect covered;  // the pixels the glow touches at all
    };
    const Weights& Of(QSize size, qreal ratio) {
        for (const Weights& weights : sizes_)
            if (weights.size == size && weights.ratio == ratio) return weights;
        // A keyboard has keys of a dozen sizes; a scale change brings new ones.
        if (sizes_.size() >= kMaxSizes) sizes_.clear();
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        DrawGlow(painter, QRectF(QRect(QPoint(0, 0), size)).adjusted(1.5, 1.5, -1.5, -1.5), QColor(255, 0, 0),
                 QColor(0, 255, 0));
        painter.end();
        const QRect covered = InkBounds(image);
        sizes_.push_back({size, ratio, std::move(image), covered});
        return sizes_.back();
    }

private:
    static constexpr size_t kMaxSizes = 64;
    std::vector<Weights> sizes_;
};
GlowWeights& ImageGlowWeights() {
    static GlowWeights weights;
    return weights;
}

// Two channels at once, 8 bits apart in 16-bit lanes: (x × w + y × v + z × u) / 255
// rounded, for weights that add up to 255 at most.
inline uint32_t MixLanes(uint32_t x, uint32_t w, uint32_t y, uint32_t v, uint32_t z, uint32_t u) {
    uint32_t sum = x * w + y * v + z * u + 0x00800080u;
    return ((sum + ((sum >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// into = the glow of centre and colour over cap (all premultiplied, of one size).
void BlendGlow(QImage& into, const QImage& cap, const GlowWeights::Weights& weights, QRgb centre, QRgb colour) {
    std::memcpy(into.bits(), cap.constBits(), static_cast<size_t>(into.sizeInBytes()));
    const QRect covered = weights.covered.intersected(into.rect());
    const uint32_t centreRB = centre & 0x00FF00FFu, centreAG = centre >> 8 & 0x00FF00FFu;
    const uint32_t colourRB = colour & 0x00FF00FFu, colourAG = colour >> 8 & 0x00FF00FFu;
    const qsizetype intoStride = into.bytesPerLine(), weightStride = weights.image.bytesPerLine();
    uchar* intoRow = into.bits() + covered.top() * intoStride;
    const uchar* weightRow = weights.image.constBits() + covered.top() * weightStride;
    for (int y = covered.top(); y <= covered.bottom(); ++y, intoRow += intoStride, weightRow += weightStride) {
        auto* out = reinterpret_cast<QRgb*>(intoRow);
        const auto* weight = reinterpret_cast<const QRgb*>(weightRow);
        for (int x = covered.left(); x <= covered.right(); ++x) {
            const uint32_t a = qRed(weight[x]), b = qGreen(weight[x]);
            const uint32_t rest = 255 - std::min<uint32_t>(255, std::max<uint32_t>(qAlpha(weight[x]), a + b));
            const QRgb under = out[x];
            out[x] = MixLanes(centreRB, a, colourRB, b, under & 0x00FF00FFu, rest) |
                     MixLanes(centreAG, a, colourAG, b, under >> 8 & 0x00FF00FFu, rest) << 8;
        }
    }
}

QColor CapColour(int state) {
    if (state == kCapDown) return {0x3a, 0x40, 0x4c};
    if (state == kCapHover) return {0x30, 0x35, 0x3f};
    return {0x24, 0x28, 0x30};
}

}  // namespace

DeviceKeyButton::DeviceKeyButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setUpdatesEnabled(!PaintedByPanel());
    // A check from the program comes with no event of the button's own.
    connect(this, &QAbstractButton::toggled, this, [this] { Repaint(); });
}

void DeviceKeyButton::Repaint() {
    if (auto* panel = qobject_cast<SelectPanel*>(parentWidget())) panel->RepaintPlace(geometry());
    else update();
}

int DeviceKeyButton::CapLook() const { return (isDown() ? 1 : 0) | (underMouse() ? 2 : 0) | (isChecked() ? 4 : 0); }

// Qt does not repaint a button whose updates are off, so what changes its
// look or place is sent to the panel from here.
bool DeviceKeyButton::event(QEvent* event) {
    if (event->type() == QEvent::DeferredDelete) return QAbstractButton::event(event);  // gone after it
    // The panel paints the whole key from its own images and its own font:
    // nothing of the style sheet is used, and its rules cost several KiB per
    // widget (a keyboard picture has some 140 keys). A later style sheet (a
    // language switch) still styles the key: Qt polishes it directly then.
    if (event->type() == QEvent::Polish && PaintedByPanel()) {
        setAttribute(Qt::WA_WState_Polished);  // as Qt marks a polished widget
        return true;
    }
    const int look = CapLook();
    const QRect before = geometry();
    const bool handled = QAbstractButton::event(event);
    switch (event->type()) {
        case QEvent::ParentChange: setUpdatesEnabled(!PaintedByPanel()); break;
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
        // Qt marks the button under the mouse before the event arrives, so
        // the look compared below would not change.
        case QEvent::Enter:
        case QEvent::Leave: Repaint(); break;
        case QEvent::Move:
        case QEvent::Resize:
            if (auto* panel = qobject_cast<SelectPanel*>(parentWidget())) {
                const QPoint oldPlace = event->type() == QEvent::Move ? static_cast<QMoveEvent*>(event)->oldPos() : before.topLeft();
                const QSize oldSize = event->type() == QEvent::Resize ? static_cast<QResizeEvent*>(event)->oldSize() : before.size();
                panel->RepaintPlace(QRect(oldPlace, oldSize));
                panel->RepaintPlace(geometry());
            }
            break;
        default:
            if (CapLook() != look) Repaint();
    }
    return handled;
}

void DeviceKeyButton::SetLight(uint32_t colour, uint8_t level, bool on) {
    if (colour == lightColour_ && level == lightLevel_ && on == lightOn_) return;
    const uint32_t before = Shown(lightColour_, lightLevel_);
    const bool wasOn = lightOn_;
    lightColour_ = colour;
    lightLevel_ = level;
    lightOn_ = on;
    // Colour and level can change while the colour drawn stays the same.
    if (wasOn != on || (on && before != Shown(colour, level))) Repaint();
}

void DeviceKeyButton::SetMarked(bool marked) {
    if (marked == marked_) return;
    marked_ = marked;
    Repaint();
}

void DeviceKeyButton::SetLegend(const QString& legend) {
    if (legend == text()) return;
    setText(legend);
    hasLegend_ = !legend.isEmpty();
    ForgetLegends();
    Repaint();
}

uint32_t DeviceKeyButton::Shown(uint32_t colour, uint8_t level) {
    const auto channel = [&](int shift) { return (((colour >> shift) & 0xFF) * level >> 8) << shift; };
    return channel(0) | channel(8) | channel(16);
}

QColor DeviceKeyButton::ShownColour() const {
    const uint32_t shown = Shown(lightColour_, lightLevel_);
    return QColor(static_cast<int>(shown & 0xFF), static_cast<int>(shown >> 8 & 0xFF), static_cast<int>(shown >> 16));
}

void DeviceKeyButton::SetKeySetHidden(bool hidden) {
    if (hidden == keySetHidden_) return;
    keySetHidden_ = hidden;
    Repaint();
}

void DeviceKeyButton::SetKeyUnsetHidden(bool hidden) {
    if (hidden == keyUnsetHidden_) return;
    keyUnsetHidden_ = hidden;
    Repaint();
}

void DeviceKeyButton::SetLightImage(const QString& path) {
    lightImage_ = path;
    light_ = QPixmap(path);
    lightImageKey_ = light_.cacheKey();
    Repaint();
}

void DeviceKeyButton::SetKeySetImage(const QString& path) {
    keySetImage_ = path;
    keySet_ = QPixmap(path);
    Repaint();
}

void DeviceKeyButton::SetKeyUnsetImage(const QString& path) {
    keyUnsetImage_ = path;
    keyUnset_ = QPixmap(path);
    Repaint();
}

bool DeviceKeyButton::PaintedByPanel() const { return qobject_cast<const SelectPanel*>(parentWidget()) != nullptr; }

// The cap alone (no light) is a look of its own, so a new colour draws only
// its light over a copy of the cached cap: the same pixels as drawing both.
void DeviceKeyButton::RenderBase(QImage& into, const QSize& size, int capState, int frame, const QImage* cap,
                                 qreal ratio) const {
    if (into.size() != size * ratio) into = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
    into.setDevicePixelRatio(ratio);
    const bool capFits = cap != nullptr && cap->format() == into.format() && cap->size() == into.size();
    if (capFits && light_.isNull()) {
        const QColor shown = ShownColour();
        BlendGlow(into, *cap, ImageGlowWeights().Of(size, ratio), shown.lighter(120).rgba(), shown.rgba());
        return;
    }
    if (capFits)
        std::memcpy(into.bits(), cap->constBits(), static_cast<size_t>(into.sizeInBytes()));
    else
        into.fill(Qt::transparent);
    QPainter painter(&into);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect whole(QPoint(0, 0), size);
    const QRectF area = QRectF(whole).adjusted(1.5, 1.5, -1.5, -1.5);
    if (cap == nullptr) {
        // The plain button: a dark key cap, lighter while hovered or pressed.
        painter.setPen(QPen(frame != kFrameNormal ? QColor(0x00, 0xc8, 0xff) : QColor(0x44, 0x4a, 0x56),
                            frame == kFrameMarked ? 2.0 : 1.0));
        painter.setBrush(CapColour(capState));
        painter.drawRoundedRect(area, 5, 5);
        return;
    }
    const QColor shown = ShownColour();
    if (!light_.isNull()) {
        // Tint the light image with the shown colour.
        QPixmap tinted(light_.size());
        tinted.fill(Qt::transparent);
        QPainter tint(&tinted);
        tint.drawPixmap(0, 0, light_);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(tinted.rect(), shown);
        tint.end();
        painter.drawPixmap(whole, tinted);
        return;
    }
    DrawGlow(painter, area, shown.lighter(120), shown);
}

const QImage& DeviceKeyButton::Look(const QSize& size, int capState, int frame, bool lit, qreal ratio) const {
    const uint64_t key = LookKey(lit ? ShownColour().rgb() : 0u, size, capState, frame, lit, lightImageKey_, ratio);
    LookCache& cache = ImageCache();
    if (const QImage* image = cache.Find(key)) return *image;
    // Held by a copy of its own: making room for the lit look may let the cap go.
    const QImage cap = lit ? Look(size, capState, frame, false, ratio) : QImage();
    ++gImagesRendered;
    return cache.Add(key, size * ratio, [&](QImage& into) {
        RenderBase(into, size, capState, frame, lit ? &cap : nullptr, ratio);
    });
}

void DeviceKeyButton::PaintBase(QPainter& painter, const QRect& target, qreal ratio) const {
    const int capState = isDown() ? kCapDown : underMouse() ? kCapHover : kCapNormal;
    const int frame = marked_ ? kFrameMarked : isChecked() ? kFrameChecked : kFrameNormal;
    painter.drawImage(target.topLeft(), Look(target.size(), capState, frame, lightOn_, ratio));
}

int DeviceKeyButton::ImagesRendered() { return gImagesRendered; }
int DeviceKeyButton::LegendsRendered() { return gLegendsRendered; }
size_t DeviceKeyButton::CachedImageBytes() { return ImageCache().Bytes(); }

void DeviceKeyButton::paintEvent(QPaintEvent*) {
    if (PaintedByPanel()) return;  // the panel drew all of it in its own pass
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    PaintBase(painter, rect(), ratio);
    PaintMarks(painter, rect(), ratio);
}

void DeviceKeyButton::PaintMarks(QPainter& painter, const QRect& target, qreal ratio) {
    if (!keyUnsetHidden_ && !keyUnset_.isNull()) painter.drawPixmap(target, keyUnset_);
    if (!keySetHidden_ && !keySet_.isNull()) painter.drawPixmap(target, keySet_);
    if (hasLegend_) {
        // A light legend on a dark or dim cap, a dark one on a bright light.
        const QColor shown = lightOn_ ? ShownColour() : QColor(Qt::black);
        const bool bright = 299 * shown.red() + 587 * shown.green() + 114 * shown.blue() > 150 * 1000;
        const LegendImage& legend = Legend(bright, ratio);
        if (!legend.pixels.isNull()) painter.drawPixmap(QPointF(target.topLeft()) + legend.offset, legend.pixels);
    }
}

// Told apart by plain fields: a frame asks this of every key in its
// rectangle, and the text and the image's own size sit behind pointers.
// Kept as the rectangle of its ink alone: a frame blends it over every key
// it repaints, and most of a key is bare.
const DeviceKeyButton::LegendImage& DeviceKeyButton::Legend(bool darkInk, qreal ratio) {
    LegendImage& legend = legends_[darkInk ? 1 : 0];
    if (legend.drawn && legend.points == legendPointSize_ && legend.size == size() && legend.ratio == ratio)
        return legend;
    ++gLegendsRendered;
    legend.drawn = true;
    legend.points = legendPointSize_;
    legend.size = size();
    legend.ratio = ratio;
    QImage whole(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    whole.setDevicePixelRatio(ratio);
    whole.fill(Qt::transparent);
    QPainter painter(&whole);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(darkInk ? QColor(0x10, 0x12, 0x16) : QColor(0xe6, 0xea, 0xf0));
    const QFont font = LegendFont();
    if (const KeyLegendOutlines::Outline* outline = KeyLegendOutlines::Shared().Find(text())) {
        // Drawn from the skin's outline: the font it needs need not be loaded.
        KeyLegendOutlines::Draw(painter, *outline, rect(), KeyLegendOutlines::PixelSizeOf(font, whole));
    } else {
        painter.setFont(font);
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
    painter.end();
    const QRect ink = InkBounds(whole);
    legend.offset = QPointF(ink.topLeft()) / ratio;
    legend.pixels = ink.isEmpty() ? QPixmap() : QPixmap::fromImage(whole.copy(ink));
    legend.pixels.setDevicePixelRatio(ratio);
    return legend;
}

void DeviceKeyButton::ForgetLegends() { legends_[0].drawn = legends_[1].drawn = false; }

void DeviceKeyButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    ForgetLegends();
    Repaint();
}

void DeviceKeyButton::SetLegendPointSize(qreal points) {
    legendPointSize_ = std::max(points, kLegendPointSize);
    Repaint();
}

QFont DeviceKeyButton::LegendFont() const {
    // A key its panel paints is not styled itself: the panel's font is the page's.
    QFont legend = PaintedByPanel() ? parentWidget()->font() : font();
    legend.setPointSizeF(legendPointSize_);
    // Keycap legends set a little tighter, so "F10" fits a one-unit key at 9 pt.
    legend.setLetterSpacing(QFont::PercentageSpacing, 85);
    return legend;
}

void DeviceKeyButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!isEnabled()) return;
    setDown(true);
    emit doubleClicked();
    event->accept();
}

}  // namespace m470::qt
