#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

#include "SoundCards.h"
#include "device_link/CommandCodes.h"
#include "devices/DeviceManager.h"
#include "devices/HS6533Device.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "shell/UpdateList.h"
#include "sim/ProductFirmware.h"
#include "support/FakeAudioLibrary.h"
#include "support/SelectorRig.h"
#include "support/SoundCardSysfs.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

// A second mouse model: its own ids and receiver, another (linear) sensor and
// 12 LEDs, sharing the first model's page, factory profile and light row.
constexpr uint16_t kLinearSensor = 0x3360;
constexpr ProductRow kSecondMouse{"mouse-s2", 0x320F, 0x2240, 0x2241, 1, false, 0xFF1C, 0x0092,
                                  DeviceKind::Mouse, DeviceKind::MouseReceiver, 12, 12, true, 1,
                                  "mousedevice.ui", "deviceoption.ui", "mouse.Json", "kestro_light",
                                  {"mouse-s2", "mouse-s2-receiver", 0x0110}, {kTypeMouseClass, "M470"}, {}};

// A second keyboard and a second headset, each one row and nothing else:
// their own ids, emulator names and versions, update names and (the
// headset) sound card, the first models' pages, factory files and light rows.
constexpr ProductRow kSecondKeyboard{"keyboard2", 0x320F, 0x50D0, 0x50D1, 1, false, 0xFF1C, 0x0092,
                                     DeviceKind::Keyboard, DeviceKind::KeyboardReceiver, 170, 170, false, 0,
                                     "keyboarddevice.ui", "deviceoption.ui", "keyboard.Json", "kestro_light",
                                     {"keyboard2", "keyboard2-receiver", 0x0301}, {kTypeKeyboardClass, "T35"}, {}};
constexpr ProductRow kSecondHeadset{"HD2", 0x0C76, 0x1640, 0x0000, 3, true, 0x000C, 0x0001,
                                    DeviceKind::Headset, DeviceKind::Headset, 13, 0, false, 3,
                                    "hs6533device.ui", "deviceoption.ui", "HD.Json", "kestro_light",
                                    {"headset2", "", 0x0102}, {kTypeMouseClass, "HD2"}, {0x0C76, 0x1641}};

std::vector<ProductRow> KnownAnd(std::initializer_list<ProductRow> more) {
    std::vector<ProductRow> rows(kProducts.begin(), kProducts.end());
    rows.insert(rows.end(), more);
    return rows;
}

// The device side of the window over a product table: the hub emulates its
// first `emulated` rows, the manager looks for all of them, the selector
// shows them and builds their pages on the in-memory tree.
class ProductTableRig : public ::testing::Test {
protected:
    ProductTableRig(std::vector<ProductRow> rows, size_t emulated)
        : rows_(std::move(rows)), rig(std::span<const ProductRow>(rows_).first(emulated)) {}

    void Start() {
        ASSERT_NE(host.LoadLayout(GetInstallFolder() + "skin/mainwindow.ui"), nullptr);
        selector = test::MakeSelector(host, channel, pages);
        DeviceManagerUi ui;
        ui.owner = &channel;
        ui.views = selector.get();
        manager = std::make_unique<CDeviceManager>(ui, rig.hub.Backend(), rows_);
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
    CVantrelUSBDevice* Model(const std::string& name) {
        for (CVantrelUSBDevice* device : manager->Devices())
            if (device->DeviceName() == name) return device;
        return nullptr;
    }
    size_t EntryOf(const CVantrelUSBDevice* device) {
        for (size_t i = 0; i < selector->Entries().size(); ++i)
            if (selector->Entries()[i]->Device() == device) return i;
        return selector->Entries().size();
    }

    std::vector<ProductRow> rows_;
    test::TempFolder folder;
    test::VirtualRig rig;
    ui::MemoryControlHost host;
    ui::QueuedMessageChannel channel{[this](uint32_t message, intptr_t wParam, intptr_t lParam) -> intptr_t {
        if (message == ui::kMsgInterfaceArrived) manager->OnArrival(static_cast<size_t>(wParam));
        if (message == ui::kMsgInterfaceLost) manager->OnLoss(static_cast<size_t>(wParam));
        if (message == ui::kMsgLink) selector->OnLinkMessage(static_cast<int>(wParam), lParam != 0);
        return 0;
    }};
    std::unique_ptr<CDeviceManager> manager;
    std::unique_ptr<CDeviceSelector> selector;
    std::unique_ptr<CPageBuilder> pages = std::make_unique<CPageBuilder>();
    CHidDevice probe{rig.hub.Backend()};
};

class SecondMouseModel : public ProductTableRig {
protected:
    SecondMouseModel() : ProductTableRig(KnownAnd({kSecondMouse}), kProducts.size()) {}
    void SetUp() override {
        ASSERT_TRUE(rig.hub.AddProduct(kSecondMouse, [] { return std::make_shared<MouseFirmware>(kLinearSensor); }));
        Start();
    }
};

TEST_F(SecondMouseModel, OneRowGivesItsInterfacesTwinsAndDevice) {
    // Four more interface rows after the known ones, cable and receiver twinned.
    ASSERT_EQ(manager->SlotCount(), kKnownInterfaces.size() + 4);
    const size_t first = kKnownInterfaces.size();
    EXPECT_EQ(manager->Slot(first).row.productId, 0x2240);
    EXPECT_EQ(manager->Slot(first).row.role, InterfaceRole::Command);
    EXPECT_EQ(manager->Slot(first + 2).row.productId, 0x2241);
    EXPECT_EQ(manager->Slot(first + 2).row.kind, DeviceKind::MouseReceiver);
    EXPECT_EQ(manager->Slot(first).row.twinRow, first + 2);
    EXPECT_EQ(manager->Slot(first + 3).row.twinRow, first + 1);
    // Both mice exist from start-up, each with the facts of its own row.
    ASSERT_EQ(manager->Mice().size(), 2u);
    ASSERT_NE(Model("mouse"), nullptr);
    ASSERT_NE(Model("mouse-s2"), nullptr);
    EXPECT_EQ(Model("mouse")->LedCount(), 20u);
    EXPECT_EQ(Model("mouse-s2")->LedCount(), 12u);
    EXPECT_EQ(Model("mouse-s2")->ModelIndex(), static_cast<int>(kProducts.size()));
    EXPECT_EQ(Model("mouse-s2")->DefaultProfilePath(), GetDefaultDataFolder() + "mouse.Json");
}

TEST_F(SecondMouseModel, ItsPageComesUpWithItsSensorsScale) {
    rig.hub.Plug("mouse-s2");
    manager->ScanPass(probe);
    auto& second = static_cast<CVantrelMouseDevice&>(*Model("mouse-s2"));
    EXPECT_TRUE(second.Transport().Opened());
    EXPECT_FALSE(Model("mouse")->Transport().Opened());
    const size_t entry = EntryOf(&second);
    ASSERT_LT(entry, selector->Entries().size());
    EXPECT_TRUE(selector->Entries()[entry]->IsVisible());
    EXPECT_EQ(selector->CurrentDevice(), &second);
    host.AdvanceTime(500);  // the first full read
    second.StopLightingThread();
    EXPECT_EQ(second.Scale().sensor, kLinearSensor);
    // Stage 5 of the factory profile sits at position 81: linear, not three segments.
    EXPECT_EQ(ui::Ctl(host.FindUnder(selector->PageRootOf(&second), "DPI_slider_5")).Value(), 81);
    EXPECT_EQ(ui::Ctl(host.FindUnder(selector->PageRootOf(&second), "DPI_edit_5")).Text(), std::to_string(100 + 81 * 100));
    EXPECT_EQ(selector->InstalledVersion(entry), 0x0110);

    // Its receiver is its twin: the cable leaving moves the device to it.
    rig.hub.Plug("mouse-s2-receiver");
    manager->ScanPass(probe);
    rig.hub.Unplug("mouse-s2");
    manager->ScanPass(probe);
    second.StopLightingThread();
    EXPECT_TRUE(second.Transport().Opened());
    EXPECT_TRUE(second.Transport().ReceiverMode());
}

// The table of the program plus a second keyboard and a second headset, the
// hub built from that table alone.
class SecondKeyboardAndHeadset : public ProductTableRig {
protected:
    SecondKeyboardAndHeadset() : ProductTableRig(KnownAnd({kSecondKeyboard, kSecondHeadset}), kProducts.size() + 2) {}
    void SetUp() override {
        SetDefaultAudioLibraryPath(test::kFakeAudioLibraryPath);
        Start();
    }
    void TearDown() override {
        ProductTableRig::TearDown();
        SetDefaultAudioLibraryPath("");
    }
    // Every exchange of one emulated interface, and whether each was answered
    // with success.
    std::vector<TrafficEntry> TrafficOf(const std::string& interfaceName) {
        std::vector<TrafficEntry> entries;
        for (const TrafficEntry& entry : rig.hub.Traffic().Entries())
            if (entry.interfaceName == interfaceName) entries.push_back(entry);
        return entries;
    }
    static bool Answered(const TrafficEntry& entry) {
        return entry.viaControlPipe || (!entry.dropped && entry.reply[packet::kStatus] != packet::kStatusFailed &&
                                        entry.reply[packet::kStatus] != packet::kStatusRejected);
    }
    static bool HasCommand(const std::vector<TrafficEntry>& entries, uint8_t code) {
        return std::any_of(entries.begin(), entries.end(),
                           [code](const TrafficEntry& entry) { return entry.request[packet::kCommand] == code; });
    }
};

TEST_F(SecondKeyboardAndHeadset, EmulatedFoundOpenedAndReadFromTheirRowsAlone) {
    // The emulators take their names from the rows.
    const std::vector<std::string> names = VirtualInterfaceNames(rows_);
    for (const char* name : {"keyboard2", "keyboard2-receiver", "headset2", "keyboard", "headset"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    std::string error;
    EXPECT_TRUE(ParseVirtualSelection("keyboard2,headset2", error, rows_)) << error;
    EXPECT_FALSE(ParseVirtualSelection("keyboard2", error));  // not a row of the program's own table
    EXPECT_NE(error.find("keyboard-receiver"), std::string::npos) << error;

    rig.hub.PlugAll({"keyboard2", "headset2"});
    manager->ScanPass(probe);
    host.AdvanceTime(500);  // the first full reads

    // Each is a device of its kind with its own row's facts, on its own node.
    auto* keyboard = dynamic_cast<CVantrelKeyboardDevice*>(Model("keyboard2"));
    auto* headset = dynamic_cast<CVantrelHS6533Device*>(Model("HD2"));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(headset, nullptr);
    keyboard->StopLightingThread();
    headset->StopLightingThread();
    EXPECT_EQ(keyboard->Kind(), DeviceKind::Keyboard);
    EXPECT_EQ(headset->Kind(), DeviceKind::Headset);
    EXPECT_EQ(manager->Keyboards(), std::vector<CVantrelKeyboardDevice*>{keyboard});  // the first is not plugged
    EXPECT_NE(keyboard->Transport().Primary().Path().find("pid_50d0&mi_01&col04"), std::string::npos)
        << keyboard->Transport().Primary().Path();
    EXPECT_NE(headset->Transport().Primary().Path().find("vid_0c76&pid_1640&mi_03"), std::string::npos)
        << headset->Transport().Primary().Path();
    EXPECT_EQ(headset->LedCount(), 13u);
    EXPECT_EQ(keyboard->DefaultProfilePath(), GetDefaultDataFolder() + "keyboard.Json");
    EXPECT_EQ(keyboard->DataFolder(), GetDeviceFolder("keyboard2"));
    for (CVantrelUSBDevice* device : manager->Devices())  // the first models stay away
        if (device != keyboard && device != headset) EXPECT_FALSE(device->Transport().Opened()) << device->DeviceName();

    // The first read ran on each, every exchange answered with success.
    EXPECT_TRUE(keyboard->FirstReadDone());
    EXPECT_TRUE(headset->FirstReadDone());
    const std::vector<TrafficEntry> keyboardTraffic = TrafficOf("keyboard2"), headsetTraffic = TrafficOf("headset2");
    EXPECT_TRUE(HasCommand(keyboardTraffic, command::kReadSettings));
    EXPECT_TRUE(HasCommand(keyboardTraffic, command::kReadKeyTable));
    EXPECT_TRUE(HasCommand(headsetTraffic, command::kReadSettings));
    EXPECT_TRUE(std::all_of(keyboardTraffic.begin(), keyboardTraffic.end(), Answered));
    EXPECT_TRUE(std::all_of(headsetTraffic.begin(), headsetTraffic.end(), Answered));
    EXPECT_TRUE(TrafficOf("keyboard").empty());
    EXPECT_TRUE(TrafficOf("headset").empty());

    // Their selector entries show their versions, read off their nodes.
    EXPECT_EQ(selector->InstalledVersion(EntryOf(keyboard)), 0x0301);
    EXPECT_EQ(selector->InstalledVersion(EntryOf(headset)), 0x0102);

    // Through the receiver of its own row.
    rig.hub.Plug("keyboard2-receiver");
    manager->ScanPass(probe);
    rig.hub.Unplug("keyboard2");
    manager->ScanPass(probe);
    keyboard->StopLightingThread();
    EXPECT_TRUE(keyboard->Transport().ReceiverMode());
    EXPECT_NE(keyboard->Transport().Secondary().Path().find("pid_50d1"), std::string::npos);
}

TEST_F(SecondKeyboardAndHeadset, UpdateKeysAndSoundCardComeFromTheirRows) {
    rig.hub.PlugAll({"keyboard2", "headset2"});
    manager->ScanPass(probe);
    host.AdvanceTime(500);
    for (CVantrelUSBDevice* device : manager->Devices()) device->StopLightingThread();

    RegistryStore registry(folder.File("registry.json"));
    ASSERT_TRUE(registry.Write("UPDATE_BRAND", "VT"));
    ASSERT_TRUE(registry.Write("UPDATE_FIRMWARE_KEYBOARD2", "K2FW"));
    ASSERT_TRUE(registry.Write("UPDATE_FIRMWARE_HD2", "H2FW"));
    const std::vector<UpdateEntry> entries = BuildUpdateList(selector.get(), registry, "1.0.5");
    std::vector<std::string> keys;
    for (const UpdateEntry& entry : entries) keys.push_back(AppKey(entry) + " " + entry.listName);
    std::sort(keys.begin(), keys.end() - 1);  // the program's stays last
    EXPECT_EQ(keys, (std::vector<std::string>{"VT_1_H2FW_HD2_1 HD2_device_name_text",
                                              "VT_2_K2FW_T35_1 keyboard2_device_name_text",
                                              "VT_0_ALL_M470_1 update_program_name"}));

    // The sound card the audio library takes is the headset row's.
    test::TempFolder sysfs(false);
    test::AddSoundCard(sysfs, 1, "0c76", "1630");
    test::AddSoundCard(sysfs, 4, "0c76", "1641");
    test::AddSoundCard(sysfs, 5, "0c76", "1640");  // the headset's HID side is no card id
    EXPECT_EQ(osconf::FindCards(sysfs.Path(), osconf::ConfiguredUsbIds(rows_)), (std::vector<int>{1, 4}));
    EXPECT_EQ(osconf::FindCards(sysfs.Path(), osconf::ConfiguredUsbIds()), (std::vector<int>{1}));
}

// Rows as the product table's source writes them: the udev rule generator
// reads each row's first five values.
std::string TableSource(std::span<const ProductRow> rows) {
    std::string text = "inline constexpr std::array<ProductRow, N> kProducts{{\n";
    for (const ProductRow& row : rows) {
        char line[160];
        std::snprintf(line, sizeof line, "    {\"%s\", 0x%04X, 0x%04X, 0x%04X, %u, false},\n", row.name, row.vendorId,
                      row.productId, row.receiverProductId, static_cast<unsigned>(row.interfaceNumber));
        text += line;
    }
    return text + "}};\n";
}

// cmake runs the build's generator on the table; its exit code.
int GenerateUdevRule(const std::string& table, const std::string& output) {
    const std::string tableSetting = "-DTABLE=" + table, outputSetting = "-DOUTPUT=" + output;
    const char* argv[] = {M470_CMAKE, tableSetting.c_str(), outputSetting.c_str(), "-P", M470_UDEV_RULE_OF, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, M470_CMAKE, nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Grant(const char* vendor, const char* product, const char* number) {
    return std::string("ENV{ID_VENDOR_ID}==\"") + vendor + "\", ENV{ID_MODEL_ID}==\"" + product +
           "\", ENV{ID_USB_INTERFACE_NUM}==\"" + number + "\", TAG+=\"uaccess\"\n";
}

TEST(UdevRuleOfRows, TwoMoreRowsGrantTheirInterfacesAndNothingElse) {
    test::TempFolder folder(false);
    // Written this way, the program's own rows give the rule the build installs.
    folder.Write("known.h", TableSource(kProducts));
    ASSERT_EQ(GenerateUdevRule(folder.File("known.h"), folder.File("known.rules")), 0);
    const std::string known = folder.Read("known.rules");
    ASSERT_EQ(known, test::TempFolder::ReadFile(M470_UDEV_RULE));

    folder.Write("more.h", TableSource(KnownAnd({kSecondKeyboard, kSecondHeadset})));
    ASSERT_EQ(GenerateUdevRule(folder.File("more.h"), folder.File("more.rules")), 0);
    const std::string more = folder.Read("more.rules");
    // The same rule with one line per new interface after the known ones:
    // cable and receiver of the keyboard, the headset's interface 3.
    const std::string added = Grant("320f", "50d0", "01") + Grant("320f", "50d1", "01") + Grant("0c76", "1640", "03");
    const size_t end = known.rfind("TAG+=\"uaccess\"\n") + std::string("TAG+=\"uaccess\"\n").size();
    EXPECT_EQ(more, known.substr(0, end) + added + known.substr(end));
}

}  // namespace
}  // namespace m470
