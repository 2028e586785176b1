#include "pages/LightingPanel.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "devices/CustomColours.h"
#include "lighting/SameMode.h"
#include "platform/Text.h"

#include <utility>

namespace m470 {
namespace {

struct Edit {
    CVantrelUSBDevice& device;
    CLightControlUI& panel;
    const ui::Notification& n;
    int number;  // the number of an indexed control name
};

// Every lighting edit: the record kept, saved, reloaded and written (the
// settings record only); an edit leaves same mode. 0 fine, -1 not written.
int Commit(CVantrelUSBDevice& device, const LightInfo& info, bool clearSynced = true) {
    if (clearSynced) device.SetSynced(false);
    return device.CommitLightInfo(info) == kResultSuccess ? 0 : -1;
}
int Commit(Edit& e, const LightInfo& info, bool clearSynced = true) { return Commit(e.device, info, clearSynced); }

// One field of the record replaced by a new value, then the common tail.
int CommitField(CVantrelUSBDevice& device, uint8_t LightInfo::*field, int value, bool clearSynced = true) {
    LightInfo info = device.GetLightInfo();
    info.*field = static_cast<uint8_t>(value);
    return Commit(device, info, clearSynced);
}
int CommitField(Edit& e, uint8_t LightInfo::*field, int value, bool clearSynced = true) {
    return CommitField(e.device, field, value, clearSynced);
}

// What the edits of the mode, the levels and the direction take, however they came.
int TakeMode(CVantrelUSBDevice& device, CLightControlUI& panel, int mode) {
    if (mode < 0) return 0;
    panel.SelectMode(mode);
    return CommitField(device, &LightInfo::selectItem, mode);
}

int TakeLevel(CVantrelUSBDevice& device, CLightControlUI& panel, LightSetting setting, int value) {
    switch (setting) {
        case LightSetting::Brightness:
            panel.SetBrightness(value);
            return CommitField(device, &LightInfo::light, value);
        case LightSetting::Speed:
            panel.SetSpeed(value);
            return CommitField(device, &LightInfo::speed, value);
        case LightSetting::Direction:
            panel.SetDirection(value);
            return CommitField(device, &LightInfo::fx, value);
    }
    return 0;
}

int OnMode(Edit& e) { return TakeMode(e.device, e.panel, e.panel.GetMode()); }
int OnBrightness(Edit& e) { return TakeLevel(e.device, e.panel, LightSetting::Brightness, e.panel.GetBrightness()); }
int OnSpeed(Edit& e) { return TakeLevel(e.device, e.panel, LightSetting::Speed, e.panel.GetSpeed()); }

int OnDirection(Edit& e) {
    // Only the option that became selected speaks for the pair.
    if (!ui::Ctl(e.n.sender).Selected()) return 0;
    return TakeLevel(e.device, e.panel, LightSetting::Direction, EqualsIgnoringCase(e.n.senderName, "deng_FXL_check") ? 1 : 0);
}

int OnSevenColour(Edit& e) {
    const bool on = e.panel.GetSevenColour();
    e.panel.SetSevenColour(on);
    return CommitField(e, &LightInfo::multiColor, on ? 1 : 0);
}

// Keyboard only; the secondary mode leaves same mode on.
int OnSecondaryMode(Edit& e) {
    if (e.panel.Kind() != kLightKindKeyboard) return 0;
    return CommitField(e, &LightInfo::zzccLedMode, std::max(e.panel.GetSecondaryMode(), 0), false);
}

// Keyboard only: the custom lighting follows the chosen group; no reload.
int OnCustomGroup(Edit& e) {
    if (e.panel.Kind() != kLightKindKeyboard) return 0;
    const int group = std::max(e.panel.GetCustomGroup(), 0);
    CustomColours* custom = e.device.Capabilities().customColours;
    if (custom != nullptr) custom->SwitchCustomGroup(group);
    LightInfo info = e.device.GetLightInfo();
    info.customGroup = static_cast<uint8_t>(group);
    e.device.StoreLightInfo(info);
    e.device.SaveProfile();
    const int write = e.device.WriteSettingsRecord() == kResultSuccess ? 0 : -1;
    if (custom != nullptr) custom->RedrawCustomLighting();
    return write;
}

int OnCustomColour(Edit& e) {
    CustomColours* custom = e.device.Capabilities().customColours;
    if (e.panel.Kind() == kLightKindKeyboard && custom != nullptr)
        custom->SetCustomColour(EqualsIgnoringCase(e.n.senderName, "custom_bright_color_btn") ? 1 : 0,
                                 e.panel.GetCustomGroup() >= 0);
    return 0;
}

// A colour chosen as a whole (palette or swatch).
int PickColour(CVantrelUSBDevice& device, CLightControlUI& panel, uint32_t argb) {
    const std::array<uint8_t, 3> rgb{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb)};
    LightInfo info = device.GetLightInfo();
    info.red = rgb[0], info.green = rgb[1], info.blue = rgb[2];
    info.multiColor = 0;
    for (int channel = 0; channel < 3; ++channel) panel.SetColourText(channel, std::to_string(rgb[size_t(channel)]));
    panel.SetSevenColour(false);
    panel.SetColourButton(ArgbOf(rgb[0], rgb[1], rgb[2]));
    return Commit(device, info);
}

int OnPalette(Edit& e) { return PickColour(e.device, e.panel, e.panel.GetPaletteColour()); }
int OnSwatch(Edit& e) { return PickColour(e.device, e.panel, e.panel.SwatchColour(e.number)); }

int OnColourEdit(Edit& e) {
    const int channel = e.n.senderName.back() == 'R' ? 0 : e.n.senderName.back() == 'G' ? 1 : 2;
    const std::string text = e.panel.GetColourText(channel);
    const int value = ParseColourChannel(text);
    if (text.empty()) e.panel.SetColourText(channel, "0");
    else if (value == 255 && text != "255") e.panel.SetColourText(channel, "255");
    LightInfo info = e.device.GetLightInfo();
    std::array<uint8_t*, 3> channels{&info.red, &info.green, &info.blue};
    *channels[size_t(channel)] = static_cast<uint8_t>(value);
    info.multiColor = 0;
    e.panel.SetSevenColour(false);
    e.panel.SetPaletteColour(ArgbOf(info.red, info.green, info.blue));
    return Commit(e, info);
}

// ---- the audio sub-panel: stored and saved, never written (the audio effect drives the LEDs) ----

void CommitAudio(Edit& e, const AudioLightInfo& info) {
    e.panel.SetAudioLightInfo(info);
    e.device.StoreAudioLightInfo(info);
    e.device.SaveProfile();
    e.device.ApplyProfile();
}

void SetAudioColour(AudioLightInfo& info, bool foreground, uint32_t argb) {
    const uint8_t r = uint8_t(argb >> 16), g = uint8_t(argb >> 8), b = uint8_t(argb);
    if (foreground) info.fgColorR = r, info.fgColorG = g, info.fgColorB = b;
    else info.bkColorR = r, info.bkColorG = g, info.bkColorB = b;
}

int OnAudioMode(Edit& e) {
    CommitAudio(e, e.panel.GetAudioLightInfo(true));
    return 0;
}

int OnAudioTarget(Edit& e) {
    CommitAudio(e, e.panel.GetAudioLightInfo(false));
    return 0;
}

int OnAudioPalette(Edit& e) {
    AudioLightInfo info = e.panel.GetAudioLightInfo(true);
    const bool foreground = info.colorTypeFlags == 1;
    const std::array<uint8_t, 3> before{info.fgColorR, info.fgColorG, info.fgColorB};
    SetAudioColour(info, foreground, e.panel.GetAudioPaletteColour());
    if (before != std::array<uint8_t, 3>{info.fgColorR, info.fgColorG, info.fgColorB}) info.sevenColorFlags = 0;
    CommitAudio(e, info);
    return 0;
}

int OnAudioSwatch(Edit& e) {
    AudioLightInfo info = e.panel.GetAudioLightInfo(true);
    const bool foreground = info.colorTypeFlags == 1;
    SetAudioColour(info, foreground, e.panel.AudioSwatchColour(e.number));
    if (foreground) info.sevenColorFlags = 0;
    CommitAudio(e, info);
    return 0;
}

int OnAudioEdit(Edit& e) {
    const int channel = e.n.senderName.back() == 'R' ? 0 : e.n.senderName.back() == 'G' ? 1 : 2;
    const auto value = static_cast<uint8_t>(ParseColourChannel(e.panel.GetLightAudioColor(channel)));
    AudioLightInfo info = e.panel.GetAudioLightInfo(false);
    if (info.colorTypeFlags == 1) {
        std::array<uint8_t*, 3>{&info.fgColorR, &info.fgColorG, &info.fgColorB}[size_t(channel)][0] = value;
        info.sevenColorFlags = 0;
    } else {
        std::array<uint8_t*, 3>{&info.bkColorR, &info.bkColorG, &info.bkColorB}[size_t(channel)][0] = value;
    }
    CommitAudio(e, info);
    return 0;
}

int OnAudioBackgroundOff(Edit& e) {
    AudioLightInfo info = e.panel.GetAudioLightInfo(true);
    info.bkColorR = info.bkColorG = info.bkColorB = 0;
    CommitAudio(e, info);
    return 0;
}

using Handler = int (*)(Edit&);

// One row: an event, control names (a name ending in "_" is the prefix of
// numbered names) and the handler.
struct LightRoute {
    const char* event;
    std::initializer_list<const char*> names;
    Handler handler;
};

const std::array<LightRoute, 18> kRoutes{{
    {"itemselect", {"light_combo_modeSelect"}, OnMode},
    {"itemselect", {"light_combo_ZZCCmodeSelect"}, OnSecondaryMode},
    {"itemselect", {"light_combo_custommodeSelect"}, OnCustomGroup},
    {"click", {"custom_bright_color_btn", "custom_off_color_btn"}, OnCustomColour},
    {"itemselect", {"light_combo_audiomodeSelect"}, OnAudioMode},
    {"valuechanged", {"deng_light_slider"}, OnBrightness},
    {"valuechanged", {"deng_speed_slider"}, OnSpeed},
    {"selectchanged", {"deng_FXL_check", "deng_FXR_check"}, OnDirection},
    {"selectchanged", {"deng_7color_check"}, OnSevenColour},
    {"selectchanged", {"deng_7audiocolor_check"}, OnAudioMode},
    {"selectchanged", {"audio_BkColor_check", "audio_FgColor_check"}, OnAudioTarget},
    {"colorchanged", {"deng_Color_Pallet"}, OnPalette},
    {"colorchanged", {"deng_audioColor_Pallet"}, OnAudioPalette},
    {"killfocus", {"deng_edit_R", "deng_edit_G", "deng_edit_B"}, OnColourEdit},
    {"killfocus", {"deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B"}, OnAudioEdit},
    {"click", {"color_option_"}, OnSwatch},
    {"click", {"audiocolor_option_"}, OnAudioSwatch},
    {"click", {"Close_bkColor_btn"}, OnAudioBackgroundOff},
}};

int RunEdit(Handler handler, CVantrelUSBDevice& device, CLightControlUI& panel, const ui::Notification& n, int number) {
    Edit edit{device, panel, n, number};
    try {
        return handler(edit);
    } catch (const LightPanelError&) {
        return 0;  // the audio sub-panel lacks a control: the edit is abandoned
    }
}

}  // namespace

CLightingPanel::CLightingPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root, PageContext* context)
    : device_(device), panel_(host, root), context_(context) {
    panel_.SetKind(LightKindOf(device.Kind()));
    device.LoadModeList();
    panel_.InitModes(device.ModeNames(), device.ModeVisible(), kLevelRange.high, kLevelRange.high);
    ShowDeviceLighting();
    for (const LightRoute& route : kRoutes) {
        const Handler handler = route.handler;
        routes_.Add(route.event, route.names, [this, handler](const ui::Notification& n, int number) {
            lastWrite_ = RunEdit(handler, device_, panel_, n, number);
            if (context_ != nullptr) ReportWrite(*context_, lastWrite_);
        });
    }
    routes_.Add("click", "deng_same_mode", [this](const ui::Notification&, int) {
        lastWrite_ = 0;
        if (context_ != nullptr) context_->SameMode(device_);
    });
}

LightEditResult CLightingPanel::Handle(const ui::Notification& n) {
    // The result goes back to the caller instead of to the window.
    PageContext* context = std::exchange(context_, nullptr);
    lastWrite_ = 0;
    const bool handled = routes_.Dispatch(n);
    context_ = context;
    return {handled, handled ? lastWrite_ : 0};
}

void CLightingPanel::ShowDeviceLighting() {
    panel_.ShowLight(device_.GetLightInfo());
    try {
        panel_.SetAudioLightInfo(device_.GetAudioLightInfo());
    } catch (const LightPanelError&) {
        // a panel without the audio controls shows the rest
    }
}

void CLightingPanel::Repaint(DeviceChange change) {
    if (change == DeviceChange::Settings || change == DeviceChange::Lighting) ShowDeviceLighting();
}

// ---- the typed settings ----

SettingOutcome CLightingPanel::Told(int write) {
    lastWrite_ = write;
    if (context_ != nullptr) ReportWrite(*context_, lastWrite_);
    return SettingOutcome::Ok();
}

std::optional<SettingOutcome> CLightingPanel::NotTakenNow(LightSetting setting) const {
    const int mode = Mode();
    if (!panel_.ModeTakes(mode, setting)) return SettingOutcome::NotTaken(panel_.ModeKey(mode));
    if (!panel_.CanChange(setting)) return SettingOutcome::NotTaken({});
    return std::nullopt;
}

SettingOutcome CLightingPanel::SetMode(int mode) {
    std::vector<int> offered;
    for (int row = 0; row < panel_.ModeCount(); ++row)
        if (panel_.ModeOffered(row)) offered.push_back(row);
    if (std::find(offered.begin(), offered.end(), mode) == offered.end()) return SettingOutcome::OneOf(offered);
    return Told(TakeMode(device_, panel_, mode));
}

int CLightingPanel::LevelOf(const LightInfo& info, LightSetting setting) {
    switch (setting) {
        case LightSetting::Brightness: return info.light;
        case LightSetting::Speed: return info.speed;
        case LightSetting::Direction: return info.fx == 1 ? 1 : 0;
    }
    return 0;
}

SettingOutcome CLightingPanel::SetLevel(LightSetting setting, int value) {
    if (auto refusal = NotTakenNow(setting)) return *refusal;
    const ValueRange range = setting == LightSetting::Direction ? ValueRange{0, 1} : kLevelRange;
    if (!range.Holds(value)) return SettingOutcome::Outside(range);
    return Told(TakeLevel(device_, panel_, setting, value));
}

uint32_t CLightingPanel::ColourOf(const LightInfo& info) {
    return ArgbOf(info.red, info.green, info.blue) & 0xFFFFFFu;
}

// A mode that shows no colour refuses one, as a mode without speed refuses a speed.
SettingOutcome CLightingPanel::SetColour(uint32_t rgb) {
    if (!panel_.ModeTakesColour(Mode())) return SettingOutcome::NotTaken(panel_.ModeKey(Mode()));
    if (!panel_.CanChangeColour()) return SettingOutcome::NotTaken({});
    panel_.SetPaletteColour(0xFF000000u | rgb);
    return Told(PickColour(device_, panel_, 0xFF000000u | rgb));
}

}  // namespace m470
