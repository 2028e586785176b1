#include "qt/QtControl.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>

#include "qt/ChartViewUI.h"
#include "qt/ColorPalette.h"
#include "qt/DeviceKeyButton.h"
#include "qt/ElidingComboBox.h"
#include "qt/QtControlHost.h"
#include "qt/Texts.h"
#include "ui/MemoryControlTree.h"

namespace m470::qt {
namespace {

// One icon per picture file. A new QIcon has a new cache key, and Qt keeps
// every scaled copy it paints under that key: an icon made afresh each time an
// entry is shown added two pictures to the pixmap cache per plug.
QIcon IconOf(const QString& file) {
    static QHash<QString, QIcon> icons;
    if (file.isEmpty()) return {};
    auto found = icons.find(file);
    if (found == icons.end()) found = icons.insert(file, QIcon(file));
    return *found;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

template <typename Widget>
Widget* As(QWidget* widget) {
    return qobject_cast<Widget*>(widget);
}

}  // namespace

QtControl::QtControl(QtControlHost& host, QWidget* widget)
    : host_(host), widget_(widget), name_(S(widget->objectName())) {
    const QVariant declared = widget->property("m470Class");
    className_ = declared.isValid() ? S(declared.toString()) : widget->metaObject()->className();
    type_ = ui::ControlTypeOfClass(className_);
}

ui::Control* QtControl::Parent() const {
    for (QWidget* parent = widget_ ? widget_->parentWidget() : nullptr; parent != nullptr; parent = parent->parentWidget())
        if (!parent->objectName().isEmpty()) return host_.Wrap(parent);
    return nullptr;
}

std::vector<ui::Control*> QtControl::Children() const {
    std::vector<ui::Control*> children;
    if (!widget_) return children;
    // Pages of a tab widget live in its inner stack.
    QWidget* holder = widget_;
    if (auto* tabs = As<QTabWidget>(widget_)) {
        for (int i = 0; i < tabs->count(); ++i) children.push_back(host_.Wrap(tabs->widget(i)));
        return children;
    }
    // A stack's pages in their order: showing one raises it among its siblings.
    if (auto* stack = As<QStackedWidget>(widget_)) {
        for (int i = 0; i < stack->count(); ++i)
            if (QWidget* page = stack->widget(i); !page->objectName().isEmpty()) children.push_back(host_.Wrap(page));
        return children;
    }
    for (QWidget* child : holder->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_")) children.push_back(host_.Wrap(child));
    return children;
}

std::string QtControl::Text() const {
    if (!widget_) return {};
    if (auto* label = As<QLabel>(widget_)) return S(label->text());
    if (auto* button = As<QAbstractButton>(widget_)) return S(button->text());
    if (auto* edit = As<QLineEdit>(widget_)) return S(edit->text());
    if (auto* combo = As<QComboBox>(widget_)) return S(combo->currentText());
    if (auto* group = As<QGroupBox>(widget_)) return S(group->title());
    return Property("text");
}

// A language key as its text; the key is kept for a later language switch.
QString QtControl::Shown(const std::string& text) const {
    const LanguageTable* language = host_.Language();
    if (language == nullptr || !language->Has(text)) return Q(text);
    return Q(language->Text(text));
}

void QtControl::SetText(const std::string& text) {
    if (!widget_) return;
    if (As<QLabel>(widget_) || As<QAbstractButton>(widget_)) {
        const bool key = host_.Language() != nullptr && host_.Language()->Has(text);
        widget_->setProperty("textKey", key ? QVariant(Q(text)) : QVariant());
    }
    if (auto* label = As<QLabel>(widget_)) label->setText(Shown(text));
    else if (auto* key = As<DeviceKeyButton>(widget_)) key->SetLegend(Shown(text));
    else if (auto* button = As<QAbstractButton>(widget_)) button->setText(Shown(text));
    else if (auto* edit = As<QLineEdit>(widget_)) edit->setText(Q(text));
    else if (auto* group = As<QGroupBox>(widget_)) group->setTitle(Q(text));
    else SetProperty("text", text);
}

bool QtControl::Visible() const { return widget_ && !widget_->isHidden(); }
void QtControl::SetVisible(bool visible) { if (widget_) widget_->setVisible(visible); }
bool QtControl::Enabled() const { return widget_ && widget_->isEnabled(); }
void QtControl::SetEnabled(bool enabled) {
    if (!widget_) return;
    widget_->setEnabled(enabled);
    // Groups of settings that do not apply (brightness of "Off") are not
    // shown at all rather than shown greyed.
    if (widget_->property("hideWhenDisabled").toBool()) widget_->setVisible(enabled);
}

bool QtControl::Selected() const {
    auto* button = As<QAbstractButton>(widget_);
    return button != nullptr && button->isChecked();
}

void QtControl::SetSelected(bool selected, bool raiseEvent) {
    auto* button = As<QAbstractButton>(widget_);
    if (button == nullptr) return;
    QButtonGroup* group = button->group();
    // A silent change is silent for the options it deselects as well. Each
    // button is blocked once, so every blocker restores the state it found.
    std::vector<QAbstractButton*> quiet{button};
    if (group != nullptr)
        for (QAbstractButton* member : group->buttons())
            if (member != button) quiet.push_back(member);
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    if (!raiseEvent)
        for (QAbstractButton* member : quiet) blockers.push_back(std::make_unique<QSignalBlocker>(member));
    // An exclusive group never lets its checked button go by itself.
    const bool exclusive = group != nullptr && group->exclusive();
    if (exclusive && !selected) group->setExclusive(false);
    button->setChecked(selected);
    if (exclusive && !selected) group->setExclusive(true);
    if (!raiseEvent) RefreshIcons();
}

void QtControl::RefreshIcons() {
    auto* button = As<QAbstractButton>(widget_);
    if (button == nullptr || Property("m470ForeImage").empty()) return;
    // The whole group changes: every member shows its own state.
    if (QButtonGroup* group = button->group()) {
        for (QAbstractButton* member : group->buttons())
            if (auto* control = dynamic_cast<QtControl*>(host_.Wrap(member))) control->ApplyButtonIcon();
    } else {
        ApplyButtonIcon();
    }
}

namespace {

// Options of one name on two device pages are two groups: choosing a tab on
// the pad's page must not take the mouse's tab away. Outside the pages
// (the selector's entries) a name is one group.
std::string PageScope(QWidget* widget) {
    for (QWidget* page = widget; page != nullptr; page = page->parentWidget()) {
        QWidget* holder = page->parentWidget();
        if (holder != nullptr && holder->objectName() == "device_switch")
            return "@" + std::to_string(reinterpret_cast<uintptr_t>(page));
    }
    return {};
}

}  // namespace

std::string QtControl::Group() const { return Property("group"); }

void QtControl::SetGroup(const std::string& group) {
    auto* button = As<QAbstractButton>(widget_);
    SetProperty("group", group);
    if (button == nullptr || group.empty()) return;
    button->setAutoExclusive(false);
    host_.GroupNamed(group + PageScope(button))->addButton(button);
}

int QtControl::Value() const {
    if (auto* slider = As<QAbstractSlider>(widget_)) return slider->value();
    if (auto* bar = As<QProgressBar>(widget_)) return bar->value();
    return 0;
}

void QtControl::SetValue(int value, bool raiseEvent) {
    if (!widget_) return;
    std::optional<QSignalBlocker> blocker;
    if (!raiseEvent) blocker.emplace(widget_.data());
    if (auto* slider = As<QAbstractSlider>(widget_)) slider->setValue(value);
    else if (auto* bar = As<QProgressBar>(widget_)) bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
}

int QtControl::Minimum() const {
    if (auto* slider = As<QAbstractSlider>(widget_)) return slider->minimum();
    if (auto* bar = As<QProgressBar>(widget_)) return bar->minimum();
    return 0;
}

int QtControl::Maximum() const {
    if (auto* slider = As<QAbstractSlider>(widget_)) return slider->maximum();
    if (auto* bar = As<QProgressBar>(widget_)) return bar->maximum();
    return 0;
}

void QtControl::SetRange(int minimum, int maximum) {
    if (auto* slider = As<QAbstractSlider>(widget_)) {
        QSignalBlocker blocker(slider);
        slider->setRange(minimum, maximum);
    } else if (auto* bar = As<QProgressBar>(widget_)) {
        bar->setRange(minimum, maximum);
    }
}

int QtControl::ItemCount() const {
    if (auto* combo = As<QComboBox>(widget_)) return combo->count();
    if (auto* list = As<QListWidget>(widget_)) return list->count();
    if (auto* chart = As<CChartViewUI>(widget_)) return static_cast<int>(chart->Items().size());
    return 0;
}

void QtControl::AddItem(const std::string& text, const std::string& userData) {
    if (auto* combo = As<QComboBox>(widget_)) {
        QSignalBlocker blocker(combo);  // adding is not choosing
        combo->addItem(Shown(text), Q(userData));
        if (combo->count() == 1) combo->setCurrentIndex(-1);
    } else if (auto* list = As<QListWidget>(widget_)) {
        auto* item = new QListWidgetItem(Q(text), list);
        item->setData(Qt::UserRole, Q(userData));
    } else if (auto* chart = As<CChartViewUI>(widget_)) {
        chart->AddItem(Q(text), Q(userData).toDouble());  // a chart's item data is its value
    }
}

void QtControl::RemoveItem(int index) {
    if (auto* combo = As<QComboBox>(widget_)) {
        QSignalBlocker blocker(combo);
        combo->removeItem(index);
    } else if (auto* list = As<QListWidget>(widget_)) {
        QSignalBlocker blocker(list);
        ForgetRowEdits(index);
        delete list->takeItem(index);
    }
}

void QtControl::ClearItems() {
    if (auto* combo = As<QComboBox>(widget_)) {
        QSignalBlocker blocker(combo);
        combo->clear();
    } else if (auto* list = As<QListWidget>(widget_)) {
        QSignalBlocker blocker(list);
        ForgetRowEdits(-1);
        list->clear();
    } else if (auto* chart = As<CChartViewUI>(widget_)) {
        chart->ClearItems();
    }
}

int QtControl::SelectedItem() const {
    if (auto* combo = As<QComboBox>(widget_)) return combo->currentIndex();
    if (auto* list = As<QListWidget>(widget_)) return list->currentRow();
    return -1;
}

void QtControl::SelectItem(int index, bool raiseEvent) {
    if (!widget_ || index < -1 || index >= ItemCount()) return;
    std::optional<QSignalBlocker> blocker;
    if (!raiseEvent) blocker.emplace(widget_.data());
    if (auto* combo = As<QComboBox>(widget_)) combo->setCurrentIndex(index);
    else if (auto* list = As<QListWidget>(widget_)) list->setCurrentRow(index);
}

std::optional<ui::Control::ListItem> QtControl::Item(int index) const {
    if (auto* combo = As<QComboBox>(widget_)) {
        if (index < 0 || index >= combo->count()) return std::nullopt;
        // Read from the model, without building the popup (see ElidingComboBox).
        return ListItem{S(combo->itemText(index)), S(combo->itemData(index).toString()),
                        !combo->itemData(index, ElidingComboBox::kHiddenRole).toBool()};
    }
    if (auto* list = As<QListWidget>(widget_); list && list->item(index)) {
        const QListWidgetItem* item = list->item(index);
        return ListItem{S(item->text()), S(item->data(Qt::UserRole).toString()), !item->isHidden()};
    }
    return std::nullopt;
}

void QtControl::SetItemText(int index, const std::string& text) {
    if (auto* combo = As<QComboBox>(widget_)) combo->setItemText(index, Q(text));
    else if (auto* list = As<QListWidget>(widget_); list && list->item(index)) list->item(index)->setText(Q(text));
}

void QtControl::SetItemVisible(int index, bool visible) {
    if (auto* combo = As<QComboBox>(widget_)) {
        if (index < 0 || index >= combo->count()) return;
        combo->setItemData(index, visible ? QVariant() : QVariant(true), ElidingComboBox::kHiddenRole);
        // A list made already shows the change now; ours makes theirs when first opened.
        QListView* view = combo->findChild<QListView*>();
        if (view == nullptr && !As<ElidingComboBox>(widget_)) view = qobject_cast<QListView*>(combo->view());
        if (view != nullptr) view->setRowHidden(index, !visible);
    } else if (auto* list = As<QListWidget>(widget_); list && list->item(index)) {
        list->item(index)->setHidden(!visible);
    }
}

// A row's edit sits right in the row, over the row's text, with its unit;
// the row grows to the edit's height.
ui::Control* QtControl::ItemEdit(int index, const std::string& name) {
    auto* list = As<QListWidget>(widget_);
    QListWidgetItem* item = list != nullptr ? list->item(index) : nullptr;
    if (item == nullptr) return nullptr;
    QWidget* row = list->itemWidget(item);
    if (row == nullptr) {
        row = new QWidget;
        // Lets the row's own text and its selection show through, beside the edit.
        row->setObjectName("qt_row");
        row->setStyleSheet("#qt_row { background: transparent; }");
        auto* box = new QHBoxLayout(row);
        box->setContentsMargins(0, 1, 4, 1);
        box->addStretch(1);
        auto* edit = new QLineEdit(row);
        edit->setObjectName(Q(name));
        edit->setMaxLength(6);
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
        edit->setFixedSize(edit->fontMetrics().horizontalAdvance("0000000") + 12, edit->fontMetrics().height() + 8);
        box->addWidget(edit);
        box->addWidget(new QLabel("ms", row));
        list->setItemWidget(item, row);
        row->ensurePolished();  // the window's style gives the edit its height
        item->setSizeHint(row->sizeHint() + QSize(0, 4));  // the row's own padding
        host_.Adopt(row);
    }
    return host_.Wrap(row->findChild<QLineEdit*>(Q(name)));
}

// Row edits that go with their rows tell nothing more: a focused edit loses
// its focus while it is taken apart, when its row is already gone.
void QtControl::ForgetRowEdits(int index) {
    auto* list = As<QListWidget>(widget_);
    for (int row = index < 0 ? 0 : index; row < (index < 0 ? list->count() : index + 1); ++row) {
        QWidget* holder = list->item(row) != nullptr ? list->itemWidget(list->item(row)) : nullptr;
        if (holder == nullptr) continue;
        for (QLineEdit* edit : holder->findChildren<QLineEdit*>()) edit->removeEventFilter(&host_);
    }
}

int QtControl::Page() const {
    if (auto* stack = As<QStackedWidget>(widget_)) return stack->currentIndex();
    if (auto* tabs = As<QTabWidget>(widget_)) return tabs->currentIndex();
    return -1;
}

void QtControl::SetPage(int page) {
    if (auto* stack = As<QStackedWidget>(widget_); stack && page >= 0 && page < stack->count()) stack->setCurrentIndex(page);
    else if (auto* tabs = As<QTabWidget>(widget_); tabs && page >= 0 && page < tabs->count()) tabs->setCurrentIndex(page);
}

uint32_t QtControl::BkColour() const {
    return widget_ ? widget_->property("m470BkColour").toUInt() : 0;
}

void QtControl::SetBkColour(uint32_t argb) {
    if (!widget_) return;
    widget_->setProperty("m470BkColour", argb);
    if (auto* palette = As<ColorPalette>(widget_)) palette->SetColour(argb);  // the palette marks it
    else ApplyStyle();
}

namespace {

// An image description of the layouts ("file='power/power.png'" or a plain
// path) as a file name under the skin folder.
QString ImageFile(const std::string& description) {
    std::string file = description;
    const size_t start = file.find("file='");
    if (start != std::string::npos) {
        const size_t end = file.find('\'', start + 6);
        file = file.substr(start + 6, end == std::string::npos ? std::string::npos : end - start - 6);
    }
    if (file.empty()) return {};
    return file.front() == '/' ? QString::fromStdString(file) : "skin:" + QString::fromStdString(file);
}

}  // namespace

void QtControl::SetBkImage(const std::string& image) {
    SetProperty("m470BkImage", image);
    if (!widget_) return;
    const QString file = ImageFile(image);
    // Pictures of buttons and labels are their icons; other controls get a background.
    if (As<QAbstractButton>(widget_) && !As<DeviceKeyButton>(widget_)) {
        ApplyButtonIcon();
        return;
    }
    if (auto* label = As<QLabel>(widget_)) {
        // Status readings set the same picture again every few seconds: the
        // file is read and scaled only when it changes.
        if (label->property("m470ShownImage").toString() == file && (file.isEmpty() || !label->pixmap().isNull())) return;
        label->setProperty("m470ShownImage", file);
        label->setPixmap(file.isEmpty() ? QPixmap() : QPixmap(file).scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        return;
    }
    ApplyStyle();
}

QString StyleUrl(const QString& file) {
    QString quoted = file;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    quoted.replace('\n', "\\a ").replace('\r', "\\d ");
    return '"' + quoted + '"';
}

// Per-control colour and picture, scoped to this widget only.
void QtControl::ApplyStyle() {
    if (!widget_ || widget_->objectName().isEmpty()) return;
    QString style;
    const QVariant colour = widget_->property("m470BkColour");
    if (colour.isValid()) style += QString("background-color: %1;").arg(QColor::fromRgba(colour.toUInt()).name(QColor::HexArgb));
    const QString image = ImageFile(widget_->property("m470BkImage").toString().toStdString());
    if (!image.isEmpty()) style += QString("border-image: url(%1);").arg(StyleUrl(image));
    const QString sheet = style.isEmpty() ? QString() : QString("#%1 { %2 }").arg(widget_->objectName(), style);
    // A sheet set again polishes the widget again (milliseconds), though nothing changed.
    if (widget_->styleSheet() != sheet) widget_->setStyleSheet(sheet);
}

void QtControl::SetForeImage(const std::string& image) {
    SetProperty("m470ForeImage", image);
    if (As<QAbstractButton>(widget_) && !As<DeviceKeyButton>(widget_)) ApplyButtonIcon();
}

// The normal picture, and the fore picture as the checked state of an option.
void QtControl::ApplyButtonIcon() {
    auto* button = As<QAbstractButton>(widget_);
    const QString normal = ImageFile(Property("m470BkImage"));
    const QString checked = ImageFile(Property("m470ForeImage"));
    // Styles draw an option's label icon without its checked state: pick the file.
    const QString file = button->isChecked() && !checked.isEmpty() ? checked : normal;
    const QIcon icon = IconOf(file);
    if (button->icon().cacheKey() != icon.cacheKey()) button->setIcon(icon);
    button->setIconSize(QSize(36, 36));
}

void QtControl::SetToolTip(const std::string& title, const std::string& text) {
    SetProperty("m470ToolTipTitle", title);
    SetProperty("m470ToolTipText", text);
    if (!widget_) return;
    static const LanguageTable kNoLanguage;
    widget_->setToolTip(ToolTipOf(title, text, host_.Language() != nullptr ? *host_.Language() : kNoLanguage));
    NameByToolTip(widget_);
}

void QtControl::SetLight(uint32_t colour, uint8_t level, bool on) {
    if (auto* key = As<DeviceKeyButton>(widget_)) key->SetLight(colour, level, on);
}

uint32_t QtControl::LightColour() const {
    auto* key = As<DeviceKeyButton>(widget_);
    return key ? key->LightColour() : 0;
}

uint8_t QtControl::LightLevel() const {
    auto* key = As<DeviceKeyButton>(widget_);
    return key ? key->LightLevel() : 0;
}

void QtControl::SetKeySelected(bool selected) {
    if (auto* key = As<DeviceKeyButton>(widget_)) key->SetMarked(selected);
}

bool QtControl::KeySelected() const {
    auto* key = As<DeviceKeyButton>(widget_);
    return key && key->Marked();
}

// A key whose function differs from its factory one shows the key-set mark.
void QtControl::SetDefaultState(bool isDefault) {
    if (!widget_) return;
    widget_->setProperty("m470Default", isDefault);
    if (auto* key = As<DeviceKeyButton>(widget_)) key->SetKeySetHidden(isDefault);
}

bool QtControl::DefaultState() const { return widget_ && widget_->property("m470Default").toBool(); }

std::string QtControl::Property(const char* name) const {
    return widget_ ? S(widget_->property(name).toString()) : std::string();
}

void QtControl::SetProperty(const char* name, const std::string& value) {
    if (widget_) widget_->setProperty(name, Q(value));
}

}  // namespace m470::qt
