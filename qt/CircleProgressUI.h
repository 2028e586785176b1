#pragma once
// A ring-shaped progress indicator: a disc in the background colour, a
// sector in the foreground colour from the bottom, clockwise, for the share
// of the range reached, and a white disc 10 pixels inside that leaves a ring.
#include <QColor>
#include <QProgressBar>

namespace m470::qt {

class CCircleProgressUI : public QProgressBar {
    Q_OBJECT
    Q_PROPERTY(QString bkcolor READ BackgroundName WRITE SetBackgroundName)
    Q_PROPERTY(QString forecolor READ ForegroundName WRITE SetForegroundName)

public:
    static constexpr int kRingWidth = 10;

    explicit CCircleProgressUI(QWidget* parent = nullptr);

    // Degrees of the sector: 0 for an empty range (maximum <= minimum),
    // otherwise the share of (value - minimum), kept within 0-360.
    static double SweepDegrees(int value, int minimum, int maximum);

    QString BackgroundName() const { return background_.name(QColor::HexArgb); }
    void SetBackgroundName(const QString& name);
    QString ForegroundName() const { return foreground_.name(QColor::HexArgb); }
    void SetForegroundName(const QString& name);
    QColor Background() const { return background_; }
    QColor Foreground() const { return foreground_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor background_{0x2a, 0x2e, 0x36};
    QColor foreground_{0x00, 0xc8, 0xff};
};

}  // namespace m470::qt
