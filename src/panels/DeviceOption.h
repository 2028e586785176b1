#pragma once
// One entry of the device selector: picture, name, the option that shows the
// device's page, the synchronised mark, and the timers that drive the
// device's periodic work.
#include <string>

#include "devices/VantrelUSBDevice.h"
#include "ui/Ctl.h"

namespace m470 {

class CDeviceOptionUI {
public:
    CDeviceOptionUI(ui::ControlHost& host, ui::Control* root) : host_(host), root_(root) {}

    ui::Control* Root() const { return root_; }
    void SetDevice(CVantrelUSBDevice* device) { device_ = device; }
    CVantrelUSBDevice* Device() const { return device_; }
    // The product row of an entry without a device object (-1: none).
    void SetModelIndex(int model) { model_ = model; }
    int ModelIndex() const { return model_; }

    void SetKind(int kind, int variant);
    void ShowSynchro(bool shown);
    void SetSynchro(bool selected);
    bool IsSynchro() const;
    void BindPage(const std::string& layoutName, int pageIndex);
    int GetBoundPageIndex() const { return pageIndex_; }
    const std::string& GetBoundLayoutName() const { return layoutName_; }
    void SetPowerPage(int index) { powerPage_ = index; }
    int PowerPage() const { return powerPage_; }
    void SetGroup(const std::string& group);
    bool IsSelected() const;
    void Select(bool selected);
    void SetName(const std::string& text);
    // The line under the name (how the product is linked, or why it is
    // out of reach) and the tooltip's second line (its firmware).
    void SetState(const std::string& textKey);
    void SetDetail(const std::string& text);
    void SetVisible(bool shown);
    // Known but out of reach (switched off behind its receiver): the entry
    // stays in the list, greyed and not selectable, and counts as hidden.
    void SetOffline();
    bool IsOffline() const { return offline_; }
    bool IsVisible() const { return visible_; }

    void StartFirstRead() { host_.SetTimer(root_, kTimerFirstRead, 500); }
    void StartLinkWatch(int delayMs);
    void StartTimer(int id, int delayMs) { host_.SetTimer(root_, id, delayMs); }
    // A timer of this entry fired: the device's work, then the next timers.
    void OnTimer(int id);

    std::string NormalPicture() const { return normal_; }
    std::string SelectedPicture() const { return selected_; }
    std::string ToolTipKey() const { return toolTip_; }

private:
    ui::Ctl Child(const char* name) const { return host_.FindUnder(root_, name); }
    void ApplyPictures();

    ui::ControlHost& host_;
    ui::Control* root_;
    CVantrelUSBDevice* device_ = nullptr;
    SelectorState state_;
    std::string normal_ = "common/device_ico/unknow_device_normal.png", selected_ = "common/device_ico/unknow_device_selected.png";
    std::string synchroNormal_ = "common/device_ico/unknow_device_synchro_normal.png",
                synchroSelected_ = "common/device_ico/unknow_device_synchro_selected.png";
    std::string toolTip_ = "unknow_device_name_text";
    std::string detail_;
    bool offline_ = false;
    int model_ = -1;
    std::string layoutName_;
    int pageIndex_ = -1;
    int powerPage_ = -1;
    bool visible_ = false;
};

}  // namespace m470
