// What the window shows: pictures, tabs, menus, the battery panel, the
// selector entries and the pictures scripts take.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QListView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QListWidget>
#include <QTimer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "devices/HS6533Device.h"
#include "devices/MouseDevice.h"
#include "pages/LightControlUI.h"
#include "panels/MpDevicePower.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "platform/Registry.h"
#include "qt/DeviceKeyButton.h"
#include "qt/ElidingComboBox.h"
#include "ctl/CtlProtocol.h"
#include "qt/MainWnd.h"
#include "qt/QtControl.h"
#include "qt/ScriptRunner.h"
#include "qt/SkinFrame.h"
#include "qt/Dialogs.h"
#include "platform/IniFile.h"
#include "qt/Texts.h"
#include "qt/QtControlHost.h"
#include "ui/Ctl.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

#include <filesystem>
#include <cstdlib>
#include <malloc.h>

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

// The battery is read every few seconds: the same reading again must not
// polish the panel's widgets or load its pictures again, a new one must show.
TEST(WindowPictures, ASameBatteryReadingTouchesNoStyleAndANewOneShows) {
    QDir::setSearchPaths("skin", {QString::fromStdString(GetInstallFolder() + "skin")});  // as the window sets it
    QtControlHost host;
    QWidget* root = host.LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/mpdevicepower.ui"));
    ASSERT_NE(root, nullptr);
    root->show();
    CMpDevicePowerUI panel(host, host.Wrap(root));
    panel.SetKind(DeviceKind::Mouse, 0);
    auto* bar = root->findChild<QWidget*>("device_Power_progress");
    auto* icon = root->findChild<QLabel*>("device_power_status");
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(icon, nullptr);
    const std::array<uint8_t, 6> charged{80, 2, 0, 1, 80, 0};
    panel.ShowStatus(charged.data(), charged.size());
    QApplication::processEvents();
    const QString sheet = bar->styleSheet();
    const qint64 picture = icon->pixmap().cacheKey();
    ASSERT_FALSE(icon->pixmap().isNull());

    struct StyleCount : QObject {
        int changes = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            changes += event->type() == QEvent::StyleChange ? 1 : 0;
            return false;
        }
    } count;
    bar->installEventFilter(&count);
    panel.ShowStatus(charged.data(), charged.size());
    QApplication::processEvents();
    EXPECT_EQ(count.changes, 0);
    EXPECT_EQ(icon->pixmap().cacheKey(), picture);

    const std::array<uint8_t, 6> low{10, 1, 0, 0, 10, 0};
    panel.ShowStatus(low.data(), low.size());
    QApplication::processEvents();
    EXPECT_GT(count.changes, 0);
    EXPECT_NE(bar->styleSheet(), sheet);
    EXPECT_NE(icon->pixmap().cacheKey(), picture);
    EXPECT_EQ(root->findChild<QLabel*>("device_power_value")->text(), "10%");
}

TEST(WindowLighting, GroupsThatDoNotApplyToTheEffectAreNotShown) {
    QtControlHost host;
    QWidget* root = host.LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/lightcontrol.ui"));
    ASSERT_NE(root, nullptr);
    root->show();
    CLightControlUI panel(host, host.Wrap(root));
    panel.SetKind(kLightKindKeyboard);
    const char* groups[] = {"deng_7color_check", "deng_color_layout", "colorpallet_layout", "deng_light_layout", "deng_speed_layout"};
    panel.ApplyEnableRules(99);  // no such effect: nothing applies
    for (const char* name : groups) EXPECT_TRUE(root->findChild<QWidget*>(name)->isHidden()) << name;
    int bright = -1;
    for (int mode = 0; mode <= 32 && bright < 0; ++mode) {
        panel.ApplyEnableRules(mode);
        if (root->findChild<QWidget*>("deng_light_layout")->isEnabled()) bright = mode;
    }
    ASSERT_GE(bright, 0);
    EXPECT_FALSE(root->findChild<QWidget*>("deng_light_layout")->isHidden());
    delete root;
}

// A tab's layout loaded at its first show joins its page as one loaded with
// it would: in the language in force, its widgets adopted, and in the Tab
// order right behind its page's widgets, not after what was made since.
TEST(WindowTabs, ALayoutLoadedAtItsFirstShowJoinsInTheLanguageAndTabOrderOfItsPage) {
    LanguageTable chinese;
    ASSERT_TRUE(chinese.Load(GetInstallFolder() + "skin/lang/zh.json"));
    ASSERT_TRUE(chinese.Has("keyset_apply_button"));
    QtControlHost host;
    host.SetLanguage(&chinese);
    QWidget window;
    auto* box = new QVBoxLayout(&window);
    QWidget* page = host.LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/mousedevice.ui"), &window);
    ASSERT_NE(page, nullptr);
    box->addWidget(page);
    auto* later = new QLineEdit(&window);  // made after the page, as a product's entry arriving later
    later->setObjectName("later_edit");
    box->addWidget(later);
    host.Adopt(&window);  // as the window adopts itself
    window.show();
    QWidget* holder = page->findChild<QWidget*>("KeySetControlItem");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(page->findChild<QWidget*>("key_butt_keysave"), nullptr);  // held until asked for

    ASSERT_TRUE(host.LoadHeldLayout(host.Wrap(holder)));
    auto* apply = page->findChild<QAbstractButton*>("key_butt_keysave");
    ASSERT_NE(apply, nullptr);
    EXPECT_EQ(apply->text().toStdString(), chinese.Text("keyset_apply_button"));
    EXPECT_NE(host.Find("key_butt_keysave"), nullptr);
    EXPECT_TRUE(host.LoadHeldLayout(host.Wrap(holder)));  // loaded once
    EXPECT_EQ(page->findChildren<QAbstractButton*>("key_butt_keysave").size(), 1);
    // The Tab chain from the page's first widget reaches the panel's buttons before the later edit.
    bool applySeen = false;
    for (QWidget* widget = window.nextInFocusChain(); widget != &window; widget = widget->nextInFocusChain()) {
        if (widget == later) break;
        applySeen = applySeen || widget == apply;
    }
    EXPECT_TRUE(applySeen);
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
        QTest::qWaitFor([&] { return code >= 0; }, 30000);
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
    // The click came after the picture; clicked back, the button's old text takes its place again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return DifferentPixels(taken, bar->grab().toImage()) > 0; }, 30000));
    ASSERT_EQ(Play({"click control_light_status"}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return DifferentPixels(taken, bar->grab().toImage()) == 0; }, 30000));
}

// A mouse with its page in the window, read from the virtual mouse.
class MousePage : public Window {
protected:
    void SetUp() override {
        Window::SetUp();
        rig.hub.Plug("mouse");
        page = window->Host().LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/mousedevice.ui"),
                                         window->findChild<QStackedWidget*>("device_switch"));
        ASSERT_NE(page, nullptr);
        view = CPageBuilder::MakePage(mouse, window->Host(), window->Host().Wrap(page), &window->Context());
        rig.Open(mouse.Transport(), "mouse", LinkWired);
        ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
        mouse.StopLightingThread();
        window->SetCurrentPage(view.get());
    }
    void TearDown() override { window->SetCurrentDevice(nullptr); }
    template <typename Widget>
    Widget* On(const char* name) {
        return page->findChild<Widget*>(name);
    }
    int SettingsPage() { return On<QStackedWidget>("mouse_device_seting_layout")->currentIndex(); }
    test::VirtualRig rig;
    CVantrelMouseDevice mouse{rig.hub.Backend()};
    std::unique_ptr<CDevicePage> view;
    QWidget* page = nullptr;
};

TEST_F(MousePage, OptionTabsShowTheirPanelAndUnbuiltOnesAreHidden) {
    // The buttons and macros tabs have their panels now.
    EXPECT_FALSE(On<QAbstractButton>("key_Op_tab")->isHidden());
    EXPECT_FALSE(On<QAbstractButton>("macro_Op_tab")->isHidden());
    On<QAbstractButton>("key_Op_tab")->click();
    EXPECT_EQ(SettingsPage(), 2);
    EXPECT_EQ(view->GetFunctionPage(), 2);  // the picture's buttons pick keys for assignment
    On<QAbstractButton>("macro_Op_tab")->click();
    EXPECT_EQ(SettingsPage(), 5);
    EXPECT_EQ(view->GetFunctionPage(), 1);
    EXPECT_FALSE(On<QAbstractButton>("deng_Op_tab")->isHidden());
    On<QAbstractButton>("deng_Op_tab")->click();
    EXPECT_EQ(SettingsPage(), 3);
    On<QAbstractButton>("cursor_Op_tab")->click();
    EXPECT_EQ(SettingsPage(), 1);
    On<QAbstractButton>("system_Op_tab")->click();
    EXPECT_EQ(SettingsPage(), 0);
    // Title-bar buttons without an action are not offered.
    for (const char* name : {"gamemodebtn", "cloudbtn", "smarteyesbtn"})
        EXPECT_TRUE(window->findChild<QWidget*>(name)->isHidden()) << name;
    EXPECT_FALSE(window->findChild<QWidget*>("setbtn")->isHidden());
    EXPECT_FALSE(window->findChild<QWidget*>("skinbtn")->isHidden());  // the background chooser
}

TEST_F(MousePage, ALongProfileNameIsElidedWithItsWholeTextAsTooltip) {
    auto* combo = qobject_cast<ElidingComboBox*>(On<QComboBox>("device_profile_combo"));
    ASSERT_NE(combo, nullptr);
    const QString name = "A very long profile name for tournament evenings with friends";
    combo->setItemText(combo->currentIndex(), name);
    QApplication::processEvents();
    EXPECT_TRUE(combo->ShownText().endsWith(QChar(0x2026))) << combo->ShownText().toStdString();
    EXPECT_LT(combo->ShownText().size(), name.size());
    EXPECT_EQ(combo->toolTip(), name);
}

// A box's drop-down list is made when it is first opened, not for every box
// of every tab as the style sheet reaches it; the box's size, the list's rows
// and font are then those of a plain box made the same way.
TEST_F(MousePage, ABoxNotYetShownHasNoListUntilOpenedAndThenTheUsualOne) {
    window->findChild<QStackedWidget*>("device_switch")->setCurrentWidget(page);
    window->show();
    QApplication::processEvents();
    // The lighting tab loads at its first show; a client (m470ctl) asking
    // for its panel loads it while it is not shown.
    EXPECT_EQ(On<QComboBox>("light_combo_modeSelect"), nullptr);
    ASSERT_NE(view->Lighting(), nullptr);
    // The lighting tab's boxes, not shown yet, those hiding some of their rows too.
    QList<QComboBox*> withoutList;
    int boxes = 0;
    for (QComboBox* any : On<QWidget>("mouse_page_light")->findChildren<QComboBox*>()) {
        ++boxes;
        EXPECT_FALSE(any->isVisible());
        if (any->findChild<QAbstractItemView*>() == nullptr) withoutList.push_back(any);
    }
    EXPECT_EQ(withoutList.size(), boxes);
    On<QAbstractButton>("deng_Op_tab")->click();
    QApplication::processEvents();
    // An effect whose own box shows.
    QComboBox* box = nullptr;
    auto* effects = On<QComboBox>("light_combo_modeSelect");
    for (int effect = 0; effect < effects->count() && box == nullptr; ++effect) {
        effects->setCurrentIndex(effect);
        QApplication::processEvents();
        for (QComboBox* any : withoutList)
            if (box == nullptr && any != effects && any->isVisible()) box = any;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->findChild<QAbstractItemView*>(), nullptr);
    ASSERT_GE(box->count(), 2);
    // A row hidden before the list exists: told at once, and left out when the list is made.
    ui::Control* control = window->Host().Wrap(box);
    control->SetItemVisible(1, false);
    EXPECT_FALSE(control->ItemVisible(1));
    EXPECT_TRUE(control->ItemVisible(0));
    EXPECT_EQ(box->findChild<QAbstractItemView*>(), nullptr);

    auto* plain = new QComboBox(box->parentWidget());
    for (int i = 0; i < box->count(); ++i) plain->addItem(box->itemText(i));
    plain->setCurrentIndex(box->currentIndex());
    plain->show();
    QApplication::processEvents();
    EXPECT_EQ(box->sizeHint(), plain->sizeHint());
    EXPECT_EQ(box->minimumSizeHint(), plain->minimumSizeHint());

    box->showPopup();
    QApplication::processEvents();
    auto* list = box->findChild<QAbstractItemView*>();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->model()->rowCount(), box->count());
    EXPECT_EQ(list->font(), box->font());
    EXPECT_EQ(list->currentIndex().row(), box->currentIndex());
    auto* rows = qobject_cast<QListView*>(list);
    ASSERT_NE(rows, nullptr);
    for (int row = 0; row < box->count(); ++row) EXPECT_EQ(rows->isRowHidden(row), row == 1) << row;
    box->hidePopup();
    // Shown again once the list exists: at once in the list too.
    control->SetItemVisible(1, true);
    EXPECT_FALSE(rows->isRowHidden(1));
    EXPECT_TRUE(control->ItemVisible(1));
    delete plain;
}

// The box painted again and again under the window's style sheet holds no
// more memory: its arrow once left a new picture in the pixmap cache at every
// paint, never let go, and a window left open for days kept growing.
TEST_F(MousePage, TheProfileBoxPaintedAgainAndAgainHoldsNoMoreMemory) {
    auto* combo = On<QComboBox>("device_profile_combo");
    ASSERT_NE(combo, nullptr);
    // The drop-down arrow shows: light pixels in its area of the dark box.
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.subControls = QStyle::SC_All;
    const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, combo);
    const QImage shown = combo->grab().toImage();
    int light = 0;
    for (int y = arrow.top(); y <= arrow.bottom(); ++y)
        for (int x = arrow.left(); x <= arrow.right(); ++x) light += shown.pixelColor(x, y).lightness() > 128 ? 1 : 0;
    EXPECT_GE(light, 4) << "no arrow in " << arrow.x() << "," << arrow.y() << " " << arrow.width() << "x" << arrow.height();

    const auto heapInUse = [] {
        const struct mallinfo2 heap = ::mallinfo2();
        return static_cast<long>(heap.uordblks + heap.hblkhd);
    };
    {
        // A sanitizer's allocator keeps its blocks outside what the C library counts.
        const long unprobed = heapInUse();
        auto* volatile probe = static_cast<char*>(std::malloc(1 << 20));
        ASSERT_NE(probe, nullptr);
        probe[0] = 1;
        const bool counted = heapInUse() - unprobed >= (1 << 20);
        std::free(probe);
        if (!counted) GTEST_SKIP() << "the C library's heap figure does not count this allocator's blocks";
    }
    QPixmap target(combo->size());
    const auto paint = [&](int times) {
        for (int i = 0; i < times; ++i) combo->render(&target);
    };
    paint(20);  // what the first paints set up for good (fonts, the style's rules)
    const long before = heapInUse();
    paint(500);
    EXPECT_LT(heapInUse() - before, 100 * 1024) << "after 500 paints";
}

TEST_F(MousePage, ThePointerPageShowsTheStoredValues) {
    const Json::Value stored = LoadJson(mouse.GetProfilePath())["Device"][0]["SystemStages"];
    ASSERT_TRUE(stored.isObject());
    EXPECT_EQ(On<QAbstractSlider>("pointer_speed_slider")->value(), stored["MouseSpeed"].asInt());
    EXPECT_EQ(On<QAbstractSlider>("double_click_slider")->value(), stored["DoubleClickTime"].asInt());
    EXPECT_EQ(On<QAbstractSlider>("scroll_speed_slider")->value(), stored["WheelScorlllinse"].asInt());
    EXPECT_EQ(On<QCheckBox>("pointer_precision_check")->isChecked(), stored["PointerPrecision"].asInt() != 0);
    EXPECT_NE(stored["MouseSpeed"].asInt(), 1);  // the factory values are not the sliders' minimum
    ASSERT_NE(On<QLabel>("scroll_speed_label"), nullptr);
    ApplyTexts(page, window->Language());
    EXPECT_EQ(On<QLabel>("scroll_speed_label")->text().toStdString(), window->Text("scroll_speed"));
}

TEST_F(MousePage, TheLanguageMenuSwitchesTextsSetInCodeFontAndTooltips) {
    window->findChild<QAbstractButton*>("setbtn")->click();
    auto* menu = window->findChild<QMenu*>("setting_menu");
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(menu->findChild<QAction*>("about_menu"), nullptr);
    QAction* chinese = nullptr;
    for (QAction* action : menu->findChildren<QAction*>())
        if (action->objectName() == "language_0") chinese = action;
    ASSERT_NE(chinese, nullptr);
    chinese->trigger();
    menu->close();
    EXPECT_EQ(window->LanguageIndex(), 0);
    EXPECT_EQ(window->findChild<QLabel*>("nodevice_label")->text(), QString::fromUtf8("未检测到设备"));
    EXPECT_EQ(window->findChild<QWidget*>("setbtn")->toolTip(), QString::fromUtf8("设置"));
    EXPECT_EQ(On<QWidget>("device_add_btn")->toolTip().toStdString(), window->Text("profile_new_text"));
    EXPECT_NE(On<QWidget>("device_add_btn")->toolTip(), "profile_new_text");
    // The style sheet names the font, and it names the language's family.
    EXPECT_EQ(window->findChild<QLabel*>("nodevice_label")->font().families().value(0), QString::fromUtf8("汉仪菱心体简"));
    window->ApplyLanguage(1);
    EXPECT_EQ(window->findChild<QWidget*>("setbtn")->toolTip(), "Settings");
    EXPECT_EQ(window->findChild<QLabel*>("nodevice_label")->font().families().value(0), "Verdana Unicode MS");
}

// The headset alone in a window of the smallest size: its page, with the
// longest tab (the equaliser, with its not-applied line), fits the view.
TEST_F(Window, TheHeadsetPageFitsTheWindowWithoutScrolling) {
    test::VirtualRig rig;
    rig.hub.Plug("headset");
    CVantrelHS6533Device headset(rig.hub.Backend(), DefaultProduct(DeviceKind::Headset), "/nonexistent/libosconf.so");
    // Placed as the device manager places a new product's page.
    auto* pages = window->findChild<QStackedWidget*>("device_switch");
    ui::Control* root = window->Host().LoadLayoutInto(GetInstallFolder() + "skin/hs6533device.ui", window->Host().Wrap(pages));
    ASSERT_NE(root, nullptr);
    QWidget* page = pages->widget(pages->count() - 1);
    pages->setCurrentWidget(page);
    auto view = CPageBuilder::MakePage(headset, window->Host(), root, &window->Context());
    rig.Open(headset.Transport(), "headset", LinkWired);
    ASSERT_EQ(headset.ReadFromDevice(), kResultSuccess);
    headset.StopLightingThread();
    window->SetCurrentPage(view.get());
    view->ShowOptionTab(6);
    auto* scroll = window->findChild<QScrollArea*>("device_switch_scroll");
    ASSERT_NE(scroll, nullptr);
    for (int language : {1, 0}) {  // English, Chinese
        // The language chosen on the no-product page, then the headset's page shown.
        pages->setCurrentIndex(0);
        window->ApplyLanguage(language);
        ApplyTexts(page, window->Language());
        QApplication::processEvents();
        pages->setCurrentWidget(page);
        QTest::qWait(50);
        const QRect shown = scroll->viewport()->rect();
        for (const char* name : {"hs_eq_hz_label_0", "hs_eq_hz_label_9", "hs_EQ_btn_delete", "hs_eq_not_applied_label",
                                 "magic_Op_tab", "6533_MicIn_slider", "6533_eq_option_7"}) {
            auto* widget = page->findChild<QWidget*>(name);
            ASSERT_NE(widget, nullptr) << name;
            EXPECT_TRUE(widget->isVisible()) << name;
            const QRect place(widget->mapTo(scroll->viewport(), QPoint(0, 0)), widget->size());
            EXPECT_TRUE(shown.contains(place)) << "language " << language << ": " << name << " at " << place.x() << ","
                                               << place.y() << " " << place.width() << "x" << place.height();
        }
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "language " << language;
    }
    window->SetCurrentDevice(nullptr);
}

// A product's page that arrives behind the page shown is neither sized nor
// styled until it is shown (the style sheet's pass over it was most of an
// arrival), and then lies out and looks exactly as a page built while shown.
TEST_F(Window, APageArrivingBehindTheShownOneIsStyledWhenShownAndThenLooksTheSame) {
    auto* pages = window->findChild<QStackedWidget*>("device_switch");
    ASSERT_NE(pages, nullptr);
    // Filled as its panels fill it: a box's size follows its items.
    const auto load = [&]() -> QWidget* {
        ui::Control* root = window->Host().LoadLayoutInto(GetInstallFolder() + "skin/keyboarddevice.ui", window->Host().Wrap(pages));
        // Its lighting tab, as once its panel is made (a client asked for it).
        if (root != nullptr) window->Host().LoadHeldLayout(window->Host().FindUnder(root, "LightControlItem"));
        QWidget* page = root != nullptr ? pages->widget(pages->count() - 1) : nullptr;
        if (page != nullptr)
            if (auto* profiles = page->findChild<QComboBox*>("device_profile_combo")) profiles->addItems({"profile1", "a longer profile"});
        return page;
    };
    QWidget* built = load();
    ASSERT_NE(built, nullptr);
    pages->setCurrentWidget(built);
    QApplication::processEvents();
    QWidget* behind = load();
    ASSERT_NE(behind, nullptr);
    QApplication::processEvents();
    const QList<QWidget*> widgets = behind->findChildren<QWidget*>();
    ASSERT_GT(widgets.size(), 250);  // the keyboard page, its keys and lighting tabs
    // The lighting panel's swatches take their colours as the layout is adopted, before the page is placed.
    int polished = 0, keys = 0;
    for (QWidget* widget : widgets) {
        if (!widget->testAttribute(Qt::WA_WState_Polished)) continue;
        ++polished;
        if (qobject_cast<DeviceKeyButton*>(widget) != nullptr) ++keys;
    }
    EXPECT_EQ(keys, 0);
    EXPECT_LT(polished, widgets.size() / 3);

    pages->setCurrentWidget(behind);
    QApplication::processEvents();
    int compared = 0;
    for (QWidget* widget : widgets) {
        if (!widget->isVisible() || widget->objectName().isEmpty()) continue;
        EXPECT_TRUE(widget->testAttribute(Qt::WA_WState_Polished)) << widget->objectName().toStdString();
        const auto* twin = built->findChild<QWidget*>(widget->objectName());
        ASSERT_NE(twin, nullptr) << widget->objectName().toStdString();
        EXPECT_EQ(widget->geometry(), twin->geometry()) << widget->objectName().toStdString();
        EXPECT_EQ(widget->font(), twin->font()) << widget->objectName().toStdString();
        EXPECT_EQ(widget->palette().color(QPalette::Window), twin->palette().color(QPalette::Window))
            << widget->objectName().toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 150);
    // Pixel for pixel the same page.
    pages->setCurrentWidget(built);
    QApplication::processEvents();
    const QImage before = built->grab().toImage();
    pages->setCurrentWidget(behind);
    QApplication::processEvents();
    EXPECT_EQ(DifferentPixels(before, behind->grab().toImage()), 0);
}

TEST_F(Window, AboutIsInTheSettingsMenuAndOkWithoutATrayEnds) {
    window->findChild<QAbstractButton*>("setbtn")->click();
    auto* menu = window->findChild<QMenu*>("setting_menu");
    ASSERT_NE(menu, nullptr);
    QAction* about = menu->findChild<QAction*>("about_menu");
    ASSERT_NE(about, nullptr);
    bool shown = false;
    QTimer::singleShot(100, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = modal->objectName() == "aboutwnd";
            modal->close();
        }
    });
    about->trigger();
    EXPECT_TRUE(shown);
    menu->close();
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());  // offscreen: no tray
    QSignalSpy ended(window.get(), &CMainWnd::exitRequested);
    window->findChild<QAbstractButton*>("closebtn")->click();
    EXPECT_EQ(ended.count(), 1);  // no invisible process left behind
}

TEST_F(Window, OptionsOfOneGroupNameOnTwoPagesAreTwoGroups) {
    auto* pages = window->findChild<QStackedWidget*>("device_switch");
    QWidget* mousePage = window->Host().LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/mousedevice.ui"), pages);
    QWidget* padPage = window->Host().LoadLayout(QString::fromStdString(GetInstallFolder() + "skin/mousepaddevice.ui"), pages);
    ASSERT_NE(mousePage, nullptr);
    ASSERT_NE(padPage, nullptr);
    pages->addWidget(mousePage);
    pages->addWidget(padPage);
    window->Host().Adopt(mousePage);
    window->Host().Adopt(padPage);
    auto* mouseTab = mousePage->findChild<QAbstractButton*>("system_Op_tab");
    auto* mouseOther = mousePage->findChild<QAbstractButton*>("deng_Op_tab");
    auto* padTab = padPage->findChild<QAbstractButton*>("deng_Op_tab");
    mouseTab->setChecked(true);
    padTab->setChecked(true);
    EXPECT_TRUE(mouseTab->isChecked());  // the pad's choice leaves the mouse's alone
    mouseOther->setChecked(true);
    EXPECT_FALSE(mouseTab->isChecked());  // within one page they still exclude each other
    EXPECT_TRUE(padTab->isChecked());
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
    const auto settingsWrites = [&] {
        size_t writes = 0;
        for (const TrafficEntry& entry : rig.hub.Traffic().Entries())
            writes += entry.request[3] == 0x06 && entry.request[5] == 0 && entry.request[6] == 0 ? 1 : 0;
        return writes;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return settingsWrites() >= 1; }, 30000));
    EXPECT_EQ(mouse.GetLightInfo().selectItem, 1 + 999 % 3);
    EXPECT_LE(settingsWrites(), 4u);
    window->SetCurrentDevice(nullptr);
}


// A real program linked to the second profile: the window's look switches
// the mouse to it while it runs and back when it ends; turned off in the
// settings menu, the choice is kept and nothing switches.
// A copy of sleep as the game, its profile the second, the first one shown.
std::string LinkAGame(const test::TempFolder& folder, CDevicePage& view) {
    const std::string game = folder.File("m470-test-game");
    std::filesystem::copy_file(QStandardPaths::findExecutable("sleep").toStdString(), game);
    CDeviceProfileUI& strip = *view.ProfileStrip();
    EXPECT_TRUE(strip.NewProfile());
    EXPECT_TRUE(strip.LinkCurrent(game));
    EXPECT_TRUE(view.ProfileStripPanel()->SwitchTo(strip.GetProfileList()[0]["profileUUID"].asString()));
    return game;
}

TEST_F(MousePage, AProfileFollowsALinkedProgramThatRunsAndTheMenuTurnsItOff) {
    // With no profile linked to a program, no look wakes the window.
    window->Games().Start();
    EXPECT_FALSE(window->Games().Looking());
    const std::string game = LinkAGame(folder, *view);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Games().Looking(); }, 30000)) << "the link starts the looks";
    CDeviceProfileUI& strip = *view->ProfileStrip();
    auto* combo = On<QComboBox>("device_profile_combo");
    ASSERT_EQ(combo->currentIndex(), 0);
    window->Games().LookNow();
    EXPECT_EQ(combo->currentIndex(), 0);

    QProcess running;
    running.start(QString::fromStdString(game), {"60"});
    ASSERT_TRUE(running.waitForStarted());
    rig.hub.Traffic().Clear();
    window->Games().LookNow();
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(mouse.ProfileName(), strip.GetProfileList()[1]["profileUUID"].asString());
    EXPECT_FALSE(rig.hub.Traffic().Entries().empty());
    EXPECT_THAT(window->Games().LastNotice(), ::testing::EndsWith(": profile “profile2” for m470-test-game"));
    running.kill();
    ASSERT_TRUE(running.waitForFinished());
    window->Games().LookNow();
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_THAT(window->Games().LastNotice(), ::testing::EndsWith(": back to profile “profile1”"));

    ASSERT_EQ(Play({"click setbtn", "trigger game_profiles_menu"}), 0);
    EXPECT_FALSE(window->Games().On());
    EXPECT_EQ(LoadJson(folder.File("config/M470/registry.json"))["GameProfiles"].asString(), "0");
    running.start(QString::fromStdString(game), {"60"});
    ASSERT_TRUE(running.waitForStarted());
    window->Games().LookNow();
    EXPECT_EQ(combo->currentIndex(), 0);
    // Turned on again by a hand edit of the file: followed while the window runs.
    ASSERT_TRUE(RegistryStore(folder.File("config/M470/registry.json")).Write("GameProfiles", "1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Games().On(); }, 30000));
    window->Games().LookNow();
    EXPECT_EQ(combo->currentIndex(), 1);
    running.kill();
    running.waitForFinished();

    // The link taken away: once the held profile is given back, the looks rest.
    window->Games().LookNow();
    EXPECT_EQ(combo->currentIndex(), 0);
    ASSERT_TRUE(view->ProfileStripPanel()->SwitchTo(strip.GetProfileList()[1]["profileUUID"].asString()));
    ASSERT_TRUE(strip.LinkCurrent(""));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->Games().Looking(); }, 30000));
}

// The window closing while a game runs gives the profile before it back:
// the next start, with no game running, must not keep the game's for good.
TEST_F(MousePage, ClosingTheWindowWhileAGameRunsGivesTheProfileBack) {
    const std::string game = LinkAGame(folder, *view);
    CDeviceProfileUI& strip = *view->ProfileStrip();
    QProcess running;
    running.start(QString::fromStdString(game), {"60"});
    ASSERT_TRUE(running.waitForStarted());
    window->Games().LookNow();
    ASSERT_EQ(LoadJson(strip.GetProfileFilePath(0).substr(0, strip.GetProfileFilePath(0).rfind('/') + 1) + "ProfileList.ini")["profileselect"].asInt(), 1);
    rig.hub.Traffic().Clear();
    window->RequestExit();
    EXPECT_EQ(mouse.ProfileName(), strip.GetProfileList()[0]["profileUUID"].asString());
    EXPECT_EQ(LoadJson(strip.GetProfileFilePath(0).substr(0, strip.GetProfileFilePath(0).rfind('/') + 1) + "ProfileList.ini")["profileselect"].asInt(), 0);
    EXPECT_FALSE(rig.hub.Traffic().Entries().empty()) << "the profile given back is written to the mouse";
    running.kill();
    running.waitForFinished();
}

// How much of the widget's area shows nearly this colour in its window.
double ShareOfColour(QWidget* widget, QColor colour) {
    QWidget* top = widget->window();
    const QImage picture = top->grab(QRect(widget->mapTo(top, QPoint(0, 0)), widget->size())).toImage();
    int near = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor seen = picture.pixelColor(x, y);
            near += std::abs(seen.red() - colour.red()) + std::abs(seen.green() - colour.green()) +
                            std::abs(seen.blue() - colour.blue()) < 30 ? 1 : 0;
        }
    return static_cast<double>(near) / std::max(1, picture.width() * picture.height());
}

CSkinFrame* OpenSkinPopup() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* frame = qobject_cast<CSkinFrame*>(widget); frame && frame->isVisible()) return frame;
    return nullptr;
}

TEST_F(MousePage, TheChosenBackgroundShowsBehindThePagesAndPicturesAreRecorded) {
    auto* pages = window->findChild<QWidget*>("device_switch");
    ASSERT_NE(pages, nullptr);
    EXPECT_LT(ShareOfColour(pages, Qt::red), 0.01);
    ASSERT_EQ(Play({"click skinbtn"}), 0);
    CSkinFrame* frame = OpenSkinPopup();
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(frame->findChild<QAbstractButton*>("skin_image")->text(), "skin_image_text");  // in the language
    QTest::mouseClick(frame->findChild<QAbstractButton*>("skin_image_btn_0"), Qt::LeftButton);
    EXPECT_EQ(ReadIniValue(GetAppDataFolder() + "main.ini", "SKINIMAGE", "IMAGE"), "background/bg_1.png");
    EXPECT_EQ(ReadIniValue(GetAppDataFolder() + "main.ini", "SKINIMAGE", "FLAGS"), "1");
    // A picture of the user's own, its name full of characters a style sheet would choke on.
    QImage red(64, 64, QImage::Format_RGB32);
    red.fill(Qt::red);
    const std::string own = folder.File("my \"red\" (1); x.png");
    ASSERT_TRUE(red.save(QString::fromStdString(own)));
    SetNextFileChoice(own);
    QTest::mouseClick(frame->findChild<QAbstractButton*>("skin_Custom"), Qt::LeftButton);
    // The pop-up goes, then the window asks for the file and shows it through the page's containers.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ShareOfColour(pages, Qt::red) > 0.3; }, 30000));
    EXPECT_EQ(OpenSkinPopup(), nullptr);
    EXPECT_EQ(ReadIniValue(GetAppDataFolder() + "main.ini", "SKINIMAGE", "IMAGE"), "background/bg_1.png");  // own pictures are not recorded
    // The layout's own background again: the pages are opaque as before.
    window->ReceiveSkin({false, 0, kDefaultSkinImage});
    QApplication::processEvents();
    EXPECT_LT(ShareOfColour(pages, Qt::red), 0.01);
}

// An m470ctl request while a dialog of the window waits for the user is
// refused: the dialog's handler finds the page as it left it.
TEST_F(MousePage, AControlRequestWaitsUntilNoDialogIsOpen) {
    const auto exitOf = [this](const std::vector<std::string>& words) {
        const std::string line = window->HandleControlRequest(words);
        const auto reply = ctl::ParseReply(line.substr(0, line.size() - 1));
        return reply ? reply->exitCode : -1;
    };
    QDialog dialog(window.get());
    dialog.setModal(true);
    dialog.show();
    QApplication::processEvents();
    ASSERT_NE(QApplication::activeModalWidget(), nullptr);
    rig.hub.Traffic().Clear();
    const std::string line = window->HandleControlRequest({"mouse", "set", "report-rate", "500"});
    EXPECT_NE(line.find("waits for an answer in a dialog"), std::string::npos) << line;
    EXPECT_EQ(exitOf({"list"}), 1);
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());
    dialog.close();
    QApplication::processEvents();
    EXPECT_EQ(exitOf({"--version"}), 0);
}

}  // namespace
}  // namespace m470::qt
