#pragma once
// Finds the products on the HID bus, creates one device object per product,
// attaches its interfaces as they come and go, moves a mouse between cable
// and receiver, and shows or hides its selector entry.
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_link/HidDevice.h"
#include "device_link/KnownInterface.h"
#include "devices/AccessRefusal.h"
#include "devices/MouseDevice.h"
#include "devices/MousePadDevice.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "devices/Products.h"
#include "platform/StoppableThread.h"
#include "keys/KeyCaption.h"
#include "ui/MessageChannel.h"

namespace m470 {

struct DeviceSlot {
    KnownInterface row;
    bool present = false;
    std::string path;
    bool Free() const { return !present && path.empty(); }
};

// What the device manager reports of each device object.
enum class DeviceEvent { Created, Attached, Detached };

// The window's side of the devices (UI thread): their selector entries,
// power panels and pages. The manager tells it what happened to each product.
class DeviceViews {
public:
    virtual ~DeviceViews() = default;
    // A device object was made for products[model].
    virtual void Created(CVantrelUSBDevice& device, const ProductRow& row, size_t model) = 0;
    // A product recognised without a device class in this version.
    virtual void Recognised(const ProductRow& row, size_t model) = 0;
    // That product's link: a "link_..._text" key, or nullptr when it went.
    virtual void RecognisedLink(size_t model, const char* linkText) = 0;
    // The device's command link came (by cable or through the receiver) or went.
    virtual void Attached(CVantrelUSBDevice& device, bool receiver) = 0;
    virtual void Detached(CVantrelUSBDevice& device) = 0;
    // Its link moved to the receiver (true) or back to the cable.
    virtual void LinkSwitched(CVantrelUSBDevice& device, bool toReceiver) = 0;
    // What the manager looks for, and the products it found but may not
    // open; told at start and whenever the refusals change.
    virtual void LookingFor(const std::vector<ProductRow>& products, const std::vector<RefusedNode>& refused) = 0;
};

// The owner window's side of the device manager.
struct DeviceManagerUi {
    ui::MessageChannel* owner = nullptr;
    // Entries and pages of the devices; nullptr: none (a manager without a window).
    DeviceViews* views = nullptr;
    CVantrelUSBDevice::UiInvoker invoker;  // runs work on the UI thread
    Translator translate;
    int screenWidth = 0, screenHeight = 0;
    // Message boxes the devices show.
    CVantrelUSBDevice::NoticeSink notice;
    // Told on the UI thread when a device is created, gets its command link, loses it.
    std::function<void(DeviceEvent, CVantrelUSBDevice&)> deviceEvents;
};

inline constexpr uint32_t kMsgFirstScanDone = 0x0C20;  // posted once after the first scan
inline constexpr uint32_t kMsgAccessChanged = 0x0C21;  // sent when the refused nodes changed: OnAccessChanged

class CDeviceManager {
public:
    // products: the rows of the products to look for (all known by default).
    CDeviceManager(DeviceManagerUi ui, std::shared_ptr<HidBackend> backend,
                   std::vector<ProductRow> products = {kProducts.begin(), kProducts.end()});
    ~CDeviceManager();

    // The mice (and the keyboard, once it has a class) exist from start-up.
    void CreateStartupDevices();

    // One pass of the scanning thread: enumeration while a slot is free and
    // something may have changed, the two identification stages, the presence
    // probe. Arrivals and losses are sent synchronously to the owner.
    void ScanPass(CHidDevice& probe);
    void RunScanThread(const StopEvent& stop);
    // How long the scan thread sleeps after a pass when nothing changes:
    // -1 (until a change) unless a probe failed and is to be retried.
    int ScanWaitMs() const;

    // Owner window handlers (UI thread).
    void OnArrival(size_t slot);
    void OnLoss(size_t slot);
    bool TwinPresent(size_t slot) const;
    // Tells the views the refused nodes (after kMsgAccessChanged).
    void OnAccessChanged();

    // Products found at the last enumeration whose nodes the user may not
    // open, one entry per node.
    std::vector<RefusedNode> Refused() const;

    // Every device object, in the order they were created; Mice(), Pads() and Keyboards()
    // are the devices of that kind.
    std::vector<CVantrelUSBDevice*> Devices() const;
    std::vector<CVantrelMouseDevice*> Mice() const { return OfKind<CVantrelMouseDevice>(DeviceKind::Mouse); }
    std::vector<CVantrelMousePadDevice*> Pads() const { return OfKind<CVantrelMousePadDevice>(DeviceKind::MousePad); }
    std::vector<CVantrelKeyboardDevice*> Keyboards() const { return OfKind<CVantrelKeyboardDevice>(DeviceKind::Keyboard); }
    DeviceSlot Slot(size_t index) const;
    size_t SlotCount() const { return slots_.size(); }
    const std::vector<ProductRow>& Products() const { return products_; }

private:
    void NoteLosses();
    // The device's class follows from its kind (AddDevice makes one class per kind).
    template <class Device>
    std::vector<Device*> OfKind(DeviceKind kind) const {
        std::vector<Device*> found;
        for (const auto& device : devices_)
            if (device->Kind() == kind) found.push_back(static_cast<Device*>(device.get()));
        return found;
    }
    static std::unique_ptr<CVantrelUSBDevice> MakeDevice(const ProductRow& row, std::shared_ptr<HidBackend> backend,
                                                         const Translator& translate);
    // A product recognised before its device class exists: no device
    // object; the views show that its settings come later.
    struct Placeholder {
        size_t identityRow;
        size_t model;
    };
    const Placeholder* FindPlaceholder(size_t slot) const;
    void AddPlaceholder(size_t slot, size_t model);
    size_t IdentityRow(size_t slot) const;
    CVantrelUSBDevice* FindDevice(size_t slot) const;
    CVantrelUSBDevice* AddDevice(size_t slot);
    void AttachCommand(size_t slot);
    void AttachNotify(size_t slot);
    void DetachCommand(size_t slot);
    void DetachNotify(size_t slot);
    void SwitchLink(size_t slot);
    void Send(uint32_t message, size_t slot);
    void Report(DeviceEvent event, CVantrelUSBDevice& device) const;
    void AddRefusal(std::vector<RefusedNode>& refused, const KnownInterface& row, const std::string& path, int error) const;
    // Keeps the refusals of an enumeration; a change is traced and sent.
    void NoteRefusals(std::vector<RefusedNode> refused);

    DeviceManagerUi ui_;
    std::shared_ptr<HidBackend> backend_;
    mutable std::mutex slotsMutex_;
    std::vector<ProductRow> products_;
    std::vector<KnownInterface> interfaces_;  // one slot per row
    std::vector<DeviceSlot> slots_;
    std::vector<RefusedNode> refused_;  // under slotsMutex_
    uint64_t lastChange_ = 0;
    uint64_t lastEnumerationMs_ = 0;
    bool firstPassDone_ = false;
    bool retryPending_ = false;
    std::vector<std::unique_ptr<CVantrelUSBDevice>> devices_;
    std::vector<Placeholder> placeholders_;
    // One ripple counter for every device of the program.
    std::shared_ptr<SharedRippleFeed> rippleFeed_ = std::make_shared<SharedRippleFeed>();
};

}  // namespace m470
