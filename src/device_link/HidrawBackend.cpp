#include "device_link/HidrawBackend.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <libudev.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device_link/HidDescriptor.h"
#include "device_link/KnownInterface.h"

namespace m470 {
namespace {

std::vector<uint8_t> ReadSysfsFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Attribute(udev_device* device, const char* name) {
    const char* value = device != nullptr ? udev_device_get_sysattr_value(device, name) : nullptr;
    return value != nullptr ? value : "";
}

std::string Property(udev_device* device, const char* name) {
    const char* value = device != nullptr ? udev_device_get_property_value(device, name) : nullptr;
    return value != nullptr ? value : "";
}

bool ParseHex(const std::string& text, unsigned long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, 16);
    return errno == 0 && end != nullptr && (*end == '\0' || *end == '\n');
}

class HidrawNode : public HidNode {
public:
    HidrawNode(int fd, HidNodeInfo info) : fd_(fd), info_(std::move(info)) {
        HidDescriptorInfo parsed;
        if (ParseReportDescriptor(info_.reportDescriptor.data(), info_.reportDescriptor.size(), parsed))
            for (const HidCollection& collection : parsed.collections) numbered_ = numbered_ || collection.numbered;
    }
    ~HidrawNode() override { ::close(fd_); }

    const HidNodeInfo& Info() const override { return info_; }

    HidIoResult ReadReport(std::vector<uint8_t>& report, int timeoutMs, int abortFd) override {
        for (;;) {
            HidIoResult waited = WaitForFd(fd_, false, abortFd, timeoutMs);
            if (waited != HidIoResult::Ok) return waited;
            uint8_t buffer[4096 + 1];
            uint8_t* target = numbered_ ? buffer : buffer + 1;  // unnumbered reports get ID 0 in front
            const ssize_t got = ::read(fd_, target, 4096);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;  // another reader took it
            if (got <= 0) return HidIoResult::Failed;
            buffer[0] = numbered_ ? buffer[0] : 0;
            report.assign(buffer, buffer + got + (numbered_ ? 0 : 1));
            return HidIoResult::Ok;
        }
    }

    HidIoResult WriteReport(const uint8_t* data, size_t length, int timeoutMs, int abortFd) override {
        HidIoResult waited = WaitForFd(fd_, true, abortFd, timeoutMs);
        if (waited != HidIoResult::Ok) return waited;
        ssize_t written;
        do written = ::write(fd_, data, length);
        while (written < 0 && errno == EINTR);
        return written == static_cast<ssize_t>(length) ? HidIoResult::Ok : HidIoResult::Failed;
    }

    bool SetOutputReport(const uint8_t* data, size_t length) override {
#ifdef HIDIOCSOUTPUT
        // The ioctl is declared to write into its buffer: it gets a copy, on
        // the stack for the short reports a frame is streamed in.
        std::array<uint8_t, 64> shortCopy;
        std::vector<uint8_t> longCopy;
        uint8_t* copy = shortCopy.data();
        if (length > shortCopy.size()) {
            longCopy.assign(data, data + length);
            copy = longCopy.data();
        } else {
            std::copy_n(data, length, copy);
        }
        if (::ioctl(fd_, HIDIOCSOUTPUT(length), copy) >= 0) return true;
#endif
        // Kernels without the control-pipe ioctl take output reports by write().
        return ::write(fd_, data, length) == static_cast<ssize_t>(length);
    }

private:
    int fd_;
    HidNodeInfo info_;
    bool numbered_ = false;
};

}  // namespace

std::optional<HidNodeDescription> DescribeHidrawRecord(const HidrawUdevRecord& record) {
    // HID_ID is "bus:vendor:product" in hex.
    const size_t first = record.hidId.find(':');
    const size_t second = first == std::string::npos ? first : record.hidId.find(':', first + 1);
    unsigned long vendor = 0, product = 0;
    if (record.devnode.empty() || second == std::string::npos ||
        !ParseHex(record.hidId.substr(first + 1, second - first - 1), vendor) ||
        !ParseHex(record.hidId.substr(second + 1), product))
        return std::nullopt;
    HidNodeDescription description;
    description.node = record.devnode;
    description.vendorId = static_cast<uint16_t>(vendor);
    description.productId = static_cast<uint16_t>(product);
    unsigned long interfaceNumber = 0;
    if (ParseHex(record.interfaceNumber, interfaceNumber)) description.interfaceNumber = static_cast<int>(interfaceNumber & 0xFF);
    HidDescriptorInfo parsed;
    description.collectionCount =
        ParseReportDescriptor(record.reportDescriptor.data(), record.reportDescriptor.size(), parsed)
            ? std::max<size_t>(1, parsed.collections.size())
            : 1;
    return description;
}

std::vector<HidrawUdevRecord> HidrawBackend::ReadUdevRecords() {
    std::vector<HidrawUdevRecord> records;
    udev* context = udev_new();
    if (context == nullptr) return records;
    udev_enumerate* enumerate = udev_enumerate_new(context);
    udev_enumerate_add_match_subsystem(enumerate, "hidraw");
    udev_enumerate_scan_devices(enumerate);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
        udev_device* node = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (node == nullptr) continue;
        HidrawUdevRecord record;
        const char* devnode = udev_device_get_devnode(node);
        record.devnode = devnode != nullptr ? devnode : "";
        udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
        record.hidId = Property(hid, "HID_ID");
        udev_device* usbInterface = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface");
        record.interfaceNumber = Attribute(usbInterface, "bInterfaceNumber");
        udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device");
        record.bcdDevice = Attribute(usbDevice, "bcdDevice");
        if (hid != nullptr) {
            const char* syspath = udev_device_get_syspath(hid);
            std::lock_guard lock(cacheMutex_);
            auto cached = cache_.find(record.devnode);
            if (cached == cache_.end() || cached->second.hidId != record.hidId)
                record.reportDescriptor = ReadSysfsFile(std::string(syspath) + "/report_descriptor");
        }
        records.push_back(std::move(record));
        udev_device_unref(node);
    }
    udev_enumerate_unref(enumerate);
    udev_unref(context);
    return records;
}

std::vector<std::string> HidrawBackend::EnumerateInterfaces() {
    std::vector<std::string> paths;
    std::map<std::string, CachedNode> fresh;
    std::set<std::string> removed;
    {
        std::lock_guard lock(monitorMutex_);
        removed = removedNodes_;
        // What is listed now is whatever holds the node now.
        replacedNodes_.clear();
    }
    for (const HidrawUdevRecord& record : ReadUdevRecords()) {
        if (removed.count(record.devnode) != 0) continue;  // its files may outlive the "remove"
        CachedNode node;
        {
            std::lock_guard lock(cacheMutex_);
            auto cached = cache_.find(record.devnode);
            if (cached != cache_.end() && cached->second.hidId == record.hidId)
                node = cached->second;
            else
                node = CachedNode{record.hidId, DescribeHidrawRecord(record)};
        }
        if (node.description)
            for (std::string& path : MakeInterfacePaths(*node.description)) paths.push_back(std::move(path));
        fresh[record.devnode] = std::move(node);
    }
    std::lock_guard lock(cacheMutex_);
    cache_ = std::move(fresh);
    return paths;
}

std::unique_ptr<HidNode> HidrawBackend::Open(const std::string& path, bool read, bool write) {
    int error = 0;
    return OpenWithError(path, read, write, error);
}

std::unique_ptr<HidNode> HidrawBackend::OpenWithError(const std::string& path, bool read, bool write, int& error) {
    const std::string node = NodeOfInterfacePath(path);
    const int flags = (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(node.c_str(), flags);
    error = fd < 0 ? errno : EIO;  // EIO stands for a node that opened but would not describe itself
    if (fd < 0) return nullptr;
    HidNodeInfo info;
    hidraw_devinfo devinfo {};
    int descriptorSize = 0;
    if (::ioctl(fd, HIDIOCGRAWINFO, &devinfo) < 0 || ::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 ||
        descriptorSize < 0 || descriptorSize > HID_MAX_DESCRIPTOR_SIZE) {
        ::close(fd);
        return nullptr;
    }
    hidraw_report_descriptor descriptor {};
    descriptor.size = static_cast<uint32_t>(descriptorSize);
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) {
        ::close(fd);
        return nullptr;
    }
    info.vendorId = static_cast<uint16_t>(devinfo.vendor);
    info.productId = static_cast<uint16_t>(devinfo.product);
    info.reportDescriptor.assign(descriptor.value, descriptor.value + descriptor.size);
    // The firmware version (bcdDevice) is only known to udev.
    struct stat status {};
    if (::fstat(fd, &status) == 0) {
        if (udev* context = udev_new()) {
            if (udev_device* device = udev_device_new_from_devnum(context, 'c', status.st_rdev)) {
                udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
                unsigned long version = 0;
                if (ParseHex(Attribute(usbDevice, "bcdDevice"), version))
                    info.versionNumber = static_cast<uint16_t>(version);
                udev_device_unref(device);
            }
            udev_unref(context);
        }
    }
    error = 0;
    return std::make_unique<HidrawNode>(fd, std::move(info));
}

HidrawBackend::~HidrawBackend() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (monitorContext_ != nullptr) udev_unref(monitorContext_);
}

void HidrawBackend::NoteNodeEvent(const std::string& action, const std::string& node) {
    std::lock_guard lock(monitorMutex_);
    NoteNodeEventLocked(action, node);
}

void HidrawBackend::NoteNodeEventLocked(const std::string& action, const std::string& node) {
    if (action == "remove") {
        removedNodes_.insert(node);
        replacedNodes_.insert(node);
    } else if (action == "add") {
        removedNodes_.erase(node);
    }
}

bool HidrawBackend::Present(const std::string& path) {
    const std::string node = NodeOfInterfacePath(path);
    {
        std::lock_guard lock(monitorMutex_);
        if (removedNodes_.count(node) != 0) return false;
        if (replacedNodes_.erase(node) != 0) return false;  // once: the next look is at the new device
    }
    struct stat status {};
    if (::stat(node.c_str(), &status) != 0) return false;
    // A node number can be reused by another device: the ids must still match.
    const std::string uevent = "/sys/class/hidraw/" + node.substr(node.rfind('/') + 1) + "/device/uevent";
    const std::vector<uint8_t> text = ReadSysfsFile(uevent);
    if (text.empty()) return true;
    char ids[32];
    std::snprintf(ids, sizeof ids, "%08X:%08X", ParseVendorId(path), ParseProductId(path));
    return std::string(text.begin(), text.end()).find(ids) != std::string::npos;
}

void HidrawBackend::EnsureMonitor() {
    if (monitor_ != nullptr || monitorContext_ != nullptr || folderWatch_) return;
    monitorContext_ = udev_new();
    // Without a running udev daemon the monitor would never report anything:
    // watch /dev instead, where the kernel makes and removes the nodes.
    udev_queue* queue = monitorContext_ != nullptr ? udev_queue_new(monitorContext_) : nullptr;
    const bool daemonRunning = queue != nullptr && udev_queue_get_udev_is_active(queue) != 0;
    if (queue != nullptr) udev_queue_unref(queue);
    if (daemonRunning) monitor_ = udev_monitor_new_from_netlink(monitorContext_, "udev");
    if (monitor_ != nullptr) {
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr);
        if (udev_monitor_enable_receiving(monitor_) < 0) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    if (monitor_ == nullptr) {
        folderWatch_ = std::make_unique<NodeFolderWatch>("/dev");
        if (folderWatch_->Fd() < 0) folderWatch_.reset();  // nothing tells of changes: the scan looks on its own
    }
}

int HidrawBackend::ChangeFd() {
    std::lock_guard lock(monitorMutex_);
    EnsureMonitor();
    if (monitor_ != nullptr) return udev_monitor_get_fd(monitor_);
    return folderWatch_ ? folderWatch_->Fd() : -1;
}

uint64_t HidrawBackend::ChangeCount() {
    std::lock_guard lock(monitorMutex_);
    EnsureMonitor();
    if (folderWatch_) {
        changes_ += static_cast<uint64_t>(folderWatch_->Drain([this](const char* action, const std::string& node) {
            NoteNodeEventLocked(action, node);
        }));
        return changes_;
    }
    if (monitor_ == nullptr) return ++changes_;  // nothing watches: every pass counts as a change
    const int fd = udev_monitor_get_fd(monitor_);
    while (WaitForFd(fd, false, -1, 0) == HidIoResult::Ok) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (device == nullptr) break;
        ++changes_;
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        if (action != nullptr && node != nullptr) NoteNodeEventLocked(action, node);
        udev_device_unref(device);
    }
    return changes_;
}

std::unique_ptr<HidNode> HidrawBackend::WrapFd(int fd, HidNodeInfo info) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return std::make_unique<HidrawNode>(fd, std::move(info));
}

}  // namespace m470
