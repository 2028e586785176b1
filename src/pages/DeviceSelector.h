#pragma once
// The device selector of the main window: an entry per product (picture,
// name, link line, the option that shows its page), the power panel of a
// product on battery, the page layout each device's page is built on, and
// the placeholders of products recognised without a device class. It is
// the device manager's view: the manager tells it what happened.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/DeviceManager.h"
#include "panels/DeviceOption.h"
#include "pages/ProductNews.h"
#include "panels/MpDevicePower.h"

namespace m470 {

struct DeviceSelectorUi {
    ui::ControlHost* host = nullptr;
    std::string skinFolder;  // ends in "/"
    ui::MessageChannel* owner = nullptr;
    CVantrelUSBDevice::UiInvoker invoker;  // runs work on the UI thread
    std::function<void()> closeAuxWindows;
    Translator translate;
    // Builds the page of a new device on the layout loaded for it (pageRoot may be nullptr).
    std::function<void(CVantrelUSBDevice&, ui::ControlHost&, ui::Control* pageRoot)> buildPage;
    // A device's page was shown: what waits for its first show is made (may be empty).
    std::function<void(CVantrelUSBDevice&)> pageShown;
    // Hears battery reads and receiver links for the desktop's notifications; may be nullptr.
    CProductNews* news = nullptr;
};

class CDeviceSelector : public DeviceViews {
public:
    explicit CDeviceSelector(DeviceSelectorUi ui) : ui_(std::move(ui)) {}
    ~CDeviceSelector() override;
    CDeviceSelector(const CDeviceSelector&) = delete;
    CDeviceSelector& operator=(const CDeviceSelector&) = delete;

    // The device manager's side of the window this selector shows: the same
    // owner, UI-thread invoker and texts, with this selector as its views.
    DeviceManagerUi ManagerUi();

    void Created(CVantrelUSBDevice& device, const ProductRow& row, size_t model) override;
    void Recognised(const ProductRow& row, size_t model) override;
    void RecognisedLink(size_t model, const char* linkText) override;
    void Attached(CVantrelUSBDevice& device, bool receiver) override;
    void Detached(CVantrelUSBDevice& device) override;
    void LinkSwitched(CVantrelUSBDevice& device, bool toReceiver) override;
    // Fills the no-device page.
    void LookingFor(const std::vector<ProductRow>& products, const std::vector<RefusedNode>& refused) override;

    // Owner window handlers (UI thread).
    void OnLinkMessage(int modelIndex, bool up);
    bool OnEntryTimer(ui::Control* sender, int id);
    bool OnEntrySelected(ui::Control* option);

    void ShowEntry(size_t entry, bool shown, bool select);
    void HideEntry(size_t entry);
    CVantrelUSBDevice* CurrentDevice() const;
    // Shown in the selector and not switched off behind its receiver.
    bool Reachable(const CVantrelUSBDevice* device) const;
    // Texts set from code follow a language switch: entry names and link lines.
    void RefreshTexts();
    uint16_t InstalledVersion(size_t entry) const;
    const std::vector<std::unique_ptr<CDeviceOptionUI>>& Entries() const { return entries_; }
    // The product row of each entry, in entry order.
    const ProductRow& Product(size_t entry) const { return products_.at(entry); }
    // The page layout loaded for the device, nullptr without one.
    ui::Control* PageRootOf(const CVantrelUSBDevice* device) const;

private:
    CDeviceOptionUI* AddEntry(const ProductRow& row, int pageIndex);
    CDeviceOptionUI* EntryOf(const CVantrelUSBDevice* device) const;
    CDeviceOptionUI* PlaceholderOf(size_t model) const;
    size_t EntryIndex(const CDeviceOptionUI* entry) const;
    bool AnyEntryShown() const;
    void ShowLink(CDeviceOptionUI& entry);
    std::string EntryName(const std::string& productName) const;

    DeviceSelectorUi ui_;
    std::vector<std::unique_ptr<CMpDevicePowerUI>> powerPanels_;
    std::vector<std::unique_ptr<CDeviceOptionUI>> entries_;
    std::vector<ProductRow> products_;  // beside entries_
    std::vector<std::pair<const CVantrelUSBDevice*, ui::Control*>> pageRoots_;
    // The power listeners, removed while their device is still there.
    struct Listener {
        CVantrelUSBDevice* device;
        std::weak_ptr<const void> lifetime;
        int id;
    };
    std::vector<Listener> listeners_;
    struct Requester {
        CVantrelUSBDevice* device;
        std::weak_ptr<const void> lifetime;
    };
    std::vector<Requester> requesters_;
    // What the no-device page tells, kept for a language switch.
    std::vector<ProductRow> lookedFor_;
    std::vector<RefusedNode> refused_;
};

}  // namespace m470
