#pragma once
// A null-tolerant handle: a control a layout lacks is a null handle whose
// setters do nothing and whose getters return neutral values, so callers
// need no checks of their own.
#include "ui/Control.h"

namespace m470::ui {

class Ctl {
public:
    Ctl(Control* control = nullptr) : control_(control) {}  // NOLINT: handles convert implicitly

    explicit operator bool() const { return control_ != nullptr; }
    Control* Get() const { return control_; }
    friend bool operator==(const Ctl&, const Ctl&) = default;

    std::string Name() const { return control_ ? control_->Name() : std::string(); }
    std::string Text() const { return control_ ? control_->Text() : std::string(); }
    void SetText(const std::string& text) const { if (control_) control_->SetText(text); }
    bool Visible() const { return control_ && control_->Visible(); }
    void SetVisible(bool visible) const { if (control_) control_->SetVisible(visible); }
    bool Enabled() const { return control_ && control_->Enabled(); }
    void SetEnabled(bool enabled) const { if (control_) control_->SetEnabled(enabled); }
    bool Selected() const { return control_ && control_->Selected(); }
    void SetSelected(bool selected, bool raiseEvent = true) const { if (control_) control_->SetSelected(selected, raiseEvent); }
    void SetGroup(const std::string& group) const { if (control_) control_->SetGroup(group); }
    int Value() const { return control_ ? control_->Value() : 0; }
    void SetValue(int value, bool raiseEvent = true) const { if (control_) control_->SetValue(value, raiseEvent); }
    void SetRange(int minimum, int maximum) const { if (control_) control_->SetRange(minimum, maximum); }
    int ItemCount() const { return control_ ? control_->ItemCount() : 0; }
    void AddItem(const std::string& text, const std::string& data = {}) const { if (control_) control_->AddItem(text, data); }
    void ClearItems() const { if (control_) control_->ClearItems(); }
    int SelectedItem() const { return control_ ? control_->SelectedItem() : -1; }
    void SelectItem(int index, bool raiseEvent = true) const { if (control_) control_->SelectItem(index, raiseEvent); }
    std::string ItemText(int index) const { return control_ ? control_->ItemText(index) : std::string(); }
    void SetItemVisible(int index, bool visible) const { if (control_) control_->SetItemVisible(index, visible); }
    Ctl ItemEdit(int index, const std::string& name) const { return control_ ? control_->ItemEdit(index, name) : nullptr; }
    void SetToolTip(const std::string& title, const std::string& text) const { if (control_) control_->SetToolTip(title, text); }
    int Page() const { return control_ ? control_->Page() : -1; }
    void SetPage(int page) const { if (control_) control_->SetPage(page); }
    uint32_t BkColour() const { return control_ ? control_->BkColour() : 0; }
    void SetBkColour(uint32_t argb) const { if (control_) control_->SetBkColour(argb); }
    void SetBkImage(const std::string& image) const { if (control_) control_->SetBkImage(image); }
    std::string UserData() const { return control_ ? control_->UserData() : std::string(); }
    void SetUserData(const std::string& data) const { if (control_) control_->SetUserData(data); }
    void SetLight(uint32_t colour, uint8_t level, bool on) const { if (control_) control_->SetLight(colour, level, on); }

private:
    Control* control_;
};

}  // namespace m470::ui
