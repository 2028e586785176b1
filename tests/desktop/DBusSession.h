#pragma once
// A private D-Bus session bus for one test (dbus-daemon on a socket in the
// test's folder); it ends with the test.
#include <fcntl.h>
#include <poll.h>

#include <memory>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace m470::test {

class DBusSession {
public:
    static constexpr const char* kProgram = "/usr/bin/dbus-daemon";

    explicit DBusSession(const TempFolder& folder) : socket_(folder.File("bus")), log_(folder.File("dbus.log")) {}
    ~DBusSession() {
        if (daemon_) daemon_->Stop(SIGTERM);
    }

    // Starts the bus; false, with why, when it cannot. The daemon writes its
    // address to descriptor 3 once it listens.
    bool Start(std::string& why) {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) return Fail(why, "no pipe");
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{kProgram, "--session", "--nofork", "--nopidfile", "--print-address=3",
                                     "--address=unix:path=" + socket_},
            std::vector<std::string>{}, log_, pipe[1]);
        ::close(pipe[1]);
        pollfd ready{pipe[0], POLLIN, 0};
        char c = 0;
        while (::poll(&ready, 1, 30000) == 1 && ::read(pipe[0], &c, 1) == 1 && c != '\n') address_ += c;
        ::close(pipe[0]);
        if (address_.empty()) return Fail(why, std::string(kProgram) + " did not start: " + TempFolder::ReadFile(log_));
        return true;
    }

    const std::string& Address() const { return address_; }
    std::string Environment() const { return "DBUS_SESSION_BUS_ADDRESS=" + address_; }

private:
    static bool Fail(std::string& why, std::string text) {
        why = std::move(text);
        return false;
    }

    std::string socket_, log_, address_;
    std::unique_ptr<ChildProcess> daemon_;
};

}  // namespace m470::test
