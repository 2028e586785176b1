#pragma once
// Another local user who takes over the instance socket, for the two-user
// tests: the squatter program runs as "nobody" through setpriv. That needs
// root (as in CI); elsewhere SkipReason says why the test cannot run.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

extern char** environ;

namespace m470::test {

class Squatter {
public:
    static constexpr uid_t kOtherUser = 65534;

    // Empty when the squatter can run here.
    static std::string SkipReason() {
        if (::geteuid() != 0) return "acting as another user needs root (setpriv); run as root to check the socket takeover";
        if (::access("/usr/bin/setpriv", X_OK) != 0) return "setpriv is not installed";
        return {};
    }

    // Copies the program into folder (which the other user must be able to
    // enter), then runs it there against path; true once it listens.
    bool Start(const std::string& program, const std::string& folder, const std::string& path, const std::string& reply) {
        const std::string copy = folder + "/m470_socket_squatter";
        std::error_code ignored;
        std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing, ignored);
        ::chmod(copy.c_str(), 0755);
        const std::string user = "--reuid=" + std::to_string(kOtherUser), group = "--regid=" + std::to_string(kOtherUser);
        const char* arguments[] = {"setpriv", user.c_str(), group.c_str(), "--clear-groups", copy.c_str(), path.c_str(),
                                   reply.c_str(), nullptr};
        if (::posix_spawn(&pid_, "/usr/bin/setpriv", nullptr, nullptr, const_cast<char**>(arguments), environ) != 0) return false;
        // Up to 10 s for a start on a loaded machine; done as soon as its socket is there.
        for (int i = 0; i < 1000; ++i) {
            if (Listening(path)) return true;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    static bool Listening(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == kOtherUser;
    }
    ~Squatter() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

}  // namespace m470::test
