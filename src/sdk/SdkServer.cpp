#include "sdk/SdkServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "platform/DebugTrace.h"

namespace m470::sdk {
namespace {

// One read per client per round, of at most one largest packet: a client
// that floods the socket with small requests gets no more turns than the others.
constexpr size_t kReadBytes = kHeaderBytes + kMaxPacketData;
constexpr std::chrono::milliseconds kStopWait{2000};

uint64_t SteadyMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

}  // namespace

struct SdkServer::Client {
    int fd;
    SdkSession session;
    std::vector<uint8_t> unsent;
    uint64_t lastDirect = 0;
    std::optional<uint64_t> partialSince;  // when the packet not complete yet began
    Client(int socket, SdkHost& host, int owner) : fd(socket), session(host, owner) {}
    ~Client() { ::close(fd); }
    // What the session has to say goes out as far as the socket takes it;
    // false when the client cannot be written to or reads too little.
    bool Flush() {
        std::vector<uint8_t> more = session.TakeOutput();
        unsent.insert(unsent.end(), more.begin(), more.end());
        while (!unsent.empty()) {
            const ssize_t sent = ::send(fd, unsent.data(), unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) && unsent.size() <= kMaxUnsent;
            unsent.erase(unsent.begin(), unsent.begin() + sent);
        }
        return true;
    }
};

SdkServer::SdkServer(SdkHost& host, std::function<uint64_t()> now) : host_(host), now_(now ? std::move(now) : SteadyMs) {}

SdkServer::~SdkServer() { Stop(); }

bool SdkServer::Start(uint16_t port, std::string& why) {
    Stop();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("no socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // this computer's programs only
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        why = "127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listener_ = fd;
    port_ = ntohs(address.sin_port);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    accepted_ = 0;
    refused_ = 0;
    thread_.Start([this](const StopEvent& stop) { Loop(stop); }, "m470-sdk");
    DebugTrace::Write("SDK server listening on 127.0.0.1:" + std::to_string(port_));
    return true;
}

void SdkServer::Stop() {
    if (listener_ < 0) return;
    thread_.Stop(kStopWait, [this] { Wake(); });
    ::close(listener_);
    ::close(wake_);
    listener_ = wake_ = -1;
    clients_ = 0;
}

void SdkServer::DeviceListChanged() {
    listChanged_ = true;
    Wake();
}

void SdkServer::Wake() {
    if (wake_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
}

void SdkServer::Loop(const StopEvent& stop) {
    std::vector<std::unique_ptr<Client>> clients;
    int nextOwner = 1;
    std::vector<pollfd> watched;
    std::vector<uint8_t> buffer(kReadBytes);  // one for every read: Direct streams read many a second
    for (;;) {
        const uint64_t now = now_();
        int timeout = -1;
        const auto dueAt = [&timeout, now](uint64_t due) {
            const int left = due > now ? static_cast<int>(due - now) : 0;
            timeout = timeout < 0 ? left : std::min(timeout, left);
        };
        for (const auto& client : clients) {
            if (client->session.Driving()) dueAt(client->lastDirect + kDirectTimeoutMs);
            if (client->partialSince) dueAt(*client->partialSince + kPartialPacketTimeoutMs);
        }
        watched.assign({{stop.Fd(), POLLIN, 0}, {wake_, POLLIN, 0}, {listener_, POLLIN, 0}});
        for (const auto& client : clients)
            watched.push_back({client->fd, static_cast<short>(POLLIN | (client->unsent.empty() ? 0 : POLLOUT)), 0});
        if (::poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) break;
        if (stop.IsSet()) break;
        if (watched[1].revents != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(wake_, &count, sizeof count);
        }
        const bool listChanged = listChanged_.exchange(false);
        const uint64_t time = now_();
        std::vector<std::unique_ptr<Client>> kept;
        for (size_t i = 0; i < clients.size(); ++i) {
            auto& client = clients[i];
            bool open = true;
            if ((watched[3 + i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                const ssize_t got = ::recv(client->fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (got > 0) {
                    if (!client->session.Receive(buffer.data(), static_cast<size_t>(got))) {
                        ++refused_;
                        open = false;
                    }
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    open = false;
                }
            }
            if (client->session.PendingBytes() == 0) client->partialSince.reset();
            else if (!client->partialSince) client->partialSince = time;
            if (client->partialSince && time - *client->partialSince >= kPartialPacketTimeoutMs) {
                ++refused_;
                open = false;
            }
            if (client->session.TakeDirectActivity()) client->lastDirect = time;
            if (client->session.Driving() && time - client->lastDirect >= kDirectTimeoutMs) client->session.EndDirect();
            if (listChanged) client->session.DeviceListChanged();
            if (open && client->Flush()) kept.push_back(std::move(client));
        }
        clients = std::move(kept);  // the closed ones give back what they drove as they go
        if ((watched[2].revents & POLLIN) != 0) {
            for (;;) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) break;
                ++accepted_;
                if (clients.size() >= kMaxClients) {
                    ::close(fd);
                    continue;
                }
                clients.push_back(std::make_unique<Client>(fd, host_, nextOwner++));
                clients.back()->lastDirect = time;
            }
        }
        clients_ = clients.size();
    }
    DebugTrace::Write("SDK server stopped");
}

}  // namespace m470::sdk
