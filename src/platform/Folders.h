#pragma once
// Where the program's files live. Every folder path ends in "/".
//   install folder       folder of the running executable
//   default data folder  install folder + "DefaultData/"          (read only)
//   application data     $XDG_DATA_HOME/M470/ (~/.local/share/M470/)
//   device folder        application data + device folder name + "/"
//   temporary folder     $TMPDIR (or /tmp) + "/UpdateData/"
#include <string>

namespace m470 {

std::string GetInstallFolder();
std::string GetDefaultDataFolder();
// Creates the folder when it is missing (a failure is not reported: files in it
// then fail to open and read as empty).
std::string GetAppDataFolder();
std::string GetDeviceFolder(const std::string& deviceFolderName);
std::string GetDefaultProfilePath(const std::string& deviceFolderName);
std::string GetTempFolder();
// $XDG_CONFIG_HOME/M470/ (~/.config/M470/), created when missing.
std::string GetConfigFolder();
// $XDG_CONFIG_HOME/autostart/: the session starts the entries in it; not created here.
std::string GetAutostartFolder();

// The install folder is normally found from /proc/self/exe; tests and tools
// may point it elsewhere. An empty path restores the default.
void SetInstallFolderOverride(const std::string& folder);

}  // namespace m470
