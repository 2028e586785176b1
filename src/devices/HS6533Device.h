#pragma once
// The USB-audio headset (kind 7, 0C76:1630): a lighting record and host-lit
// LEDs like the pad's, its status block, and its audio settings through the
// audio library (microphone, monitor, equaliser, voice changer).
#include <memory>
#include <mutex>
#include <string>

#include "audio/HeadsetAudio.h"
#include "devices/HeadsetAudioControls.h"
#include "devices/HeadsetAudioSettings.h"
#include "devices/HeadsetLedReports.h"
#include "devices/MousePadDevice.h"
#include "profiles/Hs6533Profiledata.h"

namespace m470 {

class CVantrelHS6533Device : public CVantrelMousePadDevice, public HeadsetAudioControls {
public:
    // audioLibrary: the absolute path of the audio library to bind.
    explicit CVantrelHS6533Device(std::shared_ptr<HidBackend> backend = nullptr,
                                  const ProductRow& product = DefaultProduct(DeviceKind::Headset),
                                  std::string audioLibrary = DefaultAudioLibraryPath());
    ~CVantrelHS6533Device() override;

    int ReadFromDevice() override;
    void LoadAssignments() override;
    // Settings, then Audio.
    void PublishSettings() override;
    std::array<uint8_t, pad_record::kWritten> RecordToWrite() const override;

    // Binds the audio library and takes what the sound system holds (the
    // page does this once it is built).
    void StartAudio() override;
    CHeadsetAudioSettings& AudioSettings() override { return settings_; }
    const CHeadsetAudio& Audio() const { return audio_; }
    CHs6533Profiledata& HeadsetProfile() { return profile_; }
    // The duplicate-name message of a refused custom save.
    void TellDuplicateName() override;

protected:
    // Still only once the LEDs took the frame: a refused report is sent
    // again at the next step.
    bool StillEffect(int mode) const override;

private:
    // The frame's twelve reports, when their bytes differ from what the LEDs
    // took last (the lighting thread after a step, the UI thread after the
    // picture); a refused report sends all twelve again next time.
    void SendFrameToLeds();
    void ForgetSentFrame();

    std::string audioLibrary_;
    CHeadsetAudio audio_;
    CHs6533Profiledata profile_;
    CHeadsetAudioSettings settings_;
    mutable std::mutex ledsMutex_;
    std::array<HeadsetLedReport, hs6533_leds::kReportsPerRefresh> ledsShow_{};  // what the LEDs took
    bool ledsCurrent_ = false;  // ledsShow_ reached the LEDs
    LedFrame ledsFrame_;        // the frame the reports are built from, kept between refreshes
};

}  // namespace m470
