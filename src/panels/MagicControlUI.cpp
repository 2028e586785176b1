#include "panels/MagicControlUI.h"

namespace m470 {

void CMagicControlUI::EnableEffects(bool enabled) { controls_.Find("magic_option_layout").SetEnabled(enabled); }

void CMagicControlUI::ShowEnabled(bool enabled) {
    controls_.Find("magic_enable_option").SetSelected(enabled, false);
    EnableEffects(enabled);
}

bool CMagicControlUI::IsEnabled() const { return controls_.Find("magic_enable_option").Selected(); }

void CMagicControlUI::ShowEffect(int effect) {
    for (int n = 1; n <= kVoiceEffects; ++n) controls_.Find("magic_option_", n).SetSelected(false, false);
    effect_ = effect >= 1 && effect <= kVoiceEffects ? effect : 0;
    if (effect_ != 0) controls_.Find("magic_option_", effect_).SetSelected(true, false);
}

void CMagicControlUI::Show(const CHeadsetAudioSettings& settings) {
    ShowEnabled(settings.Stages().magicEnable != 0);
    ShowEffect(settings.Stages().magicType);
    controls_.Find("hs_magic_not_applied_label").SetVisible(settings.VoiceChangerRefused());
}

}  // namespace m470
