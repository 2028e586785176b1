#include "devices/MouseDevice.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "device_link/CommandSequences.h"
#include "devices/KeySlots.h"
#include "devices/RecordLight.h"
#include "macros/MacroFiles.h"
#include "panels/KeyMacroPanels.h"
#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

constexpr int kMainDpiMinimum = 200;
constexpr int kMainDpiMaximum = 6500;
constexpr size_t kMaxStages = 6;
constexpr uint8_t kHighestMouseMode = 11;
constexpr uint8_t kAudioMode = 11;

KeyAssignment FactoryFunction(size_t button) {
    const MouseButtonRow& row = kMouseLogicalButtons[button];
    return {static_cast<uint16_t>(button), row.type, row.param1, row.param2, 0};
}

bool SameFunction(const KeyAssignment& a, const KeyAssignment& b) {
    return a.type == b.type && a.param1 == b.param1 && a.param2 == b.param2;
}

// The seven system values, edited one at a time.
struct SystemFields {
    uint16_t doubleClick, speed, precision, scrollPage, wheelLines, wiredRate, receiverRate;
    static SystemFields Of(const SystemSettings& s) {
        return {s.DoubleClickTime(), s.MouseSpeed(), s.PointerPrecision(), s.ScrollPage(), s.WheelScrollLines(),
                s.WiredReportRate(), s.ReceiverReportRate()};
    }
    SystemSettings Settings() const {
        return MakeSystemSettings(doubleClick, speed, precision, scrollPage, wheelLines, wiredRate, receiverRate);
    }
};

std::string Indexed(const char* prefix, size_t index) { return prefix + std::to_string(index); }

// The strip's option tabs on the mouse page: which settings page each shows,
// and whether its panel is built yet (a tab without one stays hidden).
constexpr int kKeySettingsPage = 2;
constexpr std::array<OptionTabPage, 5> kOptionTabPages{{
    {1, "deng_Op_tab", 3, true},
    {2, "key_Op_tab", 2, true},
    {3, "macro_Op_tab", 5, true},
    {4, "system_Op_tab", 0, true},
    {5, "cursor_Op_tab", 1, true},
}};
constexpr SettingsPages kSettingsPages{"mouse_device_seting_layout", "mouse_option_layout", "mouse_device_seting_option_",
                                       kOptionTabPages};

int ParseDecimal(const std::string& text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

uint32_t RandomWheelIndex() { return static_cast<uint32_t>(std::rand()); }

}  // namespace

CVantrelMouseDevice::CVantrelMouseDevice(std::shared_ptr<HidBackend> backend, Translator translate,
                                         const ProductRow& product)
    : CVantrelUSBDevice(DeviceKind::Mouse, std::move(backend)),
      translate_(translate ? std::move(translate) : [](std::string_view key) { return std::string(key); }) {
    slotMap_.fill(kMissingSlot);
    ApplyProduct(product);
    SetProfileName("profile1");
    // The factory profile is the working model until a profile is chosen.
    profile_.SetDefaultPath(DefaultProfilePath());
    profile_.Section() = Element(Member(LoadJson(DefaultProfilePath()), "Device"), 0);
    assignments_ = profile_.ReadKeyList();
    stages_ = profile_.ReadStages();
    system_ = profile_.ReadSystemSettings();
    LoadModeList();  // the mode codes are needed before any page is shown
}

CVantrelMouseDevice::~CVantrelMouseDevice() {
    if (keyMacro_) keyMacro_->StopCapture();
    // The threads read this object's members: stop them before it goes.
    StopLightingThread();
    CloseNotify(false);
    CloseNotify(true);
}

std::string CVantrelMouseDevice::Translate(const std::string& key) const { return translate_(key); }

bool CVantrelMouseDevice::LinkUp() { return !transport_.ReceiverMode() || transport_.QueryLink(); }

// ---- page ----

void CVantrelMouseDevice::BindKeyButtons() { BuildPage(); }

void CVantrelMouseDevice::BuildPage() {
    keyButtons_.assign(kMouseButtons, nullptr);
    ledButtons_.assign(LedCount(), nullptr);
    logo_ = nullptr;
    if (host_ == nullptr || page_ == nullptr) return;
    // The device picture: the first SelectPanel of the settings layout, or of the page.
    ui::Control* picture = nullptr;
    for (ui::Control* root : {FindOnPage("mouse_device_seting_layout").Get(), page_}) {
        std::vector<ui::Control*> pending{root};
        while (picture == nullptr && !pending.empty()) {
            ui::Control* control = pending.back();
            pending.pop_back();
            if (control == nullptr) continue;
            if (control->Type() == ui::ControlType::SelectPanel) picture = control;
            for (ui::Control* child : control->Children()) pending.insert(pending.begin(), child);
        }
        if (picture != nullptr) break;
    }
    if (picture != nullptr) {
        for (ui::Control* child : picture->Children()) {
            if (child->Type() != ui::ControlType::KeyButton) continue;
            if (child->Name() == "logo") {
                logo_ = child;
                continue;
            }
            for (const std::string& label : {child->Name(), child->UserData()}) {
                std::string prefix;
                int number = 0;
                if (!SplitIndexedName(label, prefix, number) || number < 0) continue;
                const auto n = static_cast<size_t>(number);
                if (label.rfind("light_0_", 0) == 0) {
                    if (n < ledButtons_.size()) ledButtons_[n] = child;
                    else ledButtons_.push_back(child);
                } else if (prefix == "key_" && n < keyButtons_.size()) {
                    keyButtons_[n] = child;
                } else if (prefix == "light_" && n < ledButtons_.size()) {
                    ledButtons_[n] = child;
                } else {
                    continue;
                }
                break;
            }
        }
    }
    for (const ui::Ctl& led : ledButtons_) led.SetLight(0xFFFFFF, 255, true);
    SetUpProfileStrip();
    HideUnbuiltTabs(kSettingsPages);
    SetUpLightPanel();
    keyMacro_.reset();
    ui::Ctl keyItem = FindOnPage("KeySetControlItem"), macroItem = FindOnPage("MacroControlItem");
    if (keyItem && macroItem) {
        keyMacro_ = std::make_unique<CKeyMacroPanels>(*host_, keyItem.Get(), macroItem.Get(), *this, translate_);
        keyMacro_->SetWindow(panelWindow_);
        keyMacro_->Reload();
    }
    ShowSettingsPage(0);
}

void CVantrelMouseDevice::SetPanelWindow(const PanelWindow* window) {
    panelWindow_ = window;
    if (keyMacro_) keyMacro_->SetWindow(window);
}

void CVantrelMouseDevice::OnCapturedKey(int mode, const CapturedKey& key) {
    if (keyMacro_) keyMacro_->OnCapturedKey(mode, key);
}

void CVantrelMouseDevice::OnCapturedButton(int mode, const CapturedButton& button) {
    if (keyMacro_) keyMacro_->OnCapturedButton(mode, button);
}

void CVantrelMouseDevice::StopCapture() {
    if (keyMacro_) keyMacro_->StopCapture();
}

bool CVantrelMouseDevice::HandlePanelNotification(const ui::Notification& n) {
    return keyMacro_ != nullptr && keyMacro_->HandleNotification(n);
}

void CVantrelMouseDevice::RefreshTexts() {
    RefreshKeyInfo();
    if (keyMacro_) keyMacro_->RefreshTexts();
}

void CVantrelMouseDevice::StoreAssignment(size_t index, const KeyAssignmentPair& pair) {
    if (index >= assignments_.size()) return;
    assignments_[index] = pair;
    profile_.WriteKeyList(assignments_);
}

void CVantrelMouseDevice::MarkKeys(int selected) {
    for (size_t j = 0; j < keyButtons_.size(); ++j) {
        ui::Control* button = keyButtons_[j].Get();
        if (button == nullptr) continue;
        button->SetKeySelected(static_cast<int>(j) == selected);
        if (j < assignments_.size() && j < kMouseButtons)
            button->SetDefaultState(SameFunction(assignments_[j].current, FactoryFunction(j)));
    }
}

void CVantrelMouseDevice::ShowOptionTab(int number) {
    ShowOptionTabOf(kSettingsPages, number);
    for (const OptionTabPage& row : kOptionTabPages) {
        if (row.tab != number || !row.built) continue;
        // The picture's buttons pick keys for assignment only on the buttons tab.
        ShowFunctionPage(row.settingsPage == kKeySettingsPage ? 2 : 1);
    }
}

int CVantrelMouseDevice::WriteAllSettings() {
    return WriteRecordMacrosAndKeys([this] { return KeyTableImageCurrent() || ReadKeyTableImage(); });
}

void CVantrelMouseDevice::ShowSettingsPage(int page) { ShowSettingsPageOf(kSettingsPages, page); }

void CVantrelMouseDevice::ShowFunctionPage(int kind) {
    CVantrelUSBDevice::ShowFunctionPage(kind);
    FindOnPage("device_tishi_info").SetVisible(false);
}

void CVantrelMouseDevice::ShowStageSlider(size_t stage, int position) {
    ui::Ctl slider = FindOnPage(Indexed("DPI_slider_", stage));
    slider.SetValue(position, false);
    const bool active = static_cast<int32_t>(stage) == profile_.GetActiveStage();
    if (ui::Control* control = slider.Get()) {
        control->SetForeImage("Control/SliderBar_BK1.png");
        control->SetThumbImage(active ? "Control/SliderBar1_Thumb.png" : "Control/SliderBar2_Thumb.png");
    }
    ui::Ctl enable = FindOnPage(Indexed("DPI_enable_check_", stage));
    enable.SetEnabled(!active);
    FindOnPage(Indexed("DPI_select_check_", stage)).SetSelected(active, false);
    FindOnPage(Indexed("DPI_edit_", stage)).SetText(std::to_string(Scale().ValueOf(position)));
}

void CVantrelMouseDevice::ShowKeyInfo(size_t index, const std::string& caption) {
    const std::string title = index < kMouseLogicalButtons.size() ? Translate(kMouseLogicalButtons[index].nameKey) : std::string();
    ui::Ctl button = index < keyButtons_.size() ? keyButtons_[index] : ui::Ctl();
    if (ui::Control* control = button.Get()) control->SetToolTip(title, caption);
    ui::Ctl list = FindOnPage("device_setkeyinfo_list");
    ui::Control* rows = list.Get();
    if (rows == nullptr) return;
    while (rows->ItemCount() < static_cast<int>(index) + 1) {
        rows->AddItem({}, {});
        rows->SetItemVisible(rows->ItemCount() - 1, false);
    }
    rows->SetItemText(static_cast<int>(index), title + "  —  " + caption);
    rows->SetItemVisible(static_cast<int>(index), button.Visible());
}

void CVantrelMouseDevice::RefreshKeyInfo() {
    FindOnPage("device_setkeyinfo_list").ClearItems();
    for (size_t i = 0; i < assignments_.size(); ++i) {
        const auto caption = KeyCaption(assignments_[i].current, macroNames_, translate_, CaptionTarget::Mouse);
        ShowKeyInfo(i, caption.value_or(std::string()));
    }
    const LightInfo light = GetLightInfo();
    std::string mode;
    if (light.selectItem <= kHighestMouseMode && light.selectItem < modeNames_.size())
        mode = Translate(modeNames_[light.selectItem]);
    if (ui::Control* logo = logo_.Get())
        logo->SetToolTip("Logo", Translate("Light_Set") + "\n" + Translate("Overall_Light_Set") + mode);
    FindOnPage("device_setkeyinfo_list").SetVisible(true);
}

void CVantrelMouseDevice::LoadPanelLists() {
    LoadMacroNames(kMacroCatalogue);
    LoadModeList();
}

void CVantrelMouseDevice::ShowPanels() {
    LoadPanelLists();
    RefreshKeyInfo();
    ShowLightOnPanel();
    for (size_t i = 0; i < stages_.size() && i < kMaxStages; ++i) {
        const DpiStage& stage = stages_[i];
        FindOnPage(Indexed("DPI_enable_check_", i)).SetSelected(stage.enabled != 0, false);
        ShowStageSlider(i, stage.dpiX);
        FindOnPage(Indexed("DPI_color_option_", i))
            .SetBkColour(0xFF000000u | static_cast<uint32_t>(stage.red) << 16 | stage.green << 8 | stage.blue);
    }
    int option = transport_.ReceiverMode() ? system_.ReceiverReportRate() : system_.WiredReportRate();
    if (option < 0 || option > 4) option = 0;
    FindOnPage(Indexed("polling_rate_option_", static_cast<size_t>(option))).SetSelected(true, false);
    ShowSystemSettings();
}

// The record carries the screen size the pointer corrections work in: a
// refresh sends the size the device was given, never 0 x 0.
void CVantrelMouseDevice::RefreshPanels() {
    ShowPanels();
    WriteSettingsRecord();
}

// The stored pointer values on the pointer page, without raising events.
void CVantrelMouseDevice::ShowSystemSettings() {
    const SystemFields fields = SystemFields::Of(system_);
    FindOnPage("pointer_speed_slider").SetValue(fields.speed, false);
    FindOnPage("pointer_precision_check").SetSelected(fields.precision != 0, false);
    FindOnPage("scrolls_page_check").SetSelected(fields.scrollPage != 0, false);
    FindOnPage("scroll_speed_slider").SetValue(fields.wheelLines, false);
    FindOnPage("double_click_slider").SetValue(fields.doubleClick, false);
}

// ---- profile ----

int CVantrelMouseDevice::ApplyProfile() {
    const int result = CVantrelUSBDevice::ApplyProfile();
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
    for (size_t j = 0; j < keyButtons_.size() && j < assignments_.size() && j < kMouseButtons; ++j)
        if (ui::Control* button = keyButtons_[j].Get())
            button->SetDefaultState(SameFunction(assignments_[j].current, FactoryFunction(j)));
    ApplyProfile();
    stages_ = profile_.ReadStages();
    system_ = profile_.ReadSystemSettings();
}

void CVantrelMouseDevice::PruneMacroKeys() {
    LoadPanelLists();
    if (!ResetMissingMacros(assignments_, macroNames_.size())) return;
    profile_.WriteKeyList(assignments_);
    RefreshKeyInfo();
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
    for (size_t i = 0; i < kMaxStages; ++i) FindOnPage(Indexed("DPI_slider_", i)).SetRange(0, SensitivityScale::kMaxPosition);
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
    profile_.SetActiveStage(record[mouse_record::kActiveStage]);
    profile_.WriteLightInfo(light);
    SaveProfile();
    return true;
}

int CVantrelMouseDevice::ReadFromDevice() {
    const bool read = ReadKeyTableImage();
    LoadAssignments();
    ReadSettingsRecord();
    RefreshPanels();
    StopLightingThread();
    StartLightingThread();
    return read ? kResultSuccess : kResultNoReply;
}

void CVantrelMouseDevice::ReloadSettings() {
    ReadSettingsRecord();
    RefreshPanels();
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
    const SystemSettings system = profile_.ReadSystemSettings();
    if (transport_.ReceiverMode())
        bytes[kReceiverReportRate] = static_cast<uint8_t>(system.ReceiverReportRate());
    else
        bytes[kWiredReportRate] = static_cast<uint8_t>(system.WiredReportRate());
    bytes[kActiveStage] = static_cast<uint8_t>(profile_.GetActiveStage());
    const std::vector<DpiStage> stages = profile_.ReadStages();
    for (size_t i = 0; i < stages.size() && i < kMaxStages; ++i) {
        const auto stage = stages[i].ToBytes();
        std::copy(stage.begin(), stage.end(), bytes.begin() + static_cast<long>(kStages + DpiStage::kSize * i));
    }
    bytes[kFlag] = static_cast<uint8_t>(flag);
    bytes[kScreenWidth] = static_cast<uint8_t>(screenWidth);
    bytes[kScreenWidth + 1] = static_cast<uint8_t>(screenWidth >> 8);
    bytes[kScreenHeight] = static_cast<uint8_t>(screenHeight);
    bytes[kScreenHeight + 1] = static_cast<uint8_t>(screenHeight >> 8);
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

int CVantrelMouseDevice::WriteRecoilPatterns() {
    std::vector<ImageEntry> patterns;
    for (int n = 0; n < 4; ++n)
        patterns.push_back(EncodeEvents(LoadJson(DataFolder() + "ShootData_" + std::to_string(n) + ".Shoot")));
    return DownloadEventImage(transport_, EventImageKind::Recoil, patterns, 0, nullptr);
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
            if (high == 0x11) profile_.SetActiveStage((code >> 4) & 0x0F);
            RefreshPanels();
        });
    }
}

// ---- page handlers ----

bool CVantrelMouseDevice::HandlePageNotification(const ui::Notification& n) {
    if (HandlePanelNotification(n)) return true;
    using Handler = void (*)(CVantrelMouseDevice&, int);
    struct Row {
        const char* event;
        const char* name;  // whole name, or prefix of an indexed name (ends in "_")
        Handler handler;
    };
    static const std::array<Row, 14> kRows{{
        {"selectchanged", "DPI_enable_check_", [](CVantrelMouseDevice& d, int i) { d.OnStageEnabled(i); }},
        {"selectchanged", "DPI_select_check_", [](CVantrelMouseDevice& d, int i) { d.OnStageSelected(i); }},
        {"selectchanged", "polling_rate_option_", [](CVantrelMouseDevice& d, int i) { d.OnReportRate(i); }},
        {"valuechanged", "DPI_slider_", [](CVantrelMouseDevice& d, int i) { d.OnStageSlider(i, true); }},
        {"movevaluechanged", "DPI_slider_", [](CVantrelMouseDevice& d, int i) { d.OnStageSlider(i, false); }},
        {"selectchanged", "mouse_device_seting_option_", [](CVantrelMouseDevice& d, int i) { d.ShowSettingsPage(i); }},
        {"movevaluechanged", "kestro_DPI_slider_", [](CVantrelMouseDevice& d, int i) { d.OnMainDpiSlider(i); }},
        {"killfocus", "kestro_DPI_edit_", [](CVantrelMouseDevice& d, int i) { d.OnMainDpiEdit(i); }},
        {"killfocus", "DPI_edit_", [](CVantrelMouseDevice& d, int i) { d.OnStageEdit(i); }},
        {"selectchanged", "pointer_precision_check", [](CVantrelMouseDevice& d, int) { d.OnPointerPrecision(); }},
        {"selectchanged", "scrolls_page_check", [](CVantrelMouseDevice& d, int) { d.OnScrollPage(); }},
        {"valuechanged", "scroll_speed_slider", [](CVantrelMouseDevice& d, int) { d.OnScrollSpeed(); }},
        {"valuechanged", "pointer_speed_slider", [](CVantrelMouseDevice& d, int) { d.OnPointerSpeed(); }},
        {"valuechanged", "double_click_slider", [](CVantrelMouseDevice& d, int) { d.OnDoubleClick(); }},
    }};
    std::string prefix;
    int number = 0;
    const bool indexed = SplitIndexedName(n.senderName, prefix, number);
    for (const Row& row : kRows) {
        if (n.event != row.event) continue;
        if (n.senderName == row.name) {
            row.handler(*this, 0);
            return true;
        }
        if (indexed && prefix == row.name) {
            // Options report both being chosen and being left: act on the choice.
            const bool optionLeft = n.event == "selectchanged" && prefix != "DPI_enable_check_" && n.sender != nullptr &&
                                    !n.sender->Selected();
            if (!optionLeft) row.handler(*this, number);
            return true;
        }
    }
    return false;
}

void CVantrelMouseDevice::SaveAndWrite() {
    SaveProfile();
    WriteToDevice(0, 0, 1, screenWidth_, screenHeight_);
}

void CVantrelMouseDevice::StoreStagePosition(size_t stage, int position) {
    if (stage >= kMaxStages) return;
    if (stages_.size() <= stage) stages_.resize(stage + 1);
    stages_[stage].dpiX = static_cast<uint16_t>(std::clamp(position, 0, SensitivityScale::kMaxPosition));
}

void CVantrelMouseDevice::OnStageEnabled(int stage) {
    if (stage < 0 || static_cast<size_t>(stage) >= stages_.size()) return;
    stages_[static_cast<size_t>(stage)].enabled = FindOnPage(Indexed("DPI_enable_check_", static_cast<size_t>(stage))).Selected() ? 1 : 0;
    profile_.WriteStages(stages_);
    SaveAndWrite();
}

void CVantrelMouseDevice::OnStageSelected(int stage) {
    if (stage < 0 || static_cast<size_t>(stage) >= kMaxStages) return;
    profile_.SetActiveStage(stage);
    for (size_t i = 0; i < kMaxStages; ++i) {
        FindOnPage(Indexed("DPI_select_check_", i)).SetSelected(static_cast<int>(i) == stage, false);
        const int position = FindOnPage(Indexed("DPI_slider_", i)).Value();
        ShowStageSlider(i, position);
        StoreStagePosition(i, position);
    }
    profile_.WriteStages(stages_);
    SaveAndWrite();
}

void CVantrelMouseDevice::OnReportRate(int option) {
    if (option < 0 || option > 4) return;
    FindOnPage(Indexed("polling_rate_option_", static_cast<size_t>(option))).SetSelected(true, false);
    SystemFields fields = SystemFields::Of(system_);
    (transport_.ReceiverMode() ? fields.receiverRate : fields.wiredRate) = static_cast<uint16_t>(option);
    system_ = fields.Settings();
    profile_.WriteSystemSettings(system_);
    SaveAndWrite();
}

void CVantrelMouseDevice::OnStageSlider(int stage, bool final) {
    if (stage < 0 || static_cast<size_t>(stage) >= kMaxStages) return;
    const auto index = static_cast<size_t>(stage);
    const int position = FindOnPage(Indexed("DPI_slider_", index)).Value();
    FindOnPage(Indexed("DPI_edit_", index)).SetText(std::to_string(Scale().ValueOf(position)));
    if (!final) return;
    StoreStagePosition(index, position);
    profile_.WriteStages(stages_);
    SaveAndWrite();
}

void CVantrelMouseDevice::OnStageEdit(int stage) {
    if (stage < 0 || static_cast<size_t>(stage) >= kMaxStages) return;
    const auto index = static_cast<size_t>(stage);
    const int position = Scale().PositionOf(FindOnPage(Indexed("DPI_edit_", index)).Text());
    ShowStageSlider(index, position);
    StoreStagePosition(index, position);
    profile_.WriteStages(stages_);
    SaveAndWrite();
}

void CVantrelMouseDevice::OnMainDpiSlider(int index) {
    if (host_ == nullptr) return;
    const ui::Ctl slider = host_->Find(Indexed("kestro_DPI_slider_", static_cast<size_t>(index)));
    ui::Ctl(host_->Find(Indexed("kestro_DPI_edit_", static_cast<size_t>(index)))).SetText(std::to_string(slider.Value()));
}

void CVantrelMouseDevice::OnMainDpiEdit(int index) {
    if (host_ == nullptr) return;
    const ui::Ctl edit = host_->Find(Indexed("kestro_DPI_edit_", static_cast<size_t>(index)));
    const int value = std::clamp(ParseDecimal(edit.Text()), kMainDpiMinimum, kMainDpiMaximum);
    edit.SetText(std::to_string(value));
    ui::Ctl(host_->Find(Indexed("kestro_DPI_slider_", static_cast<size_t>(index)))).SetValue(value, false);
}

void CVantrelMouseDevice::OnPointerPrecision() {
    SystemFields fields = SystemFields::Of(system_);
    fields.precision = FindOnPage("pointer_precision_check").Selected() ? 1 : 0;
    system_ = fields.Settings();
    profile_.WriteSystemSettings(system_);
    SaveProfile();
}

void CVantrelMouseDevice::OnScrollPage() {
    SystemFields fields = SystemFields::Of(system_);
    fields.scrollPage = FindOnPage("scrolls_page_check").Selected() ? 1 : 0;
    fields.wheelLines = static_cast<uint16_t>(FindOnPage("scroll_speed_slider").Value());
    system_ = fields.Settings();
    profile_.WriteSystemSettings(system_);
    SaveProfile();
}

void CVantrelMouseDevice::OnScrollSpeed() {
    FindOnPage("scrolls_page_check").SetSelected(false, false);
    SystemFields fields = SystemFields::Of(system_);
    fields.scrollPage = 0;
    fields.wheelLines = static_cast<uint16_t>(FindOnPage("scroll_speed_slider").Value());
    system_ = fields.Settings();
    profile_.WriteSystemSettings(system_);
    SaveProfile();
}

void CVantrelMouseDevice::OnPointerSpeed() {
    SystemFields fields = SystemFields::Of(system_);
    fields.speed = static_cast<uint16_t>(FindOnPage("pointer_speed_slider").Value());
    system_ = fields.Settings();
    profile_.WriteSystemSettings(system_);
    SaveProfile();
}

void CVantrelMouseDevice::OnDoubleClick() {
    SystemFields fields = SystemFields::Of(system_);
    fields.doubleClick = static_cast<uint16_t>(FindOnPage("double_click_slider").Value());
    system_ = fields.Settings();
    profile_.WriteSystemSettings(system_);
    SaveProfile();
}

}  // namespace m470
