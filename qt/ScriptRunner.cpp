#include "qt/ScriptRunner.h"

#include "platform/DebugTrace.h"

#include <QAbstractButton>
#include <QAction>
#include <QAbstractSlider>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTextStream>
#include <QPointer>
#include <QTimer>
#include <optional>
#include <sstream>

#include "macros/MouseEventTable.h"
#include "qt/Dialogs.h"
#include "qt/InstanceChannel.h"
#include "devices/VantrelUSBDevice.h"
#include "panels/DeviceOption.h"
#include "pages/DeviceSelector.h"
#include "qt/MainWnd.h"
#include "sim/VirtualDeviceHub.h"

namespace m470::qt {
namespace {

// "until" looks again at this pace, and fails as "expect" does after the limit.
constexpr int kUntilStepMs = 50;
constexpr auto kUntilLimit = std::chrono::seconds(60);

bool ParseInt(const std::string& text, int& value) {
    try {
        size_t used = 0;
        value = std::stoi(text, &used, 0);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

std::string Rest(std::istringstream& words) {
    std::string rest;
    std::getline(words, rest);
    const size_t first = rest.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : rest.substr(first);
}

// "0x1E" or "30", one byte.
bool ParseScanCode(const std::string& text, int& value) { return ParseInt(text, value) && value >= 0 && value <= 0xFF; }

struct ScriptButtonRow {
    const char* name;
    uint16_t press, release;
    uint8_t extra;
};
constexpr ScriptButtonRow kScriptButtons[] = {
    {"left", mouse_message::kLeftDown, mouse_message::kLeftUp, 0},
    {"right", mouse_message::kRightDown, mouse_message::kRightUp, 0},
    {"middle", mouse_message::kMiddleDown, mouse_message::kMiddleUp, 0},
    {"back", mouse_message::kExtraDown, mouse_message::kExtraUp, kExtraBack},
    {"forward", mouse_message::kExtraDown, mouse_message::kExtraUp, kExtraForward},
};

// A mouse button as the capture reports it, at X Y on the screen (the
// pointer's place without them).
std::optional<CapturedButton> ScriptButton(const std::string& what, const std::string& button, const std::string& x,
                                           const std::string& y) {
    if (what != "press" && what != "release") return std::nullopt;
    QPoint at = QCursor::pos();
    if (!x.empty()) {
        int px = 0, py = 0;
        if (!ParseInt(x, px) || !ParseInt(y, py)) return std::nullopt;
        at = QPoint(px, py);
    }
    for (const ScriptButtonRow& row : kScriptButtons)
        if (button == row.name) return CapturedButton{what == "press" ? row.press : row.release, row.extra, at.x(), at.y()};
    return std::nullopt;
}

std::string ValueOf(QWidget* widget, const std::string& what) {
    if (what == "visible") return widget->isVisible() ? "1" : "0";
    if (what == "enabled") return widget->isEnabled() ? "1" : "0";
    if (what == "selected") {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        return button != nullptr && button->isChecked() ? "1" : "0";
    }
    if (what == "value") {
        if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) return std::to_string(slider->value());
        if (auto* bar = qobject_cast<QProgressBar*>(widget)) return std::to_string(bar->value());
        if (auto* combo = qobject_cast<QComboBox*>(widget)) return std::to_string(combo->currentIndex());
        if (auto* list = qobject_cast<QListWidget*>(widget)) return std::to_string(list->currentRow());
        return {};
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText().toStdString();
    return {};
}

}  // namespace

ScriptRunner::ScriptRunner(CMainWnd& window, VirtualDeviceHub* hub) : window_(window), hub_(hub) {}

bool ScriptRunner::Load(const QString& path, std::string& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read script " + path.toStdString();
        return false;
    }
    QTextStream stream(&file);
    lines_.clear();
    while (!stream.atEnd()) lines_.push_back(stream.readLine().toStdString());
    return true;
}

void ScriptRunner::Start() { QTimer::singleShot(0, this, &ScriptRunner::Step); }

// Modal windows first, then visible windows; inside a window a control on
// the page now shown wins over a hidden one of the same name.
// "NAME[N]" picks the N-th (from 0) control of that name in the window, in
// the order they were created, for names that several entries share (the
// selector's "device_select").
QWidget* ScriptRunner::FindWidget(const std::string& fullName) const {
    std::string name = fullName;
    int wantedIndex = 0;
    const size_t open = fullName.rfind('[');
    const bool indexed = open != std::string::npos && open > 0 && fullName.back() == ']' &&
                         ParseInt(fullName.substr(open + 1, fullName.size() - open - 2), wantedIndex);
    if (indexed) name = fullName.substr(0, open);
    const QString wanted = QString::fromStdString(name);
    if (indexed) {
        const QList<QWidget*> all = window_.findChildren<QWidget*>(wanted);
        return wantedIndex >= 0 && wantedIndex < all.size() ? all[wantedIndex] : nullptr;
    }
    std::vector<QWidget*> windows;
    if (QWidget* modal = QApplication::activeModalWidget()) windows.push_back(modal);
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible()) windows.push_back(top);
    windows.push_back(&window_);
    // A hidden control on the page shown (its parent visible) wins over one
    // on a page that is not shown.
    QWidget* hiddenOnShownPage = nullptr;
    QWidget* hidden = nullptr;
    for (QWidget* top : windows) {
        QList<QWidget*> found = top->findChildren<QWidget*>(wanted);
        if (top->objectName() == wanted) found.prepend(top);
        for (QWidget* widget : found) {
            if (widget->isVisible()) return widget;
            QWidget* parent = widget->parentWidget();
            if (hiddenOnShownPage == nullptr && parent != nullptr && parent->isVisible()) hiddenOnShownPage = widget;
            if (hidden == nullptr) hidden = widget;
        }
    }
    return hiddenOnShownPage != nullptr ? hiddenOnShownPage : hidden;
}

void ScriptRunner::Step() {
    while (!done_ && next_ < lines_.size()) {
        const size_t number = next_ + 1;
        std::string line = lines_[next_++];
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line = line.substr(0, comment);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        int waitMs = 0;
        bool quit = false;
        // The next step is queued before the action runs, so an action that
        // opens a modal window lets the script go on inside it.
        QPointer<QTimer> next = new QTimer(this);
        auto fired = std::make_shared<bool>(false);
        next->setSingleShot(true);
        connect(next, &QTimer::timeout, this, [this, next, fired] {
            *fired = true;
            next->deleteLater();
            Step();
        });
        next->start(0);
        const std::string error = Run(line, waitMs, quit);
        // The script already went on inside a modal window this action opened.
        if (*fired || next.isNull()) return;
        if (!error.empty()) {
            next->stop();
            done_ = true;
            lastError_ = "script line " + std::to_string(number) + ": " + error;
            fprintf(stderr, "m470: %s\n", lastError_.c_str());
            emit finished(1);
            return;
        }
        if (quit) {
            next->stop();
            done_ = true;
            emit finished(0);
            return;
        }
        next->start(waitMs);
        return;
    }
    if (!done_) {
        done_ = true;
        emit finished(0);
    }
}

std::string ScriptRunner::Run(const std::string& line, int& waitMs, bool& quit) {
    std::istringstream words(line);
    std::string action, name;
    words >> action;
    if (action == "quit") {
        quit = true;
        return {};
    }
    if (action == "wait") {
        std::string amount;
        words >> amount;
        return ParseInt(amount, waitMs) && waitMs >= 0 ? std::string() : "wait takes milliseconds";
    }
    if (action == "until") {
        // The expectation of the rest of the line, looked at again until it
        // holds: a program that is slow under load is not a failure.
        const std::string error = Run("expect " + Rest(words), waitMs, quit);
        const auto now = std::chrono::steady_clock::now();
        if (error.empty() || (untilSince_ && now - *untilSince_ > kUntilLimit)) {
            untilSince_.reset();
            return error;
        }
        if (!untilSince_) untilSince_ = now;
        --next_;  // the same line again
        waitMs = kUntilStepMs;
        return {};
    }
    if (action == "virtual") {
        if (hub_ == nullptr) return "no virtual devices in this run (start with --virtual or M470_VIRTUAL)";
        return hub_->RunCommand(Rest(words));
    }
    if (action == "send") {
        // A message as another program sends it on the instance socket.
        const std::optional<InstanceMessage> message = ParseInstanceMessage(Rest(words));
        if (!message) return "send takes a message name and two numbers";
        window_.HandleNamedMessage(*message);
        return {};
    }
    if (action == "mark") {
        // An empty file, for a program watching from outside: the lines before
        // it have run. Unlike a screenshot it lays out no hidden page.
        const std::string path = Rest(words);
        QFile file(QString::fromStdString(path));
        return !path.empty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) ? std::string() : "cannot write " + path;
    }
    if (action == "note") {
        // A landmark in the trace, for whoever reads it after the run.
        DebugTrace::Write("script note: " + Rest(words));
        return {};
    }
    if (action == "games") {
        // The profile watcher's look, now rather than at its next 2 s.
        window_.Games().LookNow();
        return {};
    }
    if (action == "choose") {
        const std::string answer = Rest(words);
        SetNextFileChoice(answer == "cancel" ? std::optional<std::string>() : std::optional<std::string>(answer));
        return {};
    }
    if (action == "press" || action == "release") {
        // A key as the capture reports it (offscreen there is no native scan code).
        std::string code, extended;
        words >> code >> extended;
        int scan = 0;
        if (!ParseScanCode(code, scan) || (!extended.empty() && extended != "ext"))
            return action + " takes a scan code (decimal or 0x..) and optionally ext";
        window_.Hook().DeliverKey({static_cast<uint16_t>(scan), extended == "ext", action == "press"});
        return {};
    }
    if (action == "mouse") {
        std::string what, button, x, y;
        words >> what >> button >> x >> y;
        const std::optional<CapturedButton> captured = ScriptButton(what, button, x, y);
        if (!captured) return "mouse takes press|release, left|right|middle|back|forward and optionally X Y";
        window_.Hook().DeliverButton(*captured);
        return {};
    }
    if (action == "trigger") {
        // A menu entry, by its name, in any menu that is open.
        const QString wanted = QString::fromStdString(Rest(words));
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (!top->isVisible()) continue;
            for (QAction* entry : top->findChildren<QAction*>(wanted)) {
                entry->trigger();
                return {};
            }
        }
        return "no open menu has \"" + wanted.toStdString() + "\"";
    }
    if (action == "screenshot") {
        const std::string path = Rest(words);
        QWidget* target = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : &window_;
        return SaveScreenshot(target, QString::fromStdString(path)) ? std::string() : "cannot write " + path;
    }
    words >> name;
    QWidget* widget = FindWidget(name);
    if (widget == nullptr) return "unknown control \"" + name + "\"";
    const std::string argument = Rest(words);
    auto* button = qobject_cast<QAbstractButton*>(widget);
    auto* slider = qobject_cast<QAbstractSlider*>(widget);
    auto* edit = qobject_cast<QLineEdit*>(widget);
    int number = 0;
    if (action == "click") {
        if (button == nullptr) return "\"" + name + "\" cannot be clicked";
        button->click();
    } else if (action == "select" || action == "unselect") {
        if (button == nullptr || !button->isCheckable()) return "\"" + name + "\" is not an option";
        button->setChecked(action == "select");
    } else if (action == "value" || action == "drag") {
        if (!ParseInt(argument, number)) return action + " takes a number";
        if (slider != nullptr) {
            if (action == "drag") slider->setSliderDown(true);
            slider->setValue(number);
            if (action == "drag") {
                QSignalBlocker quiet(slider);  // dragging only, no release
                slider->setSliderDown(false);
            }
        } else if (auto* bar = qobject_cast<QProgressBar*>(widget); bar && action == "value") {
            bar->setValue(number);
        } else {
            return "\"" + name + "\" is not a slider";
        }
    } else if (action == "item") {
        if (!ParseInt(argument, number)) return "item takes a number";
        if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->setCurrentIndex(number);
        else if (auto* list = qobject_cast<QListWidget*>(widget)) list->setCurrentRow(number);
        else return "\"" + name + "\" has no items";
    } else if (action == "text") {
        if (edit == nullptr) return "\"" + name + "\" is not an edit";
        QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
        QApplication::sendEvent(edit, &in);
        edit->selectAll();
        edit->insert(QString::fromStdString(argument));
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        QApplication::sendEvent(edit, &out);
    } else if (action == "focus" || action == "unfocus") {
        // The keyboard focus enters or leaves a control, as a click into it or elsewhere does.
        if (action == "focus") widget->setFocus(Qt::OtherFocusReason);
        QFocusEvent event(action == "focus" ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
        QApplication::sendEvent(widget, &event);
    } else if (action == "key") {
        const QKeySequence sequence(QString::fromStdString(argument));
        if (sequence.isEmpty()) return "unknown key \"" + argument + "\"";
        const QKeyCombination combination = sequence[0];
        QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    } else if (action == "expect") {
        std::istringstream parts(argument);
        std::string what;
        parts >> what;
        const std::string expected = Rest(parts);
        if (what != "text" && what != "value" && what != "selected" && what != "visible" && what != "enabled" && what != "read")
            return "expect takes text, value, selected, visible, enabled or read";
        const std::string actual = what == "read" ? EntryRead(widget) : ValueOf(widget, what);
        if (actual != expected) return name + " " + what + " is \"" + actual + "\", expected \"" + expected + "\"";
    } else {
        return "unknown action \"" + action + "\"";
    }
    return {};
}

std::string ScriptRunner::EntryRead(QWidget* widget) const {
    for (const auto& entry : window_.Selector()->Entries()) {
        const QWidget* root = window_.Host().WidgetOf(entry->Root());
        if (root == nullptr || (root != widget && !root->isAncestorOf(widget))) continue;
        return entry->Device() != nullptr && entry->Device()->FirstReadDone() ? "1" : "0";
    }
    return "no product entry";
}

bool SaveScreenshot(QWidget* widget, const QString& path) {
    if (widget == nullptr) return false;
    // Pending layouts only: running the event loop here would let the next
    // script lines (and device replies) act before the picture is taken.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QPixmap picture = widget->grab();
    // Pop-up windows open over it (the background chooser) are part of what the user sees;
    // menus are left out, as a triggered entry leaves its menu open in scripts.
    QPainter painter(&picture);
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != widget && top->isVisible() && top->windowType() == Qt::Popup && qobject_cast<QMenu*>(top) == nullptr)
            painter.drawPixmap(widget->mapFromGlobal(top->mapToGlobal(QPoint(0, 0))), top->grab());
    painter.end();
    return picture.save(path);
}

}  // namespace m470::qt
