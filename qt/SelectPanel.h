#pragma once
// The device picture area: draws the picture (scaled once, then cached) and
// the caps and lights of its key buttons in one pass; a rubber band marks
// the key buttons it touches and reports the end of the selection once.
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <vector>

#include "qt/RegionBuilder.h"

namespace m470::qt {

class DeviceKeyButton;

class SelectPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString pictureimage READ PictureImage WRITE SetPictureImage)
    // The size the picture and its buttons were written for (their places are
    // in it); without it, the minimum size. A layout prefers it and may give less.
    Q_PROPERTY(QSize writtenSize READ WrittenSize WRITE SetWrittenSize)

public:
    explicit SelectPanel(QWidget* parent = nullptr);
    QRect Selection() const { return selection_; }

    QString PictureImage() const { return pictureImage_; }
    void SetPictureImage(const QString& path);
    // How often the picture was scaled (once per size while it stays).
    int PictureScalings() const { return scalings_; }
    bool PictureRead() const { return !picture_.isNull(); }
    QSize WrittenSize() const { return writtenSize_; }
    void SetWrittenSize(const QSize& size) { writtenSize_ = size; }
    QSize sizeHint() const override { return writtenSize_.isEmpty() ? QWidget::sizeHint() : writtenSize_; }
    // A button's place to paint again (its caps and lights are painted here).
    void RepaintPlace(const QRect& place);
    // Past this many places before a paint, their bounding rectangle is
    // repainted in one piece: a frame that changes most keys then costs Qt
    // one rectangle instead of a region of a hundred. Not when the places are
    // sparse (a mouse's LEDs ring its picture): the bounding rectangle would
    // then repaint the keys and picture between them, so each stays apart.
    static constexpr int kSeparatePlaces = 8;
    static constexpr int kSparseBoundsRatio = 3;  // bounds area past this many times the places' area

    // While one lives, the places asked of every panel are gathered and
    // painted at once when the outermost one ends: a frame's LEDs cost Qt one
    // region and no further turn of the event loop. Places asked from an
    // event loop run inside it (a dialog) are repainted as usual.
    class RepaintBatch {
    public:
        RepaintBatch();
        ~RepaintBatch();
        RepaintBatch(const RepaintBatch&) = delete;
        RepaintBatch& operator=(const RepaintBatch&) = delete;
    };

signals:
    void selectionEnded();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void childEvent(QChildEvent* event) override;
    // The picture and its buttons grow with the panel, keeping their shape.
    void resizeEvent(QResizeEvent* event) override;

private:
    void ForgetBackground();
    void LearnBackground();
    const QPixmap& ScaledPicture();
    // Where the picture as written lies at the panel's size now.
    QRectF PictureArea() const;
    void RememberWrittenPlaces();
    // update(), or kept for the batch open at this event loop's level.
    void Ask(const QRect& area);
    void RepaintBatched();
    const std::vector<DeviceKeyButton*>& Buttons();

    QString pictureImage_;
    QPixmap picture_, scaled_;
    bool hasPicture_ = false;  // a picture file that can be read is set
    int scalings_ = 0;
    // The size the picture was written for, and each button's place and legend size in it.
    QSize written_, writtenSize_;
    struct WrittenPlace {
        DeviceKeyButton* button;
        QRect place;
    };
    std::vector<WrittenPlace> places_;
    std::vector<DeviceKeyButton*> buttons_;  // the direct children that are key buttons
    bool buttonsKnown_ = false;
    bool backgroundKnown_ = false;  // whether it was looked at since its size or style changed
    // What was asked since the last paint.
    int placesAsked_ = 0;
    QRect placesBounds_;
    qint64 placesArea_ = 0;  // the areas of the places asked, summed
    bool boundsAsked_ = false;
    RegionBuilder batched_;  // asked while a batch is open, not yet repainted
    QPoint anchor_;
    QRect selection_;
    bool armed_ = false;
    bool dragged_ = false;
};

}  // namespace m470::qt
