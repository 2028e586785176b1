#include "panels/Voice6533ControlUI.h"

#include <cstdlib>

namespace m470 {
namespace {

constexpr const char* kPresetOption = "6533_eq_option_";
constexpr const char* kBandSlider = "6533_eq_hz_slider_";
constexpr const char* kBandLevelLabel = "hs_eq_db_label_";
constexpr const char* kNameList = "custom_eq_name_combo";
constexpr const char* kNameEdit = "custom_eq_name_edit";

}  // namespace

void CVoice6533ControlUI::ShowPreset(int preset) {
    for (int n = 1; n <= equaliser::kCustom; ++n) Find(kPresetOption + std::to_string(n)).SetSelected(false, false);
    if (preset < 1 || preset > equaliser::kCustom) {
        preset_ = 0;
        return;
    }
    Find(kPresetOption + std::to_string(preset)).SetSelected(true, false);
    preset_ = preset;
}

void CVoice6533ControlUI::EnableCustom(bool enabled) { Find("custom_eq_option_layout").SetEnabled(enabled); }

// A band level is a step of the headset's equaliser, half a decibel. The
// unit is in the equaliser's title: ten values with it are wider than the page.
std::string BandLevelText(int level) {
    if (level == 0) return "0";
    // Wide enough for any level a profile file holds.
    const long long tenths = std::llabs(static_cast<long long>(level) * 5);
    return std::string(level > 0 ? "+" : "\u2212") + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

void CVoice6533ControlUI::SetBand(int band, int level) {
    Find(kBandSlider + std::to_string(band)).SetValue(level, false);
    ShowBandLevel(band, level);
}

void CVoice6533ControlUI::ShowBandLevel(int band, int level) { Find(kBandLevelLabel + std::to_string(band)).SetText(BandLevelText(level)); }

int CVoice6533ControlUI::GetBand(int band) const {
    const ui::Ctl slider = Find(kBandSlider + std::to_string(band));
    return slider ? slider.Value() : -1;
}

EqualiserLevels CVoice6533ControlUI::GetBands() const {
    EqualiserLevels levels{};
    for (int band = 0; band < equaliser::kBands; ++band) levels[static_cast<size_t>(band)] = GetBand(band);
    return levels;
}

void CVoice6533ControlUI::ShowMicOn(bool on) { Find("6533_MicIn_option").SetSelected(on, false); }

void CVoice6533ControlUI::SetMicVolume(int percent) {
    Find("6533_MicIn_slider").SetValue(percent, false);
    Find("hs_mic_value_label").SetText(std::to_string(percent));
}

int CVoice6533ControlUI::GetMicVolume() const { return Find("6533_MicIn_slider").Value(); }

void CVoice6533ControlUI::ShowMonitorOn(bool on) { Find("6533_MicMoniter_option").SetSelected(on, false); }

void CVoice6533ControlUI::SetMonitorVolume(int percent) {
    Find("6533_MicMoniter_slider").SetValue(percent, false);
    Find("hs_monitor_value_label").SetText(std::to_string(percent));
}

int CVoice6533ControlUI::GetMonitorVolume() const { return Find("6533_MicMoniter_slider").Value(); }

void CVoice6533ControlUI::SetNameEdit(const std::string& text) { Find(kNameEdit).SetText(text); }
std::string CVoice6533ControlUI::GetNameEdit() const { return Find(kNameEdit).Text(); }

void CVoice6533ControlUI::AddName(const std::string& name) { Find(kNameList).AddItem(name, name); }

int CVoice6533ControlUI::GetSelectedName() const {
    const ui::Ctl list = Find(kNameList);
    return list ? list.SelectedItem() : -1;
}

int CVoice6533ControlUI::GetNameCount() const { return Find(kNameList).ItemCount(); }

void CVoice6533ControlUI::SelectName(int index) {
    Find(kNameList).SelectItem(index, false);
    SetNameEdit("");
}

void CVoice6533ControlUI::RemoveName(int index) {
    const ui::Ctl list = Find(kNameList);
    if (list && index >= 0 && index < list.ItemCount()) list.Get()->RemoveItem(index);
}

void CVoice6533ControlUI::RemoveAllNames() { Find(kNameList).ClearItems(); }
std::string CVoice6533ControlUI::GetName(int index) const { return Find(kNameList).ItemText(index); }

void CVoice6533ControlUI::ShowEqualiserRefused(bool refused) { Find("hs_eq_not_applied_label").SetVisible(refused); }

void CVoice6533ControlUI::Show(const CHeadsetAudioSettings& settings) {
    const SystemSetStages& stages = settings.Stages();
    ShowMicOn(stages.micInSelect != 0);
    SetMicVolume(stages.micInValue);
    ShowMonitorOn(stages.micMoniterSelect != 0);
    SetMonitorVolume(stages.micMoniterValue);
    ShowPreset(stages.eqType);
    bool namesChanged = GetNameCount() != static_cast<int>(settings.Names().size());
    for (int i = 0; !namesChanged && i < GetNameCount(); ++i) namesChanged = GetName(i) != settings.Names()[static_cast<size_t>(i)];
    if (namesChanged) {
        RemoveAllNames();
        for (const std::string& name : settings.Names()) AddName(name);
        SelectName(settings.SelectedName());
    } else {
        Find(kNameList).SelectItem(settings.SelectedName(), false);
    }
    EnableCustom(settings.CustomMode());
    for (int band = 0; band < equaliser::kBands; ++band) SetBand(band, settings.Bands()[static_cast<size_t>(band)]);
    ShowEqualiserRefused(settings.EqualiserRefused());
}

}  // namespace m470
