#include "ctl/CtlSettings.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>

#include "ctl/CtlKeys.h"
#include "devices/SensitivityStages.h"
#include "pages/DevicePage.h"
#include "pages/HeadsetAudioPanel.h"
#include "pages/KeyMacroPanels.h"
#include "pages/KeyboardPanel.h"
#include "pages/LightingPanel.h"
#include "pages/MouseSettingsPanel.h"

namespace m470::ctl {
namespace {

constexpr uint8_t kMouseOnly = kMouseBit, kKeyboardOnly = kKeyboardBit, kKeyed = kMouseBit | kKeyboardBit;
constexpr auto kStages = static_cast<int>(SensitivityStages::kMaxStages);

// ---- the panels' typed getters and setters, as rows take them ----

template <class Panel>
Panel* PanelOn(CDevicePage& page) {
    return page.PanelOf<Panel>();
}
template <>
CLightingPanel* PanelOn<CLightingPanel>(CDevicePage& page) {
    return page.Lighting();
}

template <class Panel, class Get>
std::optional<int> Read(CDevicePage& page, Get get) {
    Panel* panel = PanelOn<Panel>(page);
    return panel != nullptr ? std::optional<int>(get(*panel)) : std::nullopt;
}
template <class Panel, class Set>
SettingOutcome Write(CDevicePage& page, Set set) {
    Panel* panel = PanelOn<Panel>(page);
    return panel != nullptr ? set(*panel) : SettingOutcome::Refused(SettingStatus::NoSuchIndex);
}

std::optional<int> GetDpi(CDevicePage& p, size_t i) { return Read<CMouseSettingsPanel>(p, [i](auto& m) { return m.StageDpi(i); }); }
SettingOutcome SetDpi(CDevicePage& p, size_t i, int v) {
    return Write<CMouseSettingsPanel>(p, [i, v](auto& m) { return m.SetStageDpi(i, v); });
}
std::optional<int> GetStageOn(CDevicePage& p, size_t i) {
    return Read<CMouseSettingsPanel>(p, [i](auto& m) { return m.StageEnabled(i) ? 1 : 0; });
}
SettingOutcome SetStageOn(CDevicePage& p, size_t i, int v) {
    return Write<CMouseSettingsPanel>(p, [i, v](auto& m) { return m.SetStageEnabled(i, v != 0); });
}
std::optional<int> GetActiveStage(CDevicePage& p, size_t) {
    CMouseSettingsPanel* mouse = PanelOn<CMouseSettingsPanel>(p);
    const std::optional<size_t> stage = mouse != nullptr ? mouse->ActiveStage() : std::nullopt;
    return stage ? std::optional<int>(static_cast<int>(*stage)) : std::nullopt;
}
SettingOutcome SetActiveStage(CDevicePage& p, size_t, int v) {
    return Write<CMouseSettingsPanel>(p, [v](auto& m) { return m.SetActiveStage(static_cast<size_t>(v)); });
}

// The report rate is the mouse's or the keyboard's, whichever panel the page has.
std::optional<int> GetReportRate(CDevicePage& p, size_t) {
    if (auto rate = Read<CMouseSettingsPanel>(p, [](auto& m) { return m.ReportRate(); })) return rate;
    return Read<CKeyboardPanel>(p, [](auto& k) { return k.Setting(KeyboardSetting::PollingRate); });
}
SettingOutcome SetReportRate(CDevicePage& p, size_t, int v) {
    if (CMouseSettingsPanel* mouse = PanelOn<CMouseSettingsPanel>(p)) return mouse->SetReportRate(v);
    return Write<CKeyboardPanel>(p, [v](auto& k) { return k.SetSetting(KeyboardSetting::PollingRate, v); });
}

template <PointerSetting S>
std::optional<int> GetPointer(CDevicePage& p, size_t) {
    return Read<CMouseSettingsPanel>(p, [](auto& m) { return m.Pointer(S); });
}
template <PointerSetting S>
SettingOutcome SetPointer(CDevicePage& p, size_t, int v) {
    return Write<CMouseSettingsPanel>(p, [v](auto& m) { return m.SetPointer(S, v); });
}
template <PointerSetting S>
ValueRange PointerRange() {
    return CMouseSettingsPanel::PointerRange(S);
}

template <KeyboardSetting S>
std::optional<int> GetKeyboard(CDevicePage& p, size_t) {
    return Read<CKeyboardPanel>(p, [](auto& k) { return k.Setting(S); });
}
template <KeyboardSetting S>
SettingOutcome SetKeyboard(CDevicePage& p, size_t, int v) {
    return Write<CKeyboardPanel>(p, [v](auto& k) { return k.SetSetting(S, v); });
}
ValueRange RepeatRateRange() { return CKeyboardPanel::kRepeatRateRange; }

std::optional<int> GetMode(CDevicePage& p, size_t) { return Read<CLightingPanel>(p, [](auto& l) { return l.Mode(); }); }
SettingOutcome SetMode(CDevicePage& p, size_t, int v) { return Write<CLightingPanel>(p, [v](auto& l) { return l.SetMode(v); }); }
template <LightSetting S>
std::optional<int> GetLight(CDevicePage& p, size_t) {
    return Read<CLightingPanel>(p, [](auto& l) { return l.Level(S); });
}
template <LightSetting S>
SettingOutcome SetLight(CDevicePage& p, size_t, int v) {
    return Write<CLightingPanel>(p, [v](auto& l) { return l.SetLevel(S, v); });
}
ValueRange LightLevelRange() { return CLightingPanel::kLevelRange; }
std::optional<int> GetColour(CDevicePage& p, size_t) {
    return Read<CLightingPanel>(p, [](auto& l) { return static_cast<int>(l.Colour()); });
}
SettingOutcome SetColour(CDevicePage& p, size_t, int v) {
    return Write<CLightingPanel>(p, [v](auto& l) { return l.SetColour(static_cast<uint32_t>(v)); });
}

template <MicSetting S>
std::optional<int> GetMic(CDevicePage& p, size_t) {
    return Read<CHeadsetAudioPanel>(p, [](auto& h) { return h.Mic(S); });
}
template <MicSetting S>
SettingOutcome SetMic(CDevicePage& p, size_t, int v) {
    return Write<CHeadsetAudioPanel>(p, [v](auto& h) { return h.SetMic(S, v); });
}
template <MicSetting S>
ValueRange MicRange() {
    return CHeadsetAudioPanel::RangeOf(S);
}

}  // namespace

const std::array<SettingRow, 25> kSettings{{
    // The sensitivity's range is the mouse's own scale.
    {"dpi", kMouseOnly, SettingIndex::Stage, ValueKind::Number, "STAGE(1-6) DPI", "sensitivity of a stage", GetDpi, SetDpi},
    {"stage-enabled", kMouseOnly, SettingIndex::Stage, ValueKind::OnOff, "STAGE(1-6) on|off", "whether the stage is in the cycle",
     GetStageOn, SetStageOn},
    {"stage", kMouseOnly, SettingIndex::None, ValueKind::Stage, "1-6", "the active sensitivity stage", GetActiveStage, SetActiveStage},
    {"report-rate", kKeyed, SettingIndex::None, ValueKind::Number, "HZ", "report rate", GetReportRate, SetReportRate},
    {"pointer-speed", kMouseOnly, SettingIndex::None, ValueKind::Number, nullptr, "pointer speed", GetPointer<PointerSetting::Speed>,
     SetPointer<PointerSetting::Speed>, PointerRange<PointerSetting::Speed>},
    {"pointer-precision", kMouseOnly, SettingIndex::None, ValueKind::OnOff, "on|off", "enhanced pointer precision",
     GetPointer<PointerSetting::Precision>, SetPointer<PointerSetting::Precision>},
    {"scroll-lines", kMouseOnly, SettingIndex::None, ValueKind::Number, nullptr, "lines per wheel notch",
     GetPointer<PointerSetting::ScrollLines>, SetPointer<PointerSetting::ScrollLines>, PointerRange<PointerSetting::ScrollLines>},
    {"scroll-page", kMouseOnly, SettingIndex::None, ValueKind::OnOff, "on|off", "the wheel scrolls a page",
     GetPointer<PointerSetting::ScrollPage>, SetPointer<PointerSetting::ScrollPage>},
    {"double-click", kMouseOnly, SettingIndex::None, ValueKind::Number, nullptr, "double-click speed",
     GetPointer<PointerSetting::DoubleClick>, SetPointer<PointerSetting::DoubleClick>, PointerRange<PointerSetting::DoubleClick>},
    {"repeat-rate", kKeyboardOnly, SettingIndex::None, ValueKind::Number, nullptr, "key repeat rate",
     GetKeyboard<KeyboardSetting::Repeat>, SetKeyboard<KeyboardSetting::Repeat>, RepeatRateRange},
    {"repeat-delay", kKeyboardOnly, SettingIndex::None, ValueKind::Number, "MS", "delay before a key repeats",
     GetKeyboard<KeyboardSetting::RepeatDelay>, SetKeyboard<KeyboardSetting::RepeatDelay>},
    {"six-key", kKeyboardOnly, SettingIndex::None, ValueKind::OnOff, "on|off", "6-key rollover", GetKeyboard<KeyboardSetting::Key6Flag>,
     SetKeyboard<KeyboardSetting::Key6Flag>},
    {"wasd", kKeyboardOnly, SettingIndex::None, ValueKind::OnOff, "on|off", "WASD and arrows swapped", GetKeyboard<KeyboardSetting::WFlag>,
     SetKeyboard<KeyboardSetting::WFlag>},
    {"win-lock", kKeyboardOnly, SettingIndex::None, ValueKind::OnOff, "on|off", "Windows keys locked",
     GetKeyboard<KeyboardSetting::WinFlag>, SetKeyboard<KeyboardSetting::WinFlag>},
    {"mode", kLitProducts, SettingIndex::None, ValueKind::Mode, "NAME|NUMBER", "lighting mode", GetMode, SetMode},
    {"brightness", kLitProducts, SettingIndex::None, ValueKind::Number, nullptr, "lighting brightness",
     GetLight<LightSetting::Brightness>, SetLight<LightSetting::Brightness>, LightLevelRange},
    {"speed", kLitProducts, SettingIndex::None, ValueKind::Number, nullptr, "lighting speed", GetLight<LightSetting::Speed>,
     SetLight<LightSetting::Speed>, LightLevelRange},
    {"direction", kLitProducts, SettingIndex::None, ValueKind::Direction, "left|right", "lighting direction",
     GetLight<LightSetting::Direction>, SetLight<LightSetting::Direction>},
    {"colour", kLitProducts, SettingIndex::None, ValueKind::Colour, "RRGGBB", "lighting colour", GetColour, SetColour},
    {"key", kKeyed, SettingIndex::Key, ValueKind::Key, "KEY FUNCTION", "a button's or key's function"},
    {"mic-volume", kHeadsetBit, SettingIndex::None, ValueKind::Number, nullptr, "microphone level", GetMic<MicSetting::MicLevel>,
     SetMic<MicSetting::MicLevel>, MicRange<MicSetting::MicLevel>},
    {"monitor-volume", kHeadsetBit, SettingIndex::None, ValueKind::Number, nullptr, "monitor level", GetMic<MicSetting::MonitorLevel>,
     SetMic<MicSetting::MonitorLevel>, MicRange<MicSetting::MonitorLevel>},
    {"mic", kHeadsetBit, SettingIndex::None, ValueKind::OnOff, "on|off", "microphone on", GetMic<MicSetting::Mic>, SetMic<MicSetting::Mic>},
    {"monitor", kHeadsetBit, SettingIndex::None, ValueKind::OnOff, "on|off", "microphone monitor on", GetMic<MicSetting::Monitor>,
     SetMic<MicSetting::Monitor>},
    {"color", kLitProducts, SettingIndex::None, ValueKind::Colour, "RRGGBB", "the same as colour", GetColour, SetColour},
}};

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
    if (row.values != nullptr || row.range == nullptr) return row.values != nullptr ? row.values : "";
    const ValueRange range = row.range();
    return std::to_string(range.low) + "-" + std::to_string(range.high);
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

std::optional<bool> OnOff(const std::string& text) {
    for (const char* on : {"on", "1", "true", "yes"})
        if (text == on) return true;
    for (const char* off : {"off", "0", "false", "no"})
        if (text == off) return false;
    return std::nullopt;
}

// The stage as typed, 1 to 6, as the page numbers it, 0 to 5.
std::optional<int> StageOf(const std::string& typed) {
    const auto stage = WholeNumber(typed);
    if (!stage || *stage < 1 || *stage > kStages) return std::nullopt;
    return *stage - 1;
}

std::string ColourText(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", rgb & 0xFFFFFFu);
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

// The English name of a row of the product's mode list.
std::string ModeName(CDevicePage& page, int mode, const LanguageTable& english) {
    const CLightingPanel* lighting = page.Lighting();
    return lighting != nullptr ? english.Text(lighting->Controls().ModeKey(mode)) : std::string();
}

// ---- keys ----

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
    CKeyMacroPanels* panels = nullptr;
    std::vector<KeyAssignmentPair> keys;
    size_t slot = 0;
};

std::optional<KeyTarget> FindKeyTarget(CDevicePage& page, const std::string& typed, const LanguageTable& english,
                                       std::string& error) {
    KeyTarget target{page.PanelOf<CKeyMacroPanels>()};
    if (target.panels == nullptr) {
        error = "this product has no programmable keys";
        return std::nullopt;
    }
    target.keys = target.panels->KeyAssignments();
    const auto slot = FindKeySlot(typed, target.keys, SlotNames(page), TargetOf(page), english);
    if (!slot) {
        error = "no key \"" + typed + "\" (a number from 1 to " + std::to_string(target.keys.size()) + ", or the key's name)";
        return std::nullopt;
    }
    target.slot = *slot;
    return target;
}

SettingResult ReadKey(CDevicePage& page, const std::string& index, const LanguageTable& english) {
    std::string error;
    const auto target = FindKeyTarget(page, index, english, error);
    if (!target) return Fail(error);
    const KeyAssignment current = target->keys[target->slot].current;
    return Value(EnglishCaption(current, TargetOf(page), page.Device().MacroNames(), english));
}

SettingResult PutKey(CDevicePage& page, const std::string& index, const std::string& value, const LanguageTable& english) {
    std::string error;
    const auto target = FindKeyTarget(page, index, english, error);
    if (!target) return Fail(error);
    const auto function = FindFunction(value, TargetOf(page), page.Device().MacroNames(), english);
    if (!function) return Fail("no function \"" + value + "\" (see m470ctl help keys)");
    const SettingOutcome outcome = target->panels->SetKey(target->slot, *function);
    switch (outcome.status) {
        case SettingStatus::Done: return Value({});
        case SettingStatus::ProfileUnreadable: return Refusal("the profile file cannot be read; the key is left as it is");
        case SettingStatus::LastLeftButton: return Refusal(english.Text("message_text_6"));
        default: return Fail("the key cannot be chosen");
    }
}

// ---- values as typed and shown ----

// The index as the page numbers it: a stage 0-5, or 0 where the row has none.
std::optional<size_t> IndexOf(const SettingRow& row, const std::string& index) {
    if (row.index != SettingIndex::Stage) return 0;
    const auto stage = StageOf(index);
    return stage ? std::optional<size_t>(static_cast<size_t>(*stage)) : std::nullopt;
}

std::string Shown(const SettingRow& row, CDevicePage& page, std::optional<int> value, const LanguageTable& english) {
    if (!value) return "none";
    switch (row.kind) {
        case ValueKind::OnOff: return *value != 0 ? "on" : "off";
        case ValueKind::Stage: return std::to_string(*value + 1);
        case ValueKind::Mode: {
            const CLightingPanel* lighting = page.Lighting();
            if (lighting == nullptr || *value < 0 || *value >= lighting->Controls().ModeCount()) return "none";
            return ModeName(page, *value, english);
        }
        case ValueKind::Colour: return ColourText(static_cast<uint32_t>(*value));
        case ValueKind::Direction: return *value != 0 ? "left" : "right";
        default: return std::to_string(*value);
    }
}

// A value that is no number is asked as one no setting takes, so that the
// panel names what it takes (its range or choices).
constexpr int kNoNumber = INT_MIN;

// The value as the panel takes it, or why it is no value of this kind.
std::optional<int> Typed(const SettingRow& row, CDevicePage& page, const std::string& value, const LanguageTable& english,
                         std::string& error) {
    switch (row.kind) {
        case ValueKind::Number: return WholeNumber(value).value_or(kNoNumber);
        case ValueKind::OnOff:
            if (const auto on = OnOff(value)) return *on ? 1 : 0;
            error = std::string(row.name) + " is on or off";
            return std::nullopt;
        case ValueKind::Stage:
            if (const auto stage = StageOf(value)) return *stage;
            error = "the stage is a number from 1 to 6";
            return std::nullopt;
        case ValueKind::Mode: {
            const CLightingPanel* lighting = page.Lighting();
            for (int i = 0; lighting != nullptr && i < lighting->Controls().ModeCount(); ++i) {
                const bool named = SameName(value, ModeName(page, i, english)) || WholeNumber(value) == i;
                if (named && lighting->Controls().ModeOffered(i)) return i;
            }
            return kNoNumber;
        }
        case ValueKind::Colour:
            if (const auto rgb = ParseColour(value)) return static_cast<int>(*rgb);
            error = "the colour is six hex digits, RRGGBB";
            return std::nullopt;
        case ValueKind::Direction:
            if (value == "left" || value == "right") return value == "left" ? 1 : 0;
            error = "direction is left or right";
            return std::nullopt;
        case ValueKind::Key: break;
    }
    error = "unknown setting";
    return std::nullopt;
}

std::string ChoicesText(const SettingRow& row, CDevicePage& page, const std::vector<int>& choices, const LanguageTable& english) {
    std::string text;
    for (const int choice : choices) {
        text += text.empty() ? "" : ", ";
        text += std::to_string(choice) + (row.kind == ValueKind::Mode ? " " + ModeName(page, choice, english) : "");
    }
    return row.kind == ValueKind::Mode ? std::string(row.name) + " is one of: " + text : std::string(row.name) + " is one of " + text;
}

// A refusal of the panel in m470ctl's words: bad usage (exit 2) or the page's rule (exit 1).
SettingResult Worded(const SettingRow& row, CDevicePage& page, const SettingOutcome& outcome, const std::string& typed,
                     const LanguageTable& english) {
    const std::string name = row.name;
    switch (outcome.status) {
        case SettingStatus::Done: return Value({});
        case SettingStatus::OutOfRange:
            return Fail(name + " is a number from " + std::to_string(outcome.range.low) + " to " + std::to_string(outcome.range.high));
        case SettingStatus::NoChoice: return Fail(ChoicesText(row, page, outcome.choices, english));
        case SettingStatus::NotNow:
            if (outcome.mode.empty()) return Fail(name + " does not apply now (see the lighting mode)");
            return Fail(name + " does not apply to the lighting mode " + english.Text(outcome.mode));
        case SettingStatus::ActiveStageStays: return Fail("the active stage cannot be switched off");
        case SettingStatus::StageOff:
            return Refusal("stage " + typed + " is switched off; switch it on first (stage-enabled " + typed + " on)");
        case SettingStatus::NoSuchIndex: return Fail("the stage is a number from 1 to 6");
        case SettingStatus::ProfileUnreadable:
        case SettingStatus::LastLeftButton: break;
    }
    return Fail("unknown setting");
}

}  // namespace

SettingResult ReadSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const LanguageTable& english) {
    if (row.kind == ValueKind::Key) return ReadKey(page, index, english);
    const auto at = IndexOf(row, index);
    if (!at) return Fail("the stage is a number from 1 to 6");
    return Value(Shown(row, page, row.get(page, *at), english));
}

SettingResult WriteSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const std::string& value,
                           const LanguageTable& english) {
    if (row.kind == ValueKind::Key) {
        const SettingResult put = PutKey(page, index, value, english);
        return put.ok ? ReadKey(page, index, english) : put;
    }
    const auto at = IndexOf(row, index);
    if (!at) return Fail("the stage is a number from 1 to 6");
    std::string error;
    const auto typed = Typed(row, page, value, english, error);
    if (!typed) return Fail(error);
    const SettingResult put = Worded(row, page, row.set(page, *at, *typed), value, english);
    return put.ok ? ReadSetting(row, page, index, english) : put;
}

}  // namespace m470::ctl
