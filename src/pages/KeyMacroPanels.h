#pragma once
// The key assignment panel and the macro editor of a mouse or keyboard
// page: the panels' device operations, the window's questions and capture,
// and the notifications of both panels. The selected key is marked on the
// page's picture; the device tells Keys for the rest of the marks and captions.
#include "devices/KeyAssignmentModel.h"
#include "pages/DevicePage.h"
#include "pages/SettingOutcome.h"
#include "panels/KeySetControlUI.h"
#include "panels/MacroControlUI.h"
#include "panels/PanelWindow.h"

namespace m470 {

class CKeyMacroPanels : public CPagePanel, public KeySetTarget, public MacroEditorHost {
public:
    // On the page's "KeySetControlItem" and "MacroControlItem"; keys is the
    // page's device.
    CKeyMacroPanels(CDevicePage& page, KeyAssignmentModel& keys);
    // The page's layout has places for both panels.
    static bool OnLayout(const CDevicePage& page);
    // The items of the page the two panels' layouts load into.
    static std::vector<std::string> Holders();

    // nullptr leaves every question unanswered (Cancel).
    void SetWindow(const PanelWindow* window) override { window_ = window; }
    // The device's folder and profile are known: names, lists, captions.
    void Reload();
    // Both panels keep their own notifications (their rows and lists); a
    // rubber band drawn over the picture leaves the chosen key marked.
    bool Take(const ui::Notification& n) override;
    void OnCapturedKey(int mode, const CapturedKey& key) override;
    void OnCapturedButton(int mode, const CapturedButton& button) override;
    // Another device is chosen or the page goes: a recording stops and is saved.
    void StopCapture() override;
    // The chosen key is marked only while keys are assigned.
    void ShowOptionTab(int number) override;
    void RefreshTexts() override {
        keys_.RefreshTexts();
        macros_.RefreshTexts();
    }

    // A key's function, typed, for every client: the panel's rules for
    // choosing a key (its profile can be read, the mouse keeps a left
    // button), then what the write button does.
    SettingOutcome SetKey(size_t slot, KeyAssignment function);

    CKeySetControlUI& Keys() { return keys_; }
    CMacroControlUI& Macros() { return macros_; }

    // KeySetTarget
    int FunctionPage() const override;
    bool ProfileReadable() const override;
    std::vector<KeyAssignmentPair> KeyAssignments() const override;
    std::optional<KeyAssignmentPair> SelectKey(int index) override;
    void StoreSelectedAssignment(const KeyAssignment& current, const KeyAssignment& defaults) override;
    void RefreshKeyCaptions() override;
    std::vector<int> CollectUsedMacros() override;
    int WriteMacros(const std::vector<int>& macros) override;
    int WriteKeyAssignmentsWithMacros(int page) override;
    bool SaveProfile() override;
    void RefreshKeyMarks() override;

    // MacroEditorHost
    bool Ask(const std::string& textKey) override;
    void Notice(const std::string& textKey) override;
    std::string ChooseOpenFile(const std::string& filter) override;
    std::string ChooseSaveFile(const std::string& filter) override;
    void SetHook(int mode, bool on) override;
    ScreenRect StopButtonArea() override;
    void OpenRowMenu() override;
    void MacrosChanged(const std::vector<std::string>& names) override;
    std::vector<KeyAssignmentPair> CurrentKeys() override;
    void StoreRenumberedKeys(const std::vector<KeyAssignmentPair>& keys) override;
    std::vector<std::string> OtherProfiles() override;
    int DeviceIndex() override;

private:
    void SetKeyCapture(bool on);
    void MarkSelectedKey(int selected);

    CDevicePage& page_;
    CVantrelUSBDevice& device_;
    KeyAssignmentModel& model_;
    CKeySetControlUI keys_;
    CMacroControlUI macros_;
    const PanelWindow* window_ = nullptr;
    int selectedKey_ = -1;
};

}  // namespace m470
