#include "devices/keyboard/KeyboardDevice.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "device_link/CommandSequences.h"
#include "devices/KeySlots.h"
#include "devices/RecordLight.h"
#include "keys/KeyTables.h"
#include "macros/MacroFiles.h"
#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

KeyAssignment FactoryFunction(size_t j) { return LogicalKeyFunction(j); }

// Where each system setting sits in the three words, and whether the device
// receives it (repeat rate and delay live in the profile only).
struct SettingRow {
    KeyboardSetting setting;
    size_t word;
    int shift;
    bool written;
};
constexpr std::array<SettingRow, 6> kSettingRows{{
    {KeyboardSetting::Repeat, 0, 0, false},
    {KeyboardSetting::RepeatDelay, 0, 16, false},
    {KeyboardSetting::Key6Flag, 1, 0, true},
    {KeyboardSetting::PollingRate, 1, 16, true},
    {KeyboardSetting::WFlag, 2, 0, true},
    {KeyboardSetting::WinFlag, 2, 16, true},
}};

const SettingRow& RowOf(KeyboardSetting setting) {
    for (const SettingRow& row : kSettingRows)
        if (row.setting == setting) return row;
    return kSettingRows.front();
}

KeyboardSystemWords WithSetting(KeyboardSystemWords words, KeyboardSetting setting, uint16_t value) {
    const SettingRow& row = RowOf(setting);
    const uint32_t mask = 0xFFFFu << row.shift;
    words.words[row.word] = (words.words[row.word] & ~mask) | static_cast<uint32_t>(value) << row.shift;
    return words;
}

}  // namespace

CVantrelKeyboardDevice::CVantrelKeyboardDevice(std::shared_ptr<HidBackend> backend, Translator translate,
                                               const ProductRow& product)
    : CVantrelUSBDevice(DeviceKind::Keyboard, std::move(backend)),
      translate_(translate ? std::move(translate) : [](std::string_view key) { return std::string(key); }) {
    UseProfileDocument(profile_);
    capabilities_.keys = this;
    capabilities_.customColours = this;
    capabilities_.keyboardSettings = this;
    keyMap_.fill(kAbsentKey);
    ledMap_.fill(kAbsentKey);
    ApplyProduct(product);
    SetProfileName("profile1");
    LoadFactoryProfile();
    assignments_ = profile_.ReadKeyList();
    system_ = profile_.GetSystemStages();
    LoadModeList();
}

// The threads read this object's members: stopped before it goes.
CVantrelKeyboardDevice::~CVantrelKeyboardDevice() { StopThreads(); }

std::string CVantrelKeyboardDevice::Translate(const std::string& key) const { return translate_(key); }

bool CVantrelKeyboardDevice::KeyIsFactory(size_t key) const {
    return key < assignments_.size() && key < kLogicalKeyCount && SameFunction(assignments_[key].current, LogicalKeyFunction(key));
}

bool CVantrelKeyboardDevice::LinkUp() { return !transport_.ReceiverMode() || transport_.QueryLink(); }

// ---- profile ----

int CVantrelKeyboardDevice::ApplyProfile() {
    // An imported profile may name any group: one outside 0-255 is group 0.
    LightInfo light = profile_.ReadLightInfo();
    light.customGroup = static_cast<uint8_t>(CKeyboardProfiledata::BoundedGroup(
        JsonInteger(Member(Member(profile_.Section(), "LightInfo"), "CustomGroup"))));
    profile_.WriteLightInfo(light);
    const int result = ApplyLightingProfile();
    customGroup_ = light.customGroup;
    if (light.selectItem != previousMode_ || light.selectItem == kCustomColourMode) EnterLightingMode(light.selectItem);
    {
        std::lock_guard lock(frameMutex_);
        RestartEffect(effects_, light.selectItem);
    }
    previousMode_ = light.selectItem;
    if (light.selectItem == kCustomColourMode) LoadCustomColours();
    return result;
}

void CVantrelKeyboardDevice::LoadAssignments() {
    SetProfilePaths();
    profile_.LoadDeviceSection(GetProfilePath());
    assignments_ = profile_.ReadKeyList();
    ApplyProfile();
    system_ = profile_.GetSystemStages();
}

void CVantrelKeyboardDevice::StoreAssignment(size_t index, const KeyAssignmentPair& pair) {
    if (StoreKeyPair(assignments_, index, pair, profile_)) Tell(DeviceChange::Keys);
}

void CVantrelKeyboardDevice::PruneMacroKeys() {
    LoadPanelLists();
    if (PruneMissingMacros(assignments_, macroNames_.size(), profile_)) Tell(DeviceChange::Keys);
}

// ---- hardware: keys ----

bool CVantrelKeyboardDevice::ReadKeyTables() {
    if (!transport_.Opened() || !LinkUp()) return false;
    std::vector<uint8_t> table, positions;
    if (ReadDeviceImage(transport_, deviceInfo_, table, &positions) != kResultSuccess) return false;
    keyTableImage_ = table;
    ledPositionImage_ = positions;
    keyTablesRead_.Set(transport_);
    const size_t slots = deviceInfo_.KeySlotCount();
    for (size_t j = 0; j < kLogicalKeyCount; ++j) {
        keyMap_[j] = FindFactorySlot(table, slots, FactoryFunction(j), kAbsentKey);
        ledMap_[j] = keyMap_[j] != kAbsentKey && keyMap_[j] < positions.size() ? positions[keyMap_[j]] : kAbsentKey;
    }
    return true;
}

bool CVantrelKeyboardDevice::KeyTablesCurrent() const {
    return keyTablesRead_.Current(transport_) && keyTableImage_.size() == deviceInfo_.KeyTableLength() &&
           keyTableImage_.size() == transport_.BlockSize();
}

int CVantrelKeyboardDevice::ReadFromDevice() {
    const bool read = ReadKeyTables();
    LoadAssignments();
    ReadSettingsRecord();
    ShowSettings();
    StopLightingThread();
    StartLightingThread();
    return read ? kResultSuccess : kResultNoReply;
}

void CVantrelKeyboardDevice::ReloadSettings() {
    if (groupListReload_) {
        // The page's strip reads the list again and names the profile now current.
        Tell(DeviceChange::ProfileList);
        LoadAssignments();
    }
    ReadSettingsRecord();
    ShowSettings();
}

std::vector<int> CVantrelKeyboardDevice::CollectUsedMacros() {
    return UsedMacros(std::span(keyMap_).first(kWrittenLogicalKeys), kAbsentKey, assignments_,
                      LoadMacroCatalogue(DataFolder() + kMacroCatalogue).size());
}

int CVantrelKeyboardDevice::WriteKeyAssignments(int page, const std::vector<int>&) {
    if (!transport_.Opened() || !LinkUp()) return kResultNoReply;
    // Only a table read from this device is rewritten: a stale image would
    // clear every key the profile does not name.
    if (!KeyTablesCurrent() && !ReadKeyTables()) {
        DebugTrace::Write("key table not read from this device: not written");
        return kResultWriteFailed;
    }
    std::vector<uint8_t> image = keyTableImage_;
    PlaceKeyFunctions(image, std::span(keyMap_).first(kWrittenLogicalKeys), kAbsentKey, assignments_, FactoryFunction,
                      LoadMacroCatalogue(DataFolder() + kMacroCatalogue).size());
    const int result = ConfigSequence(transport_).Framed({[&] { return transport_.WriteKeyTable(image.data(), page); }});
    if (result == kResultSuccess) keyTableImage_ = image;
    return result;
}

int CVantrelKeyboardDevice::WriteMacros(const std::vector<int>& macros) { return DownloadMacros(macros); }

int CVantrelKeyboardDevice::WriteAllSettings() {
    return WriteRecordMacrosAndKeys(*this, [this] { return KeyTablesCurrent() || ReadKeyTables(); });
}

// ---- hardware: settings record ----

int CVantrelKeyboardDevice::ReadRecordBytes() {
    if (!transport_.Opened() || !LinkUp()) return kResultNoReply;
    uint8_t index = 0;
    std::array<uint8_t, keyboard_record::kSize> record{};
    const int result = ReadActiveRecord(transport_, record.data(), record.size(), keyboard_record::kStride, index);
    if (result != kResultSuccess) return result;
    record[keyboard_record::kCleared] = 0;
    record_ = record;
    activeRecord_ = index;
    recordRead_.Set(transport_);
    return kResultSuccess;
}

bool CVantrelKeyboardDevice::ReadSettingsRecord() {
    using namespace keyboard_record;
    if (ReadRecordBytes() != kResultSuccess) return false;
    const auto& r = record_;
    LightInfo light = profile_.ReadLightInfo();
    const uint8_t previous = light.selectItem;
    // "Keep the current mode", and codes the list does not know, leave the mode alone.
    const int mode = r[kMode] == kKeepMode ? -1 : ModeIndexOfCode(r[kMode]);
    if (mode >= 0) light.selectItem = static_cast<uint8_t>(mode);
    record_light::Take(r.data(), light, true);
    light.zzccLedMode = r[kSecondaryMode];
    light.customGroup = r[kCustomGroup];
    SetLightInfo(light.Words(), light.HalfWord());
    customGroup_ = light.customGroup;
    if (light.selectItem != previous || light.selectItem == kCustomColourMode) EnterLightingMode(light.selectItem);
    system_ = WithSetting(system_, KeyboardSetting::Key6Flag, r[kKey6Flag]);
    system_ = WithSetting(system_, KeyboardSetting::WinFlag, r[kWinFlag]);
    system_ = WithSetting(system_, KeyboardSetting::WFlag, r[kWFlag]);
    profile_.SetSystemStages(system_);
    profile_.WriteLightInfo(light);
    if (light.selectItem == kCustomColourMode) ReadColourPage();
    SaveProfile();
    return true;
}

int CVantrelKeyboardDevice::WriteToDevice(int record, int firstByte, int, int, int) {
    using namespace keyboard_record;
    // The bytes the program does not own come from this device's record:
    // before one was read, read it; when that fails nothing is sent.
    if (!recordRead_.Current(transport_)) {
        const int read = ReadRecordBytes();
        if (read != kResultSuccess) return read;
    }
    std::array<uint8_t, kSize> bytes = record_;
    const LightInfo light = GetLightInfo();
    const uint8_t code = ModeCode(light.selectItem);
    bytes[kActiveIndex] = static_cast<uint8_t>(firstByte);
    bytes[kMode] = code == 0x1D || code == 0x1E ? kKeepMode : code;
    record_light::Put(light, bytes.data());
    bytes[kCleared] = 0;
    bytes[kSecondaryMode] = light.zzccLedMode;
    bytes[kWFlag] = static_cast<uint8_t>(system_.WFlag());
    bytes[kKey6Flag] = static_cast<uint8_t>(system_.Key6Flag());
    bytes[kWinFlag] = static_cast<uint8_t>(system_.WinFlag());
    bytes[kPollingRate] = static_cast<uint8_t>(system_.PollingRate());
    bytes[kCustomGroup] = static_cast<uint8_t>(customGroup_);
    const int result = ConfigSequence(transport_).Framed(
        {[&] { return transport_.WriteSettings(bytes.data(), bytes.size(), static_cast<uint32_t>(record) * kStride); }});
    if (result == kResultSuccess) record_ = bytes;
    return result;
}

int CVantrelKeyboardDevice::ChangeSetting(KeyboardSetting setting, int value) {
    const SettingRow& row = RowOf(setting);
    system_ = WithSetting(system_, setting, static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF)));
    profile_.SetSystemStages(system_);
    SaveProfile();
    return row.written ? WriteSettingsRecord() : kResultSuccess;
}

// ---- hardware: colour pages ----

std::vector<KeyColour> CVantrelKeyboardDevice::FrameColours() const {
    const LedFrame frame = FrameCopy();
    std::vector<KeyColour> colours(frame.size());
    for (size_t i = 0; i < frame.size(); ++i) colours[i] = {frame[i].red, frame[i].green, frame[i].blue, frame[i].level};
    return colours;
}

std::array<uint8_t, kColourPositions * 3> CVantrelKeyboardDevice::ColourBlock(bool levelled) const {
    std::array<uint8_t, kColourPositions * 3> block{};
    const LedFrame frame = FrameCopy();
    for (size_t i = 0; i < frame.size() && i < kLogicalKeyCount; ++i) {
        const size_t p = ledMap_[i];
        if (p >= kColourPositions) continue;  // absent (255), or past the last position
        const LedEntry& e = frame[i];
        const auto channel = [&](uint8_t value) { return levelled ? static_cast<uint8_t>(value * e.level / 256) : value; };
        block[p * 3] = channel(e.red);
        block[p * 3 + 1] = channel(e.green);
        block[p * 3 + 2] = channel(e.blue);
    }
    return block;
}

int CVantrelKeyboardDevice::SendColourBlock(bool levelled) {
    if (!transport_.Opened() || !KeyTablesCurrent()) return kResultNoReply;
    const auto block = ColourBlock(levelled);
    const size_t length = std::min<size_t>(deviceInfo_.KeySlotCount() * 3u, block.size());
    return transport_.WritePagedBlock(block.data(), length, static_cast<uint32_t>(customGroup_), kColourPageSize);
}

int CVantrelKeyboardDevice::ReadColourPage() {
    if (!transport_.Opened() || !KeyTablesCurrent()) return kResultNoReply;
    // The page holds n × 3 bytes; positions up to 170 are looked up in a
    // zeroed block of all of them, whatever the device's n.
    std::array<uint8_t, kColourPositions * 3> block{};
    const size_t length = std::min<size_t>(deviceInfo_.KeySlotCount() * 3u, block.size());
    const int read = transport_.ReadPagedBlock(block.data(), length, static_cast<uint32_t>(customGroup_), kColourPageSize);
    if (read != kResultSuccess) return read;
    {
        std::lock_guard lock(frameMutex_);
        for (size_t i = 0; i < frame_.size() && i < kLogicalKeyCount; ++i) {
            const size_t p = ledMap_[i];
            if (p >= kColourPositions) continue;
            frame_[i].red = block[p * 3];
            frame_[i].green = block[p * 3 + 1];
            frame_[i].blue = block[p * 3 + 2];
            frame_[i].level = 255;
        }
    }
    StoreCustomColours();
    return LoadCustomColours();
}

void CVantrelKeyboardDevice::StoreCustomColours() { profile_.SetCustomColours(FrameColours(), customGroup_); }

int CVantrelKeyboardDevice::WriteCustomColourPage() {
    if (!Custom()) return kResultSuccess;
    const int result = SendColourBlock();
    if (result != kResultSuccess && transport_.Opened()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    NoteFrameChanged();
    return result;
}

int CVantrelKeyboardDevice::WriteColourPage(size_t key) { return WriteColourPage(std::vector<size_t>{key}); }

int CVantrelKeyboardDevice::WriteColourPage(const std::vector<size_t>& keys) {
    if (!Custom()) return kResultSuccess;
    const LightInfo light = GetLightInfo();
    {
        std::lock_guard lock(frameMutex_);
        for (size_t key : keys)
            if (key < frame_.size()) frame_[key] = {light.red, light.green, light.blue, 255};
    }
    StoreCustomColours();
    SaveProfile();
    Tell(DeviceChange::CustomColours);
    NoteFrameChanged();
    return SendColourBlock();
}

void CVantrelKeyboardDevice::FrameFromProfileColours() {
    const std::vector<KeyColour> colours = profile_.GetCustomColours(customGroup_, LedCount());
    {
        std::lock_guard lock(frameMutex_);
        for (size_t i = 0; i < frame_.size() && i < colours.size(); ++i)
            frame_[i] = {colours[i].red, colours[i].green, colours[i].blue, colours[i].alpha};
    }
    Tell(DeviceChange::CustomColours);
}

int CVantrelKeyboardDevice::LoadCustomColours() {
    FrameFromProfileColours();
    return WriteCustomColourPage();
}

void CVantrelKeyboardDevice::AfterProfileReset() { WriteLevelledColourPage(); }

int CVantrelKeyboardDevice::WriteLevelledColourPage() {
    customGroup_ = profile_.GetCustomGroup();
    FrameFromProfileColours();
    NoteFrameChanged();
    return SendColourBlock(true);
}

void CVantrelKeyboardDevice::SwitchCustomGroup(int group) {
    customGroup_ = CKeyboardProfiledata::BoundedGroup(group);
    profile_.SetCustomGroup(customGroup_);
    SaveProfile();
    Tell(DeviceChange::CustomColours);
}

void CVantrelKeyboardDevice::RedrawCustomLighting() {
    customGroup_ = profile_.GetCustomGroup();
    FrameFromProfileColours();
    WriteCustomColourPage();
}

void CVantrelKeyboardDevice::SetCustomColour(int on, bool store) {
    const LightInfo light = GetLightInfo();
    {
        std::lock_guard lock(frameMutex_);
        for (LedEntry& entry : frame_)
            entry = on != 0 ? LedEntry{light.red, light.green, light.blue, 255} : LedEntry{0, 0, 0, 255};
    }
    WriteCustomColourPage();
    if (!store) return;
    StoreCustomColours();
    SaveProfile();
    Tell(DeviceChange::CustomColours);
}

// ---- notifications ----

std::optional<std::pair<size_t, bool>> CVantrelKeyboardDevice::LastKeyReaction() const {
    std::lock_guard lock(reactionMutex_);
    return lastReaction_;
}

void CVantrelKeyboardDevice::OnNotification(uint16_t code, bool receiver) {
    const uint8_t high = static_cast<uint8_t>(code >> 8);
    const uint8_t low = static_cast<uint8_t>(code);
    if (code == 0x0401 || code == 0x0402) {
        DebugTrace::Write("接收到自动添加设备的同步信息要求");
        if (code == 0x0402) groupListReload_ = true;
        RequestSelectorTimer(kTimerReload, 50);
    } else if ((high == 0x05 || high == 0x06) && !receiver) {
        // Press (0x05) or release (0x06) of the key in slot low; absent keys
        // share slot 255, which no key uses.
        for (size_t j = 0; j < kLogicalKeyCount && low != kAbsentKey; ++j) {
            if (keyMap_[j] != low) continue;
            std::lock_guard lock(reactionMutex_);
            lastReaction_ = std::make_pair(j, high == 0x05);
            break;
        }
        KeyReaction(effects_, keyMap_, GetLightInfo().selectItem, low, high == 0x05);
    } else if ((high == 0x10 || high == 0x11) && transport_.Opened()) {
        RunOnUiThread([this, code] {
            activeRecord_ = static_cast<uint8_t>(code & 0x0F);
            ShowSettings();
        });
    }
}

}  // namespace m470
