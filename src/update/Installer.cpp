#include "update/Installer.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/DebugTrace.h"
#include "platform/StoppableThread.h"

extern char** environ;

namespace m470 {
namespace {

constexpr std::chrono::milliseconds kPollStep{100};

}  // namespace

InstallOutcome RunInstaller(const std::string& path, const StopEvent& stop) {
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
        if (stop.WaitFor(kPollStep)) return InstallOutcome::Stopped;
    }
}

}  // namespace m470
