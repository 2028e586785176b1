// The window on a real X server (Xvfb, started here) at a given screen size
// and scale factor: it lies inside the screen, and at its minimum size every
// page shows its controls whole, none over another, all without scrolling; on
// a screen smaller than that minimum, all reached by scrolling.
//   m470_screen_tests WIDTHxHEIGHT SCALE [gtest options]
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "audio/AudioLibrary.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "qt/ColorPalette.h"
#include "qt/DeviceKeyButton.h"
#include "qt/MainWnd.h"
#include "shell/WindowPlacement.h"
#include "sim/VirtualDeviceHub.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

QString gScreen = "1280x720";

// A widget the user reads or works: the parts of combos, lists and spin boxes are theirs.
bool IsControl(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
           qobject_cast<const QComboBox*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget) || qobject_cast<const QProgressBar*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const ColorPalette*>(widget) ||
           (qobject_cast<const QLabel*>(widget) && !static_cast<const QLabel*>(widget)->text().isEmpty());
}

bool InsideAControl(const QWidget* widget, const QWidget* top) {
    for (const QWidget* up = widget->parentWidget(); up != nullptr && up != top; up = up->parentWidget())
        if (IsControl(up)) return true;
    return false;
}

QRect OnWindow(const QWidget* widget, const QWidget* window) {
    return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
}

// What the user can see of the widget's place: its ancestors clip it. The
// pages' scroll area lets a page taller than the window scroll; sideways only
// on a screen narrower than the window's minimum (scrollsBothWays).
// The first ancestor that cuts the widget's place, or nullptr.
const QWidget* CuttingParent(const QWidget* widget, const QWidget* window, bool scrollsBothWays) {
    const QRect wanted = OnWindow(widget, window);
    bool scrolled = false;  // inside the scroll area: only its width clips
    for (const QWidget* up = widget->parentWidget(); up != nullptr && up != window; up = up->parentWidget()) {
        QRect place = OnWindow(up, window);
        scrolled = scrolled || qobject_cast<const QScrollArea*>(up->parentWidget()) != nullptr;
        if (scrolled && scrollsBothWays) return nullptr;
        if (scrolled) place = QRect(place.x(), wanted.y(), place.width(), wanted.height());
        if (!place.contains(wanted)) return up;
    }
    return nullptr;
}

// The width the control's text needs, or 0 when it wraps, elides or is no text.
int NeededWidth(const QWidget* widget) {
    if (auto* key = qobject_cast<const DeviceKeyButton*>(widget))
        return key->text().isEmpty() ? 0 : QFontMetrics(key->LegendFont()).horizontalAdvance(key->text()) + 2;
    if (qobject_cast<const QRadioButton*>(widget) || qobject_cast<const QCheckBox*>(widget))
        return static_cast<const QAbstractButton*>(widget)->text().isEmpty() ? 0 : widget->sizeHint().width();
    if (auto* button = qobject_cast<const QPushButton*>(widget))
        return button->text().isEmpty() ? 0 : button->fontMetrics().horizontalAdvance(button->text()) + 4;
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->wordWrap() || Qt::mightBeRichText(label->text())) return 0;
        return label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin();
    }
    return 0;
}

int TextWidthAvailable(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->contentsRect().width();
    return widget->width();
}

std::string Describe(const QWidget* widget, const QWidget* window) {
    const QRect r = OnWindow(widget, window);
    std::string text;
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) text = button->text().toStdString();
    if (auto* label = qobject_cast<const QLabel*>(widget)) text = label->text().toStdString();
    return widget->objectName().toStdString() + " \"" + text + "\" at " + std::to_string(r.x()) + "," +
           std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" + std::to_string(r.height());
}

// Every fault of the page as shown: a control cut by its parents or by its
// own text, two controls on one place, a keycap legend below 9 points.
std::vector<std::string> LayoutFaults(QWidget* window, QWidget* page, bool scrollsBothWays = false) {
    std::vector<const QWidget*> controls;
    for (const QWidget* widget : page->findChildren<QWidget*>())
        if (widget->isVisible() && IsControl(widget) && !InsideAControl(widget, page)) controls.push_back(widget);
    std::vector<std::string> faults;
    for (const QWidget* control : controls) {
        if (const QWidget* parent = CuttingParent(control, window, scrollsBothWays))
            faults.push_back("cut by " + parent->objectName().toStdString() + ": " + Describe(control, window));
        if (const int needed = NeededWidth(control); needed > TextWidthAvailable(control))
            faults.push_back("text wider (" + std::to_string(needed) + ") than its control: " + Describe(control, window));
        if (qobject_cast<const DeviceKeyButton*>(control) && !static_cast<const QAbstractButton*>(control)->text().isEmpty() &&
            static_cast<const DeviceKeyButton*>(control)->LegendFont().pointSizeF() < 9)
            faults.push_back("keycap legend below 9 pt: " + Describe(control, window));
    }
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j)
            if (OnWindow(controls[i], window).intersects(OnWindow(controls[j], window)))
                faults.push_back("overlap: " + Describe(controls[i], window) + " and " + Describe(controls[j], window));
    return faults;
}

// Every control the page shows without scrolling it: inside the page area
// at rest, and none under the status bar.
std::vector<std::string> ReachFaults(QWidget* window, QWidget* page) {
    auto* scroll = window->findChild<QScrollArea*>("device_switch_scroll");
    const QWidget* status = window->findChild<QWidget*>("status_bar");
    if (scroll == nullptr || status == nullptr) return {"no page area or status bar"};
    scroll->verticalScrollBar()->setValue(0);
    const QRect area = OnWindow(scroll->viewport(), window), bar = OnWindow(status, window);
    std::vector<std::string> faults;
    for (const QWidget* widget : page->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !IsControl(widget) || InsideAControl(widget, page)) continue;
        const QRect place = OnWindow(widget, window);
        if (!area.contains(place)) faults.push_back("reached only by scrolling: " + Describe(widget, window));
        else if (place.intersects(bar)) faults.push_back("under the status bar: " + Describe(widget, window));
    }
    return faults;
}

class WindowOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        hub.PlugAll({"mouse", "keyboard", "mousepad", "headset"});
        SetDefaultHidBackend(hub.Backend());
        SetDefaultAudioLibraryPath(AudioLibraryPath(true));
    }
    void Open() {
        window = std::make_unique<CMainWnd>(QString::fromStdString(GetInstallFolder()));
        ASSERT_TRUE(window->InitWindow());
        window->FitToMonitor();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->OnWindowInit();
    }
    void TearDown() override {
        if (window) window->RequestExit();
        window.reset();
    }
    // The layouts' pending requests done, the page drawn as the user sees it.
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            QTest::qWait(30);
        }
    }
    QRect Screen() const { return window->screen()->availableGeometry(); }
    bool ScreenHoldsTheMinimum() const {
        return Screen().width() >= CMainWnd::kMinimumSize.width() && Screen().height() >= CMainWnd::kMinimumSize.height();
    }
    void StartWithFourPages() {
        window->StartDeviceManager(hub.Backend());
        for (int i = 0; i < 500 && window->Pages().Pages().size() < 4; ++i) QTest::qWait(10);
        ASSERT_EQ(window->Pages().Pages().size(), 4u);
    }
    // Each tab of each product's page shown in turn, in English then Chinese;
    // on the Keys tab with a key chosen, so that its assignment panel shows too
    // (not the left button: that one stays as it is, and says so).
    void ForEachTab(const std::function<void(QWidget* page, const std::string& where)>& check) {
        auto* pages = window->findChild<QStackedWidget*>("device_switch");
        ASSERT_NE(pages, nullptr);
        for (int language : {1, 0}) {
            window->ApplyLanguage(language);
            for (QAbstractButton* entry : window->findChildren<QAbstractButton*>("device_select")) {
                if (!entry->isVisible()) continue;
                entry->click();
                Settle();
                QWidget* page = pages->currentWidget();
                std::vector<QAbstractButton*> tabs;
                for (QAbstractButton* tab : page->findChildren<QAbstractButton*>())
                    if (tab->objectName().endsWith("_Op_tab") && tab->isVisible()) tabs.push_back(tab);
                ASSERT_FALSE(tabs.empty()) << page->objectName().toStdString();
                for (QAbstractButton* tab : tabs) {
                    tab->click();
                    Settle();
                    if (auto* key = page->findChild<DeviceKeyButton*>("key_3"); key != nullptr && tab->objectName() == "key_Op_tab") {
                        key->click();
                        Settle();
                    }
                    check(page, page->objectName().toStdString() + ", tab " + tab->objectName().toStdString() + ", " +
                                    gScreen.toStdString() + (language == 0 ? ", Chinese" : ", English"));
                }
            }
        }
    }
    void ExpectInsideTheScreen(const char* when) {
        QApplication::processEvents();
        EXPECT_TRUE(Screen().contains(window->frameGeometry()))
            << when << ": frame " << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
            << window->frameGeometry().width() << "x" << window->frameGeometry().height() << " on "
            << Screen().width() << "x" << Screen().height();
    }
    test::TempFolder folder;
    VirtualDeviceHub hub;
    std::unique_ptr<CMainWnd> window;
};

TEST_F(WindowOnScreen, TheWindowLiesInsideTheScreenAndKeepsItsPlaceForTheNextStart) {
    // Last time's place, partly off this screen and larger than it.
    ASSERT_TRUE(RegistryStore().Write(kWindowPlaceValue, "-40,-100,4000,2600"));
    Open();
    ExpectInsideTheScreen("first start");
    EXPECT_LE(window->minimumWidth(), Screen().width());
    EXPECT_LE(window->minimumHeight(), Screen().height());
    // The user moves and shrinks it; the next start comes back there. (On a
    // screen smaller than the window's minimum, that is the whole screen.)
    const QSize size = QSize(window->minimumWidth() + 6, window->minimumHeight() + 6).boundedTo(Screen().size());
    const QRect chosen(Screen().x() + std::min(4, Screen().width() - size.width()),
                       Screen().y() + std::min(3, Screen().height() - size.height()), size.width(), size.height());
    window->setGeometry(chosen);
    QTest::qWait(50);
    window->HideWindow();
    window->ShowMainWindow();
    ExpectInsideTheScreen("shown again");
    EXPECT_EQ(window->geometry().size(), chosen.size());
    window->RequestExit();
    window.reset();
    Open();
    ExpectInsideTheScreen("second start");
    EXPECT_EQ(window->geometry(), chosen);
}

TEST_F(WindowOnScreen, AtTheMinimumSizeEveryTabOfEveryPageShowsItsControlsWholeAndApartInBothLanguages) {
    Open();
    if (!ScreenHoldsTheMinimum()) GTEST_SKIP() << "the screen is smaller than the window's minimum";
    ASSERT_NO_FATAL_FAILURE(StartWithFourPages());
    window->resize(window->minimumSize());
    QTest::qWait(50);
    ExpectInsideTheScreen("minimum size");
    ForEachTab([this](QWidget* page, const std::string& where) {
        std::vector<std::string> faults = LayoutFaults(window.get(), page);
        for (std::string& fault : ReachFaults(window.get(), page)) faults.push_back(std::move(fault));
        for (const std::string& fault : faults) ADD_FAILURE() << where << ": " << fault;
    });
}

// A screen smaller than the window's minimum (a small laptop at scale 2):
// the window stays on it whole, its title bar's buttons with it, and the page
// area scrolls both ways to every control, none cut or squeezed.
TEST_F(WindowOnScreen, OnAScreenSmallerThanTheMinimumEveryControlIsReachedByScrolling) {
    Open();
    if (ScreenHoldsTheMinimum()) GTEST_SKIP() << "the screen holds the window's minimum";
    ASSERT_NO_FATAL_FAILURE(StartWithFourPages());
    ExpectInsideTheScreen("small screen");
    for (const char* name : {"minbtn", "maxbtn", "closebtn", "setbtn"}) {
        auto* button = window->findChild<QWidget*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->isVisible() && window->rect().contains(OnWindow(button, window.get()))) << name;
    }
    auto* scroll = window->findChild<QScrollArea*>("device_switch_scroll");
    ASSERT_NE(scroll, nullptr);
    ForEachTab([&](QWidget* page, const std::string& where) {
        const QWidget* holder = scroll->widget();
        // What does not fit is reached by a scroll bar that is there to use.
        if (holder->width() > scroll->viewport()->width())
            EXPECT_TRUE(scroll->horizontalScrollBar()->isVisible()) << where << ": wider than the window, no scroll bar";
        if (holder->height() > scroll->viewport()->height())
            EXPECT_TRUE(scroll->verticalScrollBar()->isVisible()) << where << ": taller than the window, no scroll bar";
        for (const std::string& fault : LayoutFaults(window.get(), page, true)) ADD_FAILURE() << where << ": " << fault;
    });
}

}  // namespace
}  // namespace m470::qt

namespace {

pid_t gServer = -1;

// Xvfb on a free display; its number comes back on a pipe. False without a server.
bool StartXServer(const std::string& screen) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return false;
    gServer = ::fork();
    if (gServer == 0) {
        ::close(pipeEnds[0]);
        const std::string fd = std::to_string(pipeEnds[1]);
        const std::string depth = screen + "x24";
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", depth.c_str(), "-nolisten", "tcp", "-noreset",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    std::string number;
    char c = 0;
    while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(pipeEnds[0]);
    if (gServer < 0 || number.empty()) return false;
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

void StopXServer() {
    if (gServer <= 0) return;
    ::kill(gServer, SIGTERM);
    ::waitpid(gServer, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WIDTHxHEIGHT SCALE [gtest options]\n", argv[0]);
        return 2;
    }
    m470::qt::gScreen = QString::fromUtf8(argv[1]) + " at scale " + argv[2];
    if (!StartXServer(argv[1])) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        StopXServer();
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("QT_SCALE_FACTOR", argv[2], 1);
    int result = 1;
    {
        int qtArgc = argc - 2;
        std::vector<char*> qtArgv{argv[0]};
        for (int i = 3; i < argc; ++i) qtArgv.push_back(argv[i]);
        qtArgv.push_back(nullptr);
        QApplication application(qtArgc, qtArgv.data());
        ::testing::InitGoogleTest(&qtArgc, qtArgv.data());
        result = RUN_ALL_TESTS();
    }
    StopXServer();
    return result;
}
