#pragma once
// "Start with the session": a desktop entry in the user's autostart folder
// that starts the program in the tray.
#include <string>

namespace m470 {

// The program's desktop id; its desktop file and icon carry the same name.
inline constexpr const char* kDesktopId = "io.github.m470.M470";
// The option the entry starts the program with.
inline constexpr const char* kTrayOption = "--tray";

// $XDG_CONFIG_HOME/autostart/io.github.m470.M470.desktop
std::string AutostartEntryPath();
bool AutostartEnabled();
// The entry that starts executable (an absolute path) in the tray; empty
// for a path that no desktop entry can hold (a line break in it).
std::string AutostartEntryText(const std::string& executable);
// Writes the entry (whole or not at all) or removes it; false when that
// failed, and the entry is then as it was.
bool SetAutostart(bool enabled, const std::string& executable);

}  // namespace m470
