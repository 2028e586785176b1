#include "sim/VirtualProduct.h"

#include <algorithm>

#include "device_link/CommandCodes.h"
#include "sim/ProductDescriptors.h"
#include "sim/ProductFirmware.h"

namespace m470 {

namespace {
constexpr size_t kConsumerCollection = 3;
}  // namespace

struct VirtualProduct::Link {
    std::shared_ptr<VirtualHidInterface> interface;
    int openError = 0;  // kept for the node of the next plug
};

void TrafficLog::Add(const TrafficEntry& entry) {
    std::lock_guard lock(mutex_);
    if (mirror_ != nullptr) {
        std::fprintf(mirror_, "%s ", entry.interfaceName.c_str());
        for (uint8_t byte : entry.request) std::fprintf(mirror_, "%02x", byte);
        std::fputc('\n', mirror_);
        std::fflush(mirror_);
    }
    if (entries_.size() < kMaxEntries) {
        if (entries_.capacity() < kMaxEntries) entries_.reserve(kMaxEntries);
        entries_.push_back(entry);
        return;
    }
    entries_[oldest_] = entry;  // the name's string keeps its buffer
    oldest_ = (oldest_ + 1) % kMaxEntries;
}

TrafficLog::~TrafficLog() {
    if (mirror_ != nullptr) std::fclose(mirror_);
}

bool TrafficLog::MirrorTo(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (mirror_ == nullptr) mirror_ = std::fopen(path.c_str(), "ae");
    return mirror_ != nullptr;
}

std::vector<TrafficEntry> TrafficLog::Entries() const {
    std::lock_guard lock(mutex_);
    const auto start = entries_.begin() + static_cast<std::ptrdiff_t>(oldest_);
    std::vector<TrafficEntry> ordered(start, entries_.end());
    ordered.insert(ordered.end(), entries_.begin(), start);
    return ordered;
}

void TrafficLog::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();  // the slots' memory stays for the next entries
    oldest_ = 0;
}

VirtualProduct::VirtualProduct(std::shared_ptr<VirtualHidBackend> backend, std::shared_ptr<TrafficLog> log,
                               ProductIdentity identity, std::shared_ptr<FirmwareEmulator> firmware)
    : backend_(std::move(backend)), log_(std::move(log)), identity_(std::move(identity)), firmware_(std::move(firmware)),
      lights_(dynamic_cast<LightRecordFirmware*>(firmware_.get())), cable_(std::make_unique<Link>()),
      receiver_(std::make_unique<Link>()) {}

VirtualProduct::~VirtualProduct() {
    for (bool receiver : {false, true}) Unplug(receiver, InterfacePart::All);
}

VirtualProduct::Link& VirtualProduct::LinkOf(bool receiver) { return receiver ? *receiver_ : *cable_; }
const VirtualProduct::Link& VirtualProduct::LinkOf(bool receiver) const { return receiver ? *receiver_ : *cable_; }

namespace {

// The collections that make up one part of an interface-1 node.
std::vector<size_t> CollectionsOf(InterfacePart part, bool singleCollection) {
    if (singleCollection) return {0};
    switch (part) {
        case InterfacePart::Command: return {1, 2, 4};
        case InterfacePart::Notify: return {kConsumerCollection};
        case InterfacePart::All: break;
    }
    return {1, 2, 3, 4};
}

}  // namespace

void VirtualProduct::Plug(bool receiver, InterfacePart part) {
    if (receiver && identity_.receiverName.empty()) return;
    std::lock_guard lock(mutex_);
    Link& link = LinkOf(receiver);
    if (!link.interface || !link.interface->Plugged()) {
        if (link.interface) backend_->Unplug(link.interface);
        VirtualInterfaceSpec spec;
        spec.vendorId = identity_.vendorId;
        spec.productId = receiver ? identity_.receiverProductId : identity_.productId;
        spec.versionNumber = identity_.version;
        spec.interfaceNumber = identity_.interfaceNumber;
        spec.reportDescriptor = identity_.singleCollection ? HeadsetDescriptor() : InterfaceOneDescriptor();
        link.interface = backend_->Plug(spec);
        link.interface->SetOpenError(link.openError);
        link.interface->SetWriteHandler([this, receiver](VirtualHidInterface& from, std::span<const uint8_t> report,
                                                         bool viaControlPipe) {
            return Handle(receiver, from, report, viaControlPipe);
        });
        // A fresh node starts with only the asked-for collections.
        for (size_t collection : CollectionsOf(InterfacePart::All, identity_.singleCollection))
            link.interface->SetCollectionPresent(collection, false);
    }
    for (size_t collection : CollectionsOf(part, identity_.singleCollection))
        link.interface->SetCollectionPresent(collection, true);
    backend_->NoteChange();
}

void VirtualProduct::SetOpenError(bool receiver, int error) {
    if (receiver && identity_.receiverName.empty()) return;
    {
        std::lock_guard lock(mutex_);
        Link& link = LinkOf(receiver);
        link.openError = error;
        if (link.interface) link.interface->SetOpenError(error);
    }
    backend_->NoteChange();  // as udev tells a node whose access changed
}

void VirtualProduct::Unplug(bool receiver, InterfacePart part) {
    std::lock_guard lock(mutex_);
    Link& link = LinkOf(receiver);
    if (!link.interface) return;
    for (size_t collection : CollectionsOf(part, identity_.singleCollection))
        link.interface->SetCollectionPresent(collection, false);
    if (!link.interface->Plugged()) {
        backend_->Unplug(link.interface);
        link.interface.reset();
    }
    backend_->NoteChange();
}

bool VirtualProduct::Plugged(bool receiver, InterfacePart part) const {
    std::lock_guard lock(mutex_);
    const Link& link = LinkOf(receiver);
    if (!link.interface) return false;
    for (size_t collection : CollectionsOf(part, identity_.singleCollection))
        if (!link.interface->CollectionPresent(collection)) return false;
    return true;
}

void VirtualProduct::SetPower(bool on) {
    std::lock_guard lock(mutex_);
    powered_ = on;
}

bool VirtualProduct::Powered() const {
    std::lock_guard lock(mutex_);
    return powered_;
}

void VirtualProduct::SetLatency(std::chrono::microseconds wired, std::chrono::microseconds receiver) {
    std::lock_guard lock(mutex_);
    wiredLatency_ = wired;
    receiverLatency_ = receiver;
}

bool VirtualProduct::Handle(bool receiver, VirtualHidInterface& from, std::span<const uint8_t> report,
                            bool viaControlPipe) {
    TrafficEntry entry;
    entry.time = std::chrono::steady_clock::now();
    entry.interfaceName = receiver ? identity_.receiverName : identity_.name;
    std::copy_n(report.begin(), std::min(report.size(), entry.request.size()), entry.request.begin());
    if (viaControlPipe || (!report.empty() && report[0] != kCommandReportId)) {
        entry.viaControlPipe = true;
        entry.dropped = TakeFault(kOutputReportFault).has_value();
        const bool accepted = !entry.dropped && lights_ != nullptr && lights_->AcceptOutputReport(report);
        log_->Add(entry);
        return accepted;
    }
    bool powered;
    std::chrono::microseconds latency;
    {
        std::lock_guard lock(mutex_);
        powered = powered_;
        latency = receiver ? receiverLatency_ : wiredLatency_;
    }
    Report reply{};
    if (const auto fault = TakeFault(entry.request[packet::kCommand])) {
        entry.dropped = *fault == FaultKind::Drop;
        if (entry.dropped) {
            log_->Add(entry);
            return true;
        }
        entry.reply = FailedReply(entry.request);
        log_->Add(entry);
        from.PushInput(std::vector<uint8_t>(entry.reply.begin(), entry.reply.end()), latency);
        return true;
    }
    if (!receiver || (powered && entry.request[packet::kCommand] != command::kQueryLink)) {
        reply = firmware_->Answer(entry.request);
    } else {
        // The receiver answers for itself: its link query, and any command
        // while the product behind it is off.
        reply[packet::kReportId] = kCommandReportId;
        reply[packet::kCommand] = packet::kReceiverAnswer;
        reply[kReportDataOffset] = powered ? 0xFF : 0x00;
    }
    entry.reply = reply;
    log_->Add(entry);
    from.PushInput(std::vector<uint8_t>(reply.begin(), reply.end()), latency);
    return true;
}

void VirtualProduct::InjectFault(uint8_t command, unsigned count, FaultKind kind) {
    std::lock_guard lock(mutex_);
    if (count > 0) faults_.push_back({command, count, kind});
}

unsigned VirtualProduct::PendingFaults() const {
    std::lock_guard lock(mutex_);
    unsigned pending = 0;
    for (const Fault& fault : faults_) pending += fault.remaining;
    return pending;
}

std::optional<FaultKind> VirtualProduct::TakeFault(uint8_t command) {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(faults_.begin(), faults_.end(),
                                    [command](const Fault& fault) { return fault.command == command; });
    if (found == faults_.end()) return std::nullopt;
    const FaultKind kind = found->kind;
    if (--found->remaining == 0) faults_.erase(found);
    return kind;
}

// The header echoed as the firmware echoes it, status 0xFE, no data.
Report VirtualProduct::FailedReply(const Report& request) {
    Report reply{};
    for (size_t byte : {packet::kReportId, packet::kCommand, packet::kLength, packet::kAddressLow, packet::kAddressHigh})
        reply[byte] = request[byte];
    reply[packet::kStatus] = firmware_status::kFailed;
    return reply;
}

bool VirtualProduct::Notify(uint16_t code, bool receiver) {
    std::shared_ptr<VirtualHidInterface> interface;
    {
        std::lock_guard lock(mutex_);
        Link& link = LinkOf(receiver);
        if (!link.interface) return false;
        const size_t collection = identity_.singleCollection ? 0 : kConsumerCollection;
        if (!link.interface->CollectionPresent(collection) || (receiver && !powered_)) return false;
        interface = link.interface;
    }
    firmware_->ApplyNotification(code);
    interface->PushInput({kConsumerReportId, static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)});
    return true;
}

}  // namespace m470
