#include "shell/WindowRoutes.h"

#include <string>

#include "ui/Ctl.h"

namespace m470 {

CWindowRoutes::CWindowRoutes(ui::ControlHost& host, WindowActions& actions) : host_(host), actions_(actions) {
    using N = const ui::Notification&;
    routes_.Add("click", "closebtn", [this](N, int) { actions_.CloseWindow(); })
        .Add("click", "minbtn", [this](N, int) { actions_.MinimizeWindow(); })
        .Add("click", {"maxbtn", "restorebtn"}, [this](N, int) { ShowMaximized(actions_.ToggleMaximized()); })
        .Add("click", kSettingsButton, [this](N, int) { actions_.ShowSettingsMenu(); })
        .Add("click", kSkinButton, [this](N, int) { actions_.OpenSkinChooser(); })
        .Add("click", "control_light_status", [this](N, int) { actions_.ToggleLightingControl(); })
        // "windowdeviceset_0" the keyboard's settings, "windowdeviceset_1" the mouse's.
        .Add("click", "windowdeviceset_", [this](N, int i) { if (i == 0 || i == 1) actions_.OpenSystemSettings(i); })
        .Add("valuechanged", {"R_light_slider", "G_light_slider", "B_light_slider"},
             [this](N n, int) { ShowColourValue(n); })
        .Add("selectchanged", "device_select", [this](N n, int) { actions_.ChooseDevice(n.sender); })
        .Add("click", "music_setting_btn", [this](N, int) { actions_.OpenMusic(); });

}

void CWindowRoutes::ShowMaximized(bool maximized) const {
    ui::Ctl(host_.Find("maxbtn")).SetVisible(!maximized);
    ui::Ctl(host_.Find("restorebtn")).SetVisible(maximized);
}

// "R_light_slider" writes "R <value>" into "R_light_label".
void CWindowRoutes::ShowColourValue(const ui::Notification& n) const {
    const std::string channel = n.senderName.substr(0, 1);
    ui::Ctl(host_.Find(channel + "_light_label")).SetText(channel + " " + std::to_string(ui::Ctl(n.sender).Value()));
}

void CWindowRoutes::ShowConnected(bool connected) const { ui::Ctl(host_.Find("No_device_Link")).SetVisible(!connected); }

// "控制灯光" / "不控制灯光" in the Chinese table.
void CWindowRoutes::ShowLightingControl(bool on) const {
    ui::Ctl(host_.Find("control_light_status")).SetText(on ? "control_light_on" : "control_light_off");
}

void CWindowRoutes::ShowUpdateProgress() const { ui::Ctl(host_.Find("setting_progress")).SetVisible(true); }

void CWindowRoutes::ClearSettingsMark() const {
    if (ui::Control* button = host_.Find(kSettingsButton)) button->SetForeImage("");
}

}  // namespace m470
