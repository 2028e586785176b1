#include "pages/LightControlUI.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace m470 {

// Which parameter groups a mode uses.
struct LightGroups {
    bool sevenColour, colour, palette, bright, speed, direction;
};

namespace {

// What a row does besides the groups.
enum Extra : uint8_t {
    kNoExtra = 0,
    kColourLayoutOff = 1,  // "light_color_layout" disabled
    kSpeedHidden = 2,      // the speed group hidden
    kSecondaryShown = 4,   // the keyboard's secondary-mode combo shown
    kCustomShown = 8,      // the keyboard's custom-lighting layout shown
    kAudioShown = 16,      // the audio mode combo shown, colour tabs on the audio page
};

struct EnableRow {
    std::vector<int> modes;
    LightGroups groups;
    bool same;  // the same-mode button is shown (when available)
    uint8_t extras;
    const char* left = nullptr;  // direction labels, when the row sets them
    const char* right = nullptr;
};

// The step before the row: which resets a kind makes.
struct KindRules {
    std::vector<int> kinds;
    bool resetKeyboardLayouts;  // custom and secondary layouts hidden, colour layout enabled
    bool resetAudio;            // audio mode combo hidden, colour tabs on page 0, speed group shown
    bool touchesDirection;
    bool touchesSame;
    const char* left;
    const char* right;
    std::vector<EnableRow> rows;
};

constexpr LightGroups kAll{true, true, true, true, true, true};
constexpr LightGroups kNone{false, false, false, false, false, false};
constexpr LightGroups kNoDirection{true, true, true, true, true, false};
constexpr LightGroups kLevelsOnly{false, false, false, true, true, false};
constexpr LightGroups kColourNoSpeed{true, true, true, true, false, false};
constexpr LightGroups kPlainColour{false, true, true, true, false, false};

const std::vector<KindRules>& Rules() {
    static const std::vector<KindRules> rules{
        {{kLightKindKeyboard},
         true,
         true,
         true,
         true,
         "light_set_right_to_left_text",
         "light_set_left_to_right_text",
         {
             {{1, 2}, kAll, false, kNoExtra},
             {{3, 24}, kAll, false, kNoExtra, "light_set_clockwise_text", "light_set_anticlockwise_text"},
             {{4}, kLevelsOnly, true, kColourLayoutOff},
             {{5, 23}, kNoDirection, true, kNoExtra},
             {{6}, kColourNoSpeed, true, kNoExtra},
             {{7, 8, 9, 10, 13, 14, 15, 22, 25}, kNoDirection, false, kNoExtra},
             {{11, 26}, kLevelsOnly, false, kColourLayoutOff},
             {{12}, {false, false, false, true, true, true}, false, kNoExtra, "light_set_down_to_up_text",
              "light_set_up_to_down_text"},
             {{16}, kColourNoSpeed, false, kNoExtra},
             {{17}, kLevelsOnly, false, kSpeedHidden | kSecondaryShown | kColourLayoutOff},
             {{18}, {false, false, false, true, false, true}, false, kColourLayoutOff, "light_set_outside_to_inside_text",
              "light_set_inside_to_outside_text"},
             {{20}, kPlainColour, false, kCustomShown | kSpeedHidden},
             {{21}, kAll, false, kNoExtra, "light_set_up_to_down_text", "light_set_down_to_up_text"},
             {{27}, kLevelsOnly, false, kNoExtra},
             {{28}, kNone, true, kNoExtra},
             {{29}, {true, true, true, true, false, true}, false, kSpeedHidden | kAudioShown},
             {{30}, {false, false, false, true, false, false}, false, kColourLayoutOff},
         }},
        {{kLightKindMouse},
         false,
         true,
         true,
         true,
         "light_set_down_to_up_text",
         "light_set_up_to_down_text",
         {
             {{0, 4, 6}, kNoDirection, false, kNoExtra},
             {{1}, kLevelsOnly, false, kNoExtra},
             {{2}, kPlainColour, false, kNoExtra},
             {{3}, kNone, false, kNoExtra},
             {{5, 9}, kAll, false, kNoExtra},
             {{7, 8}, kLevelsOnly, false, kNoExtra},
             {{11}, {true, true, true, true, false, true}, false, kSpeedHidden | kAudioShown},
         }},
        {{kLightKindMousePad, kLightKindHeadset, kLightKindHeadset2},
         false,
         false,
         true,
         true,
         nullptr,
         nullptr,
         {
             {{0}, kAll, false, kNoExtra},
             {{1}, kLevelsOnly, true, kNoExtra},
             {{2, 4}, kNoDirection, true, kNoExtra},
             {{3}, kPlainColour, true, kNoExtra},
             {{8}, kNone, true, kNoExtra},
         }},
        {{kLightKindHub},
         false,
         false,
         false,
         false,
         nullptr,
         nullptr,
         {
             {{0, 2, 3}, kAll, false, kNoExtra},
             {{1}, kPlainColour, false, kNoExtra},
             {{4}, kLevelsOnly, false, kNoExtra},
         }},
    };
    return rules;
}

bool Contains(const std::vector<int>& values, int value) {
    for (int v : values)
        if (v == value) return true;
    return false;
}

const KindRules* RulesOf(int kind) {
    for (const KindRules& rules : Rules())
        if (Contains(rules.kinds, kind)) return &rules;
    return nullptr;
}

const EnableRow& RowOf(const KindRules& rules, int mode) {
    static const EnableRow kOther{{}, kNone, false, kNoExtra};
    for (const EnableRow& row : rules.rows)
        if (Contains(row.modes, mode)) return row;
    return kOther;
}

constexpr std::array<const char*, 3> kColourEdits{"deng_edit_R", "deng_edit_G", "deng_edit_B"};
constexpr std::array<const char*, 3> kAudioEdits{"deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B"};

}  // namespace

int ParseColourChannel(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        value = value * 10 + (c - '0');
        if (value > 255) return 255;  // also keeps a long run of digits from overflowing
    }
    return value;
}

ui::Ctl CLightControlUI::Find(const char* name) const {
    auto found = cache_.find(name);
    if (found != cache_.end()) return found->second;
    ui::Control* control = host_.FindUnder(root_, name);
    if (control != nullptr) cache_.emplace(name, control);  // a missing control may come with a later layout
    return control;
}

void CLightControlUI::InitModes(const std::vector<std::string>& names, const std::vector<bool>& visible, int brightMax,
                                int speedMax) {
    ui::Ctl combo = Find("light_combo_modeSelect");
    combo.ClearItems();
    for (size_t i = 0; i < names.size(); ++i) {
        combo.AddItem(names[i], names[i]);
        combo.SetItemVisible(static_cast<int>(i), i < visible.size() && visible[i]);
    }
    Find("deng_light_slider").SetRange(0, brightMax);
    Find("deng_speed_slider").SetRange(0, speedMax);
}

bool CLightControlUI::CanChange(LightSetting setting) const {
    switch (setting) {
        case LightSetting::Brightness: return Find("deng_light_slider").Enabled();
        case LightSetting::Speed: return Find("deng_speed_slider").Enabled();
        case LightSetting::Direction: return Find("deng_FXL_check").Enabled();
    }
    return false;
}

std::string CLightControlUI::ModeKey(int row) const {
    const ui::Ctl combo = Find("light_combo_modeSelect");
    const std::string key = combo.Get() != nullptr ? combo.Get()->ItemData(row) : std::string();
    return key.empty() ? combo.ItemText(row) : key;
}

bool CLightControlUI::ModeOffered(int row) const {
    const ui::Ctl combo = Find("light_combo_modeSelect");
    return combo.Get() != nullptr && combo.Get()->ItemVisible(row);
}

void CLightControlUI::SelectMode(int index) {
    Find("light_combo_modeSelect").SelectItem(index, false);
    ApplyEnableRules(index);
}

void CLightControlUI::ShowLight(const LightInfo& info) {
    SelectMode(info.selectItem);
    SetBrightness(info.light);
    SetSpeed(info.speed);
    const std::array<uint8_t, 3> rgb{info.red, info.green, info.blue};
    for (int channel = 0; channel < 3; ++channel) SetColourText(channel, std::to_string(rgb[static_cast<size_t>(channel)]));
    SetPaletteColour(ArgbOf(info.red, info.green, info.blue));
    SetSevenColour(info.multiColor != 0);
    SelectSecondaryMode(info.zzccLedMode);
    SetDirection(info.fx == 1 ? 1 : 0);
    ApplyEnableRules(info.selectItem);
}

void CLightControlUI::SetColourText(int channel, const std::string& text) {
    if (channel >= 0 && channel < 3) Find(kColourEdits[static_cast<size_t>(channel)]).SetText(text);
}

std::string CLightControlUI::GetColourText(int channel) const {
    return channel >= 0 && channel < 3 ? Find(kColourEdits[static_cast<size_t>(channel)]).Text() : std::string();
}

void CLightControlUI::SetPaletteColour(uint32_t argb) {
    Find("deng_Color_Pallet").SetBkColour(argb);
    SetColourButton(argb);
}

uint32_t CLightControlUI::GetPaletteColour() const {
    ui::Ctl palette = Find("deng_Color_Pallet");
    return palette ? palette.BkColour() : 0xFF000000u;
}

uint32_t CLightControlUI::GetAudioPaletteColour() const {
    ui::Ctl palette = Find("deng_audioColor_Pallet");
    return palette ? palette.BkColour() : 0xFF000000u;
}

void CLightControlUI::SetDirection(int flag) {
    ui::Ctl left = Find("deng_FXL_check"), right = Find("deng_FXR_check");
    if (!left || !right) return;
    left.SetSelected(flag != 0, false);
    right.SetSelected(flag == 0, false);
}

void CLightControlUI::SetSameModeAvailable(int flag) {
    sameModeAvailable_ = static_cast<uint8_t>(flag & 0xFF);
    ApplyEnableRules(GetMode());
}

void CLightControlUI::SetDirectionLabels(const char* left, const char* right) {
    if (left == nullptr) return;
    Find("deng_FXL_check").SetText(left);
    Find("deng_FXR_check").SetText(right);
}

bool CLightControlUI::ModeTakes(int kind, int mode, LightSetting setting) {
    const KindRules* rules = RulesOf(kind);
    if (rules == nullptr) return true;  // nothing is switched off for this kind
    const EnableRow& row = RowOf(*rules, mode);
    switch (setting) {
        case LightSetting::Brightness: return row.groups.bright;
        case LightSetting::Speed: return row.groups.speed && (row.extras & kSpeedHidden) == 0;
        case LightSetting::Direction: return !rules->touchesDirection || row.groups.direction;
    }
    return true;
}

bool CLightControlUI::ModeTakesColour(int kind, int mode) {
    const KindRules* rules = RulesOf(kind);
    if (rules == nullptr) return true;
    const LightGroups& groups = RowOf(*rules, mode).groups;
    return groups.colour || groups.palette;
}

void CLightControlUI::ApplyEnableRules(int mode) {
    const KindRules* rules = RulesOf(kind_);
    if (rules == nullptr) return;
    if (rules->resetKeyboardLayouts) {
        Find("lightcustom_layout").SetVisible(false);
        Find("light_combo_ZZCCmodeSelectLayout").SetVisible(false);
        Find("light_color_layout").SetEnabled(true);
    }
    if (rules->resetAudio) {
        Find("light_combo_AudiomodeSelectLayout").SetVisible(false);
        Find("light_color_tablayout").SetPage(0);
        Find("deng_speed_layout").SetVisible(true);
    }
    if (rules->touchesSame) Find("deng_same_mode").SetVisible(false);
    if (rules->touchesDirection) Find("deng_fx_layout").SetEnabled(true);
    SetDirectionLabels(rules->left, rules->right);

    const EnableRow& row = RowOf(*rules, mode);
    const LightGroups& g = row.groups;
    Find("lighteffect_layout").SetEnabled(true);
    Find("deng_7color_check").SetEnabled(g.sevenColour);
    Find("deng_color_layout").SetEnabled(g.colour);
    Find("colorpallet_layout").SetEnabled(g.palette);
    Find("deng_light_layout").SetEnabled(g.bright);
    Find("deng_speed_layout").SetEnabled(g.speed);
    if (rules->touchesDirection) Find("deng_fx_layout").SetEnabled(g.direction);
    if (row.extras & kColourLayoutOff) Find("light_color_layout").SetEnabled(false);
    if (row.extras & kSpeedHidden) Find("deng_speed_layout").SetVisible(false);
    if (row.extras & kSecondaryShown) Find("light_combo_ZZCCmodeSelectLayout").SetVisible(true);
    if (row.extras & kCustomShown) Find("lightcustom_layout").SetVisible(true);
    if (row.extras & kAudioShown) {
        Find("light_combo_AudiomodeSelectLayout").SetVisible(true);
        Find("light_color_tablayout").SetPage(1);
    }
    SetDirectionLabels(row.left, row.right);
    if (rules->touchesSame) Find("deng_same_mode").SetVisible(row.same && sameModeAvailable_ != 0);
}

// ---- the audio sub-panel ----

void CLightControlUI::SetAudioLightInfo(const AudioLightInfo& info) {
    ui::Ctl modeCombo = Find("light_combo_audiomodeSelect");
    if (!modeCombo) throw LightPanelError(" SetAudioLightInfo control is NULL");
    ui::Ctl button = Find("deng_audiocolordp_btn");
    if (!button) throw LightPanelError("GetAudioLightInfo control is NULL");
    audio_ = info;
    modeCombo.SelectItem(info.audioMode, false);
    ui::Ctl background = Find("audio_BkColor_check"), foreground = Find("audio_FgColor_check");
    ui::Ctl seven = Find("deng_7audiocolor_check");
    std::array<uint8_t, 3> rgb{};
    if (info.colorTypeFlags != 0) {
        rgb = {info.fgColorR, info.fgColorG, info.fgColorB};
        foreground.SetSelected(true, false);
        background.SetSelected(false, false);
        seven.SetEnabled(true);
        seven.SetSelected(info.sevenColorFlags != 0, false);
    } else {
        rgb = {info.bkColorR, info.bkColorG, info.bkColorB};
        background.SetSelected(true, false);
        foreground.SetSelected(false, false);
        seven.SetEnabled(false);
    }
    for (size_t channel = 0; channel < 3; ++channel) Find(kAudioEdits[channel]).SetText(std::to_string(rgb[channel]));
    const uint32_t argb = ArgbOf(rgb[0], rgb[1], rgb[2]);
    Find("deng_audioColor_Pallet").SetBkColour(argb);
    button.SetBkColour(argb);
    const bool colours = info.audioMode != 3;
    Find("light_audiocolor_layout").SetEnabled(colours);
    Find("audiocolorpallet_layout").SetEnabled(colours);
}

AudioLightInfo CLightControlUI::GetAudioLightInfo(bool takeColourFromButton) {
    ui::Ctl modeCombo = Find("light_combo_audiomodeSelect"), button = Find("deng_audiocolordp_btn");
    ui::Ctl seven = Find("deng_7audiocolor_check");
    ui::Ctl background = Find("audio_BkColor_check"), foreground = Find("audio_FgColor_check");
    if (!modeCombo || !button || !seven || !background || !foreground)
        throw LightPanelError("GetAudioLightInfo control is NULL");
    AudioLightInfo info = audio_;
    info.sevenColorFlags = seven.Selected() ? 1 : 0;
    const bool toBackground = background.Selected() && (info.colorTypeFlags == 1 || !foreground.Selected());
    info.colorTypeFlags = toBackground ? 0 : 1;
    if (takeColourFromButton) {
        const uint32_t argb = button.BkColour();
        const uint8_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
        if (info.colorTypeFlags == 1) {
            info.fgColorR = r, info.fgColorG = g, info.fgColorB = b;
        } else {
            info.bkColorR = r, info.bkColorG = g, info.bkColorB = b;
        }
    }
    info.audioMode = static_cast<uint8_t>(std::max(modeCombo.SelectedItem(), 0));
    return info;
}

std::string CLightControlUI::GetLightAudioColor(int channel) const {
    for (const char* name : kAudioEdits)
        if (!Find(name)) throw LightPanelError("GetLightAudioColor control is NULL");
    if (channel < 0 || channel > 2) return {};
    return Find(kAudioEdits[static_cast<size_t>(channel)]).Text();
}

}  // namespace m470
