#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <filesystem>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include "devices/MouseDevice.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "qt/Dialogs.h"
#include "qt/InstanceChannel.h"
#include "qt/MainWnd.h"
#include "qt/QtControlHost.h"
#include "qt/ScriptRunner.h"
#include "support/LayoutCheck.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470::qt {
namespace {

using ui::ControlType;

std::string Skin(const std::string& file) { return GetInstallFolder() + "skin/" + file; }

TEST(ShellLayouts, WindowsHoldEveryNameTheyUse) {
    EXPECT_TRUE(test::LayoutHas(Skin("mainwindow.ui"),
                                {{"closebtn", ControlType::Button}, {"maxbtn", ControlType::Button},
                                 {"restorebtn", ControlType::Button}, {"minbtn", ControlType::Button},
                                 {"skinbtn", ControlType::Button}, {"gamemodebtn", ControlType::Button},
                                 {"cloudbtn", ControlType::Button}, {"smarteyesbtn", ControlType::Button},
                                 {"setbtn", ControlType::Button}, {"device_select_layout", ControlType::Container},
                                 {"device_switch", ControlType::Tabs}, {"device_power_switch", ControlType::Tabs},
                                 {"No_device_Link", ControlType::Container}, {"nodevice_refused_label", ControlType::Label},
                                 {"setting_progress", ControlType::Progress}, {"control_light_status", ControlType::Button}}));
    EXPECT_TRUE(test::LayoutHas(Skin("msgwnd.ui"), {{"MessageTitle", ControlType::Label}, {"MessageText", ControlType::Label},
                                                    {"confirm_btn", ControlType::Button}, {"cancel_btn", ControlType::Button},
                                                    {"closebtn", ControlType::Button}}));
    EXPECT_TRUE(test::LayoutHas(Skin("aboutwnd.ui"), {{"text_test", ControlType::Label},
                                                      {"software_ver_label", ControlType::Label},
                                                      {"about_licence_label", ControlType::Label},
                                                      {"about_credits_label", ControlType::Label}}));
    // Every layout of the skin loads with Qt's own loader too.
    for (const char* file : {"mainwindow.ui", "msgwnd.ui", "aboutwnd.ui", "mousedevice.ui", "mousepaddevice.ui"}) {
        QtControlHost host;
        QWidget* root = host.LoadLayout(QString::fromStdString(Skin(file)));
        EXPECT_NE(root, nullptr) << file;
        delete root;
    }
}

// A Designer widget plugin is mapped into this process.
bool DesignerPluginMapped() {
    QFile maps("/proc/self/maps");
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/plugins/designer/");
}

// Designer's widget plugins stay out of the window: one of them maps Qt
// Quick and QML, about 5 MiB resident, for nothing.
TEST(ShellLayouts, EverySkinLayoutLoadsWithoutDesignersWidgetPlugins) {
    ASSERT_FALSE(DesignerPluginMapped());  // nothing earlier in this process loaded one
    const QDir skin(QString::fromStdString(Skin("")));
    const QStringList files = skin.entryList({"*.ui"}, QDir::Files);
    ASSERT_GE(files.size(), 5);
    for (const QString& file : files) {
        QtControlHost host;
        std::unique_ptr<QWidget> root(host.LoadLayout(skin.filePath(file)));
        EXPECT_NE(root, nullptr) << file.toStdString();
    }
    EXPECT_FALSE(DesignerPluginMapped());
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<CMainWnd>(QString::fromStdString(GetInstallFolder()));
        ASSERT_TRUE(window->InitWindow());
        window->OnWindowInit();
    }
    test::TempFolder folder;
    std::unique_ptr<CMainWnd> window;
};

TEST_F(MainWindow, SizeFollowsTheMonitor) {
    EXPECT_EQ(CMainWnd::SizeForMonitor({1920, 1080}), QSize(1500, 960));
    EXPECT_EQ(CMainWnd::SizeForMonitor({1366, 768}), QSize(1000, 640));
    EXPECT_EQ(CMainWnd::SizeForMonitor({1500, 1200}), QSize(1000, 640));  // must be wider than 1500
    window->FitToMonitor({1920, 1080});
    EXPECT_EQ(window->size(), QSize(1500, 960));
    EXPECT_EQ(window->Dpi(), 144);
    window->FitToMonitor({1366, 768});
    EXPECT_EQ(window->size(), QSize(1000, 640));
    EXPECT_EQ(window->Dpi(), 96);
    EXPECT_FALSE(window->isVisible());  // fitting does not show a hidden window
}

TEST_F(MainWindow, LanguageSwitchChangesTheTextsAndIsRemembered) {
    auto* label = window->findChild<QLabel*>("nodevice_label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(window->LanguageIndex(), 1);  // nothing stored: English (520)
    EXPECT_EQ(label->text(), "No device connected");
    window->HandleMessage(window_message::kSwitchLanguage, 0, 0);
    EXPECT_EQ(label->text(), QString::fromUtf8("未检测到设备"));
    EXPECT_EQ(RegistryStore().ReadInt("LANGUAGE"), 2052);
    window->ApplyLanguage(1);
    EXPECT_EQ(label->text(), "No device connected");
    EXPECT_EQ(LanguageChoice(*std::make_unique<RegistryStore>(), GetDefaultDataFolder() + "Language.config").ReadLanguageChoice(), 1);
}

// A first start under a Chinese locale shows Chinese and keeps that
// language; a later start under another locale keeps what was stored.
TEST(FirstStart, TheLanguageFollowsTheLocaleUntilOneIsStored) {
    test::TempFolder folder(false);
    const QString runtime = QString::fromStdString(folder.Path());
    folder.Write("chinese.script", "expect nodevice_label text 未检测到设备\n");
    auto run = test::RunProgram({"--script", QString::fromStdString(folder.File("chinese.script"))}, runtime, {},
                                {{"LANG", "zh_CN.UTF-8"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string registry = folder.File("config/M470/registry.json");
    EXPECT_NE(test::TempFolder::ReadFile(registry).find("\"LANGUAGE\" : \"2052\""), std::string::npos)
        << test::TempFolder::ReadFile(registry);
    run = test::RunProgram({"--script", QString::fromStdString(folder.File("chinese.script"))}, runtime);
    EXPECT_EQ(run.exitCode, 0) << "stored: the English locale of this start changes nothing. " << run.err;

    test::TempFolder english(false);
    english.Write("english.script", "expect nodevice_label text No device connected\n");
    run = test::RunProgram({"--script", QString::fromStdString(english.File("english.script"))},
                           QString::fromStdString(english.Path()), {}, {{"LC_MESSAGES", "en_GB.UTF-8"}, {"LANG", "zh_CN.UTF-8"}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST_F(MainWindow, IndexedNamesRouteToTheCurrentDevice) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    CVantrelMouseDevice mouse(rig.hub.Backend());
    QWidget* page = window->Host().LoadLayout(QString::fromStdString(Skin("mousedevice.ui")),
                                              window->findChild<QStackedWidget*>("device_switch"));
    ASSERT_NE(page, nullptr);
    const auto view = CPageBuilder::MakePage(mouse, window->Host(), window->Host().Wrap(page), &window->Context());
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
    mouse.StopLightingThread();
    window->SetCurrentPage(view.get());
    page->findChild<QSlider*>("DPI_slider_3")->setValue(44);  // "DPI_slider_" + 3
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x05)[14 + 9 * 3 + 2], 44);
    window->SetCurrentDevice(nullptr);
    page->findChild<QSlider*>("DPI_slider_3")->setValue(50);  // no current device: nothing happens
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x05)[14 + 9 * 3 + 2], 44);
}

TEST_F(MainWindow, MessageBoxConfirmGivesOneAndCloseGivesZero) {
    const auto answer = [&](const char* button, int set) {
        QTimer::singleShot(50, [button] {
            if (QWidget* modal = QApplication::activeModalWidget())
                if (auto* pushed = modal->findChild<QPushButton*>(button)) pushed->click();
        });
        return ShowMessage(window->Dialogs(), "", "message_text_27", 100, true, set);
    };
    EXPECT_EQ(answer("confirm_btn", kButtonsConfirmCancel), 1);
    EXPECT_EQ(answer("closebtn", kButtonsConfirmCancel), 0);
    EXPECT_EQ(answer("cancel_btn", kButtonsConfirmCancel), 0);
    DebugTrace::Clear();
    EXPECT_EQ(MessageBoxDpi(100), 96);
    EXPECT_TRUE(DebugTrace::Contains("MSG_WND DPI SET ERROR"));
    EXPECT_EQ(MessageBoxDpi(144), 144);
}

TEST_F(MainWindow, ScriptsActThroughTheWidgetsAndNameTheFailingLine) {
    window->show();
    ScriptRunner runner(*window, nullptr);
    runner.SetLines({"# a comment", "expect nodevice_label text No device connected", "expect closebtn enabled 1",
                     "click closebtn", "expect closebtn visible 0", "click no_such_control"});
    int code = -1;
    QObject::connect(&runner, &ScriptRunner::finished, [&](int result) { code = result; });
    runner.Start();
    QTest::qWaitFor([&] { return code >= 0; }, 30000);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(runner.LastError(), "script line 6: unknown control \"no_such_control\"");
    EXPECT_FALSE(window->isVisible());  // "closebtn" hid the window
}

TEST_F(MainWindow, GameEventShowsAnEffectAndRestoresTheOldMode) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    CVantrelMouseDevice mouse(rig.hub.Backend());
    QWidget* page = window->Host().LoadLayout(QString::fromStdString(Skin("mousedevice.ui")),
                                              window->findChild<QStackedWidget*>("device_switch"));
    ASSERT_NE(page, nullptr);
    const auto view = CPageBuilder::MakePage(mouse, window->Host(), window->Host().Wrap(page), &window->Context());
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
    mouse.StopLightingThread();
    LightInfo light = mouse.GetLightInfo();
    light.selectItem = 2;
    light.oldLedmode = 7;  // stale: never what comes back
    mouse.StoreLightInfo(light);
    window->SetCurrentPage(view.get());
    window->HandleNamedMessage({"Game_Start", 0, 3});
    // Game events are taken in batches.
    EXPECT_TRUE(QTest::qWaitFor([&] { return mouse.GetLightInfo().selectItem == 3; }, 30000));
    EXPECT_EQ(mouse.GetLightInfo().oldLedmode, 2);
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x05)[1], 3);
    window->HandleNamedMessage({"Game_Start", 0, 12});  // past the mouse's twelve modes: refused
    QTest::qWait(kGameBatchMs + 50);
    EXPECT_EQ(mouse.GetLightInfo().selectItem, 3);
    // The game's effect ends after its 5 s.
    EXPECT_TRUE(QTest::qWaitFor([&] { return mouse.GetLightInfo().selectItem == 2; }, 30000));
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x05)[1], 2);
    // The lighting tab, loaded when first shown, shows the user's mode.
    EXPECT_EQ(page->findChild<QComboBox*>("light_combo_modeSelect"), nullptr);
    ASSERT_NE(view->Lighting(), nullptr);
    EXPECT_EQ(page->findChild<QComboBox*>("light_combo_modeSelect")->currentIndex(), 2);
    window->SetCurrentDevice(nullptr);
}

TEST_F(MainWindow, AFailedSaveIsToldOnce) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    CVantrelMouseDevice mouse(rig.hub.Backend());
    QWidget* page = window->Host().LoadLayout(QString::fromStdString(Skin("mousedevice.ui")),
                                              window->findChild<QStackedWidget*>("device_switch"));
    ASSERT_NE(page, nullptr);
    const auto view = CPageBuilder::MakePage(mouse, window->Host(), window->Host().Wrap(page), &window->Context());
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
    mouse.StopLightingThread();
    window->SetCurrentPage(view.get());
    // The profile's folder is gone (a full or failing disk looks the same): the edit cannot be saved.
    std::filesystem::remove_all(mouse.DataFolder());
    std::vector<QString> told;
    const auto answer = [&told] {
        QTimer::singleShot(50, [&told] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* text = modal->findChild<QLabel*>("MessageText")) told.push_back(text->text());
                if (auto* ok = modal->findChild<QPushButton*>("confirm_btn")) ok->click();
            }
        });
    };
    answer();
    page->findChild<QSlider*>("DPI_slider_3")->setValue(44);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].toStdString(), "“" + mouse.GetProfilePath() + "” could not be saved: the folder does not exist.");
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(0x05)[14 + 9 * 3 + 2], 44);  // the device has it; the file does not
    window->SetCurrentDevice(nullptr);
}

TEST_F(MainWindow, ADialogsCloseButtonClosesOnlyTheDialog) {
    window->show();
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(50, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                if (auto* close = modal->findChild<QPushButton*>("closebtn")) close->click();
        });
        if (round == 0) EXPECT_EQ(ShowMessage(window->Dialogs(), "", "message_text_22", 96, true, kButtonsConfirmCancel), 0);
        else ShowAbout(window->Dialogs(), "1.0");
        QTest::qWait(20);
        EXPECT_TRUE(window->isVisible()) << round;
        EXPECT_FALSE(window->ExitRequested()) << round;
    }
}

TEST(InstanceMessages, LinesRoundTrip) {
    EXPECT_EQ(ParseInstanceMessage("Game_Start 1 3"), (InstanceMessage{"Game_Start", 1, 3}));
    EXPECT_EQ(ParseInstanceMessage("M470"), (InstanceMessage{"M470", 0, 0}));
    EXPECT_FALSE(ParseInstanceMessage("   ").has_value());
    EXPECT_EQ(ParseInstanceMessage("Game_End 2"), (InstanceMessage{"Game_End", 2, 0}));
    // Bad words are no message, not a zero: "Game_Start 0 x" must not show effect 0.
    for (const char* bad : {"Game_Start 0 x", "Game_Start one 2", "Game_Start 0 99999999999999999999", "Game_Start 0 3 4",
                            "Game_Start 0 3x"})
        EXPECT_FALSE(ParseInstanceMessage(bad).has_value()) << bad;
    EXPECT_EQ(FormatInstanceMessage({"M470", 0, 1}), "M470 0 1\n");
}

TEST(SingleInstance, SecondCopyExitsAndRaisesTheFirst) {
    test::TempFolder folder;
    const QString runtime = QString::fromStdString(folder.File("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString program = QString::fromStdString(GetInstallFolder() + "m470");
    const QString log = QString::fromStdString(folder.File("first.log"));
    folder.Write("wait.script", "wait 2500\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("M470_DEBUG_LOG", log);
    test::TestProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {"--script", QString::fromStdString(folder.File("wait.script"))});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(runtime + "/M470"); }, 30000));
    test::TestProcess second;
    QProcessEnvironment quiet = environment;
    quiet.remove("M470_DEBUG_LOG");
    second.setProcessEnvironment(quiet);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_NE(test::TempFolder::ReadFile(log.toStdString()).find("软件标示 M470"), std::string::npos);
    // Closing released the name: a new start runs at once.
    EXPECT_FALSE(QFile::exists(runtime + "/M470"));
}

}  // namespace
}  // namespace m470::qt
