#include "devices/HS6533Device.h"

#include <array>

#include "devices/HeadsetLedReports.h"
#include "platform/JsonFile.h"
#include "profiles/Hs6533Block.h"

namespace m470 {
namespace {

constexpr size_t kHeadsetTrailShift = 1;
constexpr int kHeadsetStatic = 3, kHeadsetOff = 8;  // mode indexes

// Option tab (as the profile strip numbers them) → page of "hs6533_device_seting_layout".
struct HeadsetTabPage {
    int tab;
    int page;
};
constexpr std::array<HeadsetTabPage, 4> kHeadsetTabPages{{{1, 0}, {6, 1}, {7, 2}, {8, 3}}};

}  // namespace

CVantrelHS6533Device::CVantrelHS6533Device(std::shared_ptr<HidBackend> backend, const ProductRow& product,
                                           std::string audioLibrary)
    : CVantrelMousePadDevice(DeviceKind::Headset, std::move(backend), product, kHeadsetWave, kHeadsetTrailShift),
      audioLibrary_(std::move(audioLibrary)),
      audio_([this](const std::string& text) { ShowNotice(text, false); }),
      settings_(profile_, audio_, [this] { return SaveProfile(); }, [this] { ShowAudio(); }) {
    LoadFactorySection();
}

CVantrelHS6533Device::~CVantrelHS6533Device() {
    StopLightingThread();
    CloseNotify(false);
}

void CVantrelHS6533Device::BuildPage() {
    BindPictureButtons("hs6533_device_key_light");
    for (const ui::Ctl& led : ledButtons_) led.SetLight(0xFFFFFF, 255, true);  // white until the first frame
    if (!FindOnPage("hs6533_device_key_light")) return;
    SetUpProfileStrip();
    // Virtual surround keeps the headset's own setting and its page has
    // nothing to change: its tab stays hidden, so the strip fits the window.
    FindOnPage("Virtual7.1_Op_tab").SetVisible(false);
    SetUpLightPanel();
    if (ui::Control* audio = host_ ? host_->FindUnder(page_, "Voice6533ControlItem") : nullptr) {
        audioPanel_ = std::make_unique<CVoice6533ControlUI>(*host_, audio);
        audioPanel_->SetKind(static_cast<int>(DeviceKind::Headset));
    }
    if (ui::Control* voice = host_ ? host_->FindUnder(page_, "MagicControlItem") : nullptr) {
        voicePanel_ = std::make_unique<CMagicControlUI>(*host_, voice);
        voicePanel_->SetKind(static_cast<int>(DeviceKind::Headset));
    }
    settings_.TakeReadings(audio_.InitAudio(audioLibrary_));
    ShowOptionTab(1);
}

void CVantrelHS6533Device::LoadAssignments() {
    CVantrelMousePadDevice::LoadAssignments();
    settings_.Load();
}

int CVantrelHS6533Device::ReadFromDevice() {
    const int result = CVantrelMousePadDevice::ReadFromDevice();
    // What the sound system holds now replaces what the profile says.
    settings_.TakeReadings(audio_.ReadAudioState());
    lastSent_.clear();
    return result;
}

void CVantrelHS6533Device::RefreshPanels() {
    CVantrelMousePadDevice::RefreshPanels();
    ShowAudio();
}

void CVantrelHS6533Device::ShowAudio() {
    if (audioPanel_) audioPanel_->Show(settings_);
    if (voicePanel_) voicePanel_->Show(settings_);
}

void CVantrelHS6533Device::ShowOptionTab(int number) {
    for (const HeadsetTabPage& row : kHeadsetTabPages)
        if (row.tab == number) FindOnPage("hs6533_device_seting_layout").SetPage(row.page);
}

bool CVantrelHS6533Device::StillEffect(int mode) const {
    if (mode != kHeadsetStatic && mode != kHeadsetOff) return false;
    std::lock_guard lock(const_cast<std::mutex&>(perLedMutex_));
    return !PerLedRecordsMove(perLed_);
}

std::array<uint8_t, pad_record::kWritten> CVantrelHS6533Device::RecordToWrite() const {
    Hs6533Block kept{};
    std::copy_n(Record().begin(), kept.size(), kept.begin());
    return OutgoingBlock(kept, modeCodes_);
}

// The picture as every device draws it, then the frame to the LEDs when it
// changed; a refused report sends the whole frame again next time.
void CVantrelHS6533Device::RenderLighting() {
    CVantrelUSBDevice::RenderLighting();
    if (LightControlFlag() == 0 || !transport_.Opened()) return;
    const LedFrame frame = FrameCopy();
    if (frame == lastSent_) return;
    bool sent = true;
    for (const HeadsetLedReport& report : BuildLedReports(frame))
        sent = transport_.Primary().SetOutputReport(report.data(), report.size()) && sent;
    if (sent) lastSent_ = frame;
    else lastSent_.clear();
}

bool CVantrelHS6533Device::HandlePanelNotification(const ui::Notification& n) {
    if (n.senderName.empty()) return false;
    std::string prefix;
    int number = -1;
    const bool numbered = SplitIndexedName(n.senderName, prefix, number);
    const bool selected = n.sender != nullptr && n.sender->Selected();
    if (n.event == "selectchanged") {
        if (n.senderName == "magic_enable_option") settings_.ToggleVoiceChanger(voicePanel_ ? voicePanel_->IsEnabled() : selected);
        else if (numbered && prefix == "magic_option_") {
            if (selected) settings_.SelectVoiceEffect(number);
        } else if (n.senderName == "6533_MicIn_option") settings_.ToggleMicMute();
        else if (n.senderName == "6533_MicMoniter_option") settings_.ToggleMonitorMute();
        else if (numbered && prefix == "6533_eq_option_") {
            if (selected) settings_.SelectPreset(number);
        } else return false;
        return true;
    }
    if (n.event == "valuechanged") {
        const int value = n.sender != nullptr ? n.sender->Value() : 0;
        if (n.senderName == "6533_MicIn_slider") settings_.SetMicLevel(value);
        else if (n.senderName == "6533_MicMoniter_slider") settings_.SetMonitorLevel(value);
        else if (numbered && prefix == "6533_eq_hz_slider_") settings_.MoveBand(number, value);
        else return false;
        return true;
    }
    if (n.event == "itemselect" && n.senderName == "custom_eq_name_combo") {
        settings_.SelectCustom(audioPanel_ ? audioPanel_->GetSelectedName() : static_cast<int>(n.wParam));
        return true;
    }
    if (n.event == "click" && n.senderName == "hs_EQ_btn_save") {
        if (audioPanel_ && settings_.SaveCustom(audioPanel_->GetNameEdit(), audioPanel_->GetBands()) == 0)
            TellDuplicateName();
        return true;
    }
    if (n.event == "click" && n.senderName == "hs_EQ_btn_delete") {
        if (audioPanel_) settings_.DeleteCustom(audioPanel_->GetSelectedName());
        return true;
    }
    return false;
}

void CVantrelHS6533Device::TellDuplicateName() { ShowNotice("message_text_5", true); }

}  // namespace m470
