#include <gtest/gtest.h>

#include <thread>

#include "support/PlainDevice.h"
#include "device_link/CommandSequences.h"
#include "devices/VantrelUSBDevice.h"
#include "pages/DevicePage.h"
#include "platform/DebugTrace.h"
#include "ui/MemoryControlTree.h"
#include "support/Eventually.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

// A device of any kind that records its notifications.
class RecordingDevice : public test::PlainDevice {
public:
    using test::PlainDevice::PlainDevice;
    std::atomic<int> notifications{0};
    std::atomic<uint16_t> lastCode{0};
    std::atomic<bool> lastFromReceiver{false};
    int reads = 0;
    DeviceInfo& MutableInfo() { return deviceInfo_; }
    int ReadFromDevice() override {
        ++reads;
        return 1;
    }

protected:
    void OnNotification(uint16_t code, bool receiver) override {
        lastCode = code;
        lastFromReceiver = receiver;
        ++notifications;
    }
};

std::vector<uint8_t> TrafficCommands(test::VirtualRig& rig) {
    std::vector<uint8_t> commands;
    for (const auto& entry : rig.hub.Traffic().Entries()) commands.push_back(entry.request[3]);
    return commands;
}

TEST(DeviceBase, LedEntriesOutsideTheFrameAreIgnored) {
    RecordingDevice device(DeviceKind::Mouse);
    device.SetLedCount(20);
    device.SetLedColour(3, 0x80302010);
    EXPECT_EQ(device.GetLedColour(3), 0x80302010u);
    EXPECT_EQ(device.FrameCopy()[3], (LedEntry{0x10, 0x20, 0x30, 0x80}));
    device.SetLedColour(-1, 0xFFFFFFFF);
    device.SetLedColour(20, 0xFFFFFFFF);
    EXPECT_EQ(device.GetLedColour(-1), 0u);
    EXPECT_EQ(device.GetLedColour(20), 0u);
    for (const LedEntry& led : device.FrameCopy()) EXPECT_TRUE(led == LedEntry{} || led.level == 0x80);
    device.SetLedCount(5);
    EXPECT_EQ(device.GetLedColour(3), 0u);  // resizing clears
}

TEST(DeviceBase, LightingControlClaimsOnlyOnTheKeyboard) {
    test::VirtualRig rig;
    rig.hub.PlugAll({"keyboard", "mouse"});
    RecordingDevice keyboard(DeviceKind::Keyboard, rig.hub.Backend()), mouse(DeviceKind::Mouse, rig.hub.Backend());
    rig.Open(keyboard.Transport(), "keyboard", LinkWired);
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    keyboard.SetLightControlFlag(1);
    mouse.SetLightControlFlag(1);
    keyboard.SetLightControlFlag(0);
    const auto traffic = rig.hub.Traffic().Entries();
    ASSERT_EQ(traffic.size(), 1u);
    EXPECT_EQ(traffic[0].interfaceName, "keyboard");
    EXPECT_EQ(traffic[0].request[3], 0x1C);
    EXPECT_EQ(keyboard.LightControlFlag(), 0);
}

TEST(DeviceBase, NotificationThreadDecodesCodesAndStopsFromABlockedRead) {
    test::VirtualRig rig;
    rig.hub.PlugAll({"mouse", "mouse-receiver"});
    RecordingDevice device(DeviceKind::Mouse, rig.hub.Backend());
    ASSERT_TRUE(device.OpenNotify(rig.PathOf("mouse", 3), false));
    ASSERT_TRUE(device.OpenNotify(rig.PathOf("mouse-receiver", 3), true));
    ASSERT_TRUE(rig.hub.Notify("mouse-receiver", 0x1123));
    EXPECT_TRUE(test::Eventually([&] { return device.notifications > 0; }));
    EXPECT_EQ(device.lastCode, 0x1123);
    EXPECT_TRUE(device.lastFromReceiver);
    ASSERT_TRUE(rig.hub.Notify("mouse", 0x0403));
    EXPECT_TRUE(test::Eventually([&] { return device.notifications >= 2; }));
    EXPECT_EQ(device.lastCode, 0x0403);
    EXPECT_FALSE(device.lastFromReceiver);

    DebugTrace::Clear();
    const auto start = std::chrono::steady_clock::now();
    device.CloseNotify(false);  // its thread sits in a read without time limit
    EXPECT_LT(std::chrono::steady_clock::now() - start, 450ms);
    EXPECT_FALSE(device.NotifyOpen(false));
    EXPECT_TRUE(DebugTrace::Contains("MS 设备同步线程设定退出"));
    EXPECT_TRUE(DebugTrace::Contains("线程退出：：对象处于激发状态"));
    EXPECT_TRUE(device.NotifyOpen(true));
}

TEST(DeviceBase, PowerQueryReportsTheStatusBlockThroughTheReceiver) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse-receiver");
    rig.hub.SetBattery("mouse", 57, 1);
    RecordingDevice device(DeviceKind::Mouse, rig.hub.Backend());
    rig.Open(device.Transport(), "mouse", LinkReceiver);
    std::array<uint8_t, 6> shown{};
    int shownCount = 0;
    device.SetHasPowerPanel(true);
    device.AddChangeListener([&](DeviceChange change) {
        if (change != DeviceChange::Power) return;
        shown = device.PowerStatus();
        ++shownCount;
    });
    std::vector<std::pair<uint32_t, intptr_t>> messages;
    ui::QueuedMessageChannel owner([&](uint32_t message, intptr_t wParam, intptr_t) {
        messages.push_back({message, wParam});
        return 0;
    });
    device.SetOwner(&owner);
    device.QueryPower();
    EXPECT_EQ(shownCount, 1);
    EXPECT_EQ(shown[0], 57);
    EXPECT_EQ(shown[1], 1);
    EXPECT_EQ(shown[3], 1);  // through the receiver
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (std::pair<uint32_t, intptr_t>{ui::kMsgBattery, 57}));
    EXPECT_EQ(TrafficCommands(rig), (std::vector<uint8_t>{0xAA, 0x1A}));

    device.SetPowerPollingSuppressed(true);
    device.QueryPower();
    rig.hub.SetPower("mouse", false);
    device.SetPowerPollingSuppressed(false);
    device.QueryPower();  // link down: stops after the query
    EXPECT_EQ(shownCount, 1);
    EXPECT_EQ(TrafficCommands(rig), (std::vector<uint8_t>{0xAA, 0x1A, 0xAA}));
}

TEST(DeviceBase, FirstReadWaitsForTheReceiverLinkAndPlansTheTimers) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse-receiver");
    rig.hub.SetPower("mouse", false);
    RecordingDevice device(DeviceKind::Mouse, rig.hub.Backend());
    device.SetModelIndex(0);
    device.SetHasPowerPanel(true);
    rig.Open(device.Transport(), "mouse", LinkReceiver);
    std::vector<std::pair<intptr_t, intptr_t>> links;
    ui::QueuedMessageChannel owner([&](uint32_t message, intptr_t wParam, intptr_t lParam) {
        if (message == ui::kMsgLink) links.push_back({wParam, lParam});
        return 0;
    });
    device.SetOwner(&owner);
    SelectorState entry;
    entry.shown = true;
    EXPECT_EQ(device.OnFirstReadTimer(entry), (std::vector<TimerRequest>{{kTimerFirstRead, 3000}}));
    EXPECT_FALSE(entry.shown);
    EXPECT_EQ(entry.linkRetries, 1);
    EXPECT_EQ(device.reads, 0);
    EXPECT_EQ(device.OnFirstReadTimer(entry), (std::vector<TimerRequest>{{kTimerFirstRead, 3000}}));
    EXPECT_EQ(links.size(), 1u);  // hidden once

    rig.hub.SetPower("mouse", true);
    EXPECT_EQ(device.OnFirstReadTimer(entry),
              (std::vector<TimerRequest>{{kTimerRender, 5}, {kTimerPower, 50}, {kTimerLinkWatch, 2000}}));
    EXPECT_TRUE(entry.shown);
    EXPECT_EQ(entry.linkRetries, 0);
    EXPECT_EQ(device.reads, 1);
    EXPECT_EQ(links, (std::vector<std::pair<intptr_t, intptr_t>>{{0, 0}, {0, 1}}));

    // The link watch hides the entry when the mouse goes away and shows it again.
    rig.hub.SetPower("mouse", false);
    EXPECT_EQ(device.OnLinkWatchTimer(entry), (std::vector<TimerRequest>{{kTimerLinkWatch, 3000}}));
    EXPECT_FALSE(entry.shown);
    rig.hub.SetPower("mouse", true);
    device.OnLinkWatchTimer(entry);
    EXPECT_TRUE(entry.shown);
    EXPECT_EQ(links.back(), (std::pair<intptr_t, intptr_t>{0, 1}));
    EXPECT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 50}}));

    // The battery is read every 5 s while the receiver is there; once it is
    // unplugged nothing answers, and the timer rests until the next first read.
    EXPECT_EQ(device.OnPowerTimer(), (std::vector<TimerRequest>{{kTimerPower, 5000}}));
    device.Transport().Detach();
    EXPECT_EQ(device.OnPowerTimer(), std::vector<TimerRequest>{});
}

TEST(DeviceBase, RenderingPreviewsAndStreamsOnlyTheAudioMode) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    RecordingDevice device(DeviceKind::Mouse, rig.hub.Backend());
    rig.Open(device.Transport(), "mouse", LinkWired);
    device.MutableInfo().bytes[5] = 26;
    device.SetLedCount(20);
    ui::MemoryControlHost host;
    ui::MemoryControl* led = host.CreateControl("DeviceKeyButton", "light_0", nullptr);
    CDevicePage page(device, host, nullptr, nullptr);  // the picture alone
    page.SetPicture({{}, {led}, {}});
    device.SetLedColour(0, LedEntry{0x11, 0x22, 0x33, 0x80}.Packed());

    LightInfo info;
    info.selectItem = 2;
    device.SetLightInfo(info.Words(), info.HalfWord());
    device.RenderLighting();
    EXPECT_EQ(led->LightColour(), 0x332211u);
    EXPECT_EQ(led->LightLevel(), 0x80);
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());

    info.selectItem = 11;
    device.SetLightInfo(info.Words(), info.HalfWord());
    device.RenderLighting();
    size_t streamed = 0;
    for (const auto& entry : rig.hub.Traffic().Entries())
        if (entry.request[3] == 0x12) streamed += entry.request[4];
    EXPECT_EQ(streamed, 78u);
    const auto first = rig.hub.Traffic().Entries().front().request;
    EXPECT_EQ(first[8], 0x11 * 0x80 >> 8);
}

TEST(DeviceBase, LightingThreadStepsWhileOpenAndStopsCleanly) {
    test::VirtualRig rig;
    rig.hub.Plug("mouse");
    RecordingDevice device(DeviceKind::Mouse, rig.hub.Backend());
    device.SetLedCount(4);
    LightInfo info;
    info.selectItem = 2;  // static
    info.light = 3;
    info.red = 200;
    device.SetLightInfo(info.Words(), info.HalfWord());
    device.StartLightingThread();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(device.FrameCopy()[0], LedEntry{});  // not opened: idles
    rig.Open(device.Transport(), "mouse", LinkWired);
    EXPECT_TRUE(test::Eventually([&] { return device.FrameCopy()[0].level != 0; }));
    EXPECT_EQ(device.FrameCopy()[0], (LedEntry{200, 0, 0, 195}));
    DebugTrace::Clear();
    device.StopLightingThread();
    EXPECT_FALSE(device.LightingThreadRunning());
    EXPECT_TRUE(DebugTrace::Contains("MS灯光线程设定退出"));
    EXPECT_TRUE(DebugTrace::Contains("线程退出：：对象处于激发状态"));
}

TEST(DeviceBase, ProfileLoadsFromTheDeviceFolder) {
    test::TempFolder folder;
    RecordingDevice device(DeviceKind::Mouse);
    device.SetDeviceName("mouse");
    device.SetProfileName("profile1");
    device.LoadProfile();
    EXPECT_EQ(device.GetProfilePath(), folder.File("data/M470/mouse/profile1.Json"));
    EXPECT_EQ(device.GetLightInfo().light, 3);  // from the factory file
    LightInfo info = device.GetLightInfo();
    EXPECT_TRUE(device.SaveProfile());
    EXPECT_NE(folder.Read("data/M470/mouse/profile1.Json").find("\"LightInfo\""), std::string::npos);
    EXPECT_EQ(info.red, 255);
}

}  // namespace
}  // namespace m470
