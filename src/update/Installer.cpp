#include "update/Installer.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/DebugTrace.h"
#include "platform/StoppableThread.h"

extern char** environ;

namespace m470 {
namespace {

constexpr std::chrono::milliseconds kPollStep{100};

std::mutex gLeftMutex;
std::vector<pid_t> gLeftRunning;

}  // namespace

void ReapLeftInstallers() {
    std::lock_guard lock(gLeftMutex);
    std::erase_if(gLeftRunning, [](pid_t child) { return ::waitpid(child, nullptr, WNOHANG) != 0; });
}

size_t LeftInstallerCount() {
    std::lock_guard lock(gLeftMutex);
    return gLeftRunning.size();
}

InstallOutcome RunInstaller(const std::string& path, const StopEvent& stop) {
    ReapLeftInstallers();
    pid_t child = 0;
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    // posix_spawn, not posix_spawnp: a file that is no program is not handed to a shell.
    const int error = ::posix_spawn(&child, path.c_str(), nullptr, nullptr, arguments, environ);
    if (error != 0) {
        DebugTrace::Printf("update: cannot run %s: %s", path.c_str(), std::strerror(error));
        return InstallOutcome::CannotStart;
    }
    DebugTrace::Printf("update: installer %s started (process %d)", path.c_str(), static_cast<int>(child));
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            DebugTrace::Printf("update: installer ended with %d", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            // An exec failure after the fork shows as exit 127.
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return InstallOutcome::CannotStart;
            return ok ? InstallOutcome::Succeeded : InstallOutcome::Failed;
        }
        if (ended < 0 && errno != EINTR) return InstallOutcome::Failed;
        if (stop.WaitFor(kPollStep)) {
            std::lock_guard lock(gLeftMutex);
            gLeftRunning.push_back(child);
            return InstallOutcome::Stopped;
        }
    }
}

}  // namespace m470
