#pragma once
// One client's conversation: packets in, answers out, and what they ask of
// the products through the host. Pure: the server's socket loop feeds it
// bytes and sends what it gives back. A packet whose sizes, indices or
// version do not hold ends the conversation (and only this one).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sdk/SdkController.h"
#include "sdk/SdkProtocol.h"

namespace m470::sdk {

// What the server offers its clients, over the products connected now.
// A controller is an index into the list as ControllerCount gives it now;
// owner tells the clients apart, so a client that goes gives back what it drove.
class SdkHost {
public:
    virtual ~SdkHost() = default;
    virtual size_t ControllerCount() = 0;
    virtual std::optional<ControllerDescription> Describe(size_t controller) = 0;
    // Direct: the client's colours from LED first on, shown on the product
    // through its host-lit stream until it is given back.
    virtual void ShowColours(int owner, size_t controller, size_t first, const std::vector<Colour>& colours) = 0;
    virtual void StartDirect(int owner, size_t controller) = 0;
    // Every product the owner drives goes back to its profile's effect.
    virtual void ReleaseDirect(int owner) = 0;
    // One of the product's own modes (not Direct), with its settings; save
    // keeps it in the product's profile as well.
    virtual void ApplyMode(int owner, size_t controller, size_t mode, const ModeDescription& settings, bool save) = 0;
    virtual std::vector<std::string> ProfileNames() = 0;
    virtual void LoadProfile(const std::string& name) = 0;
};

class SdkSession {
public:
    SdkSession(SdkHost& host, int owner) : host_(host), owner_(owner) {}
    ~SdkSession();
    SdkSession(const SdkSession&) = delete;
    SdkSession& operator=(const SdkSession&) = delete;

    // Bytes from the client; false when the conversation must end.
    bool Receive(const uint8_t* bytes, size_t size);
    // What to send the client, taken.
    std::vector<uint8_t> TakeOutput();
    // The products came or went: the client is told.
    void DeviceListChanged();
    // The client stopped sending while it drove a product: it is given back.
    void EndDirect();
    // Whether a packet since the last call carried Direct colours or started Direct.
    bool TakeDirectActivity();
    bool Driving() const { return driving_; }
    // Bytes received of a packet not complete yet.
    size_t PendingBytes() const { return reader_.Pending(); }
    const std::string& ClientName() const { return clientName_; }
    uint32_t Version() const { return version_; }

private:
    bool Handle(const Packet& packet);
    bool AnswerVersion(const Packet& packet);
    bool AnswerControllerData(const Packet& packet);
    bool AnswerProfileList();
    bool TakeColours(const Packet& packet, const ControllerDescription& controller);
    bool TakeMode(const Packet& packet, const ControllerDescription& controller, bool save);
    void Send(uint32_t device, uint32_t id, const std::vector<uint8_t>& data);
    void Drive();

    SdkHost& host_;
    int owner_;
    PacketReader reader_;
    std::vector<uint8_t> output_;
    std::string clientName_;
    uint32_t version_ = 0;  // until the client asks for more
    bool driving_ = false;
    bool directActivity_ = false;
};

// A string sent bare (client name, profile name): its bytes up to the
// terminator that must end it; nullopt without one.
std::optional<std::string> BareString(const std::vector<uint8_t>& data);

}  // namespace m470::sdk
