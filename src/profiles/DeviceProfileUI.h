#pragma once
// The profile strip at the top of a device page: the named profiles of the
// device ("ProfileList.ini" in its folder) and every operation on them, and
// the row of option tabs.
#include <json/value.h>
#include <string>

#include "device_link/KnownInterface.h"
#include "shell/Ctl.h"

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
    void ShowProfileMenu(bool shown) { Find("profile_menu_layout").SetVisible(shown); }
    bool IsProfileMenuVisible() const { return Find("profile_menu_layout").Visible(); }
    Json::Value GetProfileList() const;
    std::string GetProfileFilePath(int index) const;

    void NewProfile();
    void CopyProfile();
    void DeleteProfile();
    RenameResult RenameProfile(const std::string& name);
    void ImportProfile(const std::string& path);
    void ExportProfile(const std::string& path);
    void ResetProfile();
    void SelectTab(int number);

    // A file worth importing: a JSON document with both members.
    static bool IsImportable(const std::string& path);
    int RowCount() const { return Find("device_profile_combo").ItemCount(); }
    std::string RowText(int row) const { return Find("device_profile_combo").ItemText(row); }

private:
    ui::Ctl Find(const char* name) const;
    std::string ListPath() const { return folder_ + kProfileListFile; }
    Json::Value ReadList() const;
    bool NameTaken(const std::string& name) const;
    // Appends an entry (and a row) and writes the list; returns the new identifier.
    std::string AppendEntry(const std::string& name);
    void WriteProfileFile(Json::Value document, const std::string& name, const std::string& uuid);

    ui::ControlHost& host_;
    ui::Control* root_;
    DeviceKind kind_ = DeviceKind::Mouse;
    std::string folder_, defaultPath_;
    std::string currentUuid_;
    Json::Value list_;
};

}  // namespace m470
