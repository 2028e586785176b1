#include "ui/MemoryControlTree.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <pugixml.hpp>

#include "platform/Text.h"

namespace m470::ui {
namespace {

struct ClassType {
    const char* className;
    ControlType type;
};

// Widget classes of the layouts and the control type each stands for.
inline constexpr std::array<ClassType, 27> kClassTypes{{
    {"QWidget", ControlType::Container},
    {"QFrame", ControlType::Container},
    {"QGroupBox", ControlType::Container},
    {"QScrollArea", ControlType::Container},
    {"QLabel", ControlType::Label},
    {"QPushButton", ControlType::Button},
    {"QToolButton", ControlType::Button},
    {"QCheckBox", ControlType::Option},
    {"QRadioButton", ControlType::Option},
    {"QSlider", ControlType::Slider},
    {"QProgressBar", ControlType::Progress},
    {"QComboBox", ControlType::Combo},
    {"QListWidget", ControlType::List},
    {"QLineEdit", ControlType::Edit},
    {"QSpinBox", ControlType::Edit},
    {"QStackedWidget", ControlType::Tabs},
    {"QTabWidget", ControlType::Tabs},
    {"ColorPalette", ControlType::ColourPalette},
    {"DeviceKeyButton", ControlType::KeyButton},
    {"SelectPanel", ControlType::SelectPanel},
    {"RedioMacroButton", ControlType::Button},
    {"HandImgButton", ControlType::Button},
    {"HandImgSelectButton", ControlType::Option},
    {"CircleProgress", ControlType::Progress},
    {"AudioRecord", ControlType::Label},
    {"QDialog", ControlType::Container},
    {"QMainWindow", ControlType::Container},
}};

int ClampValue(int value, int minimum, int maximum) { return std::max(minimum, std::min(maximum, value)); }

std::string PropertyText(const pugi::xml_node& property) {
    for (const char* kind : {"string", "number", "bool", "cstring"})
        if (pugi::xml_node value = property.child(kind)) return value.text().as_string();
    return {};
}

bool IsTrue(const std::string& text) { return text == "true" || text == "1"; }

// Numbers of a layout; anything unreadable counts as 0.
int ToInt(const std::string& text) {
    int value = 0;
    const char* begin = text.data();
    const auto [end, error] = std::from_chars(begin, begin + text.size(), value);
    return error == std::errc() ? value : 0;
}

}  // namespace

ControlType ControlTypeOfClass(const std::string& className) {
    for (const ClassType& row : kClassTypes)
        if (className == row.className) return row.type;
    return ControlType::Custom;
}

MemoryControl::MemoryControl(MemoryControlHost& host, std::string className, std::string name, MemoryControl* parent)
    : host_(host), className_(std::move(className)), name_(std::move(name)), type_(ControlTypeOfClass(className_)),
      parent_(parent) {
    if (type_ == ControlType::Slider || type_ == ControlType::Progress) maximum_ = 100;
    if (type_ == ControlType::Tabs) isPageContainer_ = true;
}

std::vector<Control*> MemoryControl::Children() const {
    std::vector<Control*> children;
    for (const auto& child : children_) children.push_back(child.get());
    return children;
}

MemoryControl* MemoryControl::AddChild(std::unique_ptr<MemoryControl> child) {
    children_.push_back(std::move(child));
    MemoryControl* added = children_.back().get();
    if (isPageContainer_) added->SetVisible(children_.size() - 1 == static_cast<size_t>(page_));
    return added;
}

// Programmatic text changes are silent, as in the window; typing raises
// "textchanged" through the host's user actions.
void MemoryControl::SetText(const std::string& text) { text_ = text; }

void MemoryControl::SetSelected(bool selected, bool raiseEvent) {
    if (selected && !group_.empty()) {
        // Options of one group are exclusive.
        for (MemoryControl* root : host_.Roots()) {
            std::vector<MemoryControl*> stack{root};
            while (!stack.empty()) {
                MemoryControl* control = stack.back();
                stack.pop_back();
                if (control != this && control->group_ == group_ && control->selected_) {
                    control->selected_ = false;
                    if (raiseEvent) host_.SendNotify(control, "selectchanged");
                }
                for (const auto& child : control->children_) stack.push_back(child.get());
            }
        }
    }
    const bool changed = selected != selected_;
    selected_ = selected;
    if (changed && raiseEvent) host_.SendNotify(this, "selectchanged");
}

void MemoryControl::SetValue(int value, bool raiseEvent) {
    value = ClampValue(value, minimum_, maximum_);
    const bool changed = value != value_;
    value_ = value;
    if (changed && raiseEvent) host_.SendNotify(this, "valuechanged");
}

void MemoryControl::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = ClampValue(value_, minimum_, maximum_);
}

void MemoryControl::AddItem(const std::string& text, const std::string& userData) {
    items_.push_back({text, userData});
    itemEdits_.emplace_back();
}

void MemoryControl::RemoveItem(int index) {
    if (index < 0 || index >= ItemCount()) return;
    items_.erase(items_.begin() + index);
    itemEdits_.erase(itemEdits_.begin() + index);
    if (selectedItem_ >= ItemCount()) selectedItem_ = ItemCount() - 1;
}

void MemoryControl::ClearItems() {
    items_.clear();
    itemEdits_.clear();
    selectedItem_ = -1;
}

void MemoryControl::SelectItem(int index, bool raiseEvent) {
    if (index < -1 || index >= ItemCount()) return;
    const bool changed = index != selectedItem_;
    selectedItem_ = index;
    if (type_ == ControlType::Combo) text_ = index >= 0 ? items_[static_cast<size_t>(index)].text : std::string();
    if (changed && raiseEvent) host_.SendNotify(this, "itemselect", index);
}

std::optional<Control::ListItem> MemoryControl::Item(int index) const {
    if (index < 0 || index >= ItemCount()) return std::nullopt;
    return items_[static_cast<size_t>(index)];
}

void MemoryControl::SetItemText(int index, const std::string& text) {
    if (index >= 0 && index < ItemCount()) items_[static_cast<size_t>(index)].text = text;
}

void MemoryControl::SetItemVisible(int index, bool visible) {
    if (index >= 0 && index < ItemCount()) items_[static_cast<size_t>(index)].visible = visible;
}

Control* MemoryControl::ItemEdit(int index, const std::string& name) {
    if (type_ != ControlType::List || index < 0 || index >= ItemCount()) return nullptr;
    std::unique_ptr<MemoryControl>& edit = itemEdits_[static_cast<size_t>(index)];
    if (!edit) edit = std::make_unique<MemoryControl>(host_, "QLineEdit", name, this);
    return edit.get();
}

void MemoryControl::SetPage(int page) {
    if (page < 0 || page >= static_cast<int>(children_.size())) return;
    page_ = page;
    for (size_t i = 0; i < children_.size(); ++i) children_[i]->SetVisible(static_cast<int>(i) == page);
}

void MemoryControl::SetToolTip(const std::string& title, const std::string& text) {
    toolTipTitle_ = title;
    toolTipText_ = text;
}

void MemoryControl::SetLight(uint32_t colour, uint8_t level, bool on) {
    lightColour_ = colour;
    lightLevel_ = level;
    lightOn_ = on;
}

MemoryControlHost::MemoryControlHost() = default;
MemoryControlHost::~MemoryControlHost() = default;

MemoryControl* MemoryControlHost::CreateControl(const std::string& className, const std::string& name,
                                                MemoryControl* parent) {
    auto control = std::make_unique<MemoryControl>(*this, className, name, parent);
    if (parent != nullptr) return parent->AddChild(std::move(control));
    roots_.push_back(std::move(control));
    return roots_.back().get();
}

std::vector<MemoryControl*> MemoryControlHost::Roots() const {
    std::vector<MemoryControl*> roots;
    for (const auto& root : roots_) roots.push_back(root.get());
    return roots;
}

MemoryControl* MemoryControlHost::LoadLayout(const std::string& path, MemoryControl* parent) {
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) return nullptr;
    const pugi::xml_node root = document.child("ui").child("widget");
    if (!root) return nullptr;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const size_t before = parent != nullptr ? parent->Children().size() : roots_.size();
    LoadWidget(&root, parent, folder);
    if (parent != nullptr) {
        const auto children = parent->Children();
        return children.size() > before ? static_cast<MemoryControl*>(children[before]) : nullptr;
    }
    return roots_.size() > before ? roots_[before].get() : nullptr;
}

void MemoryControlHost::LoadWidget(const void* nodePointer, MemoryControl* parent, const std::string& folder) {
    const pugi::xml_node& node = *static_cast<const pugi::xml_node*>(nodePointer);
    MemoryControl* control = CreateControl(node.attribute("class").as_string(), node.attribute("name").as_string(), parent);
    int minimum = control->Minimum(), maximum = control->Maximum(), value = 0, currentIndex = -1;
    std::string layoutFile;
    bool held = false;
    for (const pugi::xml_node& property : node.children("property")) {
        const std::string name = property.attribute("name").as_string();
        const std::string text = PropertyText(property);
        if (name == "text" || name == "title") control->SetTextSilently(text);
        else if (name == "minimum") minimum = ToInt(text);
        else if (name == "maximum") maximum = ToInt(text);
        else if (name == "value") value = ToInt(text);
        else if (name == "visible") control->SetVisible(IsTrue(text));
        else if (name == "enabled") control->SetEnabled(IsTrue(text));
        else if (name == "checked") control->SetSelected(IsTrue(text), false);
        else if (name == "currentIndex") currentIndex = ToInt(text);
        else if (name == "toolTip") control->SetToolTip({}, text);
        else if (name == "userData") control->SetUserData(text);
        else if (name == "group") control->SetGroup(text);
        else if (name == "layoutFile") layoutFile = text;
        else if (name == "loadWhenShown") held = IsTrue(text);
        else if (name == "bkColour") control->SetBkColour(ParseArgbText(text));
    }
    control->SetRange(minimum, maximum);
    control->SetValue(value, false);
    // Items of combo boxes and lists.
    for (const pugi::xml_node& item : node.children("item"))
        for (const pugi::xml_node& property : item.children("property"))
            if (std::string(property.attribute("name").as_string()) == "text") control->AddItem(PropertyText(property));
    // Children: direct widgets, and widgets inside (nested) layouts.
    std::vector<pugi::xml_node> pending{node};
    while (!pending.empty()) {
        pugi::xml_node current = pending.front();
        pending.erase(pending.begin());
        for (const pugi::xml_node& child : current.children()) {
            const std::string tag = child.name();
            if (tag == "widget") {
                LoadWidget(&child, control, folder);
            } else if (tag == "layout") {
                pending.push_back(child);
            } else if (tag == "item" && std::string(current.name()) == "layout") {
                pending.push_back(child);
            }
        }
    }
    if (!layoutFile.empty() && held) control->HoldLayout(folder + layoutFile);
    else if (!layoutFile.empty()) LoadLayout(folder + layoutFile, control);
    if (currentIndex >= 0) {
        if (control->Type() == ControlType::Tabs) control->SetPage(currentIndex);
        else control->SelectItem(currentIndex, false);
    }
}

bool MemoryControlHost::LoadHeldLayout(Control* holder) {
    auto* control = dynamic_cast<MemoryControl*>(holder);
    if (control == nullptr) return false;
    const std::string path = control->TakeHeldLayout();
    if (path.empty() || LoadLayout(path, control) != nullptr) return true;
    control->HoldLayout(path);  // asked again, it tries again
    return false;
}

namespace {

Control* FindIn(Control* control, const std::string& name) {
    if (control == nullptr) return nullptr;
    if (control->Name() == name) return control;
    for (Control* child : control->Children())
        if (Control* found = FindIn(child, name)) return found;
    return nullptr;
}

}  // namespace

Control* MemoryControlHost::Find(const std::string& name) {
    for (const auto& root : roots_)
        if (Control* found = FindIn(root.get(), name)) return found;
    return nullptr;
}

Control* MemoryControlHost::FindUnder(Control* parent, const std::string& name) {
    if (parent == nullptr) return nullptr;
    for (Control* child : parent->Children())
        if (Control* found = FindIn(child, name)) return found;
    return nullptr;
}

void MemoryControlHost::SetTimer(Control* control, int id, int delayMs) {
    KillTimer(control, id);
    timers_.push_back({control, id, now_ + std::max(delayMs, 0), timerOrder_++});
}

void MemoryControlHost::KillTimer(Control* control, int id) {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [&](const Timer& timer) { return timer.control == control && timer.id == id; }),
                  timers_.end());
}

bool MemoryControlHost::TimerPending(Control* control, int id) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const Timer& timer) { return timer.control == control && timer.id == id; });
}

void MemoryControlHost::AdvanceTime(int ms) {
    const int64_t end = now_ + ms;
    for (;;) {
        auto next = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
            return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
        if (next == timers_.end() || next->due > end) break;
        const Timer due = *next;
        timers_.erase(next);
        now_ = due.due;
        SendNotify(due.control, "timer", due.id);
    }
    now_ = end;
}

void MemoryControlHost::SendNotify(Control* sender, const std::string& event, intptr_t wParam, intptr_t lParam) {
    Notification notification{event, sender, sender != nullptr ? sender->Name() : std::string(), wParam, lParam};
    recorded_.push_back(notification);
    if (callback_) callback_(notification);
}

void MemoryControlHost::Click(Control* control) {
    if (control == nullptr || !control->Enabled()) return;
    if (control->Type() == ControlType::Option)
        control->SetSelected(control->Group().empty() ? !control->Selected() : true, true);
    SendNotify(control, "click");
}

}  // namespace m470::ui
