#include "pages/MouseSettingsPanel.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "keys/KeyCaption.h"
#include "platform/Text.h"

namespace m470 {
namespace {

constexpr int kMainDpiMinimum = 200;
constexpr int kMainDpiMaximum = 6500;

std::string Indexed(const char* prefix, size_t index) { return prefix + std::to_string(index); }

int ParseDecimal(const std::string& text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
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

// The strip's option tabs on the mouse page and the settings page of each.
constexpr int kKeySettingsPage = 2;
constexpr std::array<OptionTabPage, 6> kOptionTabPages{{
    {1, "deng_Op_tab", 3, true},
    {2, "key_Op_tab", 2, true},
    {3, "macro_Op_tab", 5, true, false},
    {4, "system_Op_tab", 0, true},
    {5, "cursor_Op_tab", 1, true, false},
    {9, "recoil_Op_tab", 4, true, false},
}};
constexpr SettingsPages kSettingsPages{"mouse_device_seting_layout", "mouse_option_layout", "mouse_device_seting_option_",
                                       kOptionTabPages, "mouse_picture_area"};

// The pointer page's controls: which system value each edits, and the
// desktop's setting it is applied to (none: kept in the profile only).
struct PointerControl {
    PointerSetting setting;
    const char* event;
    const char* name;
    uint16_t SystemFields::*field;
    bool check;  // a check box (0 or 1), else a slider's value
    std::optional<PointerValue> desktop;
};
constexpr ValueRange kPointerSliderRange{1, 20};
constexpr std::array<PointerControl, 5> kPointerControls{{
    {PointerSetting::Precision, "selectchanged", "pointer_precision_check", &SystemFields::precision, true, PointerValue::Precision},
    {PointerSetting::ScrollPage, "selectchanged", "scrolls_page_check", &SystemFields::scrollPage, true, std::nullopt},
    {PointerSetting::ScrollLines, "valuechanged", "scroll_speed_slider", &SystemFields::wheelLines, false, std::nullopt},
    {PointerSetting::Speed, "valuechanged", "pointer_speed_slider", &SystemFields::speed, false, PointerValue::Speed},
    {PointerSetting::DoubleClick, "valuechanged", "double_click_slider", &SystemFields::doubleClick, false, PointerValue::DoubleClick},
}};

const PointerControl& ControlOf(PointerSetting setting) {
    return *std::find_if(kPointerControls.begin(), kPointerControls.end(),
                         [setting](const PointerControl& control) { return control.setting == setting; });
}

// The report rate options, "polling_rate_option_N", in Hz.
constexpr std::array<int, 5> kReportRates{125, 250, 500, 1000, 2000};
constexpr const char* kPointerDesktopLabel = "pointer_desktop_label";

// Options report both being chosen and being left: only the choice acts.
bool Chosen(const ui::Notification& n) { return n.sender == nullptr || n.sender->Selected(); }

}  // namespace

CMouseSettingsPanel::CMouseSettingsPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* page,
                                         const DevicePicture& picture, CDeviceProfileUI* strip, PageContext* context)
    : device_(device),
      stages_(*device.Capabilities().stages),
      system_(*device.Capabilities().systemFlags),
      keys_(*device.Capabilities().keys),
      host_(host), page_(page), picture_(picture), strip_(strip), context_(context) {
    using N = const ui::Notification&;
    routes_.Add("selectchanged", "DPI_enable_check_", [this](N, int i) { OnStageEnabled(i); })
        .Add("selectchanged", "DPI_select_check_", [this](N n, int i) { if (Chosen(n)) OnStageSelected(i); })
        .Add("selectchanged", "polling_rate_option_", [this](N n, int i) { if (Chosen(n)) OnReportRate(i); })
        .Add("valuechanged", "DPI_slider_", [this](N, int i) { OnStageSlider(i, true); })
        .Add("movevaluechanged", "DPI_slider_", [this](N, int i) { OnStageSlider(i, false); })
        .Add("selectchanged", "mouse_device_seting_option_", [this](N n, int i) { if (Chosen(n)) ShowSettingsPage(i); })
        .Add("movevaluechanged", "kestro_DPI_slider_", [this](N, int i) { OnMainDpiSlider(i); })
        .Add("killfocus", "kestro_DPI_edit_", [this](N, int i) { OnMainDpiEdit(i); })
        .Add("killfocus", "DPI_edit_", [this](N, int i) { OnStageEdit(i); })
        .Add("click", "DPI_color_option_", [this](N, int i) { OnStageColour(i); });
    for (const PointerControl& control : kPointerControls)
        routes_.Add(control.event, control.name, [this](N n, int) { OnPointerValue(n); });
    for (const ui::Ctl& led : picture_.leds) led.SetLight(0xFFFFFF, 255, true);
    kSettingsPages.HideUnbuiltTabs(host_, page_);
}

// ---- drawing ----

void CMouseSettingsPanel::Repaint(DeviceChange change) {
    if (change == DeviceChange::Settings) ShowSettings();
    if (change != DeviceChange::Keys) return;
    RefreshKeyInfo();
    ShowKeys();
}

void CMouseSettingsPanel::ShowSettings() {
    RefreshKeyInfo();
    const std::vector<DpiStage>& stages = stages_.Stages();
    for (size_t i = 0; i < stages.size() && i < SensitivityStages::kMaxStages; ++i) {
        const DpiStage& stage = stages[i];
        Find(Indexed("DPI_enable_check_", i)).SetSelected(stage.enabled != 0, false);
        ShowStageSlider(i, stage.dpiX);
        Find(Indexed("DPI_color_option_", i))
            .SetBkColour(0xFF000000u | static_cast<uint32_t>(stage.red) << 16 | stage.green << 8 | stage.blue);
    }
    const SystemSettings& system = system_.System();
    int option = device_.Transport().ReceiverMode() ? system.ReceiverReportRate() : system.WiredReportRate();
    if (option < 0 || option > 4) option = 0;
    Find(Indexed("polling_rate_option_", static_cast<size_t>(option))).SetSelected(true, false);
    ShowSystemSettings();
}

// Which key buttons still have their factory function; the stage sliders
// take the scale's range once the key table (and with it the sensor) is known.
void CMouseSettingsPanel::ShowKeys() {
    const std::vector<KeyAssignmentPair>& assignments = keys_.Assignments();
    for (size_t j = 0; j < picture_.keys.size() && j < assignments.size() && j < kMouseButtons; ++j)
        if (ui::Control* button = picture_.keys[j].Get())
            button->SetDefaultState(keys_.KeyIsFactory(j));
    if (!keys_.KeyTableRead()) return;
    for (size_t i = 0; i < SensitivityStages::kMaxStages; ++i) Find(Indexed("DPI_slider_", i)).SetRange(0, SensitivityScale::kMaxPosition);
}

// The desktop's pointer values, read once when the page first shows its
// values: what the user set in the desktop's own settings is kept. The
// answer comes later; meanwhile the page shows the profile's values.
void CMouseSettingsPanel::ReadDesktopPointer() {
    desktop_ = std::make_unique<DesktopPointerWorker>(CDesktopPointer::ForSession(), device_.UiThreadInvoker());
    const SystemFields fields = SystemFields::Of(system_.System());
    for (const PointerControl& control : kPointerControls)
        if (control.desktop) onDesktop_[static_cast<size_t>(*control.desktop)] = fields.*control.field;
    desktop_->Read(PointerIdsOf(device_.Identity(), device_.Kind()),
                   [this](const DesktopPointerRead& read) { TakeDesktopPointer(read); });
}

void CMouseSettingsPanel::TakeDesktopPointer(const DesktopPointerRead& read) {
    desktopAnswered_ = true;
    onDesktopKeys_ = read.found;
    for (size_t i = 0; i < kPointerValueCount; ++i)
        if (!setBeforeAnswer_[i]) onDesktop_[i].reset();
    SystemFields fields = SystemFields::Of(system_.System());
    const SystemFields before = fields;
    for (const DesktopPointerReading& reading : read.readings) {
        const auto value = static_cast<size_t>(reading.value);
        if (setBeforeAnswer_[value]) continue;
        onDesktop_[value] = reading.position;
        for (const PointerControl& control : kPointerControls)
            if (control.desktop == reading.value) fields.*control.field = static_cast<uint16_t>(reading.position);
    }
    ShowDesktopLabel();
    if (std::memcmp(&before, &fields, sizeof fields) != 0) system_.CommitSystem(fields.Settings(), false);
    ShowSystemSettings();
}

void CMouseSettingsPanel::PushToDesktop(const SystemSettings& system) {
    const bool anyKey = std::find(onDesktopKeys_.begin(), onDesktopKeys_.end(), true) != onDesktopKeys_.end();
    if (!desktop_ || (desktopAnswered_ && !anyKey)) return;
    const SystemFields fields = SystemFields::Of(system);
    for (const PointerControl& control : kPointerControls) {
        if (!control.desktop) continue;
        const auto index = static_cast<size_t>(*control.desktop);
        std::optional<int>& held = onDesktop_[index];
        const int value = fields.*control.field;
        if (held == value) continue;
        desktop_->Apply(*control.desktop, value);
        held = value;
        if (!desktopAnswered_) setBeforeAnswer_[index] = true;
    }
}

namespace {

// What the tab says of the desktop: the first row whose value the desktop
// takes (a KDE session on X11 has the double-click interval only).
struct DesktopLabelRow {
    std::optional<PointerValue> taken;
    const char* text;
};
constexpr std::array<DesktopLabelRow, 3> kDesktopLabels{{
    {PointerValue::Speed, "pointer_desktop_text"},
    {PointerValue::DoubleClick, "pointer_desktop_double_click_text"},
    {std::nullopt, "pointer_profile_only_text"},
}};

}  // namespace

// Nothing is said until the desktop has answered.
void CMouseSettingsPanel::ShowDesktopLabel() {
    if (!desktopAnswered_) return;
    for (const DesktopLabelRow& row : kDesktopLabels)
        if (!row.taken || onDesktopKeys_[static_cast<size_t>(*row.taken)])
            return Find(kPointerDesktopLabel).SetText(Translate(row.text));
}

// The stored pointer values on the pointer page, without raising events.
void CMouseSettingsPanel::ShowSystemSettings() {
    if (!desktop_) ReadDesktopPointer();
    const SystemFields fields = SystemFields::Of(system_.System());
    PushToDesktop(system_.System());
    Find("pointer_speed_slider").SetValue(fields.speed, false);
    Find("pointer_precision_check").SetSelected(fields.precision != 0, false);
    Find("scrolls_page_check").SetSelected(fields.scrollPage != 0, false);
    Find("scroll_speed_slider").SetValue(fields.wheelLines, false);
    Find("double_click_slider").SetValue(fields.doubleClick, false);
}

void CMouseSettingsPanel::ShowOptionTab(int number) {
    const OptionTabPage* row = kSettingsPages.BuiltTab(number);
    if (row == nullptr) return;
    ShowSettingsPage(row->settingsPage);
    // The picture's buttons pick keys for assignment only on the buttons tab.
    if (showFunctionPage_) showFunctionPage_(row->settingsPage == kKeySettingsPage ? 2 : 1);
}

void CMouseSettingsPanel::ShowSettingsPage(int page) {
    kSettingsPages.Show(host_, page_, strip_, page);
    if (pageShown_) pageShown_();
}

void CMouseSettingsPanel::ShowStageSlider(size_t stage, int position) {
    Find(Indexed("DPI_slider_", stage)).SetValue(position, false);
    ShowStageMarks(stage);
    Find(Indexed("DPI_edit_", stage)).SetText(std::to_string(stages_.Scale().ValueOf(position)));
}

void CMouseSettingsPanel::ShowStageMarks(size_t stage) {
    const bool active = static_cast<int32_t>(stage) == stages_.ActiveStage();
    if (ui::Control* control = Find(Indexed("DPI_slider_", stage)).Get()) {
        control->SetForeImage("Control/SliderBar_BK1.png");
        control->SetThumbImage(active ? "Control/SliderBar1_Thumb.png" : "Control/SliderBar2_Thumb.png");
    }
    Find(Indexed("DPI_enable_check_", stage)).SetEnabled(!active);
    Find(Indexed("DPI_select_check_", stage)).SetSelected(active, false);
}

void CMouseSettingsPanel::ShowKeyInfo(size_t index, const std::string& caption) {
    const std::string title = index < kMouseLogicalButtons.size() ? Translate(kMouseLogicalButtons[index].nameKey) : std::string();
    ui::Ctl button = index < picture_.keys.size() ? picture_.keys[index] : ui::Ctl();
    if (ui::Control* control = button.Get()) control->SetToolTip(title, caption);
    ui::Control* rows = Find("device_setkeyinfo_list").Get();
    if (rows == nullptr) return;
    while (rows->ItemCount() < static_cast<int>(index) + 1) {
        rows->AddItem({}, {});
        rows->SetItemVisible(rows->ItemCount() - 1, false);
    }
    rows->SetItemText(static_cast<int>(index), title + ": " + caption);
    rows->SetItemVisible(static_cast<int>(index), button.Visible());
}

void CMouseSettingsPanel::RefreshKeyInfo() {
    Find("device_setkeyinfo_list").ClearItems();
    const std::vector<KeyAssignmentPair>& assignments = keys_.Assignments();
    const Translator& translate = keys_.Translation();
    for (size_t i = 0; i < assignments.size(); ++i) {
        const auto caption = KeyCaption(assignments[i].current, device_.MacroNames(), translate, CaptionTarget::Mouse);
        ShowKeyInfo(i, caption.value_or(std::string()));
    }
    const LightInfo light = device_.GetLightInfo();
    std::string mode;
    if (light.selectItem <= kHighestMouseMode && light.selectItem < device_.ModeNames().size())
        mode = Translate(device_.ModeNames()[light.selectItem]);
    if (ui::Control* logo = picture_.logo.Get())
        logo->SetToolTip("Logo", Translate("Light_Set") + "\n" + Translate("Overall_Light_Set") + mode);
    Find("device_setkeyinfo_list").SetVisible(true);
}

// ---- edits ----

void CMouseSettingsPanel::OnStageColour(int stage) {
    if (context_ == nullptr || stage < 0 || static_cast<size_t>(stage) >= stages_.Stages().size()) return;
    const DpiStage& shown = stages_.Stages()[static_cast<size_t>(stage)];
    const uint32_t colour = 0xFF000000u | uint32_t{shown.red} << 16 | uint32_t{shown.green} << 8 | shown.blue;
    const std::optional<uint32_t> chosen = context_->ChoosePaletteColour(colour);
    // The page may have left while the window was open.
    if (!chosen || !context_->Shown(device_)) return;
    if (!stages_.SetStageColour(static_cast<size_t>(stage), *chosen & 0xFFFFFFu)) return;
    Told(stages_.CommitStages());
    device_.Tell(DeviceChange::Settings);
}

void CMouseSettingsPanel::Told(int result) const {
    if (context_ != nullptr && result != kResultSuccess) ReportWrite(*context_, -1);
}

void CMouseSettingsPanel::OnStageEnabled(int stage) {
    if (stage < 0) return;
    const auto index = static_cast<size_t>(stage);
    SetStageEnabled(index, Find(Indexed("DPI_enable_check_", index)).Selected());
}

void CMouseSettingsPanel::OnStageSelected(int stage) {
    if (stage < 0 || static_cast<size_t>(stage) >= SensitivityStages::kMaxStages) return;
    stages_.SetActiveStage(stage);
    for (size_t i = 0; i < SensitivityStages::kMaxStages; ++i) ShowStageMarks(i);
    Told(stages_.CommitStages());
}

void CMouseSettingsPanel::OnReportRate(int option) {
    if (option < 0 || option > 4) return;
    Find(Indexed("polling_rate_option_", static_cast<size_t>(option))).SetSelected(true, false);
    SystemFields fields = SystemFields::Of(system_.System());
    (device_.Transport().ReceiverMode() ? fields.receiverRate : fields.wiredRate) = static_cast<uint16_t>(option);
    Told(system_.CommitSystem(fields.Settings(), true));
}

void CMouseSettingsPanel::OnStageSlider(int stage, bool final) {
    if (stage < 0 || static_cast<size_t>(stage) >= SensitivityStages::kMaxStages) return;
    const auto index = static_cast<size_t>(stage);
    const int position = Find(Indexed("DPI_slider_", index)).Value();
    Find(Indexed("DPI_edit_", index)).SetText(std::to_string(stages_.Scale().ValueOf(position)));
    if (!final) return;
    stages_.SetStagePosition(index, position);
    Told(stages_.CommitStages());
}

// A typed value outside the scale is taken to its nearest end.
void CMouseSettingsPanel::OnStageEdit(int stage) {
    if (stage < 0 || static_cast<size_t>(stage) >= SensitivityStages::kMaxStages) return;
    const auto index = static_cast<size_t>(stage);
    TakeStagePosition(index, stages_.Scale().PositionOf(Find(Indexed("DPI_edit_", index)).Text()));
}

void CMouseSettingsPanel::TakeStagePosition(size_t stage, int position) {
    ShowStageSlider(stage, position);
    stages_.SetStagePosition(stage, position);
    Told(stages_.CommitStages());
}

void CMouseSettingsPanel::OnMainDpiSlider(int index) {
    const ui::Ctl slider = host_.Find(Indexed("kestro_DPI_slider_", static_cast<size_t>(index)));
    ui::Ctl(host_.Find(Indexed("kestro_DPI_edit_", static_cast<size_t>(index)))).SetText(std::to_string(slider.Value()));
}

void CMouseSettingsPanel::OnMainDpiEdit(int index) {
    const ui::Ctl edit = host_.Find(Indexed("kestro_DPI_edit_", static_cast<size_t>(index)));
    const int value = std::clamp(ParseDecimal(edit.Text()), kMainDpiMinimum, kMainDpiMaximum);
    edit.SetText(std::to_string(value));
    ui::Ctl(host_.Find(Indexed("kestro_DPI_slider_", static_cast<size_t>(index)))).SetValue(value, false);
}

void CMouseSettingsPanel::OnPointerValue(const ui::Notification& n) {
    for (const PointerControl& control : kPointerControls) {
        if (!EqualsIgnoringCase(n.senderName, control.name)) continue;
        const ui::Ctl sender = Find(control.name);
        TakePointerValue(control.setting, control.check ? (sender.Selected() ? 1 : 0) : sender.Value());
    }
}

void CMouseSettingsPanel::TakePointerValue(PointerSetting setting, int value) {
    SystemFields fields = SystemFields::Of(system_.System());
    fields.*ControlOf(setting).field = static_cast<uint16_t>(value);
    // The scroll page and the lines per notch go together: a chosen speed
    // leaves page scrolling; a page choice keeps the lines kept (and shown).
    if (setting == PointerSetting::ScrollLines) {
        Find("scrolls_page_check").SetSelected(false, false);
        fields.scrollPage = 0;
    }
    system_.CommitSystem(fields.Settings(), false);
    PushToDesktop(system_.System());
}

// ---- the typed settings ----

ValueRange CMouseSettingsPanel::StageDpiRange() const {
    const SensitivityScale scale = stages_.Scale();
    const int low = scale.ValueOf(0), high = scale.ValueOf(SensitivityScale::kMaxPosition);
    return {std::min(low, high), std::max(low, high)};
}

// A stage the mouse did not report shows as the layout has it: 0, in the cycle.
int CMouseSettingsPanel::StageDpi(size_t stage) const {
    const std::vector<DpiStage>& stages = stages_.Stages();
    return stage < stages.size() ? stages_.Scale().ValueOf(stages[stage].dpiX) : 0;
}

SettingOutcome CMouseSettingsPanel::SetStageDpi(size_t stage, int dpi) {
    if (stage >= SensitivityStages::kMaxStages) return SettingOutcome::Refused(SettingStatus::NoSuchIndex);
    if (!StageDpiRange().Holds(dpi)) return SettingOutcome::Outside(StageDpiRange());
    TakeStagePosition(stage, stages_.Scale().PositionOfValue(dpi));
    return SettingOutcome::Ok();
}

bool CMouseSettingsPanel::StageEnabled(size_t stage) const {
    const std::vector<DpiStage>& stages = stages_.Stages();
    return stage >= stages.size() || stages[stage].enabled != 0;
}

// The active stage stays in the cycle (its check is switched off on the page).
SettingOutcome CMouseSettingsPanel::SetStageEnabled(size_t stage, bool on) {
    if (stage >= SensitivityStages::kMaxStages) return SettingOutcome::Refused(SettingStatus::NoSuchIndex);
    if (ActiveStage() == stage) return SettingOutcome::Refused(SettingStatus::ActiveStageStays);
    Find(Indexed("DPI_enable_check_", stage)).SetSelected(on, false);
    if (stages_.SetStageEnabled(stage, on)) Told(stages_.CommitStages());
    return SettingOutcome::Ok();
}

std::optional<size_t> CMouseSettingsPanel::ActiveStage() const {
    const int active = stages_.ActiveStage();
    if (active < 0 || static_cast<size_t>(active) >= SensitivityStages::kMaxStages) return std::nullopt;
    return static_cast<size_t>(active);
}

SettingOutcome CMouseSettingsPanel::SetActiveStage(size_t stage) {
    if (stage >= SensitivityStages::kMaxStages) return SettingOutcome::Refused(SettingStatus::NoSuchIndex);
    if (!StageEnabled(stage)) return SettingOutcome::Refused(SettingStatus::StageOff);
    OnStageSelected(static_cast<int>(stage));
    return SettingOutcome::Ok();
}

int CMouseSettingsPanel::ReportRate() const {
    const SystemSettings& system = system_.System();
    const int option = device_.Transport().ReceiverMode() ? system.ReceiverReportRate() : system.WiredReportRate();
    return kReportRates[option >= 0 && option < static_cast<int>(kReportRates.size()) ? static_cast<size_t>(option) : 0];
}

SettingOutcome CMouseSettingsPanel::SetReportRate(int hz) {
    const auto rate = std::find(kReportRates.begin(), kReportRates.end(), hz);
    if (rate == kReportRates.end()) return SettingOutcome::OneOf({kReportRates.begin(), kReportRates.end()});
    // One option is chosen, as the toolkit's exclusive options keep it.
    for (size_t i = 0; i < kReportRates.size(); ++i) Find(Indexed("polling_rate_option_", i)).SetSelected(false, false);
    OnReportRate(static_cast<int>(rate - kReportRates.begin()));
    return SettingOutcome::Ok();
}

ValueRange CMouseSettingsPanel::PointerRange(PointerSetting setting) {
    return ControlOf(setting).check ? ValueRange{0, 1} : kPointerSliderRange;
}

int CMouseSettingsPanel::Pointer(PointerSetting setting) const {
    return SystemFields::Of(system_.System()).*ControlOf(setting).field;
}

SettingOutcome CMouseSettingsPanel::SetPointer(PointerSetting setting, int value) {
    if (!PointerRange(setting).Holds(value)) return SettingOutcome::Outside(PointerRange(setting));
    const PointerControl& control = ControlOf(setting);
    if (control.check) Find(control.name).SetSelected(value != 0, false);
    else Find(control.name).SetValue(value, false);
    TakePointerValue(setting, value);
    return SettingOutcome::Ok();
}

}  // namespace m470
