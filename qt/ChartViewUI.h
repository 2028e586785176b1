#pragma once
// A chart of named values, as a pie (clockwise from twelve o'clock) or as
// bars ("histpgram", as the layouts spell it) standing on an optional shadow
// picture; bars may be drawn with a pillar picture instead of their colour.
#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <vector>

namespace m470::qt {

class CChartViewUI : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString view READ View WRITE SetView)
    Q_PROPERTY(QString shadowimage READ ShadowImage WRITE SetShadowImage)
    Q_PROPERTY(int shadowimageheight READ ShadowImageHeight WRITE SetShadowImageHeight)
    Q_PROPERTY(QString pillarimage READ PillarImage WRITE SetPillarImage)
    Q_PROPERTY(int pillarimagewidth READ PillarImageWidth WRITE SetPillarImageWidth)
    Q_PROPERTY(bool showhtml READ ShowHtml WRITE SetShowHtml)
    Q_PROPERTY(bool showtext READ ShowText WRITE SetShowText)
    Q_PROPERTY(QString barcolor READ BarColour WRITE SetBarColour)

public:
    struct Item {
        QString name;
        double value = 0;
        QColor colour;
    };

    explicit CChartViewUI(QWidget* parent = nullptr);

    // An invalid colour takes the bar colour, or without one the next of the chart's own set.
    void AddItem(const QString& name, double value, QColor colour = {});
    void ClearItems();
    const std::vector<Item>& Items() const { return items_; }
    bool IsPie() const { return view_.compare("histpgram", Qt::CaseInsensitive) != 0; }

    QString View() const { return view_; }
    void SetView(const QString& view);
    QString ShadowImage() const { return shadowPath_; }
    void SetShadowImage(const QString& path);
    int ShadowImageHeight() const { return shadowHeight_; }
    void SetShadowImageHeight(int height);
    QString PillarImage() const { return pillarPath_; }
    void SetPillarImage(const QString& path);
    int PillarImageWidth() const { return pillarWidth_; }
    void SetPillarImageWidth(int width);
    bool ShowHtml() const { return showHtml_; }
    void SetShowHtml(bool show);
    bool ShowText() const { return showText_; }
    void SetShowText(bool show);
    QString BarColour() const { return barColour_.isValid() ? barColour_.name() : QString(); }
    void SetBarColour(const QString& name) { barColour_ = QColor(name); }

    // Where each bar is drawn (bars view), in item order.
    std::vector<QRect> BarRects() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintPie(QPainter& painter);
    void PaintBars(QPainter& painter);
    QString Label(const Item& item) const;

    std::vector<Item> items_;
    QString view_ = "pie";
    QString shadowPath_, pillarPath_;
    QPixmap shadow_, pillar_;
    QColor barColour_;
    int shadowHeight_ = 0, pillarWidth_ = 20;
    bool showHtml_ = false, showText_ = false;
};

}  // namespace m470::qt
