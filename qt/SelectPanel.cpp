#include "qt/SelectPanel.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QStyleOption>
#include <QThread>

#include <algorithm>
#include <utility>

#include "qt/DeviceKeyButton.h"

namespace m470::qt {

namespace {

struct OpenBatch {
    int depth = 0;
    int loopLevel = 0;  // the event loop the outermost batch was opened in
    std::vector<QPointer<SelectPanel>> panels;
};

OpenBatch& Batch() {
    static OpenBatch batch;
    return batch;
}

}  // namespace

SelectPanel::RepaintBatch::RepaintBatch() {
    if (Batch().depth++ == 0) Batch().loopLevel = QThread::currentThread()->loopLevel();
}

SelectPanel::RepaintBatch::~RepaintBatch() {
    if (--Batch().depth > 0) return;
    // Taken out before the repaints: the list is never changed while walked.
    const std::vector<QPointer<SelectPanel>> panels = std::exchange(Batch().panels, {});
    for (const QPointer<SelectPanel>& panel : panels)
        if (panel) panel->RepaintBatched();
}

SelectPanel::SelectPanel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_StyledBackground); }

void SelectPanel::SetPictureImage(const QString& path) {
    pictureImage_ = path;
    // Read on the first paint: the picture of a page never shown takes no memory.
    picture_ = QPixmap();
    hasPicture_ = !path.isEmpty() && QImageReader(path).canRead();
    scaled_ = QPixmap();
    // With a picture the panel paints every pixel itself, so a frame does not
    // repaint the page and its style-sheet backgrounds beneath.
    ForgetBackground();
    update();
}

void SelectPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) scaled_ = QPixmap();
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::EnabledChange)
        ForgetBackground();
}

bool SelectPanel::event(QEvent* event) {
    if (event->type() == QEvent::Polish) ForgetBackground();  // the style sheet's rules have just come
    return QWidget::event(event);
}

// Until the next paint has looked, the window beneath is painted too: never
// wrong, only slower.
void SelectPanel::ForgetBackground() {
    backgroundKnown_ = false;
    setAttribute(Qt::WA_OpaquePaintEvent, hasPicture_);
}

// Without a picture the panel is opaque when its own style-sheet background
// covers every pixel of it (the skin gives every widget a solid colour): a
// frame then repaints the panel alone, not the page's backgrounds beneath.
// Drawn once into a scratch image after a change of size, style or state.
void SelectPanel::LearnBackground() {
    backgroundKnown_ = true;
    if (hasPicture_ || size().isEmpty()) return;
    QImage drawn(size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    painter.end();
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        if (!std::all_of(line, line + drawn.width(), [](QRgb pixel) { return qAlpha(pixel) == 255; })) return;
    }
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void SelectPanel::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    if (event->added() || event->removed()) buttonsKnown_ = false;
}

// Found again only after children came or went, so a frame makes no list.
const std::vector<DeviceKeyButton*>& SelectPanel::Buttons() {
    if (!buttonsKnown_) {
        buttons_.clear();
        for (DeviceKeyButton* button : findChildren<DeviceKeyButton*>(Qt::FindDirectChildrenOnly)) buttons_.push_back(button);
        buttonsKnown_ = true;
    }
    return buttons_;
}

void SelectPanel::RememberWrittenPlaces() {
    written_ = !writtenSize_.isEmpty() ? writtenSize_ : minimumSize().isEmpty() ? size() : minimumSize();
    for (DeviceKeyButton* button : findChildren<DeviceKeyButton*>(Qt::FindDirectChildrenOnly))
        places_.push_back({button, button->geometry()});
}

QRectF SelectPanel::PictureArea() const {
    if (written_.isEmpty()) return rect();
    const qreal scale = std::min(width() / qreal(written_.width()), height() / qreal(written_.height()));
    const QSizeF shown = QSizeF(written_) * scale;
    return {QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown};
}

void SelectPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ForgetBackground();
    if (written_.isEmpty()) RememberWrittenPlaces();
    const QRectF area = PictureArea();
    const qreal scale = area.width() / written_.width();
    for (const WrittenPlace& written : places_) {
        const QRectF place(area.topLeft() + QPointF(written.place.topLeft()) * scale, QSizeF(written.place.size()) * scale);
        written.button->setGeometry(place.toRect());
        written.button->SetLegendPointSize(DeviceKeyButton::kLegendPointSize * scale);
    }
}

// The picture at the panel's size over the panel's background colour.
const QPixmap& SelectPanel::ScaledPicture() {
    const qreal ratio = devicePixelRatioF();
    const QSize wanted = size() * ratio;
    if (scaled_.size() != wanted && hasPicture_) {
        if (picture_.isNull()) picture_ = QPixmap(pictureImage_);
        if (picture_.isNull()) {  // the file went bad after it was looked at: paint the background
            hasPicture_ = false;
            ForgetBackground();
            return scaled_;
        }
        scaled_ = QPixmap(wanted);
        scaled_.setDevicePixelRatio(ratio);
        scaled_.fill(palette().color(backgroundRole()));
        QPainter painter(&scaled_);
        const QRectF area = PictureArea();
        painter.drawPixmap(area.toRect(), picture_.scaled((area.size() * ratio).toSize(), Qt::IgnoreAspectRatio,
                                                          Qt::SmoothTransformation));
        ++scalings_;
    }
    return scaled_;
}

void SelectPanel::RepaintPlace(const QRect& place) {
    if (boundsAsked_ && placesBounds_.contains(place)) return;
    placesBounds_ |= place;
    placesArea_ += qint64(place.width()) * place.height();
    const bool sparse = qint64(placesBounds_.width()) * placesBounds_.height() > kSparseBoundsRatio * placesArea_;
    if (++placesAsked_ <= kSeparatePlaces || sparse) {
        Ask(place);
        return;
    }
    boundsAsked_ = true;
    Ask(placesBounds_);
}

void SelectPanel::Ask(const QRect& area) {
    OpenBatch& batch = Batch();
    if (batch.depth == 0 || QThread::currentThread()->loopLevel() != batch.loopLevel) {
        update(area);
        return;
    }
    if (batched_.Empty()) batch.panels.emplace_back(this);
    batched_.Add(area);
}

void SelectPanel::RepaintBatched() {
    const QRegion area = batched_.Take();
    if (!area.isEmpty()) repaint(area);
}

void SelectPanel::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) return;
    anchor_ = event->position().toPoint();
    armed_ = true;
    dragged_ = false;
}

void SelectPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!armed_) return;
    const QRect before = selection_;
    selection_ = QRect(anchor_, event->position().toPoint()).normalized();
    dragged_ = true;
    update(before.united(selection_).adjusted(-1, -1, 1, 1));
}

void SelectPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (!armed_) return;
    armed_ = false;
    if (!dragged_) return;
    selection_ = QRect(anchor_, event->position().toPoint()).normalized();
    for (DeviceKeyButton* button : findChildren<DeviceKeyButton*>(Qt::FindDirectChildrenOnly))
        button->SetMarked(button->geometry().intersects(selection_));
    const QRect drawn = selection_;
    selection_ = QRect();
    update(drawn.adjusted(-1, -1, 1, 1));
    emit selectionEnded();
}

void SelectPanel::paintEvent(QPaintEvent* event) {
    placesAsked_ = 0;
    placesBounds_ = QRect();
    placesArea_ = 0;
    boundsAsked_ = false;
    if (!backgroundKnown_) LearnBackground();
    QPainter painter(this);
    const QPixmap& scaled = ScaledPicture();
    if (scaled.isNull()) {
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    } else {
        // Only the dirty parts of the cached picture, rectangle by rectangle:
        // a frame repaints the LEDs' small rectangles, not the whole picture
        // (which would also hand the blending to Qt's worker threads).
        const qreal ratio = scaled.devicePixelRatio();
        for (const QRect& dirty : event->region())
            painter.drawPixmap(dirty, scaled,
                               QRectF(dirty.x() * ratio, dirty.y() * ratio, dirty.width() * ratio, dirty.height() * ratio));
    }
    const qreal ratio = devicePixelRatioF();  // once: each call looks for the screen
    for (DeviceKeyButton* button : Buttons()) {
        if (!button->isVisible() || !event->region().intersects(button->geometry())) continue;
        button->PaintBase(painter, button->geometry(), ratio);
        button->PaintMarks(painter, button->geometry(), ratio);
    }
    if (selection_.isNull()) return;
    painter.setPen(QPen(QColor(0x00, 0xc8, 0xff), 1, Qt::DashLine));
    painter.setBrush(QColor(0x00, 0xc8, 0xff, 40));
    painter.drawRect(selection_);
}

}  // namespace m470::qt
