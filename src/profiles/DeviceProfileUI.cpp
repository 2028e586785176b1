#include "profiles/DeviceProfileUI.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/Text.h"
#include "profiles/JsonFile.h"

namespace m470 {
namespace {

constexpr std::array<const char*, 8> kOptionTabs{"deng_Op_tab",   "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
                                                 "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"};

// Tabs a device kind hides, and the headset's own tabs it shows.
struct TabRow {
    int kind;
    std::vector<const char*> hidden;
    std::vector<const char*> shown;
};
const std::vector<TabRow>& TabRows() {
    static const std::vector<TabRow> rows{
        {1, {"cursor_Op_tab"}, {}},
        {2, {}, {}},
        {3, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {}},
        {4, {"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"}, {}},
        {5, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {}},
        {6, {}, {}},
        {7, {"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, {"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"}},
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
    Json::Value list = LoadJson(ListPath());
    if (!list.isObject()) list = Json::Value(Json::objectValue);
    if (!Member(list, "profilelist").isArray()) list["profilelist"] = Json::Value(Json::arrayValue);
    return list;
}

Json::Value CDeviceProfileUI::GetProfileList() const { return ReadList()["profilelist"]; }

std::string CDeviceProfileUI::GetProfileFilePath(int index) const {
    const Json::Value list = GetProfileList();
    return folder_ + JsonText(Member(Element(list, static_cast<Json::ArrayIndex>(std::max(index, 0))), "profileUUID")) + ".Json";
}

void CDeviceProfileUI::WriteProfileFile(Json::Value document, const std::string& name, const std::string& uuid) {
    if (!document.isObject()) document = Json::Value(Json::objectValue);
    document["profilename"] = name;
    document["profileUUID"] = uuid;
    SaveJson(folder_ + uuid + ".Json", document);
}

void CDeviceProfileUI::InitProfiles() {
    list_ = LoadJson(ListPath());
    if (!list_.isObject() || !Member(list_, "profilelist").isArray() || list_["profilelist"].empty()) {
        list_ = Json::Value(Json::objectValue);
        list_["profilelist"] = Json::Value(Json::arrayValue);
        list_["profilelist"].append(Entry("profile1", MakeTimestampId()));
        list_["profileselect"] = 0;
        SaveJson(ListPath(), list_);
        const std::string uuid = list_["profilelist"][0]["profileUUID"].asString();
        WriteProfileFile(LoadJson(folder_ + uuid + ".Json"), "profile1", uuid);
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
    currentUuid_ = JsonText(Member(list_["profilelist"][index], "profileUUID"));
    SaveJson(ListPath(), list_);
}

int CDeviceProfileUI::GetCurSel() const {
    ui::Ctl combo = Find("device_profile_combo");
    return combo ? combo.SelectedItem() : -1;
}

bool CDeviceProfileUI::NameTaken(const std::string& name) const {
    for (int row = 0; row < RowCount(); ++row)
        if (EqualsIgnoringCase(RowText(row), name)) return true;
    return false;
}

std::string CDeviceProfileUI::AppendEntry(const std::string& name) {
    Find("device_profile_combo").AddItem(name, name);
    std::string uuid = MakeTimestampId();
    // Two profiles made within one millisecond must not share a file.
    while (std::filesystem::exists(folder_ + uuid + ".Json")) uuid += "_";
    list_ = ReadList();
    const auto index = static_cast<Json::ArrayIndex>(RowCount() - 1);
    list_["profilelist"][index] = Entry(name, uuid);
    return uuid;
}

void CDeviceProfileUI::NewProfile() {
    if (!Find("device_profile_combo") || RowCount() >= kMaxProfiles) return;
    int n = 1;
    while (NameTaken("profile" + std::to_string(n))) ++n;
    const std::string name = "profile" + std::to_string(n);
    const std::string uuid = AppendEntry(name);
    list_["profileselect"] = RowCount() - 1;
    SaveJson(ListPath(), list_);
    WriteProfileFile(LoadJson(defaultPath_), name, uuid);
}

void CDeviceProfileUI::CopyProfile() {
    const int source = GetCurSel();
    if (source < 0) return;
    std::string name = RowText(source) + " copy";
    while (NameTaken(name)) name += " copy";
    const std::string sourcePath = GetProfileFilePath(source);
    const std::string uuid = AppendEntry(name);
    SaveJson(ListPath(), list_);
    WriteProfileFile(LoadJson(sourcePath), name, uuid);
}

void CDeviceProfileUI::DeleteProfile() {
    const int current = GetCurSel();
    if (current < 0 || RowCount() <= 1) return;
    list_ = ReadList();
    Json::Value removed;
    list_["profilelist"].removeIndex(static_cast<Json::ArrayIndex>(current), &removed);
    std::error_code ignored;
    const std::string uuid = JsonText(Member(removed, "profileUUID"));
    if (!uuid.empty()) std::filesystem::remove(folder_ + uuid + ".Json", ignored);
    list_["profileselect"] = current == 0 ? 0 : current - 1;
    SaveJson(ListPath(), list_);
    if (ui::Control* combo = Find("device_profile_combo").Get()) combo->RemoveItem(current);
}

RenameResult CDeviceProfileUI::RenameProfile(const std::string& name) {
    if (IsBlank(name)) return RenameResult::Blank;
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
        SaveJson(ListPath(), list_);
        const std::string path = GetProfileFilePath(selected);
        Json::Value document = LoadJson(path);
        if (!document.isObject()) document = Json::Value(Json::objectValue);
        document["profilename"] = name;
        SaveJson(path, document);
    }
    return RenameResult::Renamed;
}

bool CDeviceProfileUI::IsImportable(const std::string& path) {
    const Json::Value document = LoadJson(path);
    return document.isObject() && document.isMember("profilename") && document.isMember("profileUUID");
}

void CDeviceProfileUI::ImportProfile(const std::string& path) {
    const Json::Value document = LoadJson(path);
    std::string name = FileTitle(path);
    for (int k = 1; NameTaken(name); ++k) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "(%d)", k);
        name += suffix;
    }
    const std::string uuid = AppendEntry(name);
    SaveJson(ListPath(), list_);
    WriteProfileFile(document, name, uuid);
}

void CDeviceProfileUI::ExportProfile(const std::string& path) {
    const int selected = GetCurSel();
    if (selected < 0) return;
    SaveJson(path, LoadJson(GetProfileFilePath(selected)));
}

void CDeviceProfileUI::ResetProfile() {
    const int selected = GetCurSel();
    const Json::Value entry = Element(GetProfileList(), static_cast<Json::ArrayIndex>(std::max(selected, 0)));
    const std::string uuid = JsonText(Member(entry, "profileUUID"));
    if (selected < 0 || uuid.empty()) return;
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
