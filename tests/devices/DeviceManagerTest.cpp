#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "device_link/CommandCodes.h"
#include "devices/DeviceManager.h"
#include "pages/PageBuilder.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "ui/MemoryControlTree.h"
#include "sim/ProductDescriptors.h"
#include "sim/ProductFirmware.h"
#include "support/Eventually.h"
#include "support/SelectorRig.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

// The main window as the device manager sees it: its layout in the memory
// tree, messages handled at once on the test thread, timers on the manual clock.
class Manager : public ::testing::Test {
protected:
    void SetUp() override {
        window = host.LoadLayout(GetInstallFolder() + "skin/mainwindow.ui");
        ASSERT_NE(window, nullptr);
        selector = test::MakeSelector(host, channel, pages);
        DeviceManagerUi ui;
        ui.owner = &channel;
        ui.views = selector.get();
        ui.deviceEvents = [this](DeviceEvent event, CVantrelUSBDevice& device) { events.push_back({event, &device}); };
        manager = std::make_unique<CDeviceManager>(ui, rig.hub.Backend());
        host.SetNotifyCallback([this](const ui::Notification& n) {
            if (n.event == "timer") selector->OnEntryTimer(n.sender, static_cast<int>(n.wParam));
        });
        manager->CreateStartupDevices();
    }
    void TearDown() override {
        pages.reset();  // the pages listen to the devices
        selector.reset();  // the entries show them
        manager.reset();
    }
    void Scan() { manager->ScanPass(probe); }
    CDeviceOptionUI& MouseEntry() { return *selector->Entries().at(0); }
    CVantrelMouseDevice& Mouse() { return *manager->Mice().at(0); }
    // The mouse's product row: the model index its link messages carry.
    static uint32_t MouseModel() { return static_cast<uint32_t>(*FindProduct(kProducts, 0x320F, 0x222E, DeviceKind::Mouse)); }
    size_t Count(uint8_t command, const std::string& interface) {
        size_t n = 0;
        for (const auto& entry : rig.hub.Traffic().Entries()) n += entry.request[3] == command && entry.interfaceName == interface;
        return n;
    }

    test::TempFolder folder;
    test::VirtualRig rig;
    ui::MemoryControlHost host;
    ui::MemoryControl* window = nullptr;
    std::vector<std::pair<uint32_t, intptr_t>> links;
    std::vector<std::pair<DeviceEvent, CVantrelUSBDevice*>> events;
    ui::QueuedMessageChannel channel{[this](uint32_t message, intptr_t wParam, intptr_t lParam) -> intptr_t {
        if (message == ui::kMsgInterfaceArrived) manager->OnArrival(static_cast<size_t>(wParam));
        if (message == ui::kMsgInterfaceLost) manager->OnLoss(static_cast<size_t>(wParam));
        if (message == kMsgAccessChanged) manager->OnAccessChanged();
        if (message == ui::kMsgLink) {
            links.push_back({wParam, lParam});
            selector->OnLinkMessage(static_cast<int>(wParam), lParam != 0);
        }
        return 0;
    }};
    std::unique_ptr<CDeviceManager> manager;
    std::unique_ptr<CDeviceSelector> selector;
    std::unique_ptr<CPageBuilder> pages = std::make_unique<CPageBuilder>();
    CHidDevice probe{rig.hub.Backend()};
};

TEST_F(Manager, TheMouseExistsFromStartUpAndShowsWhenPlugged) {
    ASSERT_EQ(manager->Mice().size(), 1u);
    EXPECT_FALSE(MouseEntry().IsVisible());
    EXPECT_TRUE(ui::Ctl(host.Find("No_device_Link")).Visible());
    rig.hub.Plug("mouse");
    Scan();
    EXPECT_TRUE(manager->Slot(4).present);
    EXPECT_TRUE(manager->Slot(5).present);
    EXPECT_TRUE(MouseEntry().IsVisible());
    EXPECT_TRUE(MouseEntry().IsSelected());
    EXPECT_FALSE(ui::Ctl(host.Find("No_device_Link")).Visible());
    EXPECT_EQ(selector->CurrentDevice(), &Mouse());
    EXPECT_TRUE(Mouse().Transport().Opened());
    EXPECT_FALSE(Mouse().Transport().ReceiverMode());
    EXPECT_TRUE(Mouse().NotifyOpen(false));
    EXPECT_EQ(Count(command::kReadDeviceInfo, "mouse"), 0u);
    host.AdvanceTime(500);  // timer 1001: the first full read
    Mouse().StopLightingThread();
    EXPECT_EQ(Count(command::kReadDeviceInfo, "mouse"), 1u);
    EXPECT_EQ(Count(command::kReadKeyTable, "mouse"), 1u);
    EXPECT_EQ(ui::Ctl(host.FindUnder(selector->PageRootOf(&Mouse()), "DPI_slider_5")).Value(), 81);
    EXPECT_EQ(selector->InstalledVersion(0), 0x0107);

    rig.hub.Unplug("mouse");
    Scan();
    EXPECT_FALSE(MouseEntry().IsVisible());
    EXPECT_FALSE(Mouse().Transport().Opened());
    EXPECT_FALSE(Mouse().NotifyOpen(false));
    EXPECT_TRUE(ui::Ctl(host.Find("No_device_Link")).Visible());
    EXPECT_EQ(selector->InstalledVersion(0), 0);
}

// A product that leaves and comes back between two passes (a USB reset, a
// quick replug) is on a new node while the pass still holds the old one: the
// same pass finds it again, or tells that its new node is refused.
TEST_F(Manager, AReplugBetweenTwoPassesIsFoundInTheNextPass) {
    rig.hub.Plug("mouse");
    Scan();
    const std::string before = manager->Slot(4).path;
    ASSERT_TRUE(MouseEntry().IsVisible());
    rig.hub.Unplug("mouse");
    rig.hub.Plug("mouse");
    Scan();
    EXPECT_TRUE(MouseEntry().IsVisible());
    EXPECT_TRUE(manager->Slot(4).present);
    EXPECT_NE(manager->Slot(4).path, before);
    EXPECT_TRUE(Mouse().Transport().Opened());

    ASSERT_EQ(rig.hub.RunCommand("deny mouse"), "");
    rig.hub.Unplug("mouse");
    rig.hub.Plug("mouse");
    Scan();
    EXPECT_FALSE(MouseEntry().IsVisible());
    // One node, then the fix (untranslated here: the keys of both lines).
    EXPECT_EQ(ui::Ctl(host.Find("nodevice_refused_label")).Text(), "access_refused_text\naccess_refused_fix");
    EXPECT_TRUE(ui::Ctl(host.Find("nodevice_refused_label")).Visible());
    EXPECT_FALSE(ui::Ctl(host.Find("access_refused_banner")).Visible()) << "the page tells it";

    // Beside a product that works, the banner over the pages tells it; it
    // goes when the node opens again.
    rig.hub.Plug("mousepad");
    Scan();
    EXPECT_FALSE(ui::Ctl(host.Find("No_device_Link")).Visible());
    EXPECT_TRUE(ui::Ctl(host.Find("access_refused_banner")).Visible());
    EXPECT_EQ(ui::Ctl(host.Find("access_refused_banner")).Text(), "access_refused_text\naccess_refused_fix");
    ASSERT_EQ(rig.hub.RunCommand("allow mouse"), "");
    rig.hub.Unplug("mouse");
    rig.hub.Plug("mouse");
    Scan();
    EXPECT_TRUE(MouseEntry().IsVisible());
    EXPECT_FALSE(ui::Ctl(host.Find("access_refused_banner")).Visible());
    Mouse().StopLightingThread();
    for (CVantrelMousePadDevice* pad : manager->Pads()) pad->StopLightingThread();
}

TEST_F(Manager, ReportsCreatedAttachedAndDetachedDevices) {
    using Events = std::vector<std::pair<DeviceEvent, CVantrelUSBDevice*>>;
    CVantrelUSBDevice* mouse = &Mouse();
    EXPECT_EQ(events, (Events{{DeviceEvent::Created, mouse}}));  // from start-up
    events.clear();
    rig.hub.Plug("mouse");
    Scan();
    rig.hub.Plug("mouse-receiver");  // a receiver arriving beside the cable changes nothing
    Scan();
    EXPECT_EQ(events, (Events{{DeviceEvent::Attached, mouse}}));
    rig.hub.Unplug("mouse");  // the cable leaves: the same device on its receiver
    Scan();
    Mouse().StopLightingThread();
    EXPECT_EQ(events, (Events{{DeviceEvent::Attached, mouse}, {DeviceEvent::Attached, mouse}}));
    rig.hub.Unplug("mouse-receiver");
    Scan();
    Mouse().StopLightingThread();
    EXPECT_EQ(events.back(), (std::pair<DeviceEvent, CVantrelUSBDevice*>{DeviceEvent::Detached, mouse}));
    EXPECT_EQ(events.size(), 3u);
    rig.hub.Plug("mousepad");
    Scan();
    ASSERT_EQ(manager->Pads().size(), 1u);
    EXPECT_EQ(events.at(3), (std::pair<DeviceEvent, CVantrelUSBDevice*>{DeviceEvent::Created, manager->Pads()[0]}));
    EXPECT_EQ(events.at(4), (std::pair<DeviceEvent, CVantrelUSBDevice*>{DeviceEvent::Attached, manager->Pads()[0]}));
    EXPECT_EQ(manager->Devices(), (std::vector<CVantrelUSBDevice*>{mouse, manager->Pads()[0]}));
}

TEST_F(Manager, ReceiverAloneShowsTheEntryOnlyOnceTheMouseAnswers) {
    rig.hub.SetPower("mouse", false);
    rig.hub.Plug("mouse-receiver");
    Scan();
    EXPECT_TRUE(Mouse().Transport().Opened());
    EXPECT_TRUE(Mouse().Transport().ReceiverMode());
    EXPECT_TRUE(Mouse().NotifyOpen(true));
    EXPECT_FALSE(MouseEntry().IsVisible());
    host.AdvanceTime(500);
    EXPECT_FALSE(MouseEntry().IsVisible());  // switched off: hidden, retried every 3 s
    host.AdvanceTime(3000);
    EXPECT_FALSE(MouseEntry().IsVisible());
    rig.hub.SetPower("mouse", true);
    host.AdvanceTime(3000);
    Mouse().StopLightingThread();
    EXPECT_TRUE(MouseEntry().IsVisible());
    EXPECT_EQ(links.back(), (std::pair<uint32_t, intptr_t>{MouseModel(), 1}));
    EXPECT_GT(Count(command::kReadKeyTable, "mouse-receiver"), 0u);
}

TEST_F(Manager, CableAndReceiverSwitchLinksWithoutLosingTheDevice) {
    rig.hub.Plug("mouse-receiver");
    Scan();
    host.AdvanceTime(500);
    Mouse().StopLightingThread();
    ASSERT_TRUE(MouseEntry().IsVisible());
    CVantrelMouseDevice* device = &Mouse();

    rig.hub.Plug("mouse");  // the cable arrives: wired
    links.clear();
    Scan();
    EXPECT_FALSE(device->Transport().ReceiverMode());
    EXPECT_TRUE(device->Transport().Opened());
    EXPECT_EQ(links, (std::vector<std::pair<uint32_t, intptr_t>>{{MouseModel(), 1}}));
    rig.hub.Traffic().Clear();
    device->QueryPower();
    EXPECT_EQ(Count(command::kReadShort, "mouse"), 1u);  // the cable carries the traffic
    EXPECT_EQ(Count(command::kReadShort, "mouse-receiver"), 0u);
    EXPECT_EQ(manager->Mice().size(), 1u);

    rig.hub.Plug("mouse-receiver");  // already there; unplug and plug it while wired: nothing changes
    rig.hub.Unplug("mouse-receiver");
    Scan();
    EXPECT_FALSE(device->Transport().ReceiverMode());
    rig.hub.Plug("mouse-receiver");
    Scan();
    EXPECT_FALSE(device->Transport().ReceiverMode());

    rig.hub.SetPower("mouse", false);
    rig.hub.Unplug("mouse");  // the cable goes: back to the receiver, polling at most 26 times
    DebugTrace::Clear();
    const auto start = std::chrono::steady_clock::now();
    Scan();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(device->Transport().ReceiverMode());
    EXPECT_TRUE(device->Transport().Opened());
    const auto lines = DebugTrace::Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "获取2.4G模式失败"), 25);
    EXPECT_GE(took, 25 * 50ms);
    EXPECT_LT(took, 4s);
}

TEST_F(Manager, TheKeyboardIsReadOnArrivalAndKeepsItsObjectBetweenCableAndReceiver) {
    rig.hub.Plug("keyboard");
    Scan();
    ASSERT_EQ(manager->Keyboards().size(), 1u);
    CVantrelKeyboardDevice* keyboard = manager->Keyboards()[0];
    host.AdvanceTime(500);  // the entry's first read
    keyboard->StopLightingThread();
    EXPECT_TRUE(keyboard->Transport().Opened());
    EXPECT_FALSE(keyboard->Transport().ReceiverMode());
    EXPECT_EQ(Count(command::kReadKeyTableThird, "keyboard"), 3u);
    EXPECT_EQ(keyboard->KeyMap()[1], keyboard_memory::SlotOfKey(1));
    EXPECT_TRUE(keyboard->NotifyOpen(false));

    rig.hub.Plug("keyboard-receiver");  // the cable keeps the traffic
    Scan();
    EXPECT_FALSE(keyboard->Transport().ReceiverMode());
    rig.hub.Unplug("keyboard");  // the cable goes: the receiver takes over
    Scan();
    ASSERT_EQ(manager->Keyboards().size(), 1u);
    EXPECT_EQ(manager->Keyboards()[0], keyboard);
    EXPECT_TRUE(keyboard->Transport().Opened());
    EXPECT_TRUE(keyboard->Transport().ReceiverMode());
    rig.hub.Traffic().Clear();
    EXPECT_EQ(keyboard->ChangeSetting(KeyboardSetting::WinFlag, 1), kResultSuccess);
    EXPECT_EQ(Count(command::kWriteSettings, "keyboard-receiver"), 2u);  // 34 bytes in two receiver chunks
    EXPECT_EQ(Count(command::kWriteSettings, "keyboard"), 0u);
    EXPECT_EQ(rig.hub.Firmware("keyboard")->Area(command::kReadSettings)[keyboard_record::kWinFlag], 1);
    rig.hub.Plug("keyboard");  // and back
    Scan();
    EXPECT_EQ(manager->Keyboards()[0], keyboard);
    EXPECT_FALSE(keyboard->Transport().ReceiverMode());
}

TEST_F(Manager, NotificationCollectionBeforeItsCommandCollection) {
    rig.hub.Plug("mouse:notify");
    Scan();
    EXPECT_TRUE(Mouse().NotifyOpen(false));
    EXPECT_FALSE(Mouse().Transport().Opened());
    EXPECT_FALSE(MouseEntry().IsVisible());
    rig.hub.Plug("mouse:command");
    Scan();
    EXPECT_TRUE(Mouse().Transport().Opened());
    EXPECT_TRUE(MouseEntry().IsVisible());
}

TEST_F(Manager, ASecondIdenticalProductIsIgnored) {
    rig.hub.Plug("mouse");
    Scan();
    rig.hub.Backend()->Plug({0x320F, 0x222E, 0x0107, 1, InterfaceOneDescriptor()});  // another mouse by cable
    Scan();
    EXPECT_EQ(manager->Mice().size(), 1u);
    EXPECT_EQ(manager->Slot(4).path.find("/virtual/hidraw0"), 0u);
}

TEST_F(Manager, TheMousepadAppearsOnFirstArrivalAndOthersAreOnlyTraced) {
    DebugTrace::Clear();
    rig.hub.PlugAll({"mousepad", "keyboard", "headset"});
    Scan();
    ASSERT_EQ(manager->Pads().size(), 1u);
    EXPECT_TRUE(selector->Entries().at(1)->IsVisible());
    EXPECT_TRUE(selector->Entries().at(1)->IsSelected());  // the only entry shown
    rig.hub.Plug("mouse");
    Scan();
    EXPECT_TRUE(MouseEntry().IsVisible());
    EXPECT_FALSE(MouseEntry().IsSelected());  // the pad keeps the selection
    EXPECT_TRUE(manager->Pads()[0]->NotifyOpen(false));
    // The keyboard and the headset have their objects; the headset reads its
    // events on its one interface.
    ASSERT_EQ(selector->Entries().size(), 4u);
    ASSERT_EQ(manager->Keyboards().size(), 1u);
    EXPECT_EQ(selector->Entries()[2]->Device(), manager->Keyboards()[0]);
    EXPECT_TRUE(selector->Entries()[2]->IsVisible());
    CVantrelUSBDevice* headset = selector->Entries()[3]->Device();
    ASSERT_NE(headset, nullptr);
    EXPECT_EQ(headset->Kind(), DeviceKind::Headset);
    EXPECT_TRUE(headset->Transport().Opened());
    EXPECT_TRUE(headset->NotifyOpen(false));
    EXPECT_TRUE(selector->Entries()[3]->IsVisible());
    EXPECT_TRUE(DebugTrace::Contains("添加一个键盘设备"));
    EXPECT_FALSE(DebugTrace::Contains("keyboard: recognised, no page for it in this version"));
    EXPECT_EQ(selector->Entries()[1]->NormalPicture(), "common/device_ico/hard_mp_device_normal.png");
}

TEST_F(Manager, BatteryThroughTheReceiverWhileCharging) {
    rig.hub.Plug("mouse-receiver");
    rig.hub.SetBattery("mouse", 57, 1);
    Scan();
    host.AdvanceTime(500);
    Mouse().StopLightingThread();
    host.AdvanceTime(50);  // timer 1005
    ui::Control* power = host.Find("device_power_switch");
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(ui::Ctl(host.Find("device_power_value")).Text(), "57%");
    EXPECT_EQ(ui::Ctl(host.Find("device_Power_progress")).Value(), 43);
    EXPECT_TRUE(ui::Ctl(host.Find("device_wuxian_logo")).Visible());
    EXPECT_FALSE(ui::Ctl(host.Find("device_Power_progress")).Visible());
    EXPECT_EQ(host.Find("device_power_status")->BkImage(), "file='power/powering.png'");
}

TEST(PowerPanel, StatesPhonesAndMissingControls) {
    ui::MemoryControlHost host;
    ui::MemoryControl* root = host.LoadLayout(GetInstallFolder() + "skin/mpdevicepower.ui");
    ASSERT_NE(root, nullptr);
    CMpDevicePowerUI pad(host, root);
    pad.SetKind(DeviceKind::MousePad, 0);
    const uint8_t cable[] = {100, 0, 0, 0, 100, 7};
    pad.ShowStatus(cable, sizeof cable);
    EXPECT_EQ(host.Find("device_phone_type")->BkImage(), "file='power/Phone_type_no_device.png'");
    EXPECT_EQ(host.Find("device_power_status")->BkImage(), "file='power/powered.png'");
    EXPECT_TRUE(ui::Ctl(host.Find("device_Power_progress")).Visible());
    const uint8_t phone[] = {30, 2, 0, 0, 30, 1};
    pad.ShowStatus(phone, 4);  // short input: the rest counts as zeros
    EXPECT_EQ(host.Find("device_phone_type")->BkImage(), "file='power/Phone_type_no_device.png'");
    pad.ShowStatus(phone, sizeof phone);
    EXPECT_EQ(host.Find("device_phone_type")->BkImage(), "file='power/Phone_type_iphone.png'");
    EXPECT_EQ(ui::Ctl(host.Find("device_power_value")).Text(), "30%");

    ui::MemoryControlHost bare;
    ui::MemoryControl* partial = bare.CreateControl("QWidget", "device_power_Layout", nullptr);
    bare.CreateControl("QLabel", "device_power_value", partial);
    CMpDevicePowerUI missing(bare, partial);
    missing.ShowStatus(phone, sizeof phone);
    EXPECT_EQ(ui::Ctl(bare.Find("device_power_value")).Text(), "");  // nothing shown at all
}

TEST(SelectorEntry, PicturesByKindAndSynchronisedMark) {
    ui::MemoryControlHost host;
    ui::MemoryControl* root = host.LoadLayout(GetInstallFolder() + "skin/deviceoption.ui");
    CDeviceOptionUI entry(host, root);
    EXPECT_EQ(entry.NormalPicture(), "common/device_ico/unknow_device_normal.png");
    entry.SetKind(3, 1);
    EXPECT_EQ(entry.NormalPicture(), "common/device_ico/soft_mp_device_normal.png");
    entry.SetKind(3, 0);
    EXPECT_EQ(entry.SelectedPicture(), "common/device_ico/hard_mp_device_selected.png");
    entry.SetKind(3, 5);  // other pad variants keep the pictures
    EXPECT_EQ(entry.SelectedPicture(), "common/device_ico/hard_mp_device_selected.png");
    entry.SetKind(7, 0);
    EXPECT_EQ(entry.ToolTipKey(), "hd_device_name_text");
    entry.SetKind(42, 0);
    EXPECT_EQ(entry.ToolTipKey(), "unknow_device_name_text");
    entry.SetKind(2, 3);
    entry.SetSynchro(true);
    EXPECT_EQ(host.Find("device_select")->BkImage(), "common/device_ico/ms_device_synchro_normal.png");
    entry.SetSynchro(false);
    EXPECT_EQ(host.Find("device_select")->BkImage(), "common/device_ico/ms_device_normal.png");
}

// The virtual backend seen through a counter of the scan's work; opens can
// be made to fail as a node does before its access rule is applied.
class CountingBackend : public HidBackend {
public:
    explicit CountingBackend(std::shared_ptr<HidBackend> inner) : inner_(std::move(inner)) {}
    std::vector<std::string> EnumerateInterfaces() override {
        ++enumerations;
        return inner_->EnumerateInterfaces();
    }
    std::unique_ptr<HidNode> Open(const std::string& path, bool read, bool write) override {
        if (failingOpens > 0) {
            --failingOpens;
            return nullptr;
        }
        return inner_->Open(path, read, write);
    }
    bool Present(const std::string& path) override {
        ++presenceProbes;
        return inner_->Present(path);
    }
    uint64_t ChangeCount() override { return inner_->ChangeCount(); }
    int ChangeFd() override { return inner_->ChangeFd(); }

    std::atomic<int> enumerations{0}, presenceProbes{0}, failingOpens{0};

private:
    std::shared_ptr<HidBackend> inner_;
};

// Arrivals and losses as the scan thread sends them, answered at once.
class RecordingChannel : public ui::MessageChannel {
public:
    intptr_t Send(uint32_t message, intptr_t wParam, intptr_t) override {
        std::lock_guard lock(mutex);
        sent.push_back({message, wParam});
        changed.notify_all();
        return 0;
    }
    void Post(uint32_t, intptr_t, intptr_t) override {}
    bool WaitFor(uint32_t message, size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] {
            size_t n = 0;
            for (const auto& [m, w] : sent) n += m == message;
            return n >= count;
        });
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<uint32_t, intptr_t>> sent;
};

using test::Eventually;

// What the manager tells its views, with no window and no control at all.
struct RecordingViews : DeviceViews {
    void Created(CVantrelUSBDevice& device, const ProductRow& row, size_t model) override {
        seen.push_back(std::string("created ") + row.name + " " + std::to_string(model) +
                       (device.ModelIndex() == static_cast<int>(model) ? "" : " (model index not set)"));
    }
    void Recognised(const ProductRow& row, size_t) override { seen.push_back(std::string("recognised ") + row.name); }
    void RecognisedLink(size_t, const char* text) override { seen.push_back(std::string("recognised ") + (text ? text : "gone")); }
    void Attached(CVantrelUSBDevice& device, bool receiver) override {
        seen.push_back(std::string("attached by ") + (receiver ? "receiver" : "cable") +
                       (device.Transport().Opened() ? "" : " (not open)"));
    }
    void Detached(CVantrelUSBDevice& device) override {
        seen.push_back(std::string("detached") + (device.Transport().Opened() ? " (still open)" : ""));
    }
    void LinkSwitched(CVantrelUSBDevice& device, bool toReceiver) override {
        seen.push_back(std::string("switched to ") + (toReceiver ? "receiver" : "cable") +
                       (device.Transport().ReceiverMode() == toReceiver ? "" : " (transport disagrees)"));
    }
    void LookingFor(const std::vector<ProductRow>&, const std::vector<RefusedNode>& refused) override {
        if (!refused.empty()) seen.push_back("refused " + refused.front().node);
    }
    std::vector<std::string> seen;
};

TEST(ManagerViews, AreToldOfEachDeviceItsAttachDetachAndLinkSwitchesInOrder) {
    test::TempFolder folder;
    test::VirtualRig rig;
    RecordingViews views;
    std::unique_ptr<CDeviceManager> manager;
    ui::QueuedMessageChannel channel{[&](uint32_t message, intptr_t wParam, intptr_t) -> intptr_t {
        if (message == ui::kMsgInterfaceArrived) manager->OnArrival(static_cast<size_t>(wParam));
        if (message == ui::kMsgInterfaceLost) manager->OnLoss(static_cast<size_t>(wParam));
        return 0;
    }};
    DeviceManagerUi ui;
    ui.owner = &channel;
    ui.views = &views;
    manager = std::make_unique<CDeviceManager>(ui, rig.hub.Backend());
    CHidDevice probe(rig.hub.Backend());
    manager->CreateStartupDevices();
    const size_t mouseModel = *FindProduct(kProducts, 0x320F, 0x222E, DeviceKind::Mouse);
    EXPECT_EQ(views.seen, std::vector<std::string>{"created mouse " + std::to_string(mouseModel)});

    views.seen.clear();
    rig.hub.Plug("mouse");
    manager->ScanPass(probe);
    rig.hub.Plug("mouse-receiver");  // beside the cable: nothing changes
    manager->ScanPass(probe);
    EXPECT_EQ(views.seen, std::vector<std::string>{"attached by cable"});
    views.seen.clear();
    rig.hub.Unplug("mouse");  // the receiver takes over
    manager->ScanPass(probe);
    rig.hub.Plug("mouse");  // the cable has priority again
    manager->ScanPass(probe);
    EXPECT_EQ(views.seen, (std::vector<std::string>{"switched to receiver", "switched to cable"}));
    views.seen.clear();
    rig.hub.Unplug("mouse-receiver");
    manager->ScanPass(probe);
    EXPECT_TRUE(views.seen.empty());  // the cable still links it
    rig.hub.Unplug("mouse");
    manager->ScanPass(probe);
    EXPECT_EQ(views.seen, std::vector<std::string>{"detached"});
    for (CVantrelUSBDevice* device : manager->Devices()) device->StopLightingThread();
    manager.reset();
}

// A manager without a window: what the scan thread does, through the counter.
class ScanThread : public ::testing::Test {
protected:
    void SetUp() override {
        ui.owner = &channel;
        manager = std::make_unique<CDeviceManager>(ui, counting);
    }
    test::TempFolder folder;
    test::VirtualRig rig;
    std::shared_ptr<CountingBackend> counting = std::make_shared<CountingBackend>(rig.hub.Backend());
    RecordingChannel channel;
    DeviceManagerUi ui;
    std::unique_ptr<CDeviceManager> manager;
};

TEST_F(ScanThread, SleepsUntilTheBackendReportsAChangeAndStopsAtOnce) {
    StoppableThread scan;
    scan.Start([this](const StopEvent& stop) { manager->RunScanThread(stop); });
    ASSERT_TRUE(Eventually([&] { return counting->enumerations >= 1; }));
    rig.hub.Plug("mousepad");
    ASSERT_TRUE(channel.WaitFor(ui::kMsgInterfaceArrived, 2));  // command and notification collection
    EXPECT_TRUE(manager->Slot(8).present);
    // Nothing changes: no pass at all, not even a presence probe (a pass
    // every 100 ms would have probed both collections three times).
    std::this_thread::sleep_for(50ms);
    const int enumerations = counting->enumerations, probes = counting->presenceProbes;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(counting->enumerations, enumerations);
    EXPECT_EQ(counting->presenceProbes, probes);
    EXPECT_EQ(manager->ScanWaitMs(), -1);
    // A loss reaches the thread the same way, through the change descriptor.
    rig.hub.Unplug("mousepad");
    ASSERT_TRUE(channel.WaitFor(ui::kMsgInterfaceLost, 2));
    EXPECT_GT(counting->presenceProbes, probes);
    EXPECT_EQ(scan.Stop(1000ms), StoppableThread::StopResult::Ended);
}

TEST_F(ScanThread, AProbeThatCouldNotOpenIsRetriedEveryTwoSeconds) {
    CHidDevice probe(counting);
    rig.hub.Plug("mousepad");
    counting->failingOpens = 100;
    manager->ScanPass(probe);
    EXPECT_FALSE(manager->Slot(8).present);
    EXPECT_EQ(manager->ScanWaitMs(), 2000);
    // Still pending: a pass without a change does not enumerate before the retry is due.
    counting->failingOpens = 0;
    const int enumerations = counting->enumerations;
    manager->ScanPass(probe);
    EXPECT_EQ(counting->enumerations, enumerations);
    EXPECT_EQ(manager->ScanWaitMs(), 2000);
    // A change (or the 2 s) lets the next pass open it; then nothing is pending.
    rig.hub.Backend()->NoteChange();
    manager->ScanPass(probe);
    EXPECT_TRUE(manager->Slot(8).present);
    EXPECT_EQ(manager->ScanWaitMs(), -1);
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

TEST_F(Manager, TheEntrySaysHowItIsLinkedAndItsFirmware) {
    rig.hub.Plug("mouse");
    Scan();
    ui::Control* entryRoot = MouseEntry().Root();
    EXPECT_EQ(ui::Ctl(host.FindUnder(entryRoot, "device_select_state")).Text(), "link_cable_text");
    const uint16_t version = selector->InstalledVersion(0);
    ASSERT_NE(version, 0);
    char expected[32];
    std::snprintf(expected, sizeof expected, "Firmware %x.%02x", version >> 8, version & 0xFF);
    EXPECT_EQ(host.FindUnder(entryRoot, "device_select")->ToolTipText(), expected);
    EXPECT_EQ(host.FindUnder(entryRoot, "device_select")->ToolTipTitle(), "ms_device_name_text");
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {
// The pages go before the devices when the window closes: a device thread that
// asks for an entry timer afterwards must not reach the selector that is gone.
TEST_F(Manager, ADeviceOutlivingTheSelectorNoLongerAsksItForTimers) {
    rig.hub.Plug("mousepad");
    Scan();
    ASSERT_EQ(manager->Pads().size(), 1u);
    pages.reset();
    selector.reset();
    ASSERT_TRUE(rig.hub.Notify("mousepad", 0x0401));  // the pad asks for a reload timer
    // Time for the notification thread to run its request; a request that
    // reached the selector would touch freed memory (the sanitizer build stops).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(manager->Pads().size(), 1u);
}

}  // namespace
}  // namespace m470
