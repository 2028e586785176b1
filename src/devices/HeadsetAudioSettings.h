#pragma once
// The headset's audio settings as the user edits them: microphone and
// monitor, voice changer, the equaliser presets and the named custom
// equalisers. Each edit goes to the audio library and into the profile;
// the panels show the state kept here and send the values they hold.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/HeadsetAudio.h"
#include "profiles/Hs6533Profiledata.h"

namespace m470 {

using EqualiserLevels = std::array<int, equaliser::kBands>;

// The twelve presets, bands 0 to 9, preset 1 first.
extern const std::array<EqualiserLevels, equaliser::kPresets> kEqualiserPresets;

class CHeadsetAudioSettings {
public:
    // save writes the profile file; changed tells the panels to redraw.
    CHeadsetAudioSettings(CHs6533Profiledata& profile, CHeadsetAudio& audio, std::function<bool()> save,
                          std::function<void()> changed);

    // The working state from the loaded profile, then what the library reads.
    void Load();
    void TakeReadings(const AudioReadings& readings);

    const SystemSetStages& Stages() const { return stages_; }
    const EqualiserLevels& Bands() const { return bands_; }
    const std::vector<std::string>& Names() const { return names_; }
    int SelectedName() const { return selectedName_; }  // -1: none
    bool CustomMode() const { return stages_.eqType == equaliser::kCustom; }
    // The equaliser (voice changer) settings are kept in the profile but the
    // sound does not follow them: no library, a library that refused the
    // last of them, or (voice changer) a chip that does not offer it.
    bool EqualiserRefused() const { return !audio_.Available() || equaliserRefused_; }
    bool VoiceChangerRefused() const {
        return !audio_.Available() || voiceRefused_ || (audio_.Capture().features[0] & kFeatureVoiceChanger) == 0;
    }

    void ToggleVoiceChanger(bool on);
    void SelectVoiceEffect(int effect);
    void SetMicLevel(int percent);
    void ToggleMicMute();
    void SetMonitorLevel(int percent);
    void ToggleMonitorMute();
    void SelectPreset(int preset);
    void MoveBand(int band, int level);
    void SelectCustom(int index);
    // 1 saved, 0 a name that exists already (in any letter case), -1 nothing done.
    int SaveCustom(const std::string& name, const EqualiserLevels& sliders);
    void DeleteCustom(int index);

private:
    void StoreSettings();
    void ApplyBands(const EqualiserLevels& levels);
    static EqualiserLevels LevelsOf(const std::vector<int>& levels);

    CHs6533Profiledata& profile_;
    CHeadsetAudio& audio_;
    std::function<bool()> save_;
    std::function<void()> changed_;
    SystemSetStages stages_;
    EqualiserLevels bands_{};
    std::vector<std::string> names_;
    int selectedName_ = -1;
    bool equaliserRefused_ = false, voiceRefused_ = false;
};

}  // namespace m470
