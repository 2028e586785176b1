#pragma once
// The abstract control tree that devices and panels are written against. The
// Qt binding and the in-memory test tree both implement it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace m470::ui {

enum class ControlType {
    Container,   // layouts, frames, pages
    Label,
    Button,
    Option,      // check box or radio option: selected state, group
    Slider,
    Progress,
    Combo,
    List,
    Edit,
    Tabs,        // stacked or tab pages
    ColourPalette,
    KeyButton,   // a key or LED of the device picture
    SelectPanel, // the device picture
    Custom,      // any other custom class (by class name)
};

// One control. Setters that can raise a notification take raiseEvent; with
// false the change is silent (the toolkit's signals are blocked).
class Control {
public:
    virtual ~Control() = default;

    virtual const std::string& Name() const = 0;
    virtual const std::string& ClassName() const = 0;
    virtual ControlType Type() const = 0;
    virtual Control* Parent() const = 0;
    virtual std::vector<Control*> Children() const = 0;

    virtual std::string Text() const = 0;
    // Silent: only typing raises "textchanged".
    virtual void SetText(const std::string& text) = 0;
    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;

    virtual bool Selected() const = 0;
    virtual void SetSelected(bool selected, bool raiseEvent = true) = 0;
    virtual std::string Group() const = 0;
    virtual void SetGroup(const std::string& group) = 0;

    virtual int Value() const = 0;
    virtual void SetValue(int value, bool raiseEvent = true) = 0;
    virtual int Minimum() const = 0;
    virtual int Maximum() const = 0;
    virtual void SetRange(int minimum, int maximum) = 0;

    virtual int ItemCount() const = 0;
    virtual void AddItem(const std::string& text, const std::string& userData = {}) = 0;
    virtual void RemoveItem(int index) = 0;
    virtual void ClearItems() = 0;
    virtual int SelectedItem() const = 0;
    virtual void SelectItem(int index, bool raiseEvent = true) = 0;
    // One entry of a list or combo box; nothing outside the list.
    struct ListItem {
        std::string text, data;
        bool visible = true;
    };
    virtual std::optional<ListItem> Item(int index) const = 0;
    std::string ItemText(int index) const { return Item(index).value_or(ListItem{}).text; }
    std::string ItemData(int index) const { return Item(index).value_or(ListItem{}).data; }
    bool ItemVisible(int index) const { return Item(index).value_or(ListItem{{}, {}, false}).visible; }
    virtual void SetItemText(int index, const std::string& text) = 0;
    virtual void SetItemVisible(int index, bool visible) = 0;
    // The edit field inside a row of a list (named name), made the first time
    // it is asked for; it goes with its row. nullptr outside a list's rows.
    virtual Control* ItemEdit(int index, const std::string& name) = 0;

    virtual int Page() const = 0;
    virtual void SetPage(int page) = 0;

    // Colours are 0xAARRGGBB.
    virtual uint32_t BkColour() const = 0;
    virtual void SetBkColour(uint32_t argb) = 0;
    virtual std::string BkImage() const = 0;
    virtual void SetBkImage(const std::string& image) = 0;
    virtual std::string ForeImage() const = 0;
    virtual void SetForeImage(const std::string& image) = 0;
    virtual std::string ThumbImage() const = 0;
    virtual void SetThumbImage(const std::string& image) = 0;

    virtual std::string UserData() const = 0;
    virtual void SetUserData(const std::string& data) = 0;
    virtual std::string ToolTipTitle() const = 0;
    virtual std::string ToolTipText() const = 0;
    virtual void SetToolTip(const std::string& title, const std::string& text) = 0;

    // Key buttons of the device picture: the light drawn on the key (colour
    // as red | green << 8 | blue << 16, level 0-255), and the marks.
    virtual void SetLight(uint32_t colour, uint8_t level, bool on) = 0;
    virtual uint32_t LightColour() const = 0;
    virtual uint8_t LightLevel() const = 0;
    virtual void SetKeySelected(bool selected) = 0;
    virtual bool KeySelected() const = 0;
    virtual void SetDefaultState(bool isDefault) = 0;
    virtual bool DefaultState() const = 0;
};

// What a notification carries: event name, sender and two integers.
struct Notification {
    std::string event;
    Control* sender = nullptr;
    std::string senderName;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
};

using NotifyCallback = std::function<void(const Notification&)>;

// A window's tree of controls.
class ControlHost {
public:
    virtual ~ControlHost() = default;
    // nullptr when no control of that name exists.
    virtual Control* Find(const std::string& name) = 0;
    virtual Control* FindUnder(Control* parent, const std::string& name) = 0;
    // One-shot timers per control, delivered as a "timer" notification with
    // wParam = id; setting a running timer again restarts it.
    virtual void SetTimer(Control* control, int id, int delayMs) = 0;
    virtual void KillTimer(Control* control, int id) = 0;
    virtual void SetNotifyCallback(NotifyCallback callback) = 0;
    // Builds a layout file as the last child of parent (a page of a tab or
    // stack control, or an item of a container); nullptr when it cannot be read.
    virtual Control* LoadLayoutInto(const std::string& path, Control* parent) = 0;
    // A holder marked "loadWhenShown" keeps its "layoutFile" back until this
    // is asked (its page first shows, or a client needs the panel on it), so
    // the tabs a user never opens cost neither time nor memory. True when
    // the holder's layout is in place afterwards.
    virtual bool LoadHeldLayout(Control* holder) = 0;
    // Raised by the system's own controls (e.g. "click_select_end").
    virtual void SendNotify(Control* sender, const std::string& event, intptr_t wParam = 0, intptr_t lParam = 0) = 0;
};

}  // namespace m470::ui
