#pragma once
// The keyboard page's own panel: the key picture (legends, tooltips, the
// custom colours painted by click or rubber band), the system tab's
// settings and the settings-page switch.
#include <functional>
#include <vector>

#include "devices/keyboard/KeyboardDevice.h"
#include "pages/DevicePicture.h"
#include "pages/LightControlUI.h"
#include "pages/PageContext.h"
#include "pages/PagePanel.h"
#include "pages/SettingOutcome.h"
#include "pages/SettingsPages.h"

namespace m470 {

class CKeyboardPanel : public CPagePanel {
public:
    // strip: the page's profile strip, whose tab follows the settings page;
    // context: the window, told of a failed write (either may be nullptr).
    // The lighting panel's group list follows the custom group once it is made.
    // The device reports custom colours, keyboard settings and keys (the page builds the panel only then).
    static bool Fits(const DeviceCapabilities& caps) { return caps.customColours && caps.keyboardSettings && caps.keys; }
    CKeyboardPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* page, const DevicePicture& picture,
                   CDeviceProfileUI* strip, PageContext* context);

    // On the key assignment function page the picture's keys are chosen for
    // the key panel, not painted: their clicks are left to it.
    bool Take(const ui::Notification& n) override;
    void Repaint(DeviceChange change) override;
    void RefreshTexts() override;
    void LightingMade(CLightControlUI& lights) override;
    void ShowOptionTab(int number) override;
    void ShowSettingsPage(int page);
    // The page's function page: set as the settings page chosen needs it
    // (2 key assignment, else 1), read to route the picture's clicks.
    void SetFunctionPages(std::function<void(int)> show, std::function<int()> current) {
        showFunctionPage_ = std::move(show);
        functionPage_ = std::move(current);
    }
    // Told each settings page shown (the page builds the panels held on it).
    void SetPageShown(std::function<void()> shown) { pageShown_ = std::move(shown); }
    // The page has no key and macro panels: their tabs are not offered.
    void HideKeyTabs();

    // The system tab's settings, typed, as the tab shows them: the repeat
    // rate 0-40, the delay in ms, the report rate in Hz, a switch 0 or 1.
    // A change does what the edit of its control does.
    static constexpr ValueRange kRepeatRateRange{0, 40};
    int Setting(KeyboardSetting setting) const;
    SettingOutcome SetSetting(KeyboardSetting setting, int value);

private:
    ui::Ctl Find(const std::string& name) const { return host_.FindUnder(page_, name); }
    std::string Translate(const std::string& key) const { return keys_.Translation()(key); }
    void ShowKeyTexts();
    void ShowSystemSettings();
    void ShowLights(bool effectLevels);
    void ClearKeyMarks();
    void OnSetting(KeyboardSetting setting, int value);
    void OnRubberBand();

    CVantrelUSBDevice& device_;
    CustomColours& colours_;
    KeyboardSettings& settings_;
    KeyAssignmentModel& keys_;
    ui::ControlHost& host_;
    ui::Control* page_;
    const DevicePicture& picture_;
    CDeviceProfileUI* strip_;
    CLightControlUI* lights_ = nullptr;  // once the page's lighting panel is made
    PageContext* context_;
    std::function<void(int)> showFunctionPage_;
    std::function<int()> functionPage_;
    std::function<void()> pageShown_;
    int settingsPage_ = 0;  // the settings page shown: the picture is lit on the lighting page only
    LedFrame frame_;        // kept between preview frames
    LedFrame shownFrame_;   // the frame the keys show
    int shownWay_ = -1;     // how they were lit: 1 lit, + 2 at the effect's levels; -1 not yet
    // The keys this keyboard lacks (hidden once built): known here, so a frame
    // asks no button whether it is shown.
    std::vector<bool> keyHidden_;
};

}  // namespace m470
