#pragma once
// The control tree in memory, built from the same Qt Designer .ui layouts the
// window loads: devices and panels run against it in tests, without a display.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/Control.h"

namespace m470::ui {

// Widget class of a layout → control type ("QSlider" → Slider, custom
// class names of the device picture → KeyButton / SelectPanel).
ControlType ControlTypeOfClass(const std::string& className);

class MemoryControlHost;

class MemoryControl : public Control {
public:
    MemoryControl(MemoryControlHost& host, std::string className, std::string name, MemoryControl* parent);

    const std::string& Name() const override { return name_; }
    const std::string& ClassName() const override { return className_; }
    ControlType Type() const override { return type_; }
    Control* Parent() const override { return parent_; }
    std::vector<Control*> Children() const override;

    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;
    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }

    bool Selected() const override { return selected_; }
    void SetSelected(bool selected, bool raiseEvent = true) override;
    std::string Group() const override { return group_; }
    void SetGroup(const std::string& group) override { group_ = group; }

    int Value() const override { return value_; }
    void SetValue(int value, bool raiseEvent = true) override;
    int Minimum() const override { return minimum_; }
    int Maximum() const override { return maximum_; }
    void SetRange(int minimum, int maximum) override;

    int ItemCount() const override { return static_cast<int>(items_.size()); }
    void AddItem(const std::string& text, const std::string& userData = {}) override;
    void RemoveItem(int index) override;
    void ClearItems() override;
    int SelectedItem() const override { return selectedItem_; }
    void SelectItem(int index, bool raiseEvent = true) override;
    std::optional<ListItem> Item(int index) const override;
    void SetItemText(int index, const std::string& text) override;
    void SetItemVisible(int index, bool visible) override;
    Control* ItemEdit(int index, const std::string& name) override;

    int Page() const override { return page_; }
    void SetPage(int page) override;

    uint32_t BkColour() const override { return bkColour_; }
    void SetBkColour(uint32_t argb) override { bkColour_ = argb; }
    std::string BkImage() const override { return bkImage_; }
    void SetBkImage(const std::string& image) override { bkImage_ = image; }
    std::string ForeImage() const override { return foreImage_; }
    void SetForeImage(const std::string& image) override { foreImage_ = image; }
    std::string ThumbImage() const override { return thumbImage_; }
    void SetThumbImage(const std::string& image) override { thumbImage_ = image; }

    std::string UserData() const override { return userData_; }
    void SetUserData(const std::string& data) override { userData_ = data; }
    // The layout a "loadWhenShown" holder keeps back until the host is asked for it.
    void HoldLayout(std::string path) { heldLayout_ = std::move(path); }
    std::string TakeHeldLayout() { return std::exchange(heldLayout_, {}); }
    std::string ToolTipTitle() const override { return toolTipTitle_; }
    std::string ToolTipText() const override { return toolTipText_; }
    void SetToolTip(const std::string& title, const std::string& text) override;

    void SetLight(uint32_t colour, uint8_t level, bool on) override;
    uint32_t LightColour() const override { return lightColour_; }
    uint8_t LightLevel() const override { return lightLevel_; }
    bool LightOn() const { return lightOn_; }
    void SetKeySelected(bool selected) override { keySelected_ = selected; }
    bool KeySelected() const override { return keySelected_; }
    void SetDefaultState(bool isDefault) override { defaultState_ = isDefault; }
    bool DefaultState() const override { return defaultState_; }

    MemoryControl* AddChild(std::unique_ptr<MemoryControl> child);
    void SetTextSilently(const std::string& text) { text_ = text; }
    void MarkPageContainer() { isPageContainer_ = true; }

private:
    MemoryControlHost& host_;
    std::string className_, name_;
    ControlType type_;
    MemoryControl* parent_;
    std::vector<std::unique_ptr<MemoryControl>> children_;
    std::string text_, group_, bkImage_, foreImage_, thumbImage_, userData_, toolTipTitle_, toolTipText_, heldLayout_;
    bool visible_ = true, enabled_ = true, selected_ = false;
    int value_ = 0, minimum_ = 0, maximum_ = 99;
    std::vector<ListItem> items_;
    std::vector<std::unique_ptr<MemoryControl>> itemEdits_;  // one per item, made when asked for
    int selectedItem_ = -1;
    int page_ = 0;
    bool isPageContainer_ = false;
    uint32_t bkColour_ = 0;
    uint32_t lightColour_ = 0;
    uint8_t lightLevel_ = 0;
    bool lightOn_ = false, keySelected_ = false, defaultState_ = false;
};

class MemoryControlHost : public ControlHost {
public:
    MemoryControlHost();
    ~MemoryControlHost() override;

    // Loads a .ui layout as a new top-level tree (or under parent); widgets
    // with a "layoutFile" property load that layout (same folder) as their
    // content. nullptr when the file cannot be read.
    MemoryControl* LoadLayout(const std::string& path, MemoryControl* parent = nullptr);
    MemoryControl* CreateControl(const std::string& className, const std::string& name, MemoryControl* parent);

    Control* LoadLayoutInto(const std::string& path, Control* parent) override {
        return LoadLayout(path, dynamic_cast<MemoryControl*>(parent));
    }
    bool LoadHeldLayout(Control* holder) override;
    Control* Find(const std::string& name) override;
    Control* FindUnder(Control* parent, const std::string& name) override;
    void SetTimer(Control* control, int id, int delayMs) override;
    void KillTimer(Control* control, int id) override;
    void SetNotifyCallback(NotifyCallback callback) override { callback_ = std::move(callback); }
    void SendNotify(Control* sender, const std::string& event, intptr_t wParam = 0, intptr_t lParam = 0) override;

    // The manual clock: fires, in time order, every timer due within ms.
    void AdvanceTime(int ms);
    int64_t Now() const { return now_; }
    bool TimerPending(Control* control, int id) const;

    // A user action as the toolkit would report it.
    void Click(Control* control);

    const std::vector<Notification>& Recorded() const { return recorded_; }
    void ClearRecorded() { recorded_.clear(); }
    std::vector<MemoryControl*> Roots() const;

private:
    void LoadWidget(const void* node, MemoryControl* parent, const std::string& folder);
    std::vector<std::unique_ptr<MemoryControl>> roots_;
    NotifyCallback callback_;
    std::vector<Notification> recorded_;
    struct Timer {
        Control* control;
        int id;
        int64_t due;
        uint64_t order;
    };
    std::vector<Timer> timers_;
    int64_t now_ = 0;
    uint64_t timerOrder_ = 0;
};

}  // namespace m470::ui
