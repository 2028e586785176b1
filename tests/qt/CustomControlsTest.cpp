#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <memory>

#include "qt/AudioRecordUI.h"
#include "qt/ChartViewUI.h"
#include "qt/CircleProgressUI.h"
#include "qt/CursorNames.h"
#include "qt/HandImgButtonUI.h"
#include "qt/QtControlHost.h"
#include "qt/RedioMacroButtonUI.h"
#include "qt/WndUI.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "ui/Ctl.h"

namespace m470::qt {
namespace {

// A picture of one colour, written to the folder.
QString SolidPicture(const test::TempFolder& folder, const char* name, QColor colour, QSize size = {16, 16}) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = QString::fromStdString(folder.File(name));
    image.save(path);
    return path;
}

QImage Drawn(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32); }

// Channels within a small distance (antialiasing and blending round).
::testing::AssertionResult Near(QColor seen, QColor expected, int tolerance = 3) {
    const bool near = std::abs(seen.red() - expected.red()) <= tolerance && std::abs(seen.green() - expected.green()) <= tolerance &&
                      std::abs(seen.blue() - expected.blue()) <= tolerance;
    if (near) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "seen " << seen.name().toStdString() << ", expected " << expected.name().toStdString();
}

TEST(CustomControlLayouts, EveryClassLoadsWithItsAttributes) {
    QtControlHost host;
    std::unique_ptr<QWidget> root(host.LoadLayout(QString::fromStdString(test::TestDataPath("custom_controls.ui"))));
    ASSERT_NE(root, nullptr);
    auto* record = root->findChild<CRedioMacroButtonUI*>("macro_record_btn");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->RedioImage(), "skin:common/record.png");
    auto* hand = root->findChild<CHandImgButtonUI*>("hand_btn");
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(hand->HandImage(), "skin:common/hand.png");
    EXPECT_EQ(hand->DeleteNormalImage(), "skin:common/del.png");
    EXPECT_EQ(hand->DeleteHotImage(), "skin:common/del_hot.png");
    auto* select = root->findChild<CHandImgSelectButtonUI*>("hand_select_btn");
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(select->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(select->isCheckable());
    auto* ring = root->findChild<CCircleProgressUI*>("ring");
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->Background(), QColor(0x40, 0x40, 0x40));
    EXPECT_EQ(ring->Foreground(), QColor(0, 255, 0));
    auto* chart = root->findChild<CChartViewUI*>("chart");
    ASSERT_NE(chart, nullptr);
    EXPECT_FALSE(chart->IsPie());
    EXPECT_EQ(chart->PillarImageWidth(), 12);
    EXPECT_EQ(chart->ShadowImageHeight(), 6);
    EXPECT_TRUE(chart->ShowText());
    EXPECT_TRUE(chart->ShowHtml());
    EXPECT_EQ(chart->PillarImage(), "skin:common/pillar.png");
    EXPECT_NE(root->findChild<CAudioRecordUI*>("audio_bars"), nullptr);
    EXPECT_NE(root->findChild<CWndUI*>("native_holder"), nullptr);
    // Through the control contract: the ring is a progress control, the select button an option.
    ui::Ctl progress = host.Find("ring");
    EXPECT_EQ(progress.Get()->Type(), ui::ControlType::Progress);
    EXPECT_EQ(progress.Value(), 50);
    progress.SetValue(150);
    EXPECT_EQ(ring->value(), 150);
    EXPECT_EQ(host.Find("hand_select_btn")->Type(), ui::ControlType::Option);
    // The in-memory tree gives the same classes the same types.
    EXPECT_TRUE(test::LayoutHas(test::TestDataPath("custom_controls.ui"),
                                {{"macro_record_btn", ui::ControlType::Button},
                                 {"hand_btn", ui::ControlType::Button},
                                 {"hand_select_btn", ui::ControlType::Option},
                                 {"ring", ui::ControlType::Progress},
                                 {"audio_bars", ui::ControlType::Label}}));
}

TEST(CustomControlLayouts, CursorNamesGiveTheirShapes) {
    const std::vector<std::pair<const char*, Qt::CursorShape>> names{
        {"arrow", Qt::ArrowCursor},      {"ibeam", Qt::IBeamCursor},       {"wait", Qt::WaitCursor},
        {"cross", Qt::CrossCursor},      {"uparrow", Qt::UpArrowCursor},   {"size", Qt::SizeAllCursor},
        {"icon", Qt::ArrowCursor},       {"sizenwse", Qt::SizeFDiagCursor}, {"sizenesw", Qt::SizeBDiagCursor},
        {"sizewe", Qt::SizeHorCursor},   {"sizens", Qt::SizeVerCursor},    {"sizeall", Qt::SizeAllCursor},
        {"no", Qt::ForbiddenCursor},     {"hand", Qt::PointingHandCursor}};
    for (const auto& [name, shape] : names) {
        EXPECT_TRUE(IsCursorName(name)) << name;
        EXPECT_EQ(CursorShapeOf(name), shape) << name;
    }
    EXPECT_EQ(CursorShapeOf("SIZEWE"), Qt::SizeHorCursor);
    EXPECT_FALSE(IsCursorName("pointer"));
    EXPECT_EQ(CursorShapeOf("pointer"), Qt::ArrowCursor);
}

TEST(RecordButton, TheFadeRunsDownToEightyAndBackClamped) {
    std::vector<int> seen;
    CRedioMacroButtonUI::Fade fade;
    for (int i = 0; i < 20; ++i) {
        fade = CRedioMacroButtonUI::NextFade(fade);
        seen.push_back(fade.value);
    }
    const std::vector<int> expected{235, 215, 195, 175, 155, 135, 115, 95, 80, 100, 120, 140, 160, 180, 200, 220, 240, 255, 235, 215};
    EXPECT_EQ(seen, expected);
}

TEST(RecordButton, TheIndicatorFadesWhileBlinkingAndIsOpaqueWhenStopped) {
    test::TempFolder temp;
    CRedioMacroButtonUI button;
    button.resize(40, 40);
    button.setStyleSheet("QPushButton { background-color: #000000; border: none; }");
    button.SetRedioImage(SolidPicture(temp, "record.png", QColor(255, 0, 0)));
    const QPoint centre(20, 20);
    EXPECT_TRUE(Near(Drawn(button).pixelColor(centre), QColor(255, 0, 0)));
    button.SetBlinking(true);
    EXPECT_TRUE(button.Blinking());
    for (int i = 0; i < 9; ++i) button.Tick();
    ASSERT_EQ(button.FadeValue(), 80);
    EXPECT_EQ(button.ImageDescription(), "res='" + button.RedioImage() + "' fade='80'");
    EXPECT_TRUE(Near(Drawn(button).pixelColor(centre), QColor(80, 0, 0)));  // 80/255 of red over black
    EXPECT_TRUE(Near(Drawn(button).pixelColor(2, 2), QColor(0, 0, 0)));     // outside the picture
    button.SetBlinking(false);
    EXPECT_EQ(button.FadeValue(), 255);
    EXPECT_TRUE(Near(Drawn(button).pixelColor(centre), QColor(255, 0, 0)));
}

class HandButtons : public ::testing::Test {
protected:
    void SetUp() override {
        root.reset(host.LoadLayout(QString::fromStdString(test::TestDataPath("custom_controls.ui"))));
        ASSERT_NE(root, nullptr);
        hand = root->findChild<CHandImgButtonUI*>("hand_btn");
        hand->setStyleSheet("QPushButton { background-color: #000000; border: none; }");
        hand->SetHandImage(SolidPicture(temp, "hand.png", Qt::white, {8, 8}));
        hand->SetDeleteNormalImage(SolidPicture(temp, "del.png", QColor(0, 0, 255)));
        hand->SetDeleteHotImage(SolidPicture(temp, "del_hot.png", QColor(255, 0, 0)));
        root->resize(240, 400);
        root->show();
        hand->setFixedSize(100, 60);
        host.SetNotifyCallback([this](const ui::Notification& n) {
            if (n.senderName == "hand_btn") seen.push_back(n.event);
        });
    }
    void Mouse(QEvent::Type type, QPoint at) {
        QMouseEvent event(type, QPointF(at), QPointF(hand->mapToGlobal(at)), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(hand, &event);
    }
    QtControlHost host;
    test::TempFolder temp;
    std::unique_ptr<QWidget> root;
    CHandImgButtonUI* hand = nullptr;
    std::vector<std::string> seen;
};

TEST_F(HandButtons, TheDeleteCornerSitsInTheBottomRightAndTurnsHot) {
    const double scale = hand->logicalDpiX() / 96.0;
    const QRect corner = hand->DeleteCorner();
    EXPECT_EQ(corner.left(), 100 - static_cast<int>(std::lround(30 * scale)));
    EXPECT_EQ(corner.top(), 60 - static_cast<int>(std::lround(29 * scale)));
    EXPECT_EQ(corner.width(), static_cast<int>(std::lround(20 * scale)));
    const QPoint inCorner = corner.center();
    EXPECT_TRUE(Near(Drawn(*hand).pixelColor(inCorner), QColor(0, 0, 255)));
    EXPECT_TRUE(Near(Drawn(*hand).pixelColor(50, 30), Qt::white));  // the hand picture in the middle
    EXPECT_TRUE(Near(Drawn(*hand).pixelColor(5, 5), Qt::black));
    Mouse(QEvent::MouseMove, inCorner);
    EXPECT_TRUE(hand->DeleteHot());
    EXPECT_TRUE(Near(Drawn(*hand).pixelColor(inCorner), QColor(255, 0, 0)));
    Mouse(QEvent::MouseMove, {5, 5});
    EXPECT_FALSE(hand->DeleteHot());
    EXPECT_TRUE(Near(Drawn(*hand).pixelColor(inCorner), QColor(0, 0, 255)));
}

TEST_F(HandButtons, AReleaseInTheCornerDeletesInsteadOfClicking) {
    Mouse(QEvent::MouseButtonPress, hand->DeleteCorner().center());
    Mouse(QEvent::MouseButtonRelease, hand->DeleteCorner().center());
    EXPECT_EQ(seen, std::vector<std::string>{"click_handdelete"});
    EXPECT_FALSE(hand->isDown());
    seen.clear();
    Mouse(QEvent::MouseButtonPress, {10, 10});
    Mouse(QEvent::MouseButtonRelease, {10, 10});
    EXPECT_EQ(seen, std::vector<std::string>{"click"});
    seen.clear();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(hand->mapToGlobal(QPoint(5, 5))));
    QApplication::sendEvent(hand, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(hand, &leave);
    EXPECT_EQ(seen, (std::vector<std::string>{"msenter", "msleave"}));
}

TEST_F(HandButtons, TheSelectVariantFramesItsChosenState) {
    auto* select = root->findChild<CHandImgSelectButtonUI*>("hand_select_btn");
    select->setStyleSheet("QPushButton { background-color: #000000; border: none; }");
    select->setFixedSize(80, 40);
    EXPECT_TRUE(Near(Drawn(*select).pixelColor(1, 20), Qt::black));
    ui::Ctl(host.Find("hand_select_btn")).SetSelected(true, false);
    EXPECT_TRUE(select->isChecked());
    EXPECT_TRUE(Near(Drawn(*select).pixelColor(1, 20), QColor(0x00, 0xc8, 0xff), 40));
    EXPECT_TRUE(Near(Drawn(*select).pixelColor(40, 20), Qt::black));
    select->SetCursorName("sizewe");
    EXPECT_EQ(select->cursor().shape(), Qt::SizeHorCursor);
}

class RingProgress : public ::testing::Test {
protected:
    void SetUp() override {
        ring.resize(100, 100);
        ring.SetBackgroundName("#404040");
        ring.SetForegroundName("#00ff00");
    }
    QColor At(int x, int y) { return Drawn(ring).pixelColor(x, y); }
    CCircleProgressUI ring;
    const QColor grey{0x40, 0x40, 0x40}, green{0, 255, 0};
};

TEST_F(RingProgress, TheSectorStartsAtTheBottomAndRunsClockwise) {
    ring.setRange(0, 100);
    ring.setValue(25);  // bottom to left
    EXPECT_TRUE(Near(At(20, 80), green));   // lower left of the ring
    EXPECT_TRUE(Near(At(80, 20), grey));    // upper right
    EXPECT_TRUE(Near(At(20, 20), grey));    // upper left: not reached yet
    EXPECT_TRUE(Near(At(50, 50), Qt::white));  // the hole
    ring.setValue(75);  // bottom, left, top
    EXPECT_TRUE(Near(At(20, 20), green));
    EXPECT_TRUE(Near(At(50, 4), green));
    EXPECT_TRUE(Near(At(80, 80), grey));    // lower right: the last quarter
    EXPECT_TRUE(Near(At(50, 50), Qt::white));
    // The edge is smoothed: a pixel on the outline is a blend, not one of the two colours.
    const QColor edge = At(50, 0);
    EXPECT_FALSE(edge == green || edge == QColor(0, 0, 0, 0));
}

TEST_F(RingProgress, AnEmptyRangeDrawsNoSector) {
    ring.setRange(5, 5);
    ring.setValue(5);
    EXPECT_TRUE(Near(At(20, 80), grey));
    EXPECT_TRUE(Near(At(20, 20), grey));
    EXPECT_EQ(CCircleProgressUI::SweepDegrees(7, 10, 3), 0.0);
    EXPECT_EQ(CCircleProgressUI::SweepDegrees(15, 10, 20), 180.0);
    EXPECT_EQ(CCircleProgressUI::SweepDegrees(99, 10, 20), 360.0);
    EXPECT_EQ(CCircleProgressUI::SweepDegrees(-5, 10, 20), 0.0);
}

TEST(AudioBars, BarsStandEveryTwoPixelsAtTheirShareOfTheHeight) {
    CAudioRecordUI bars;
    bars.resize(1000, 80);
    bars.SetBackgroundName("#ffffff");
    EXPECT_EQ(bars.Values()[200], 200);
    EXPECT_EQ(bars.Values()[300], 0);
    QImage drawn = Drawn(bars);
    // The starting ramp: 255 × 80 / 8192 = 2 pixels at x 510.
    EXPECT_TRUE(Near(drawn.pixelColor(510, 79), Qt::black));
    EXPECT_TRUE(Near(drawn.pixelColor(510, 78), Qt::black));
    EXPECT_TRUE(Near(drawn.pixelColor(510, 77), Qt::white));
    EXPECT_TRUE(Near(drawn.pixelColor(511, 79), Qt::white));
    bars.SetValues(std::vector<int>(500, 4096));
    drawn = Drawn(bars);
    EXPECT_TRUE(Near(drawn.pixelColor(998, 40), Qt::black));  // the last bar, half the height
    EXPECT_TRUE(Near(drawn.pixelColor(998, 39), Qt::white));
    EXPECT_TRUE(Near(drawn.pixelColor(999, 60), Qt::white));
    EXPECT_EQ(CAudioRecordUI::BarHeight(20000, 80), 80);
    EXPECT_EQ(CAudioRecordUI::BarHeight(-5, 80), 0);
}

TEST(Charts, APieAndBarsShowTheirItems) {
    CChartViewUI chart;
    chart.resize(100, 100);
    chart.AddItem("a", 1, QColor(255, 0, 0));
    chart.AddItem("b", 1, QColor(0, 0, 255));
    QImage drawn = Drawn(chart);
    EXPECT_TRUE(Near(drawn.pixelColor(75, 50), QColor(255, 0, 0)));  // the first half, clockwise from the top
    EXPECT_TRUE(Near(drawn.pixelColor(25, 50), QColor(0, 0, 255)));
    chart.SetView("histpgram");
    chart.SetPillarImageWidth(10);
    chart.ClearItems();
    chart.AddItem("low", 1, QColor(255, 0, 0));
    chart.AddItem("high", 2, QColor(0, 0, 255));
    chart.SetBarColour("#00ff00");
    chart.AddItem("third", 1);  // no colour of its own: the bar colour
    EXPECT_EQ(chart.Items().back().colour, QColor(0, 255, 0));
    const std::vector<QRect> bars = chart.BarRects();
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[1].height(), 100);
    EXPECT_EQ(bars[0].height(), 50);
    drawn = Drawn(chart);
    EXPECT_TRUE(Near(drawn.pixelColor(bars[1].center().x(), 10), QColor(0, 0, 255)));
    EXPECT_FALSE(Near(drawn.pixelColor(bars[0].center().x(), 10), QColor(255, 0, 0)));  // the low bar is not that tall
    EXPECT_TRUE(Near(drawn.pixelColor(bars[0].center().x(), 90), QColor(255, 0, 0)));
}

TEST(NativeWindowHolder, TheWindowFollowsTheControl) {
    QWidget host;
    host.resize(300, 200);
    auto* holder = new CWndUI(&host);
    holder->setGeometry(40, 30, 100, 50);
    QWidget sibling(&host);  // a child window of the same top level
    QWidget floating(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    holder->hide();
    holder->SetWindow(&floating);
    host.show();
    QApplication::processEvents();  // the platform places the new window
    EXPECT_FALSE(floating.isVisible());  // the holder is hidden
    holder->show();
    EXPECT_TRUE(floating.isVisible());
    EXPECT_EQ(floating.geometry(), QRect(host.mapToGlobal(QPoint(40, 30)), QSize(100, 50)));
    EXPECT_TRUE(floating.testAttribute(Qt::WA_ShowWithoutActivating));
    holder->setGeometry(60, 70, 80, 20);
    EXPECT_EQ(floating.geometry(), QRect(host.mapToGlobal(QPoint(60, 70)), QSize(80, 20)));
    host.move(host.pos() + QPoint(25, 15));  // the whole window moves: the floating one goes along
    QApplication::processEvents();
    EXPECT_EQ(floating.geometry(), QRect(host.mapToGlobal(QPoint(60, 70)), QSize(80, 20)));
    holder->hide();
    EXPECT_FALSE(floating.isVisible());
    auto* child = new QWidget(&host);
    holder->SetWindow(child);
    holder->show();
    EXPECT_EQ(child->geometry(), QRect(60, 70, 80, 20));
    EXPECT_TRUE(child->isVisible());
    host.hide();  // hidden with its window
    EXPECT_FALSE(child->isVisible());
}

}  // namespace
}  // namespace m470::qt
