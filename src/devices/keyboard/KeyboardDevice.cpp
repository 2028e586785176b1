#include "devices/keyboard/KeyboardDevice.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "device_link/CommandSequences.h"
#include "devices/KeySlots.h"
#include "devices/RecordLight.h"
#include "keys/KeyCaption.h"
#include "keys/KeyTables.h"
#include "macros/MacroFiles.h"
#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

constexpr int kRepeatDelayChoices = 4;  // 250, 500, 750, 1000 ms
constexpr int kPollingRateChoices = 4;

KeyAssignment FactoryFunction(size_t j) { return LogicalKeyFunction(j); }

std::string Indexed(const char* prefix, int index) { return prefix + std::to_string(index); }

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

// The strip's tabs on the keyboard page; the key and macro panels are not
// bound on it yet, so their tabs stay hidden.
constexpr std::array<OptionTabPage, 4> kOptionTabPages{{
    {1, "deng_Op_tab", 0, true},
    {2, "key_Op_tab", 2, false},
    {3, "macro_Op_tab", 2, false},
    {4, "system_Op_tab", 1, true},
}};
constexpr SettingsPages kSettingsPages{"keyboard_device_seting_layout", "keyboard_option_layout",
                                       "keyboard_device_seting_option_", kOptionTabPages};
constexpr const char* kKeysTabOption = "keyboard_device_seting_option_2";

int ChoiceOrZero(int value, int choices) { return value < 0 || value >= choices ? 0 : value; }

}  // namespace

CVantrelKeyboardDevice::CVantrelKeyboardDevice(std::shared_ptr<HidBackend> backend, Translator translate,
                                               const ProductRow& product)
    : CVantrelUSBDevice(DeviceKind::Keyboard, std::move(backend)),
      translate_(translate ? std::move(translate) : [](std::string_view key) { return std::string(key); }) {
    keyMap_.fill(kAbsentKey);
    ledMap_.fill(kAbsentKey);
    ApplyProduct(product);
    SetProfileName("profile1");
    // The factory profile is the working model until a profile is chosen.
    profile_.SetDefaultPath(DefaultProfilePath());
    profile_.Section() = Element(Member(LoadJson(DefaultProfilePath()), "Device"), 0);
    assignments_ = profile_.ReadKeyList();
    system_ = profile_.GetSystemStages();
    LoadModeList();
}

CVantrelKeyboardDevice::~CVantrelKeyboardDevice() {
    StopLightingThread();
    CloseNotify(false);
    CloseNotify(true);
}

std::string CVantrelKeyboardDevice::Translate(const std::string& key) const { return translate_(key); }

bool CVantrelKeyboardDevice::LinkUp() { return !transport_.ReceiverMode() || transport_.QueryLink(); }

// ---- page ----

void CVantrelKeyboardDevice::BindKeyButtons() {
    keyButtons_.assign(kLogicalKeyCount, nullptr);
    ledButtons_.assign(kLogicalKeyCount, nullptr);
    if (host_ == nullptr || page_ == nullptr) return;
    const ui::Ctl picture = FindOnPage("keyboard_device_key_light");
    if (picture.Get() != nullptr) {
        for (ui::Control* child : picture.Get()->Children()) {
            std::string prefix;
            int number = 0;
            if (child->Type() != ui::ControlType::KeyButton || !SplitIndexedName(child->Name(), prefix, number) ||
                number < 0 || static_cast<size_t>(number) >= kLogicalKeyCount)
                continue;
            if (prefix == "key_") keyButtons_[static_cast<size_t>(number)] = child;
            if (prefix == "light_") ledButtons_[static_cast<size_t>(number)] = child;
        }
    }
    // Rows without a key on this keyboard have no button to show.
    for (size_t j = 0; j < kWrittenLogicalKeys; ++j)
        if (const KeyAssignment f = FactoryFunction(j); f.type == 0x20 && f.param1 == 0 && f.param2 == 0)
            keyButtons_[j].SetVisible(false);
    SetUpProfileStrip();
    HideUnbuiltTabs(kSettingsPages);
    FindOnPage(kKeysTabOption).SetVisible(false);
    SetUpLightPanel();
    ShowSettingsPage(0);
}

void CVantrelKeyboardDevice::ShowOptionTab(int number) { ShowOptionTabOf(kSettingsPages, number); }

void CVantrelKeyboardDevice::ShowSettingsPage(int page) { ShowSettingsPageOf(kSettingsPages, page); }

void CVantrelKeyboardDevice::LoadPanelLists() {
    LoadMacroNames(kMacroCatalogue);
    LoadModeList();
}

void CVantrelKeyboardDevice::ShowKeyTexts() {
    for (size_t j = 0; j < keyButtons_.size() && j < assignments_.size(); ++j) {
        ui::Control* button = keyButtons_[j].Get();
        if (button == nullptr) continue;
        const KeyAssignment factory = FactoryFunction(j);
        const auto name = KeyCaption(factory, macroNames_, translate_, CaptionTarget::Keyboard).value_or(std::string());
        const auto caption =
            KeyCaption(assignments_[j].current, macroNames_, translate_, CaptionTarget::Keyboard).value_or(name);
        button->SetToolTip(name, name + Translate("Key_Set") + caption);
        button->SetDefaultState(EqualsIgnoringCase(caption, name));
    }
}

void CVantrelKeyboardDevice::ClearKeyMarks() {
    for (const ui::Ctl& button : keyButtons_)
        if (ui::Control* key = button.Get()) key->SetKeySelected(false);
}

void CVantrelKeyboardDevice::ShowSystemSettings() {
    FindOnPage("winlockflag_option").SetSelected(system_.WinFlag() != 0, false);
    FindOnPage("wflag_option").SetSelected(system_.WFlag() != 0, false);
    FindOnPage("6flag_option").SetSelected(system_.Key6Flag() != 0, false);
    FindOnPage("repeat_rate_slider").SetValue(system_.Repeat(), false);
    const int delay = ChoiceOrZero(system_.RepeatDelay(), kRepeatDelayChoices);
    FindOnPage(Indexed("repeat_delay_check_", delay)).SetSelected(true, false);
    FindOnPage("repeat_delay_time_label1")
        .SetText(Translate("Repeat_Delay_Time") + std::to_string(delay * 250 + 250) + "ms");
    ui::Ctl input = FindOnPage("repeat_input_richedit");
    input.SetText("");
    if (ui::Control* edit = input.Get()) edit->SetToolTip("", Translate("Repeat_input_text"));
    FindOnPage(Indexed("polling_rate_option_", ChoiceOrZero(system_.PollingRate(), kPollingRateChoices)))
        .SetSelected(true, false);
}

void CVantrelKeyboardDevice::ShowColours(const std::vector<KeyColour>& colours) {
    for (size_t j = 0; j < keyButtons_.size() && j < colours.size(); ++j) {
        const KeyColour& c = colours[j];
        // Lights take the LED entry's order: red in the low byte.
        keyButtons_[j].SetLight(c.red | c.green << 8 | static_cast<uint32_t>(c.blue) << 16, 255, true);
    }
}

void CVantrelKeyboardDevice::ShowPanels() {
    LoadPanelLists();
    ShowKeyTexts();
    ShowLightOnPanel();
    if (LightPanel() != nullptr) LightPanel()->SelectCustomGroup(customGroup_);
    ShowSystemSettings();
    if (Custom()) ShowColours(FrameColours());
}

// ---- profile ----

int CVantrelKeyboardDevice::ApplyProfile() {
    // An imported profile may name any group: one outside 0-255 is group 0.
    LightInfo light = profile_.ReadLightInfo();
    light.customGroup = static_cast<uint8_t>(CKeyboardProfiledata::BoundedGroup(
        JsonInteger(Member(Member(profile_.Section(), "LightInfo"), "CustomGroup"))));
    profile_.WriteLightInfo(light);
    const int result = CVantrelUSBDevice::ApplyProfile();
    customGroup_ = light.customGroup;
    if (light.selectItem != previousMode_ || light.selectItem == kCustomColourMode) {
        std::lock_guard lock(frameMutex_);
        m470::ResetTrail(trail_);
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

void CVantrelKeyboardDevice::LoadProfile() {
    LoadAssignments();
    SaveProfile();
    RefreshPanels();
}

void CVantrelKeyboardDevice::PruneMacroKeys() {
    LoadPanelLists();
    if (!ResetMissingMacros(assignments_, macroNames_.size())) return;
    profile_.WriteKeyList(assignments_);
    ShowKeyTexts();
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
    RefreshPanels();
    StopLightingThread();
    StartLightingThread();
    return read ? kResultSuccess : kResultNoReply;
}

void CVantrelKeyboardDevice::ReloadSettings() {
    if (groupListReload_) {
        if (ProfileStrip() != nullptr) {
            ProfileStrip()->InitProfiles();
            SetProfileName(ProfileStrip()->GetCurrentUuid());
        }
        LoadAssignments();
        ClearKeyMarks();
    }
    ReadSettingsRecord();
    RefreshPanels();
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
    return WriteRecordMacrosAndKeys([this] { return KeyTablesCurrent() || ReadKeyTables(); });
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
    if (light.selectItem != previous || light.selectItem == kCustomColourMode) {
        std::lock_guard lock(frameMutex_);
        m470::ResetTrail(trail_);
    }
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
    ShowSystemSettings();
    return row.written ? WriteSettingsRecord() : kResultSuccess;
}

// ---- hardware: colour pages ----

std::vector<KeyColour> CVantrelKeyboardDevice::FrameColours() const {
    const LedFrame frame = FrameCopy();
    std::vector<KeyColour> colours(frame.size());
    for (size_t i = 0; i < frame.size(); ++i) colours[i] = {frame[i].red, frame[i].green, frame[i].blue, frame[i].level};
    return colours;
}

std::array<uint8_t, kColourPositions * 3> CVantrelKeyboardDevice::ColourBlock() const {
    std::array<uint8_t, kColourPositions * 3> block{};
    const LedFrame frame = FrameCopy();
    for (size_t i = 0; i < frame.size() && i < kLogicalKeyCount; ++i) {
        const size_t p = ledMap_[i];
        if (p >= kColourPositions) continue;  // absent (255), or past the last position
        block[p * 3] = frame[i].red;
        block[p * 3 + 1] = frame[i].green;
        block[p * 3 + 2] = frame[i].blue;
    }
    return block;
}

int CVantrelKeyboardDevice::SendColourBlock() {
    if (!transport_.Opened() || !KeyTablesCurrent()) return kResultNoReply;
    const auto block = ColourBlock();
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
    ShowColours(FrameColours());
    NoteFrameChanged();
    return SendColourBlock();
}

int CVantrelKeyboardDevice::LoadCustomColours() {
    const std::vector<KeyColour> colours = profile_.GetCustomColours(customGroup_, LedCount());
    {
        std::lock_guard lock(frameMutex_);
        for (size_t i = 0; i < frame_.size() && i < colours.size(); ++i)
            frame_[i] = {colours[i].red, colours[i].green, colours[i].blue, colours[i].alpha};
    }
    if (LightPanel() != nullptr) LightPanel()->SelectCustomGroup(customGroup_);
    ShowColours(colours);
    return WriteCustomColourPage();
}

void CVantrelKeyboardDevice::SwitchCustomGroup(int group) {
    customGroup_ = CKeyboardProfiledata::BoundedGroup(group);
    if (LightPanel() != nullptr) LightPanel()->SelectCustomGroup(customGroup_);
    profile_.SetCustomGroup(customGroup_);
    SaveProfile();
}

void CVantrelKeyboardDevice::RedrawCustomLighting() {
    customGroup_ = profile_.GetCustomGroup();
    const std::vector<KeyColour> colours = profile_.GetCustomColours(customGroup_, LedCount());
    {
        std::lock_guard lock(frameMutex_);
        for (size_t i = 0; i < frame_.size() && i < colours.size(); ++i)
            frame_[i] = {colours[i].red, colours[i].green, colours[i].blue, colours[i].alpha};
    }
    ShowColours(colours);
    WriteCustomColourPage();
}

void CVantrelKeyboardDevice::SetCustomColour(int on) {
    const LightInfo light = GetLightInfo();
    {
        std::lock_guard lock(frameMutex_);
        for (LedEntry& entry : frame_)
            entry = on != 0 ? LedEntry{light.red, light.green, light.blue, 255} : LedEntry{0, 0, 0, 255};
    }
    WriteCustomColourPage();
    if (LightPanel() != nullptr && LightPanel()->GetCustomGroup() < 0) return;
    StoreCustomColours();
    SaveProfile();
    ShowColours(FrameColours());
}

// ---- lighting ----

void CVantrelKeyboardDevice::LightingTick(uint32_t& ticks) {
    // The custom colours are the frame: no step draws over them.
    if (GetLightInfo().selectItem == kCustomColourMode) {
        ticks = 0;
        return;
    }
    CVantrelUSBDevice::LightingTick(ticks);
}

bool CVantrelKeyboardDevice::StillEffect(int mode) const {
    return mode == kCustomColourMode || CVantrelUSBDevice::StillEffect(mode);
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
        // Press (0x05) or release (0x06) of the key in slot low.
        for (size_t j = 0; j < kLogicalKeyCount; ++j) {
            if (keyMap_[j] != low) continue;
            std::lock_guard lock(reactionMutex_);
            lastReaction_ = std::make_pair(j, high == 0x05);
            break;
        }
    } else if ((high == 0x10 || high == 0x11) && transport_.Opened()) {
        RunOnUiThread([this, code] {
            activeRecord_ = static_cast<uint8_t>(code & 0x0F);
            RefreshPanels();
        });
    }
}

// ---- page handlers ----

bool CVantrelKeyboardDevice::HandlePageNotification(const ui::Notification& n) {
    struct Row {
        const char* event;
        const char* name;  // whole name, or prefix of an indexed name (ends in "_")
        KeyboardSetting setting;
        bool fromValue;    // the slider's value, else the option's choice (indexed) or state
    };
    static constexpr std::array<Row, 6> kRows{{
        {"valuechanged", "repeat_rate_slider", KeyboardSetting::Repeat, true},
        {"selectchanged", "repeat_delay_check_", KeyboardSetting::RepeatDelay, false},
        {"selectchanged", "polling_rate_option_", KeyboardSetting::PollingRate, false},
        {"selectchanged", "6flag_option", KeyboardSetting::Key6Flag, false},
        {"selectchanged", "wflag_option", KeyboardSetting::WFlag, false},
        {"selectchanged", "winlockflag_option", KeyboardSetting::WinFlag, false},
    }};
    std::string prefix;
    int number = 0;
    const bool indexed = SplitIndexedName(n.senderName, prefix, number);
    for (const Row& row : kRows) {
        if (n.event != row.event) continue;
        if (n.senderName == row.name) {
            const ui::Ctl control = FindOnPage(row.name);
            ChangeSetting(row.setting, row.fromValue ? control.Value() : control.Selected() ? 1 : 0);
            return true;
        }
        if (indexed && prefix == row.name) {
            // Options report both being chosen and being left: act on the choice.
            if (n.sender == nullptr || n.sender->Selected()) ChangeSetting(row.setting, number);
            return true;
        }
    }
    if (n.event == "selectchanged" && indexed && prefix == kSettingsPages.optionPrefix) {
        if (n.sender == nullptr || n.sender->Selected()) ShowSettingsPage(number);
        return true;
    }
    // A key of the picture painted in the custom mode: by click, or a rubber band's keys.
    if (n.event == "click" && indexed && prefix == "key_" && number >= 0) {
        WriteColourPage(static_cast<size_t>(number));
        return true;
    }
    if (n.event == "click_select_end") {
        std::vector<size_t> keys;
        for (size_t j = 0; j < keyButtons_.size(); ++j)
            if (keyButtons_[j].Get() != nullptr && keyButtons_[j].Get()->KeySelected()) keys.push_back(j);
        WriteColourPage(keys);
        ClearKeyMarks();
        return true;
    }
    return false;
}

}  // namespace m470
