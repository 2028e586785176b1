#include "ctl/CtlClient.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/InstanceSocket.h"
#include "platform/LocalSocket.h"

namespace m470::ctl {
namespace {

WindowAnswer Failure(std::string why) { return {Delivery::Failed, {}, std::move(why)}; }

}  // namespace

WindowAnswer AskWindow(const std::string& path, const std::vector<std::string>& words, int timeoutMs) {
    if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) return {};
    const Descriptor socket(ConnectLocalSocketWithin(path, timeoutMs));
    if (socket.Get() < 0) {
        // Nothing listens there (no file, or a socket left by a copy that died).
        if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) return {};
        return Failure("cannot reach the running M470 on " + path + ": " + std::strerror(errno));
    }
    if (std::string why; !PeerIsThisUser(socket.Get(), &why)) return Failure(path + ": " + why);
    const std::string request = FormatRequest(words);
    if (request.size() > kMaxRequestBytes)
        return {Delivery::TooLong, {}, "the command is longer than the window takes (" + std::to_string(kMaxRequestBytes) + " bytes)"};
    if (!SendAll(socket.Get(), request)) return Failure("the running M470 did not take the request");
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
