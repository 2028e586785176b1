#include "devices/MousePadDevice.h"

#include "device_link/CommandSequences.h"
#include "macros/MacroFiles.h"
#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {
constexpr uint8_t kHighestPadMode = 8;
constexpr uint8_t kPadStatic = 3, kPadOff = 8;  // mode indexes
constexpr int kReloadDelayMs = 500;
}  // namespace

CVantrelMousePadDevice::CVantrelMousePadDevice(std::shared_ptr<HidBackend> backend, const ProductRow& product)
    : CVantrelMousePadDevice(DeviceKind::MousePad, std::move(backend), product, kPadWave, 0) {
    LoadFactoryProfile();
}

CVantrelMousePadDevice::CVantrelMousePadDevice(DeviceKind kind, std::shared_ptr<HidBackend> backend,
                                               const ProductRow& product, const WaveShape& wave, size_t trailShift)
    : CVantrelUSBDevice(kind, std::move(backend)), wave_(wave), trailShift_(trailShift) {
    UseProfileDocument(profile_);
    SetMacroCatalogue(kPadMacroCatalogue);
    SetNotificationExitLine("MS设备同步线程设定退出");
    ApplyProduct(product);
    SetProfileName("profile1");
    LoadModeList();  // the mode codes are needed before any page is shown
}

CVantrelMousePadDevice::~CVantrelMousePadDevice() { StopThreads(); }

void CVantrelMousePadDevice::PublishSettings() { ShowSettings(); }

void CVantrelMousePadDevice::LoadAssignments() {
    SetProfilePaths();
    Profile().LoadDeviceSection(GetProfilePath());
    ApplyProfile();
}

// The record belongs to the UI thread; the lighting thread reads these copies.
void CVantrelMousePadDevice::PublishLighting() {
    liveMode_ = record_[pad_record::kMode];
    liveSpeed_ = record_[pad_record::kSpeed];
    WakeLightingThread();  // the next step may be due sooner, or a still effect end
}

void CVantrelMousePadDevice::TakeLighting(const LightInfo& light) {
    record_[pad_record::kMode] = light.selectItem;
    record_[pad_record::kBrightness] = light.light;
    record_[pad_record::kSpeed] = light.speed;
    record_[pad_record::kDirection] = light.fx;
    record_[pad_record::kSevenColours] = light.multiColor;
    record_[pad_record::kRed] = light.red;
    record_[pad_record::kRed + 1] = light.green;
    record_[pad_record::kRed + 2] = light.blue;
    PublishLighting();
}

int CVantrelMousePadDevice::ApplyProfile() {
    const int result = ApplyLightingProfile();
    TakeLighting(GetLightInfo());
    {
        // The base ran the rules of modes 0, 2 and 3 with a reset; the pad keeps that.
        std::lock_guard lock(perLedMutex_);
        std::lock_guard frameLock(frameMutex_);
        RunPerLedRules(perLed_, frame_, TickCount(), kPerLedMouseReset, true);
        perLedToShow_ = PerLedRecordsHold(perLed_);
    }
    WakeLightingThread();
    return result;
}

int CVantrelMousePadDevice::ReadFromDevice() {
    int result = kResultNoReply;
    if (transport_.Opened()) {
        result = ConfigSequence(transport_).Framed({[&] {
            DeviceInfo info;
            const int read = transport_.ReadDeviceInfo(info.bytes.data());
            if (read == kResultSuccess) deviceInfo_ = info;
            return read;
        }});
        // The bytes the program does not own are taken from the pad once it is here.
        ReadRecord();
    }
    LoadAssignments();
    PublishSettings();
    StopLightingThread();
    StartLightingThread();
    return result;
}

int CVantrelMousePadDevice::ReadRecord(uint8_t* activeIndex) {
    if (!transport_.Opened()) return kResultNoReply;
    uint8_t index = 0;
    std::array<uint8_t, pad_record::kRead> read{};
    int result = transport_.ReadSettings(&index, 1, 0);
    if (result == kResultSuccess) result = transport_.ReadSettings(read.data(), read.size(), index * pad_record::kReadStride);
    if (result != kResultSuccess) return result;
    lastRead_ = read;
    lastReadIndex_ = index;
    std::copy_n(read.begin(), record_.size(), record_.begin());
    const int mode = ModeIndexOfCode(record_[pad_record::kMode]);
    if (mode >= 0) record_[pad_record::kMode] = static_cast<uint8_t>(mode);
    record_[pad_record::kSpeed] = record_[pad_record::kSpeed] <= 4 ? static_cast<uint8_t>(4 - record_[pad_record::kSpeed]) : 0;
    recordRead_.Set(transport_);
    PublishLighting();
    if (activeIndex != nullptr) *activeIndex = index;
    return kResultSuccess;
}

void CVantrelMousePadDevice::ReloadSettings() {
    SetSynced(false);
    uint8_t index = 0;
    if (ReadRecord(&index) == kResultSuccess) SendToOwner(ui::kMsgActiveRecord, index, 0);
}

std::array<uint8_t, pad_record::kWritten> CVantrelMousePadDevice::RecordToWrite() const {
    std::array<uint8_t, pad_record::kWritten> bytes{};
    std::copy_n(record_.begin(), bytes.size(), bytes.begin());
    bytes[pad_record::kActiveIndex] = lastReadIndex_;  // the index read, not byte 0 of the record at it
    const uint8_t mode = record_[pad_record::kMode] > kHighestPadMode ? 0 : record_[pad_record::kMode];
    bytes[pad_record::kMode] = ModeCode(mode);
    bytes[pad_record::kBrightness] = std::min<uint8_t>(record_[pad_record::kBrightness], 4);
    bytes[pad_record::kSpeed] = static_cast<uint8_t>(4 - std::min<uint8_t>(record_[pad_record::kSpeed], 4));
    return bytes;
}

int CVantrelMousePadDevice::WriteToDevice(int record, int, int, int, int) {
    // Bytes 9-20 are the pad's own: no write before they were read from it.
    if (!recordRead_.Current(transport_)) {
        const int read = ReadRecord();
        if (read != kResultSuccess) return read;
        TakeLighting(GetLightInfo());  // the read took the pad's lighting; the write sends the device's
    }
    const auto bytes = RecordToWrite();
    // Only the settings write decides the result; without a link it fails with 0.
    return ConfigSequence(transport_).Framed({[&] {
        return transport_.WriteSettings(bytes.data(), bytes.size(), static_cast<uint32_t>(record) * pad_record::kWriteStride);
    }});
}

void CVantrelMousePadDevice::OnNotification(uint16_t code, bool) {
    DebugTrace::Write("接收到自动添加设备的同步信息要求  TEST");
    if (code != 0x0401) return;
    DebugTrace::Write("接收到自动添加设备的同步信息要求");
    RequestSelectorTimer(kTimerReload, kReloadDelayMs);
}

LightingState CVantrelMousePadDevice::LiveLighting() const {
    LightInfo info = GetLightInfo();
    info.selectItem = liveMode_;
    info.speed = liveSpeed_;
    return LightingState::From(info);
}

// The per-LED rules run on every counted tick, but between two steps only
// moving ones change the frame, and still ones once after a profile change:
// otherwise the thread wakes for the steps.
uint32_t CVantrelMousePadDevice::StepDueTicks() const {
    {
        std::lock_guard lock(perLedMutex_);
        if (perLedToShow_ || PerLedRecordsMove(perLed_)) return 0;
    }
    return kStepThreshold[LiveLighting().speed];
}

// Static and off stay still unless a per-LED record moves its LED.
bool CVantrelMousePadDevice::StillEffect(int) const {
    const uint8_t mode = LiveLighting().mode;
    if (mode != kPadStatic && mode != kPadOff) return false;
    std::lock_guard lock(perLedMutex_);
    return !PerLedRecordsMove(perLed_);
}

void CVantrelMousePadDevice::LightingTick(uint32_t& ticks) {
    // The pad counts ticks, one per call (one 64 Hz step of the clock; it
    // waited 1 ms and slept 1 ms per tick before), and takes mode and speed
    // from its kept record. The count restarts at a step, which tells the
    // thread a still effect has drawn its frame.
    const LightingState light = LiveLighting();
    if (ticks >= kStepThreshold[light.speed]) {
        ticks = 0;
        std::lock_guard lock(frameMutex_);
        switch (light.mode) {
            case 0: StepPadWave(effect_, light, frame_, wave_); break;
            case 1: m470::StepSpectrum(effect_, light, frame_); break;
            case 2: m470::StepBreathing(effect_, light, frame_); break;
            case 3: m470::StepStatic(effect_, light, frame_); break;
            case 4: m470::StepBlink(effect_, light, frame_, TickCount()); break;
            case 6: StepPadTrail(effect_, padTrail_, light, frame_, false, trailShift_); break;
            case 7: StepPadTrail(effect_, padTrail_, light, frame_, true, trailShift_); break;
            case 8: m470::StepOff(effect_, light, frame_); break;
            default: {
                std::lock_guard stepsLock(customMutex_);
                StepCustom(custom_, customSteps_, light, frame_, TickCount());
                break;
            }
        }
    }
    {
        std::lock_guard perLedLock(perLedMutex_);
        std::lock_guard frameLock(frameMutex_);
        RunPerLedRules(perLed_, frame_, TickCount(), kPerLedAll, false);
        perLedToShow_ = false;
    }
}

}  // namespace m470
