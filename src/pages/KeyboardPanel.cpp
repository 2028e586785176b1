#include "pages/KeyboardPanel.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "keys/KeyCaption.h"
#include "platform/Text.h"

namespace m470 {
namespace {

// The numbered options of the system tab: what each option's number stands for.
constexpr std::array<int, 4> kRepeatDelaysMs{250, 500, 750, 1000};
constexpr std::array<int, 4> kReportRatesHz{125, 250, 500, 1000};
constexpr int kRepeatDelayChoices = static_cast<int>(kRepeatDelaysMs.size());
constexpr int kPollingRateChoices = static_cast<int>(kReportRatesHz.size());

std::string Indexed(const char* prefix, int index) { return prefix + std::to_string(index); }
int ChoiceOrZero(int value, int choices) { return value < 0 || value >= choices ? 0 : value; }

// The strip's tabs on the keyboard page and the settings page of each.
constexpr int kKeyTab = 2, kMacroTab = 3;
constexpr int kLightingSettingsPage = 0, kKeySettingsPage = 2;
constexpr int kLightingFunctionPage = 1, kKeyFunctionPage = 2;
constexpr std::array<OptionTabPage, 4> kOptionTabPages{{
    {1, "deng_Op_tab", kLightingSettingsPage, true},
    {kKeyTab, "key_Op_tab", kKeySettingsPage, true},
    {kMacroTab, "macro_Op_tab", 3, true, false},
    {4, "system_Op_tab", 1, true, false},
}};
constexpr SettingsPages kSettingsPages{"keyboard_device_seting_layout", "keyboard_option_layout",
                                       "keyboard_device_seting_option_", kOptionTabPages, "keyboard_picture_area"};
constexpr const char* kPicture = "keyboard_device_key_light";

// The system tab's controls: which setting each edits.
struct SettingControl {
    const char* event;
    const char* name;  // whole name, or the prefix of numbered options (ends in "_")
    KeyboardSetting setting;
    bool fromValue;    // the slider's value, else the option's number (numbered) or state
};
constexpr std::array<SettingControl, 6> kSettingControls{{
    {"valuechanged", "repeat_rate_slider", KeyboardSetting::Repeat, true},
    {"selectchanged", "repeat_delay_check_", KeyboardSetting::RepeatDelay, false},
    {"selectchanged", "polling_rate_option_", KeyboardSetting::PollingRate, false},
    {"selectchanged", "6flag_option", KeyboardSetting::Key6Flag, false},
    {"selectchanged", "wflag_option", KeyboardSetting::WFlag, false},
    {"selectchanged", "winlockflag_option", KeyboardSetting::WinFlag, false},
}};

const SettingControl& ControlOf(KeyboardSetting setting) {
    return *std::find_if(kSettingControls.begin(), kSettingControls.end(),
                         [setting](const SettingControl& control) { return control.setting == setting; });
}

// What the numbered options of a setting stand for; empty for the others.
std::vector<int> ChoicesOf(KeyboardSetting setting) {
    if (setting == KeyboardSetting::RepeatDelay) return {kRepeatDelaysMs.begin(), kRepeatDelaysMs.end()};
    if (setting == KeyboardSetting::PollingRate) return {kReportRatesHz.begin(), kReportRatesHz.end()};
    return {};
}

// A click on one of the picture's keys, "key_" and its number.
bool IsKeyButton(const ui::Notification& n) {
    const std::string_view name = n.senderName;
    return n.event == "click" && name.size() > 4 && name.starts_with("key_") &&
           std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Options report both being chosen and being left: only the choice acts.
bool Chosen(const ui::Notification& n) { return n.sender == nullptr || n.sender->Selected(); }

}  // namespace

CKeyboardPanel::CKeyboardPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* page,
                               const DevicePicture& picture, CDeviceProfileUI* strip, PageContext* context)
    : device_(device),
      colours_(*device.Capabilities().customColours),
      settings_(*device.Capabilities().keyboardSettings),
      keys_(*device.Capabilities().keys),
      host_(host), page_(page), picture_(picture), strip_(strip), context_(context) {
    using N = const ui::Notification&;
    for (const SettingControl& control : kSettingControls) {
        const std::string name = control.name;
        if (name.back() == '_') {
            routes_.Add(control.event, name, [this, &control](N n, int i) { if (Chosen(n)) OnSetting(control.setting, i); });
            continue;
        }
        routes_.Add(control.event, name, [this, &control](N, int) {
            const ui::Ctl sender = Find(control.name);
            OnSetting(control.setting, control.fromValue ? sender.Value() : sender.Selected() ? 1 : 0);
        });
    }
    routes_.Add("selectchanged", kSettingsPages.optionPrefix, [this](N n, int i) { if (Chosen(n)) ShowSettingsPage(i); })
        // A key of the picture painted in the custom mode: by click, or a rubber band's keys.
        .Add("click", "key_", [this](N, int i) { if (i >= 0) colours_.WriteColourPage(static_cast<size_t>(i)); })
        .Add("click_select_end", kPicture, [this](N, int) { OnRubberBand(); });
    // Rows without a key on this keyboard have no button to show.
    keyHidden_.assign(picture_.keys.size(), false);
    for (size_t j = 0; j < picture_.keys.size() && j < kWrittenLogicalKeys; ++j)
        if (const KeyAssignment f = LogicalKeyFunction(j); f.type == 0x20 && f.param1 == 0 && f.param2 == 0) {
            picture_.keys[j].SetVisible(false);
            keyHidden_[j] = true;
        }
    kSettingsPages.HideUnbuiltTabs(host_, page_);
}

void CKeyboardPanel::HideKeyTabs() {
    kSettingsPages.HideTab(host_, page_, kKeyTab);
    kSettingsPages.HideTab(host_, page_, kMacroTab);
}

bool CKeyboardPanel::Take(const ui::Notification& n) {
    const bool assigning = functionPage_ && functionPage_() == kKeyFunctionPage;
    if (assigning && (IsKeyButton(n) || n.event == "click_select_end")) return false;
    return CPagePanel::Take(n);
}

// ---- drawing ----

void CKeyboardPanel::Repaint(DeviceChange change) {
    switch (change) {
        case DeviceChange::Settings:
            ShowKeyTexts();
            if (lights_ != nullptr) lights_->SelectCustomGroup(colours_.CustomGroup());
            ShowSystemSettings();
            if (colours_.Custom()) ShowLights(false);
            break;
        case DeviceChange::Keys: ShowKeyTexts(); break;
        case DeviceChange::CustomColours:
            if (lights_ != nullptr) lights_->SelectCustomGroup(colours_.CustomGroup());
            ShowLights(false);
            break;
        case DeviceChange::ProfileList: ClearKeyMarks(); break;
        case DeviceChange::Frame:
            if (!colours_.Custom()) ShowLights(true);
            break;
        default: break;
    }
}

void CKeyboardPanel::LightingMade(CLightControlUI& lights) {
    lights_ = &lights;
    lights_->SelectCustomGroup(colours_.CustomGroup());
}

void CKeyboardPanel::RefreshTexts() {
    ShowKeyTexts();
    ShowSystemSettings();
}

void CKeyboardPanel::ShowOptionTab(int number) {
    if (const OptionTabPage* row = kSettingsPages.BuiltTab(number)) ShowSettingsPage(row->settingsPage);
}

void CKeyboardPanel::ShowSettingsPage(int page) {
    settingsPage_ = page;
    kSettingsPages.Show(host_, page_, strip_, page);
    if (pageShown_) pageShown_();
    if (showFunctionPage_) showFunctionPage_(page == kKeySettingsPage ? kKeyFunctionPage : kLightingFunctionPage);
    ShowLights(!colours_.Custom());
}

void CKeyboardPanel::ShowKeyTexts() {
    const std::vector<KeyAssignmentPair>& assignments = keys_.Assignments();
    const Translator& translate = keys_.Translation();
    for (size_t j = 0; j < picture_.keys.size() && j < assignments.size(); ++j) {
        ui::Control* button = picture_.keys[j].Get();
        if (button == nullptr) continue;
        const KeyAssignment factory = LogicalKeyFunction(j);
        const auto name =
            KeyCaption(factory, device_.MacroNames(), translate, CaptionTarget::Keyboard).value_or(std::string());
        const auto caption =
            KeyCaption(assignments[j].current, device_.MacroNames(), translate, CaptionTarget::Keyboard).value_or(name);
        button->SetToolTip(name, name + Translate("Key_Set") + caption);
        button->SetDefaultState(EqualsIgnoringCase(caption, name));
    }
}

// The stored system settings on the system tab, without raising events.
void CKeyboardPanel::ShowSystemSettings() {
    const KeyboardSystemWords system = settings_.SystemWords();
    Find("winlockflag_option").SetSelected(system.WinFlag() != 0, false);
    Find("wflag_option").SetSelected(system.WFlag() != 0, false);
    Find("6flag_option").SetSelected(system.Key6Flag() != 0, false);
    Find("repeat_rate_slider").SetValue(system.Repeat(), false);
    const int delay = ChoiceOrZero(system.RepeatDelay(), kRepeatDelayChoices);
    Find(Indexed("repeat_delay_check_", delay)).SetSelected(true, false);
    Find("repeat_delay_time_label1")
        .SetText(Translate("Repeat_Delay_Time") + std::to_string(delay * 250 + 250) + "ms");
    ui::Ctl input = Find("repeat_input_richedit");
    input.SetText("");
    if (ui::Control* edit = input.Get()) edit->SetToolTip("", Translate("Repeat_input_text"));
    Find(Indexed("polling_rate_option_", ChoiceOrZero(system.PollingRate(), kPollingRateChoices))).SetSelected(true, false);
}

// The keys lit as the frame has them, on the lighting tab only: the custom
// colours at full level, an effect at its own levels. On the other tabs they
// are dark, so that the chosen key and the changed ones stand out; hidden keys stay dark.
// An effect's frame changes some keys at a time: while the keys are lit the
// same way, only those whose entry changed since the frame last shown are set.
void CKeyboardPanel::ShowLights(bool effectLevels) {
    const bool lit = settingsPage_ == kLightingSettingsPage && (!functionPage_ || functionPage_() == kLightingFunctionPage);
    const bool sameWay = shownWay_ == (lit ? 1 : 0) + (effectLevels ? 2 : 0);
    shownWay_ = (lit ? 1 : 0) + (effectLevels ? 2 : 0);
    std::swap(frame_, shownFrame_);
    const LedFrame& frame = device_.CopyFrame(frame_);
    for (size_t j = 0; j < picture_.keys.size() && j < frame.size(); ++j) {
        const LedEntry& e = frame[j];
        if (sameWay && j < shownFrame_.size() && shownFrame_[j] == e) continue;
        const ui::Control* key = picture_.keys[j].Get();
        if (key == nullptr) continue;
        const bool on = lit && (!effectLevels || !keyHidden_[j]);
        // Lights take the LED entry's order: red in the low byte.
        const uint32_t colour = e.red | e.green << 8 | static_cast<uint32_t>(e.blue) << 16;
        picture_.keys[j].SetLight(on ? colour : 0, on ? (effectLevels ? e.level : 255) : 0, on);
    }
}

void CKeyboardPanel::ClearKeyMarks() {
    for (const ui::Ctl& button : picture_.keys)
        if (ui::Control* key = button.Get()) key->SetKeySelected(false);
}

// ---- edits ----

void CKeyboardPanel::OnSetting(KeyboardSetting setting, int value) {
    // Kept in the profile either way; a record the keyboard did not take is told.
    const int written = settings_.ChangeSetting(setting, value);
    if (context_ != nullptr) ReportWrite(*context_, written == kResultSuccess ? 0 : -1);
    ShowSystemSettings();
}

// ---- the typed settings ----

int CKeyboardPanel::Setting(KeyboardSetting setting) const {
    const KeyboardSystemWords system = settings_.SystemWords();
    switch (setting) {
        case KeyboardSetting::Repeat: return system.Repeat();
        case KeyboardSetting::RepeatDelay: return kRepeatDelaysMs[size_t(ChoiceOrZero(system.RepeatDelay(), kRepeatDelayChoices))];
        case KeyboardSetting::PollingRate: return kReportRatesHz[size_t(ChoiceOrZero(system.PollingRate(), kPollingRateChoices))];
        case KeyboardSetting::Key6Flag: return system.Key6Flag() != 0 ? 1 : 0;
        case KeyboardSetting::WFlag: return system.WFlag() != 0 ? 1 : 0;
        case KeyboardSetting::WinFlag: return system.WinFlag() != 0 ? 1 : 0;
    }
    return 0;
}

SettingOutcome CKeyboardPanel::SetSetting(KeyboardSetting setting, int value) {
    const SettingControl& control = ControlOf(setting);
    if (const std::vector<int> choices = ChoicesOf(setting); !choices.empty()) {
        const auto choice = std::find(choices.begin(), choices.end(), value);
        if (choice == choices.end()) return SettingOutcome::OneOf(choices);
        // One option is chosen, as the toolkit's exclusive options keep it.
        for (int i = 0; i < static_cast<int>(choices.size()); ++i) Find(Indexed(control.name, i)).SetSelected(false, false);
        const int option = static_cast<int>(choice - choices.begin());
        Find(Indexed(control.name, option)).SetSelected(true, false);
        OnSetting(setting, option);
        return SettingOutcome::Ok();
    }
    const ValueRange range = control.fromValue ? kRepeatRateRange : ValueRange{0, 1};
    if (!range.Holds(value)) return SettingOutcome::Outside(range);
    if (control.fromValue) Find(control.name).SetValue(value, false);
    else Find(control.name).SetSelected(value != 0, false);
    OnSetting(setting, value);
    return SettingOutcome::Ok();
}

void CKeyboardPanel::OnRubberBand() {
    std::vector<size_t> keys;
    for (size_t j = 0; j < picture_.keys.size(); ++j)
        if (picture_.keys[j].Get() != nullptr && picture_.keys[j].Get()->KeySelected()) keys.push_back(j);
    colours_.WriteColourPage(keys);
    ClearKeyMarks();
}

}  // namespace m470
