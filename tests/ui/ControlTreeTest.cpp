#include <gtest/gtest.h>

#include <thread>

#include "ui/Ctl.h"
#include "ui/MemoryControlTree.h"
#include "ui/MessageChannel.h"
#include "support/LayoutCheck.h"

namespace m470::ui {
namespace {

class MemoryTree : public ::testing::Test {
protected:
    void SetUp() override { root = host.LoadLayout(test::TestDataPath("sample_page.ui")); }
    MemoryControlHost host;
    MemoryControl* root = nullptr;
};

TEST_F(MemoryTree, LoadsNamesTypesPropertiesAndSubLayouts) {
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(test::LayoutHas(test::TestDataPath("sample_page.ui"),
                                {{"DPI_slider_3", ControlType::Slider},
                                 {"polling_rate_option_1", ControlType::Option},
                                 {"device_profile_combo", ControlType::Combo},
                                 {"DPI_edit_3", ControlType::Edit},
                                 {"device_picture", ControlType::SelectPanel},
                                 {"light_1", ControlType::KeyButton},
                                 {"device_power_value", ControlType::Label},
                                 {"device_Power_progress", ControlType::Progress}}));
    EXPECT_FALSE(test::LayoutHas(test::TestDataPath("sample_page.ui"), {{"DPI_slider_3", ControlType::Combo}}));
    EXPECT_FALSE(test::LayoutHas(test::TestDataPath("sample_page.ui"), {{"DPI_slider_9", ControlType::Slider}}));

    Ctl slider = host.Find("DPI_slider_3");
    EXPECT_EQ(slider.Value(), 12);
    EXPECT_EQ(slider.Get()->Maximum(), 88);
    EXPECT_EQ(Ctl(host.Find("DPI_edit_3")).Text(), "1300");
    EXPECT_EQ(Ctl(host.Find("device_profile_combo")).ItemCount(), 2);
    EXPECT_TRUE(Ctl(host.Find("polling_rate_option_0")).Selected());
    Ctl stack = host.Find("device_function_switch");
    EXPECT_EQ(stack.Page(), 1);
    EXPECT_FALSE(Ctl(host.Find("function_page_0")).Visible());
    EXPECT_TRUE(Ctl(host.Find("function_page_1")).Visible());
    Ctl holder = host.Find("power_holder");
    EXPECT_NE(host.FindUnder(holder.Get(), "device_power_value"), nullptr);
    EXPECT_EQ(host.FindUnder(holder.Get(), "DPI_slider_3"), nullptr);
    EXPECT_EQ(host.LoadLayout("/no/such/layout.ui"), nullptr);
}

TEST_F(MemoryTree, ChangesRaiseNotificationsUnlessSilent) {
    std::vector<std::string> seen;
    host.SetNotifyCallback([&](const Notification& n) { seen.push_back(n.event + ":" + n.senderName + ":" + std::to_string(n.wParam)); });
    Ctl slider = host.Find("DPI_slider_3");
    slider.SetValue(40);
    slider.SetValue(41, false);
    slider.SetValue(500);  // clamped to 88
    EXPECT_EQ(slider.Value(), 88);
    Ctl combo = host.Find("device_profile_combo");
    combo.SelectItem(1);
    combo.SelectItem(0, false);
    EXPECT_EQ(combo.Text(), "profile1");
    host.Click(host.Find("polling_rate_option_1"));
    EXPECT_FALSE(Ctl(host.Find("polling_rate_option_0")).Selected());
    EXPECT_EQ(seen, (std::vector<std::string>{"valuechanged:DPI_slider_3:0", "valuechanged:DPI_slider_3:0",
                                              "itemselect:device_profile_combo:1", "selectchanged:polling_rate_option_0:0",
                                              "selectchanged:polling_rate_option_1:0", "click:polling_rate_option_1:0"}));
    EXPECT_EQ(host.Recorded().size(), seen.size());
}

TEST_F(MemoryTree, MissingControlsAreHarmlessNullHandles) {
    Ctl missing = host.Find("no_such_control");
    EXPECT_FALSE(missing);
    missing.SetText("x");
    missing.SetValue(3);
    missing.SelectItem(2);
    EXPECT_EQ(missing.Value(), 0);
    EXPECT_EQ(missing.SelectedItem(), -1);
    EXPECT_EQ(missing.Text(), "");
    EXPECT_EQ(host.FindUnder(nullptr, "DPI_slider_3"), nullptr);
}

TEST_F(MemoryTree, OneShotTimersFireInOrderOnTheManualClock) {
    std::vector<std::string> fired;
    host.SetNotifyCallback([&](const Notification& n) {
        if (n.event != "timer") return;
        fired.push_back(n.senderName + "#" + std::to_string(n.wParam) + "@" + std::to_string(host.Now()));
        if (n.wParam == 1000 && host.Now() < 30) host.SetTimer(n.sender, 1000, 10);  // re-armed like the render timer
    });
    Control* slider = host.Find("DPI_slider_3");
    Control* combo = host.Find("device_profile_combo");
    host.SetTimer(slider, 1000, 10);
    host.SetTimer(combo, 1001, 25);
    host.SetTimer(combo, 1002, 5);
    host.KillTimer(combo, 1002);
    host.AdvanceTime(100);
    EXPECT_EQ(fired, (std::vector<std::string>{"DPI_slider_3#1000@10", "DPI_slider_3#1000@20", "device_profile_combo#1001@25",
                                               "DPI_slider_3#1000@30"}));
    EXPECT_FALSE(host.TimerPending(slider, 1000));
}

TEST(MessageChannels, SendWaitsForTheUiThreadAndPostQueues) {
    std::vector<uint32_t> handled;
    QueuedMessageChannel channel([&](uint32_t message, intptr_t wParam, intptr_t) {
        handled.push_back(message);
        return wParam * 2;
    });
    EXPECT_EQ(channel.Send(kMsgBattery, 21, 0), 42);  // from the UI thread itself: at once
    intptr_t fromWorker = 0;
    std::thread worker([&] { fromWorker = channel.Send(kMsgInterfaceArrived, 4, 0); });
    while (!channel.WaitForMessage(10)) {}
    channel.Post(kMsgLink, 1, 1);
    while (channel.Pump() == 0 || handled.size() < 3) channel.WaitForMessage(10);
    worker.join();
    EXPECT_EQ(fromWorker, 8);
    EXPECT_EQ(handled, (std::vector<uint32_t>{kMsgBattery, kMsgInterfaceArrived, kMsgLink}));

    channel.Shutdown();
    std::thread late([&] { fromWorker = channel.Send(kMsgInterfaceLost, 1, 0); });
    late.join();  // never waits for a UI thread that stopped pumping
    EXPECT_EQ(fromWorker, 0);
}

}  // namespace
}  // namespace m470::ui
