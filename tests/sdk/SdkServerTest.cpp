// The SDK server on a real loopback socket: its clients, their limits and
// what their going gives back, with a manual clock for the Direct timeout.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "sdk/SdkServer.h"

using namespace m470::sdk;

namespace {

constexpr int kHangGuardMs = 20000;  // only a hung server takes this long

class CountingHost : public SdkHost {
public:
    size_t ControllerCount() override { return 1; }
    std::optional<ControllerDescription> Describe(size_t c) override {
        if (c != 0) return std::nullopt;
        ControllerDescription d;
        d.modes = {ModeDescription{.name = "Direct", .flags = mode_flag::kPerLedColour, .colourMode = ColourMode::PerLed}};
        d.zones = {{"Z", ZoneType::Linear, 1}};
        d.ledNames = {"A"};
        d.colours = {{}};
        return d;
    }
    void ShowColours(int owner, size_t, size_t, const std::vector<Colour>&) override { Note(shown, owner); }
    void StartDirect(int owner, size_t) override { Note(shown, owner); }
    void ReleaseDirect(int owner) override { Note(released, owner); }
    void ApplyMode(int, size_t, size_t, const ModeDescription&, bool) override {}
    std::vector<std::string> ProfileNames() override { return {}; }
    void LoadProfile(const std::string&) override {}

    // Waits until count releases were asked (true) or the guard ran out.
    bool WaitReleases(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(kHangGuardMs), [&] { return released.size() >= count; });
    }
    size_t Released() {
        std::lock_guard lock(mutex);
        return released.size();
    }

private:
    void Note(std::vector<int>& list, int owner) {
        std::lock_guard lock(mutex);
        list.push_back(owner);
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> shown, released;
};

class Connection {
public:
    explicit Connection(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { ::close(fd_); }
    bool Connected() const { return connected_; }
    void Send(uint32_t device, uint32_t id, const std::vector<uint8_t>& data = {}) {
        const std::vector<uint8_t> bytes = EncodePacket(device, id, data);
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void SendRaw(const std::vector<uint8_t>& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // The next packet, or nullopt when the server closed the connection.
    std::optional<Packet> Receive() {
        std::vector<Packet> packets;
        while (packets.empty()) {
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, kHangGuardMs) <= 0) return std::nullopt;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) return std::nullopt;
            reader_.Feed(buffer, static_cast<size_t>(got), packets);
        }
        return packets.front();  // one request, one answer: nothing else is in flight
    }
    // Count asked and answered: everything sent before was handled.
    bool RoundTrip() {
        Send(0, packet_id::kRequestControllerCount);
        const auto answer = Receive();
        return answer && answer->id == packet_id::kRequestControllerCount;
    }

private:
    int fd_;
    bool connected_ = false;
    PacketReader reader_;
};

std::vector<uint8_t> OneLed(uint8_t red) { return {10, 0, 0, 0, 1, 0, red, 2, 3, 0}; }

class SdkServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Start(0, why)) << why;
    }
    CountingHost host;
    std::atomic<uint64_t> clock{1000};
    SdkServer server{host, [this] { return clock.load(); }};
};

TEST_F(SdkServerTest, EightClientsAtMostAndANinthIsClosedAtOnce) {
    std::vector<std::unique_ptr<Connection>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<Connection>(server.Port()));
        ASSERT_TRUE(clients.back()->RoundTrip()) << i;
    }
    Connection ninth(server.Port());
    ASSERT_TRUE(ninth.Connected());
    ninth.Send(0, packet_id::kRequestControllerCount);
    EXPECT_FALSE(ninth.Receive());  // closed, unanswered
    EXPECT_EQ(server.ClientCount(), 8u);
    clients.pop_back();
    // A place is free again once the server saw the eighth go.
    for (int tries = 0; tries < 200 && server.ClientCount() != 7; ++tries) ASSERT_TRUE(clients.front()->RoundTrip());
    Connection next(server.Port());
    EXPECT_TRUE(next.RoundTrip());
}

TEST_F(SdkServerTest, ABadPacketClosesOnlyItsOwnConnectionAndItsProductsGoBack) {
    Connection good(server.Port()), bad(server.Port());
    bad.Send(0, packet_id::kUpdateLeds, OneLed(1));
    ASSERT_TRUE(bad.RoundTrip());
    bad.SendRaw({'X', 'R', 'G', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(bad.Receive());
    EXPECT_TRUE(host.WaitReleases(1));
    EXPECT_TRUE(good.RoundTrip());
    EXPECT_EQ(server.Refused(), 1u);
}

TEST_F(SdkServerTest, AClientThatLeavesAPacketUnfinishedIsClosedAfterTenSeconds) {
    Connection good(server.Port()), stalled(server.Port());
    stalled.SendRaw({'O', 'R', 'G', 'B', 0, 0, 0, 0});  // half a header, then nothing
    ASSERT_TRUE(good.RoundTrip());
    clock += kPartialPacketTimeoutMs - 1;
    server.Wake();
    ASSERT_TRUE(good.RoundTrip());
    EXPECT_EQ(server.ClientCount(), 2u);
    clock += 1;
    server.Wake();
    EXPECT_FALSE(stalled.Receive());  // closed
    ASSERT_TRUE(good.RoundTrip());
    EXPECT_EQ(server.ClientCount(), 1u);
    EXPECT_EQ(server.Refused(), 1u);
}

TEST_F(SdkServerTest, DirectEndsAfterFiveSecondsWithoutColoursAndWhenTheClientGoes) {
    auto client = std::make_unique<Connection>(server.Port());
    client->Send(0, packet_id::kUpdateLeds, OneLed(1));
    ASSERT_TRUE(client->RoundTrip());
    clock += kDirectTimeoutMs - 1;
    server.Wake();
    ASSERT_TRUE(client->RoundTrip());
    EXPECT_EQ(host.Released(), 0u);
    clock += 1;
    server.Wake();
    EXPECT_TRUE(host.WaitReleases(1));
    // Colours again, then the client goes: given back once more.
    client->Send(0, packet_id::kUpdateLeds, OneLed(2));
    ASSERT_TRUE(client->RoundTrip());
    client.reset();
    EXPECT_TRUE(host.WaitReleases(2));
}

TEST_F(SdkServerTest, EveryClientHearsThatTheProductsChangedAndAPortInUseIsSaid) {
    Connection first(server.Port()), second(server.Port());
    ASSERT_TRUE(first.RoundTrip());
    ASSERT_TRUE(second.RoundTrip());
    server.DeviceListChanged();
    for (Connection* client : {&first, &second}) {
        const auto told = client->Receive();
        ASSERT_TRUE(told);
        EXPECT_EQ(told->id, packet_id::kDeviceListUpdated);
    }
    CountingHost other;
    SdkServer second_server(other);
    std::string why;
    EXPECT_FALSE(second_server.Start(server.Port(), why));
    EXPECT_NE(why.find("in use"), std::string::npos) << why;
    EXPECT_FALSE(second_server.Running());
    EXPECT_TRUE(first.RoundTrip());  // the first server goes on
}

}  // namespace
