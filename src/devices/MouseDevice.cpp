#include "devices/MouseDevice.h"

#include <algorithm>
#include <cstdlib>

#include "device_link/CommandSequences.h"
#include "devices/KeySlots.h"
#include "devices/RecordLight.h"
#include "macros/MacroFiles.h"
#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"
#include "recoil/RecoilImage.h"
#include "recoil/RecoilPatterns.h"

namespace m470 {
namespace {

constexpr uint8_t kAudioMode = 11;

KeyAssignment FactoryFunction(size_t button) {
    const MouseButtonRow& row = kMouseLogicalButtons[button];
    return {static_cast<uint16_t>(button), row.type, row.param1, row.param2, 0};
}

uint32_t RandomWheelIndex() { return static_cast<uint32_t>(std::rand()); }

}  // namespace

void PutSettings(const MouseSettings& model, bool receiver, std::array<uint8_t, mouse_record::kSize>& bytes) {
    using namespace mouse_record;
    if (receiver)
        bytes[kReceiverReportRate] = static_cast<uint8_t>(model.system.ReceiverReportRate());
    else
        bytes[kWiredReportRate] = static_cast<uint8_t>(model.system.WiredReportRate());
    bytes[kActiveStage] = static_cast<uint8_t>(model.activeStage);
    for (size_t i = 0; i < model.stages.size() && i < SensitivityStages::kMaxStages; ++i) {
        const auto stage = model.stages[i].ToBytes();
        std::copy(stage.begin(), stage.end(), bytes.begin() + static_cast<long>(kStages + DpiStage::kSize * i));
    }
}

CVantrelMouseDevice::CVantrelMouseDevice(std::shared_ptr<HidBackend> backend, Translator translate,
                                         const ProductRow& product)
    : CVantrelUSBDevice(DeviceKind::Mouse, std::move(backend)),
      translate_(translate ? std::move(translate) : [](std::string_view key) { return std::string(key); }) {
    UseProfileDocument(profile_);
    capabilities_.keys = this;
    capabilities_.stages = this;
    capabilities_.systemFlags = this;
    capabilities_.recoil = this;
    slotMap_.fill(kMissingSlot);
    ApplyProduct(product);
    SetProfileName("profile1");
    LoadFactoryProfile();
    assignments_ = profile_.ReadKeyList();
    LoadSettings();
    LoadModeList();  // the mode codes are needed before any page is shown
}

// The threads read this object's members: stopped before it goes.
CVantrelMouseDevice::~CVantrelMouseDevice() { StopThreads(); }

std::string CVantrelMouseDevice::Translate(const std::string& key) const { return translate_(key); }

bool CVantrelMouseDevice::LinkUp() { return !transport_.ReceiverMode() || transport_.QueryLink(); }

int CVantrelMouseDevice::WriteAllSettings() {
    return WriteRecordMacrosAndKeys(*this, [this] { return KeyTableImageCurrent() || ReadKeyTableImage(); });
}

// The record carries the screen size the pointer corrections work in: a
// refresh sends the size the device was given, never 0 x 0. Without a
// screen (m470ctl with no window) a refresh only reads: a look at the mouse
// changes nothing on it.
void CVantrelMouseDevice::PublishSettings() {
    ShowSettings();
    if (screenWidth_ > 0 && screenHeight_ > 0) WriteSettingsRecord();
}

void CVantrelMouseDevice::StoreAssignment(size_t index, const KeyAssignmentPair& pair) {
    if (StoreKeyPair(assignments_, index, pair, profile_)) Tell(DeviceChange::Keys);
}

bool CVantrelMouseDevice::KeyIsFactory(size_t button) const {
    return button < assignments_.size() && button < kMouseButtons &&
           SameFunction(assignments_[button].current, FactoryFunction(button));
}

bool CVantrelMouseDevice::SetStageEnabled(size_t stage, bool enabled) {
    std::vector<DpiStage>& stages = settings_.stages;
    if (stage >= stages.size()) return false;
    stages[stage].enabled = enabled ? 1 : 0;
    return true;
}

void CVantrelMouseDevice::SetStagePosition(size_t stage, int position) {
    std::vector<DpiStage>& stages = settings_.stages;
    if (stage >= kMaxStages) return;
    if (stages.size() <= stage) stages.resize(stage + 1);
    stages[stage].dpiX = static_cast<uint16_t>(std::clamp(position, 0, SensitivityScale::kMaxPosition));
}

bool CVantrelMouseDevice::SetStageColour(size_t stage, uint32_t rgb) {
    std::vector<DpiStage>& stages = settings_.stages;
    if (stage >= stages.size()) return false;
    stages[stage].red = static_cast<uint8_t>(rgb >> 16);
    stages[stage].green = static_cast<uint8_t>(rgb >> 8);
    stages[stage].blue = static_cast<uint8_t>(rgb);
    return true;
}

// Kept in the document at once (not saved): a record read or a report from
// the mouse moves it as well as the page.
void CVantrelMouseDevice::SetActiveStage(int stage) {
    settings_.activeStage = stage;
    profile_.WriteActiveStage(stage);
}

int CVantrelMouseDevice::CommitStages() {
    profile_.WriteStages(settings_.stages);
    return SaveAndWrite();
}

int CVantrelMouseDevice::CommitSystem(const SystemSettings& settings, bool write) {
    settings_.system = settings;
    profile_.WriteSystemSettings(settings_.system);
    if (write) return SaveAndWrite();
    SaveProfile();
    return kResultSuccess;
}

// ---- profile ----

int CVantrelMouseDevice::ApplyProfile() {
    const int result = ApplyLightingProfile();
    const uint8_t mode = GetLightInfo().selectItem;
    if (mode != previousMode_) {
        std::lock_guard lock(frameMutex_);
        m470::ResetTrail(trail_);
        trail_.ring[0] = true;
        if (mode == kAudioMode) ResetAudio(audio_);
    }
    previousMode_ = mode;
    return result;
}

void CVantrelMouseDevice::LoadAssignments() {
    SetProfilePaths();
    profile_.LoadDeviceSection(GetProfilePath());
    assignments_ = profile_.ReadKeyList();
    ApplyProfile();
    LoadSettings();
    Tell(DeviceChange::Keys);
}

void CVantrelMouseDevice::PruneMacroKeys() {
    LoadPanelLists();
    if (PruneMissingMacros(assignments_, macroNames_.size(), profile_)) Tell(DeviceChange::Keys);
}

// ---- hardware ----

bool CVantrelMouseDevice::ReadKeyTableImage() {
    if (!transport_.Opened() || !LinkUp()) return false;
    std::vector<uint8_t> table;
    if (ReadDeviceImage(transport_, deviceInfo_, table) != kResultSuccess) return false;
    keyTableImage_ = table;
    keyTableRead_.Set(transport_);
    slotMap_.fill(kMissingSlot);
    const size_t slots = deviceInfo_.KeySlotCount();
    for (size_t button = 0; button < kMouseButtons; ++button)
        slotMap_[button] = FindFactorySlot(table, slots, FactoryFunction(button), kMissingSlot);
    Tell(DeviceChange::Keys);
    return true;
}

bool CVantrelMouseDevice::KeyTableImageCurrent() const {
    return keyTableRead_.Current(transport_) && keyTableImage_.size() == deviceInfo_.KeyTableLength() &&
           keyTableImage_.size() == transport_.BlockSize();
}

int CVantrelMouseDevice::ReadRecordBytes() {
    // Without a link there is nothing to read; the record stays as it is.
    if (!transport_.Opened() || !LinkUp()) return kResultNoReply;
    uint8_t index = 0;
    std::array<uint8_t, mouse_record::kSize> record{};
    const int result = ReadActiveRecord(transport_, record.data(), record.size(), mouse_record::kStride, index);
    if (result != kResultSuccess) return result;
    const int mode = ModeIndexOfCode(record[mouse_record::kMode]);
    if (mode >= 0) record[mouse_record::kMode] = static_cast<uint8_t>(mode);
    record[mouse_record::kCleared] = 0;
    record_ = record;
    activeRecord_ = index;
    recordRead_.Set(transport_);
    return kResultSuccess;
}

bool CVantrelMouseDevice::ReadSettingsRecord() {
    SetSynced(false);
    if (ReadRecordBytes() != kResultSuccess) return false;
    const std::array<uint8_t, mouse_record::kSize>& record = record_;

    LightInfo light = GetLightInfo();
    const uint8_t previous = light.selectItem;
    light.selectItem = record[mouse_record::kMode];
    record_light::Take(record.data(), light, false);
    SetLightInfo(light.Words(), light.HalfWord());
    if (light.selectItem != previous && light.selectItem == kAudioMode) {
        std::lock_guard lock(frameMutex_);
        ResetAudio(audio_);
    }
    SetActiveStage(record[mouse_record::kActiveStage]);
    profile_.WriteLightInfo(light);
    SaveProfile();
    return true;
}

int CVantrelMouseDevice::ReadFromDevice() {
    const bool read = ReadKeyTableImage();
    LoadAssignments();
    ReadSettingsRecord();
    PublishSettings();
    StopLightingThread();
    StartLightingThread();
    return read ? kResultSuccess : kResultNoReply;
}

void CVantrelMouseDevice::ReloadSettings() {
    ReadSettingsRecord();
    PublishSettings();
}

int CVantrelMouseDevice::WriteToDevice(int record, int firstByte, int flag, int screenWidth, int screenHeight) {
    using namespace mouse_record;
    // The bytes the program does not own come from this device's record:
    // before one was read, read it; when that fails nothing is sent.
    if (!recordRead_.Current(transport_)) {
        const int read = ReadRecordBytes();
        if (read != kResultSuccess) return read;
    }
    std::array<uint8_t, kSize> bytes = record_;
    const LightInfo light = profile_.ReadLightInfo();
    bytes[kActiveIndex] = static_cast<uint8_t>(firstByte);
    bytes[kMode] = ModeCode(light.selectItem > kHighestMouseMode ? 0 : light.selectItem);
    record_light::Put(light, bytes.data());
    bytes[kCleared] = 0;
    PutSettings(settings_, transport_.ReceiverMode(), bytes);
    bytes[kFlag] = static_cast<uint8_t>(flag);
    // Without a screen (m470ctl with no window) the mouse keeps the size it has.
    if (screenWidth > 0 && screenHeight > 0) {
        bytes[kScreenWidth] = static_cast<uint8_t>(screenWidth);
        bytes[kScreenWidth + 1] = static_cast<uint8_t>(screenWidth >> 8);
        bytes[kScreenHeight] = static_cast<uint8_t>(screenHeight);
        bytes[kScreenHeight + 1] = static_cast<uint8_t>(screenHeight >> 8);
    }
    bytes[kCorrectMinSq] = 0;
    bytes[kCorrectPixThresh] = 0;
    for (const CorrectionPreset& preset : profile_.ReadCorrections()) {
        if (preset.selected == 0) continue;
        bytes[kCorrectMinSq] = preset.minSq;
        bytes[kCorrectPixThresh] = preset.pixThresh;
        break;
    }
    // The result of the write itself: a failed write is not reported as success.
    return ConfigSequence(transport_).Framed(
        {[&] { return transport_.WriteSettings(bytes.data(), bytes.size(), static_cast<uint32_t>(record) * kStride); }});
}

std::vector<int> CVantrelMouseDevice::CollectUsedMacros() {
    return UsedMacros(slotMap_, kMissingSlot, assignments_, LoadMacroCatalogue(DataFolder() + kMacroCatalogue).size());
}

int CVantrelMouseDevice::WriteKeyAssignments(int page, const std::vector<int>&) {
    if (!transport_.Opened() || !LinkUp()) return kResultNoReply;
    DeviceInfo info;
    if (transport_.ReadDeviceInfo(info.bytes.data()) != kResultSuccess) return kResultNoReply;
    deviceInfo_ = info;
    // Only a table read from this device is rewritten: a missing or stale
    // image would clear every button the profile does not name.
    if (!KeyTableImageCurrent() && !ReadKeyTableImage()) {
        DebugTrace::Write("key table not read from this device: not written");
        return kResultWriteFailed;
    }
    std::vector<uint8_t> image = keyTableImage_;
    PlaceKeyFunctions(image, slotMap_, kMissingSlot, assignments_, FactoryFunction,
                      LoadMacroCatalogue(DataFolder() + kMacroCatalogue).size());
    return ConfigSequence(transport_).Framed({[&] { return transport_.WriteKeyTable(image.data(), page); }});
}

int CVantrelMouseDevice::WriteMacros(const std::vector<int>& macros) { return DownloadMacros(macros); }

// An image whose 16-bit lengths would wrap is not sent at all.
int CVantrelMouseDevice::WriteRecoilPatterns() {
    RecoilPatterns patterns;
    patterns.SetDataFolder(DataFolder());
    const std::optional<std::vector<uint8_t>> image = BuildRecoilImage(patterns.DeviceEntries());
    if (!image) return kResultTooLarge;
    return ConfigSequence(transport_).Framed({[&] { return transport_.WriteRecoilImage(image->data(), image->size()); }});
}

// ---- notifications ----

void CVantrelMouseDevice::OnNotification(uint16_t code, bool receiver) {
    DebugTrace::Write("接收到自动添加设备的同步信息要求  TEST");
    const uint8_t high = static_cast<uint8_t>(code >> 8);
    if (code == 0x0401 || code == 0x0402) {
        DebugTrace::Write("接收到自动添加设备的同步信息要求");
        RequestSelectorTimer(kTimerReload, 50);
    } else if (code == 0x0403) {
        if (receiver) return;
        std::lock_guard lock(frameMutex_);
        ArmReaction(reaction_, frame_.size(), RandomWheelIndex);
    } else if ((high == 0x10 || high == 0x11) && transport_.Opened()) {
        RunOnUiThread([this, code, high] {
            activeRecord_ = static_cast<uint8_t>(code & 0x0F);
            if (high == 0x11) SetActiveStage((code >> 4) & 0x0F);
            PublishSettings();
        });
    }
}

void CVantrelMouseDevice::LoadSettings() { settings_ = profile_.ReadSettings(std::move(settings_)); }

int CVantrelMouseDevice::SaveAndWrite() {
    SaveProfile();
    return WriteToDevice(0, 0, 1, screenWidth_, screenHeight_);
}

}  // namespace m470
