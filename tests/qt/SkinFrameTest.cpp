#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <optional>

#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "qt/SkinFrame.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

class SkinPopup : public ::testing::Test {
protected:
    void SetUp() override {
        QDir::addSearchPath("skin", QString::fromStdString(GetInstallFolder() + "skin"));
        owner.resize(800, 500);
        owner.move(100, 80);
        anchor = new QPushButton("skin", &owner);
        anchor->setGeometry(700, 10, 32, 32);
        owner.show();
        temp.Write("main.ini", "[Window]\nLeft=3\n");
        Open();
    }
    void Open() {
        CSkinFrame::Hooks hooks;
        hooks.changed = [this](const SkinChangedParam& param) { changes.push_back(param); };
        hooks.chooseOwnPicture = [this] {
            chooserRan = true;
            frameGoneWhenChooserRan = frame.isNull();
        };
        frame = new CSkinFrame(&owner, anchor, QString::fromStdString(GetInstallFolder() + "skin/"),
                               QString::fromStdString(temp.File("main.ini")), hooks);
        frame->show();
    }
    QAbstractButton* Button(const char* name) { return frame->findChild<QAbstractButton*>(name); }
    std::optional<std::string> Ini(const char* key) { return ReadIniValue(temp.File("main.ini"), kSkinIniSection, key); }

    test::TempFolder temp;
    QWidget owner;
    QPushButton* anchor = nullptr;
    QPointer<CSkinFrame> frame;
    std::vector<SkinChangedParam> changes;
    bool chooserRan = false, frameGoneWhenChooserRan = false;
};

TEST_F(SkinPopup, ItOpensUnderTheAnchorWithTheirRightEdgesAligned) {
    ASSERT_TRUE(frame->Loaded());
    const QPoint anchorBottomRight = anchor->mapToGlobal(QPoint(anchor->width(), anchor->height()));
    EXPECT_EQ(frame->geometry().right() + 1, anchorBottomRight.x());
    EXPECT_EQ(frame->geometry().top(), anchorBottomRight.y());
    EXPECT_EQ(frame->size(), QSize(380, 236));  // the layout's own size
    EXPECT_TRUE(frame->windowFlags().testFlag(Qt::Popup));
    EXPECT_FALSE(Button("skin_image_btn_0")->icon().isNull());  // the picture shows on its button
}

TEST_F(SkinPopup, APictureIsNotifiedAndRecordedKeepingOtherSections) {
    QTest::mouseClick(Button("skin_image_btn_1"), Qt::LeftButton);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_FALSE(changes[0].colourFlag);
    EXPECT_EQ(changes[0].image, "background/bg_2.png");
    EXPECT_EQ(Ini("FLAGS"), "1");
    EXPECT_EQ(Ini("IMAGE"), "background/bg_2.png");
    EXPECT_EQ(ReadIniValue(temp.File("main.ini"), "Window", "Left"), "3");
    QTest::mouseClick(Button("skin_reset"), Qt::LeftButton);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].image, "common/background.png");
    EXPECT_EQ(Ini("FLAGS"), "0");
    EXPECT_EQ(Ini("IMAGE"), "common/background.png");
    EXPECT_EQ(temp.Read("main.ini"), "[Window]\nLeft=3\n[SKINIMAGE]\nFLAGS=0\nIMAGE=common/background.png\n");
}

TEST_F(SkinPopup, AColourIsNotifiedButNotRecorded) {
    auto* tabs = frame->findChild<QStackedWidget*>("skin_tab");
    QTest::mouseClick(Button("skin_color"), Qt::LeftButton);
    EXPECT_EQ(tabs->currentIndex(), 1);
    QTest::mouseClick(Button("skin_color_btn_3"), Qt::LeftButton);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].colourFlag);
    EXPECT_EQ(changes[0].colour, 0xFF3A1C14u);
    EXPECT_EQ(temp.Read("main.ini"), "[Window]\nLeft=3\n");
    QTest::mouseClick(Button("skin_image"), Qt::LeftButton);
    EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(SkinPopup, AnOwnPictureIsChosenFromTheOwnerAfterThePopupHasGone) {
    QTest::mouseClick(Button("skin_Custom"), Qt::LeftButton);
    EXPECT_FALSE(chooserRan);  // not from inside the pop-up's click
    EXPECT_FALSE(frame->isVisible());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(QTest::qWaitFor([&] { return chooserRan; }, 30000));
    EXPECT_TRUE(frameGoneWhenChooserRan);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(temp.Read("main.ini"), "[Window]\nLeft=3\n");
}

TEST_F(SkinPopup, AMissingLayoutGivesAnEmptyPopup) {
    frame->close();
    CSkinFrame empty(&owner, anchor, QString::fromStdString(temp.File("nothing/")), QString(), {});
    EXPECT_FALSE(empty.Loaded());
}

}  // namespace
}  // namespace m470::qt
