#pragma once
// One key or LED of the device picture: a button that draws its light in the
// given colour and level, and key-set / key-unset marks. Inside a
// SelectPanel the panel paints all of it (PaintBase, PaintMarks) together
// with the picture in one pass, so an LED change repaints one small
// rectangle from cached images. There the button gets no paint events at
// all (its own updates are off): every change that shows asks the panel to
// repaint the button's place instead.
#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPixmap>

namespace m470::qt {

class DeviceKeyButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QString lightimage READ LightImage WRITE SetLightImage)
    Q_PROPERTY(QString keysetimage READ KeySetImage WRITE SetKeySetImage)
    Q_PROPERTY(QString keyunsetimage READ KeyUnsetImage WRITE SetKeyUnsetImage)
    // The layout's legend goes through SetLegend too, so the panel knows it without asking.
    Q_PROPERTY(QString text READ text WRITE SetLegend)

public:
    explicit DeviceKeyButton(QWidget* parent = nullptr);

    // colour = red | green << 8 | blue << 16; level 0-255.
    void SetLight(uint32_t colour, uint8_t level, bool on);
    uint32_t LightColour() const { return lightColour_; }
    uint8_t LightLevel() const { return lightLevel_; }
    bool LightOn() const { return lightOn_; }
    // The colour as drawn: each channel × level / 256.
    QColor ShownColour() const;
    void SetKeySetHidden(bool hidden);
    void SetKeyUnsetHidden(bool hidden);
    void SetMarked(bool marked);
    // The legend; a change is repainted (setText alone would not reach the panel).
    void SetLegend(const QString& text);
    bool Marked() const { return marked_; }
    // The legend's size; it grows with the picture, never below kLegendPointSize.
    static constexpr qreal kLegendPointSize = 9;
    void SetLegendPointSize(qreal points);
    // In the panel's font when the panel paints the key, else in its own.
    // A new style sheet restyles panel and keys alike (Qt polishes them
    // directly then), so the key's own font change redraws its legends.
    QFont LegendFont() const;

    QString LightImage() const { return lightImage_; }
    void SetLightImage(const QString& path);
    QString KeySetImage() const { return keySetImage_; }
    void SetKeySetImage(const QString& path);
    QString KeyUnsetImage() const { return keyUnsetImage_; }
    void SetKeyUnsetImage(const QString& path);

    // The cap and the light at target (in the painter's coordinates, at the
    // device's pixel ratio), from an image cached per colour, size and cap state.
    void PaintBase(QPainter& painter, const QRect& target, qreal ratio) const;
    // The key-set / key-unset marks and the legend over it, from cached images.
    void PaintMarks(QPainter& painter, const QRect& target, qreal ratio);
    // How many cap-and-light images were drawn afresh (not found cached).
    static int ImagesRendered();
    // How many legends were drawn afresh (not found cached).
    static int LegendsRendered();
    // What the cached images take, at most kMaxCachedImageBytes.
    static size_t CachedImageBytes();
    static constexpr size_t kMaxCachedImageBytes = 1024 * 1024;

signals:
    void doubleClicked();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QSize sizeHint() const override { return {28, 28}; }

private:
    // The colour as drawn, in SetLight's packing: a frame compares it for every key.
    static uint32_t Shown(uint32_t colour, uint8_t level);
    bool PaintedByPanel() const;
    // Its place painted again: by the panel that paints it, or by itself.
    void Repaint();
    // What the cap shows besides its light and marks: down, hovered, checked.
    int CapLook() const;
    qreal legendPointSize_ = kLegendPointSize;
    // The cap into into (reused when it has the size), or its light over a copy of cap.
    void RenderBase(QImage& into, const QSize& size, int capState, int frame, const QImage* cap, qreal ratio) const;
    // The cap (lit or not) from the cache, drawn first if missing.
    const QImage& Look(const QSize& size, int capState, int frame, bool lit, qreal ratio) const;
    // The legend in dark (on a bright light) or light ink, drawn once per
    // text, size and font: a frame only changes the light beneath it.
    struct LegendImage {
        bool drawn = false;  // for the legend and font now
        qreal points = 0;
        QSize size;
        qreal ratio = 0;
        QPixmap pixels;  // the ink's rectangle only (null for no ink)
        QPointF offset;  // where it lies in the key
    };
    const LegendImage& Legend(bool darkInk, qreal ratio);
    void ForgetLegends();
    LegendImage legends_[2];
    bool hasLegend_ = false;

    QString lightImage_, keySetImage_, keyUnsetImage_;
    QPixmap light_, keySet_, keyUnset_;
    qint64 lightImageKey_ = 0;
    uint32_t lightColour_ = 255;
    uint8_t lightLevel_ = 200;
    bool lightOn_ = false;
    bool keySetHidden_ = true, keyUnsetHidden_ = true;
    bool marked_ = false;
};

}  // namespace m470::qt
