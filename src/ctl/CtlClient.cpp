#include "ctl/CtlClient.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/InstanceSocket.h"

namespace m470::ctl {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

WindowAnswer Failure(std::string why) { return {Delivery::Failed, {}, std::move(why)}; }

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

WindowAnswer AskWindow(const std::string& path, const std::vector<std::string>& words, int timeoutMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return {};
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0) return Failure(std::string("cannot make a socket: ") + std::strerror(errno));
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // Nothing listens there (no file, or a socket left by a copy that died).
        if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) return {};
        return Failure("cannot reach the running M470 on " + path + ": " + std::strerror(errno));
    }
    if (std::string why; !PeerIsThisUser(socket.Get(), &why)) return Failure(path + ": " + why);
    const std::string request = FormatRequest(words);
    if (request.size() > kMaxRequestBytes)
        return {Delivery::TooLong, {}, "the command is longer than the window takes (" + std::to_string(kMaxRequestBytes) + " bytes)"};
    if (!WriteAll(socket.Get(), request)) return Failure("the running M470 did not take the request");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    char buffer[4096];
    for (;;) {
        pollfd readable{socket.Get(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Failure("the running M470 did not answer in time");
        const ssize_t got = ::recv(socket.Get(), buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Failure("the running M470 closed the connection without an answer (it may hold too many)");
        line.append(buffer, static_cast<size_t>(got));
        // The window also broadcasts its own lines to every listener: only ours counts.
        for (size_t end; (end = line.find('\n')) != std::string::npos; line.erase(0, end + 1)) {
            if (auto reply = ParseReply(line.substr(0, end))) return {Delivery::Answered, *reply, {}};
        }
        if (line.size() > kMaxReplyBytes) return Failure("the running M470 answered with a line too long");
    }
}

}  // namespace m470::ctl
