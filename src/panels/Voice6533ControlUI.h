#pragma once
// The headset's audio panel ("Voice6533ControlItem"): microphone and
// monitor, the equaliser presets, the ten band sliders and the named custom
// equalisers. It shows what the headset's audio settings hold; every change
// is made by them.
#include <string>

#include "devices/HeadsetAudioSettings.h"
#include "ui/ControlCache.h"

namespace m470 {

// "+4.5", "0", "−3.0": a band level (half-decibel steps) in dB, as shown.
std::string BandLevelText(int level);

class CVoice6533ControlUI {
public:
    CVoice6533ControlUI(ui::ControlHost& host, ui::Control* root) : controls_(host, root) {}

    void SetKind(int kind) { kind_ = kind; }
    int Kind() const { return kind_; }

    // Options 1-13 (13: custom); anything else clears them all and keeps 0.
    void ShowPreset(int preset);
    int CurrentPreset() const { return preset_; }
    void EnableCustom(bool enabled);
    // The slider and its label above (dB).
    void SetBand(int band, int level);
    // The label only: the slider is where the user moved it.
    void ShowBandLevel(int band, int level);
    int GetBand(int band) const;  // -1 when the slider is missing
    EqualiserLevels GetBands() const;
    void ShowMicOn(bool on);
    void SetMicVolume(int percent);
    int GetMicVolume() const;
    void ShowMonitorOn(bool on);
    void SetMonitorVolume(int percent);
    int GetMonitorVolume() const;
    void SetNameEdit(const std::string& text);
    std::string GetNameEdit() const;
    void AddName(const std::string& name);
    int GetSelectedName() const;  // -1 when none or without the list
    int GetNameCount() const;
    // Selects a name and clears the name edit.
    void SelectName(int index);
    void RemoveName(int index);
    void RemoveAllNames();
    std::string GetName(int index) const;
    void ShowEqualiserRefused(bool refused);

    // The whole panel from the settings; the name edit is cleared only when
    // the list of names changed.
    void Show(const CHeadsetAudioSettings& settings);

private:
    ui::Ctl Find(const std::string& name) const { return controls_.Find(name); }
    ui::ControlCache controls_;
    int kind_ = 0;
    int preset_ = 0;
};

}  // namespace m470
