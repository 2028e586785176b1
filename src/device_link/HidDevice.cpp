#include "device_link/HidDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <new>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

#include "device_link/KnownInterface.h"
#include "platform/DebugTrace.h"

namespace m470 {
namespace {

void SignalFd(int fd) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(fd, &one, sizeof one);
}

void DrainFd(int fd) {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t ignored = ::read(fd, &value, sizeof value);
}

}  // namespace

std::vector<HidDataItem> BuildInputItems(const HidCollection& collection) {
    std::vector<HidDataItem> items;
    // Counted once: asking per capability costs entries × fields.
    const std::map<uint16_t, uint32_t> lengths = collection.UsageListLengths(HidReportType::Input);
    for (const HidButtonCaps& caps : collection.ButtonCaps(HidReportType::Input)) {
        HidDataItem item;
        item.isButton = true;
        item.usagePage = caps.usagePage;
        item.reportId = caps.reportId;
        item.lowestUsage = caps.usageMinimum;
        item.highestUsage = caps.usageMaximum;
        item.usageCapacity = lengths.at(caps.usagePage);
        item.usages.assign(item.usageCapacity, 0);
        items.push_back(std::move(item));
    }
    for (const HidValueCaps& caps : collection.ValueCaps(HidReportType::Input)) {
        HidDataItem item;
        item.usagePage = caps.usagePage;
        item.reportId = caps.reportId;
        item.usage = caps.usage;
        items.push_back(std::move(item));
    }
    return items;
}

CHidDevice::CHidDevice(std::shared_ptr<HidBackend> backend)
    : backend_(backend ? std::move(backend) : DefaultHidBackend()),
      readAbortFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      writeAbortFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CHidDevice::~CHidDevice() {
    Close();
    // A transfer still running on another thread holds its own node reference;
    // wait for it to notice the abort before the events go away.
    while (readPending_ || writePending_) std::this_thread::yield();
    FreePaths();
    ::close(readAbortFd_);
    ::close(writeAbortFd_);
}

bool CHidDevice::EnumeratePaths() {
    paths_ = backend_->EnumerateInterfaces();
    cursor_ = 0;
    return true;
}

const char* CHidDevice::NextPath() {
    if (cursor_ >= paths_.size()) return nullptr;
    return paths_[cursor_++].c_str();
}

void CHidDevice::FreePaths() {
    paths_.clear();
    paths_.shrink_to_fit();
    cursor_ = 0;
}

bool CHidDevice::Open(const std::string& path, bool read, bool write, bool overlapped, bool exclusive) {
    Close();
    openError_ = ENAMETOOLONG;
    if (path.size() > kMaxDevicePathLength) return false;
    openedForRead_ = read;
    openedForWrite_ = write;
    openedOverlapped_ = overlapped;
    openedExclusive_ = exclusive;
    path_ = path;
    std::shared_ptr<HidNode> node = backend_->OpenWithError(path, read, write, openError_);
    if (!node) return false;
    bool filled = false;
    try {
        filled = FillDeviceInformation(node->Info());
    } catch (const std::bad_alloc&) {
        ReleaseReportMembers();  // a descriptor built to exhaust memory: skip the device, never abort
    }
    if (!filled) {
        DebugTrace::Printf("HID: %s skipped: its report descriptor (%zu bytes) is refused", path.c_str(),
                           node->Info().reportDescriptor.size());
        openError_ = EINVAL;
        return false;
    }
    std::lock_guard lock(nodeMutex_);
    node_ = std::move(node);
    return true;
}

bool CHidDevice::FillDeviceInformation(const HidNodeInfo& info) {
    HidDescriptorInfo parsed;
    if (!ParseReportDescriptor(info.reportDescriptor.data(), info.reportDescriptor.size(), parsed)) return false;
    interfaceNumber_ = ParseInterfaceNumber(path_);
    collectionNumber_ = ParseCollectionNumber(path_);
    // Collection N is the N-th top-level collection; a path without "&col"
    // stands for a node with a single collection.
    const size_t index = collectionNumber_ == 0 ? 0 : collectionNumber_ - 1u;
    if (index >= parsed.collections.size()) return false;
    collection_ = parsed.collections[index];
    attributes_ = {info.vendorId, info.productId, info.versionNumber};
    caps_ = HidCaps{};
    caps_.usage = collection_.usage;
    caps_.usagePage = collection_.usagePage;
    caps_.inputReportByteLength = collection_.inputReportByteLength;
    caps_.outputReportByteLength = collection_.outputReportByteLength;
    caps_.featureReportByteLength = collection_.featureReportByteLength;
    caps_.numberInputButtonCaps = static_cast<uint16_t>(collection_.ButtonCaps(HidReportType::Input).size());
    caps_.numberInputValueCaps = static_cast<uint16_t>(collection_.ValueCaps(HidReportType::Input).size());
    caps_.numberOutputButtonCaps = static_cast<uint16_t>(collection_.ButtonCaps(HidReportType::Output).size());
    caps_.numberOutputValueCaps = static_cast<uint16_t>(collection_.ValueCaps(HidReportType::Output).size());
    caps_.numberFeatureButtonCaps = static_cast<uint16_t>(collection_.ButtonCaps(HidReportType::Feature).size());
    caps_.numberFeatureValueCaps = static_cast<uint16_t>(collection_.ValueCaps(HidReportType::Feature).size());
    inputReport_.assign(caps_.inputReportByteLength, 0);
    outputReport_.assign(caps_.outputReportByteLength, 0);
    featureReport_.assign(caps_.featureReportByteLength, 0);
    inputItems_ = BuildInputItems(collection_);
    return true;
}

void CHidDevice::ReleaseReportMembers() {
    inputReport_.clear();
    outputReport_.clear();
    featureReport_.clear();
    inputItems_.clear();
}

void CHidDevice::Close() {
    std::shared_ptr<HidNode> node;
    {
        std::lock_guard lock(nodeMutex_);
        if (readPending_) SignalFd(readAbortFd_);
        if (writePending_) SignalFd(writeAbortFd_);
        node.swap(node_);
        // Nothing of a device that is gone may be taken for the next one's.
        ReleaseReportMembers();
        collection_ = HidCollection{};
        caps_ = HidCaps{};
        attributes_ = HidAttributes{};
        interfaceNumber_ = collectionNumber_ = 0;
    }
    // The node itself closes when the last pending transfer lets go of it.
}

void CHidDevice::AbortPendingRead() {
    std::lock_guard lock(nodeMutex_);
    if (readPending_) SignalFd(readAbortFd_);
}

bool CHidDevice::IsOpen() const {
    std::lock_guard lock(nodeMutex_);
    return node_ != nullptr;
}

std::shared_ptr<HidNode> CHidDevice::CurrentNode(std::atomic<bool>& pending) {
    std::lock_guard lock(nodeMutex_);
    if (!node_) return nullptr;
    pending = true;
    return node_;
}

void CHidDevice::FinishTransfer(std::atomic<bool>& pending, int abortFd) {
    std::lock_guard lock(nodeMutex_);
    DrainFd(abortFd);  // an abort meant for this transfer must not end the next one
    pending = false;
}

int CHidDevice::Read(uint8_t* buffer, size_t length, size_t* transferred, int timeoutMs) {
    if (transferred != nullptr) *transferred = 0;
    std::shared_ptr<HidNode> node;
    std::vector<uint8_t> ownReportIds;  // Close may clear the collection meanwhile
    {
        std::lock_guard lock(nodeMutex_);
        if (!node_) return 0;
        readPending_ = true;
        node = node_;
        ownReportIds = collection_.inputReportIds;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int result = 0;
    std::vector<uint8_t> report;
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = static_cast<int>(std::max<long long>(left, 0));
        }
        if (node->ReadReport(report, wait, readAbortFd_) != HidIoResult::Ok) break;
        // Reports of the node's other collections are not ours.
        if (report.empty() || std::find(ownReportIds.begin(), ownReportIds.end(), report[0]) == ownReportIds.end()) {
            if (timeoutMs >= 0 && Clock::now() >= deadline) break;
            continue;
        }
        const size_t copied = std::min(length, report.size());
        std::memcpy(buffer, report.data(), copied);
        if (transferred != nullptr) *transferred = copied;
        result = 1;
        break;
    }
    FinishTransfer(readPending_, readAbortFd_);
    return result;
}

size_t CHidDevice::DiscardQueuedInput() {
    // The kernel queue holds at most 63 reports; the bound keeps a node that
    // floods faster than we read from holding the exchange forever.
    constexpr size_t kMostDiscarded = 256;
    std::shared_ptr<HidNode> node = CurrentNode(readPending_);
    if (!node) return 0;
    size_t discarded = 0;
    std::vector<uint8_t> report;
    while (discarded < kMostDiscarded && node->ReadReport(report, 0, readAbortFd_) == HidIoResult::Ok) ++discarded;
    FinishTransfer(readPending_, readAbortFd_);
    return discarded;
}

int CHidDevice::Write(const uint8_t* buffer, size_t length, size_t* transferred, int timeoutMs) {
    if (transferred != nullptr) *transferred = 0;
    std::shared_ptr<HidNode> node = CurrentNode(writePending_);
    if (!node) return 0;
    const bool ok = node->WriteReport(buffer, length, timeoutMs, writeAbortFd_) == HidIoResult::Ok;
    if (ok && transferred != nullptr) *transferred = length;
    FinishTransfer(writePending_, writeAbortFd_);
    return ok ? 1 : 0;
}

bool CHidDevice::SetOutputReport(const uint8_t* buffer, size_t length) {
    std::shared_ptr<HidNode> node;
    {
        std::lock_guard lock(nodeMutex_);
        node = node_;
    }
    return node && node->SetOutputReport(buffer, length);
}

bool CHidDevice::UnpackReport(const uint8_t* report, size_t length, HidReportType type, std::vector<HidDataItem>& items,
                              const HidCollection& collection) {
    if (report == nullptr || length == 0) return false;
    const std::vector<HidValueCaps> valueCaps = collection.ValueCaps(type);
    size_t valueIndex = 0;
    std::vector<uint16_t> set;
    for (HidDataItem& item : items) {
        const size_t thisValue = item.isButton ? 0 : valueIndex++;
        if (item.reportId != report[0]) continue;
        if (item.isButton) {
            const bool ok = GetReportUsages(collection, type, item.usagePage, report, length, set);
            item.status = ok ? kHidStatusSuccess : kHidStatusIncompatibleReportId;
            size_t kept = 0;
            for (uint16_t usage : set) {
                if (usage < item.lowestUsage || usage > item.highestUsage || kept >= item.usages.size()) continue;
                item.usages[kept++] = usage;
            }
            if (kept < item.usages.size()) item.usages[kept] = 0;
        } else {
            if (thisValue >= valueCaps.size()) return false;
            uint32_t raw = 0;
            int32_t scaled = 0;
            if (!GetReportValue(valueCaps[thisValue], report, length, raw, scaled)) {
                item.status = kHidStatusIncompatibleReportId;
                return false;
            }
            item.rawValue = raw;
            item.scaledValue = scaled;
            item.status = kHidStatusSuccess;
        }
        item.isSet = true;
    }
    return true;
}

bool CHidDevice::UnpackInputReport(const uint8_t* report, size_t length) {
    return UnpackReport(report, length, HidReportType::Input, inputItems_, collection_);
}

}  // namespace m470
