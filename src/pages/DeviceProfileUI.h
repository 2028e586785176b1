#pragma once
// The profile strip at the top of a device page: the named profiles of the
// device ("ProfileList.ini" in its folder) and every operation on them, and
// the row of option tabs.
#include <functional>
#include <json/value.h>
#include <string>

#include "device_link/KnownInterface.h"
#include "platform/FileAlerts.h"
#include "ui/Ctl.h"

namespace m470 {

inline constexpr const char* kProfileListFile = "ProfileList.ini";
inline constexpr int kMaxProfiles = 50;

enum class RenameResult { NameUsed = 0, Renamed = 1, Blank = 2 };

class CDeviceProfileUI {
public:
    CDeviceProfileUI(ui::ControlHost& host, ui::Control* root) : host_(host), root_(root) {}

    void SetDeviceKind(DeviceKind kind) { kind_ = kind; }
    // Folder ends in "/".
    void SetFolders(const std::string& profileFolder, const std::string& defaultProfilePath);
    void InitProfiles();
    void SelectProfile(int index, bool notify);
    int GetCurSel() const;
    const std::string& GetCurrentUuid() const { return currentUuid_; }
    std::string GetNameEditText() const { return Find("device_profile_name_edit").Text(); }
    void SetNameEditText(const std::string& text) { Find("device_profile_name_edit").SetText(text); }
    // The row shown as chosen in the list, as a user's choice leaves it (nothing else changes).
    void MarkRow(int index) { Find("device_profile_combo").SelectItem(index, false); }
    void ShowProfileMenu(bool shown) { Find("profile_menu_layout").SetVisible(shown); }
    bool IsProfileMenuVisible() const { return Find("profile_menu_layout").Visible(); }
    Json::Value GetProfileList() const;
    std::string GetProfileFilePath(int index) const;

    // New, copy and import add nothing (false) at kMaxProfiles rows, or when the
    // profile file cannot be written (the list then keeps no entry for it). A new or
    // imported profile becomes the chosen one (combo, "profileselect" and
    // GetCurrentUuid); the caller applies it to the device.
    bool NewProfile();
    bool CopyProfile();
    // The profile now shown becomes the chosen one; the caller applies it.
    void DeleteProfile();
    RenameResult RenameProfile(const std::string& name);
    bool ImportProfile(const std::string& path);
    // False when nothing was written; adds ".json" to a name without extension.
    ExportResult ExportProfile(const std::string& path);
    void ResetProfile();
    void SelectTab(int number);

    // A file worth importing: a JSON document with both members as texts and
    // every member of the device's factory profile of the factory's type.
    bool IsImportable(const std::string& path) const;
    static std::string WithJsonExtension(const std::string& path);
    int RowCount() const { return Find("device_profile_combo").ItemCount(); }
    // The row of the profile with this identifier; -1 when none.
    int RowOf(const std::string& uuid) const;

    // The program a row's profile is linked to ("profileislink" 1 with its
    // "profilelinkmame"); empty when not linked, as in lists of older versions.
    std::string LinkedProgram(int row) const;
    static std::string LinkOf(const Json::Value& entry);
    // Links the profile now chosen to program; an empty one unlinks it.
    bool LinkCurrent(const std::string& program);
    std::string RowText(int row) const { return Find("device_profile_combo").ItemText(row); }

private:
    ui::Ctl Find(const char* name) const;
    std::string ListPath() const { return folder_ + kProfileListFile; }
    Json::Value ReadList() const;
    bool WriteList();
    // The list of the profile files in the folder, for a damaged or unreadable list file.
    Json::Value ListFromFiles() const;
    // Caps names and gives entries without a usable identifier a new one; true when changed.
    bool RepairEntries();
    std::string NewUuid() const;
    bool NameTaken(const std::string& name) const;
    // The first free name of grow(0), grow(1), ... while they fit the name
    // cap; past it, base cut to fit with " (2)", " (3)" ... appended.
    std::string FreeName(const std::string& base, const std::function<std::string(int)>& grow) const;
    // Appends an entry (and a row) and writes the list; returns the new identifier.
    std::string AppendEntry(const std::string& name);
    bool WriteProfileFile(Json::Value document, const std::string& name, const std::string& uuid);
    // A new last row named name holding document: the profile file is written
    // before the list, and without it the row is taken back (false).
    bool AddRow(const std::string& name, const Json::Value& document);
    // The link of the profile now chosen, beside the strip's buttons.
    void ShowLink();

    ui::ControlHost& host_;
    ui::Control* root_;
    DeviceKind kind_ = DeviceKind::Mouse;
    std::string folder_, defaultPath_;
    std::string currentUuid_;
    Json::Value list_;
    bool listWritable_ = true;  // false when the list file exists but cannot be read
};

}  // namespace m470
