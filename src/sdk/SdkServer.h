#pragma once
// The OpenRGB SDK server: a TCP socket on 127.0.0.1 and one thread that
// accepts clients, reads their packets and writes the answers, with a stop
// event and a wake descriptor in its poll. At most kMaxClients at once (a
// client past them is closed at once); a client that stops sending for
// kDirectTimeoutMs while it drives a product gives it back.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/StoppableThread.h"
#include "sdk/SdkSession.h"

namespace m470::sdk {

inline constexpr size_t kMaxClients = 8;
inline constexpr uint64_t kDirectTimeoutMs = 5000;
// A client that leaves a packet unfinished this long is dropped: else eight
// such clients would hold every place.
inline constexpr uint64_t kPartialPacketTimeoutMs = 10000;
// A client that leaves this much of our answers unread is dropped.
inline constexpr size_t kMaxUnsent = 1024 * 1024;

class SdkServer {
public:
    // now: milliseconds of a steady clock (a manual one in tests; Wake after moving it).
    explicit SdkServer(SdkHost& host, std::function<uint64_t()> now = {});
    ~SdkServer();
    SdkServer(const SdkServer&) = delete;
    SdkServer& operator=(const SdkServer&) = delete;

    // Listens on 127.0.0.1:port (0: any free port) and starts the thread;
    // false with why (a port in use, say) and nothing started.
    bool Start(uint16_t port, std::string& why);
    // Every client closed (their products given back), the thread joined.
    void Stop();
    bool Running() const { return thread_.Running(); }
    uint16_t Port() const { return port_; }
    // The products came or went: every client is told (any thread).
    void DeviceListChanged();
    // The thread looks at its clock and its flags again (any thread).
    void Wake();
    size_t ClientCount() const { return clients_.load(); }
    // Clients accepted since Start, and connections ended for a bad packet.
    size_t Accepted() const { return accepted_.load(); }
    size_t Refused() const { return refused_.load(); }

private:
    struct Client;
    void Loop(const StopEvent& stop);

    SdkHost& host_;
    std::function<uint64_t()> now_;
    int listener_ = -1;
    int wake_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> listChanged_{false};
    std::atomic<size_t> clients_{0}, accepted_{0}, refused_{0};
    StoppableThread thread_;
};

}  // namespace m470::sdk
