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
#include "devices/DeviceTables.h"
#include "devices/MouseDevice.h"
#include "devices/MousePadDevice.h"
#include "devices/StoppableThread.h"
#include "keys/KeyCaption.h"
#include "panels/MpDevicePower.h"
#include "shell/DeviceOption.h"
#include "shell/MessageChannel.h"

namespace m470 {

struct DeviceSlot {
    KnownInterface row;
    bool present = false;
    std::string path;
    bool Free() const { return !present && path.empty(); }
};

// The owner window's side of the device manager.
struct DeviceManagerUi {
    ui::ControlHost* host = nullptr;
    std::string skinFolder;           // ends in "/"
    ui::MessageChannel* owner = nullptr;
    CVantrelUSBDevice::UiInvoker invoker;  // runs work on the UI thread
    std::function<void()> closeAuxWindows;
    Translator translate;
    int screenWidth = 0, screenHeight = 0;
};

inline constexpr uint32_t kMsgFirstScanDone = 0x0C20;  // posted once after the first scan

class CDeviceManager {
public:
    CDeviceManager(DeviceManagerUi ui, std::shared_ptr<HidBackend> backend);
    ~CDeviceManager();

    // The mouse (and the keyboard, once it has a class) exist from start-up.
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
    void OnLinkMessage(int modelIndex, bool up);
    bool OnEntryTimer(ui::Control* sender, int id);
    bool OnEntrySelected(ui::Control* option);

    void ShowEntry(size_t entry, bool shown, bool select);
    void HideEntry(size_t entry);
    bool TwinPresent(size_t slot) const;
    CVantrelUSBDevice* CurrentDevice() const;
    // Shown in the selector and not switched off behind its receiver.
    bool Reachable(const CVantrelUSBDevice* device) const;
    // Texts set from code follow a language switch: entry names, link lines, key rows.
    void RefreshTexts();
    uint16_t InstalledVersion(size_t entry) const;

    const std::vector<std::unique_ptr<CDeviceOptionUI>>& Entries() const { return entries_; }
    const std::vector<std::unique_ptr<CVantrelMouseDevice>>& Mice() const { return mice_; }
    const std::vector<std::unique_ptr<CVantrelMousePadDevice>>& Pads() const { return pads_; }
    std::vector<CVantrelUSBDevice*> Devices() const;
    DeviceSlot Slot(size_t index) const;
    static constexpr size_t kSlots = kKnownInterfaces.size();

private:
    struct Family;
    // A product recognised before its page exists: an entry and a page that
    // says its settings come later, and no device object.
    struct Placeholder {
        size_t identityRow;
        CDeviceOptionUI* entry;
    };
    const Placeholder* FindPlaceholder(size_t slot) const;
    void AddPlaceholder(size_t slot, int model);
    void ShowLink(CDeviceOptionUI& entry);
    size_t IdentityRow(size_t slot) const;
    CVantrelUSBDevice* FindDevice(size_t slot) const;
    CVantrelUSBDevice* AddDevice(size_t slot);
    void AttachCommand(size_t slot);
    void AttachNotify(size_t slot);
    void DetachCommand(size_t slot);
    void DetachNotify(size_t slot);
    void SwitchLink(size_t slot);
    CDeviceOptionUI* EntryOf(const CVantrelUSBDevice* device) const;
    size_t EntryIndex(const CDeviceOptionUI* entry) const;
    bool AnyEntryShown() const;
    void Send(uint32_t message, size_t slot);

    DeviceManagerUi ui_;
    std::shared_ptr<HidBackend> backend_;
    mutable std::mutex slotsMutex_;
    std::array<DeviceSlot, kSlots> slots_;
    uint64_t lastChange_ = 0;
    uint64_t lastEnumerationMs_ = 0;
    bool firstPassDone_ = false;
    bool retryPending_ = false;
    std::vector<std::unique_ptr<CVantrelMouseDevice>> mice_;
    std::vector<std::unique_ptr<CVantrelMousePadDevice>> pads_;
    std::vector<std::unique_ptr<CMpDevicePowerUI>> powerPanels_;
    std::vector<std::unique_ptr<CDeviceOptionUI>> entries_;
    std::vector<Placeholder> placeholders_;
};

}  // namespace m470
