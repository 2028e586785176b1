#include "pages/HeadsetAudioPanel.h"

#include <algorithm>
#include <array>
#include <functional>

namespace m470 {
namespace {

// Option tab (as the profile strip numbers them) → page of "hs6533_device_seting_layout",
// and whether the headset's picture shows with it (only its lighting uses it).
struct HeadsetTabPage {
    int tab;
    int page;
    bool picture;
};
constexpr std::array<HeadsetTabPage, 4> kHeadsetTabPages{{{1, 0, true}, {6, 1, false}, {7, 2, false}, {8, 3, false}}};
constexpr int kAudioPage = 1;  // the equaliser and microphone, loaded when first shown
constexpr const char* kAudioHolder = "Voice6533ControlItem";

// The microphone's controls: a level's slider, or a switch whose route toggles.
struct MicControl {
    MicSetting setting;
    const char* name;
    int32_t SystemSetStages::*field;
    bool level;
};
constexpr std::array<MicControl, 4> kMicControls{{
    {MicSetting::MicLevel, "6533_MicIn_slider", &SystemSetStages::micInValue, true},
    {MicSetting::MonitorLevel, "6533_MicMoniter_slider", &SystemSetStages::micMoniterValue, true},
    {MicSetting::Mic, "6533_MicIn_option", &SystemSetStages::micInSelect, false},
    {MicSetting::Monitor, "6533_MicMoniter_option", &SystemSetStages::micMoniterSelect, false},
}};
constexpr ValueRange kLevelRange{0, 100};

const MicControl& ControlOf(MicSetting setting) {
    return *std::find_if(kMicControls.begin(), kMicControls.end(), [setting](const MicControl& c) { return c.setting == setting; });
}

// Options report both being chosen and being left: only the choice acts.
bool Chosen(const ui::Notification& n) { return n.sender != nullptr && n.sender->Selected(); }
int ValueOf(const ui::Notification& n) { return n.sender != nullptr ? n.sender->Value() : 0; }

}  // namespace

CHeadsetAudioPanel::CHeadsetAudioPanel(HeadsetAudioControls& headset, ui::ControlHost& host, ui::Control* page)
    : headset_(headset), host_(host), page_(page) {
    if (ui::Control* voice = Find("MagicControlItem").Get()) {
        voice_ = std::make_unique<CMagicControlUI>(host_, voice);
        voice_->SetKind(kHeadsetKind);
    }

    using N = const ui::Notification&;
    CHeadsetAudioSettings& settings = headset_.AudioSettings();
    routes_
        .Add("selectchanged", "magic_enable_option",
             [this, &settings](N n, int) { settings.ToggleVoiceChanger(voice_ ? voice_->IsEnabled() : Chosen(n)); })
        .Add("selectchanged", "magic_option_", [&settings](N n, int i) { if (Chosen(n)) settings.SelectVoiceEffect(i); })
        .Add("selectchanged", ControlOf(MicSetting::Mic).name, [&settings](N, int) { settings.ToggleMicMute(); })
        .Add("selectchanged", ControlOf(MicSetting::Monitor).name, [&settings](N, int) { settings.ToggleMonitorMute(); })
        .Add("selectchanged", "6533_eq_option_", [&settings](N n, int i) { if (Chosen(n)) settings.SelectPreset(i); })
        .Add("valuechanged", ControlOf(MicSetting::MicLevel).name, [&settings](N n, int) { settings.SetMicLevel(ValueOf(n)); })
        .Add("valuechanged", ControlOf(MicSetting::MonitorLevel).name,
             [&settings](N n, int) { settings.SetMonitorLevel(ValueOf(n)); })
        .Add("valuechanged", "6533_eq_hz_slider_",
             [this, &settings](N n, int i) {
                 if (audio_) audio_->ShowBandLevel(i, ValueOf(n));
                 settings.MoveBand(i, ValueOf(n));
             })
        .Add("itemselect", "custom_eq_name_combo",
             [this, &settings](N n, int) {
                 settings.SelectCustom(audio_ ? audio_->GetSelectedName() : static_cast<int>(n.wParam));
             })
        .Add("click", "hs_EQ_btn_save",
             [this, &settings](N, int) {
                 if (audio_ && settings.SaveCustom(audio_->GetNameEdit(), audio_->GetBands()) == 0)
                     headset_.TellDuplicateName();
             })
        .Add("click", "hs_EQ_btn_delete", [this, &settings](N, int) {
            if (audio_) settings.DeleteCustom(audio_->GetSelectedName());
        });
}

void CHeadsetAudioPanel::Repaint(DeviceChange change) {
    if (change == DeviceChange::Audio) ShowAudio();
}

CVoice6533ControlUI* CHeadsetAudioPanel::AudioPanel() {
    if (audio_ != nullptr) return audio_.get();
    ui::Control* holder = Find(kAudioHolder).Get();
    if (holder == nullptr || !host_.LoadHeldLayout(holder)) return nullptr;
    audio_ = std::make_unique<CVoice6533ControlUI>(host_, holder);
    audio_->SetKind(kHeadsetKind);
    audio_->Show(headset_.AudioSettings());
    return audio_.get();
}

void CHeadsetAudioPanel::ShowAudio() {
    if (audio_) audio_->Show(headset_.AudioSettings());
    if (voice_) voice_->Show(headset_.AudioSettings());
}

ValueRange CHeadsetAudioPanel::RangeOf(MicSetting setting) { return ControlOf(setting).level ? kLevelRange : ValueRange{0, 1}; }

int CHeadsetAudioPanel::Mic(MicSetting setting) const {
    const int value = headset_.AudioSettings().Stages().*ControlOf(setting).field;
    return ControlOf(setting).level ? value : value != 0 ? 1 : 0;
}

// A switch is acted on only when it changes: its route toggles.
SettingOutcome CHeadsetAudioPanel::SetMic(MicSetting setting, int value) {
    const MicControl& control = ControlOf(setting);
    if (!RangeOf(setting).Holds(value)) return SettingOutcome::Outside(RangeOf(setting));
    CHeadsetAudioSettings& settings = headset_.AudioSettings();
    if (control.level) {
        Find(control.name).SetValue(value, false);
        std::invoke(setting == MicSetting::MicLevel ? &CHeadsetAudioSettings::SetMicLevel : &CHeadsetAudioSettings::SetMonitorLevel,
                    settings, value);
        return SettingOutcome::Ok();
    }
    if (Mic(setting) == value) return SettingOutcome::Ok();
    Find(control.name).SetSelected(value != 0, false);
    std::invoke(setting == MicSetting::Mic ? &CHeadsetAudioSettings::ToggleMicMute : &CHeadsetAudioSettings::ToggleMonitorMute, settings);
    return SettingOutcome::Ok();
}

void CHeadsetAudioPanel::ShowOptionTab(int number) {
    for (const HeadsetTabPage& row : kHeadsetTabPages) {
        if (row.tab != number) continue;
        if (row.page == kAudioPage) AudioPanel();
        Find("hs6533_device_seting_layout").SetPage(row.page);
        Find("hs6533_picture_area").SetVisible(row.picture);
    }
}

}  // namespace m470
