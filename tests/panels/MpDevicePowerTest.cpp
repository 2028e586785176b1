#include <gtest/gtest.h>

#include "panels/MpDevicePower.h"
#include "platform/Folders.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

class BatteryPanel : public ::testing::Test {
protected:
    void SetUp() override {
        root = host.LoadLayout(GetInstallFolder() + "skin/mpdevicepower.ui");
        ASSERT_NE(root, nullptr);
    }
    ui::Control* Find(const char* name) { return host.Find(name); }
    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
};

TEST_F(BatteryPanel, LowChargeTurnsTheBarRed) {
    CMpDevicePowerUI panel(host, root);
    panel.SetKind(DeviceKind::Mouse, 0);
    const uint8_t full[] = {100, 2, 0, 1};
    panel.ShowStatus(full, sizeof full);
    EXPECT_EQ(Find("device_Power_progress")->Value(), 0);
    const uint32_t normal = Find("device_Power_progress")->BkColour();
    const uint8_t fifteen[] = {15, 2, 0, 1};
    panel.ShowStatus(fifteen, sizeof fifteen);
    EXPECT_EQ(Find("device_Power_progress")->BkColour(), normal);
    const uint8_t low[] = {14, 2, 0, 1};
    panel.ShowStatus(low, sizeof low);
    EXPECT_EQ(Find("device_Power_progress")->Value(), 86);
    EXPECT_EQ(Find("device_power_value")->Text(), "14%");
    const uint32_t red = Find("device_Power_progress")->BkColour();
    EXPECT_NE(red, normal);
    EXPECT_GT((red >> 16) & 0xFF, 0xC0u);  // mostly red
    EXPECT_LT((red >> 8) & 0xFF, 0x80u);
}

TEST_F(BatteryPanel, TheWirelessLogoHasItsPictureThroughTheReceiver) {
    CMpDevicePowerUI panel(host, root);
    panel.SetKind(DeviceKind::Mouse, 0);
    const uint8_t wired[] = {80, 0, 0, 0};
    panel.ShowStatus(wired, sizeof wired);
    EXPECT_FALSE(ui::Ctl(Find("device_wuxian_logo")).Visible());
    const uint8_t receiver[] = {80, 2, 0, 1};
    panel.ShowStatus(receiver, sizeof receiver);
    EXPECT_TRUE(ui::Ctl(Find("device_wuxian_logo")).Visible());
    EXPECT_EQ(Find("device_wuxian_logo")->BkImage(), "file='power/wireless.png'");
}

}  // namespace
}  // namespace m470
