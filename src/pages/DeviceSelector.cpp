#include "pages/DeviceSelector.h"

#include <cstdio>
#include <optional>

#include "pages/NoDevicePage.h"
#include "platform/DebugTrace.h"

namespace m470 {

CDeviceSelector::~CDeviceSelector() {
    for (const Listener& listener : listeners_)
        if (!listener.lifetime.expired()) listener.device->RemoveChangeListener(listener.id);
    // A device that outlives the selector must not reach it from its threads.
    for (const Requester& requester : requesters_)
        if (!requester.lifetime.expired()) requester.device->SetTimerRequester(nullptr);
}

ui::Control* CDeviceSelector::PageRootOf(const CVantrelUSBDevice* device) const {
    for (const auto& [owner, root] : pageRoots_)
        if (owner == device) return root;
    return nullptr;
}

std::string CDeviceSelector::EntryName(const std::string& productName) const {
    return ui_.translate ? ui_.translate(productName + "_device_name_text") : productName;
}

// An entry for the product, hidden, in the selector's group, showing page pageIndex.
CDeviceOptionUI* CDeviceSelector::AddEntry(const ProductRow& row, int pageIndex) {
    ui::ControlHost& host = *ui_.host;
    ui::Control* root = host.LoadLayoutInto(ui_.skinFolder + row.selectorLayout, host.Find("device_select_layout"));
    if (root == nullptr) return nullptr;
    entries_.push_back(std::make_unique<CDeviceOptionUI>(host, root));
    products_.push_back(row);
    CDeviceOptionUI* entry = entries_.back().get();
    entry->SetKind(static_cast<int>(row.kind), 0);
    entry->BindPage("device_switch", pageIndex);
    entry->SetGroup("device_select_group");
    entry->SetName(EntryName(row.name));
    entry->SetVisible(false);
    return entry;
}

// ---- what the manager tells ----

void CDeviceSelector::Created(CVantrelUSBDevice& device, const ProductRow& row, size_t) {
    ui::ControlHost* host = ui_.host;
    ui::Control* pageControl = nullptr;
    CMpDevicePowerUI* power = nullptr;
    CDeviceOptionUI* entry = nullptr;
    if (host != nullptr) {
        ui::Control* powerSwitch = host->Find("device_power_switch");
        ui::Control* devicePages = host->Find("device_switch");
        const int powerPage = powerSwitch != nullptr ? static_cast<int>(powerSwitch->Children().size()) : -1;
        const int pageIndex = devicePages != nullptr ? static_cast<int>(devicePages->Children().size()) : -1;
        if (ui::Control* panel = host->LoadLayoutInto(ui_.skinFolder + "mpdevicepower.ui", powerSwitch)) {
            powerPanels_.push_back(std::make_unique<CMpDevicePowerUI>(*host, panel));
            power = powerPanels_.back().get();
            power->SetKind(row.kind, 0);
        }
        entry = AddEntry(row, pageIndex);
        pageControl = host->LoadLayoutInto(ui_.skinFolder + row.pageLayout, devicePages);
        if (entry != nullptr) {
            entry->ShowSynchro(false);
            entry->SetPowerPage(power != nullptr && row.battery ? powerPage : -1);
            entry->SetDevice(&device);
        }
    }
    pageRoots_.emplace_back(&device, pageControl);
    if ((power != nullptr || ui_.news != nullptr) && row.battery) {
        const int id = device.AddChangeListener(
            [power, news = ui_.news, name = EntryName(row.name), &device](DeviceChange change) {
                if (change != DeviceChange::Power) return;
                const std::array<uint8_t, 6> status = device.PowerStatus();
                if (power != nullptr) power->ShowStatus(status.data(), status.size());
                if (news != nullptr) news->PowerRead(device.ModelIndex(), name, status.data(), status.size());
            });
        listeners_.push_back({&device, device.Lifetime(), id});
    }
    if (entry != nullptr) {
        // Device threads ask for entry timers; the timers live on the UI thread.
        device.SetTimerRequester([this, entry](int id, int delayMs) {
            if (ui_.invoker) ui_.invoker([entry, id, delayMs] { entry->StartTimer(id, delayMs); });
            else entry->StartTimer(id, delayMs);
        });
        requesters_.push_back({&device, device.Lifetime()});
    }
    if (ui_.buildPage && host != nullptr) ui_.buildPage(device, *host, pageControl);
}

DeviceManagerUi CDeviceSelector::ManagerUi() {
    DeviceManagerUi ui;
    ui.owner = ui_.owner;
    ui.views = this;
    ui.invoker = ui_.invoker;
    ui.translate = ui_.translate;
    return ui;
}

void CDeviceSelector::Recognised(const ProductRow& row, size_t model) {
    ui::ControlHost* host = ui_.host;
    if (host == nullptr) return;
    ui::Control* devicePages = host->Find("device_switch");
    const int pageIndex = devicePages != nullptr ? static_cast<int>(devicePages->Children().size()) : -1;
    CDeviceOptionUI* entry = AddEntry(row, pageIndex);
    if (entry == nullptr) return;
    host->LoadLayoutInto(ui_.skinFolder + "laterdevice.ui", devicePages);
    entry->SetModelIndex(static_cast<int>(model));
}

void CDeviceSelector::RecognisedLink(size_t model, const char* linkText) {
    CDeviceOptionUI* entry = PlaceholderOf(model);
    if (entry == nullptr) return;
    if (linkText == nullptr) {
        HideEntry(EntryIndex(entry));
        return;
    }
    if (!entry->IsVisible()) ShowEntry(EntryIndex(entry), true, !AnyEntryShown());
    entry->SetState(linkText);
}

void CDeviceSelector::Attached(CVantrelUSBDevice& device, bool receiver) {
    CDeviceOptionUI* entry = EntryOf(&device);
    if (entry == nullptr) return;
    if (!receiver) ShowEntry(EntryIndex(entry), true, !AnyEntryShown());
    else if (!entry->IsVisible()) entry->SetOffline();  // listed, greyed, until its product answers
    entry->StartFirstRead();  // through a receiver the first read decides whether the entry shows
}

void CDeviceSelector::Detached(CVantrelUSBDevice& device) {
    // Neither link is left: when the product comes back, it is a new arrival.
    if (ui_.news != nullptr) ui_.news->Forget(device.ModelIndex());
    if (CDeviceOptionUI* entry = EntryOf(&device)) HideEntry(EntryIndex(entry));
}

void CDeviceSelector::LinkSwitched(CVantrelUSBDevice& device, bool toReceiver) {
    CDeviceOptionUI* entry = EntryOf(&device);
    if (entry == nullptr) return;
    if (toReceiver) {
        // Now through the receiver: the link watch finds out whether the product answers.
        if (CVantrelUSBDevice* current = CurrentDevice()) current->ReadFromDevice();
        device.Transport().BeginConfig();
        entry->StartLinkWatch(2000);
        // The battery timer rests while the transport is closed; no first read
        // follows this switch to arm it again.
        if (device.HasPowerPanel()) entry->StartTimer(kTimerPower, 50);
        return;
    }
    entry->StartTimer(kTimerFirstRead, 500);
    if (ui_.owner != nullptr) ui_.owner->Send(ui::kMsgLink, device.ModelIndex(), 1);
}

// ---- entries ----

CDeviceOptionUI* CDeviceSelector::EntryOf(const CVantrelUSBDevice* device) const {
    for (const auto& entry : entries_)
        if (entry->Device() == device) return entry.get();
    return nullptr;
}

CDeviceOptionUI* CDeviceSelector::PlaceholderOf(size_t model) const {
    for (const auto& entry : entries_)
        if (entry->Device() == nullptr && entry->ModelIndex() == static_cast<int>(model)) return entry.get();
    return nullptr;
}

size_t CDeviceSelector::EntryIndex(const CDeviceOptionUI* entry) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].get() == entry) return i;
    return entries_.size();
}

bool CDeviceSelector::AnyEntryShown() const {
    for (const auto& entry : entries_)
        if (entry->IsVisible()) return true;
    return false;
}

// How the entry's device is linked, and its firmware in the tooltip.
void CDeviceSelector::ShowLink(CDeviceOptionUI& entry) {
    CVantrelUSBDevice* device = entry.Device();
    if (device == nullptr || !device->Transport().Opened()) return;
    entry.SetState(device->Transport().ReceiverMode() ? "link_receiver_text" : "link_cable_text");
    const uint16_t version = InstalledVersion(EntryIndex(&entry));
    if (version == 0) return;
    char number[16];
    std::snprintf(number, sizeof number, "%x.%02x", version >> 8, version & 0xFF);
    entry.SetDetail((ui_.translate ? ui_.translate("firmware_version_text") : std::string("Firmware")) + " " + number);
}

void CDeviceSelector::ShowEntry(size_t index, bool shown, bool select) {
    if (index >= entries_.size()) return;
    CDeviceOptionUI& entry = *entries_[index];
    entry.SetVisible(shown);
    if (shown) ShowLink(entry);
    ui::ControlHost* host = ui_.host;
    if (select && host != nullptr) {
        ui::Ctl(host->Find(entry.GetBoundLayoutName())).SetPage(entry.GetBoundPageIndex());
        ui::Ctl power = host->Find("device_power_switch");
        power.SetVisible(entry.PowerPage() >= 0);
        if (entry.PowerPage() >= 0) power.SetPage(entry.PowerPage());
    }
    entry.Select(select);
    if (select && entry.Device() != nullptr) {
        entry.Device()->ShowPreview();  // its page is the one shown now
        if (ui_.pageShown) ui_.pageShown(*entry.Device());
    }
    if (host != nullptr) {
        const bool anyShown = AnyEntryShown();
        ui::Ctl(host->Find("No_device_Link")).SetVisible(!anyShown);
        ShowRefusalBanner(*host, refused_, !anyShown);
        if (!anyShown) {
            ui::Ctl(host->Find("device_power_switch")).SetPage(0);
            ui::Ctl(host->Find("device_switch")).SetPage(0);
        }
    }
    size_t synchronised = 0;
    for (const auto& other : entries_) synchronised += other->IsVisible() && other->IsSynchro() ? 1 : 0;
    if (synchronised <= 1)
        for (const auto& other : entries_)
            if (other->IsSynchro()) other->SetSynchro(false);
}

void CDeviceSelector::HideEntry(size_t index) {
    if (index >= entries_.size()) return;
    CDeviceOptionUI& entry = *entries_[index];
    std::optional<size_t> other;
    if (entry.IsVisible() && entry.IsSelected()) {
        if (ui_.closeAuxWindows) ui_.closeAuxWindows();
        for (size_t i = 0; i < entries_.size() && !other; ++i)
            if (i != index && entries_[i]->IsVisible()) other = i;
    }
    ShowEntry(index, false, false);
    if (other) ShowEntry(*other, true, true);
}

void CDeviceSelector::OnLinkMessage(int modelIndex, bool up) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        CVantrelUSBDevice* device = entries_[i]->Device();
        if (device == nullptr || device->ModelIndex() != modelIndex) continue;
        if (ui_.news != nullptr) ui_.news->LinkChanged(modelIndex, EntryName(device->DeviceName()), up);
        if (!up) {
            HideEntry(i);
            entries_[i]->SetOffline();  // still listed, greyed, while its transport is open
            DebugTrace::Write("2.4gcesvdfherhue 1");
        } else if (!entries_[i]->IsVisible()) {
            ShowEntry(i, true, !AnyEntryShown());
        }
        return;
    }
}

bool CDeviceSelector::OnEntryTimer(ui::Control* sender, int id) {
    for (const auto& entry : entries_) {
        if (entry->Root() != sender) continue;
        entry->OnTimer(id);
        return true;
    }
    return false;
}

bool CDeviceSelector::OnEntrySelected(ui::Control* option) {
    if (option == nullptr || !option->Selected() || ui_.host == nullptr) return false;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (ui_.host->FindUnder(entries_[i]->Root(), "device_select") != option) continue;
        ShowEntry(i, true, true);
        return true;
    }
    return false;
}

CVantrelUSBDevice* CDeviceSelector::CurrentDevice() const {
    for (const auto& entry : entries_)
        if (entry->IsVisible() && entry->IsSelected()) return entry->Device();
    return nullptr;
}

bool CDeviceSelector::Reachable(const CVantrelUSBDevice* device) const {
    const CDeviceOptionUI* entry = EntryOf(device);
    return entry != nullptr && entry->IsVisible() && entry->Device() != nullptr && entry->Device()->Transport().Opened();
}

void CDeviceSelector::RefreshTexts() {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (ui_.translate) entries_[i]->SetName(EntryName(products_[i].name));
        if (entries_[i]->IsVisible()) ShowLink(*entries_[i]);
    }
    if (ui_.host != nullptr && !lookedFor_.empty()) ShowNoDevicePage(*ui_.host, lookedFor_, refused_, ui_.translate);
}

void CDeviceSelector::LookingFor(const std::vector<ProductRow>& products, const std::vector<RefusedNode>& refused) {
    lookedFor_ = products;
    refused_ = refused;
    if (ui_.host == nullptr) return;
    ShowNoDevicePage(*ui_.host, lookedFor_, refused_, ui_.translate);
    ShowRefusalBanner(*ui_.host, refused_, !AnyEntryShown());
}

uint16_t CDeviceSelector::InstalledVersion(size_t index) const {
    if (index >= entries_.size()) return 0;
    CVantrelUSBDevice* device = entries_[index]->Device();
    if (device == nullptr || !device->Transport().Opened()) return 0;
    if (!device->Transport().ReceiverMode()) return device->Transport().Primary().Attributes().versionNumber;
    return entries_[index]->IsVisible() ? device->Transport().Secondary().Attributes().versionNumber : 0;
}

}  // namespace m470
