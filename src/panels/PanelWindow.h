#pragma once
// What a device page's panels ask of the window: questions and notices,
// file choosers, input capture, a control's place on the screen and menus
// built from a layout. The Qt window fills it; tests fill it with fakes.
#include <functional>
#include <string>

#include "macros/DeviceHook.h"

namespace m470 {

struct PanelWindow {
    std::function<bool(const std::string& textKey)> ask;  // OK (true) or Cancel
    std::function<void(const std::string& textKey)> notice;
    std::function<void(const std::string& text)> plainNotice;
    // Empty when cancelled.
    std::function<std::string(const std::string& filter)> chooseOpenFile;
    std::function<std::string(const std::string& filter)> chooseSaveFile;
    // Capture on or off: mode 1 takes keys only, the recording modes keys and
    // buttons; a click inside passArea (the stop button) still reaches its control.
    std::function<void(int mode, bool on, std::function<ScreenRect()> passArea)> setHook;
    std::function<ScreenRect(const std::string& controlName)> screenArea;
    // A menu built from a layout under skin/; chosen calls back with the entry's name.
    std::function<void(const std::string& layout, std::function<void(const std::string& entry)> chosen)> openMenu;
};

}  // namespace m470
