#include "device_link/VirtualHidBackend.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/eventfd.h>
#include <unistd.h>

#include "device_link/HidDescriptor.h"
#include "device_link/KnownInterface.h"

namespace m470 {

using Clock = std::chrono::steady_clock;

// One opener's input queue. Like hidraw, each opener keeps its own copy of
// every report of the node, in a ring of 64 slots of which one stays free:
// with 63 reports unread the newest is dropped.
struct VirtualHidInterface::Reader {
    static constexpr size_t kRingSlots = 64;
    static constexpr size_t kQueueLimit = kRingSlots - 1;
    struct Pending {
        Clock::time_point readyAt;
        std::vector<uint8_t> report;
    };
    std::mutex mutex;
    std::deque<Pending> queue;
    bool gone = false;
    size_t collection = 0;
    int signalFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

    ~Reader() { ::close(signalFd); }
    void Signal() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = ::write(signalFd, &one, sizeof one);
    }
    void Drain() {
        uint64_t value = 0;
        [[maybe_unused]] ssize_t ignored = ::read(signalFd, &value, sizeof value);
    }
};

namespace {

// A wait rounded up to whole milliseconds: a reply due in 0.4 ms is waited
// for 1 ms, not polled for with a zero time limit.
int WholeMilliseconds(Clock::duration left) {
    return static_cast<int>(std::max<long long>(std::chrono::ceil<std::chrono::milliseconds>(left).count(), 1));
}

class VirtualHidNode : public HidNode {
public:
    VirtualHidNode(std::shared_ptr<VirtualHidInterface> interface, bool read, size_t collection)
        : interface_(std::move(interface)), reader_(read ? interface_->Attach(collection) : nullptr),
          collection_(collection) {
        info_.vendorId = interface_->Spec().vendorId;
        info_.productId = interface_->Spec().productId;
        info_.versionNumber = interface_->Spec().versionNumber;
        info_.reportDescriptor = interface_->Spec().reportDescriptor;
    }
    ~VirtualHidNode() override {
        if (reader_) interface_->Detach(reader_);
    }

    const HidNodeInfo& Info() const override { return info_; }

    HidIoResult ReadReport(std::vector<uint8_t>& report, int timeoutMs, int abortFd) override {
        if (!reader_) return HidIoResult::Failed;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
        for (;;) {
            int wait = -1;
            {
                std::lock_guard lock(reader_->mutex);
                if (reader_->gone) return HidIoResult::Failed;
                const auto now = Clock::now();
                if (!reader_->queue.empty() && reader_->queue.front().readyAt <= now) {
                    report = std::move(reader_->queue.front().report);
                    reader_->queue.pop_front();
                    return HidIoResult::Ok;
                }
                if (timeoutMs >= 0) {
                    if (now >= deadline) return HidIoResult::TimedOut;
                    wait = WholeMilliseconds(deadline - now);
                }
                if (!reader_->queue.empty()) {
                    const int untilReady = WholeMilliseconds(reader_->queue.front().readyAt - now);
                    wait = wait < 0 ? untilReady : std::min(wait, untilReady);
                }
                reader_->Drain();
            }
            const HidIoResult waited = WaitForFd(reader_->signalFd, false, abortFd, wait);
            if (waited == HidIoResult::Aborted || waited == HidIoResult::Failed) return waited;
        }
    }

    HidIoResult WriteReport(const uint8_t* data, size_t length, int, int abortFd) override {
        if (abortFd >= 0 && WaitForFd(abortFd, false, -1, 0) == HidIoResult::Ok) return HidIoResult::Aborted;
        return interface_->DeliverWrite({data, length}, false, collection_)
                   ? HidIoResult::Ok
                   : HidIoResult::Failed;
    }

    bool SetOutputReport(const uint8_t* data, size_t length) override {
        return interface_->DeliverWrite({data, length}, true, collection_);
    }

private:
    std::shared_ptr<VirtualHidInterface> interface_;
    std::shared_ptr<VirtualHidInterface::Reader> reader_;
    size_t collection_;
    HidNodeInfo info_;
};

}  // namespace

VirtualHidInterface::VirtualHidInterface(VirtualInterfaceSpec spec, std::string node)
    : spec_(std::move(spec)), node_(std::move(node)) {
    HidDescriptorInfo parsed;
    if (ParseReportDescriptor(spec_.reportDescriptor.data(), spec_.reportDescriptor.size(), parsed))
        collectionCount_ = std::max<size_t>(1, parsed.collections.size());
    collectionPresent_.assign(collectionCount_, true);
}

namespace {
// Index into the presence list: "no &col" (0) is the first collection.
size_t CollectionIndex(size_t collection) { return collection == 0 ? 0 : collection - 1; }
}  // namespace

void VirtualHidInterface::SetCollectionPresent(size_t collection, bool present) {
    std::vector<std::shared_ptr<Reader>> gone;
    {
        std::lock_guard lock(mutex_);
        const size_t index = CollectionIndex(collection);
        if (index >= collectionPresent_.size()) return;
        collectionPresent_[index] = present;
        plugged_ = std::find(collectionPresent_.begin(), collectionPresent_.end(), true) != collectionPresent_.end();
        if (present) return;
        for (auto it = readers_.begin(); it != readers_.end();) {
            if (CollectionIndex((*it)->collection) == index) {
                gone.push_back(*it);
                it = readers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& reader : gone) {
        std::lock_guard lock(reader->mutex);
        reader->gone = true;
        reader->Signal();
    }
}

bool VirtualHidInterface::CollectionPresent(size_t collection) const {
    std::lock_guard lock(mutex_);
    const size_t index = CollectionIndex(collection);
    return index < collectionPresent_.size() && collectionPresent_[index];
}

void VirtualHidInterface::SetWriteHandler(VirtualWriteHandler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void VirtualHidInterface::PushInput(const std::vector<uint8_t>& report, std::chrono::microseconds delay) {
    std::vector<std::shared_ptr<Reader>> readers;
    {
        std::lock_guard lock(mutex_);
        if (!plugged_) return;
        readers = readers_;
    }
    const auto readyAt = Clock::now() + delay;
    for (const auto& reader : readers) {
        std::lock_guard lock(reader->mutex);
        if (reader->queue.size() >= Reader::kQueueLimit) continue;
        reader->queue.push_back({readyAt, report});
        reader->Signal();
    }
}

void VirtualHidInterface::Unplug() {
    std::vector<std::shared_ptr<Reader>> readers;
    {
        std::lock_guard lock(mutex_);
        plugged_ = false;
        collectionPresent_.assign(collectionPresent_.size(), false);
        readers.swap(readers_);
    }
    for (const auto& reader : readers) {
        std::lock_guard lock(reader->mutex);
        reader->gone = true;
        reader->Signal();
    }
}

bool VirtualHidInterface::Plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

void VirtualHidInterface::SetOpenError(int error) {
    std::lock_guard lock(mutex_);
    openError_ = error;
}

int VirtualHidInterface::OpenError() const {
    std::lock_guard lock(mutex_);
    return openError_;
}

size_t VirtualHidInterface::OpenCount() const {
    std::lock_guard lock(mutex_);
    return readers_.size();
}

std::shared_ptr<VirtualHidInterface::Reader> VirtualHidInterface::Attach(size_t collection) {
    auto reader = std::make_shared<Reader>();
    reader->collection = collection;
    std::lock_guard lock(mutex_);
    const size_t index = CollectionIndex(collection);
    if (!plugged_ || index >= collectionPresent_.size() || !collectionPresent_[index]) reader->gone = true;
    else readers_.push_back(reader);
    return reader;
}

void VirtualHidInterface::Detach(const std::shared_ptr<Reader>& reader) {
    std::lock_guard lock(mutex_);
    readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
}

bool VirtualHidInterface::DeliverWrite(std::span<const uint8_t> report, bool viaControlPipe, size_t collection) {
    VirtualWriteHandler handler;
    {
        std::lock_guard lock(mutex_);
        const size_t index = CollectionIndex(collection);
        if (!plugged_ || index >= collectionPresent_.size() || !collectionPresent_[index]) return false;
        handler = handler_;
    }
    return handler ? handler(*this, report, viaControlPipe) : true;
}

VirtualHidBackend::VirtualHidBackend() : changeFd_(::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC)) {}

VirtualHidBackend::~VirtualHidBackend() {
    if (changeFd_ >= 0) ::close(changeFd_);
}

void VirtualHidBackend::NoteChange() {
    ++changes_;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(changeFd_, &one, sizeof one);
}

uint64_t VirtualHidBackend::ChangeCount() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t ignored = ::read(changeFd_, &value, sizeof value);
    return changes_.load();
}

bool VirtualHidBackend::Present(const std::string& path) {
    const std::string node = NodeOfInterfacePath(path);
    std::lock_guard lock(mutex_);
    for (const auto& interface : interfaces_)
        if (interface->Node() == node) return interface->CollectionPresent(ParseCollectionNumber(path));
    return false;
}

std::shared_ptr<VirtualHidInterface> VirtualHidBackend::Plug(const VirtualInterfaceSpec& spec) {
    std::lock_guard lock(mutex_);
    NoteChange();
    auto interface = std::make_shared<VirtualHidInterface>(spec, "/virtual/hidraw" + std::to_string(nextNode_++));
    interfaces_.push_back(interface);
    return interface;
}

void VirtualHidBackend::Unplug(const std::shared_ptr<VirtualHidInterface>& interface) {
    NoteChange();
    {
        std::lock_guard lock(mutex_);
        interfaces_.erase(std::remove(interfaces_.begin(), interfaces_.end(), interface), interfaces_.end());
    }
    if (interface) interface->Unplug();
}

std::vector<std::string> VirtualHidBackend::EnumerateInterfaces() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (const auto& interface : interfaces_) {
        const VirtualInterfaceSpec& spec = interface->Spec();
        HidNodeDescription description{interface->Node(), spec.vendorId, spec.productId, spec.interfaceNumber,
                                       interface->CollectionCount()};
        for (std::string& path : MakeInterfacePaths(description))
            if (interface->CollectionPresent(ParseCollectionNumber(path))) paths.push_back(std::move(path));
    }
    return paths;
}

std::unique_ptr<HidNode> VirtualHidBackend::Open(const std::string& path, bool read, bool write) {
    int error = 0;
    return OpenWithError(path, read, write, error);
}

std::unique_ptr<HidNode> VirtualHidBackend::OpenWithError(const std::string& path, bool read, bool, int& error) {
    const std::string node = NodeOfInterfacePath(path);
    std::lock_guard lock(mutex_);
    const size_t collection = ParseCollectionNumber(path);
    error = ENOENT;
    for (const auto& interface : interfaces_) {
        if (interface->Node() != node || !interface->CollectionPresent(collection)) continue;
        error = interface->OpenError();
        if (error == 0) return std::make_unique<VirtualHidNode>(interface, read, collection);
        return nullptr;
    }
    return nullptr;
}

}  // namespace m470
