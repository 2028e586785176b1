#include "qt/QtControlHost.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "platform/Text.h"
#include "qt/ColorPalette.h"
#include "qt/Container.h"
#include "qt/ControlLoader.h"
#include "qt/DeviceKeyButton.h"
#include "qt/HandImgButtonUI.h"
#include "qt/QtControl.h"
#include "qt/SelectPanel.h"
#include "qt/Texts.h"

namespace m470::qt {
namespace {

// A stack takes the size of the page it shows: a page it does not show (the
// lighting panel's audio page on the headset, the window's no-product page)
// must not widen or lengthen the page the window shows, where nothing
// scrolls sideways and a scroll bar would hide a strip of the page.
void FollowShownPageSize(QStackedWidget* stack) {
    auto apply = [stack] {
        for (int i = 0; i < stack->count(); ++i) {
            QWidget* page = stack->widget(i);
            if (!page->property("m470Policy").isValid()) page->setProperty("m470Policy", page->sizePolicy());
            const QSizePolicy own = page->property("m470Policy").value<QSizePolicy>();
            QSizePolicy policy = own;
            if (i != stack->currentIndex()) {
                policy.setHorizontalPolicy(QSizePolicy::Ignored);
                policy.setVerticalPolicy(QSizePolicy::Ignored);
            }
            page->setSizePolicy(policy);
        }
        // The page shown gets the style's polish held back while it was not (before it is painted).
        if (QWidget* shown = stack->currentWidget()) Container::PolishHeldBack(shown);
    };
    if (!stack->property("m470FollowsPage").toBool()) {
        stack->setProperty("m470FollowsPage", true);
        QObject::connect(stack, &QStackedWidget::currentChanged, stack, apply);
    }
    apply();
}

void FollowShownPageSizes(QWidget* root) {
    if (auto* stack = qobject_cast<QStackedWidget*>(root)) FollowShownPageSize(stack);
    for (QStackedWidget* stack : root->findChildren<QStackedWidget*>()) FollowShownPageSize(stack);
}

// Widgets made late join the end of their window's Tab chain, after whatever
// was made since their page (other products' entries): they are moved back
// behind the last widget that takes focus before their holder.
void TabAfterHolder(QWidget* holder, QWidget* content) {
    const auto takesTab = [](QWidget* widget) { return (widget->focusPolicy() & Qt::TabFocus) != 0; };
    QWidget* anchor = holder->previousInFocusChain();
    while (anchor != holder && (content->isAncestorOf(anchor) || !takesTab(anchor))) anchor = anchor->previousInFocusChain();
    if (anchor == holder) return;
    QList<QWidget*> moved;
    for (QWidget* widget = anchor->nextInFocusChain(); widget != anchor; widget = widget->nextInFocusChain())
        if (content->isAncestorOf(widget) && takesTab(widget)) moved.append(widget);
    for (QWidget* widget : moved) {
        QWidget::setTabOrder(anchor, widget);
        anchor = widget;
    }
}

}  // namespace

QtControlHost::QtControlHost() = default;

QtControlHost::~QtControlHost() {
    for (auto& [key, timer] : timers_) delete timer;
}

QWidget* QtControlHost::LoadLayout(const QString& path, QWidget* parent) { return LoadLayout(path, parent, nullptr); }

// A page that joins a stack behind the page it shows joins it before its own
// stacks settle: they then see it is not shown and leave their shown pages
// unpolished until it is (for a page the user may never open, that polish
// was about a twelfth of a keyboard's arrival, and its style rules kept).
QWidget* QtControlHost::LoadLayout(const QString& path, QWidget* parent, QStackedWidget* joining) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    ControlLoader loader;
    QWidget* root = loader.load(&file, parent);
    if (root == nullptr) return nullptr;
    LoadSubLayouts(root, QFileInfo(path).absolutePath() + "/");
    const bool behind = joining != nullptr && joining->currentWidget() != nullptr;
    if (behind) JoinStack(joining, root);
    FollowShownPageSizes(root);
    if (joining != nullptr && !behind) JoinStack(joining, root);
    if (parent == nullptr) roots_.push_back(root);
    Adopt(root);
    return root;
}

void QtControlHost::JoinStack(QStackedWidget* stack, QWidget* page) {
    stack->addWidget(page);
    FollowShownPageSize(stack);
}

ui::Control* QtControlHost::LoadLayoutInto(const std::string& path, ui::Control* parent) {
    QWidget* holder = WidgetOf(parent);
    auto* stack = qobject_cast<QStackedWidget*>(holder);
    QWidget* content = LoadLayout(QString::fromStdString(path), holder, stack);
    if (content == nullptr) return nullptr;
    if (stack == nullptr && holder != nullptr) {
        if (holder->layout() == nullptr) new QVBoxLayout(holder);
        // Keep a trailing stretch of a list of items (the selector column) last.
        if (auto* box = qobject_cast<QBoxLayout*>(holder->layout()); box && box->count() > 0 && box->itemAt(box->count() - 1)->spacerItem())
            box->insertWidget(box->count() - 1, content);
        else
            holder->layout()->addWidget(content);
    }
    return Wrap(content);
}

void QtControlHost::LoadSubLayouts(QWidget* root, const QString& folder) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget->property("layoutFile").toString().isEmpty() || widget->property("m470SubLoaded").toBool()) continue;
        if (widget->property("loadWhenShown").toBool()) {
            widget->setProperty("m470SubFolder", folder);
            continue;
        }
        LoadSubLayout(widget, folder);
    }
}

QWidget* QtControlHost::LoadSubLayout(QWidget* holder, const QString& folder) {
    holder->setProperty("m470SubLoaded", true);
    QFile sub(folder + holder->property("layoutFile").toString());
    if (!sub.open(QIODevice::ReadOnly)) return nullptr;
    ControlLoader loader;
    QWidget* content = loader.load(&sub, holder);
    if (content == nullptr) return nullptr;
    if (holder->layout() == nullptr) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    holder->layout()->addWidget(content);
    LoadSubLayouts(content, folder);
    return content;
}

// A held layout joins a tree already settled: its stacks follow their shown
// pages, its named widgets join the host and its texts take the language,
// as the tree's own did when it was loaded.
bool QtControlHost::LoadHeldLayout(ui::Control* holder) {
    QWidget* widget = WidgetOf(holder);
    if (widget == nullptr) return false;
    if (widget->property("m470SubLoaded").toBool() || !widget->property("m470SubFolder").isValid()) return true;
    QWidget* content = LoadSubLayout(widget, widget->property("m470SubFolder").toString());
    if (content == nullptr) {
        widget->setProperty("m470SubLoaded", false);  // asked again, it tries again
        return false;
    }
    FollowShownPageSizes(content);
    TabAfterHolder(widget, content);
    Adopt(content);
    if (language_ != nullptr) ApplyTexts(content, *language_);
    if (widget->isVisible()) content->show();
    return true;
}

void QtControlHost::Adopt(QWidget* root) {
    if (root == nullptr) return;
    if (root->parentWidget() == nullptr &&
        std::find(roots_.begin(), roots_.end(), QPointer<QWidget>(root)) == roots_.end())
        roots_.push_back(root);
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) continue;
        ui::Control* control = Wrap(widget);
        const std::string group = control->Group();
        if (!group.empty()) control->SetGroup(group);
        // Colours a layout gives (swatches) as the control's background colour.
        const QVariant colour = widget->property("bkColour");
        if (colour.isValid() && !widget->property("m470BkColour").isValid())
            control->SetBkColour(ParseArgbText(colour.toString().toStdString()));
    }
}

ui::Control* QtControlHost::Wrap(QWidget* widget) {
    if (widget == nullptr) return nullptr;
    auto found = controls_.find(widget);
    if (found != controls_.end()) return found->second.get();
    auto control = std::make_unique<QtControl>(*this, widget);
    QtControl* raw = control.get();
    controls_[widget] = std::move(control);
    connect(widget, &QObject::destroyed, this, [this, widget] {
        for (auto it = timers_.begin(); it != timers_.end();) {
            if (it->first.first == widget) {
                delete it->second;
                it = timers_.erase(it);
            } else {
                ++it;
            }
        }
        controls_.erase(widget);
    });
    Connect(widget, raw);
    return raw;
}

QWidget* QtControlHost::WidgetOf(ui::Control* control) const {
    auto* qtControl = dynamic_cast<QtControl*>(control);
    return qtControl != nullptr ? qtControl->Widget() : nullptr;
}

// A slider whose layout names a "valueLabel" shows its value there, with its
// "valueSuffix"; values set without signals show at the slider's next paint.
void QtControlHost::ShowValueBeside(QAbstractSlider* slider) {
    if (slider->property("valueLabel").toString().isEmpty()) return;
    connect(slider, &QAbstractSlider::valueChanged, this, [this, slider] { ShowSliderValue(slider); });
    slider->installEventFilter(this);
    ShowSliderValue(slider);
}

void QtControlHost::ShowSliderValue(QAbstractSlider* slider) {
    const QString name = slider->property("valueLabel").toString();
    QLabel* label = slider->parentWidget() == nullptr ? nullptr : slider->parentWidget()->findChild<QLabel*>(name);
    const QString text = QString::number(slider->value()) + slider->property("valueSuffix").toString();
    if (label != nullptr && label->text() != text) label->setText(text);
}

// The toolkit's signals as the contract's notifications.
void QtControlHost::Connect(QWidget* widget, QtControl* control) {
    const auto raise = [this, control](const char* event, intptr_t wParam = 0) { SendNotify(control, event, wParam); };
    if (auto* key = qobject_cast<DeviceKeyButton*>(widget)) connect(key, &DeviceKeyButton::doubleClicked, this, [raise] { raise("dbclick"); });
    if (auto* palette = qobject_cast<ColorPalette*>(widget))
        connect(palette, &ColorPalette::colourPicked, this, [raise] { raise("colorchanged"); });
    if (auto* panel = qobject_cast<SelectPanel*>(widget))
        connect(panel, &SelectPanel::selectionEnded, this, [raise] { raise("click_select_end"); });
    if (auto* hand = qobject_cast<CHandImgButtonUI*>(widget)) {
        connect(hand, &CHandImgButtonUI::deleteClicked, this, [raise] { raise("click_handdelete"); });
        connect(hand, &CHandImgButtonUI::entered, this, [raise] { raise("msenter"); });
        connect(hand, &CHandImgButtonUI::left, this, [raise] { raise("msleave"); });
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (button->isCheckable())
            connect(button, &QAbstractButton::toggled, this, [raise, control] {
                control->RefreshIcons();
                raise("selectchanged");
            });
        connect(button, &QAbstractButton::clicked, this, [raise] { raise("click"); });
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
        connect(slider, &QAbstractSlider::valueChanged, this, [raise, slider] {
            raise(slider->isSliderDown() ? "movevaluechanged" : "valuechanged");
        });
        connect(slider, &QAbstractSlider::sliderReleased, this, [raise] { raise("valuechanged"); });
        ShowValueBeside(slider);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        connect(combo, &QComboBox::currentIndexChanged, this, [raise](int index) { raise("itemselect", index); });
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        connect(list, &QListWidget::currentRowChanged, this, [raise](int row) { raise("itemselect", row); });
        connect(list, &QListWidget::itemDoubleClicked, this, [raise] { raise("dbclick"); });
        // A right-click on a row: the row becomes the current one, then "menu" with its number.
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QListWidget::customContextMenuRequested, this, [raise, list](const QPoint& at) {
            const int row = list->row(list->itemAt(at));
            if (row < 0) return;
            list->setCurrentRow(row);
            raise("menu", row);
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textEdited, this, [raise] { raise("textchanged"); });
        connect(edit, &QLineEdit::returnPressed, this, [raise] { raise("return"); });
        edit->installEventFilter(this);
    }
}

bool QtControlHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        if (auto* slider = qobject_cast<QAbstractSlider*>(watched)) ShowSliderValue(slider);
        return false;
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        auto found = controls_.find(qobject_cast<QWidget*>(watched));
        if (found != controls_.end()) SendNotify(found->second.get(), event->type() == QEvent::FocusIn ? "setfocus" : "killfocus");
    }
    return QObject::eventFilter(watched, event);
}

ui::Control* QtControlHost::Find(const std::string& name) {
    const QString wanted = QString::fromStdString(name);
    for (const QPointer<QWidget>& root : roots_) {
        if (!root) continue;
        if (root->objectName() == wanted) return Wrap(root);
        if (QWidget* found = root->findChild<QWidget*>(wanted)) return Wrap(found);
    }
    return nullptr;
}

ui::Control* QtControlHost::FindUnder(ui::Control* parent, const std::string& name) {
    QWidget* widget = WidgetOf(parent);
    if (widget == nullptr) return nullptr;
    return Wrap(widget->findChild<QWidget*>(QString::fromStdString(name)));
}

void QtControlHost::SetTimer(ui::Control* control, int id, int delayMs) {
    QWidget* widget = WidgetOf(control);
    if (widget == nullptr) return;
    QTimer*& timer = timers_[{widget, id}];
    if (timer == nullptr) {
        timer = new QTimer;
        timer->setObjectName(QString("%1 timer %2").arg(widget->objectName()).arg(id));  // named in traces
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, control, id] {
            // A preview frame's LEDs are painted together once it is handled.
            const SelectPanel::RepaintBatch batch;
            SendNotify(control, "timer", id);
        });
    }
    timer->start(std::max(delayMs, 0));
}

void QtControlHost::KillTimer(ui::Control* control, int id) {
    auto found = timers_.find({WidgetOf(control), id});
    if (found != timers_.end()) found->second->stop();
}

void QtControlHost::SendNotify(ui::Control* sender, const std::string& event, intptr_t wParam, intptr_t lParam) {
    if (!callback_) return;
    callback_(ui::Notification{event, sender, sender != nullptr ? sender->Name() : std::string(), wParam, lParam});
}

QButtonGroup* QtControlHost::GroupNamed(const std::string& name) {
    QButtonGroup*& group = groups_[name];
    if (group == nullptr) {
        group = new QButtonGroup(this);
        group->setExclusive(true);
    }
    return group;
}

}  // namespace m470::qt
