#include "pages/DeviceProfileUI.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "games/ProgramMatch.h"
#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "platform/JsonFile.h"
#include "profiles/ProfileFiles.h"

namespace m470 {
namespace {

constexpr std::array<const char*, 9> kOptionTabs{"deng_Op_tab",   "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
                                                 "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab",
                                                 "recoil_Op_tab"};

// Tabs a device kind hides, and the headset's own tabs it shows.
struct TabRow {
    int kind;
    std::vector<const char*> hidden;
    std::vector<const char*> shown;
};
const std::vector<TabRow>& TabRows() {
    static const std::vector<TabRow> rows{
        {1, {"cursor_Op_tab"}, {}},
        {2, {}, {"recoil_Op_tab"}},
        {3, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {}},
        {4, {"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"}, {}},
        {5, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {}},
        {6, {}, {"recoil_Op_tab"}},
        // Virtual surround has no setting the headset's sound system takes: no tab.
        {7, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab", "Virtual7.1_Op_tab"}, {"6533_voice_Op_tab", "magic_Op_tab"}},
    };
    return rows;
}

Json::Value Entry(const std::string& name, const std::string& uuid) {
    Json::Value entry(Json::objectValue);
    entry["profilename"] = name;
    entry["profileUUID"] = uuid;
    entry["profileislink"] = 0;
    entry["profilelinkmame"] = "";
    return entry;
}

}  // namespace

ui::Ctl CDeviceProfileUI::Find(const char* name) const { return host_.FindUnder(root_, name); }

void CDeviceProfileUI::SetFolders(const std::string& profileFolder, const std::string& defaultProfilePath) {
    folder_ = profileFolder;
    defaultPath_ = defaultProfilePath;
}

Json::Value CDeviceProfileUI::ReadList() const {
    if (!listWritable_) return list_;  // the file is kept as it is; the list lives in memory
    Json::Value list = LoadJson(ListPath());
    if (!list.isObject()) list = Json::Value(Json::objectValue);
    if (!Member(list, "profilelist").isArray()) list["profilelist"] = Json::Value(Json::arrayValue);
    return list;
}

Json::Value CDeviceProfileUI::GetProfileList() const { return ReadList()["profilelist"]; }

std::string CDeviceProfileUI::GetProfileFilePath(int index) const {
    const Json::Value list = GetProfileList();
    const std::string uuid = JsonText(Member(Element(list, static_cast<Json::ArrayIndex>(std::max(index, 0))), "profileUUID"));
    return IsSafeFileId(uuid) ? folder_ + uuid + ".Json" : std::string();
}

bool CDeviceProfileUI::WriteProfileFile(Json::Value document, const std::string& name, const std::string& uuid) {
    if (!document.isObject()) document = Json::Value(Json::objectValue);
    document["profilename"] = name;
    document["profileUUID"] = uuid;
    return SaveJson(folder_ + uuid + ".Json", document);
}

bool CDeviceProfileUI::WriteList() { return listWritable_ && SaveJson(ListPath(), list_); }

std::string CDeviceProfileUI::NewUuid() const {
    std::string uuid = MakeTimestampId();
    // Two profiles made within one millisecond must not share a file, nor
    // two entries an id (a repair gives several entries new ids at once).
    const auto listed = [this](const std::string& id) {
        for (const Json::Value& entry : Member(list_, "profilelist"))
            if (JsonText(Member(entry, "profileUUID")) == id) return true;
        return false;
    };
    std::error_code error;
    while (std::filesystem::exists(folder_ + uuid + ".Json", error) || listed(uuid)) uuid += "_";
    return uuid;
}

Json::Value CDeviceProfileUI::ListFromFiles() const {
    Json::Value list(Json::objectValue);
    Json::Value& entries = list["profilelist"] = Json::Value(Json::arrayValue);
    const auto taken = [&](const std::string& name) {
        for (const Json::Value& entry : entries)
            if (EqualsIgnoringCase(entry["profilename"].asString(), name)) return true;
        return false;
    };
    for (const FoundProfile& found : FindProfileFiles(folder_)) {
        if (entries.size() >= static_cast<Json::ArrayIndex>(kMaxProfiles)) break;
        std::string name = found.name;
        for (int n = 1; IsBlank(name) || taken(name); ++n) name = "profile" + std::to_string(n);
        entries.append(Entry(name, found.uuid));
    }
    list["profileselect"] = 0;
    return list;
}

bool CDeviceProfileUI::RepairEntries() {
    bool changed = false;
    std::set<std::string> seen;
    for (Json::Value& entry : list_["profilelist"]) {
        if (!entry.isObject()) entry = Json::Value(Json::objectValue);
        const std::string name = JsonText(Member(entry, "profilename"));
        const std::string capped = CapProfileName(name);
        if (capped != name || !entry["profilename"].isString()) {
            entry["profilename"] = capped;
            changed = true;
        }
        const std::string uuid = JsonText(Member(entry, "profileUUID"));
        if (!IsSafeFileId(uuid)) {
            entry["profileUUID"] = NewUuid();
            changed = true;
        } else if (!seen.insert(uuid).second) {
            // A second entry naming the same file gets its own copy: a delete
            // or an edit of one must not reach the other.
            entry["profileUUID"] = NewUuid();
            WriteProfileFile(LoadJson(folder_ + uuid + ".Json"), capped, entry["profileUUID"].asString());
            changed = true;
        }
    }
    return changed;
}

void CDeviceProfileUI::InitProfiles() {
    JsonLoadStatus status = JsonLoadStatus::Missing;
    list_ = LoadJson(ListPath(), &status);
    listWritable_ = status != JsonLoadStatus::Unreadable;
    const bool damaged = status == JsonLoadStatus::Invalid || status == JsonLoadStatus::TooLarge ||
                         (status == JsonLoadStatus::Ok && (!list_.isObject() || !Member(list_, "profilelist").isArray()));
    if (damaged) {
        // The profiles are still there: keep the list as it was and list their files.
        std::error_code error;
        std::filesystem::copy_file(ListPath(), ListPath() + ".bad", std::filesystem::copy_options::overwrite_existing, error);
        DebugTrace::Printf("%s is damaged; kept as .bad, rebuilt from the profile files", ListPath().c_str());
    }
    if (damaged || !listWritable_) list_ = ListFromFiles();
    if (list_["profilelist"].empty()) {
        const std::string uuid = NewUuid();
        list_["profilelist"].append(Entry("profile1", uuid));
        list_["profileselect"] = 0;
        WriteList();
        WriteProfileFile(LoadJson(folder_ + uuid + ".Json"), "profile1", uuid);
    } else if (RepairEntries() || damaged) {
        WriteList();
    }
    ui::Ctl combo = Find("device_profile_combo");
    combo.ClearItems();
    for (const Json::Value& entry : list_["profilelist"]) {
        const std::string name = JsonText(Member(entry, "profilename"));
        combo.AddItem(name, name);
    }
    int selected = static_cast<int>(JsonInteger(Member(list_, "profileselect")));
    if (selected < 0 || selected >= static_cast<int>(list_["profilelist"].size())) selected = 0;
    SelectProfile(selected, false);
    for (const TabRow& row : TabRows()) {
        if (row.kind != static_cast<int>(kind_)) continue;
        for (const char* tab : row.hidden) Find(tab).SetVisible(false);
        for (const char* tab : row.shown) Find(tab).SetVisible(true);
    }
}

void CDeviceProfileUI::SelectProfile(int index, bool notify) {
    ui::Ctl combo = Find("device_profile_combo");
    combo.SelectItem(index, notify);
    SetNameEditText(combo.ItemText(index));
    list_ = ReadList();
    if (index < 0 || index >= static_cast<int>(list_["profilelist"].size())) return;
    list_["profileselect"] = index;
    const std::string uuid = JsonText(Member(list_["profilelist"][index], "profileUUID"));
    currentUuid_ = IsSafeFileId(uuid) ? uuid : std::string();
    WriteList();
    ShowLink();
}

int CDeviceProfileUI::RowOf(const std::string& uuid) const {
    const Json::Value list = GetProfileList();
    for (Json::ArrayIndex row = 0; row < list.size(); ++row)
        if (JsonText(Member(list[row], "profileUUID")) == uuid) return static_cast<int>(row);
    return -1;
}

std::string CDeviceProfileUI::LinkedProgram(int row) const {
    if (row < 0) return {};
    return LinkOf(Element(GetProfileList(), static_cast<Json::ArrayIndex>(row)));
}

std::string CDeviceProfileUI::LinkOf(const Json::Value& entry) {
    return JsonInteger(Member(entry, "profileislink")) != 0 ? JsonText(Member(entry, "profilelinkmame")) : std::string();
}

bool CDeviceProfileUI::LinkCurrent(const std::string& program) {
    const int selected = GetCurSel();
    list_ = ReadList();
    if (selected < 0 || selected >= static_cast<int>(list_["profilelist"].size())) return false;
    Json::Value& entry = list_["profilelist"][selected];
    entry["profileislink"] = program.empty() ? 0 : 1;
    entry["profilelinkmame"] = program;
    const bool written = WriteList();
    ShowLink();
    return written;
}

void CDeviceProfileUI::ShowLink() {
    const std::string program = LinkedProgram(GetCurSel());
    // The program's own name fits the row; its whole path is in the tooltip.
    ui::Ctl shown = Find("device_link_program");
    shown.SetText(ProgramBaseName(program));
    if (ui::Control* control = shown.Get()) control->SetToolTip({}, program);
    for (const char* name : {"device_link_label", "device_link_program", "device_unlink_btn"}) Find(name).SetVisible(!program.empty());
}

int CDeviceProfileUI::GetCurSel() const {
    ui::Ctl combo = Find("device_profile_combo");
    return combo ? combo.SelectedItem() : -1;
}

std::string CDeviceProfileUI::FreeName(const std::string& base, const std::function<std::string(int)>& grow) const {
    for (int k = 0;; ++k) {
        const std::string name = grow(k);
        if (CapProfileName(name) != name) break;
        if (!NameTaken(name)) return name;
    }
    // Grown past the cap: the base cut short, then numbered.
    std::string name = CapProfileName(base);
    for (int n = 2; NameTaken(name); ++n) {
        const std::string tag = " (" + std::to_string(n) + ")";
        name = CapCodePoints(base, kMaxProfileNameLength - tag.size()) + tag;
    }
    return name;
}

bool CDeviceProfileUI::NameTaken(const std::string& name) const {
    for (int row = 0; row < RowCount(); ++row)
        if (EqualsIgnoringCase(RowText(row), name)) return true;
    return false;
}

std::string CDeviceProfileUI::AppendEntry(const std::string& name) {
    Find("device_profile_combo").AddItem(name, name);
    const std::string uuid = NewUuid();
    list_ = ReadList();
    const auto index = static_cast<Json::ArrayIndex>(RowCount() - 1);
    list_["profilelist"][index] = Entry(name, uuid);
    return uuid;
}

bool CDeviceProfileUI::AddRow(const std::string& name, const Json::Value& document) {
    const std::string uuid = AppendEntry(name);
    if (!WriteProfileFile(document, name, uuid)) {
        if (ui::Control* combo = Find("device_profile_combo").Get()) combo->RemoveItem(RowCount() - 1);
        list_ = ReadList();
        return false;
    }
    WriteList();
    return true;
}

bool CDeviceProfileUI::NewProfile() {
    if (!Find("device_profile_combo") || RowCount() >= kMaxProfiles) return false;
    int n = 1;
    while (NameTaken("profile" + std::to_string(n))) ++n;
    const std::string name = "profile" + std::to_string(n);
    if (!AddRow(name, LoadJson(defaultPath_))) return false;
    SelectProfile(RowCount() - 1, false);
    return true;
}

bool CDeviceProfileUI::CopyProfile() {
    const int source = GetCurSel();
    if (source < 0 || RowCount() >= kMaxProfiles) return false;
    const std::string sourceName = RowText(source);
    const std::string name = FreeName(sourceName, [&](int k) {
        std::string grown = sourceName;
        for (int i = 0; i <= k; ++i) grown += " copy";
        return grown;
    });
    const std::string sourcePath = GetProfileFilePath(source);
    return AddRow(name, sourcePath.empty() ? Json::Value() : LoadJson(sourcePath));
}

void CDeviceProfileUI::DeleteProfile() {
    const int current = GetCurSel();
    if (current < 0 || RowCount() <= 1) return;
    list_ = ReadList();
    Json::Value removed;
    list_["profilelist"].removeIndex(static_cast<Json::ArrayIndex>(current), &removed);
    std::error_code ignored;
    const std::string uuid = JsonText(Member(removed, "profileUUID"));
    if (IsSafeFileId(uuid)) std::filesystem::remove(folder_ + uuid + ".Json", ignored);
    const int next = current == 0 ? 0 : current - 1;
    list_["profileselect"] = next;
    WriteList();
    if (ui::Control* combo = Find("device_profile_combo").Get()) combo->RemoveItem(current);
    // The row removal raises no choice: the profile now shown is chosen here.
    SelectProfile(next, false);
}

RenameResult CDeviceProfileUI::RenameProfile(const std::string& wanted) {
    if (IsBlank(wanted)) return RenameResult::Blank;
    const std::string name = CapProfileName(wanted);
    const int selected = GetCurSel();
    for (int row = 0; row < RowCount(); ++row) {
        if (row == selected) continue;
        if (EqualsIgnoringCase(RowText(row), name)) return RenameResult::NameUsed;
    }
    if (selected < 0) return RenameResult::NameUsed;
    if (ui::Control* combo = Find("device_profile_combo").Get()) combo->SetItemText(selected, name);
    SetNameEditText(name);
    list_ = ReadList();
    if (selected < static_cast<int>(list_["profilelist"].size())) {
        list_["profilelist"][selected]["profilename"] = name;
        WriteList();
        const std::string path = GetProfileFilePath(selected);
        JsonLoadStatus status = JsonLoadStatus::Missing;
        Json::Value document = LoadJson(path, &status);
        if (!document.isObject()) document = Json::Value(Json::objectValue);
        document["profilename"] = name;
        if (!path.empty() && status != JsonLoadStatus::Unreadable) SaveJson(path, document);
    }
    return RenameResult::Renamed;
}

bool CDeviceProfileUI::IsImportable(const std::string& path) const {
    const Json::Value document = LoadJson(path);
    const Json::Value factory = LoadJson(defaultPath_);
    return document.isObject() && Member(document, "profilename").isString() && Member(document, "profileUUID").isString() &&
           MatchesFactoryTypes(document, factory) && SameProductSection(document, factory);
}

bool CDeviceProfileUI::ImportProfile(const std::string& path) {
    if (RowCount() >= kMaxProfiles) return false;
    const Json::Value document = LoadJson(path);
    const std::string title = FileTitle(path);
    const std::string name = FreeName(title, [&](int k) {
        std::string grown = title;
        for (int i = 1; i <= k; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "(%d)", i);
            grown += number;
        }
        return grown;
    });
    if (!AddRow(name, document)) return false;
    SelectProfile(RowCount() - 1, false);
    return true;
}

std::string CDeviceProfileUI::WithJsonExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return dot != std::string::npos && dot > nameStart ? path : path + ".json";
}

ExportResult CDeviceProfileUI::ExportProfile(const std::string& path) {
    const int selected = GetCurSel();
    if (selected < 0) return ExportResult::NoSource;
    const std::string source = GetProfileFilePath(selected);
    const Json::Value document = source.empty() ? Json::Value() : LoadJson(source);
    if (!document.isObject()) return ExportResult::NoSource;
    return SaveJson(WithJsonExtension(path), document) ? ExportResult::Exported : ExportResult::WriteFailed;
}

void CDeviceProfileUI::ResetProfile() {
    const int selected = GetCurSel();
    const Json::Value entry = Element(GetProfileList(), static_cast<Json::ArrayIndex>(std::max(selected, 0)));
    const std::string uuid = JsonText(Member(entry, "profileUUID"));
    if (selected < 0 || !IsSafeFileId(uuid)) return;
    Json::Value defaults = LoadJson(defaultPath_);
    if (!defaults.isObject()) defaults = Json::Value(Json::objectValue);
    if (kind_ == DeviceKind::Headset) {
        // The user's own equaliser presets survive a reset.
        const Json::Value current = Element(Member(LoadJson(folder_ + uuid + ".Json"), "Device"), 0);
        for (const char* member : {"CustomEQNameInfo", "CustomEQHzValueInfo"})
            if (current.isObject() && current.isMember(member))
                MutableMember(MutableElement(MutableMember(defaults, "Device"), 0), member) = current[member];
    }
    WriteProfileFile(defaults, JsonText(Member(entry, "profilename")), uuid);
}

void CDeviceProfileUI::SelectTab(int number) {
    for (const char* tab : kOptionTabs)
        if (!Find(tab)) return;
    for (size_t i = 0; i < kOptionTabs.size(); ++i) Find(kOptionTabs[i]).SetSelected(static_cast<int>(i) + 1 == number, false);
}

}  // namespace m470
