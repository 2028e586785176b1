#include "panels/KeySetControlUI.h"

#include <array>
#include <charconv>

#include "keys/KeyCaption.h"
#include "keys/KeyTables.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

constexpr int kMouseKind = 2;
constexpr int kKeyboardKind = 1;
constexpr int kModifierOptions = 5;
constexpr int kRepeatItem = 4;  // the end-mode item that repeats a count of times
constexpr int kRecoilPatterns = 4;
constexpr uint8_t kRightCtrl = 0x10;

// Controls of the panel, written once here.
constexpr const char* kLayout = "keyset_layout";
constexpr const char* kPickHint = "keyset_hint";
constexpr const char* kTitle = "keyset_title";
constexpr const char* kFunctionCombo = "keyset_function_combo";
constexpr const char* kFunctionPages = "function_switch_tablayout";
constexpr const char* kSaveButton = "key_butt_keysave";
constexpr const char* kCancelButton = "key_butt_keycancel";
constexpr const char* kWriteButton = "key_butt_prosave";
constexpr const char* kDefaultButton = "key_butt_keydefalut";
constexpr const char* kFireInterval = "keyset_mousefire_interval_edit";
constexpr const char* kFireCount = "keyset_mousefire_num_edit";
constexpr const char* kKeyField = "keyset_keyboard_text_edit";
constexpr const char* kMacroCombo = "keyset_macro_combo";
constexpr const char* kEndModeCombo = "keyset_macro_over_combo";
constexpr const char* kRepeatLayout = "keyset_macro_cycle_layout";
constexpr const char* kRepeatEdit = "keyset_macro_cycle_edit";
constexpr const char* kRecoilCombo = "keyset_gunkey_combo";
constexpr const char* kOptionPrefix = "key_ComBox_check_";
constexpr const char* kSelectorLayout = "device_select_layout";

// The kinds whose combo picks a row of a function table.
struct TableKind {
    FunctionKind kind;
    const char* combo;
    const FunctionRow* rows;
    size_t count;
};
const std::array<TableKind, 5> kTableKinds{{
    {FunctionKind::MouseButton, "keyset_mousekey_combo", kMouseButtonTable.data(), kMouseButtonTable.size()},
    {FunctionKind::Dpi, "keyset_mousedpi_combo", kDpiKeyTable.data(), kDpiKeyTable.size()},
    {FunctionKind::Media, "keyset_media_combo", kMediaKeyTable.data(), kMediaKeyTable.size()},
    {FunctionKind::System, "keyset_system_combo", kSystemKeyTable.data(), kSystemKeyTable.size()},
    {FunctionKind::Shortcut, "keyset_combokey_combo", kShortcutTable.data(), kShortcutTable.size()},
}};

// The two scroll kinds: direction combo and three edits each.
struct ScrollKind {
    FunctionKind kind;
    uint8_t type;
    const char *combo, *delay, *speed, *count;
};
constexpr std::array<ScrollKind, 2> kScrollKinds{{
    {FunctionKind::HorizontalScroll, 0x11, "keyset_mouseswing_combo", "keyset_mouseswing_delay_edit",
     "keyset_mouseswing_speed_edit", "keyset_mouseswing_num_edit"},
    {FunctionKind::VerticalScroll, 0x12, "keyset_mousewheel_combo", "keyset_mousewheel_delay_edit",
     "keyset_mousewheel_speed_edit", "keyset_mousewheel_num_edit"},
}};

// The function combo's items: kind as user data, text key.
struct KindItem {
    FunctionKind kind;
    const char* nameKey;
};
constexpr std::array<KindItem, kFunctionKinds> kKindItems{{
    {FunctionKind::Default, "keyset_kind_default"},   {FunctionKind::MouseButton, "keyset_kind_mouse"},
    {FunctionKind::HorizontalScroll, "keyset_kind_swing"}, {FunctionKind::VerticalScroll, "keyset_kind_wheel"},
    {FunctionKind::Dpi, "keyset_kind_dpi"},           {FunctionKind::FireKey, "keyset_kind_fire"},
    {FunctionKind::KeyboardKey, "keyset_kind_keyboard"}, {FunctionKind::Media, "keyset_kind_media"},
    {FunctionKind::System, "keyset_kind_system"},     {FunctionKind::Macro, "keyset_kind_macro"},
    {FunctionKind::Recoil, "keyset_kind_recoil"},     {FunctionKind::Shortcut, "keyset_kind_shortcut"},
}};
constexpr std::array<FunctionKind, 2> kMouseOnlyKinds{FunctionKind::Dpi, FunctionKind::Recoil};

constexpr std::array<const char*, 2> kScrollDirections[2]{{"keyset_swing_left", "keyset_swing_right"},
                                                          {"keyset_wheel_up", "keyset_wheel_down"}};
constexpr std::array<const char*, 5> kEndModes{"keyset_macro_end_0", "keyset_macro_end_1", "keyset_macro_end_2",
                                               "keyset_macro_end_3", "keyset_macro_repeat"};

// Edits hold decimal integers; anything else counts as 0.
long long Number(const std::string& text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

uint8_t Low8(long long value) { return static_cast<uint8_t>(static_cast<unsigned long long>(value) & 0xFF); }
uint8_t Nibble(long long value) { return static_cast<uint8_t>(static_cast<unsigned long long>(value) & 0x0F); }

KeyAssignment Record(const KeyAssignment& base, uint8_t type, uint8_t param1, uint8_t param2) {
    return {base.code, type, param1, param2, 0};
}

}  // namespace

bool IsLastLeftButton(const std::vector<KeyAssignmentPair>& keys, int index) {
    const KeyAssignment left{0, 0x10, 0x01, 0x00, 0};
    int lefts = 0;
    for (const KeyAssignmentPair& pair : keys) lefts += SameFunction(pair.current, left) ? 1 : 0;
    return lefts == 1 && index >= 0 && static_cast<size_t>(index) < keys.size() &&
           SameFunction(keys[static_cast<size_t>(index)].current, left);
}

namespace {

// KeyTable modifier rows 0-7 show as option 1-4 (left and right twins alike).
int OptionOfModifierRow(int row) { return (row + 1) % 5 + (row + 1) / 5; }
uint8_t BitOfOption(int option) { return option >= 1 && option <= 4 ? static_cast<uint8_t>(1u << (option - 1)) : 0; }

std::string Decimal(int value) { return std::to_string(value); }

}  // namespace

CKeySetControlUI::CKeySetControlUI(ui::ControlHost& host, ui::Control* root, Translator translate)
    : host_(host), root_(root), translate_(translate ? std::move(translate) : [](std::string_view key) { return std::string(key); }) {}

ui::Ctl CKeySetControlUI::Find(const std::string& name) const {
    return root_ != nullptr ? host_.FindUnder(root_, name) : host_.Find(name);
}

void CKeySetControlUI::BindControls() { FillTables(); }

void CKeySetControlUI::RefreshTexts() {
    // Items take their text when added: add them again, keeping each choice.
    std::vector<const char*> combos{kFunctionCombo, kEndModeCombo, kRecoilCombo};
    for (const TableKind& table : kTableKinds) combos.push_back(table.combo);
    for (const ScrollKind& scroll : kScrollKinds) combos.push_back(scroll.combo);
    std::vector<int> chosen;
    for (const char* name : combos) {
        chosen.push_back(Find(name).SelectedItem());
        Find(name).ClearItems();
    }
    FillTables();
    for (size_t i = 0; i < combos.size(); ++i) Find(combos[i]).SelectItem(chosen[i], false);
    SetMode(mode_);
}

void CKeySetControlUI::FillTables() {
    ui::Ctl functions = Find(kFunctionCombo);
    if (functions.ItemCount() == 0)
        for (const KindItem& item : kKindItems) functions.AddItem(item.nameKey, Decimal(static_cast<int>(item.kind)));
    for (const TableKind& table : kTableKinds) {
        ui::Ctl combo = Find(table.combo);
        if (combo.ItemCount() != 0) continue;
        for (size_t i = 0; i < table.count; ++i) combo.AddItem(table.rows[i].name);
    }
    for (size_t k = 0; k < kScrollKinds.size(); ++k) {
        ui::Ctl combo = Find(kScrollKinds[k].combo);
        if (combo.ItemCount() == 0)
            for (const char* direction : kScrollDirections[k]) combo.AddItem(direction);
    }
    ui::Ctl endModes = Find(kEndModeCombo);
    if (endModes.ItemCount() == 0)
        for (const char* mode : kEndModes) endModes.AddItem(mode);
    ui::Ctl recoil = Find(kRecoilCombo);
    if (recoil.ItemCount() == 0)
        for (const char* pattern : kRecoilPatternNames) recoil.AddItem(pattern);
}

void CKeySetControlUI::SetMode(int deviceKind) {
    mode_ = deviceKind;
    ui::Ctl functions = Find(kFunctionCombo);
    for (FunctionKind kind : kMouseOnlyKinds) {
        const int item = ItemOfKind(static_cast<int>(kind));
        if (item >= 0) functions.SetItemVisible(item, deviceKind != kKeyboardKind);
    }
}

// ---- macro list ----

void CKeySetControlUI::FillMacroList(const std::vector<std::string>& names) {
    ui::Ctl combo = Find(kMacroCombo);
    combo.ClearItems();
    for (const std::string& name : names) combo.AddItem(name);
    combo.SelectItem(-1, false);
}

void CKeySetControlUI::AddMacroItem(const std::string& name) { Find(kMacroCombo).AddItem(name); }

void CKeySetControlUI::RemoveMacroItem(int index) {
    ui::Ctl combo = Find(kMacroCombo);
    if (index >= 0 && index < combo.ItemCount() && combo.Get() != nullptr) combo.Get()->RemoveItem(index);
}

void CKeySetControlUI::RenameMacroItem(int index, const std::string& name) {
    ui::Ctl combo = Find(kMacroCombo);
    if (index < 0 || index >= combo.ItemCount() || name.empty() || combo.Get() == nullptr) return;
    combo.Get()->SetItemText(index, name);
}

// ---- options and fields ----

void CKeySetControlUI::SetOption(int option) {
    for (int i = 0; i < kModifierOptions; ++i) Find(kOptionPrefix + Decimal(i)).SetSelected(i == option, false);
}

int CKeySetControlUI::GetOption() const {
    for (int i = 0; i < kModifierOptions; ++i)
        if (Find(kOptionPrefix + Decimal(i)).Selected()) return i;
    return -1;
}

void CKeySetControlUI::SetKeyText(const std::string& nameKey) {
    Find(kKeyField).SetText(nameKey.empty() ? std::string() : translate_(nameKey));
}

void CKeySetControlUI::EnableButtons(bool enabled) {
    for (const char* name : {kSaveButton, kCancelButton, kWriteButton}) Find(name).SetEnabled(enabled);
}

int CKeySetControlUI::KindOfItem(int index) const {
    ui::Ctl functions = Find(kFunctionCombo);
    if (index < 0 || index >= functions.ItemCount() || functions.Get() == nullptr) return -1;
    const std::string data = functions.Get()->ItemData(index);
    if (data.empty()) return -1;
    return static_cast<int>(Number(data));
}

int CKeySetControlUI::ItemOfKind(int kind) const {
    const int items = Find(kFunctionCombo).ItemCount();
    for (int i = 0; i < items; ++i)
        if (KindOfItem(i) == kind) return i;
    return -1;
}

// ---- showing a record ----

void CKeySetControlUI::SetAssignment(const KeyAssignment& current, const KeyAssignment& defaults) {
    current_ = current;
    default_ = defaults;
    ShowAssignment(current);
}

void CKeySetControlUI::ShowKind(int kind) {
    const int item = ItemOfKind(kind);
    // The hint to pick a key gives its place to the assignment once one is picked.
    const bool shown = kind >= 0 && item >= 0;
    Find(kLayout).SetVisible(shown);
    Find(kPickHint).SetVisible(!shown);
    if (!shown) return;
    Find(kFunctionCombo).SelectItem(item, false);
    Find(kFunctionPages).SetPage(kind);
}

int CKeySetControlUI::ShowKeyboardKey(const KeyAssignment& record) {
    if (record.param1 == kRightCtrl) {
        const int row = FindByParams(kShortcutTable, record.param1, record.param2);
        if (row >= 0) Find(kTableKinds[4].combo).SelectItem(row, false);
        return static_cast<int>(FunctionKind::Shortcut);
    }
    if (record.param1 == 0) {
        int found = -1;
        for (size_t r = 0; r < kKeyTable.size() && found < 0; ++r)
            if (kKeyTable[r].param1 == 0 && kKeyTable[r].param2 == record.param2) found = static_cast<int>(r);
        if (found >= 0) {
            SetOption(0);
            SetKeyText(kKeyTableNames[static_cast<size_t>(found)]);
        } else {
            SetOption(-1);
            SetKeyText({});
            current_ = Record(current_, 0x20, 0, 0);
        }
    } else if (record.param1 <= 0x80) {
        int modifier = -1;
        for (int r = 0; r < 8 && modifier < 0; ++r) {
            const KeyTableRow& row = kKeyTable[static_cast<size_t>(r)];
            if (row.type == 0x20 && row.param1 == record.param1 && row.param2 == 0) modifier = r;
        }
        SetOption(modifier >= 0 ? OptionOfModifierRow(modifier) : 0);
        int key = -1;
        for (size_t r = 8; r < kKeyTable.size() && key < 0; ++r) {
            const KeyTableRow& row = kKeyTable[r];
            if (row.type == 0x20 && row.param1 == 0 && row.param2 == record.param2) key = static_cast<int>(r);
        }
        SetKeyText(key >= 0 ? kKeyTableNames[static_cast<size_t>(key)] : std::string());
    }
    return static_cast<int>(FunctionKind::KeyboardKey);
}

int CKeySetControlUI::ShowMacro(const KeyAssignment& record) {
    const int items = Find(kMacroCombo).ItemCount();
    const bool repeat = record.type == static_cast<uint8_t>(AssignmentType::MacroRepeat);
    // Only a macro that exists, and an end mode the combo has, is shown.
    const bool known = record.param1 < items && (repeat || record.param2 < kRepeatItem);
    Find(kMacroCombo).SelectItem(known ? record.param1 : -1, false);
    if (repeat) {
        Find(kRepeatLayout).SetVisible(known);
        Find(kRepeatEdit).SetText(Decimal(record.param2));
        Find(kEndModeCombo).SelectItem(kRepeatItem, false);
    } else {
        Find(kEndModeCombo).SelectItem(known ? record.param2 : -1, false);
        Find(kRepeatLayout).SetVisible(false);
    }
    return static_cast<int>(FunctionKind::Macro);
}

int CKeySetControlUI::ShowRecord(const KeyAssignment& record) {
    if (SameFunction(record, default_)) return static_cast<int>(FunctionKind::Default);
    for (const TableKind& table : kTableKinds) {
        if (table.kind == FunctionKind::Shortcut || table.rows[0].type != record.type) continue;
        for (size_t i = 0; i < table.count; ++i) {
            if (table.rows[i].param1 != record.param1 || table.rows[i].param2 != record.param2) continue;
            Find(table.combo).SelectItem(static_cast<int>(i), false);
            break;
        }
        return static_cast<int>(table.kind);
    }
    for (const ScrollKind& scroll : kScrollKinds) {
        if (scroll.type != record.type) continue;
        Find(scroll.delay).SetText(Decimal(record.param1 / 16));
        Find(scroll.speed).SetText(Decimal(record.param1 % 16));
        const bool second = record.param2 >= 0x80;
        const bool vertical = scroll.kind == FunctionKind::VerticalScroll;
        const int count = vertical ? (second ? 128 - record.param2 % 128 : record.param2) : record.param2 % 128;
        Find(scroll.count).SetText(Decimal(count));
        Find(scroll.combo).SelectItem(second ? 1 : 0, false);
        return static_cast<int>(scroll.kind);
    }
    switch (record.type) {
        case 0x00: return static_cast<int>(FunctionKind::Default);
        case 0x14:
            Find(kFireInterval).SetText(Decimal(record.param1));
            Find(kFireCount).SetText(Decimal(record.param2));
            return static_cast<int>(FunctionKind::FireKey);
        case 0x20: return ShowKeyboardKey(record);
        case 0x70:
        case 0x71: return ShowMacro(record);
        case 0x72: Find(kRecoilCombo).SelectItem(record.param1 < kRecoilPatterns ? record.param1 : -1, false);
            return static_cast<int>(FunctionKind::Recoil);
        case 0xB0: return static_cast<int>(FunctionKind::Shortcut);
        default: return -1;
    }
}

void CKeySetControlUI::ShowAssignment(const KeyAssignment& record) { ShowKind(ShowRecord(record)); }

// ---- building a record ----

std::optional<KeyAssignment> CKeySetControlUI::Build(int kind) const {
    const auto row = [&](const char* combo, size_t count) -> int {
        const int index = Find(combo).SelectedItem();
        return index >= 0 && static_cast<size_t>(index) < count ? index : -1;
    };
    for (const TableKind& table : kTableKinds) {
        if (static_cast<int>(table.kind) != kind) continue;
        // No selection, or an item past the table, keeps the record as it is.
        const int index = row(table.combo, table.count);
        if (index < 0) return std::nullopt;
        const FunctionRow& chosen = table.rows[index];
        return Record(current_, chosen.type, chosen.param1, chosen.param2);
    }
    for (const ScrollKind& scroll : kScrollKinds) {
        if (static_cast<int>(scroll.kind) != kind) continue;
        const auto param1 = static_cast<uint8_t>(Nibble(Number(Find(scroll.delay).Text())) * 16 +
                                                 Nibble(Number(Find(scroll.speed).Text())));
        const long long count = Number(Find(scroll.count).Text());
        const bool second = Find(scroll.combo).SelectedItem() == 1;
        uint8_t param2 = static_cast<uint8_t>(Low8(count) % 128);
        if (second) param2 = scroll.kind == FunctionKind::VerticalScroll ? static_cast<uint8_t>(Low8(128 - count) | 0x80)
                                                                          : static_cast<uint8_t>(param2 | 0x80);
        return Record(current_, scroll.type, param1, param2);
    }
    switch (static_cast<FunctionKind>(kind)) {
        case FunctionKind::Default: return default_;
        case FunctionKind::FireKey:
            return Record(current_, 0x14, Low8(Number(Find(kFireInterval).Text())), Low8(Number(Find(kFireCount).Text())));
        case FunctionKind::KeyboardKey: {
            const uint8_t usage = Find(kKeyField).Text().empty() || current_.type != 0x20 ? 0 : current_.param2;
            return Record(current_, 0x20, BitOfOption(GetOption()), usage);
        }
        case FunctionKind::Macro: {
            const int macro = Find(kMacroCombo).SelectedItem();
            const int end = row(kEndModeCombo, kEndModes.size());
            if (macro < 0 || macro >= Find(kMacroCombo).ItemCount() || end < 0) return std::nullopt;
            if (end == kRepeatItem) return Record(current_, 0x71, Low8(macro), Low8(Number(Find(kRepeatEdit).Text())));
            return Record(current_, 0x70, Low8(macro), Low8(end));
        }
        case FunctionKind::Recoil: {
            const int pattern = row(kRecoilCombo, kRecoilPatterns);
            if (pattern < 0) return std::nullopt;
            return Record(current_, 0x72, Low8(pattern), 0);
        }
        default: return default_;
    }
}

std::pair<KeyAssignment, KeyAssignment> CKeySetControlUI::GetAssignment() {
    const int kind = KindOfItem(Find(kFunctionCombo).SelectedItem());
    const std::optional<KeyAssignment> built = kind >= 0 && kind < kFunctionKinds ? Build(kind) : default_;
    if (built) {
        const uint16_t code = current_.code;
        current_ = *built;
        current_.code = code;
    }
    return {current_, default_};
}

// ---- handlers ----

bool CKeySetControlUI::ForMouse() const { return mode_ == kMouseKind; }

void CKeySetControlUI::KeyClicked(int index) {
    if (target_ == nullptr || target_->FunctionPage() != 2 || !target_->ProfileReadable()) return;
    if (mode_ == kMouseKind && IsLastLeftButton(target_->KeyAssignments(), index)) {
        if (window_.notice) window_.notice("message_text_6");
        return;
    }
    const std::optional<KeyAssignmentPair> pair = target_->SelectKey(index);
    if (!pair) return;
    Find(kLayout).SetVisible(true);
    SetAssignment(pair->current, pair->defaults);
    ShowEditedKey(pair->defaults);
}

// The title names the button being edited by its factory function ("Key assignment: Left Button").
void CKeySetControlUI::ShowEditedKey(const KeyAssignment& defaults) {
    const std::optional<std::string> name =
        KeyCaption(defaults, {}, translate_, mode_ == kMouseKind ? CaptionTarget::Mouse : CaptionTarget::Keyboard);
    Find(kTitle).SetText(translate_("keyset_title_text") + (name && !name->empty() ? ": " + *name : std::string()));
}

void CKeySetControlUI::FunctionChanged() {
    const int kind = KindOfItem(Find(kFunctionCombo).SelectedItem());
    if (kind >= 0) Find(kFunctionPages).SetPage(kind);
    if (kind == static_cast<int>(FunctionKind::KeyboardKey)) {
        SetKeyText({});
        SetOption(-1);
    }
}

void CKeySetControlUI::EndModeChanged() { Find(kRepeatLayout).SetVisible(Find(kEndModeCombo).SelectedItem() == kRepeatItem); }

void CKeySetControlUI::ApplyAssignment() {
    const auto [current, defaults] = GetAssignment();
    if (target_ != nullptr) {
        target_->StoreSelectedAssignment(current, defaults);
        target_->RefreshKeyCaptions();
    }
    SetPending(false, false);
}

void CKeySetControlUI::OptionChanged(int option) {
    SetOption(option);
    ApplyAssignment();
}

void CKeySetControlUI::RestoreDefault() {
    ShowDefault();
    if (mode_ == kKeyboardKind) {
        ApplyAssignment();
        SaveToDevice();
    }
    SetPending(false, false);
}

void CKeySetControlUI::CancelEdit() {
    ShowCurrent();
    SetPending(false, true);
}

void CKeySetControlUI::SaveToDevice() {
    if (target_ == nullptr) return;
    const int surplus = target_->WriteMacros(target_->CollectUsedMacros());
    if (surplus > 0) {
        // Only the first "%d" is the count: the text is no format string.
        if (window_.plainNotice) window_.plainNotice(FormatWithNumber(translate_("message_text_16"), surplus));
        return;
    }
    if (surplus < 0) {
        // The keys would point at macros the device does not hold: keep the
        // edit in the profile, write no key table, and stay pending.
        if (window_.notice) window_.notice("message_text_7");
        target_->SaveProfile();
        return;
    }
    const bool written = target_->WriteKeyAssignmentsWithMacros(0) == 1;
    target_->SaveProfile();
    if (!written) {
        if (window_.notice) window_.notice("message_text_7");
        return;
    }
    target_->RefreshKeyMarks();
    SetPending(false, true);
}

void CKeySetControlUI::CaptureKey(const CapturedKey& key) {
    if (!key.press) return;
    const int row = FindKeyByScanCode(key.scanCode, key.extended);
    if (row < 0) return;
    const KeyTableRow& entry = kKeyTable[static_cast<size_t>(row)];
    if (row < 8) {
        SetOption(OptionOfModifierRow(row));
        SetKeyText({});
        SetCurrent(Record(current_, 0x20, entry.param1, 0));
    } else {
        int option = GetOption();
        if (option < 0) {
            SetOption(0);
            option = 0;
        }
        SetKeyText(kKeyTableNames[static_cast<size_t>(row)]);
        SetCurrent(Record(current_, 0x20, BitOfOption(option), entry.param2));
    }
    ApplyAssignment();
}

void CKeySetControlUI::SetPending(bool includeSelection, bool clean) {
    if (includeSelection) {
        if (ui::Control* selector = host_.Find(kSelectorLayout)) selector->SetEnabled(clean);
    }
    EnableButtons(!clean);
    clean_ = clean;
}

// ---- routes ----

bool CKeySetControlUI::HandleNotification(const ui::Notification& n) {
    using Handler = void (*)(CKeySetControlUI&, const ui::Notification&, int);
    struct Route {
        const char* event;
        const char* name;  // whole name, or the prefix of an indexed name (ends in "_")
        Handler handler;
    };
    const auto apply = [](CKeySetControlUI& p, const ui::Notification&, int) { p.ApplyAssignment(); };
    static const std::array<Route, 25> kRoutes{{
        {"click", "key_", [](CKeySetControlUI& p, const ui::Notification&, int i) { p.KeyClicked(i); }},
        {"itemselect", kFunctionCombo, [](CKeySetControlUI& p, const ui::Notification&, int) { p.FunctionChanged(); p.ApplyAssignment(); }},
        {"itemselect", kEndModeCombo, [](CKeySetControlUI& p, const ui::Notification&, int) { p.EndModeChanged(); p.ApplyAssignment(); }},
        {"itemselect", "keyset_mousekey_combo", apply},
        {"itemselect", "keyset_mouseswing_combo", apply},
        {"itemselect", "keyset_mousewheel_combo", apply},
        {"itemselect", "keyset_mousedpi_combo", apply},
        {"itemselect", "keyset_media_combo", apply},
        {"itemselect", "keyset_system_combo", apply},
        {"itemselect", kMacroCombo, apply},
        {"itemselect", kRecoilCombo, apply},
        {"itemselect", "keyset_combokey_combo", apply},
        {"killfocus", "keyset_mouseswing_num_edit", apply},
        {"killfocus", "keyset_mouseswing_delay_edit", apply},
        {"killfocus", "keyset_mouseswing_speed_edit", apply},
        {"killfocus", "keyset_mousewheel_num_edit", apply},
        {"killfocus", "keyset_mousewheel_delay_edit", apply},
        {"killfocus", "keyset_mousewheel_speed_edit", apply},
        {"killfocus", kFireInterval, apply},
        {"killfocus", kFireCount, apply},
        {"killfocus", kRepeatEdit, apply},
        {"click", kSaveButton, apply},
        {"click", kDefaultButton, [](CKeySetControlUI& p, const ui::Notification&, int) { p.RestoreDefault(); }},
        {"click", kCancelButton, [](CKeySetControlUI& p, const ui::Notification&, int) { p.CancelEdit(); }},
        {"click", kWriteButton, [](CKeySetControlUI& p, const ui::Notification&, int) { p.SaveToDevice(); }},
    }};
    if (n.senderName == kKeyField && (n.event == "setfocus" || n.event == "killfocus")) {
        if (window_.keyCapture) window_.keyCapture(n.event == "setfocus");
        return true;
    }
    std::string prefix;
    int number = 0;
    const bool indexed = SplitIndexedName(n.senderName, prefix, number);
    if (n.event == "selectchanged" && indexed && prefix == kOptionPrefix) {
        // Options report being left as well as being chosen: act on the choice.
        if (n.sender == nullptr || n.sender->Selected()) OptionChanged(number);
        return true;
    }
    for (const Route& route : kRoutes) {
        if (n.event != route.event) continue;
        const bool whole = n.senderName == route.name;
        const bool byIndex = indexed && prefix == route.name && std::string(route.name).back() == '_';
        if (!whole && !byIndex) continue;
        route.handler(*this, n, number);
        return true;
    }
    return false;
}

}  // namespace m470
