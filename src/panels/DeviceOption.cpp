#include "panels/DeviceOption.h"

#include <array>

namespace m470 {
namespace {

struct PictureRow {
    int kind;
    int variant;  // -1: any
    const char* prefix;  // nullptr: pictures unchanged
};
constexpr std::array<PictureRow, 8> kPictures{{
    {1, -1, "kb"}, {2, -1, "ms"}, {3, 0, "hard_mp"}, {3, 1, "soft_mp"}, {3, -1, nullptr},
    {4, -1, "hd"}, {7, -1, "hd"}, {5, -1, "hub"},
}};

}  // namespace

void CDeviceOptionUI::SetKind(int kind, int variant) {
    const char* prefix = "unknow";
    for (const PictureRow& row : kPictures) {
        if (row.kind != kind || (row.variant != -1 && row.variant != variant)) continue;
        prefix = row.prefix;
        break;
    }
    if (prefix == nullptr) return;
    const std::string base = std::string("common/device_ico/") + prefix;
    normal_ = base + "_device_normal.png";
    selected_ = base + "_device_selected.png";
    synchroNormal_ = base + "_device_synchro_normal.png";
    synchroSelected_ = base + "_device_synchro_selected.png";
    toolTip_ = std::string(prefix) + "_device_name_text";
    ApplyPictures();
}

void CDeviceOptionUI::ApplyPictures() {
    ui::Ctl option = Child("device_select");
    const bool synchro = IsSynchro();
    option.SetBkImage(synchro ? synchroNormal_ : normal_);
    if (ui::Control* control = option.Get()) {
        control->SetForeImage(synchro ? synchroSelected_ : selected_);
        control->SetToolTip(detail_.empty() ? std::string() : toolTip_, detail_.empty() ? toolTip_ : detail_);
    }
}

void CDeviceOptionUI::ShowSynchro(bool shown) {
    Child("synchro_device_select").SetVisible(shown);
    ApplyPictures();
}

void CDeviceOptionUI::SetSynchro(bool selected) {
    Child("synchro_device_select").SetSelected(selected, true);
    ApplyPictures();
}

bool CDeviceOptionUI::IsSynchro() const { return Child("synchro_device_select").Selected(); }

void CDeviceOptionUI::BindPage(const std::string& layoutName, int pageIndex) {
    layoutName_ = layoutName;
    pageIndex_ = pageIndex;
}

void CDeviceOptionUI::SetGroup(const std::string& group) { Child("device_select").SetGroup(group); }
bool CDeviceOptionUI::IsSelected() const { return Child("device_select").Selected(); }
void CDeviceOptionUI::Select(bool selected) { Child("device_select").SetSelected(selected, false); }
void CDeviceOptionUI::SetName(const std::string& text) { Child("device_select_name").SetText(text); }

void CDeviceOptionUI::SetState(const std::string& textKey) { Child("device_select_state").SetText(textKey); }

void CDeviceOptionUI::SetDetail(const std::string& text) {
    detail_ = text;
    ApplyPictures();
}

void CDeviceOptionUI::SetVisible(bool shown) {
    visible_ = shown;
    offline_ = false;
    ui::Ctl(root_).SetVisible(shown);
    ui::Ctl(root_).SetEnabled(true);
}

void CDeviceOptionUI::SetOffline() {
    SetVisible(false);
    offline_ = true;
    ui::Ctl(root_).SetVisible(true);
    ui::Ctl(root_).SetEnabled(false);
    SetState("device_off_text");
}

void CDeviceOptionUI::StartLinkWatch(int delayMs) {
    if (device_ != nullptr && device_->Transport().Opened()) host_.SetTimer(root_, kTimerLinkWatch, delayMs);
}

void CDeviceOptionUI::OnTimer(int id) {
    if (device_ == nullptr) return;
    state_.shown = visible_;
    std::vector<TimerRequest> next;
    switch (id) {
        case kTimerRender: next = device_->OnRenderTimer(); break;
        case kTimerFirstRead: next = device_->OnFirstReadTimer(state_); break;
        case kTimerReload: next = device_->OnReloadTimer(); break;
        case kTimerPower: next = device_->OnPowerTimer(); break;
        case kTimerLinkWatch: next = device_->OnLinkWatchTimer(state_); break;
        default: return;
    }
    for (const TimerRequest& request : next) host_.SetTimer(root_, request.id, request.delayMs);
}

}  // namespace m470
