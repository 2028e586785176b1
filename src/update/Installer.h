#pragma once
// Runs a downloaded installer once and waits for it, looking at the stop
// event between short waits; it is never started again by itself.
#include <string>

namespace m470 {

class StopEvent;

enum class InstallOutcome {
    Succeeded,     // exit status 0
    Failed,        // any other exit, or ended by a signal
    CannotStart,   // the system cannot run the file (no permission, a Windows installer)
    Stopped,       // the stop event came first; the installer is left to finish alone
};

InstallOutcome RunInstaller(const std::string& path, const StopEvent& stop);

// Installers whose wait a stop cut short are kept and reaped once they ended
// (each run and each settings window does this), so none stays a zombie.
void ReapLeftInstallers();
size_t LeftInstallerCount();

}  // namespace m470
