// What the window shows: pictures, tabs, menus, the battery panel, the
// selector entries and the pictures scripts take.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include "devices/MouseDevice.h"
#include "platform/Folders.h"
#include "qt/MainWnd.h"
#include "qt/QtControl.h"
#include "qt/ScriptRunner.h"
#include "qt/QtControlHost.h"
#include "shell/Ctl.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470::qt {
namespace {

QColor CentreColour(QWidget* widget) {
    const QImage picture = widget->grab().toImage();
    return picture.pixelColor(picture.width() / 2, picture.height() / 2);
}

int DifferentPixels(const QImage& a, const QImage& b) {
    const QImage left = a.convertToFormat(QImage::Format_RGB32), right = b.convertToFormat(QImage::Format_RGB32);
    if (left.size() != right.size()) return left.width() * left.height();
    int different = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) different += left.pixel(x, y) != right.pixel(x, y) ? 1 : 0;
    return different;
}

TEST(WindowPictures, APicturePathCannotAddStyleRules) {
    test::TempFolder folder(false);
    // A file whose name would close the url() and add a rule of its own.
    const std::string path = folder.File("blue); background-color: #ff0000; x(.png");
    QImage blue(16, 16, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    ASSERT_TRUE(blue.save(QString::fromStdString(path), "PNG"));
    QtControlHost host;
    QWidget root;
    root.resize(60, 60);
    auto* panel = new QWidget(&root);
    panel->setObjectName("picture_panel");
    panel->setGeometry(0, 0, 60, 60);
    host.Adopt(&root);
    ui::Ctl(host.Find("picture_panel")).SetBkImage(path);
    root.show();
    QApplication::processEvents();
    EXPECT_EQ(CentreColour(panel), QColor(0, 0, 255));
    EXPECT_EQ(StyleUrl("a\"b\\c"), "\"a\\\"b\\\\c\"");
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<CMainWnd>(QString::fromStdString(GetInstallFolder()));
        ASSERT_TRUE(window->InitWindow());
        window->OnWindowInit();
        window->resize(1000, 640);
        window->show();
        QApplication::processEvents();
    }
    // Plays the lines and waits for the end; the exit code.
    int Play(std::vector<std::string> lines) {
        ScriptRunner runner(*window, nullptr);
        runner.SetLines(std::move(lines));
        int code = -1;
        QObject::connect(&runner, &ScriptRunner::finished, [&](int result) { code = result; });
        runner.Start();
        for (int i = 0; i < 300 && code < 0; ++i) QTest::qWait(10);
        return code;
    }
    test::TempFolder folder;
    std::unique_ptr<CMainWnd> window;
};

TEST_F(Window, AScreenshotShowsTheStateTheLineBeforeLeft) {
    const std::string picture = folder.File("before.png");
    ASSERT_EQ(Play({"expect control_light_status text Lighting control: on", "screenshot " + picture,
                    "click control_light_status", "expect control_light_status text Lighting control: off"}),
              0);
    // The status bar, where the button is.
    auto* bar = window->findChild<QWidget*>("status_bar");
    ASSERT_NE(bar, nullptr);
    const QRect area(bar->mapTo(window.get(), QPoint(0, 0)), bar->size());
    const QImage taken = QImage(QString::fromStdString(picture)).copy(area);
    ASSERT_FALSE(taken.isNull());
    QTest::qWait(50);
    EXPECT_GT(DifferentPixels(taken, bar->grab().toImage()), 0);  // the click came after the picture
    ASSERT_EQ(Play({"click control_light_status"}), 0);
    QTest::qWait(50);  // the button's new text takes its place
    EXPECT_EQ(DifferentPixels(taken, bar->grab().toImage()), 0);
}

TEST_F(Window, AFloodOfGameEventsIsTakenAsItsLastOne) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    CVantrelMouseDevice mouse(rig.hub.Backend());
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
    mouse.StopLightingThread();
    window->SetCurrentDevice(&mouse);
    rig.hub.Traffic().Clear();
    for (int i = 0; i < 1000; ++i) window->HandleNamedMessage({"Game_Start", 0, 1 + i % 3});
    QTest::qWait(kGameBatchMs + 100);
    EXPECT_EQ(mouse.GetLightInfo().selectItem, 1 + 999 % 3);
    size_t settingsWrites = 0;
    for (const TrafficEntry& entry : rig.hub.Traffic().Entries()) settingsWrites += entry.request[3] == 0x06 && entry.request[5] == 0 && entry.request[6] == 0 ? 1 : 0;
    EXPECT_GE(settingsWrites, 1u);
    EXPECT_LE(settingsWrites, 4u);
    window->SetCurrentDevice(nullptr);
}

}  // namespace
}  // namespace m470::qt
