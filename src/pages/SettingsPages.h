#pragma once
// A page's stack of settings pages, the row of options choosing them and
// the profile strip's tabs that show them: shared by the mouse and the
// keyboard pages.
#include <span>
#include <string>

#include "pages/DeviceProfileUI.h"
#include "ui/Ctl.h"

namespace m470 {

// A tab of the profile strip: the settings page it shows, whether its
// panel is built yet (a tab without one stays hidden), and whether the
// device picture is shown with it (a tab that does not use the picture
// gives its place to the panel, so that fits a small window whole).
struct OptionTabPage {
    int tab;  // 1 "deng_Op_tab" ... as the strip numbers them
    const char* name;
    int settingsPage;
    bool built;
    bool picture = true;
};

struct SettingsPages {
    const char* layout;
    const char* options;
    const char* optionPrefix;
    std::span<const OptionTabPage> tabs;
    const char* pictureArea = nullptr;

    // The built tab numbered number, nullptr when none is.
    const OptionTabPage* BuiltTab(int number) const;
    void HideUnbuiltTabs(ui::ControlHost& host, ui::Control* page) const;
    // A built tab whose panel the page's layout lacks.
    void HideTab(ui::ControlHost& host, ui::Control* page, int number) const;
    // Shows one settings page (an unknown one is page 0), its option chosen,
    // the strip's tab of it and the picture as the tab wants, all without
    // raising events.
    void Show(ui::ControlHost& host, ui::Control* page, CDeviceProfileUI* strip, int settingsPage) const;
};

}  // namespace m470
