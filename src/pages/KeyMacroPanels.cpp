#include "pages/KeyMacroPanels.h"

#include "pages/DeviceProfileUI.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

constexpr int kMouseKind = 2;
constexpr int kKeyFunctionPage = 2;
constexpr const char* kRowMenuLayout = "macro_action_menu.ui";
constexpr const char* kStopButton = "macro_btn_stopredio";

}  // namespace

CKeyMacroPanels::CKeyMacroPanels(CDevicePage& page, CVantrelMouseDevice& mouse, Translator translate)
    : page_(page),
      mouse_(mouse),
      keys_(page.Host(), page.Find("KeySetControlItem").Get(), translate),
      macros_(page.Host(), page.Find("MacroControlItem").Get(), translate) {
    keys_.BindControls();
    keys_.SetMode(kMouseKind);
    keys_.SetTarget(this);
    keys_.SetWindow({[this](const std::string& key) { Notice(key); },
                     [this](const std::string& text) {
                         if (window_ != nullptr && window_->plainNotice) window_->plainNotice(text);
                     },
                     [this](bool on) { SetKeyCapture(on); }});
    macros_.SetEditorHost(this);
}

void CKeyMacroPanels::Reload() {
    macros_.SetMacroFolder(mouse_.MacroFolder());
    macros_.LoadMacroNames();
    keys_.FillMacroList(macros_.MacroNames());
}

bool CKeyMacroPanels::Take(const ui::Notification& n) {
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

void CKeyMacroPanels::SetKeyCapture(bool on) {
    if (window_ != nullptr && window_->setHook) window_->setHook(hook_mode::kSingleKey, on, nullptr);
}

// ---- the mouse ----

int CKeyMacroPanels::FunctionPage() const { return page_.GetFunctionPage(); }

bool CKeyMacroPanels::ProfileReadable() const {
    JsonLoadStatus status = JsonLoadStatus::Missing;
    LoadJson(mouse_.GetProfilePath(), &status);
    return status == JsonLoadStatus::Ok;
}

std::vector<KeyAssignmentPair> CKeyMacroPanels::KeyAssignments() const { return mouse_.Assignments(); }

std::optional<KeyAssignmentPair> CKeyMacroPanels::SelectKey(int index) {
    const std::vector<KeyAssignmentPair>& keys = mouse_.Assignments();
    if (index < 0 || static_cast<size_t>(index) >= keys.size()) return std::nullopt;
    selectedKey_ = index;
    mouse_.SelectKey(index);
    MarkSelectedKey(index);
    return keys[static_cast<size_t>(index)];
}

void CKeyMacroPanels::StoreSelectedAssignment(const KeyAssignment& current, const KeyAssignment& defaults) {
    if (selectedKey_ < 0) return;
    mouse_.StoreAssignment(static_cast<size_t>(selectedKey_), {current, defaults});
}

// The captions and default marks are the settings panel's, on Keys.
void CKeyMacroPanels::RefreshKeyCaptions() { mouse_.Tell(DeviceChange::Keys); }
std::vector<int> CKeyMacroPanels::CollectUsedMacros() { return mouse_.CollectUsedMacros(); }
int CKeyMacroPanels::WriteMacros(const std::vector<int>& macros) { return mouse_.WriteMacros(macros); }
int CKeyMacroPanels::WriteKeyAssignmentsWithMacros(int page) { return mouse_.WriteKeyAssignmentsWithMacros(page); }
bool CKeyMacroPanels::SaveProfile() { return mouse_.SaveProfile(); }
void CKeyMacroPanels::RefreshKeyMarks() {
    MarkSelectedKey(-1);
    mouse_.Tell(DeviceChange::Keys);
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
    mouse_.LoadPanelLists();
    mouse_.Tell(DeviceChange::Keys);
}

std::vector<KeyAssignmentPair> CKeyMacroPanels::CurrentKeys() { return mouse_.Assignments(); }

void CKeyMacroPanels::StoreRenumberedKeys(const std::vector<KeyAssignmentPair>& keys) {
    for (size_t i = 0; i < keys.size(); ++i) mouse_.StoreAssignment(i, keys[i]);
    keys_.SaveToDevice();
}

std::vector<std::string> CKeyMacroPanels::OtherProfiles() {
    std::vector<std::string> paths;
    const CDeviceProfileUI* strip = page_.ProfileStrip();
    if (strip == nullptr) return paths;
    for (int i = 0; i < strip->RowCount(); ++i) {
        const std::string path = strip->GetProfileFilePath(i);
        if (!path.empty() && path != mouse_.GetProfilePath()) paths.push_back(path);
    }
    return paths;
}

int CKeyMacroPanels::DeviceIndex() { return mouse_.Document().GetDeviceIndex(); }

}  // namespace m470
