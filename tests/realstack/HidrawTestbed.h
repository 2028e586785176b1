#pragma once
// Products presented as Linux presents them, in a umockdev testbed: the USB
// device (idVendor, idProduct, bcdDevice), its interface (bInterfaceNumber),
// the HID device (HID_ID, report_descriptor) and its hidraw node under /dev,
// announced by uevents. Programs run under libumockdev-preload see them
// through libudev, open(), the hidraw ioctls, poll(), read() and write().
//
// Behind each vendor interface node the emulators of src/sim answer: a
// report written to the node reaches the product's firmware, and every
// report the firmware sends reaches every opener of the node, as hidraw
// hands out input reports (each opener keeps its own queue).
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/VirtualDeviceHub.h"

struct _UMockdevTestbed;

namespace m470::test {

// One product as it shows up on the USB bus.
struct UsbProduct {
    const char* name;  // the testbed's name for it: "mouse", "other-vendor", ...
    uint16_t vendorId, productId, bcdDevice;
    uint8_t interfaceNumber;  // of its HID interface with the vendor collection
    const char* emulator;     // the hub's interface behind that node; nullptr: nobody answers
    bool bootMouseInterface;  // interface 0 with a boot mouse, as the wired mouse has
};

// The products this testbed knows, written down here and not taken from the
// program's product table, so a wrong id in that table cannot agree with
// itself.
const std::vector<UsbProduct>& TestbedProducts();

class HidrawTestbed {
public:
    // The firmware behind the nodes; the testbed plugs the hub's interfaces
    // as their nodes appear.
    explicit HidrawTestbed(VirtualDeviceHub& hub);
    ~HidrawTestbed();
    HidrawTestbed(const HidrawTestbed&) = delete;
    HidrawTestbed& operator=(const HidrawTestbed&) = delete;

    // The product's USB device, interfaces and hidraw nodes appear, then
    // udev is told ("add"). Returns its vendor interface's node.
    std::string Plug(const std::string& name);
    // "remove" is told, then the nodes and devices go (Kept: their files
    // stay, as a program may find them between the event and their
    // deletion); files still open on them fail from now on, as on a pulled
    // cable.
    enum class Files { Deleted, Kept };
    void Unplug(const std::string& name, Files files = Files::Deleted);
    // Its vendor interface's node refuses to be opened (mode 000, no rule
    // gave the user access).
    void RefuseOpen(const std::string& name);
    // After `after` of them, the next request with this command code written
    // to the product's vendor node is taken, and the product is pulled
    // before it answers.
    void VanishOnCommand(const std::string& name, uint8_t command, unsigned after = 0);

    std::string VendorNode(const std::string& name) const;
    std::string BootNode(const std::string& name) const;

    struct Node;

private:
    struct Plugged;
    const UsbProduct& Find(const std::string& name) const;
    std::unique_ptr<Node> AddNode(const std::string& interfacePath, const UsbProduct& product,
                                  const std::vector<uint8_t>& descriptor, const char* emulator);
    void PullLocked(const std::string& name, Files files);

    VirtualDeviceHub& hub_;
    _UMockdevTestbed* testbed_;
    mutable std::mutex mutex_;
    unsigned nextNode_ = 40;  // far above the nodes a machine has, should one leak through
    unsigned nextPort_ = 1;
    std::map<std::string, std::unique_ptr<Plugged>> plugged_;
    std::vector<std::unique_ptr<Node>> retired_;  // pulled nodes: openers may still call them
};

}  // namespace m470::test
