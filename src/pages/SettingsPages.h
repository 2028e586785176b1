#pragma once
// A page's stack of settings pages, the row of options choosing them and
// the profile strip's tabs that show them: shared by the mouse and the
// keyboard pages.
#include <span>
#include <string>

#include "pages/DeviceProfileUI.h"
#include "ui/Ctl.h"

namespace m470 {

// A tab of the profile strip: the settings page it shows, and whether its
// panel is built yet (a tab without one stays hidden).
struct OptionTabPage {
    int tab;  // 1 "deng_Op_tab" ... as the strip numbers them
    const char* name;
    int settingsPage;
    bool built;
};

struct SettingsPages {
    const char* layout;
    const char* options;
    const char* optionPrefix;
    std::span<const OptionTabPage> tabs;

    // The built tab numbered number, nullptr when none is.
    const OptionTabPage* BuiltTab(int number) const;
    void HideUnbuiltTabs(ui::ControlHost& host, ui::Control* page) const;
    // A built tab whose panel the page's layout lacks.
    void HideTab(ui::ControlHost& host, ui::Control* page, int number) const;
    // Shows one settings page (an unknown one is page 0), its option chosen
    // and the strip's tab of it, all without raising events.
    void Show(ui::ControlHost& host, ui::Control* page, CDeviceProfileUI* strip, int settingsPage) const;
};

}  // namespace m470
