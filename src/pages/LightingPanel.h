#pragma once
// The page's lighting panel ("LightControlItem") and what each of its
// controls does to the device: a new lighting record stored, saved and
// written, or a new audio-reactive record stored and saved.
#include <optional>

#include "pages/LightControlUI.h"
#include "pages/PageContext.h"
#include "pages/PagePanel.h"
#include "pages/SettingOutcome.h"

namespace m470 {

struct LightEditResult {
    bool handled = false;
    int write = 0;  // as WriteAllSettings: 0 fine, -1 the write failed, else surplus macro events
};

class CLightingPanel : public CPagePanel {
public:
    // context: where write results and same mode go; nullptr keeps them to Handle.
    CLightingPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root, PageContext* context);

    CLightControlUI& Controls() { return panel_; }
    const CLightControlUI& Controls() const { return panel_; }
    // One notification routed here, its write result returned to the caller.
    LightEditResult Handle(const ui::Notification& n);
    // The device's lighting record and audio record on the panel.
    void ShowDeviceLighting();
    void Repaint(DeviceChange change) override;

    // The lighting, typed, for every client: a change does what the edit of
    // its control does, when the mode takes it. Modes are rows of the mode
    // list (Controls().ModeKey); the direction is 1 left, 0 right; the colour RRGGBB.
    static constexpr ValueRange kLevelRange{0, 4};  // brightness and speed
    int Mode() const { return device_.GetLightInfo().selectItem; }
    SettingOutcome SetMode(int mode);
    int Level(LightSetting setting) const { return LevelOf(device_.GetLightInfo(), setting); }
    static int LevelOf(const LightInfo& info, LightSetting setting);
    SettingOutcome SetLevel(LightSetting setting, int value);
    uint32_t Colour() const { return ColourOf(device_.GetLightInfo()); }
    static uint32_t ColourOf(const LightInfo& info);
    SettingOutcome SetColour(uint32_t rgb);

private:
    // What a setting the current mode may not take gives, or nothing when it is taken now.
    std::optional<SettingOutcome> NotTakenNow(LightSetting setting) const;
    SettingOutcome Told(int write);

    CVantrelUSBDevice& device_;
    CLightControlUI panel_;
    PageContext* context_;
    int lastWrite_ = 0;
};

}  // namespace m470
