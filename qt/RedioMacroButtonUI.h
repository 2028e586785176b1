#pragma once
// The macro record button: while recording, its indicator picture pulses,
// its opacity moving by 20 every 50 ms between 255 and 80.
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

namespace m470::qt {

class CRedioMacroButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString redioimage READ RedioImage WRITE SetRedioImage)

public:
    static constexpr int kFadeHigh = 255;
    static constexpr int kFadeLow = 80;
    static constexpr int kFadeStep = 20;
    static constexpr int kBlinkMs = 50;

    struct Fade {
        int value = kFadeHigh;
        bool falling = true;
    };
    // One tick: down by a step to the low end (clamped), then up to the high end.
    static Fade NextFade(Fade fade);

    explicit CRedioMacroButtonUI(QWidget* parent = nullptr);

    QString RedioImage() const { return imagePath_; }
    void SetRedioImage(const QString& path);
    // Starts or stops the pulse; stopped, the picture is drawn opaque again.
    void SetBlinking(bool blinking);
    bool Blinking() const { return timer_.isActive(); }
    int FadeValue() const { return fade_.value; }
    // The picture as an image description: "res='…' fade='…'".
    QString ImageDescription() const;
    // What the timer does every 50 ms.
    void Tick();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString imagePath_;
    QPixmap image_;
    Fade fade_;
    QTimer timer_;
};

}  // namespace m470::qt
