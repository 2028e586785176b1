#include "devices/DeviceManager.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "devices/HS6533Device.h"
#include "platform/DebugTrace.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

constexpr uint64_t kFullEnumerationMs = 2000;  // retry probes that failed, whatever the change counter says
constexpr int kBlindScanPauseMs = 100;         // a backend without change reports is scanned like this
constexpr int kLinkPolls = 26;
constexpr auto kLinkPollPause = 50ms;

bool IsReceiver(DeviceKind kind) { return kind == DeviceKind::MouseReceiver || kind == DeviceKind::KeyboardReceiver; }
bool IsMouseFamily(DeviceKind kind) { return kind == DeviceKind::Mouse || kind == DeviceKind::MouseReceiver; }
bool IsKeyboardFamily(DeviceKind kind) { return kind == DeviceKind::Keyboard || kind == DeviceKind::KeyboardReceiver; }

// The family's debug lines: arrival, loss.
struct FamilyLines {
    const char* added;
    const char* removed;
};
FamilyLines LinesOf(DeviceKind kind) {
    if (IsKeyboardFamily(kind)) return {"添加一个键盘设备", "删除一个键盘设备"};
    if (IsMouseFamily(kind)) return {"添加一个鼠标设备", "删除一个鼠标设备"};
    if (kind == DeviceKind::MousePad) return {"添加一个鼠标垫设备", "删除一个鼠标垫设备"};
    return {"添加一个耳机设备", "删除一个耳机设备"};
}

bool SameRow(const KnownInterface& a, const KnownInterface& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId && a.interfaceNumber == b.interfaceNumber &&
           a.collectionNumber == b.collectionNumber && a.kind == b.kind && a.role == b.role && a.usagePage == b.usagePage &&
           a.usage == b.usage;
}

uint64_t NowMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

}  // namespace

CDeviceManager::CDeviceManager(DeviceManagerUi ui, std::shared_ptr<HidBackend> backend, std::vector<ProductRow> products)
    : ui_(std::move(ui)), backend_(backend ? std::move(backend) : DefaultHidBackend()), products_(std::move(products)),
      interfaces_(InterfacesOf(products_)), slots_(interfaces_.size()) {
    for (size_t i = 0; i < slots_.size(); ++i) slots_[i].row = interfaces_[i];
}

CDeviceManager::~CDeviceManager() = default;

std::vector<CVantrelUSBDevice*> CDeviceManager::Devices() const {
    std::vector<CVantrelUSBDevice*> devices;
    for (const auto& device : devices_) devices.push_back(device.get());
    return devices;
}

DeviceSlot CDeviceManager::Slot(size_t index) const {
    std::lock_guard lock(slotsMutex_);
    return slots_.at(index);
}

void CDeviceManager::CreateStartupDevices() {
    OnAccessChanged();  // what the no-device page says it looks for
    // Each mouse from the slot of its cable's command interface.
    for (size_t s = 0; s < interfaces_.size(); ++s)
        if (interfaces_[s].kind == DeviceKind::Mouse && interfaces_[s].role == InterfaceRole::Command) AddDevice(s);
}

// ---- scanning (scan thread) ----

void CDeviceManager::Send(uint32_t message, size_t slot) {
    if (ui_.owner != nullptr) ui_.owner->Send(message, static_cast<intptr_t>(slot), 0);
}

void CDeviceManager::ScanPass(CHidDevice& probe) {
    // The backend's news first (it may learn of removals from them), then the
    // losses: a product replugged since the last pass has a new node, and its
    // slot must be free before the enumeration looks for it.
    const uint64_t change = backend_->ChangeCount();
    NoteLosses();
    bool anyFree = false;
    {
        std::lock_guard lock(slotsMutex_);
        for (const DeviceSlot& slot : slots_) anyFree = anyFree || slot.Free();
    }
    const uint64_t now = NowMs();
    // Enumerate only while a slot is free, and then only when interfaces may
    // have changed (or now and then, to retry probes that failed).
    if (anyFree && (!firstPassDone_ || change != lastChange_ || now - lastEnumerationMs_ >= kFullEnumerationMs)) {
        lastChange_ = change;
        lastEnumerationMs_ = now;
        retryPending_ = false;
        probe.EnumeratePaths();
        std::vector<RefusedNode> refused;
        while (const char* candidate = probe.NextPath()) {
            const std::string path = candidate;
            const auto row = MatchPath(path, interfaces_);
            if (!row) continue;
            bool wanted = false;
            {
                std::lock_guard lock(slotsMutex_);
                for (const DeviceSlot& slot : slots_) {
                    if (slot.path == path) {
                        wanted = false;  // already ours
                        break;
                    }
                    const KnownInterface& known = interfaces_[*row];
                    wanted = wanted || (slot.Free() && slot.row.vendorId == known.vendorId &&
                                        slot.row.productId == known.productId &&
                                        slot.row.interfaceNumber == known.interfaceNumber &&
                                        slot.row.collectionNumber == known.collectionNumber);
                }
            }
            if (!wanted) continue;
            CHidDevice identifying(backend_);
            if (!identifying.Open(path, true, false, true, false)) {
                retryPending_ = true;  // e.g. its access rule is not applied yet
                if (IsPermissionRefusal(identifying.OpenError()))
                    AddRefusal(refused, interfaces_[*row], path, identifying.OpenError());
                continue;
            }
            const auto capability =
                MatchCapabilities({identifying.Attributes().vendorId, identifying.Attributes().productId,
                                   identifying.InterfaceNumber(), identifying.CollectionNumber(),
                                   identifying.Caps().usagePage, identifying.Caps().usage},
                                  interfaces_);
            identifying.Close();
            if (!capability) continue;
            std::optional<size_t> taken;
            {
                std::lock_guard lock(slotsMutex_);
                for (size_t s = 0; s < slots_.size() && !taken; ++s) {
                    if (slots_[s].Free() && SameRow(slots_[s].row, interfaces_[*capability])) {
                        slots_[s].present = true;
                        slots_[s].path = path;
                        taken = s;
                    }
                }
            }
            if (taken) Send(ui::kMsgInterfaceArrived, *taken);
        }
        probe.FreePaths();
        NoteRefusals(std::move(refused));
        if (!firstPassDone_ && ui_.owner != nullptr) ui_.owner->Post(kMsgFirstScanDone, 0, 0);
        firstPassDone_ = true;
    }
}

void CDeviceManager::NoteLosses() {
    for (size_t s = 0; s < slots_.size(); ++s) {
        std::string path;
        {
            std::lock_guard lock(slotsMutex_);
            if (!slots_[s].present) continue;
            path = slots_[s].path;
        }
        if (backend_->Present(path)) continue;
        {
            std::lock_guard lock(slotsMutex_);
            slots_[s].present = false;
            slots_[s].path.clear();
        }
        Send(ui::kMsgInterfaceLost, s);
    }
}

void CDeviceManager::AddRefusal(std::vector<RefusedNode>& refused, const KnownInterface& row, const std::string& path,
                                int error) const {
    const std::string node = NodeOfInterfacePath(path);
    for (const RefusedNode& listed : refused)
        if (listed.node == node) return;  // one line per node, whatever its collections
    for (const ProductRow& product : products_)
        if (product.vendorId == row.vendorId &&
            (product.productId == row.productId || (product.receiverProductId != 0 && product.receiverProductId == row.productId)))
            refused.push_back({product.name, row.kind, node, error});
}

void CDeviceManager::NoteRefusals(std::vector<RefusedNode> refused) {
    {
        std::lock_guard lock(slotsMutex_);
        if (refused == refused_) return;
        for (const RefusedNode& node : refused)
            if (std::find(refused_.begin(), refused_.end(), node) == refused_.end())
                DebugTrace::Write(RefusalText(node, ui_.translate) + " (" + std::strerror(node.error) + ") " +
                                  RefusalFixText(ui_.translate));
        refused_ = std::move(refused);
    }
    if (ui_.owner != nullptr) ui_.owner->Send(kMsgAccessChanged, 0, 0);
}

std::vector<RefusedNode> CDeviceManager::Refused() const {
    std::lock_guard lock(slotsMutex_);
    return refused_;
}

void CDeviceManager::OnAccessChanged() {
    if (ui_.views != nullptr) ui_.views->LookingFor(products_, Refused());
}

int CDeviceManager::ScanWaitMs() const {
    if (backend_->ChangeFd() < 0) return kBlindScanPauseMs;  // nothing tells us of changes
    return retryPending_ ? static_cast<int>(kFullEnumerationMs) : -1;
}

void CDeviceManager::RunScanThread(const StopEvent& stop) {
    CHidDevice probe(backend_);
    // A pass runs at start, then whenever the backend reports a change (or a
    // failed probe is due again); in between the thread sleeps in poll().
    while (!stop.IsSet()) {
        ScanPass(probe);
        if (WaitForFdOrStop(backend_->ChangeFd(), stop, ScanWaitMs()) == FdWait::Stopped) break;
    }
    DebugTrace::Write("抓取设备线程设定退出");
}

// ---- identity ----

bool CDeviceManager::TwinPresent(size_t s) const {
    std::lock_guard lock(slotsMutex_);
    const KnownInterface& row = slots_[s].row;
    if (!row.hasTwin) return false;
    const DeviceSlot& twin = slots_[row.twinRow];
    return twin.row.twinRow == s && twin.present && !twin.path.empty();
}

size_t CDeviceManager::IdentityRow(size_t s) const {
    const KnownInterface& row = interfaces_[s];
    if (row.role == InterfaceRole::Command) {
        if (IsReceiver(row.kind) && row.hasTwin && interfaces_[row.twinRow].twinRow == s) return row.twinRow;
        return s;
    }
    // A notification slot stands for the command row of its product.
    for (size_t r = 0; r < slots_.size(); ++r) {
        const KnownInterface& command = interfaces_[r];
        if (command.role != InterfaceRole::Command || command.vendorId != row.vendorId ||
            command.productId != row.productId || command.kind != row.kind)
            continue;
        return IsReceiver(row.kind) && command.hasTwin ? command.twinRow : r;
    }
    return s;
}

CVantrelUSBDevice* CDeviceManager::FindDevice(size_t s) const {
    const KnownInterface& identity = interfaces_[IdentityRow(s)];
    for (CVantrelUSBDevice* device : Devices())
        if (SameRow(device->Identity(), identity)) return device;
    return nullptr;
}

// ---- creating devices ----

std::unique_ptr<CVantrelUSBDevice> CDeviceManager::MakeDevice(const ProductRow& row, std::shared_ptr<HidBackend> backend,
                                                              const Translator& translate) {
    switch (row.kind) {
        case DeviceKind::Mouse: return std::make_unique<CVantrelMouseDevice>(std::move(backend), translate, row);
        case DeviceKind::MousePad: return std::make_unique<CVantrelMousePadDevice>(std::move(backend), row);
        case DeviceKind::Headset: return std::make_unique<CVantrelHS6533Device>(std::move(backend), row);
        case DeviceKind::Keyboard: return std::make_unique<CVantrelKeyboardDevice>(std::move(backend), translate, row);
        default: return nullptr;
    }
}

CVantrelUSBDevice* CDeviceManager::AddDevice(size_t s) {
    const size_t identityRow = IdentityRow(s);
    const KnownInterface& identity = interfaces_[identityRow];
    const auto model = FindProduct(products_, identity.vendorId, identity.productId, identity.kind);
    if (!model) return nullptr;
    const ProductRow& row = products_[*model];
    std::unique_ptr<CVantrelUSBDevice> made = MakeDevice(row, backend_, ui_.translate);
    if (!made) {
        DebugTrace::Printf("%s: recognised, no page for it in this version", row.name);
        AddPlaceholder(s, *model);
        return nullptr;
    }
    devices_.push_back(std::move(made));
    CVantrelUSBDevice* device = devices_.back().get();
    device->SetOwner(ui_.owner);
    device->SetNoticeSink(ui_.notice);
    device->SetRippleFeed(rippleFeed_);
    device->SetUiInvoker(ui_.invoker);
    device->SetScreenSize(ui_.screenWidth, ui_.screenHeight);
    device->SetModelIndex(static_cast<int>(*model));
    device->SetHasPowerPanel(row.battery);
    device->SetIdentity(identity, identityRow, {});
    if (ui_.views != nullptr) ui_.views->Created(*device, row, *model);
    Report(DeviceEvent::Created, *device);
    return device;
}

void CDeviceManager::AddPlaceholder(size_t s, size_t model) {
    placeholders_.push_back({IdentityRow(s), model});
    if (ui_.views != nullptr) ui_.views->Recognised(products_[model], model);
}

const CDeviceManager::Placeholder* CDeviceManager::FindPlaceholder(size_t s) const {
    const size_t identity = IdentityRow(s);
    for (const Placeholder& placeholder : placeholders_)
        if (placeholder.identityRow == identity) return &placeholder;
    return nullptr;
}

void CDeviceManager::Report(DeviceEvent event, CVantrelUSBDevice& device) const {
    if (event != DeviceEvent::Created) device.Tell(DeviceChange::Link);
    if (ui_.deviceEvents) ui_.deviceEvents(event, device);
}

// ---- arrival and loss (UI thread) ----

void CDeviceManager::OnArrival(size_t s) {
    if (s >= slots_.size()) return;
    const KnownInterface& row = interfaces_[s];
    DebugTrace::Write(LinesOf(row.kind).added);
    if (FindDevice(s) == nullptr && FindPlaceholder(s) == nullptr) AddDevice(s);
    if (row.role == InterfaceRole::Command) AttachCommand(s);
    else AttachNotify(s);
}

void CDeviceManager::OnLoss(size_t s) {
    if (s >= slots_.size()) return;
    const KnownInterface& row = interfaces_[s];
    DebugTrace::Write(LinesOf(row.kind).removed);
    if (row.role == InterfaceRole::Command) DetachCommand(s);
    else DetachNotify(s);
}

void CDeviceManager::AttachCommand(size_t s) {
    const KnownInterface& row = interfaces_[s];
    const bool receiver = IsReceiver(row.kind);
    if (const Placeholder* placeholder = FindPlaceholder(s); placeholder != nullptr && FindDevice(s) == nullptr) {
        if (ui_.views != nullptr)
            ui_.views->RecognisedLink(placeholder->model, receiver && !TwinPresent(s) ? "link_receiver_text" : "link_cable_text");
        return;
    }
    if (row.hasTwin && TwinPresent(s)) {
        if (!receiver) SwitchLink(s);  // the cable has priority; a receiver arriving changes nothing
        return;
    }
    CVantrelUSBDevice* device = FindDevice(s);
    if (device == nullptr || device->Transport().Opened()) return;
    const std::string path = Slot(s).path;
    if (!device->Transport().Attach(path, receiver ? LinkReceiver : LinkWired)) return;
    // A product with one collection reports its events on the command interface.
    if (row.collectionNumber == 0 && !device->NotifyOpen(false)) device->OpenNotify(path, false);
    Report(DeviceEvent::Attached, *device);
    device->SetIdentity(interfaces_[IdentityRow(s)], IdentityRow(s), path);
    if (ui_.views != nullptr) ui_.views->Attached(*device, receiver);
}

void CDeviceManager::AttachNotify(size_t s) {
    const KnownInterface& row = interfaces_[s];
    const bool receiver = IsReceiver(row.kind);
    // A receiver's notification row is compared through its twin, the cable's row.
    const KnownInterface& comparison = receiver && row.hasTwin ? interfaces_[row.twinRow] : row;
    for (CVantrelUSBDevice* device : Devices()) {
        const KnownInterface& identity = device->Identity();
        if (device->NotifyOpen(receiver) || identity.vendorId != comparison.vendorId ||
            identity.productId != comparison.productId || identity.kind != comparison.kind)
            continue;
        device->OpenNotify(Slot(s).path, receiver);
        return;
    }
}

void CDeviceManager::DetachCommand(size_t s) {
    const KnownInterface& row = interfaces_[s];
    if (IsMouseFamily(row.kind)) DebugTrace::Write("鼠标设备丢失");
    if (IsKeyboardFamily(row.kind)) DebugTrace::Write("键盘设备丢失");
    if (const Placeholder* placeholder = FindPlaceholder(s); placeholder != nullptr && FindDevice(s) == nullptr) {
        // The twin, if still there, is the link now.
        const bool twin = row.hasTwin && TwinPresent(s);
        if (ui_.views != nullptr)
            ui_.views->RecognisedLink(placeholder->model, !twin                   ? nullptr
                                                          : IsReceiver(row.kind) ? "link_cable_text"
                                                                                 : "link_receiver_text");
        return;
    }
    if (row.hasTwin && TwinPresent(s)) {
        if (!IsReceiver(row.kind)) SwitchLink(s);
        return;
    }
    CVantrelUSBDevice* device = FindDevice(s);
    if (device == nullptr) return;
    device->Transport().Detach();
    if (row.collectionNumber == 0) device->CloseNotify(false);
    Report(DeviceEvent::Detached, *device);
    if (ui_.views != nullptr) ui_.views->Detached(*device);
}

void CDeviceManager::DetachNotify(size_t s) {
    const KnownInterface& row = interfaces_[s];
    const bool receiver = IsReceiver(row.kind);
    const KnownInterface& comparison = receiver && row.hasTwin ? interfaces_[row.twinRow] : row;
    for (CVantrelUSBDevice* device : Devices()) {
        const KnownInterface& identity = device->Identity();
        if (!device->NotifyOpen(receiver) || identity.vendorId != comparison.vendorId ||
            identity.productId != comparison.productId || identity.kind != comparison.kind)
            continue;
        device->CloseNotify(receiver);
        return;
    }
}

void CDeviceManager::SwitchLink(size_t s) {
    CVantrelUSBDevice* device = FindDevice(s);
    if (device == nullptr) return;
    CHidTransport& transport = device->Transport();
    const bool wasReceiver = transport.ReceiverMode();
    const size_t twin = interfaces_[s].twinRow;
    const std::string path = wasReceiver ? Slot(s).path : Slot(twin).path;
    if (!transport.Attach(path, wasReceiver ? LinkWired : LinkReceiver)) {
        Report(DeviceEvent::Detached, *device);  // neither link is open now
        return;
    }
    Report(DeviceEvent::Attached, *device);
    if (!wasReceiver) {
        // Now through the receiver: wait for the product behind it.
        if (device->HasPowerPanel()) {
            int polls = 0;
            while (!transport.QueryLink() && ++polls < kLinkPolls) {
                std::this_thread::sleep_for(kLinkPollPause);
                DebugTrace::Write("获取2.4G模式失败");
            }
            DebugTrace::Write("获取2");
            device->QueryPower();
        }
        if (ui_.views != nullptr) ui_.views->LinkSwitched(*device, true);
    } else {
        if (ui_.views != nullptr) ui_.views->LinkSwitched(*device, false);
        if (device->HasPowerPanel()) device->QueryPower();
    }
}

}  // namespace m470
