#include "devices/HeadsetAudioSettings.h"

#include <algorithm>
#include <cctype>

#include "platform/JsonFile.h"

namespace m470 {

const std::array<EqualiserLevels, equaliser::kPresets> kEqualiserPresets{{
    {7, 11, 2, -3, -1, 4, 9, 12, 9, 5},
    {7, 11, 6, -3, -11, -1, 6, 13, 6, 13},
    {10, 4, 0, -3, -4, -3, -2, -1, 0, 0},
    {2, 1, -2, -3, -5, -7, 0, 4, 9, 8},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {7, 14, -13, -6, -1, 8, 13, 7, 2, 6},
    {14, 10, 4, 0, -4, -3, -1, 1, 2, 3},
    {2, 1, -2, -3, -5, -1, 7, 11, 15, 13},
    {8, 2, -4, -8, 1, 3, 8, 11, 14, 16},
    {-3, 4, 10, 0, -11, 3, 9, 13, 6, 0},
    {18, 14, 8, 2, -3, -6, -1, 2, 5, 6},
    {2, 1, -2, -4, -8, 4, 12, 16, 18, 15},
}};

namespace {

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

CHeadsetAudioSettings::CHeadsetAudioSettings(CHs6533Profiledata& profile, CHeadsetAudio& audio,
                                             std::function<bool()> save, std::function<void()> changed)
    : profile_(profile), audio_(audio), save_(std::move(save)), changed_(std::move(changed)) {}

EqualiserLevels CHeadsetAudioSettings::LevelsOf(const std::vector<int>& levels) {
    EqualiserLevels result{};
    std::copy_n(levels.begin(), std::min(levels.size(), result.size()), result.begin());
    return result;
}

void CHeadsetAudioSettings::Load() {
    stages_ = profile_.ReadSystemSetStages();
    bands_ = LevelsOf(CustomMode() ? profile_.ReadCustomBands(stages_.customEqSeletIndex)
                                   : profile_.ReadPresetBands(stages_.eqType));
    names_ = profile_.ReadCustomNames();
    const int index = stages_.customEqSeletIndex;
    selectedName_ = index >= 0 && static_cast<size_t>(index) < names_.size() ? index : -1;
    equaliserRefused_ = voiceRefused_ = false;
    if (changed_) changed_();
}

void CHeadsetAudioSettings::TakeReadings(const AudioReadings& readings) {
    auto take = [](int32_t& field, const std::optional<int32_t>& value) {
        if (value) field = *value;
    };
    take(stages_.micInSelect, readings.micInSelect);
    take(stages_.micInValue, readings.micInValue);
    take(stages_.micMoniterSelect, readings.micMoniterSelect);
    take(stages_.micMoniterValue, readings.micMoniterValue);
    take(stages_.magicEnable, readings.magicEnable);
    take(stages_.magicType, readings.magicType);
    if (changed_) changed_();
}

void CHeadsetAudioSettings::StoreSettings() {
    profile_.WriteSystemSetStages(stages_);
    if (save_) save_();
    if (changed_) changed_();
}

void CHeadsetAudioSettings::ApplyBands(const EqualiserLevels& levels) {
    bands_ = levels;
    equaliserRefused_ = !audio_.ApplyEqualiser(levels);
}

void CHeadsetAudioSettings::ToggleVoiceChanger(bool on) {
    voiceRefused_ = !audio_.SetVoiceChanger(on);
    stages_.magicEnable = on ? 1 : 0;
    StoreSettings();
}

void CHeadsetAudioSettings::SelectVoiceEffect(int effect) {
    if (effect < 1 || effect > 4) return;
    voiceRefused_ = !audio_.SetVoiceEffect(effect);
    stages_.magicType = effect;
    StoreSettings();
}

// Microphone and monitor settings are kept only when the library took them;
// otherwise the panel is redrawn with the values it had.
void CHeadsetAudioSettings::SetMicLevel(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (!audio_.SetMicVolume(percent)) {
        if (changed_) changed_();
        return;
    }
    stages_.micInValue = percent;
    StoreSettings();
}

void CHeadsetAudioSettings::ToggleMicMute() {
    const int muted = stages_.micInSelect != 0 ? 1 : 0;  // the sound was on: mute it
    if (!audio_.SetMicMute(muted)) {
        if (changed_) changed_();
        return;
    }
    stages_.micInSelect = 1 - muted;
    StoreSettings();
}

void CHeadsetAudioSettings::SetMonitorLevel(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (!audio_.SetMonitorVolume(percent)) {
        if (changed_) changed_();
        return;
    }
    stages_.micMoniterValue = percent;
    StoreSettings();
}

void CHeadsetAudioSettings::ToggleMonitorMute() {
    const int muted = stages_.micMoniterSelect != 0 ? 1 : 0;
    if (!audio_.SetMonitorMute(muted)) {
        if (changed_) changed_();
        return;
    }
    stages_.micMoniterSelect = 1 - muted;
    StoreSettings();
}

void CHeadsetAudioSettings::SelectPreset(int preset) {
    if (preset < 1 || preset > equaliser::kCustom) return;
    if (preset == equaliser::kCustom) {
        stages_.eqType = equaliser::kCustom;
        if (selectedName_ >= 0) {
            SelectCustom(selectedName_);
            return;
        }
        StoreSettings();  // custom mode is kept even before a custom setting is chosen
        return;
    }
    const EqualiserLevels& levels = kEqualiserPresets[static_cast<size_t>(preset - 1)];
    ApplyBands(levels);
    stages_.eqType = preset;
    profile_.WriteSystemSetStages(stages_);
    profile_.WritePresetBands(preset, levels);
    if (save_) save_();
    if (changed_) changed_();
}

void CHeadsetAudioSettings::MoveBand(int band, int level) {
    if (band < 0 || band >= equaliser::kBands) return;
    if (!CustomMode()) {
        stages_.eqType = equaliser::kCustom;
        selectedName_ = -1;
    }
    bands_[static_cast<size_t>(band)] = level;
    equaliserRefused_ = !audio_.MoveBand(band, level);
    if (changed_) changed_();  // the levels reach the profile with the next save
}

void CHeadsetAudioSettings::SelectCustom(int index) {
    if (index < 0 || static_cast<size_t>(index) >= names_.size()) return;
    ApplyBands(LevelsOf(profile_.ReadCustomBands(index)));
    stages_.customEqSeletIndex = index;
    selectedName_ = index;
    StoreSettings();
}

int CHeadsetAudioSettings::SaveCustom(const std::string& name, const EqualiserLevels& sliders) {
    if (IsBlank(name)) {
        if (selectedName_ < 0) return -1;
        bands_ = sliders;
        stages_.customEqSeletIndex = selectedName_;
        profile_.WriteSystemSetStages(stages_);
        profile_.WriteCustomBands(selectedName_, bands_);
    } else {
        if (names_.size() >= static_cast<size_t>(equaliser::kCustomLimit)) return -1;
        for (const std::string& existing : names_)
            if (SameNameIgnoringCase(existing, name)) return 0;
        names_.push_back(name);
        bands_ = sliders;
        selectedName_ = static_cast<int>(names_.size()) - 1;
        stages_.customEqSeletIndex = selectedName_;
        profile_.WriteSystemSetStages(stages_);
        profile_.WriteCustomBands(selectedName_, bands_);
        profile_.WriteCustomNames(names_);
    }
    if (save_) save_();
    if (changed_) changed_();
    return 1;
}

// The new levels are shown but not sent: the sound follows at the next
// preset, custom choice or band move.
void CHeadsetAudioSettings::DeleteCustom(int index) {
    if (index < 0 || static_cast<size_t>(index) >= names_.size()) return;
    names_.erase(names_.begin() + index);
    profile_.RemoveCustomBands(index);
    if (!names_.empty()) {
        stages_.customEqSeletIndex = 0;
        selectedName_ = 0;
        profile_.WriteSystemSetStages(stages_);
        bands_ = LevelsOf(profile_.ReadCustomBands(0));
    } else {
        stages_.eqType = 1;
        selectedName_ = -1;
        profile_.WriteSystemSetStages(stages_);
        bands_ = LevelsOf(profile_.ReadPresetBands(1));
    }
    profile_.WriteCustomNames(names_);
    if (save_) save_();
    if (changed_) changed_();
}

}  // namespace m470
