#pragma once
// The page's lighting panel ("LightControlItem") and what each of its
// controls does to the device: a new lighting record stored, saved and
// written, or a new audio-reactive record stored and saved.
#include "pages/LightControlUI.h"
#include "pages/PageContext.h"
#include "pages/PagePanel.h"

namespace m470 {

struct LightEditResult {
    bool handled = false;
    int write = 0;  // as WriteAllSettings: 0 fine, -1 the write failed, else surplus macro events
};

class CLightingPanel : public CPagePanel {
public:
    // context: where write results and same mode go; nullptr keeps them to Handle.
    CLightingPanel(CVantrelUSBDevice& device, ui::ControlHost& host, ui::Control* root, PageContext* context);

    CLightControlUI& Controls() { return panel_; }
    // One notification routed here, its write result returned to the caller.
    LightEditResult Handle(const ui::Notification& n);
    // The device's lighting record and audio record on the panel.
    void ShowDeviceLighting();
    void Repaint(DeviceChange change) override;

private:
    CVantrelUSBDevice& device_;
    CLightControlUI panel_;
    PageContext* context_;
    int lastWrite_ = 0;
};

}  // namespace m470
