#include "pages/SettingsPages.h"

namespace m470 {

const OptionTabPage* SettingsPages::BuiltTab(int number) const {
    for (const OptionTabPage& row : tabs)
        if (row.tab == number && row.built) return &row;
    return nullptr;
}

void SettingsPages::HideUnbuiltTabs(ui::ControlHost& host, ui::Control* page) const {
    for (const OptionTabPage& row : tabs)
        if (!row.built) ui::Ctl(host.FindUnder(page, row.name)).SetVisible(false);
}

void SettingsPages::HideTab(ui::ControlHost& host, ui::Control* page, int number) const {
    for (const OptionTabPage& row : tabs)
        if (row.tab == number) ui::Ctl(host.FindUnder(page, row.name)).SetVisible(false);
}

void SettingsPages::Show(ui::ControlHost& host, ui::Control* page, CDeviceProfileUI* strip, int settingsPage) const {
    ui::Ctl stack = host.FindUnder(page, layout);
    const int count = stack ? static_cast<int>(stack.Get()->Children().size()) : 0;
    if (settingsPage < 0 || settingsPage >= count) settingsPage = 0;
    stack.SetPage(settingsPage);
    for (const OptionTabPage& tab : tabs)
        if (tab.built && tab.settingsPage == settingsPage && pictureArea != nullptr)
            ui::Ctl(host.FindUnder(page, pictureArea)).SetVisible(tab.picture);
    ui::Ctl row = host.FindUnder(page, options);
    if (!row) return;
    const std::string wanted = optionPrefix + std::to_string(settingsPage);
    for (ui::Control* child : row.Get()->Children())
        if (child->Type() == ui::ControlType::Option) child->SetSelected(child->Name() == wanted, false);
    // The strip's tab of this page follows, without raising its event.
    if (strip == nullptr) return;
    for (const OptionTabPage& tab : tabs) {
        if (!tab.built || tab.settingsPage != settingsPage) continue;
        strip->SelectTab(tab.tab);
        break;
    }
}

}  // namespace m470
