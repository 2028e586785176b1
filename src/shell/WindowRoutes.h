#pragma once
// The main window's own controls (title bar buttons, settings button, the
// lighting-control switch, the system-settings links, the colour labels,
// the device selector): what each does and what the window shows on them.
// The names are written here only; the window carries the actions out.
#include "ui/Control.h"
#include "ui/RouteTable.h"

namespace m470 {

// What the window does for its controls.
class WindowActions {
public:
    virtual ~WindowActions() = default;
    virtual void CloseWindow() = 0;
    virtual void MinimizeWindow() = 0;
    // Maximised becomes normal and back; true when maximised now.
    virtual bool ToggleMaximized() = 0;
    virtual void ShowSettingsMenu() = 0;
    virtual void ToggleLightingControl() = 0;
    // The system's own settings: 0 the keyboard's, 1 the mouse's.
    virtual void OpenSystemSettings(int panel) = 0;
    // An entry of the device selector was chosen.
    virtual void ChooseDevice(ui::Control* entry) = 0;
    // The music window (colour styles of the audio lighting).
    virtual void OpenMusic() = 0;
    // The palette window on the colour of the mouse's sensitivity stage.
    // The background chooser, under the button that opens it.
    virtual void OpenSkinChooser() = 0;
};

class CWindowRoutes {
public:
    // The window's widgets looked up by name outside the control tree.
    static constexpr const char* kTitleBar = "title_bar";
    static constexpr const char* kSettingsButton = "setbtn";
    static constexpr const char* kSkinButton = "skinbtn";

    CWindowRoutes(ui::ControlHost& host, WindowActions& actions);

    // A notification for the window's own controls: true when one took it.
    bool Route(const ui::Notification& n) const { return routes_.Dispatch(n); }
    const ui::RouteTable& Routes() const { return routes_; }

    // "No device linked" shown while no product is connected.
    void ShowConnected(bool connected) const;
    void ShowLightingControl(bool on) const;
    void ShowUpdateProgress() const;
    // The settings button loses its "update available" mark.
    void ClearSettingsMark() const;

private:
    void ShowMaximized(bool maximized) const;
    void ShowColourValue(const ui::Notification& n) const;

    ui::ControlHost& host_;
    WindowActions& actions_;
    ui::RouteTable routes_;
};

}  // namespace m470
