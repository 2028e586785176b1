#include "pages/HeadsetAudioPanel.h"

#include <array>

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

// Options report both being chosen and being left: only the choice acts.
bool Chosen(const ui::Notification& n) { return n.sender != nullptr && n.sender->Selected(); }
int ValueOf(const ui::Notification& n) { return n.sender != nullptr ? n.sender->Value() : 0; }

}  // namespace

CHeadsetAudioPanel::CHeadsetAudioPanel(HeadsetAudioControls& headset, ui::ControlHost& host, ui::Control* page)
    : headset_(headset), host_(host), page_(page) {
    const int kind = static_cast<int>(DeviceKind::Headset);
    if (ui::Control* audio = Find("Voice6533ControlItem").Get()) {
        audio_ = std::make_unique<CVoice6533ControlUI>(host_, audio);
        audio_->SetKind(kind);
    }
    if (ui::Control* voice = Find("MagicControlItem").Get()) {
        voice_ = std::make_unique<CMagicControlUI>(host_, voice);
        voice_->SetKind(kind);
    }

    using N = const ui::Notification&;
    CHeadsetAudioSettings& settings = headset_.AudioSettings();
    routes_
        .Add("selectchanged", "magic_enable_option",
             [this, &settings](N n, int) { settings.ToggleVoiceChanger(voice_ ? voice_->IsEnabled() : Chosen(n)); })
        .Add("selectchanged", "magic_option_", [&settings](N n, int i) { if (Chosen(n)) settings.SelectVoiceEffect(i); })
        .Add("selectchanged", "6533_MicIn_option", [&settings](N, int) { settings.ToggleMicMute(); })
        .Add("selectchanged", "6533_MicMoniter_option", [&settings](N, int) { settings.ToggleMonitorMute(); })
        .Add("selectchanged", "6533_eq_option_", [&settings](N n, int i) { if (Chosen(n)) settings.SelectPreset(i); })
        .Add("valuechanged", "6533_MicIn_slider", [&settings](N n, int) { settings.SetMicLevel(ValueOf(n)); })
        .Add("valuechanged", "6533_MicMoniter_slider", [&settings](N n, int) { settings.SetMonitorLevel(ValueOf(n)); })
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

void CHeadsetAudioPanel::ShowAudio() {
    if (audio_) audio_->Show(headset_.AudioSettings());
    if (voice_) voice_->Show(headset_.AudioSettings());
}

void CHeadsetAudioPanel::ShowOptionTab(int number) {
    for (const HeadsetTabPage& row : kHeadsetTabPages) {
        if (row.tab != number) continue;
        Find("hs6533_device_seting_layout").SetPage(row.page);
        Find("hs6533_picture_area").SetVisible(row.picture);
    }
}

}  // namespace m470
