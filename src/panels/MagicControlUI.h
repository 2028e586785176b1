#pragma once
// The headset's voice-changer panel ("MagicControlItem"): on/off and four
// effects, shown from the headset's audio settings.
#include "devices/HeadsetAudioSettings.h"
#include "ui/ControlCache.h"

namespace m470 {

inline constexpr int kVoiceEffects = 4;

class CMagicControlUI {
public:
    CMagicControlUI(ui::ControlHost& host, ui::Control* root) : controls_(host, root) {}

    void SetKind(int kind) { kind_ = kind; }
    int Kind() const { return kind_; }
    void EnableEffects(bool enabled);
    void ShowEnabled(bool enabled);
    bool IsEnabled() const;
    // Options 1-4; anything else clears them and keeps 0.
    void ShowEffect(int effect);
    int CurrentEffect() const { return effect_; }
    void Show(const CHeadsetAudioSettings& settings);

private:
    ui::ControlCache controls_;
    int kind_ = 0;
    int effect_ = 0;
};

}  // namespace m470
