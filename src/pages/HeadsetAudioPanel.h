#pragma once
// The headset page's audio and voice-changer panels ("Voice6533ControlItem",
// "MagicControlItem"), the settings pages its option tabs show, and the
// routes of their controls into the headset's audio settings.
#include <memory>

#include "devices/HeadsetAudioControls.h"
#include "devices/VantrelUSBDevice.h"
#include "pages/PagePanel.h"
#include "pages/SettingOutcome.h"
#include "panels/MagicControlUI.h"
#include "panels/Voice6533ControlUI.h"

namespace m470 {

// The microphone's settings: the two levels in percent, the two switches 0 or 1.
enum class MicSetting { MicLevel, MonitorLevel, Mic, Monitor };

class CHeadsetAudioPanel : public CPagePanel {
public:
    CHeadsetAudioPanel(HeadsetAudioControls& headset, ui::ControlHost& host, ui::Control* page);

    void Repaint(DeviceChange change) override;
    void ShowOptionTab(int number) override;

    // Typed, for every client: a change does what the edit of its control does.
    static ValueRange RangeOf(MicSetting setting);
    int Mic(MicSetting setting) const;
    SettingOutcome SetMic(MicSetting setting, int value);

    // Made, its layout loaded, when its tab first shows or a client asks for it.
    CVoice6533ControlUI* AudioPanel();
    CMagicControlUI* VoicePanel() const { return voice_.get(); }

private:
    static constexpr int kHeadsetKind = static_cast<int>(DeviceKind::Headset);

    ui::Ctl Find(const std::string& name) const { return host_.FindUnder(page_, name); }
    void ShowAudio();

    HeadsetAudioControls& headset_;
    ui::ControlHost& host_;
    ui::Control* page_;
    std::unique_ptr<CVoice6533ControlUI> audio_;
    std::unique_ptr<CMagicControlUI> voice_;
};

}  // namespace m470
