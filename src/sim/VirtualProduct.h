#pragma once
// One emulated product with its HID interfaces: the cable (or only)
// interface and, for mouse and keyboard, the receiver that forwards to it.
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device_link/VirtualHidBackend.h"
#include "sim/FirmwareEmulator.h"

namespace m470 {

// Every exchange of every virtual interface.
struct TrafficEntry {
    std::chrono::steady_clock::time_point time;
    std::string interfaceName;  // "mouse", "mouse-receiver", ...
    Report request{};  // an output report fills only its own length
    Report reply{};
    bool viaControlPipe = false;  // output report (headset LEDs): no reply
    bool dropped = false;         // an injected fault kept the reply back
};

class TrafficLog {
public:
    TrafficLog() = default;
    ~TrafficLog();
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;
    void Add(const TrafficEntry& entry);
    // Oldest first.
    std::vector<TrafficEntry> Entries() const;
    void Clear();
    // Every exchange from now on is also appended to the file, one line each:
    // the interface's name and the request's bytes in hex (another process
    // checks the wire of an m470 --virtual this way). False when it cannot be opened.
    bool MirrorTo(const std::string& path);
    // The newest exchanges: enough for any one check, and a long --virtual
    // session (lighting streams all the time) does not keep megabytes of them.
    static constexpr size_t kMaxEntries = 4096;

private:
    mutable std::mutex mutex_;
    // A ring: the slots are made once, and once all are in use the oldest
    // is written over in place, so a streamed frame allocates nothing here.
    std::vector<TrafficEntry> entries_;
    size_t oldest_ = 0;  // where the ring starts once it is full
    std::FILE* mirror_ = nullptr;
};

enum class InterfacePart { All, Command, Notify };

// How an injected fault answers: status 0xFE without touching memory, or
// not at all (the exchange times out).
enum class FaultKind { Status, Drop };
// Faults injected under this code refuse output reports (the headset's LEDs)
// instead of a command.
inline constexpr uint8_t kOutputReportFault = 0xFF;

struct ProductIdentity {
    std::string name;          // "mouse"
    std::string receiverName;  // "mouse-receiver", empty without a receiver
    uint16_t vendorId, productId, receiverProductId, version;
    int interfaceNumber;
    bool singleCollection;     // the headset
};

class LightRecordFirmware;

class VirtualProduct {
public:
    VirtualProduct(std::shared_ptr<VirtualHidBackend> backend, std::shared_ptr<TrafficLog> log, ProductIdentity identity,
                   std::shared_ptr<FirmwareEmulator> firmware);
    ~VirtualProduct();

    const ProductIdentity& Identity() const { return identity_; }
    FirmwareEmulator& Firmware() { return *firmware_; }

    void Plug(bool receiver, InterfacePart part);
    void Unplug(bool receiver, InterfacePart part);
    bool Plugged(bool receiver, InterfacePart part) const;
    // Opens of the cable's (or receiver's) node fail with this errno, now and
    // after a replug: EACCES stands for a node without its access rule.
    void SetOpenError(bool receiver, int error);
    // The product behind its receiver switched on or off (default on).
    void SetPower(bool on);
    bool Powered() const;
    // Reply latency per exchange.
    void SetLatency(std::chrono::microseconds wired, std::chrono::microseconds receiver);
    // Sends a notification code on the consumer collection of the cable
    // (receiver = false) or of the receiver, changing memory as the firmware
    // would. False when that collection is not plugged (or the product is off
    // behind its receiver).
    bool Notify(uint16_t code, bool receiver);
    // The next count command reports with this code, on either link, fail
    // the given way. Faults for one code add up.
    void InjectFault(uint8_t command, unsigned count, FaultKind kind);
    unsigned PendingFaults() const;

private:
    struct Fault {
        uint8_t command;
        unsigned remaining;
        FaultKind kind;
    };
    std::optional<FaultKind> TakeFault(uint8_t command);
    static Report FailedReply(const Report& request);

    struct Link;
    bool Handle(bool receiver, VirtualHidInterface& from, std::span<const uint8_t> report, bool viaControlPipe);
    Link& LinkOf(bool receiver);
    const Link& LinkOf(bool receiver) const;

    std::shared_ptr<VirtualHidBackend> backend_;
    std::shared_ptr<TrafficLog> log_;
    ProductIdentity identity_;
    std::shared_ptr<FirmwareEmulator> firmware_;
    LightRecordFirmware* lights_;  // the firmware, when it takes LED output reports (the headset's)
    std::unique_ptr<Link> cable_, receiver_;
    mutable std::mutex mutex_;
    bool powered_ = true;
    std::chrono::microseconds wiredLatency_{0}, receiverLatency_{0};
    std::vector<Fault> faults_;
};

}  // namespace m470
