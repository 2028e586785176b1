#pragma once
// Runs work as a user whom file permissions bind. Tests often run as root,
// which reads and writes any file; the child drops to "nobody" for the work.
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace m470::test {

inline constexpr uid_t kNobody = 65534;

// Gives folder and everything under it to the user the work runs as.
inline void HandOver(const std::string& folder) {
    if (::geteuid() != 0) return;
    std::error_code ignored;
    if (::chown(folder.c_str(), kNobody, kNobody) != 0) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored))
        if (::lchown(entry.path().c_str(), kNobody, kNobody) != 0) return;
}

// The work's return value (0-255), -1 when it could not run.
inline int RunUnprivileged(const std::function<int()>& work) {
    if (::geteuid() != 0) return work();
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(255);
        ::_exit(work());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace m470::test
