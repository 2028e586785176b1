#include "ctl/CtlSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "ctl/CtlKeys.h"
#include "devices/KeyAssignmentModel.h"
#include "devices/MouseDevice.h"
#include "devices/SensitivityStages.h"
#include "pages/DevicePage.h"
#include "pages/KeyMacroPanels.h"
#include "pages/LightingPanel.h"
#include "panels/KeySetControlUI.h"

namespace m470::ctl {
namespace {

constexpr uint8_t kMouseOnly = kMouseBit, kKeyboardOnly = kKeyboardBit, kKeyed = kMouseBit | kKeyboardBit;
constexpr int kStages = 6;
constexpr const char* kKeyWriteButton = "key_butt_prosave";
constexpr const char* kStageSwitchPrefix = "DPI_enable_check_";

}  // namespace

const std::array<SettingRow, 25> kSettings{{
    // The sensitivity's range is the mouse's own scale (StageRange).
    {"dpi", kMouseOnly, SettingIndex::Stage, SettingControl::StageEdit, "DPI_edit_", "STAGE(1-6) DPI", "sensitivity of a stage"},
    {"stage-enabled", kMouseOnly, SettingIndex::Stage, SettingControl::StageCheck, kStageSwitchPrefix, "STAGE(1-6) on|off", "whether the stage is in the cycle"},
    {"stage", kMouseOnly, SettingIndex::None, SettingControl::ActiveStage, "DPI_select_check_", "1-6", "the active sensitivity stage"},
    {"report-rate", kKeyed, SettingIndex::None, SettingControl::Options, "polling_rate_option_", "HZ", "report rate"},
    {"pointer-speed", kMouseOnly, SettingIndex::None, SettingControl::Slider, "pointer_speed_slider", nullptr, "pointer speed", {1, 20}},
    {"pointer-precision", kMouseOnly, SettingIndex::None, SettingControl::Check, "pointer_precision_check", "on|off", "enhanced pointer precision"},
    {"scroll-lines", kMouseOnly, SettingIndex::None, SettingControl::Slider, "scroll_speed_slider", nullptr, "lines per wheel notch", {1, 20}},
    {"scroll-page", kMouseOnly, SettingIndex::None, SettingControl::Check, "scrolls_page_check", "on|off", "the wheel scrolls a page"},
    {"double-click", kMouseOnly, SettingIndex::None, SettingControl::Slider, "double_click_slider", nullptr, "double-click speed", {1, 20}},
    {"repeat-rate", kKeyboardOnly, SettingIndex::None, SettingControl::Slider, "repeat_rate_slider", nullptr, "key repeat rate", {0, 40}},
    {"repeat-delay", kKeyboardOnly, SettingIndex::None, SettingControl::Options, "repeat_delay_check_", "MS", "delay before a key repeats"},
    {"six-key", kKeyboardOnly, SettingIndex::None, SettingControl::Check, "6flag_option", "on|off", "6-key rollover"},
    {"wasd", kKeyboardOnly, SettingIndex::None, SettingControl::Check, "wflag_option", "on|off", "WASD and arrows swapped"},
    {"win-lock", kKeyboardOnly, SettingIndex::None, SettingControl::Check, "winlockflag_option", "on|off", "Windows keys locked"},
    {"mode", kLitProducts, SettingIndex::None, SettingControl::Mode, "light_combo_modeSelect", "NAME|NUMBER", "lighting mode"},
    {"brightness", kLitProducts, SettingIndex::None, SettingControl::Slider, "deng_light_slider", nullptr, "lighting brightness", {0, 4}},
    {"speed", kLitProducts, SettingIndex::None, SettingControl::Slider, "deng_speed_slider", nullptr, "lighting speed", {0, 4}},
    {"direction", kLitProducts, SettingIndex::None, SettingControl::Direction, "deng_FX", "left|right", "lighting direction"},
    {"colour", kLitProducts, SettingIndex::None, SettingControl::Colour, "deng_Color_Pallet", "RRGGBB", "lighting colour"},
    {"key", kKeyed, SettingIndex::Key, SettingControl::Key, kKeyWriteButton, "KEY FUNCTION", "a button's or key's function"},
    {"mic-volume", kHeadsetBit, SettingIndex::None, SettingControl::Slider, "6533_MicIn_slider", nullptr, "microphone level", {0, 100}},
    {"monitor-volume", kHeadsetBit, SettingIndex::None, SettingControl::Slider, "6533_MicMoniter_slider", nullptr, "monitor level", {0, 100}},
    {"mic", kHeadsetBit, SettingIndex::None, SettingControl::Switch, "6533_MicIn_option", "on|off", "microphone on"},
    {"monitor", kHeadsetBit, SettingIndex::None, SettingControl::Switch, "6533_MicMoniter_option", "on|off", "microphone monitor on"},
    {"color", kLitProducts, SettingIndex::None, SettingControl::Colour, "deng_Color_Pallet", "RRGGBB", "the same as colour"},
}};

namespace {

// The settings a lighting mode may not take, and what its rules call them.
// (The colour is kept in the record in every mode: it is taken in any.)
struct ModeBoundRow {
    const char* name;
    LightSetting setting;
};
constexpr std::array<ModeBoundRow, 3> kModeBound{{
    {"brightness", LightSetting::Brightness},
    {"speed", LightSetting::Speed},
    {"direction", LightSetting::Direction},
}};

}  // namespace

uint8_t ProductBit(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::Mouse:
        case DeviceKind::MouseReceiver: return kMouseBit;
        case DeviceKind::Keyboard:
        case DeviceKind::KeyboardReceiver: return kKeyboardBit;
        case DeviceKind::MousePad: return kPadBit;
        case DeviceKind::Headset: return kHeadsetBit;
    }
    return 0;
}

const SettingRow* FindSetting(const std::string& name, DeviceKind kind) {
    for (const SettingRow& row : kSettings)
        if (name == row.name && (row.products & ProductBit(kind)) != 0) return &row;
    return nullptr;
}

std::string ValuesText(const SettingRow& row) {
    if (row.values != nullptr) return row.values;
    return std::to_string(row.range.low) + "-" + std::to_string(row.range.high);
}

std::vector<const SettingRow*> SettingsOf(DeviceKind kind) {
    std::vector<const SettingRow*> rows;
    for (const SettingRow& row : kSettings)
        if ((row.products & ProductBit(kind)) != 0 && std::string(row.name) != "color") rows.push_back(&row);
    return rows;
}

namespace {

SettingResult Fail(std::string why) { return {false, {}, std::move(why)}; }
SettingResult Refusal(std::string why) { return {false, {}, std::move(why), true}; }
SettingResult Value(std::string value) { return {true, std::move(value), {}}; }

std::optional<int> WholeNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// The leading number of an option's text ("125 Hz" → 125).
std::optional<int> LeadingNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    return value;
}

std::optional<bool> OnOff(const std::string& text) {
    for (const char* on : {"on", "1", "true", "yes"})
        if (text == on) return true;
    for (const char* off : {"off", "0", "false", "no"})
        if (text == off) return false;
    return std::nullopt;
}

std::string Indexed(const char* prefix, int index) { return prefix + std::to_string(index); }

// The notification a user's edit of the control raises, to the page.
void Raise(CDevicePage& page, const std::string& event, const std::string& name) {
    page.Route({event, page.Find(name).Get(), name, 0, 0});
}

// The stage as typed, 1 to 6, as the controls' number 0 to 5.
std::optional<int> StageOf(const std::string& typed) {
    const auto stage = WholeNumber(typed);
    if (!stage || *stage < 1 || *stage > kStages) return std::nullopt;
    return *stage - 1;
}

// The numbered options "prefix_N" that exist under the page.
std::vector<ui::Ctl> OptionsOf(CDevicePage& page, const char* prefix) {
    std::vector<ui::Ctl> options;
    for (int i = 0;; ++i) {
        ui::Ctl option = page.Find(Indexed(prefix, i));
        if (!option) return options;
        options.push_back(option);
    }
}

std::string OptionChoices(const std::vector<ui::Ctl>& options) {
    std::string choices;
    for (const ui::Ctl& option : options)
        if (const auto number = LeadingNumber(option.Text())) choices += (choices.empty() ? "" : ", ") + std::to_string(*number);
    return choices;
}

std::string ColourText(uint32_t argb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", argb & 0xFFFFFFu);
    return text;
}

std::optional<uint32_t> ParseColour(std::string text) {
    if (!text.empty() && text.front() == '#') text.erase(0, 1);
    if (text.size() != 6) return std::nullopt;
    uint32_t rgb = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rgb, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return rgb;
}

// The mode combo's rows are language keys; a row the product hides is no choice.
std::string ModeName(const ui::Ctl& combo, int row, const LanguageTable& english) {
    const std::string key = combo.Get() != nullptr ? combo.Get()->ItemData(row) : std::string();
    return english.Text(key.empty() ? combo.ItemText(row) : key);
}

bool ModeRowUsable(const ui::Ctl& combo, int row) { return combo.Get() != nullptr && combo.Get()->ItemVisible(row); }

CaptionTarget TargetOf(const CDevicePage& page) {
    return ProductBit(page.Device().Kind()) == kMouseBit ? CaptionTarget::Mouse : CaptionTarget::Keyboard;
}

// The mouse names its twelve buttons; keyboard keys go by their legends.
std::vector<std::string> SlotNames(const CDevicePage& page) {
    std::vector<std::string> names;
    if (TargetOf(page) == CaptionTarget::Mouse)
        for (const MouseButtonRow& row : kMouseLogicalButtons) names.push_back(row.nameKey);
    return names;
}

struct KeyTarget {
    KeyAssignmentModel* model = nullptr;
    CKeyMacroPanels* panels = nullptr;
    size_t slot = 0;
};

std::optional<KeyTarget> FindKeyTarget(CDevicePage& page, const std::string& typed, const LanguageTable& english,
                                       std::string& error) {
    KeyTarget target{dynamic_cast<KeyAssignmentModel*>(&page.Device()), page.PanelOf<CKeyMacroPanels>()};
    if (target.model == nullptr || target.panels == nullptr) {
        error = "this product has no programmable keys";
        return std::nullopt;
    }
    const auto slot = FindKeySlot(typed, target.model->Assignments(), SlotNames(page), TargetOf(page), english);
    if (!slot) {
        error = "no key \"" + typed + "\" (a number from 1 to " + std::to_string(target.model->Assignments().size()) +
                ", or the key's name)";
        return std::nullopt;
    }
    target.slot = *slot;
    return target;
}

// ---- reading ----

SettingResult ReadControl(const SettingRow& row, CDevicePage& page, const std::string& index, const LanguageTable& english) {
    switch (row.control) {
        case SettingControl::StageEdit:
        case SettingControl::StageCheck: {
            const auto stage = StageOf(index);
            if (!stage) return Fail("the stage is a number from 1 to 6");
            const ui::Ctl control = page.Find(Indexed(row.controlName, *stage));
            return Value(row.control == SettingControl::StageEdit ? control.Text() : control.Selected() ? "on" : "off");
        }
        case SettingControl::ActiveStage:
            for (int i = 0; i < kStages; ++i)
                if (page.Find(Indexed(row.controlName, i)).Selected()) return Value(std::to_string(i + 1));
            return Value("none");
        case SettingControl::Slider: return Value(std::to_string(page.Find(row.controlName).Value()));
        case SettingControl::Check:
        case SettingControl::Switch: return Value(page.Find(row.controlName).Selected() ? "on" : "off");
        case SettingControl::Options:
            for (const ui::Ctl& option : OptionsOf(page, row.controlName))
                if (option.Selected()) return Value(std::to_string(LeadingNumber(option.Text()).value_or(0)));
            return Value("none");
        case SettingControl::Mode: {
            const ui::Ctl combo = page.Find(row.controlName);
            const int selected = combo.SelectedItem();
            return Value(selected < 0 ? "none" : ModeName(combo, selected, english));
        }
        case SettingControl::Colour: return Value(ColourText(page.Find(row.controlName).BkColour()));
        case SettingControl::Direction:
            return Value(page.Find(std::string(row.controlName) + "L_check").Selected() ? "left" : "right");
        case SettingControl::Key: {
            std::string error;
            const auto target = FindKeyTarget(page, index, english, error);
            if (!target) return Fail(error);
            const KeyAssignment current = target->model->Assignments()[target->slot].current;
            return Value(EnglishCaption(current, TargetOf(page), page.Device().MacroNames(), english));
        }
    }
    return Fail("unknown setting");
}

// ---- writing ----

// A number within range, or why not.
std::optional<int> InRange(const std::string& name, const std::string& value, ValueRange range, std::string& error) {
    const auto number = WholeNumber(value);
    if (number && *number >= range.low && *number <= range.high) return number;
    error = name + " is a number from " + std::to_string(range.low) + " to " + std::to_string(range.high);
    return std::nullopt;
}

// The sensitivities the mouse's scale has, from its lowest step to its highest.
ValueRange StageRange(const CDevicePage& page) {
    const SensitivityStages* stages = page.Device().Capabilities().stages;
    if (stages == nullptr) return {};
    const SensitivityScale scale = stages->Scale();
    const int low = scale.ValueOf(0), high = scale.ValueOf(SensitivityScale::kMaxPosition);
    return {std::min(low, high), std::max(low, high)};
}

SettingResult PutSlider(const SettingRow& row, CDevicePage& page, const std::string& value) {
    const ui::Ctl slider = page.Find(row.controlName);
    std::string error;
    const auto number = InRange(row.name, value, row.range, error);
    if (!number) return Fail(error);
    if (!slider.Enabled()) return Fail(std::string(row.name) + " does not apply now (see the lighting mode)");
    slider.SetValue(*number, false);
    Raise(page, "valuechanged", row.controlName);
    return Value({});
}

SettingResult PutOption(const SettingRow& row, CDevicePage& page, const std::string& value) {
    const std::vector<ui::Ctl> options = OptionsOf(page, row.controlName);
    const auto number = WholeNumber(value);
    for (size_t i = 0; number && i < options.size(); ++i) {
        if (LeadingNumber(options[i].Text()) != number) continue;
        // One of them is chosen, as the toolkit's exclusive options keep it.
        for (const ui::Ctl& other : options) other.SetSelected(false, false);
        options[i].SetSelected(true, false);
        Raise(page, "selectchanged", Indexed(row.controlName, static_cast<int>(i)));
        return Value({});
    }
    return Fail(std::string(row.name) + " is one of " + OptionChoices(options));
}

SettingResult PutMode(const SettingRow& row, CDevicePage& page, const std::string& value, const LanguageTable& english) {
    const ui::Ctl combo = page.Find(row.controlName);
    std::string choices;
    for (int i = 0; i < combo.ItemCount(); ++i) {
        if (!ModeRowUsable(combo, i)) continue;
        const std::string name = ModeName(combo, i, english);
        if (SameName(value, name) || WholeNumber(value) == i) {
            combo.SelectItem(i, false);
            Raise(page, "itemselect", row.controlName);
            return Value({});
        }
        choices += (choices.empty() ? "" : ", ") + std::to_string(i) + " " + name;
    }
    return Fail("mode is one of: " + choices);
}

SettingResult PutKey(CDevicePage& page, const std::string& index, const std::string& value, const LanguageTable& english) {
    std::string error;
    const auto target = FindKeyTarget(page, index, english, error);
    if (!target) return Fail(error);
    auto function = FindFunction(value, TargetOf(page), page.Device().MacroNames(), english);
    if (!function) return Fail("no function \"" + value + "\" (see m470ctl help keys)");
    function->code = static_cast<uint16_t>(target->slot);
    // The window's own rules for choosing a key: its profile can be read, and
    // the mouse keeps a left button.
    if (!target->panels->ProfileReadable()) return Refusal("the profile file cannot be read; the key is left as it is");
    const KeyAssignment left{0, 0x10, 0x01, 0x00, 0};
    const bool staysLeft = function->type == left.type && function->param1 == left.param1 && function->param2 == left.param2;
    if (TargetOf(page) == CaptionTarget::Mouse && !staysLeft && IsLastLeftButton(target->model->Assignments(), static_cast<int>(target->slot)))
        return Refusal(english.Text("message_text_6"));
    const KeyAssignment defaults = target->model->Assignments()[target->slot].defaults;
    if (!target->panels->SelectKey(static_cast<int>(target->slot))) return Fail("the key cannot be chosen");
    target->panels->StoreSelectedAssignment(*function, defaults);
    Raise(page, "click", kKeyWriteButton);
    return Value({});
}

// A lighting setting the current mode does not take is bad usage, as the
// panel does not let a user change it either.
std::optional<SettingResult> ModeRefusal(const SettingRow& row, CDevicePage& page, const LanguageTable& english) {
    const auto bound = std::find_if(kModeBound.begin(), kModeBound.end(),
                                    [&row](const ModeBoundRow& b) { return std::string(b.name) == row.name; });
    CLightingPanel* lighting = page.PanelOf<CLightingPanel>();
    if (bound == kModeBound.end() || lighting == nullptr) return std::nullopt;
    const int mode = lighting->Controls().GetMode();
    if (lighting->Controls().ModeTakes(mode, bound->setting)) return std::nullopt;
    const std::string modeName = ModeName(page.Find("light_combo_modeSelect"), mode, english);
    return Fail(std::string(row.name) + " does not apply to the lighting mode " + modeName);
}

SettingResult PutControl(const SettingRow& row, CDevicePage& page, const std::string& index, const std::string& value,
                         const LanguageTable& english) {
    if (auto refusal = ModeRefusal(row, page, english)) return *refusal;
    const std::optional<bool> on = OnOff(value);
    switch (row.control) {
        case SettingControl::StageEdit: {
            const auto stage = StageOf(index);
            if (!stage) return Fail("the stage is a number from 1 to 6");
            std::string error;
            if (!InRange(row.name, value, StageRange(page), error)) return Fail(error);
            page.Find(Indexed(row.controlName, *stage)).SetText(value);
            Raise(page, "killfocus", Indexed(row.controlName, *stage));
            return Value({});
        }
        case SettingControl::StageCheck: {
            const auto stage = StageOf(index);
            if (!stage) return Fail("the stage is a number from 1 to 6");
            if (!on) return Fail("stage-enabled is on or off");
            const ui::Ctl check = page.Find(Indexed(row.controlName, *stage));
            if (!check.Enabled()) return Fail("the active stage cannot be switched off");
            check.SetSelected(*on, false);
            Raise(page, "selectchanged", Indexed(row.controlName, *stage));
            return Value({});
        }
        case SettingControl::ActiveStage: {
            const auto stage = StageOf(value);
            if (!stage) return Fail("the stage is a number from 1 to 6");
            // The page keeps the active stage in the cycle.
            if (!page.Find(Indexed(kStageSwitchPrefix, *stage)).Selected())
                return Refusal("stage " + value + " is switched off; switch it on first (stage-enabled " + value + " on)");
            page.Find(Indexed(row.controlName, *stage)).SetSelected(true, false);
            Raise(page, "selectchanged", Indexed(row.controlName, *stage));
            return Value({});
        }
        case SettingControl::Slider: return PutSlider(row, page, value);
        case SettingControl::Check:
        case SettingControl::Switch: {
            if (!on) return Fail(std::string(row.name) + " is on or off");
            const ui::Ctl check = page.Find(row.controlName);
            if (row.control == SettingControl::Switch && check.Selected() == *on) return Value({});
            check.SetSelected(*on, false);
            Raise(page, "selectchanged", row.controlName);
            return Value({});
        }
        case SettingControl::Options: return PutOption(row, page, value);
        case SettingControl::Mode: return PutMode(row, page, value, english);
        case SettingControl::Colour: {
            const auto rgb = ParseColour(value);
            if (!rgb) return Fail("the colour is six hex digits, RRGGBB");
            if (!page.Find(row.controlName).Enabled()) return Fail("colour does not apply now (see the lighting mode)");
            page.Find(row.controlName).SetBkColour(0xFF000000u | *rgb);
            Raise(page, "colorchanged", row.controlName);
            return Value({});
        }
        case SettingControl::Direction: {
            if (value != "left" && value != "right") return Fail("direction is left or right");
            const std::string name = std::string(row.controlName) + (value == "left" ? "L_check" : "R_check");
            if (!page.Find(name).Enabled()) return Fail("direction does not apply now (see the lighting mode)");
            page.Find(name).SetSelected(true, false);
            Raise(page, "selectchanged", name);
            return Value({});
        }
        case SettingControl::Key: return PutKey(page, index, value, english);
    }
    return Fail("unknown setting");
}

}  // namespace

SettingResult ReadSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const LanguageTable& english) {
    return ReadControl(row, page, index, english);
}

SettingResult WriteSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const std::string& value,
                           const LanguageTable& english) {
    const SettingResult put = PutControl(row, page, index, value, english);
    if (!put.ok) return put;
    return ReadControl(row, page, index, english);
}

}  // namespace m470::ctl
