#pragma once
// Real hardware: hidraw nodes found through libudev.
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "device_link/HidBackend.h"
#include "device_link/NodeFolderWatch.h"

struct udev;
struct udev_monitor;

namespace m470 {

// What udev says about one hidraw node, reduced to plain values so the
// mapping to interface paths can be tested without udev.
struct HidrawUdevRecord {
    std::string devnode;        // /dev/hidrawN
    std::string hidId;          // HID_ID of the parent hid device: "0003:0000320F:0000222E"
    std::string interfaceNumber;// bInterfaceNumber of the usb_interface parent ("01"), empty if none
    std::string bcdDevice;      // of the usb_device parent ("0102"), empty if none
    std::vector<uint8_t> reportDescriptor;
};

// Parses HID_ID and bInterfaceNumber and counts the descriptor's top-level
// collections; nullopt for a record that is not a usable HID node.
std::optional<HidNodeDescription> DescribeHidrawRecord(const HidrawUdevRecord& record);

class HidrawBackend : public HidBackend {
public:
    std::vector<std::string> EnumerateInterfaces() override;
    std::unique_ptr<HidNode> Open(const std::string& path, bool read, bool write) override;
    std::unique_ptr<HidNode> OpenWithError(const std::string& path, bool read, bool write, int& error) override;
    // The node still exists and still belongs to the same product.
    bool Present(const std::string& path) override;
    // Counts udev "add"/"remove" events of hidraw nodes (without a udev
    // daemon, the nodes made and removed in /dev) and notes the nodes removed.
    uint64_t ChangeCount() override;
    // The udev monitor's descriptor, or the /dev watch's without a daemon.
    int ChangeFd() override;
    ~HidrawBackend() override;
    // One event of the monitor ("add" or "remove") for a node.
    void NoteNodeEvent(const std::string& action, const std::string& node);

    // Wraps an already open fd (a hidraw node, or a socket standing in for one
    // in tests). Takes ownership of fd.
    static std::unique_ptr<HidNode> WrapFd(int fd, HidNodeInfo info);

private:
    std::vector<HidrawUdevRecord> ReadUdevRecords();
    // Creates the udev monitor (or the /dev watch) once; the caller holds monitorMutex_.
    void EnsureMonitor();
    void NoteNodeEventLocked(const std::string& action, const std::string& node);
    // Descriptors are cached by node and HID_ID, so an enumeration every
    // 100 ms does not re-read and re-parse sysfs each time.
    struct CachedNode {
        std::string hidId;
        std::optional<HidNodeDescription> description;
    };
    std::mutex cacheMutex_;
    std::mutex monitorMutex_;
    ::udev* monitorContext_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
    std::unique_ptr<NodeFolderWatch> folderWatch_;  // only while no udev daemon runs
    uint64_t changes_ = 1;
    // Nodes the monitor reported removed and not added again since: gone,
    // even while their file is still there (the daemon's event can come
    // before the node's file is deleted).
    std::set<std::string> removedNodes_;
    // Nodes removed since the last look at them: a node added again under
    // the same name (the kernel reuses the lowest free number, so a quick
    // replug does) is another device, and whoever held the old one lost it.
    std::set<std::string> replacedNodes_;
    std::map<std::string, CachedNode> cache_;
};

}  // namespace m470
