#pragma once
// The lighting panel of a device page ("LightControlItem"): shows a lighting
// record, enables the parameter groups each mode uses, and holds the
// audio-reactive sub-panel. The device owns the record; the panel only shows it.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "profiles/ProfileRecords.h"
#include "lighting/SameMode.h"
#include "ui/Ctl.h"

namespace m470 {

// Raised by the audio sub-panel when its layout lacks a control it needs.
class LightPanelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr uint32_t ArgbOf(uint8_t red, uint8_t green, uint8_t blue) {
    return 0xFF000000u | uint32_t(red) << 16 | uint32_t(green) << 8 | blue;
}

// Colour edit text as a channel: leading digits, none gives 0, above 255 gives 255.
int ParseColourChannel(const std::string& text);

// What a lighting mode may take besides itself.
enum class LightSetting { Brightness, Speed, Direction };

class CLightControlUI {
public:
    CLightControlUI(ui::ControlHost& host, ui::Control* root) : host_(host), root_(root) {}

    void SetKind(int kind) { kind_ = kind; }
    int Kind() const { return kind_; }
    void InitModes(const std::vector<std::string>& names, const std::vector<bool>& visible, int brightMax, int speedMax);
    void ShowLight(const LightInfo& info);
    void ApplyEnableRules(int mode);
    // Whether the mode takes the setting, by the rules that enable the
    // panel's groups for it (what a user can change on the panel).
    bool ModeTakes(int mode, LightSetting setting) const { return ModeTakes(kind_, mode, setting); }
    // Whether the mode shows a colour (its colour edits or its palette).
    bool ModeTakesColour(int mode) const { return ModeTakesColour(kind_, mode); }
    // The same by a lighting kind, for a client that has no panel.
    static bool ModeTakes(int kind, int mode, LightSetting setting);
    static bool ModeTakesColour(int kind, int mode);

    // Whether the panel lets a user change the setting now (its group is enabled).
    bool CanChange(LightSetting setting) const;
    bool CanChangeColour() const { return Find("deng_Color_Pallet").Enabled(); }
    // The mode list's rows: the language key of each (its text where it has
    // none), and whether the product offers it.
    int ModeCount() const { return Find("light_combo_modeSelect").ItemCount(); }
    std::string ModeKey(int row) const;
    bool ModeOffered(int row) const;

    void SelectMode(int index);
    int GetMode() const { return Find("light_combo_modeSelect").SelectedItem(); }
    void SelectCustomGroup(int index) { Find("light_combo_custommodeSelect").SelectItem(index, false); }
    int GetCustomGroup() const { return Find("light_combo_custommodeSelect").SelectedItem(); }
    void SelectSecondaryMode(int index) { Find("light_combo_ZZCCmodeSelect").SelectItem(index, false); }
    int GetSecondaryMode() const { return Find("light_combo_ZZCCmodeSelect").SelectedItem(); }
    void SetBrightness(int value) { Find("deng_light_slider").SetValue(value, false); }
    int GetBrightness() const { return Find("deng_light_slider").Value(); }
    void SetSpeed(int value) { Find("deng_speed_slider").SetValue(value, false); }
    int GetSpeed() const { return Find("deng_speed_slider").Value(); }
    // channel 0 red, 1 green, 2 blue
    void SetColourText(int channel, const std::string& text);
    std::string GetColourText(int channel) const;
    void SetPaletteColour(uint32_t argb);
    uint32_t GetPaletteColour() const;
    void SetColourButton(uint32_t argb) { Find("deng_colordp_btn").SetBkColour(argb); }
    void SetSevenColour(bool on) { Find("deng_7color_check").SetSelected(on, false); }
    bool GetSevenColour() const { return Find("deng_7color_check").Selected(); }
    void SetDirection(int flag);
    uint32_t SwatchColour(int number) const { return Find(("color_option_" + std::to_string(number)).c_str()).BkColour(); }
    void SetSameModeAvailable(int flag);
    bool SameModeAvailable() const { return sameModeAvailable_ != 0; }

    // The audio sub-panel.
    void SetAudioLightInfo(const AudioLightInfo& info);
    AudioLightInfo GetAudioLightInfo(bool takeColourFromButton);
    std::string GetLightAudioColor(int channel) const;
    uint32_t AudioSwatchColour(int number) const {
        return Find(("audiocolor_option_" + std::to_string(number)).c_str()).BkColour();
    }
    uint32_t GetAudioPaletteColour() const;

private:
    ui::Ctl Find(const char* name) const;
    void ApplyKeyboardRules(int mode);
    void ApplyMouseRules(int mode);
    void ApplyPadRules(int mode);
    void ApplyHubRules(int mode);
    void SetGroups(const struct LightGroups& groups);
    void SetDirectionLabels(const char* left, const char* right);
    void ShowSameMode(bool rowShowsIt);

    ui::ControlHost& host_;
    ui::Control* root_;
    int kind_ = 0;
    uint8_t sameModeAvailable_ = 0;
    AudioLightInfo audio_;
    mutable std::unordered_map<std::string, ui::Control*> cache_;
};

}  // namespace m470
