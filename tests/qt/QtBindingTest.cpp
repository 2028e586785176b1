#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QEventLoop>
#include <QEnterEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <functional>
#include <memory>
#include <thread>

#include "devices/MouseDevice.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "qt/DeviceKeyButton.h"
#include "qt/KeyLegendOutlines.h"
#include "qt/QtControlHost.h"
#include "qt/RegionBuilder.h"
#include "qt/SelectPanel.h"
#include "ui/Ctl.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470::qt {
namespace {

class QtBinding : public ::testing::Test {
protected:
    void SetUp() override {
        root = host.LoadLayout(QString::fromStdString(test::TestDataPath("sample_page.ui")));
        ASSERT_NE(root, nullptr);
        root->resize(800, 600);
        root->show();
        host.SetNotifyCallback([this](const ui::Notification& n) { seen.push_back(n.event + ":" + n.senderName); });
    }
    void TearDown() override { delete root; }
    template <typename Widget>
    Widget* W(const char* name) {
        return root->findChild<Widget*>(name);
    }
    QtControlHost host;
    QWidget* root = nullptr;
    std::vector<std::string> seen;
};

TEST_F(QtBinding, LayoutsLoadWithTheirClassesPropertiesAndSubLayouts) {
    ui::Ctl slider = host.Find("DPI_slider_3");
    ASSERT_TRUE(slider);
    EXPECT_EQ(slider.Get()->Type(), ui::ControlType::Slider);
    EXPECT_EQ(slider.Value(), 12);
    EXPECT_EQ(slider.Get()->Maximum(), 88);
    EXPECT_EQ(host.Find("device_picture")->Type(), ui::ControlType::SelectPanel);
    EXPECT_NE(qobject_cast<DeviceKeyButton*>(W<QWidget>("light_1")), nullptr);
    EXPECT_EQ(ui::Ctl(host.Find("device_function_switch")).Page(), 1);
    ui::Control* holder = host.Find("power_holder");
    EXPECT_NE(host.FindUnder(holder, "device_Power_progress"), nullptr);
    EXPECT_EQ(host.Find("device_profile_combo")->ItemCount(), 2);
    EXPECT_EQ(host.Find("no_such_control"), nullptr);
    EXPECT_EQ(host.LoadLayout("/no/such.ui"), nullptr);
}

TEST_F(QtBinding, UserActionsRaiseNotificationsAndSilentChangesDoNot) {
    W<QSlider>("DPI_slider_3")->setValue(40);  // as the keyboard or wheel would
    host.Find("DPI_slider_3")->SetValue(41, false);
    W<QSlider>("DPI_slider_3")->setSliderDown(true);
    W<QSlider>("DPI_slider_3")->setValue(42);  // while dragging
    W<QSlider>("DPI_slider_3")->setSliderDown(false);  // released
    W<QComboBox>("device_profile_combo")->setCurrentIndex(1);
    host.Find("device_profile_combo")->SelectItem(0, false);
    QTest::mouseClick(W<QWidget>("polling_rate_option_1"), Qt::LeftButton);
    EXPECT_FALSE(host.Find("polling_rate_option_0")->Selected());
    host.Find("polling_rate_option_0")->SetSelected(true, false);
    EXPECT_FALSE(host.Find("polling_rate_option_1")->Selected());
    host.Find("polling_rate_option_0")->SetSelected(false, false);
    EXPECT_FALSE(host.Find("polling_rate_option_0")->Selected());
    EXPECT_EQ(seen, (std::vector<std::string>{"valuechanged:DPI_slider_3", "movevaluechanged:DPI_slider_3",
                                              "valuechanged:DPI_slider_3", "itemselect:device_profile_combo",
                                              "selectchanged:polling_rate_option_0", "selectchanged:polling_rate_option_1",
                                              "click:polling_rate_option_1"}));
}

TEST_F(QtBinding, EditsReportFocusAndTyping) {
    QLineEdit* edit = W<QLineEdit>("DPI_edit_3");
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(edit, &in);
    QTest::keyClicks(edit, "7");
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
    host.Find("DPI_edit_3")->SetText("1500");  // programmatic: silent
    EXPECT_EQ(seen, (std::vector<std::string>{"setfocus:DPI_edit_3", "textchanged:DPI_edit_3", "killfocus:DPI_edit_3"}));
    EXPECT_EQ(ui::Ctl(host.Find("DPI_edit_3")).Text(), "1500");
}

TEST_F(QtBinding, TimersAreOneShotAndRestartable) {
    ui::Control* slider = host.Find("DPI_slider_3");
    ui::Control* mark = host.Find("DPI_edit_3");
    // Qt fires due timers in the order of their due times: once the later
    // mark has fired, so has every shorter timer that was still running.
    const auto untilMark = [&] {
        return QTest::qWaitFor([&] { return !seen.empty() && seen.back() == "timer:DPI_edit_3"; }, 30000);
    };
    host.SetTimer(slider, 1000, 5);
    host.SetTimer(slider, 1001, 1);
    host.KillTimer(slider, 1001);
    host.SetTimer(mark, 7, 40);
    ASSERT_TRUE(untilMark());
    // Once: the killed timer stays quiet and the other does not come back.
    EXPECT_EQ(seen, (std::vector<std::string>{"timer:DPI_slider_3", "timer:DPI_edit_3"}));
    seen.clear();
    host.SetTimer(slider, 1000, 5);  // started again after it fired
    host.SetTimer(mark, 7, 40);
    ASSERT_TRUE(untilMark());
    EXPECT_EQ(seen, (std::vector<std::string>{"timer:DPI_slider_3", "timer:DPI_edit_3"}));
}

TEST_F(QtBinding, KeyButtonsDrawTheirLightAndThePanelSelectsByRubberBand) {
    auto* panel = W<SelectPanel>("device_picture");
    auto* key = W<DeviceKeyButton>("key_0");
    auto* far = W<DeviceKeyButton>("light_1");
    panel->resize(300, 200);
    key->setGeometry(10, 10, 40, 40);
    far->setGeometry(200, 150, 40, 40);
    host.Find("key_0")->SetLight(0x3020FF, 128, true);  // red 255, green 32, blue 48
    EXPECT_EQ(key->ShownColour(), QColor(127, 16, 24));
    // The panel draws the caps and lights of its buttons.
    QImage picture(key->size(), QImage::Format_ARGB32);
    picture.fill(Qt::black);
    panel->render(&picture, QPoint(), QRegion(key->geometry()));
    EXPECT_GT(qRed(picture.pixel(20, 20)), qGreen(picture.pixel(20, 20)));

    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(0, 0));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 30), QPointF(30, 30), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &move);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_TRUE(host.Find("key_0")->KeySelected());  // touched by half
    EXPECT_FALSE(host.Find("light_1")->KeySelected());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "click_select_end:device_picture"), 1);
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(100, 100));  // no drag: nothing
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "click_select_end:device_picture"), 1);
    QTest::mouseDClick(key, Qt::LeftButton);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "dbclick:key_0"), seen.end());
}

// Counts the panel's paint events and the rectangles they cover.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    int paints = 0;
    QRegion painted;
};

// The region a frame repaints is made in one pass: the pixels of Qt's own
// union, in the banded form Qt's region operations expect.
TEST(QtRegionBuilder, MakesTheUnionQtMakesInQtsOwnForm) {
    RegionBuilder builder;
    EXPECT_TRUE(builder.Take().isEmpty());
    const auto check = [&](const std::vector<QRect>& rects) {
        QRegion expected;
        for (const QRect& rect : rects) {
            expected += rect;
            builder.Add(rect);
        }
        const QRegion built = builder.Take();
        EXPECT_TRUE((built ^ expected).isEmpty());  // the same pixels
        EXPECT_EQ(built.boundingRect(), expected.boundingRect());
        EXPECT_TRUE(builder.Empty());
        // Qt's banded form, which its region operations expect.
        const std::vector<QRect> bands(built.begin(), built.end());
        for (size_t i = 1; i < bands.size(); ++i) {
            const QRect& a = bands[i - 1];
            const QRect& b = bands[i];
            if (a.top() == b.top()) {
                EXPECT_EQ(a.bottom(), b.bottom());
                EXPECT_LT(a.right() + 1, b.left());  // apart, not side by side
            } else {
                EXPECT_GT(b.top(), a.bottom());  // bands do not overlap
            }
        }
        // No band right under another with the same spans.
        std::vector<std::pair<int, std::vector<std::pair<int, int>>>> rows;  // top, bottom and spans
        for (const QRect& rect : bands) {
            if (rows.empty() || rows.back().first != rect.top()) rows.push_back({rect.top(), {}});
            rows.back().second.emplace_back(rect.left(), rect.right());
        }
        for (size_t i = 1; i < rows.size(); ++i) {
            const int bottomAbove = std::find_if(bands.begin(), bands.end(), [&](const QRect& r) {
                                        return r.top() == rows[i - 1].first;
                                    })->bottom();
            if (bottomAbove + 1 == rows[i].first) EXPECT_NE(rows[i - 1].second, rows[i].second);
        }
    };
    check({QRect(5, 5, 10, 10)});
    check({QRect(0, 0, 10, 10), QRect(10, 0, 10, 10)});                      // side by side: one rectangle
    check({QRect(0, 0, 10, 10), QRect(0, 10, 10, 10)});                      // one above the other: one too
    check({QRect(0, 0, 10, 10), QRect(0, 0, 10, 10), QRect(2, 2, 3, 3)});    // the same twice, one inside
    check({QRect(0, 0, 10, 10), QRect(5, 5, 10, 10), QRect(20, 0, 4, 30)});  // overlapping, and apart
    check({QRect(3, 3, 0, 5), QRect(1, 1, 2, 2)});                           // an empty one is nothing
    check({QRect(0, 0, 10, 10), QRect(20, 0, 10, 10), QRect(0, 10, 10, 10), QRect(20, 10, 10, 10)});  // two rows of two
    check({QRect(-20, -5, 10, 10), QRect(-15, 0, 10, 10)});                  // left of and above the origin
    // The mouse's ring of LEDs, as a frame asks for them (round, not in order).
    std::vector<QRect> ring;
    for (const QPoint at : {QPoint(62, 234), QPoint(43, 215), QPoint(30, 189), QPoint(10, 158), QPoint(10, 126),
                            QPoint(22, 93), QPoint(31, 63), QPoint(46, 38), QPoint(66, 20), QPoint(86, 11),
                            QPoint(110, 11), QPoint(130, 20), QPoint(150, 38), QPoint(165, 63), QPoint(174, 93),
                            QPoint(188, 126), QPoint(188, 158), QPoint(166, 189), QPoint(153, 215), QPoint(134, 234)})
        ring.emplace_back(at, QSize(11, 11));
    check(ring);
    // Random rectangles, many overlapping, on a small board.
    uint32_t seed = 12345;
    const auto next = [&](int below) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<uint32_t>(below));
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<QRect> rects;
        for (int i = next(40); i >= 0; --i) rects.emplace_back(next(60), next(60), 1 + next(15), 1 + next(15));
        check(rects);
    }
}

TEST_F(QtBinding, ThePictureRepaintsOnlyTheLedThatChangedFromCachedImages) {
    auto* panel = W<SelectPanel>("device_picture");
    auto* led = W<DeviceKeyButton>("light_1");
    panel->SetPictureImage(QString::fromStdString(GetInstallFolder() + "skin/common/mouse_picture.png"));
    panel->setFixedSize(300, 200);
    W<DeviceKeyButton>("key_0")->setGeometry(10, 10, 40, 40);
    W<DeviceKeyButton>("light_0")->setGeometry(100, 10, 14, 14);
    led->setGeometry(200, 150, 14, 14);
    QApplication::processEvents();
    PaintCounter counter(panel);
    ui::Control* light = host.Find("light_1");
    light->SetLight(0x0000FF, 200, true);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(counter.painted.boundingRect(), led->geometry());  // not the whole picture
    // Another colour and level that draw the same: nothing to repaint.
    light->SetLight(0x0000C8, 255, true);  // 200 * 255 >> 8 == 199, as 255 * 200 >> 8
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);

    // More LEDs than are repainted apart, but far from each other (a ring
    // round the picture): still each alone, not the key and picture between.
    QRegion ring;
    std::vector<DeviceKeyButton*> dots;
    for (int i = 0; i < SelectPanel::kSeparatePlaces + 4; ++i) {
        dots.push_back(new DeviceKeyButton(panel));
        dots.back()->setGeometry(i % 2 == 0 ? 60 : 280, 10 + i * 15, 14, 14);
        dots.back()->show();
        ring += dots.back()->geometry();
    }
    QApplication::processEvents();
    counter.painted = QRegion();
    for (DeviceKeyButton* dot : dots) dot->SetLight(0x0000FF, 255, true);
    QApplication::processEvents();
    EXPECT_EQ(counter.painted, ring);
    EXPECT_GT(qRed(panel->grab(dots.back()->geometry()).toImage().pixel(5, 5)), 150);  // drawn lit all the same

    // A frame handled in a batch: gathered, then painted in one pass when the
    // batch ends, with no turn of the event loop. A dialog's loop opened
    // meanwhile repaints what is asked in it at once; a panel gone is skipped.
    counter.paints = 0;
    counter.painted = QRegion();
    {
        const SelectPanel::RepaintBatch frame;
        for (DeviceKeyButton* dot : dots) dot->SetLight(0x00FF00, 255, true);
        auto* gone = new SelectPanel;  // a window of its own, never shown
        auto* goneKey = new DeviceKeyButton(gone);
        goneKey->SetLight(0x00FF00, 255, true);
        goneKey->show();
        goneKey->SetLight(0x0000FF, 255, true);
        delete gone;
        QApplication::processEvents();
        EXPECT_EQ(counter.paints, 0);
        QEventLoop dialog;
        QTimer::singleShot(0, &dialog, [&] {
            light->SetLight(0x00FF00, 255, true);
            QTimer::singleShot(50, &dialog, &QEventLoop::quit);
        });
        dialog.exec();
        EXPECT_EQ(counter.painted, QRegion(led->geometry()));
    }
    EXPECT_EQ(counter.painted, QRegion(led->geometry()) + ring);
    EXPECT_GT(qGreen(panel->grab(dots.front()->geometry()).toImage().pixel(5, 5)), 150);
    for (DeviceKeyButton* dot : dots) delete dot;
    QApplication::processEvents();

    // A breathing LED: one image per level the first time round, none after.
    const auto breathe = [&] {
        for (int level = 0; level < 256; level += 8) {
            light->SetLight(0x00FF00, static_cast<uint8_t>(level), true);
            panel->repaint(led->geometry());
        }
    };
    led->SetLegend("F1");  // a key: its legend is drawn once, not per frame
    const int firstLegends = DeviceKeyButton::LegendsRendered();
    breathe();
    const int rendered = DeviceKeyButton::ImagesRendered();
    const int legends = DeviceKeyButton::LegendsRendered();
    EXPECT_EQ(legends, firstLegends + 1);  // light ink: green is never bright enough for dark ink
    breathe();
    EXPECT_EQ(DeviceKeyButton::ImagesRendered(), rendered);
    EXPECT_EQ(DeviceKeyButton::LegendsRendered(), legends);
    light->SetLight(0xFFFFFF, 255, true);  // bright: dark ink, drawn once too
    panel->repaint(led->geometry());
    light->SetLight(0xFFFFFE, 255, true);
    panel->repaint(led->geometry());
    EXPECT_EQ(DeviceKeyButton::LegendsRendered(), legends + 1);
    led->SetLegendPointSize(12);  // a larger picture: the legend is drawn again at its new size
    panel->repaint(led->geometry());
    EXPECT_EQ(DeviceKeyButton::LegendsRendered(), legends + 2);
    EXPECT_EQ(panel->PictureScalings(), 1);  // the picture was scaled once for all of them
    panel->setFixedSize(320, 200);
    QApplication::processEvents();
    panel->repaint();
    EXPECT_EQ(panel->PictureScalings(), 2);
}

// A panel's picture is read when it is first painted, so the pages not shown
// hold none; a file that is no picture leaves the panel its style's background.
TEST_F(QtBinding, APictureIsReadWhenFirstPaintedAndABadFileLeavesTheBackground) {
    SelectPanel hidden;
    hidden.resize(120, 80);
    hidden.SetPictureImage(QString::fromStdString(GetInstallFolder() + "skin/common/mouse_picture.png"));
    EXPECT_FALSE(hidden.PictureRead());
    EXPECT_TRUE(hidden.testAttribute(Qt::WA_OpaquePaintEvent));  // it will paint every pixel itself
    const QImage drawn = hidden.grab().toImage();
    EXPECT_TRUE(hidden.PictureRead());
    EXPECT_EQ(hidden.PictureScalings(), 1);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString bad = folder.filePath("bad.png");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    SelectPanel other;
    other.resize(120, 80);
    other.setStyleSheet("background: #123456;");
    other.SetPictureImage(bad);
    EXPECT_FALSE(other.testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage background = other.grab().toImage();
    EXPECT_FALSE(other.PictureRead());
    EXPECT_EQ(background.pixel(60, 40), qRgb(0x12, 0x34, 0x56));
}

// A frame that changes many keys: one paint of the panel over their bounding
// rectangle, and none for the keys themselves. What changes one key's look
// or place (a check, a press, a legend, a move, hiding it) still repaints it.
TEST_F(QtBinding, KeysArePaintedByThePanelAloneAndEachChangeRepaintsItsPlace) {
    auto* panel = W<SelectPanel>("device_picture");
    panel->SetPictureImage(QString::fromStdString(GetInstallFolder() + "skin/common/mouse_picture.png"));
    panel->setFixedSize(400, 200);
    std::vector<DeviceKeyButton*> keys;
    for (int i = 0; i < SelectPanel::kSeparatePlaces + 4; ++i) {
        keys.push_back(new DeviceKeyButton(panel));
        keys.back()->setGeometry(10 + i * 30, 100, 28, 28);
        keys.back()->show();
    }
    QApplication::processEvents();
    PaintCounter panelPaints(panel);
    std::vector<std::unique_ptr<PaintCounter>> keyPaints;
    for (DeviceKeyButton* key : keys) keyPaints.push_back(std::make_unique<PaintCounter>(key));
    const auto keyPaintEvents = [&] {
        int events = 0;
        for (const auto& counter : keyPaints) events += counter->paints;
        return events;
    };
    QRect all;
    for (DeviceKeyButton* key : keys) {
        key->SetLight(0x0000FF, 255, true);
        all |= key->geometry();
    }
    QApplication::processEvents();
    EXPECT_EQ(panelPaints.paints, 1);
    EXPECT_EQ(panelPaints.painted, QRegion(all));
    EXPECT_EQ(keyPaintEvents(), 0);
    // Drawn all the same: red light inside every key, the picture's dark cap around.
    const QImage shown = panel->grab().toImage();
    for (DeviceKeyButton* key : keys) EXPECT_GT(qRed(shown.pixel(key->geometry().center())), 150);

    DeviceKeyButton* key = keys[3];
    const auto repaintsItsPlace = [&](const char* what, const std::function<void()>& change) {
        panelPaints.paints = 0;
        panelPaints.painted = QRegion();
        change();
        QApplication::processEvents();
        EXPECT_GE(panelPaints.paints, 1) << what;
        EXPECT_TRUE(panelPaints.painted.contains(key->geometry())) << what;
        EXPECT_FALSE(panelPaints.painted.intersects(keys[4]->geometry())) << what;  // not its neighbours
    };
    key->setCheckable(true);
    repaintsItsPlace("check", [&] { key->setChecked(true); });
    repaintsItsPlace("press", [&] { QTest::mousePress(key, Qt::LeftButton); });
    repaintsItsPlace("release", [&] { QTest::mouseRelease(key, Qt::LeftButton); });
    repaintsItsPlace("legend", [&] { key->SetLegend("F5"); });
    const QImage withoutLegend = panel->grab(keys[5]->geometry()).toImage();
    keys[5]->setProperty("text", "W");  // as a layout sets it
    EXPECT_NE(panel->grab(keys[5]->geometry()).toImage(), withoutLegend);
    repaintsItsPlace("mark", [&] { key->SetMarked(true); });
    repaintsItsPlace("hover", [&] {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(key, &enter);
    });
    repaintsItsPlace("leave", [&] {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(key, &leave);
    });
    const QRect before = key->geometry();
    repaintsItsPlace("move", [&] { key->move(before.x(), 150); });
    EXPECT_TRUE(panelPaints.painted.contains(before));  // where it was
    repaintsItsPlace("hide", [&] { key->hide(); });
    EXPECT_EQ(keyPaintEvents(), 0);
}

// A panel without a picture (the keyboard's) whose own background covers it
// is painted alone by a frame; once its background lets the window show
// through, a frame paints the window beneath again. Read from the window's
// own pixels.
TEST(QtSelectPanel, AFrameRepaintsTheWindowBeneathOnlyWhereThePanelsBackgroundLetsItShow) {
    QWidget window;
    window.setObjectName("under");
    window.setStyleSheet("QWidget#under { background: #123456; } QWidget#panel { background: #14171c; }");
    window.resize(300, 200);
    auto* panel = new SelectPanel(&window);
    panel->setObjectName("panel");
    panel->setGeometry(20, 20, 200, 100);
    auto* key = new DeviceKeyButton(panel);
    key->setGeometry(10, 10, 28, 28);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint beside(150, 100), onKey = panel->mapTo(&window, key->geometry().center());
    const auto shownAt = [&](QPoint place) {
        QApplication::processEvents();
        return window.screen()->grabWindow(window.winId()).toImage().pixelColor(place);
    };
    key->SetLight(0x0000FF, 255, true);
    EXPECT_EQ(shownAt(beside), QColor(0x14, 0x17, 0x1c));
    EXPECT_GT(shownAt(onKey).red(), 150);
    PaintCounter windowPaints(&window);
    key->SetLight(0x00FF00, 255, true);
    EXPECT_GT(shownAt(onKey).green(), 150);
    EXPECT_EQ(windowPaints.paints, 0);

    window.setStyleSheet("QWidget#under { background: #123456; } QWidget#panel { background: rgba(255, 255, 255, 0); }");
    key->SetLight(0xFF0000, 255, true);
    EXPECT_EQ(shownAt(beside), QColor(0x12, 0x34, 0x56));
    EXPECT_GT(shownAt(onKey).blue(), 150);
    windowPaints.paints = 0;
    key->SetLight(0x0000FF, 255, true);
    EXPECT_GT(shownAt(onKey).red(), 150);
    EXPECT_GE(windowPaints.paints, 1);  // beneath the key, whose corners let the window show
    EXPECT_EQ(shownAt(QPoint(25, 25)), QColor(0x12, 0x34, 0x56));
}

// An effect that keeps changing colour: the cached key images stay within
// their budget, and what is drawn again and again stays cached. A look let
// go is drawn over for the next one: a look drawn again into it, pressed or
// not, shows what it showed when first drawn, nothing of the look before.
TEST_F(QtBinding, KeyImagesOfAColourCycleStayWithinTheirBudget) {
    auto* panel = W<SelectPanel>("device_picture");
    auto* led = W<DeviceKeyButton>("light_1");
    panel->setFixedSize(300, 200);
    led->setGeometry(200, 150, 40, 40);  // 40 × 40: some 14 KB per look
    QApplication::processEvents();
    ui::Control* light = host.Find("light_1");
    const auto shown = [&](uint32_t colour, bool down) {
        light->SetLight(colour, 255, true);
        led->setDown(down);
        return panel->grab(led->geometry()).toImage();
    };
    const QImage firstRed = shown(0x0000F0, false), firstBluePressed = shown(0xF00000, true);
    led->setDown(false);
    W<DeviceKeyButton>("light_0")->setGeometry(10, 10, 23, 23);  // looks of two sizes let go in turn
    ui::Control* small = host.Find("light_0");
    for (uint32_t colour = 0; colour < 3000; ++colour) {
        light->SetLight(0x010000 * (colour % 250) + (colour / 250) * 20, 255, true);
        small->SetLight(0x000100 * (colour % 250) + (colour / 250) * 20, 255, colour % 3 != 0);
        panel->repaint();
        ASSERT_LE(DeviceKeyButton::CachedImageBytes(), DeviceKeyButton::kMaxCachedImageBytes) << colour;
    }
    const int beforeAgain = DeviceKeyButton::ImagesRendered();
    EXPECT_EQ(shown(0x0000F0, false), firstRed);
    EXPECT_EQ(shown(0xF00000, true), firstBluePressed);
    EXPECT_GE(DeviceKeyButton::ImagesRendered(), beforeAgain + 2);  // both were let go and drawn again
    led->setDown(false);
    const auto steady = [&] {
        for (uint32_t level = 0; level < 256; level += 16) {
            light->SetLight(0x00FF00, static_cast<uint8_t>(level), true);
            panel->repaint(led->geometry());
        }
    };
    steady();
    const int rendered = DeviceKeyButton::ImagesRendered();
    steady();
    EXPECT_EQ(DeviceKeyButton::ImagesRendered(), rendered);
}

// A lit key shows its cap with the glow over it: the centre a little
// lighter, the key's colour at 0.7 of the radius, fading at the edge. The
// glow as Qt's gradient paints it over the unlit key is the witness; the key
// must match it within one step of an 8-bit channel (rounding), for bright, dim,
// saturated and black lights and for keys of several sizes.
TEST_F(QtBinding, ALitKeyShowsTheGlowOfItsColourOverItsCap) {
    auto* panel = W<SelectPanel>("device_picture");
    auto* key = W<DeviceKeyButton>("light_1");
    panel->setFixedSize(300, 200);
    QApplication::processEvents();
    ui::Control* light = host.Find("light_1");
    struct Light {
        uint32_t colour;
        uint8_t level;
    };
    constexpr Light kLights[] = {{0xFFFFFF, 255}, {0x0000FF, 255}, {0xFF8000, 255}, {0x20FF40, 77},
                                 {0x123456, 255}, {0xFFFFFF, 0},   {0x00FFFF, 200}, {0xFF0000, 77}, {0x0000FF, 77}};
    const auto grab = [&] {
        return panel->grab(key->geometry()).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    for (const QSize size : {QSize(28, 28), QSize(41, 28), QSize(17, 17), QSize(20, 20), QSize(23, 19)}) {
        key->setGeometry(QRect(QPoint(100, 50), size));
        light->SetLight(0, 0, false);
        const QImage unlit = grab();
        for (const Light& lit : kLights) {
            light->SetLight(lit.colour, lit.level, true);
            const QImage shown = grab();
            QImage expected = unlit;
            {
                const QColor colour = key->ShownColour();
                QPainter painter(&expected);
                painter.setRenderHint(QPainter::Antialiasing);
                const QRectF area = QRectF(QRect(QPoint(0, 0), size)).adjusted(1.5, 1.5, -1.5, -1.5);
                QRadialGradient glow(area.center(), area.width() / 2);
                glow.setColorAt(0.0, colour.lighter(120));
                glow.setColorAt(0.7, colour);
                glow.setColorAt(1.0, QColor(colour.red(), colour.green(), colour.blue(), 60));
                painter.setPen(Qt::NoPen);
                painter.setBrush(glow);
                painter.drawRoundedRect(area.adjusted(3, 3, -3, -3), 4, 4);
            }
            ASSERT_EQ(shown.size(), expected.size());
            int worst = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
                    worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                      std::abs(qBlue(a) - qBlue(b))});
                }
            EXPECT_LE(worst, 1) << std::hex << lit.colour << " level " << std::dec << int(lit.level) << " size "
                                << size.width() << "x" << size.height();
        }
    }
}

// A legend is kept as the rectangle of its ink: drawn on the key, it shows
// every pixel of the text laid out over the whole key, in light ink on a
// dark key and dark ink on a bright one, for short and wide legends.
TEST_F(QtBinding, AKeysLegendShowsAllOfItsTextWhereTheWholeKeyPlacesIt) {
    auto* panel = W<SelectPanel>("device_picture");
    auto* key = W<DeviceKeyButton>("light_1");
    panel->setFixedSize(300, 200);
    key->setGeometry(100, 50, 56, 28);
    QApplication::processEvents();
    ui::Control* light = host.Find("light_1");
    const auto grab = [&] {
        return panel->grab(key->geometry()).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    for (const char* text : {"Q", "F10", "Enter", "g,"}) {
        for (const bool bright : {false, true}) {
            light->SetLight(bright ? 0xFFFFFF : 0x400000, 255, true);
            key->SetLegend("");
            const QImage bare = grab();
            QImage expected = bare;
            key->SetLegend(text);
            // At the screen's pixel ratio, where the ink's place is divided back into the key.
            const qreal ratio = key->devicePixelRatioF();
            QImage ink(key->size() * ratio, QImage::Format_ARGB32_Premultiplied);
            ink.setDevicePixelRatio(ratio);
            ink.fill(Qt::transparent);
            {
                QPainter painter(&ink);
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(bright ? QColor(0x10, 0x12, 0x16) : QColor(0xe6, 0xea, 0xf0));
                painter.setFont(key->LegendFont());
                painter.drawText(key->rect(), Qt::AlignCenter, text);
            }
            QPainter(&expected).drawImage(0, 0, ink);
            const QImage shown = grab();
            EXPECT_NE(shown, bare) << text;
            EXPECT_EQ(shown, expected) << text << (bright ? " dark ink" : " light ink");
        }
    }
}

// The style sheet's rules cost several KiB per widget it polishes; a key its
// panel paints uses none of them, so it is left unpolished, and its legend is
// set in the panel's font, also after a new style sheet (a language switch
// changes the font families).
TEST(QtKeyLegend, AKeyItsPanelPaintsIsNotStyledAndSetsItsLegendInThePanelsFont) {
    const auto sheet = [](const char* family) {
        return QString("QWidget { font-family: \"%1\"; font-size: 20px; }").arg(family);
    };
    QWidget window;
    window.setStyleSheet(sheet("DejaVu Serif"));  // as the window's comes before its pages
    auto* panel = new SelectPanel(&window);
    panel->setGeometry(0, 0, 300, 200);
    auto* key = new DeviceKeyButton(panel);
    key->setGeometry(100, 50, 56, 28);
    key->SetLegend("Esc");
    auto* unpainted = new DeviceKeyButton(&window);  // not in a panel: styled as any widget
    window.resize(400, 300);
    window.show();
    QApplication::processEvents();
    const auto grab = [&] {
        return panel->grab(key->geometry()).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    const QImage serif = grab();
    EXPECT_TRUE(panel->testAttribute(Qt::WA_StyleSheetTarget));
    EXPECT_TRUE(unpainted->testAttribute(Qt::WA_StyleSheetTarget));
    EXPECT_FALSE(key->testAttribute(Qt::WA_StyleSheetTarget));
    EXPECT_EQ(key->LegendFont().family(), "DejaVu Serif");
    EXPECT_EQ(key->LegendFont().pointSizeF(), DeviceKeyButton::kLegendPointSize);  // the key's own size

    window.setStyleSheet(sheet("DejaVu Sans Mono"));
    QApplication::processEvents();
    EXPECT_EQ(key->LegendFont().family(), "DejaVu Sans Mono");
    const QImage mono = grab();
    EXPECT_NE(mono, serif);  // drawn again in the new font, not taken from the cache
    window.setStyleSheet(sheet("DejaVu Serif"));
    QApplication::processEvents();
    EXPECT_EQ(grab(), serif);
}

// The international keys' legends come from the skin's outlines, drawn where
// the CJK font's text would stand, so an English window need not load that font.
TEST(QtKeyLegend, LegendsTheLatinFontLacksAreDrawnFromOutlinesWhereTheirTextWouldStand) {
    const QString skin = QString::fromStdString(GetInstallFolder() + "skin");
    QDir::setSearchPaths("skin", {skin});  // as the window sets it
    QFile file(skin + "/common/key-legends.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString shipped = QString::fromUtf8(file.readAll());
    const KeyLegendOutlines table = KeyLegendOutlines::Parse(shipped);

    // Every key legend of the keyboard's layout that the skin's Latin font
    // cannot draw has its outline (found as scripts/make-key-legends finds them).
    QFile layout(skin + "/keyboarddevice.ui");
    ASSERT_TRUE(layout.open(QIODevice::ReadOnly));
    const QRawFont latin = QRawFont::fromFont(QFont("DejaVu Sans"));
    int lacking = 0;
    const QRegularExpression legendText(R"(class="DeviceKeyButton".*?<property name="text"><string[^>]*>([^<]+)</string>)");
    for (const QRegularExpressionMatch& match : legendText.globalMatch(QString::fromUtf8(layout.readAll()))) {
        const QList<uint> chars = match.captured(1).toUcs4();
        if (std::all_of(chars.begin(), chars.end(), [&](uint ch) { return latin.supportsCharacter(ch); })) continue;
        ++lacking;
        EXPECT_NE(table.Find(match.captured(1)), nullptr) << match.captured(1).toStdString();
    }
    EXPECT_EQ(lacking, table.Size());  // ろ 無変換 変換 かな 한/영 한자, each once
    EXPECT_GE(lacking, 6);

    // On a picture: the key's legend against the same text drawn in the key's
    // own legend font over a bare key, at a size of whole pixels and at one
    // Qt rounds (a picture larger than written).
    QWidget window;
    window.setStyleSheet(R"(QWidget { font-family: "DejaVu Sans", "Noto Sans CJK SC"; })");  // the English window's
    auto* panel = new SelectPanel(&window);
    panel->setGeometry(0, 0, 300, 100);
    auto* key = new DeviceKeyButton(panel);
    key->setGeometry(10, 10, 72, 32);
    auto* bare = new DeviceKeyButton(panel);
    bare->setGeometry(100, 10, 72, 32);
    window.resize(300, 100);
    window.show();
    const auto grab = [&](QWidget* button) {
        return panel->grab(button->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto inkBounds = [](const QImage& image, const QImage& under) {
        QRect bounds;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAbs(qGray(image.pixel(x, y)) - qGray(under.pixel(x, y))) > 60) bounds |= QRect(x, y, 1, 1);
        return bounds;
    };
    const auto inkOf = [](const QImage& image, const QImage& under) {
        double ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) ink += qAbs(qGray(image.pixel(x, y)) - qGray(under.pixel(x, y)));
        return ink;
    };
    for (const QString& legend : {QString("ろ"), QString("無変換"), QString("한/영")}) {
        for (const qreal points : {9.0, 12.33}) {
            key->SetLegend(legend);
            key->SetLegendPointSize(points);
            bare->SetLegendPointSize(points);
            QApplication::processEvents();
            const QImage drawn = grab(key), under = grab(bare);
            QImage text = under;
            QPainter painter(&text);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QColor(0xe6, 0xea, 0xf0));  // light ink on a dark cap, as the key draws it
            painter.setFont(key->LegendFont());
            painter.drawText(QRect(QPoint(0, 0), key->size()), Qt::AlignCenter, legend);
            painter.end();
            const QRect fromOutline = inkBounds(drawn, under), fromText = inkBounds(text, under);
            ASSERT_FALSE(fromText.isEmpty()) << "no CJK font here";
            const std::string at = legend.toStdString() + " at " + std::to_string(points) + " pt";
            EXPECT_NEAR(fromOutline.left(), fromText.left(), 1) << at;
            EXPECT_NEAR(fromOutline.right(), fromText.right(), 1) << at;
            EXPECT_NEAR(fromOutline.top(), fromText.top(), 1) << at;
            EXPECT_NEAR(fromOutline.bottom(), fromText.bottom(), 1) << at;
            // As heavy as the text: the bare outline's fill came out a third lighter.
            EXPECT_NEAR(inkOf(drawn, under) / inkOf(text, under), 1.0, 0.12) << at;
        }
    }

    // A line that does not read whole is skipped; the others stay.
    const KeyLegendOutlines mixed = KeyLegendOutlines::Parse(
        "a\t10 8 2\tM 0 0 L 5 -5 L 0 -5 E\n"
        "b\t10 8\tM 0 0 L 5 -5 E\n"            // a metric missing
        "c\t10 8 2\tL 5 -5 M 0 0 E\n"          // a line from nowhere
        "d\t10 8 2\tM 0 0 C 1 1 2 2 E\n"       // a curve cut short
        "e\t10 x 2\tM 0 0 L 1 1 E\n"           // not a number
        "f\t10 8 2\tQ 0 0 1 1 E\n"             // not a command of ours
        "h\t10 8 2\tM 0 0 L nan 1 E\n"         // not a finite number
        "i\t10 8 2\tM 0 0 L 1e9 1 E\n"         // far beyond any glyph
        "\t10 8 2\tM 0 0 L 1 1 E\n"            // no text
        "g\t12 9 3\tM 0 0 C 1 -1 2 -2 3 -3 E\n"
        "j\t12 9 3\tM 0 0 L 1 -8");            // the file cut short
    EXPECT_EQ(mixed.Size(), 2);
    ASSERT_NE(mixed.Find("g"), nullptr);
    EXPECT_EQ(mixed.Find("g")->path.elementCount(), 4);
    EXPECT_EQ(mixed.Find("g")->descent, 3);
    EXPECT_EQ(mixed.Find("j"), nullptr);
    EXPECT_EQ(KeyLegendOutlines::Parse("").Size(), 0);
    EXPECT_EQ(KeyLegendOutlines::Parse(shipped.left(shipped.size() - 4)).Size(), table.Size() - 1);
}

TEST(QtMousePage, TheMouseDeviceRunsOnRealWidgets) {
    test::TempFolder folder;
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    QtControlHost host;
    QWidget* page = host.LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/mousedevice.ui"));
    ASSERT_NE(page, nullptr);
    CVantrelMouseDevice mouse(rig.hub.Backend());
    const auto view = CPageBuilder::MakePage(mouse, host, host.Wrap(page), nullptr);
    host.SetNotifyCallback([&](const ui::Notification& n) { view->Route(n); });
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
    mouse.StopLightingThread();
    auto* slider = page->findChild<QSlider*>("DPI_slider_5");
    EXPECT_EQ(slider->value(), 81);
    EXPECT_EQ(page->findChild<QLineEdit*>("DPI_edit_5")->text(), "13100");
    slider->setValue(40);  // the user moves stage slider 5
    auto memory = rig.hub.Firmware("mouse")->Area(0x05);
    EXPECT_EQ(memory[14 + 9 * 5 + 2], 40);
    QTest::mouseClick(page->findChild<QWidget*>("polling_rate_option_2"), Qt::LeftButton);
    memory = rig.hub.Firmware("mouse")->Area(0x05);
    EXPECT_EQ(memory[11], 2);
    delete page;
}

}  // namespace
}  // namespace m470::qt
