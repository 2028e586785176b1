#pragma once
// A bar display of 500 values: one black bar, 1 pixel wide, every 2 pixels
// from the left while inside the control, each value × height / 8192 high.
#include <QColor>
#include <QLabel>
#include <array>
#include <vector>

namespace m470::qt {

class CAudioRecordUI : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString bkcolor READ BackgroundName WRITE SetBackgroundName)

public:
    static constexpr int kValueCount = 500;
    static constexpr int kFullScale = 8192;

    explicit CAudioRecordUI(QWidget* parent = nullptr);

    // Values past the 500th are dropped; missing ones become 0.
    void SetValues(const std::vector<int>& values);
    const std::array<int, kValueCount>& Values() const { return values_; }
    // Height of the bar of a value in a control of the given height, within 0-height.
    static int BarHeight(int value, int height);

    QString BackgroundName() const { return background_.name(QColor::HexArgb); }
    void SetBackgroundName(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<int, kValueCount> values_{};
    QColor background_{Qt::white};
};

}  // namespace m470::qt
