#include <gtest/gtest.h>

#include "device_link/CommandCodes.h"
#include "devices/DeviceManager.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "ui/MemoryControlTree.h"
#include "sim/ProductFirmware.h"
#include "support/SelectorRig.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

// A second mouse model: its own ids and receiver, another (linear) sensor and
// 12 LEDs, sharing the first model's page, factory profile and light row.
constexpr uint16_t kLinearSensor = 0x3360;
constexpr ProductRow kSecondMouse{"mouse-s2", 0x320F, 0x2240, 0x2241, 1, false, 0xFF1C, 0x0092,
                                  DeviceKind::Mouse, DeviceKind::MouseReceiver, 12, 12, true, 1,
                                  "mousedevice.ui", "deviceoption.ui", "mouse.Json", "kestro_light"};

std::vector<ProductRow> WithSecondMouse() {
    std::vector<ProductRow> rows(kProducts.begin(), kProducts.end());
    rows.push_back(kSecondMouse);
    return rows;
}

class SecondMouseModel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.hub.AddProduct(kSecondMouse, {"mouse-s2", "mouse-s2", "mouse-s2-receiver", 0x0110, [] {
                                                          return std::make_shared<MouseFirmware>(kLinearSensor);
                                                      }}));
        ASSERT_NE(host.LoadLayout(GetInstallFolder() + "skin/mainwindow.ui"), nullptr);
        selector = test::MakeSelector(host, channel, pages);
        DeviceManagerUi ui;
        ui.owner = &channel;
        ui.views = selector.get();
        manager = std::make_unique<CDeviceManager>(ui, rig.hub.Backend(), WithSecondMouse());
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
    CVantrelMouseDevice* Model(const std::string& name) {
        for (const auto& mouse : manager->Mice())
            if (mouse->DeviceName() == name) return mouse;
        return nullptr;
    }
    size_t EntryOf(const CVantrelUSBDevice* device) {
        for (size_t i = 0; i < selector->Entries().size(); ++i)
            if (selector->Entries()[i]->Device() == device) return i;
        return selector->Entries().size();
    }

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
    CVantrelMouseDevice& second = *Model("mouse-s2");
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

}  // namespace
}  // namespace m470
