#pragma once
// The set of virtual products the program or a test runs against, and the
// control API over them (plug, unplug, power, notifications, battery,
// traffic, memory).
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "devices/Products.h"
#include "sim/VirtualProduct.h"

namespace m470 {

// The names of the products' emulated interfaces, M470_VIRTUAL and the
// control API take them: per row its cable's, then its receiver's.
std::vector<std::string> VirtualInterfaceNames(std::span<const ProductRow> products = kProducts);
// "mouse,keyboard,mousepad,headset": every product by cable, what --virtual plugs.
std::string EveryVirtualProduct(std::span<const ProductRow> products = kProducts);

// "mouse,keyboard-receiver" → the names; an unknown name is an error with a
// message naming it and the accepted names.
std::optional<std::vector<std::string>> ParseVirtualSelection(const std::string& text, std::string& error,
                                                              std::span<const ProductRow> products = kProducts);

using FirmwareFactory = std::function<std::shared_ptr<FirmwareEmulator>()>;

class VirtualDeviceHub {
public:
    // Every product of the rows, as its row's emulator names it, none plugged.
    explicit VirtualDeviceHub(std::span<const ProductRow> products = kProducts);
    ~VirtualDeviceHub();

    // One more product (e.g. a new model's row) with the firmware of its
    // kind, or makeFirmware's when given; false when a name is taken.
    bool AddProduct(const ProductRow& row, const FirmwareFactory& makeFirmware = {});

    std::shared_ptr<VirtualHidBackend> Backend() const { return backend_; }
    TrafficLog& Traffic() { return *log_; }

    // target: an interface name with an optional ":command" or ":notify".
    bool Plug(const std::string& target);
    bool Unplug(const std::string& target);
    void PlugAll(const std::vector<std::string>& names);
    // product: "mouse" or "keyboard" (the product behind its receiver).
    bool SetPower(const std::string& product, bool on);
    // name: the interface whose notification collection sends the code.
    bool Notify(const std::string& name, uint16_t code);
    bool SetBattery(const std::string& product, uint8_t level, uint8_t state);
    // target: an interface name; its node refuses opens for lack of
    // permission (denied) or opens again.
    bool SetAccess(const std::string& target, bool denied);
    // The next count requests with that command code to the product (by
    // name or by one of its interfaces) fail as kind says.
    bool InjectFault(const std::string& product, uint8_t command, unsigned count = 1, FaultKind kind = FaultKind::Status);
    // 1 ms wired and 8 ms through a receiver, as measured on the products.
    void UseRealisticLatency();
    void SetLatency(std::chrono::microseconds wired, std::chrono::microseconds receiver);

    VirtualProduct* Product(const std::string& nameOrInterface);
    FirmwareEmulator* Firmware(const std::string& nameOrInterface);

    // One control line: "plug mouse:command", "unplug mouse", "power mouse
    // off", "notify mouse 0x1123", "battery mouse 57 1", "fail mouse 0x07 2
    // drop", "deny mouse" (opens refused: EACCES), "allow mouse". Returns an empty
    // string on success, else the error.
    std::string RunCommand(const std::string& line);

private:
    struct Target {
        VirtualProduct* product = nullptr;
        bool receiver = false;
        InterfacePart part = InterfacePart::All;
    };
    std::optional<Target> Resolve(const std::string& target);
    std::string RunFail(const std::string& line);
    std::string AcceptedNames() const;

    std::shared_ptr<VirtualHidBackend> backend_;
    std::shared_ptr<TrafficLog> log_;
    std::map<std::string, std::unique_ptr<VirtualProduct>> products_;
    std::vector<std::string> names_;  // every interface name, in the order added
};

}  // namespace m470
