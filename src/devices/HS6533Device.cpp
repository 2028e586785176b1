#include "devices/HS6533Device.h"

#include "platform/JsonFile.h"
#include "profiles/Hs6533Block.h"

namespace m470 {
namespace {

constexpr size_t kHeadsetTrailShift = 1;

}  // namespace

CVantrelHS6533Device::CVantrelHS6533Device(std::shared_ptr<HidBackend> backend, const ProductRow& product,
                                           std::string audioLibrary)
    : CVantrelMousePadDevice(DeviceKind::Headset, std::move(backend), product, kHeadsetWave, kHeadsetTrailShift),
      audioLibrary_(std::move(audioLibrary)),
      audio_([this](const std::string& text) { ShowNotice(text, false); }),
      settings_(profile_, audio_, [this] { return SaveProfile(); }, [this] { Tell(DeviceChange::Audio); }) {
    UseProfileDocument(profile_);
    capabilities_.headsetAudio = this;
    SetLedsShowFrame([this] { SendFrameToLeds(); });
    LoadFactoryProfile();
}

// The threads read this object's members: stopped before it goes.
CVantrelHS6533Device::~CVantrelHS6533Device() { StopThreads(); }

void CVantrelHS6533Device::StartAudio() { settings_.TakeReadings(audio_.InitAudio(audioLibrary_)); }

void CVantrelHS6533Device::LoadAssignments() {
    CVantrelMousePadDevice::LoadAssignments();
    settings_.Load();
}

int CVantrelHS6533Device::ReadFromDevice() {
    const int result = CVantrelMousePadDevice::ReadFromDevice();
    // What the sound system holds now replaces what the profile says.
    settings_.TakeReadings(audio_.ReadAudioState());
    ForgetSentFrame();  // a headset that came back shows nothing yet
    return result;
}

void CVantrelHS6533Device::PublishSettings() {
    CVantrelMousePadDevice::PublishSettings();
    Tell(DeviceChange::Audio);
}

bool CVantrelHS6533Device::StillEffect(int mode) const {
    {
        std::lock_guard lock(ledsMutex_);
        if (!ledsCurrent_) return false;
    }
    return CVantrelMousePadDevice::StillEffect(mode);
}

// The block as last read, with the bytes the program sets taken from the
// kept record: the headset keeps no direction, byte 4 goes back as read.
std::array<uint8_t, pad_record::kWritten> CVantrelHS6533Device::RecordToWrite() const {
    Hs6533Block kept = IncomingBlock(LastRead(), LastReadIndex(), modeCodes_);
    for (const size_t at : hs6533_block::kSetBytes) kept[at] = Record()[at];
    return OutgoingBlock(kept, modeCodes_);
}

void CVantrelHS6533Device::SendFrameToLeds() {
    if (LightControlFlag() == 0 || !transport_.Opened()) return;
    std::lock_guard lock(ledsMutex_);
    const auto reports = BuildLedReports(CopyFrame(ledsFrame_));
    if (ledsCurrent_ && reports == ledsShow_) return;
    bool sent = true;
    for (const HeadsetLedReport& report : reports)
        sent = transport_.Primary().SetOutputReport(report.data(), report.size()) && sent;
    ledsShow_ = reports;
    ledsCurrent_ = sent;
}

void CVantrelHS6533Device::ForgetSentFrame() {
    {
        std::lock_guard lock(ledsMutex_);
        ledsCurrent_ = false;
    }
    WakeLightingThread();  // a still frame is sent again too
}

void CVantrelHS6533Device::TellDuplicateName() { ShowNotice("hs_eq_name_taken_text", true); }

}  // namespace m470
