#include "pages/DevicePage.h"

#include <algorithm>
#include <array>

namespace m470 {
namespace {

// Pages of "device_function_switch" and "device_key_function_switch" per
// function kind; -1 leaves a switch as it is.
struct FunctionPageRow {
    int kind;
    int functionPage;
    int keyFunctionPage;
};
constexpr std::array<FunctionPageRow, 7> kFunctionPages{{
    {2, 0, 1}, {6, 0, 1}, {3, 1, -1}, {8, 1, -1}, {7, 0, 2}, {5, 2, -1}, {-1, 0, 0},
}};

}  // namespace

CDevicePage::CDevicePage(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root, PageContext* context)
    : device_(device), host_(host), root_(root), context_(context), deviceLifetime_(device.Lifetime()) {
    listener_ = device_.AddChangeListener([this](DeviceChange change) { OnChange(change); });
    device_.SetPageShownTest([root] { return root != nullptr && root->Visible(); });
    device_.SetFrameListener([this] { OnChange(DeviceChange::Frame); });
}

CDevicePage::~CDevicePage() {
    if (deviceLifetime_.expired()) return;  // the device went first
    StopCapture();
    device_.RemoveChangeListener(listener_);
    device_.SetPageShownTest(nullptr);
    device_.SetFrameListener(nullptr);
}

CProfileStripPanel& CDevicePage::AddProfileStrip() {
    strip_ = &Add<CProfileStripPanel>(*this, host_, Find("DeviceProfileItem").Get(), context_);
    return *strip_;
}

CLightingPanel& CDevicePage::AddLighting() {
    lighting_ = &Add<CLightingPanel>(device_, host_, Find("LightControlItem").Get(), context_);
    if (sameModeAvailable_) SetSameModeAvailable(*sameModeAvailable_);
    CLightControlUI& lights = lighting_->Controls();
    ForEachPanel([&lights](CPagePanel& panel) { panel.LightingMade(lights); });
    return *lighting_;
}

void CDevicePage::AddLightingWhenShown() {
    AddWhenShown<CLightingPanel>({"LightControlItem"}, [this] { AddLighting(); });
}

bool CDevicePage::HasLighting() const {
    return lighting_ != nullptr || std::any_of(held_.begin(), held_.end(), [](const HeldPanel& held) {
               return held.type == typeid(CLightingPanel);
           });
}

void CDevicePage::SetSameModeAvailable(bool available) {
    sameModeAvailable_ = available;
    if (lighting_ != nullptr) lighting_->Controls().SetSameModeAvailable(available ? 1 : 0);
}

bool CDevicePage::Route(const ui::Notification& n) const {
    for (size_t i = 0; i < panels_.size(); ++i)
        if (panels_[i]->Take(n)) return true;
    return false;
}

void CDevicePage::ShowHeld() {
    if (root_ == nullptr || !root_->Visible()) return;
    BuildHeldWhere([this](const HeldPanel& held) {
        return std::any_of(held.holders.begin(), held.holders.end(),
                           [&](const std::string& holder) { return ShowsWithPage(Find(holder).Get()); });
    });
}

// A stack hides the pages it does not show, in the window and in memory alike.
bool CDevicePage::ShowsWithPage(const ui::Control* control) const {
    if (control == nullptr) return false;
    for (const ui::Control* at = control; at != root_; at = at->Parent())
        if (at == nullptr || !at->Visible()) return false;
    return true;
}

// Out of the list before it is built: building shows nothing held again. A
// layout that cannot be read leaves its panel on an empty holder, as a page
// loaded whole leaves it.
void CDevicePage::BuildHeld(size_t index) {
    HeldPanel held = std::move(held_[index]);
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(index));
    for (const std::string& holder : held.holders) host_.LoadHeldLayout(Find(holder).Get());
    held.build();
}

void CDevicePage::OnChange(DeviceChange change) {
    if (change == DeviceChange::Frame) picture_.Show(device_.CopyFrame(frame_));
    ForEachPanel([change](CPagePanel& panel) { panel.Repaint(change); });
}

void CDevicePage::ShowChosenProfile() {
    if (strip_ == nullptr) {
        device_.ShowProfile(device_.ProfileName());
        return;
    }
    CDeviceProfileUI& strip = strip_->Strip();
    strip.SelectProfile(strip.GetCurSel(), false);
    device_.ShowProfile(strip.GetCurrentUuid());
}

int CDevicePage::ApplyChosenProfile() {
    ShowChosenProfile();
    return device_.WriteAllSettings();
}

void CDevicePage::ShowOptionTab(int number) {
    ForEachPanel([number](CPagePanel& panel) { panel.ShowOptionTab(number); });
}

void CDevicePage::RefreshTexts() {
    ForEachPanel([](CPagePanel& panel) { panel.RefreshTexts(); });
}

void CDevicePage::SetWindow(const PanelWindow* window) {
    window_ = window;
    ForEachPanel([window](CPagePanel& panel) { panel.SetWindow(window); });
}

void CDevicePage::OnCapturedKey(int mode, const CapturedKey& key) {
    ForEachPanel([&](CPagePanel& panel) { panel.OnCapturedKey(mode, key); });
}

void CDevicePage::OnCapturedButton(int mode, const CapturedButton& button) {
    ForEachPanel([&](CPagePanel& panel) { panel.OnCapturedButton(mode, button); });
}

void CDevicePage::StopCapture() {
    ForEachPanel([](CPagePanel& panel) { panel.StopCapture(); });
}

void CDevicePage::ShowFunctionPage(int kind) {
    functionPage_ = kind;
    const DeviceKind deviceKind = device_.Kind();
    if (deviceKind == DeviceKind::Mouse) Find("device_tishi_info").SetVisible(false);
    // Kind 4 is its own page only on the mouse and the keyboard.
    if (kind == 4 && (deviceKind == DeviceKind::Keyboard || deviceKind == DeviceKind::Mouse)) {
        Find("device_function_switch").SetPage(3);
        return;
    }
    const int effective = kind == 4 ? 7 : kind;
    const FunctionPageRow* row = &kFunctionPages.back();
    for (const FunctionPageRow& candidate : kFunctionPages)
        if (candidate.kind == effective) row = &candidate;
    Find("device_function_switch").SetPage(row->functionPage);
    if (row->keyFunctionPage >= 0) Find("device_key_function_switch").SetPage(row->keyFunctionPage);
}

}  // namespace m470
