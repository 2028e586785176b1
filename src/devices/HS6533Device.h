#pragma once
// The USB-audio headset (kind 7, 0C76:1630): a lighting record and host-lit
// LEDs like the pad's, its status block, and its audio settings through the
// audio library (microphone, monitor, equaliser, voice changer).
#include <memory>
#include <string>

#include "audio/HeadsetAudio.h"
#include "devices/HeadsetAudioSettings.h"
#include "devices/MousePadDevice.h"
#include "panels/MagicControlUI.h"
#include "panels/Voice6533ControlUI.h"
#include "profiles/Hs6533Profiledata.h"

namespace m470 {

class CVantrelHS6533Device : public CVantrelMousePadDevice {
public:
    // audioLibrary: the absolute path of the audio library to bind.
    explicit CVantrelHS6533Device(std::shared_ptr<HidBackend> backend = nullptr,
                                  const ProductRow& product = DefaultProduct(DeviceKind::Headset),
                                  std::string audioLibrary = DefaultAudioLibraryPath());
    ~CVantrelHS6533Device() override;

    void BuildPage() override;
    int ReadFromDevice() override;
    void LoadAssignments() override;
    void RefreshPanels() override;
    void RenderLighting() override;
    void ShowOptionTab(int number) override;
    std::array<uint8_t, pad_record::kWritten> RecordToWrite() const override;

    // The page's audio and voice-changer controls; true when one was taken.
    bool HandlePanelNotification(const ui::Notification& n) override;

    CHeadsetAudioSettings& AudioSettings() { return settings_; }
    const CHeadsetAudio& Audio() const { return audio_; }
    CHs6533Profiledata& HeadsetProfile() { return profile_; }
    CVoice6533ControlUI* AudioPanel() const { return audioPanel_.get(); }
    CMagicControlUI* VoicePanel() const { return voicePanel_.get(); }

protected:
    bool LedsShowTheFrame() const override { return true; }
    // Static and off stay still unless a per-LED record moves its LED.
    bool StillEffect(int mode) const override;
    CBasicProfiledata& Profile() override { return profile_; }

private:
    void ShowAudio();
    // The duplicate-name message of a refused custom save.
    void TellDuplicateName();

    std::string audioLibrary_;
    CHeadsetAudio audio_;
    CHs6533Profiledata profile_;
    CHeadsetAudioSettings settings_;
    std::unique_ptr<CVoice6533ControlUI> audioPanel_;
    std::unique_ptr<CMagicControlUI> voicePanel_;
    LedFrame lastSent_;  // the frame the LEDs show; empty: send the next one
};

}  // namespace m470
