#include "realstack/HidrawTestbed.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <linux/hidraw.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <umockdev.h>
#include <unistd.h>

#include "device_link/HidBackend.h"
#include "device_link/KnownInterface.h"
#include "sim/ProductDescriptors.h"

namespace m470::test {
namespace {

// A boot-protocol mouse: three buttons, X, Y.
const std::vector<uint8_t> kBootMouseDescriptor{
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03,
    0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05, 0x81, 0x01,
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06,
    0xC0, 0xC0,
};

// Like the kernel's hidraw list: the newest report is dropped when an
// opener has this many unread.
constexpr size_t kOpenerQueueLimit = 64;

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("hidraw testbed: " + what); }

}  // namespace

const std::vector<UsbProduct>& TestbedProducts() {
    static const std::vector<UsbProduct> products{
        {"mouse", 0x320F, 0x222E, 0x0112, 1, "mouse", true},
        {"mouse-receiver", 0x320F, 0x222F, 0x0109, 1, "mouse-receiver", false},
        {"keyboard", 0x320F, 0x50C9, 0x0203, 1, "keyboard", false},
        {"keyboard-receiver", 0x320F, 0x50A9, 0x0204, 1, "keyboard-receiver", false},
        {"mousepad", 0x320F, 0x1004, 0x0101, 1, "mousepad", false},
        {"headset", 0x0C76, 0x1630, 0x0100, 3, "headset", false},
        // Another vendor's mouse with the same product id and the same
        // interface shape: only its vendor id tells it apart.
        {"other-vendor", 0x1D57, 0x222E, 0x0100, 1, nullptr, true},
    };
    return products;
}

// One hidraw node: its pseudo-terminal (which makes poll() real), the
// openers' queues, and the firmware behind it.
struct HidrawTestbed::Node {
    HidrawTestbed* owner = nullptr;
    std::string product;
    std::string devnode, syspath, devnum;
    std::vector<uint8_t> descriptor;
    uint16_t vendorId = 0, productId = 0;
    int master = -1;  // the pseudo-terminal's master side, made by umockdev
    int bell = -1;    // its terminal side, to take the doorbell byte back
    UMockdevIoctlBase* handler = nullptr;
    std::unique_ptr<HidNode> firmware;
    int stopFd = ::eventfd(0, EFD_CLOEXEC);
    std::thread pump;

    std::mutex mutex;
    // Per opener that has read at least once: its unread reports. The
    // terminal's readiness is one for all openers, so an opener that never
    // reads (one that only looked at the ioctls) must not keep it rung;
    // an opener that writes a request reads from then on.
    std::map<UMockdevIoctlClient*, std::deque<std::vector<uint8_t>>> queues;

    std::deque<std::vector<uint8_t>>& QueueOf(UMockdevIoctlClient* client) {
        auto found = queues.find(client);
        if (found == queues.end())  // the client is held until seen closed
            found = queues.emplace(static_cast<UMockdevIoctlClient*>(g_object_ref(client)), std::deque<std::vector<uint8_t>>()).first;
        return found->second;
    }
    bool gone = false, bellLit = false;
    std::optional<uint8_t> vanishOn;
    unsigned vanishAfter = 0;

    ~Node() {
        StopPump();
        // Nothing calls in any more once the testbed's programs are gone;
        // a late call must not find this node.
        for (const auto& [client, queue] : queues) g_object_unref(client);
        if (handler != nullptr) {
            g_signal_handlers_disconnect_by_data(handler, this);
            g_object_unref(handler);
        }
        if (bell >= 0) ::close(bell);
        ::close(stopFd);
    }

    void StopPump() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = ::write(stopFd, &one, sizeof one);
        if (pump.joinable()) pump.join();
    }

    // The terminal is readable exactly while an opener has a report or the
    // node is gone: one byte rings, taking it back silences. Openers that
    // closed their file leave first (umockdev tells no one; their
    // connection shows it).
    void RingLocked() {
        for (auto it = queues.begin(); it != queues.end();) {
            if (umockdev_ioctl_client_get_connected(it->first)) {
                ++it;
                continue;
            }
            g_object_unref(it->first);
            it = queues.erase(it);
        }
        bool due = gone;
        for (const auto& [client, queue] : queues) due = due || !queue.empty();
        if (due == bellLit) return;
        char byte = 0;
        [[maybe_unused]] ssize_t ignored = due ? ::write(master, &byte, 1) : ::read(bell, &byte, 1);
        bellLit = due;
    }

    void Broadcast(const std::vector<uint8_t>& report) {
        std::lock_guard lock(mutex);
        for (auto& [client, queue] : queues)
            if (queue.size() < kOpenerQueueLimit) queue.push_back(report);
        RingLocked();
    }

    // The firmware's reports, as they come.
    void Pump() {
        std::vector<uint8_t> report;
        while (firmware->ReadReport(report, -1, stopFd) == HidIoResult::Ok) Broadcast(report);
    }
};

struct HidrawTestbed::Plugged {
    std::vector<std::string> devices;  // the USB device first, its hidraw nodes last
    std::unique_ptr<Node> vendor, boot;
};

namespace {

using Node = HidrawTestbed::Node;

gboolean AnswerIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* node = static_cast<Node*>(data);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
    {
        std::lock_guard lock(node->mutex);
        if (node->gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
    }
    GError* error = nullptr;
    const auto resolve = [&](size_t size) { return umockdev_ioctl_data_resolve(argument, 0, size, &error); };
    if (request == HIDIOCGRAWINFO) {
        if (UMockdevIoctlData* target = resolve(sizeof(hidraw_devinfo))) {
            hidraw_devinfo info{};
            info.bustype = 3;  // BUS_USB
            info.vendor = static_cast<int16_t>(node->vendorId);
            info.product = static_cast<int16_t>(node->productId);
            umockdev_ioctl_data_update(target, 0, reinterpret_cast<guint8*>(&info), sizeof info);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
    } else if (request == HIDIOCGRDESCSIZE) {
        if (UMockdevIoctlData* target = resolve(sizeof(int))) {
            int size = static_cast<int>(node->descriptor.size());
            umockdev_ioctl_data_update(target, 0, reinterpret_cast<guint8*>(&size), sizeof size);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
    } else if (request == HIDIOCGRDESC) {
        // The kernel copies size bytes; the whole structure is resolved so
        // a caller passing a short one would be seen writing past it.
        if (UMockdevIoctlData* target = resolve(sizeof(hidraw_report_descriptor))) {
            hidraw_report_descriptor descriptor{};
            std::copy_n(target->data, sizeof descriptor, reinterpret_cast<guint8*>(&descriptor));
            if (descriptor.size > node->descriptor.size()) {
                umockdev_ioctl_client_complete(client, -1, EINVAL);
                return TRUE;
            }
            std::copy_n(node->descriptor.begin(), descriptor.size, descriptor.value);
            umockdev_ioctl_data_update(target, 0, reinterpret_cast<guint8*>(&descriptor), sizeof descriptor);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
    } else if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == _IOC_NR(HIDIOCSOUTPUT(0))) {
        const size_t length = _IOC_SIZE(request);
        if (UMockdevIoctlData* source = resolve(length)) {
            const bool taken = node->firmware && node->firmware->SetOutputReport(source->data, length);
            umockdev_ioctl_client_complete(client, taken ? static_cast<glong>(length) : -1, taken ? 0 : EPIPE);
            return TRUE;
        }
    }
    if (error != nullptr) g_error_free(error);
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return TRUE;
}

gboolean AnswerRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* node = static_cast<Node*>(data);
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(node->mutex);
    if (node->gone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    auto& queue = node->QueueOf(client);
    if (queue.empty()) {
        node->RingLocked();  // rung for an opener that has closed since: silence it
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
    }
    std::vector<uint8_t> report = std::move(queue.front());
    queue.pop_front();
    node->RingLocked();
    const size_t length = std::min<size_t>(report.size(), static_cast<size_t>(buffer->data_len));
    umockdev_ioctl_data_update(buffer, 0, report.data(), static_cast<gint>(length));
    umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
    return TRUE;
}

gboolean AnswerWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* node = static_cast<Node*>(data);
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const std::vector<uint8_t> report(buffer->data, buffer->data + buffer->data_len);
    bool vanish = false;
    {
        std::lock_guard lock(node->mutex);
        if (node->gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        node->QueueOf(client);
        vanish = node->vanishOn && report.size() > 3 && report[3] == *node->vanishOn && node->vanishAfter-- == 0;
        if (vanish) node->vanishOn.reset();
    }
    if (vanish) {
        // The request went out on the wire; the cable is pulled before the answer.
        umockdev_ioctl_client_complete(client, static_cast<glong>(report.size()), 0);
        node->owner->Unplug(node->product);
        return TRUE;
    }
    const bool taken = node->firmware &&
                       node->firmware->WriteReport(report.data(), report.size(), -1, -1) == HidIoResult::Ok;
    umockdev_ioctl_client_complete(client, taken ? static_cast<glong>(report.size()) : -1, taken ? 0 : EPIPE);
    return TRUE;
}

}  // namespace

HidrawTestbed::HidrawTestbed(VirtualDeviceHub& hub) : hub_(hub), testbed_(umockdev_testbed_new()) {
    if (!umockdev_in_mock_environment()) Fail("not running under libumockdev-preload");
}

HidrawTestbed::~HidrawTestbed() {
    {
        std::lock_guard lock(mutex_);
        for (auto& [name, plugged] : plugged_) {
            for (Node* node : {plugged->vendor.get(), plugged->boot.get()})
                if (node != nullptr) node->StopPump();
        }
    }
    plugged_.clear();
    retired_.clear();
    g_object_unref(testbed_);
}

const UsbProduct& HidrawTestbed::Find(const std::string& name) const {
    for (const UsbProduct& product : TestbedProducts())
        if (product.name == name) return product;
    Fail("no product \"" + name + "\"");
}

std::unique_ptr<Node> HidrawTestbed::AddNode(const std::string& interfacePath, const UsbProduct& product,
                                             const std::vector<uint8_t>& descriptor, const char* emulator) {
    auto node = std::make_unique<Node>();
    node->owner = this;
    node->product = product.name;
    node->vendorId = product.vendorId;
    node->productId = product.productId;
    node->descriptor = descriptor;
    const std::string ids = Upper(Hex(product.vendorId, 4) + ":" + Hex(product.productId, 4));
    const std::string number = std::to_string(nextNode_++);
    gchar* hid = umockdev_testbed_add_device(testbed_, "hid", ("0003:" + ids + "." + Hex(nextNode_, 4)).c_str(),
                                             interfacePath.c_str(), nullptr, "HID_ID",
                                             ("0003:0000" + Upper(Hex(product.vendorId, 4)) + ":0000" +
                                              Upper(Hex(product.productId, 4)))
                                                 .c_str(),
                                             "HID_NAME", product.name, nullptr);
    if (hid == nullptr) Fail("cannot add the hid device of " + std::string(product.name));
    umockdev_testbed_set_attribute_binary(testbed_, hid, "report_descriptor", const_cast<guint8*>(descriptor.data()),
                                          static_cast<gint>(descriptor.size()));
    // A node without recorded contents: umockdev backs it with a pseudo-terminal.
    node->devnode = "/dev/hidraw" + number;
    node->syspath = std::string(hid) + "/hidraw/hidraw" + number;
    const std::string record = "P: " + node->syspath.substr(4) + "\nN: hidraw" + number + "\nE: DEVNAME=" +
                               node->devnode + "\nE: SUBSYSTEM=hidraw\n\n";
    g_free(hid);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error)) Fail("cannot add " + node->devnode);
    // As in sysfs: the node's "device" is its HID device.
    umockdev_testbed_set_attribute_link(testbed_, node->syspath.c_str(), "device", "../..");
    node->master = umockdev_testbed_get_dev_fd(testbed_, node->devnode.c_str());
    const char* terminal = node->master >= 0 ? ::ptsname(node->master) : nullptr;
    struct stat status {};
    if (terminal == nullptr || ::stat(terminal, &status) != 0) Fail("no terminal behind " + node->devnode);
    termios mode{};
    ::tcgetattr(node->master, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(node->master, TCSANOW, &mode);
    node->bell = ::open(terminal, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // fstat() of an opened node gives the terminal's number: the node takes
    // it, so udev finds the node by number as it would a real one.
    node->devnum = std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    umockdev_testbed_set_attribute(testbed_, node->syspath.c_str(), "dev", node->devnum.c_str());
    umockdev_testbed_set_property_int(testbed_, node->syspath.c_str(), "MAJOR", static_cast<int>(major(status.st_rdev)));
    umockdev_testbed_set_property_int(testbed_, node->syspath.c_str(), "MINOR", static_cast<int>(minor(status.st_rdev)));
    gchar* sys = umockdev_testbed_get_sys_dir(testbed_);
    std::error_code ignored;
    std::filesystem::create_directories(std::string(sys) + "/dev/char", ignored);
    std::filesystem::create_directory_symlink("../.." + node->syspath.substr(4), std::string(sys) + "/dev/char/" + node->devnum,
                                              ignored);
    g_free(sys);

    node->handler = umockdev_ioctl_base_new();
    g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(AnswerIoctl), node.get());
    g_signal_connect(node->handler, "handle-read", G_CALLBACK(AnswerRead), node.get());
    g_signal_connect(node->handler, "handle-write", G_CALLBACK(AnswerWrite), node.get());
    if (!umockdev_testbed_attach_ioctl(testbed_, node->devnode.c_str(), node->handler, &error))
        Fail("cannot answer the ioctls of " + node->devnode);

    if (emulator != nullptr) {
        if (!hub_.Plug(emulator)) Fail("no emulator \"" + std::string(emulator) + "\"");
        for (const std::string& path : hub_.Backend()->EnumerateInterfaces()) {
            const bool single = ParseCollectionNumber(path) == 0;
            if (ParseProductId(path) == product.productId && (single || ParseCollectionNumber(path) == 4)) {
                node->firmware = hub_.Backend()->Open(path, true, true);
                break;
            }
        }
        if (!node->firmware) Fail("the emulator \"" + std::string(emulator) + "\" has no node");
        node->pump = std::thread([raw = node.get()] { raw->Pump(); });
    }
    return node;
}

std::string HidrawTestbed::Plug(const std::string& name) {
    const UsbProduct& product = Find(name);
    std::lock_guard lock(mutex_);
    if (plugged_.count(name) != 0) Fail(name + " is plugged already");
    auto plugged = std::make_unique<Plugged>();
    const std::string port = "1-" + std::to_string(nextPort_++);
    gchar* usb = umockdev_testbed_add_device(testbed_, "usb", ("usb1/" + port).c_str(), nullptr, "idVendor",
                                             Hex(product.vendorId, 4).c_str(), "idProduct",
                                             Hex(product.productId, 4).c_str(), "bcdDevice",
                                             Hex(product.bcdDevice, 4).c_str(), nullptr, "DEVTYPE", "usb_device",
                                             nullptr);
    if (usb == nullptr) Fail("cannot add the USB device of " + name);
    plugged->devices.push_back(usb);
    const auto addInterface = [&](uint8_t number) {
        gchar* path = umockdev_testbed_add_device(testbed_, "usb", (port + ":1." + std::to_string(number)).c_str(), usb,
                                                  "bInterfaceNumber", Hex(number, 2).c_str(), "bInterfaceClass", "03",
                                                  nullptr, "DEVTYPE", "usb_interface", nullptr);
        if (path == nullptr) Fail("cannot add an interface of " + name);
        plugged->devices.push_back(path);
        g_free(path);
        return plugged->devices.back();
    };
    if (product.bootMouseInterface) {
        plugged->boot = AddNode(addInterface(0), product, kBootMouseDescriptor, nullptr);
    }
    const bool headset = product.interfaceNumber == 3;
    plugged->vendor = AddNode(addInterface(product.interfaceNumber), product,
                              headset ? HeadsetDescriptor() : InterfaceOneDescriptor(), product.emulator);
    g_free(usb);
    for (const std::string& device : plugged->devices) umockdev_testbed_uevent(testbed_, device.c_str(), "add");
    for (Node* node : {plugged->boot.get(), plugged->vendor.get()}) {
        if (node == nullptr) continue;
        const size_t hid = node->syspath.rfind("/hidraw/");
        umockdev_testbed_uevent(testbed_, node->syspath.substr(0, hid).c_str(), "add");
        umockdev_testbed_uevent(testbed_, node->syspath.c_str(), "add");
    }
    const std::string node = plugged->vendor->devnode;
    plugged_[name] = std::move(plugged);
    return node;
}

void HidrawTestbed::Unplug(const std::string& name, Files files) {
    std::lock_guard lock(mutex_);
    PullLocked(name, files);
}

void HidrawTestbed::PullLocked(const std::string& name, Files files) {
    auto found = plugged_.find(name);
    if (found == plugged_.end()) return;
    std::unique_ptr<Plugged> plugged = std::move(found->second);
    plugged_.erase(found);
    // The kernel tells the children first; open files fail from now on.
    std::vector<std::string> gone;
    for (Node* node : {plugged->vendor.get(), plugged->boot.get()}) {
        if (node == nullptr) continue;
        {
            std::lock_guard nodeLock(node->mutex);
            node->gone = true;
            node->RingLocked();
        }
        const size_t hid = node->syspath.rfind("/hidraw/");
        gone.push_back(node->syspath);
        gone.push_back(node->syspath.substr(0, hid));
    }
    gone.insert(gone.end(), plugged->devices.rbegin(), plugged->devices.rend());
    for (const std::string& device : gone) umockdev_testbed_uevent(testbed_, device.c_str(), "remove");
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    for (Node* node : {plugged->vendor.get(), plugged->boot.get()}) {
        if (node == nullptr || files == Files::Kept) continue;
        std::error_code ignored;
        std::filesystem::remove(std::string(root) + node->devnode, ignored);
        std::filesystem::remove(std::string(root) + "/sys/dev/char/" + node->devnum, ignored);
    }
    for (const std::string& device : gone)
        if (files == Files::Deleted) umockdev_testbed_remove_device(testbed_, device.c_str());
    g_free(root);
    const UsbProduct& product = Find(name);
    if (product.emulator != nullptr) hub_.Unplug(product.emulator);
    retired_.push_back(std::move(plugged->vendor));
    if (plugged->boot) retired_.push_back(std::move(plugged->boot));
}

void HidrawTestbed::RefuseOpen(const std::string& name) {
    std::lock_guard lock(mutex_);
    auto found = plugged_.find(name);
    if (found == plugged_.end()) Fail(name + " is not plugged");
    if (::chmod(::ptsname(found->second->vendor->master), 0) != 0) Fail("cannot lock " + name + "'s node");
}

void HidrawTestbed::VanishOnCommand(const std::string& name, uint8_t command, unsigned after) {
    std::lock_guard lock(mutex_);
    auto found = plugged_.find(name);
    if (found == plugged_.end()) Fail(name + " is not plugged");
    std::lock_guard nodeLock(found->second->vendor->mutex);
    found->second->vendor->vanishOn = command;
    found->second->vendor->vanishAfter = after;
}

std::string HidrawTestbed::VendorNode(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = plugged_.find(name);
    return found == plugged_.end() ? std::string() : found->second->vendor->devnode;
}

std::string HidrawTestbed::BootNode(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = plugged_.find(name);
    return found == plugged_.end() || !found->second->boot ? std::string() : found->second->boot->devnode;
}

}  // namespace m470::test
