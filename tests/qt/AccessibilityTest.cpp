// Keyboard and screen-reader use of every page: every control Tab reaches
// has a name in words (one that shows only a symbol a tooltip too), and Tab
// goes through the controls of a layout in the layout's order.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>

#include "platform/Folders.h"
#include "qt/DeviceKeyButton.h"
#include "qt/MainWnd.h"
#include "qt/ScriptRunner.h"
#include "sim/VirtualDeviceHub.h"
#include "support/TempFolder.h"

namespace m470::qt {
namespace {

// The name a screen reader gets: the accessible name, else what the control shows.
QString SpokenName(QWidget* widget) {
    if (!widget->accessibleName().isEmpty()) return widget->accessibleName();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

bool HasWords(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

// A button that shows a symbol and no words (✔ + ❐ − ⇩ ⇧ ↺ ⋯ ✎ ⚙ ...).
bool ShowsOnlyAGlyph(QWidget* widget) {
    auto* button = qobject_cast<QAbstractButton*>(widget);
    return button != nullptr && !button->text().isEmpty() && !HasWords(button->text());
}

// The controls Tab reaches, in the order it reaches them.
std::vector<QWidget*> TabChain(QWidget* window) {
    std::vector<QWidget*> chain;
    for (QWidget* widget = window->nextInFocusChain(); widget != window; widget = widget->nextInFocusChain())
        if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) && widget->window() == window)
            chain.push_back(widget);
    return chain;
}

std::string Described(QWidget* widget) {
    return widget->metaObject()->className() + std::string(" ") + widget->objectName().toStdString();
}

class Accessibility : public ::testing::Test {
protected:
    void SetUp() override {
        const QString runtime = QString::fromStdString(folder.File("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ::setenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit().constData(), 1);
        window = std::make_unique<CMainWnd>(QString::fromStdString(GetInstallFolder()));
        ASSERT_TRUE(window->InitWindow());
        window->resize(1000, 640);
        window->show();
        window->OnWindowInit();
        // A macro with rows, so the macro editor shows each row's delay field.
        folder.Write("data/M470/mouse/macro.config", R"({"MacroInfo": [{"MacroName": "m", "Guid": "g0"}]})");
        folder.Write("data/M470/mouse/g0.mac", R"({"Events": [{"Type": 10, "Button": 4, "Action": "down", "Delay": 30},
                                                             {"Type": 10, "Button": 4, "Action": "up", "Delay": 40}]})");
        for (const char* product : {"mouse", "keyboard", "mousepad"}) ASSERT_TRUE(hub.Plug(product));
        window->StartDeviceManager(hub.Backend());
    }
    void TearDown() override { window.reset(); }

    int Play(std::vector<std::string> lines) {
        ScriptRunner runner(*window, &hub);
        runner.SetLines(std::move(lines));
        int code = -1;
        QObject::connect(&runner, &ScriptRunner::finished, [&](int result) { code = result; });
        runner.Start();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (code < 0 && std::chrono::steady_clock::now() < end) QTest::qWait(10);
        return code;
    }

    // Every control Tab reaches now that says nothing, and every pair
    // of controls of one layout that Tab takes against the layout's order.
    void CheckChain(const std::string& where) {
        QApplication::processEvents();
        std::map<QWidget*, int> lastIndex;
        for (QWidget* widget : TabChain(window.get())) {
            ++reached;
            rowDelays += widget->objectName() == "macro_delay" ? 1 : 0;
            EXPECT_TRUE(HasWords(SpokenName(widget)))
                << where << ": " << Described(widget) << " is called \"" << SpokenName(widget).toStdString() << "\"";
            if (ShowsOnlyAGlyph(widget)) {
                ++glyphs;
                EXPECT_FALSE(widget->toolTip().isEmpty()) << where << ": " << Described(widget) << " has no tooltip";
            }
            QWidget* parent = widget->parentWidget();
            const int index = parent != nullptr && parent->layout() != nullptr ? parent->layout()->indexOf(widget) : -1;
            if (index < 0) continue;
            auto [at, first] = lastIndex.emplace(parent, index);
            EXPECT_TRUE(first || index > at->second) << where << ": Tab reaches " << Described(widget) << " out of its layout's order";
            at->second = index;
        }
    }

    int reached = 0, glyphs = 0, rowDelays = 0;
    test::TempFolder folder;
    VirtualDeviceHub hub;
    std::unique_ptr<CMainWnd> window;
};

TEST_F(Accessibility, EveryControlTabReachesSaysWhatItIsAndTabFollowsTheLayout) {
    // The three products, once the window has found and read them (their
    // pages name their keys and LEDs from what they read).
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Selector()->Entries().size() == 3; }, 30000));
    ASSERT_EQ(Play({"until device_select[0] read 1", "until device_select[1] read 1", "until device_select[2] read 1"}), 0);
    const int entries = static_cast<int>(window->Selector()->Entries().size());
    for (int entry = 0; entry < entries; ++entry) {
        ASSERT_EQ(Play({"click device_select[" + std::to_string(entry) + "]", "wait 200"}), 0);
        CheckChain("page " + std::to_string(entry));
        // Each option tab of the page, as Tab finds them.
        std::vector<QRadioButton*> tabs;
        for (QWidget* widget : TabChain(window.get()))
            if (auto* tab = qobject_cast<QRadioButton*>(widget); tab != nullptr && tab->objectName().endsWith("_Op_tab"))
                tabs.push_back(tab);
        for (QRadioButton* tab : tabs) {
            tab->click();
            const std::string where = "page " + std::to_string(entry) + ", tab " + tab->objectName().toStdString();
            CheckChain(where);
            // The panels that show more once something is chosen: a key's assignment (not
            // the left button's, which stays), a macro's rows.
            QWidget* more = nullptr;
            for (QWidget* widget : TabChain(window.get()))
                if ((tab->objectName() == "key_Op_tab" && widget->objectName() == "key_3" && qobject_cast<DeviceKeyButton*>(widget)) ||
                    (tab->objectName() == "macro_Op_tab" && widget->objectName() == "macro_name_list")) {
                    more = widget;
                    break;
                }
            if (auto* button = qobject_cast<QAbstractButton*>(more)) button->click();
            if (auto* list = qobject_cast<QListWidget*>(more); list != nullptr && list->count() > 0) list->setCurrentRow(0);
            if (more != nullptr) CheckChain(where + ", chosen");
        }
    }
    EXPECT_GT(reached, 100);
    EXPECT_GE(rowDelays, 2);  // the mouse's macro rows were walked
    EXPECT_GT(glyphs, 20);  // the profile strip's and the macro editor's at least
}

}  // namespace
}  // namespace m470::qt
