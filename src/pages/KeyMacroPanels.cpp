#include "pages/KeyMacroPanels.h"

#include <algorithm>

#include "pages/DeviceProfileUI.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

constexpr const char* kKeyPanelItem = "KeySetControlItem";
constexpr const char* kMacroPanelItem = "MacroControlItem";
constexpr int kKeyAssignmentPage = 2;  // the page's function page while keys are assigned
constexpr const char* kRowMenuLayout = "macro_action_menu.ui";
constexpr const char* kStopButton = "macro_btn_stopredio";

}  // namespace

CKeyMacroPanels::CKeyMacroPanels(CDevicePage& page, KeyAssignmentModel& keys)
    : page_(page),
      device_(page.Device()),
      model_(keys),
      keys_(page.Host(), page.Find(kKeyPanelItem).Get(), keys.Translation()),
      macros_(page.Host(), page.Find(kMacroPanelItem).Get(), keys.Translation()) {
    keys_.BindControls();
    keys_.SetMode(keys.KeyPanelKind());
    keys_.SetTarget(this);
    keys_.SetWindow({[this](const std::string& key) { Notice(key); },
                     [this](const std::string& text) {
                         if (window_ != nullptr && window_->plainNotice) window_->plainNotice(text);
                     },
                     [this](bool on) { SetKeyCapture(on); }});
    macros_.SetEditorHost(this);
}

std::vector<std::string> CKeyMacroPanels::Holders() { return {kKeyPanelItem, kMacroPanelItem}; }

bool CKeyMacroPanels::OnLayout(const CDevicePage& page) {
    const std::vector<std::string> holders = Holders();
    return std::all_of(holders.begin(), holders.end(), [&page](const std::string& name) { return bool(page.Find(name)); });
}

void CKeyMacroPanels::Reload() {
    macros_.SetMacroFolder(model_.MacroFolder());
    macros_.LoadMacroNames();
    keys_.FillMacroList(macros_.MacroNames());
}

bool CKeyMacroPanels::Take(const ui::Notification& n) {
    if (n.event == "click_select_end" && page_.GetFunctionPage() == kKeyAssignmentPage) {
        MarkSelectedKey(selectedKey_);
        return true;
    }
    return keys_.HandleNotification(n) || macros_.HandleNotification(n);
}

void CKeyMacroPanels::OnCapturedKey(int mode, const CapturedKey& key) {
    if (mode == hook_mode::kSingleKey) keys_.CaptureKey(key);
    else macros_.RecordKey(mode, key);
}

void CKeyMacroPanels::OnCapturedButton(int mode, const CapturedButton& button) { macros_.RecordButton(mode, button); }

void CKeyMacroPanels::StopCapture() {
    macros_.StopRecording();
    SetKeyCapture(false);
}

void CKeyMacroPanels::ShowOptionTab(int) {
    MarkSelectedKey(page_.GetFunctionPage() == kKeyAssignmentPage ? selectedKey_ : -1);
}

void CKeyMacroPanels::SetKeyCapture(bool on) {
    if (window_ != nullptr && window_->setHook) window_->setHook(hook_mode::kSingleKey, on, nullptr);
}

// ---- the device ----

int CKeyMacroPanels::FunctionPage() const { return page_.GetFunctionPage(); }

bool CKeyMacroPanels::ProfileReadable() const {
    JsonLoadStatus status = JsonLoadStatus::Missing;
    LoadJson(device_.GetProfilePath(), &status);
    return status == JsonLoadStatus::Ok;
}

std::vector<KeyAssignmentPair> CKeyMacroPanels::KeyAssignments() const { return model_.Assignments(); }

std::optional<KeyAssignmentPair> CKeyMacroPanels::SelectKey(int index) {
    const std::vector<KeyAssignmentPair>& keys = model_.Assignments();
    if (index < 0 || static_cast<size_t>(index) >= keys.size()) return std::nullopt;
    selectedKey_ = index;
    MarkSelectedKey(index);
    return keys[static_cast<size_t>(index)];
}

SettingOutcome CKeyMacroPanels::SetKey(size_t slot, KeyAssignment function) {
    const std::vector<KeyAssignmentPair> keys = model_.Assignments();
    if (slot >= keys.size()) return SettingOutcome::Refused(SettingStatus::NoSuchIndex);
    if (!ProfileReadable()) return SettingOutcome::Refused(SettingStatus::ProfileUnreadable);
    const KeyAssignment left{0, 0x10, 0x01, 0x00, 0};
    const bool staysLeft = function.type == left.type && function.param1 == left.param1 && function.param2 == left.param2;
    if (keys_.ForMouse() && !staysLeft && IsLastLeftButton(keys, static_cast<int>(slot)))
        return SettingOutcome::Refused(SettingStatus::LastLeftButton);
    function.code = static_cast<uint16_t>(slot);
    SelectKey(static_cast<int>(slot));
    StoreSelectedAssignment(function, keys[slot].defaults);
    keys_.SaveToDevice();
    return SettingOutcome::Ok();
}

void CKeyMacroPanels::StoreSelectedAssignment(const KeyAssignment& current, const KeyAssignment& defaults) {
    if (selectedKey_ < 0) return;
    model_.StoreAssignment(static_cast<size_t>(selectedKey_), {current, defaults});
}

// The captions and default marks are the device panel's, on Keys.
void CKeyMacroPanels::RefreshKeyCaptions() { device_.Tell(DeviceChange::Keys); }
std::vector<int> CKeyMacroPanels::CollectUsedMacros() { return model_.CollectUsedMacros(); }
int CKeyMacroPanels::WriteMacros(const std::vector<int>& macros) { return model_.WriteMacros(macros); }
int CKeyMacroPanels::WriteKeyAssignmentsWithMacros(int page) { return model_.WriteKeyAssignmentsWithMacros(page); }
bool CKeyMacroPanels::SaveProfile() { return device_.SaveProfile(); }
void CKeyMacroPanels::RefreshKeyMarks() {
    MarkSelectedKey(-1);
    device_.Tell(DeviceChange::Keys);
}

void CKeyMacroPanels::MarkSelectedKey(int selected) {
    const std::vector<ui::Ctl>& buttons = page_.Picture().keys;
    for (size_t j = 0; j < buttons.size(); ++j)
        if (ui::Control* button = buttons[j].Get()) button->SetKeySelected(static_cast<int>(j) == selected);
}

// ---- the window ----

bool CKeyMacroPanels::Ask(const std::string& textKey) { return window_ != nullptr && window_->ask && window_->ask(textKey); }

void CKeyMacroPanels::Notice(const std::string& textKey) {
    if (window_ != nullptr && window_->notice) window_->notice(textKey);
}

std::string CKeyMacroPanels::ChooseOpenFile(const std::string& filter) {
    return window_ != nullptr && window_->chooseOpenFile ? window_->chooseOpenFile(filter) : std::string();
}

std::string CKeyMacroPanels::ChooseSaveFile(const std::string& filter) {
    return window_ != nullptr && window_->chooseSaveFile ? window_->chooseSaveFile(filter) : std::string();
}

void CKeyMacroPanels::SetHook(int mode, bool on) {
    if (window_ != nullptr && window_->setHook) window_->setHook(mode, on, [this] { return StopButtonArea(); });
    // While recording, another device cannot be chosen and nothing is written.
    keys_.SetPending(true, !on);
}

ScreenRect CKeyMacroPanels::StopButtonArea() {
    return window_ != nullptr && window_->screenArea ? window_->screenArea(kStopButton) : ScreenRect{};
}

void CKeyMacroPanels::OpenRowMenu() {
    if (window_ == nullptr || !window_->openMenu) return;
    window_->openMenu(kRowMenuLayout, [this](const std::string& entry) { macros_.MenuItem(entry); });
}

void CKeyMacroPanels::MacrosChanged(const std::vector<std::string>& names) {
    keys_.FillMacroList(names);
    keys_.ShowCurrent();
    device_.LoadPanelLists();
    device_.Tell(DeviceChange::Keys);
}

std::vector<KeyAssignmentPair> CKeyMacroPanels::CurrentKeys() { return model_.Assignments(); }

void CKeyMacroPanels::StoreRenumberedKeys(const std::vector<KeyAssignmentPair>& keys) {
    for (size_t i = 0; i < keys.size(); ++i) model_.StoreAssignment(i, keys[i]);
    keys_.SaveToDevice();
}

std::vector<std::string> CKeyMacroPanels::OtherProfiles() {
    std::vector<std::string> paths;
    const CDeviceProfileUI* strip = page_.ProfileStrip();
    if (strip == nullptr) return paths;
    for (int i = 0; i < strip->RowCount(); ++i) {
        const std::string path = strip->GetProfileFilePath(i);
        if (!path.empty() && path != device_.GetProfilePath()) paths.push_back(path);
    }
    return paths;
}

int CKeyMacroPanels::DeviceIndex() { return model_.ProfileDeviceIndex(); }

}  // namespace m470
