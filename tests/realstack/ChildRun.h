#pragma once
// Runs one of the programs in the testbed, as a user would start it: its
// folders in a test folder, offscreen, libumockdev-preload inherited. The
// run may get a /run of its own (a private mount namespace) with or without
// the udev daemon's control socket, and may lose root's right to open any
// file, so a node's mode 000 refuses it as it refuses a user.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <linux/capability.h>
#include <sched.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace m470::test {

enum class UdevDaemon { AsTheHostHasIt, Running, Absent };

struct ChildOptions {
    UdevDaemon daemon = UdevDaemon::AsTheHostHasIt;
    bool withoutFileOverride = false;  // as root: without CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH
    std::vector<std::pair<std::string, std::string>> environment;
};

struct ChildOutcome {
    int exitCode = -1;  // -1: did not run or did not end by itself
    std::string out, err;
};

// The exit code of a child that could not set itself up.
inline constexpr int kSetupFailed = 125;

// Whether this process may give a child a /run of its own.
inline bool CanMakePrivateRun() { return ::geteuid() == 0; }

namespace detail {

// In the child, before exec: a /run of its own, as the host's udev would leave it.
inline bool PrepareRun(UdevDaemon daemon) {
    if (daemon == UdevDaemon::AsTheHostHasIt) return true;
    if (::unshare(CLONE_NEWNS) != 0) return false;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    if (::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0) return false;
    if (daemon == UdevDaemon::Absent) return true;
    if (::mkdir("/run/udev", 0755) != 0) return false;
    const int control = ::open("/run/udev/control", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (control < 0) return false;
    ::close(control);
    return true;
}

inline bool DropFileOverride() {
    return ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) == 0 &&
           ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) == 0;
}

inline void ReadAll(int out, int err, std::string& outText, std::string& errText) {
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* texts[2] = {&outText, &errText};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace detail

// Runs program with arguments; the folder holds its XDG folders.
inline ChildOutcome RunChild(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& folder, const ChildOptions& options = {}) {
    std::vector<std::pair<std::string, std::string>> environment{
        {"XDG_RUNTIME_DIR", folder + "runtime"}, {"XDG_DATA_HOME", folder + "data"},
        {"XDG_CONFIG_HOME", folder + "config"},  {"QT_QPA_PLATFORM", "offscreen"}};
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    ::mkdir((folder + "runtime").c_str(), 0700);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::unsetenv("M470_VIRTUAL");
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        if (!detail::PrepareRun(options.daemon) || (options.withoutFileOverride && ::geteuid() == 0 && !detail::DropFileOverride())) {
            const char* why = "child set-up failed (private /run or capabilities)\n";
            [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, why, std::strlen(why));
            ::_exit(kSetupFailed);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ChildOutcome outcome;
    if (child > 0) detail::ReadAll(out[0], err[0], outcome.out, outcome.err);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    return outcome;
}

}  // namespace m470::test
