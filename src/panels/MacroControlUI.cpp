#include "panels/MacroControlUI.h"

#include <array>

#include "keys/KeyTables.h"
#include "macros/MouseEventTable.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

// Controls of the editor, written once here.
constexpr const char* kNameList = "macro_name_list";
constexpr const char* kNameField = "macro_edit_macroname";
constexpr const char* kRowList = "macro_action_list";
constexpr const char* kRowArea = "macro_action_layout";
constexpr const char* kMoveArea = "mouse_move_layout";
constexpr const char* kNameColumn = "macro_name_tab";
constexpr const char* kRowDelay = "macro_delay";  // the delay edit of each row
constexpr const char* kConstantField = "macro_fixed_time_edit";
constexpr const char* kConstantOption = "macro_check_time";
constexpr const char* kStartButton = "macro_btn_starredio";
constexpr const char* kStopButton = "macro_btn_stopredio";
constexpr std::array<const char*, 3> kMacroButtons{"macro_btn_export", "macro_btn_name_sub", "macro_btn_name_edit"};

// The four move insertions: button, distance field.
struct MoveInsertion {
    const char* button;
    const char* field;
};
constexpr std::array<MoveInsertion, 4> kMoveInsertions{{
    {"macro_inset_moveleftkey_btn", "mouse_x_left_edit"},
    {"macro_inset_moverightkey_btn", "mouse_x_right_edit"},
    {"macro_inset_moveupkey_btn", "mouse_y_up_edit"},
    {"macro_inset_movedownkey_btn", "mouse_y_down_edit"},
}};
constexpr std::array<uint8_t, 4> kMoveCodes{0x84, 0x04, 0x85, 0x05};

// Row-menu entries that insert button events: name, message, extra-button subtype;
// a "click" entry inserts the press and then the release.
struct MenuInsertion {
    const char* name;
    uint16_t message;
    int subtype;
    bool click;
};
constexpr std::array<MenuInsertion, 15> kMenuInsertions{{
    {"left_down", 0x201, 0, false},    {"left_up", 0x202, 0, false},     {"middle_down", 0x207, 0, false},
    {"middle_up", 0x208, 0, false},    {"right_down", 0x204, 0, false},  {"right_up", 0x205, 0, false},
    {"forward_down", 0x20B, 0, false}, {"forward_up", 0x20C, 0, false},  {"back_down", 0x20B, 1, false},
    {"back_up", 0x20C, 1, false},      {"left_click", 0x201, 0, true},   {"middle_click", 0x207, 0, true},
    {"right_click", 0x204, 0, true},   {"forward_click", 0x20B, 0, true}, {"back_click", 0x20B, 1, true},
}};

// Row-menu entries that record: name, timing (0: as the constant option says), mode.
struct MenuRecording {
    const char* name;
    int timing;
    int mode;
};
constexpr std::array<MenuRecording, 7> kMenuRecordings{{
    {"redio_previous_record_time", 0, hook_mode::kInsertBefore},
    {"redio_previous_constant_time", 2, hook_mode::kInsertBefore},
    {"redio_previous_ignore_time", 3, hook_mode::kInsertBefore},
    {"redio_later_record_time", 0, hook_mode::kInsertAfter},
    {"redio_later_constant_time", 2, hook_mode::kInsertAfter},
    {"redio_later_ignore_time", 3, hook_mode::kInsertAfter},
    {"macro_action_edit", 3, hook_mode::kReplace},
}};

int Number(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > 1000000) return value;
    }
    return value;
}

const char* KeyNameOf(const MacroEvent& event) {
    const bool modifier = event.type == static_cast<int>(MacroEventType::ModifierKey);
    const size_t first = modifier ? 0 : 8, last = modifier ? 8 : kKeyTable.size();
    for (size_t r = first; r < last; ++r) {
        const KeyTableRow& row = kKeyTable[r];
        if (row.type != 0x20) continue;
        if (modifier ? row.param1 == event.button && row.param2 == 0 : row.param1 == 0 && row.param2 == event.button)
            return kKeyTableNames[r];
    }
    return nullptr;
}

}  // namespace

CMacroControlUI::CMacroControlUI(ui::ControlHost& host, ui::Control* root, Translator translate)
    : host_(host), root_(root), translate_(translate ? std::move(translate) : [](std::string_view key) { return std::string(key); }) {}

ui::Ctl CMacroControlUI::Find(const std::string& name) const {
    return root_ != nullptr ? host_.FindUnder(root_, name) : host_.Find(name);
}

// ---- library ----

void CMacroControlUI::SetMacroFolder(const std::string& folder) { library_.SetFolder(folder); }

void CMacroControlUI::LoadMacroNames() {
    if (library_.Folder().empty()) return;
    library_.Reload();
    ShowNames();
    EnableEditing(false);
    ShowSelectedMacro();
}

void CMacroControlUI::ShowNames() {
    ui::Ctl list = Find(kNameList);
    list.ClearItems();
    for (const MacroEntry& entry : library_.Entries()) list.AddItem(entry.name, entry.guid);
}

int CMacroControlUI::SelectedMacro() const {
    const int selected = Find(kNameList).SelectedItem();
    return selected >= 0 && static_cast<size_t>(selected) < library_.Count() ? selected : -1;
}

void CMacroControlUI::SelectMacro(int index) {
    Find(kNameList).SelectItem(index, false);
    ShowSelectedMacro();
}

void CMacroControlUI::EnableEditing(bool enabled) {
    Find(kRowArea).SetEnabled(enabled);
    Find(kMoveArea).SetEnabled(enabled);
    for (const char* name : kMacroButtons) Find(name).SetEnabled(enabled);
}

void CMacroControlUI::ShowSelectedMacro() {
    const int index = SelectedMacro();
    rows_ = {};
    if (index < 0) {
        Find(kNameField).SetText(" ");
        EnableEditing(false);
        ShowRows();
        return;
    }
    if (library_.Entries()[static_cast<size_t>(index)].guid.empty()) return;
    EnableEditing(true);
    rows_.events = library_.LoadEvents(index);
    ShowRows();
    Find(kNameField).SetText(library_.Entries()[static_cast<size_t>(index)].name);
}

void CMacroControlUI::SaveMacroEvents() {
    StoreRowDelays();
    library_.SaveEvents(SelectedMacro(), rows_.events);  // no macro chosen: nothing is written
}

void CMacroControlUI::AddMacro() {
    if (editorHost_ == nullptr || !editorHost_->Ask("message_text_28")) return;
    const std::string name = library_.Add();
    if (name.empty()) return;
    ShowNames();
    SelectMacro(static_cast<int>(library_.Count()) - 1);
    editorHost_->MacrosChanged(library_.Names());
}

void CMacroControlUI::ImportMacro() {
    if (editorHost_ == nullptr) return;
    const std::string path = editorHost_->ChooseOpenFile(kMacroFileFilter);
    if (path.empty()) return;
    const MacroImport imported = library_.Import(path);
    if (!imported.refusal.empty()) editorHost_->Notice(imported.refusal);
    if (imported.name.empty()) return;
    ShowNames();
    SelectMacro(static_cast<int>(library_.Count()) - 1);
    editorHost_->MacrosChanged(library_.Names());
}

void CMacroControlUI::ExportMacro() {
    const int index = SelectedMacro();
    if (index < 0 || editorHost_ == nullptr) return;
    const std::string path = editorHost_->ChooseSaveFile(kMacroFileFilter);
    if (path.empty()) return;
    if (library_.Export(index, path) == ExportResult::NoSource) editorHost_->Notice("macro_export_failed_text");
}

void CMacroControlUI::DeleteMacro() {
    const int index = SelectedMacro();
    if (index < 0 || editorHost_ == nullptr || !editorHost_->Ask("message_text_4")) return;
    std::vector<KeyAssignmentPair> keys = editorHost_->CurrentKeys();
    MacroEditorHost* asker = editorHost_;
    const MacroDeletion done = library_.Delete(index, keys, editorHost_->OtherProfiles(), editorHost_->DeviceIndex(),
                                               [asker] { return asker->Ask("message_text_2"); });
    if (!done.deleted) return;
    ShowNames();
    // The first macro, when one is left; none means nothing to edit or save.
    SelectMacro(library_.Count() > 0 ? 0 : -1);
    editorHost_->MacrosChanged(library_.Names());
    if (done.currentKeysChanged) editorHost_->StoreRenumberedKeys(keys);
}

void CMacroControlUI::RenameMacro() {
    const int index = SelectedMacro();
    const std::string name = Find(kNameField).Text();
    const MacroRenameResult result = library_.Rename(index, name);
    if (result == MacroRenameResult::NameUsed && editorHost_ != nullptr) editorHost_->Notice("macro_name_taken_text");
    if (result != MacroRenameResult::Renamed) return;
    if (ui::Control* list = Find(kNameList).Get()) list->SetItemText(index, name);
    if (editorHost_ != nullptr) editorHost_->MacrosChanged(library_.Names());
}

// ---- rows ----

std::string CMacroControlUI::RowText(const MacroEvent& event) const {
    std::string name, action;
    const std::string press = translate_(event.down ? "macro_press_text" : "macro_release_text");
    switch (event.type) {
        case 9:
        case 10:
            if (const char* key = KeyNameOf(event)) name = translate_(key);
            action = press;
            break;
        case 1: {
            const int row = FindMouseButtonName(static_cast<uint8_t>(event.button));
            if (row >= 0) name = translate_(kMouseEventTable[static_cast<size_t>(row)].nameKey);
            action = press;
            break;
        }
        case 4:
        case 5: {
            const int row = FindMouseMove(static_cast<uint8_t>(event.type | (event.down ? 0x80 : 0)));
            if (row >= 0) name = translate_(kMouseEventTable[static_cast<size_t>(row)].nameKey);
            action = std::to_string(event.button);
            break;
        }
        default: break;
    }
    return name + "   " + action;
}

void CMacroControlUI::ShowRows() {
    ui::Ctl list = Find(kRowList);
    list.ClearItems();
    for (size_t i = 0; i < rows_.events.size(); ++i) {
        const MacroEvent& event = rows_.events[i];
        list.AddItem(RowText(event), StyledJson(MacroEventObject(event)));
        ui::Ctl delay = list.ItemEdit(static_cast<int>(i), kRowDelay);
        delay.SetText(std::to_string(event.delay));
        delay.SetToolTip("", "macro_delay_tip");
    }
    list.SelectItem(rows_.selected, false);
}

void CMacroControlUI::RowsChanged() {
    ShowRows();
    library_.SaveEvents(SelectedMacro(), rows_.events);
}

void CMacroControlUI::SelectRow(int row) {
    rows_.selected = row >= 0 && static_cast<size_t>(row) < rows_.events.size() ? row : -1;
    ShowRows();
}

// A delay beyond the largest is stored as the largest, one that is no
// number is not stored; either way the field shows what the row keeps and
// the user is told once.
void CMacroControlUI::StoreRowDelays() {
    const ui::Ctl list = Find(kRowList);
    bool refused = false;
    for (size_t i = 0; i < rows_.events.size(); ++i) {
        const ui::Ctl field = list.ItemEdit(static_cast<int>(i), kRowDelay);
        if (!field) continue;
        const std::string text = field.Text();
        uint16_t& delay = rows_.events[i].delay;
        if (text == std::to_string(delay)) continue;
        const bool number = !text.empty() && text.size() <= 6 && text.find_first_not_of("0123456789") == std::string::npos;
        if (number) delay = DelayOfText(text);
        refused = refused || !number || std::stoul(text) > kMaxMacroDelay;
        field.SetText(std::to_string(delay));
    }
    if (refused && editorHost_ != nullptr) editorHost_->Notice("macro_delay_range_text");
}

void CMacroControlUI::MoveSelected(int to) {
    const int from = rows_.selected;
    const MacroEvent event = rows_.events[static_cast<size_t>(from)];
    rows_.events.erase(rows_.events.begin() + from);
    rows_.events.insert(rows_.events.begin() + to, event);
    rows_.selected = to;
}

void CMacroControlUI::MoveRowUp() {
    if (rows_.selected > 0 && static_cast<size_t>(rows_.selected) < rows_.events.size()) MoveSelected(rows_.selected - 1);
    RowsChanged();
}

void CMacroControlUI::MoveRowDown() {
    if (rows_.selected >= 0 && static_cast<size_t>(rows_.selected) + 1 < rows_.events.size()) MoveSelected(rows_.selected + 1);
    RowsChanged();
}

void CMacroControlUI::MoveRowToTop() {
    if (rows_.selected > 0 && static_cast<size_t>(rows_.selected) < rows_.events.size()) MoveSelected(0);
    RowsChanged();
}

void CMacroControlUI::MoveRowToBottom() {
    const int last = static_cast<int>(rows_.events.size()) - 1;
    if (rows_.selected >= 0 && rows_.selected < last) MoveSelected(last);
    RowsChanged();
}

void CMacroControlUI::DeleteRow() {
    if (rows_.selected >= 0 && static_cast<size_t>(rows_.selected) < rows_.events.size()) {
        rows_.events.erase(rows_.events.begin() + rows_.selected);
        if (static_cast<size_t>(rows_.selected) >= rows_.events.size()) rows_.selected = -1;
    }
    RowsChanged();
}

void CMacroControlUI::DeleteAllRows() {
    rows_ = {};
    RowsChanged();
}

void CMacroControlUI::InsertMouseEvent(uint16_t message, int subtype) {
    StoreRowDelays();
    MacroEvent event;
    if (message == mouse_message::kMove) {
        if (subtype < 0 || subtype >= static_cast<int>(kMoveInsertions.size())) return;
        const uint8_t code = kMoveCodes[static_cast<size_t>(subtype)];
        event.type = code & 0x7F;
        event.down = (code & 0x80) != 0;
        event.button = Number(Find(kMoveInsertions[static_cast<size_t>(subtype)].field).Text()) % 256;
    } else {
        const uint8_t extra = subtype == 1 ? kExtraBack : kExtraForward;
        const int row = FindMouseButtonEvent(message, extra);
        if (row < 0) return;
        const MouseEventRow& entry = kMouseEventTable[static_cast<size_t>(row)];
        event.type = static_cast<int>(MacroEventType::MouseButton);
        event.button = entry.button;
        event.down = (entry.eventCode & 0x80) != 0;
    }
    event.delay = recorder_.ConstantDelay();
    const int count = static_cast<int>(rows_.events.size());
    const int selected = rows_.selected >= 0 && rows_.selected < count ? rows_.selected : 0;
    const int at = count == 0 ? 0 : selected + 1;
    rows_.events.insert(rows_.events.begin() + at, event);
    rows_.selected = selected + 1 < static_cast<int>(rows_.events.size()) ? selected + 1 : -1;
    ShowRows();
}

// ---- recording ----

uint16_t CMacroControlUI::ConstantFromField() {
    ui::Ctl field = Find(kConstantField);
    const std::string text = field.Text();
    const uint16_t constant = DelayOfText(text);
    if (std::to_string(constant) != text) field.SetText(std::to_string(constant));
    return constant;
}

void CMacroControlUI::SetRecordingControls(bool recording) {
    for (const char* name : {kNameColumn, kRowList}) Find(name).SetEnabled(!recording);
    Find(kStartButton).SetVisible(!recording);
    Find(kStopButton).SetVisible(recording);
}

void CMacroControlUI::StartRecording(RecordTiming timing, int mode) {
    // Recording into no macro would be lost: its rows are saved to the macro's file.
    if (SelectedMacro() < 0 || recorder_.Recording()) return;
    StoreRowDelays();
    recorder_.Start(timing, timing == RecordTiming::Constant ? ConstantFromField() : recorder_.ConstantDelay());
    recordMode_ = mode;
    SetRecordingControls(true);
    if (editorHost_ != nullptr) editorHost_->SetHook(mode, true);
}

void CMacroControlUI::StopRecording() {
    if (!recorder_.Recording()) return;
    recorder_.Stop();
    SetRecordingControls(false);
    if (editorHost_ != nullptr) editorHost_->SetHook(recordMode_, false);
    library_.SaveEvents(SelectedMacro(), rows_.events);
}

void CMacroControlUI::RecordKey(int mode, const CapturedKey& key) {
    const std::optional<RecordPlace> place = PlaceOfMode(mode);
    if (place && recorder_.Recording() && recorder_.Key(rows_, *place, key)) ShowRows();
}

void CMacroControlUI::RecordButton(int mode, const CapturedButton& button) {
    const std::optional<RecordPlace> place = PlaceOfMode(mode);
    const ScreenRect stop = editorHost_ != nullptr ? editorHost_->StopButtonArea() : ScreenRect{};
    if (place && recorder_.Recording() && recorder_.Button(rows_, *place, button, stop)) ShowRows();
}

// ---- routes ----

bool CMacroControlUI::MenuItem(const std::string& name) {
    for (const MenuInsertion& item : kMenuInsertions) {
        if (name != item.name) continue;
        InsertMouseEvent(item.message, item.subtype);
        if (item.click) InsertMouseEvent(static_cast<uint16_t>(item.message + 1), item.subtype);
        SaveMacroEvents();
        return true;
    }
    for (const MenuRecording& item : kMenuRecordings) {
        if (name != item.name) continue;
        const bool constant = item.timing == 0 ? Find(kConstantOption).Selected() : item.timing == 2;
        StartRecording(item.timing == 3 ? RecordTiming::Ignored : constant ? RecordTiming::Constant : RecordTiming::Recorded,
                       item.mode);
        return true;
    }
    return false;
}

bool CMacroControlUI::HandleNotification(const ui::Notification& n) {
    using Operation = void (CMacroControlUI::*)();
    struct Click {
        const char* name;
        Operation operation;
    };
    static constexpr std::array<Click, 14> kClicks{{
        {"macro_btn_name_add", &CMacroControlUI::AddMacro},
        {"macro_btn_name_sub", &CMacroControlUI::DeleteMacro},
        {"macro_btn_name_edit", &CMacroControlUI::RenameMacro},
        {"macro_btn_save", &CMacroControlUI::SaveMacroEvents},
        {"macro_btn_cancel", &CMacroControlUI::ShowSelectedMacro},
        {"macro_btn_import", &CMacroControlUI::ImportMacro},
        {"macro_btn_export", &CMacroControlUI::ExportMacro},
        {"macro_btn_up", &CMacroControlUI::MoveRowUp},
        {"macro_btn_down", &CMacroControlUI::MoveRowDown},
        {"macro_btn_uptop", &CMacroControlUI::MoveRowToTop},
        {"macro_btn_downbottom", &CMacroControlUI::MoveRowToBottom},
        {"macro_btn_delete", &CMacroControlUI::DeleteRow},
        {"macro_btn_deleteall", &CMacroControlUI::DeleteAllRows},
        {kStopButton, &CMacroControlUI::StopRecording},
    }};
    if (n.event == "itemselect" && n.senderName == kNameList) {
        ShowSelectedMacro();
        return true;
    }
    if (n.event == "itemselect" && n.senderName == kRowList) {
        StoreRowDelays();
        SelectRow(static_cast<int>(n.wParam));
        return true;
    }
    if (n.event == "menu" && n.senderName == kRowList) {
        // The row menu, opened on a row.
        if (editorHost_ != nullptr) editorHost_->OpenRowMenu();
        return true;
    }
    if (n.event == "killfocus" && n.senderName == kRowDelay) {
        SaveMacroEvents();
        return true;
    }
    if (n.event != "click") return false;
    if (n.senderName == kStartButton) {
        StartRecording(Find(kConstantOption).Selected() ? RecordTiming::Constant : RecordTiming::Recorded, hook_mode::kRecord);
        return true;
    }
    if (n.senderName == "macro_btn_menu") {
        if (editorHost_ != nullptr) editorHost_->OpenRowMenu();
        return true;
    }
    for (size_t i = 0; i < kMoveInsertions.size(); ++i) {
        if (n.senderName != kMoveInsertions[i].button) continue;
        InsertMouseEvent(mouse_message::kMove, static_cast<int>(i));
        SaveMacroEvents();
        return true;
    }
    for (const Click& click : kClicks) {
        if (n.senderName != click.name) continue;
        StoreRowDelays();  // a delay typed but not yet left is kept when the rows change
        (this->*click.operation)();
        return true;
    }
    return MenuItem(n.senderName);
}

}  // namespace m470
