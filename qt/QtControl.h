#pragma once
// One widget seen through the control contract.
#include <QPointer>
#include <optional>
#include <QWidget>
#include <string>

#include "ui/Control.h"

namespace m470::qt {

class QtControlHost;

// A file name as a quoted style-sheet string: a picture whose path holds
// quotes, parentheses or backslashes cannot end the rule or add one.
QString StyleUrl(const QString& file);

class QtControl : public ui::Control {
public:
    QtControl(QtControlHost& host, QWidget* widget);

    QWidget* Widget() const { return widget_; }
    const std::string& Name() const override { return name_; }
    const std::string& ClassName() const override { return className_; }
    ui::ControlType Type() const override { return type_; }
    ui::Control* Parent() const override;
    std::vector<ui::Control*> Children() const override;

    std::string Text() const override;
    void SetText(const std::string& text) override;
    bool Visible() const override;
    void SetVisible(bool visible) override;
    bool Enabled() const override;
    void SetEnabled(bool enabled) override;

    bool Selected() const override;
    void SetSelected(bool selected, bool raiseEvent = true) override;
    std::string Group() const override;
    void SetGroup(const std::string& group) override;

    int Value() const override;
    void SetValue(int value, bool raiseEvent = true) override;
    int Minimum() const override;
    int Maximum() const override;
    void SetRange(int minimum, int maximum) override;

    int ItemCount() const override;
    void AddItem(const std::string& text, const std::string& userData = {}) override;
    void RemoveItem(int index) override;
    void ClearItems() override;
    int SelectedItem() const override;
    void SelectItem(int index, bool raiseEvent = true) override;
    std::optional<ListItem> Item(int index) const override;
    void SetItemText(int index, const std::string& text) override;
    void SetItemVisible(int index, bool visible) override;
    ui::Control* ItemEdit(int index, const std::string& name) override;

    int Page() const override;
    void SetPage(int page) override;

    uint32_t BkColour() const override;
    void SetBkColour(uint32_t argb) override;
    std::string BkImage() const override { return Property("m470BkImage"); }
    void SetBkImage(const std::string& image) override;
    std::string ForeImage() const override { return Property("m470ForeImage"); }
    void SetForeImage(const std::string& image) override;
    std::string ThumbImage() const override { return Property("m470ThumbImage"); }
    void SetThumbImage(const std::string& image) override { SetProperty("m470ThumbImage", image); }

    std::string UserData() const override { return Property("userData"); }
    void SetUserData(const std::string& data) override { SetProperty("userData", data); }
    std::string ToolTipTitle() const override { return Property("m470ToolTipTitle"); }
    std::string ToolTipText() const override { return Property("m470ToolTipText"); }
    void SetToolTip(const std::string& title, const std::string& text) override;

    void SetLight(uint32_t colour, uint8_t level, bool on) override;
    uint32_t LightColour() const override;
    uint8_t LightLevel() const override;
    void SetKeySelected(bool selected) override;
    bool KeySelected() const override;
    void SetDefaultState(bool isDefault) override;
    bool DefaultState() const override;

private:
    std::string Property(const char* name) const;
    void SetProperty(const char* name, const std::string& value);
    QString Shown(const std::string& text) const;
    void ApplyStyle();
    void ApplyButtonIcon();
    void ForgetRowEdits(int index);

public:
    // Re-picks the pictures of an option (and of its group) after a change.
    void RefreshIcons();

    QtControlHost& host_;
    QPointer<QWidget> widget_;
    std::string name_, className_;
    ui::ControlType type_;
};

}  // namespace m470::qt
