#pragma once
// One panel of a device page: the notifications it takes (its own route
// table; its control names are written only in its file) and how it redraws
// when its device's model changed.
#include "devices/VantrelUSBDevice.h"
#include "panels/PanelWindow.h"
#include "ui/RouteTable.h"

namespace m470 {

class CLightControlUI;

class CPagePanel {
public:
    virtual ~CPagePanel() = default;
    const ui::RouteTable& Routes() const { return routes_; }
    // A notification of the page: true when the panel took it. Most panels
    // take theirs through their routes; one that keeps its own can say so.
    virtual bool Take(const ui::Notification& n) { return routes_.Dispatch(n); }
    virtual void Repaint(DeviceChange change) { (void)change; }
    // The texts the panel sets from code, again in the language now in force.
    virtual void RefreshTexts() {}
    // Option tab 1 to 8 of the profile strip was chosen.
    virtual void ShowOptionTab(int number) { (void)number; }
    // The window's services (questions, files, capture); nullptr when none.
    virtual void SetWindow(const PanelWindow* window) { (void)window; }
    // Keys and buttons captured for the page shown, and the end of a capture.
    virtual void OnCapturedKey(int mode, const CapturedKey& key) { (void)mode, (void)key; }
    virtual void OnCapturedButton(int mode, const CapturedButton& button) { (void)mode, (void)button; }
    virtual void StopCapture() {}
    // The page's lighting panel was made (it may wait for its tab's first show).
    virtual void LightingMade(CLightControlUI& lights) { (void)lights; }

protected:
    ui::RouteTable routes_;
};

}  // namespace m470
