#pragma once
// In-process HID interfaces that behave like hidraw nodes: the same interface
// paths, one input queue per opener, time-limited and abortable reads. The
// firmware emulators (and scripted test peers) sit behind them.
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "device_link/HidBackend.h"

namespace m470 {

class VirtualHidInterface;

// Called on the writer's thread for every report written to the interface
// (output reports written with WriteReport, and SetOutputReport). The bytes
// are the writer's own, valid for the call: a write copies nothing.
using VirtualWriteHandler =
    std::function<bool(VirtualHidInterface& from, std::span<const uint8_t> report, bool viaControlPipe)>;

struct VirtualInterfaceSpec {
    uint16_t vendorId = 0, productId = 0, versionNumber = 0;
    int interfaceNumber = 1;
    std::vector<uint8_t> reportDescriptor;
};

class VirtualHidInterface : public std::enable_shared_from_this<VirtualHidInterface> {
public:
    VirtualHidInterface(VirtualInterfaceSpec spec, std::string node);

    const VirtualInterfaceSpec& Spec() const { return spec_; }
    const std::string& Node() const { return node_; }
    size_t CollectionCount() const { return collectionCount_; }

    void SetWriteHandler(VirtualWriteHandler handler);
    // Queues an input report (report ID in byte 0) for every current opener;
    // it becomes readable after delay.
    void PushInput(const std::vector<uint8_t>& report,
                   std::chrono::microseconds delay = std::chrono::microseconds(0));
    // Gone from enumeration; open nodes fail their next and pending I/O.
    void Unplug();
    bool Plugged() const;
    size_t OpenCount() const;
    // One top-level collection (1-based; 0 stands for the only collection of a
    // single-collection node) appears or disappears on its own, so tests can
    // present a node's collections in any order.
    void SetCollectionPresent(size_t collection, bool present);
    bool CollectionPresent(size_t collection) const;
    // Opens of the node fail with this errno (EACCES: a node whose access
    // rule is missing); 0 opens it again.
    void SetOpenError(int error);
    int OpenError() const;

    // Used by the node objects.
    struct Reader;
    std::shared_ptr<Reader> Attach(size_t collection);
    void Detach(const std::shared_ptr<Reader>& reader);
    bool DeliverWrite(std::span<const uint8_t> report, bool viaControlPipe, size_t collection);

private:
    VirtualInterfaceSpec spec_;
    std::string node_;
    size_t collectionCount_ = 1;
    mutable std::mutex mutex_;
    bool plugged_ = true;
    int openError_ = 0;
    std::vector<bool> collectionPresent_;
    VirtualWriteHandler handler_;
    std::vector<std::shared_ptr<Reader>> readers_;
};

class VirtualHidBackend : public HidBackend {
public:
    // Adds an interface; it appears in the next enumeration.
    std::shared_ptr<VirtualHidInterface> Plug(const VirtualInterfaceSpec& spec);
    void Unplug(const std::shared_ptr<VirtualHidInterface>& interface);

    std::vector<std::string> EnumerateInterfaces() override;
    std::unique_ptr<HidNode> Open(const std::string& path, bool read, bool write) override;
    std::unique_ptr<HidNode> OpenWithError(const std::string& path, bool read, bool write, int& error) override;
    bool Present(const std::string& path) override;
    VirtualHidBackend();
    ~VirtualHidBackend() override;
    uint64_t ChangeCount() override;
    // Readable after a change, like a udev monitor, until ChangeCount.
    int ChangeFd() override { return changeFd_; }
    // Interfaces call it when a collection comes or goes.
    void NoteChange();

private:
    std::atomic<uint64_t> changes_{1};
    int changeFd_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<VirtualHidInterface>> interfaces_;
    unsigned nextNode_ = 0;
};

}  // namespace m470
