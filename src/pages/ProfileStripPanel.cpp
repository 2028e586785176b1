#include "pages/ProfileStripPanel.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "devices/CustomColours.h"
#include "games/ProgramMatch.h"
#include "pages/DevicePage.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470 {
namespace {

constexpr const char* kProfileFilter = "Profile Files(*.json)";

// The strip's option tabs, numbered 1 to 9 as the strip numbers them.
constexpr std::array<const char*, 9> kOptionTabNames{"deng_Op_tab",   "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
                                                     "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab",
                                                     "recoil_Op_tab"};

}  // namespace

CProfileStripPanel::CProfileStripPanel(CDevicePage& page, ui::ControlHost& host, ui::Control* root, PageContext* context)
    : page_(page), strip_(host, root), context_(context) {
    CVantrelUSBDevice& device = page.Device();
    strip_.SetDeviceKind(device.Kind());
    strip_.SetFolders(device.DataFolder(), device.DefaultProfilePath());
    strip_.InitProfiles();
    strip_.SelectTab(1);
    device.SetProfileName(strip_.GetCurrentUuid());

    using N = const ui::Notification&;
    routes_.Add("click", "device_add_btn", [this](N, int) { OnAdd(); })
        .Add("click", "device_copy_btn", [this](N, int) { OnCopy(); })
        .Add("click", "device_sub_btn", [this](N, int) { OnDelete(); })
        .Add("click", "device_import_btn", [this](N, int) { OnImport(); })
        .Add("click", "device_export_btn", [this](N, int) { OnExport(); })
        .Add("click", "device_reset_btn", [this](N, int) { OnReset(); })
        .Add("click", "device_profile_edit_save_btn", [this](N, int) { OnRename(); })
        .Add("click", "device_link_btn", [this](N, int) { OnLink(); })
        .Add("click", "device_unlink_btn", [this](N, int) { OnUnlink(); })
        .Add("click", "profile_fun_spread_btn", [this](N, int) { strip_.ShowProfileMenu(!strip_.IsProfileMenuVisible()); })
        .Add("itemselect", "device_profile_combo", [this](N, int) { OnProfileChosen(); });
    for (const char* name : kOptionTabNames) routes_.Add("selectchanged", name, [this](N n, int) { OnOptionTab(n); });
}

bool CProfileStripPanel::StillShown() const { return context_ != nullptr && context_->Shown(page_.Device()); }

bool CProfileStripPanel::Confirmed(const char* textKey) const {
    return context_ != nullptr && context_->Confirm(textKey) && StillShown();
}

std::optional<std::string> CProfileStripPanel::Chosen(std::optional<std::string> path) const {
    return path && StillShown() ? path : std::nullopt;
}

void CProfileStripPanel::Apply() {
    const int result = page_.ApplyChosenProfile();
    if (context_ != nullptr) ReportWrite(*context_, result);
}

void CProfileStripPanel::OnAdd() {
    if (Confirmed("message_text_27") && strip_.NewProfile()) Apply();
}

void CProfileStripPanel::OnCopy() {
    if (Confirmed("message_text_26")) strip_.CopyProfile();
}

void CProfileStripPanel::OnDelete() {
    if (!Confirmed("message_text_29")) return;
    strip_.DeleteProfile();
    Apply();
}

// One message for a path that names no file, and nothing read or written there.
bool CProfileStripPanel::FileTarget(const std::string& path) {
    if (IsFileOrAbsent(path)) return true;
    context_->Notice("profile_path_not_a_file");
    return false;
}

void CProfileStripPanel::OnImport() {
    if (context_ == nullptr || strip_.GetCurSel() < 0) return;
    const auto path = Chosen(context_->ChooseOpenFile(kProfileFilter));
    if (!path || !FileTarget(*path)) return;
    if (strip_.IsImportable(*path) && strip_.ImportProfile(*path)) Apply();
    else context_->Notice("profile_import_refused");
}

void CProfileStripPanel::OnExport() {
    if (context_ == nullptr || strip_.GetCurSel() < 0) return;
    const auto path = Chosen(context_->ChooseSaveFile(kProfileFilter));
    if (!path || !FileTarget(*path) || !FileTarget(CDeviceProfileUI::WithJsonExtension(*path))) return;
    // A failed write is told by the file alert, with its reason.
    if (strip_.ExportProfile(*path) == ExportResult::NoSource) context_->Notice("profile_export_failed");
}

void CProfileStripPanel::OnReset() {
    std::error_code ignored;  // a swatch file that cannot be removed must not end the reset
    std::filesystem::remove(GetAppDataFolder() + "color_option_info.config", ignored);
    if (!Confirmed("message_text_22")) return;
    if (context_ != nullptr) context_->ResetMusicStyles();
    strip_.ResetProfile();
    Apply();
    if (CustomColours* custom = page_.Device().Capabilities().customColours) custom->AfterProfileReset();
}

void CProfileStripPanel::OnRename() {
    const std::string text = strip_.GetNameEditText();
    if (text.empty()) return;
    const RenameResult result = strip_.RenameProfile(text);
    if (context_ == nullptr) return;
    if (result == RenameResult::NameUsed) context_->Notice("message_text_5");
    if (result == RenameResult::Blank) context_->Notice("message_text_25");
}

// A chosen file is linked by its path; a name typed into the chooser that is
// no file there is linked as a program's name.
void CProfileStripPanel::OnLink() {
    if (context_ == nullptr || strip_.GetCurSel() < 0) return;
    const auto chosen = Chosen(context_->ChooseProgram());
    if (!chosen || chosen->empty()) return;
    std::error_code error;
    const bool isFile = std::filesystem::is_regular_file(*chosen, error);
    const std::string program = isFile ? *chosen : ProgramBaseName(*chosen);
    if (program.empty()) return;
    strip_.LinkCurrent(program);
    context_->LinksChanged();  // also when the list could not be written: the link holds for this run
}

void CProfileStripPanel::OnUnlink() {
    strip_.LinkCurrent({});
    if (context_ != nullptr) context_->LinksChanged();
}

void CProfileStripPanel::Act(StripAction action) {
    switch (action) {
        case StripAction::New: return OnAdd();
        case StripAction::Copy: return OnCopy();
        case StripAction::Delete: return OnDelete();
        case StripAction::Reset: return OnReset();
        case StripAction::Export: return OnExport();
        case StripAction::Import: return OnImport();
    }
}

void CProfileStripPanel::ChooseProfile(int row) {
    strip_.MarkRow(row);
    OnProfileChosen();
}

void CProfileStripPanel::Rename(const std::string& name) {
    strip_.SetNameEditText(name);
    OnRename();
}

bool CProfileStripPanel::SwitchTo(const std::string& uuid) {
    const int row = strip_.RowOf(uuid);
    if (row < 0) return false;
    strip_.SelectProfile(row, false);
    Apply();
    return true;
}

void CProfileStripPanel::OnOptionTab(const ui::Notification& n) {
    if (n.sender == nullptr || !n.sender->Selected()) return;  // a tab left is no choice
    for (size_t i = 0; i < kOptionTabNames.size(); ++i)
        if (EqualsIgnoringCase(n.senderName, kOptionTabNames[i])) page_.ShowOptionTab(static_cast<int>(i) + 1);
}

// Edits made before the choice is applied belong to the profile now shown;
// two quick choices apply once, the later one.
void CProfileStripPanel::OnProfileChosen() {
    page_.ShowChosenProfile();
    if (context_ != nullptr) context_->ProfileChosen(page_.Device());
}

void CProfileStripPanel::Repaint(DeviceChange change) {
    if (change != DeviceChange::ProfileList) return;
    strip_.InitProfiles();
    page_.Device().SetProfileName(strip_.GetCurrentUuid());
}

}  // namespace m470
