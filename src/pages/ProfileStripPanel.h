#pragma once
// The profile strip as a page panel: its buttons (new, copy, delete, rename,
// import, export, reset, the menu), its list and its option tabs.
#include "pages/DeviceProfileUI.h"
#include "pages/PageContext.h"
#include "pages/PagePanel.h"

namespace m470 {

class CDevicePage;

// The strip's actions that are one button each.
enum class StripAction { New, Copy, Delete, Reset, Export, Import };

class CProfileStripPanel : public CPagePanel {
public:
    // context: the window's dialogs; without one the buttons that ask do nothing.
    CProfileStripPanel(CDevicePage& page, ui::ControlHost& host, ui::Control* root, PageContext* context);

    CDeviceProfileUI& Strip() { return strip_; }
    // The device's list of profiles changed: read again, its current one the device's.
    void Repaint(DeviceChange change) override;
    // The profile with this identifier chosen and applied as a choice in the
    // list is (same files, same writes), without the wait; false when none has it.
    bool SwitchTo(const std::string& uuid);

    // Typed, for every client: what the action's button, a choice in the
    // list or the name's save button does; the page context answers what
    // the action asks (a confirmation, a file).
    void Act(StripAction action);
    void ChooseProfile(int row);
    void Rename(const std::string& name);

private:
    // A handler after a dialog acts only while its page is still the one shown.
    bool StillShown() const;
    bool Confirmed(const char* textKey) const;
    std::optional<std::string> Chosen(std::optional<std::string> path) const;
    void Apply();
    void OnAdd();
    void OnCopy();
    void OnDelete();
    void OnImport();
    void OnExport();
    bool FileTarget(const std::string& path);
    void OnReset();
    void OnRename();
    void OnLink();
    void OnUnlink();
    void OnOptionTab(const ui::Notification& n);
    void OnProfileChosen();

    CDevicePage& page_;
    CDeviceProfileUI strip_;
    PageContext* context_;
};

}  // namespace m470
