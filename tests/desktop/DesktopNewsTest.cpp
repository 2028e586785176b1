// The desktop hears about the wireless mouse through its notification
// service on a private session bus: the mouse is read through its receiver
// on the manual clock, its battery runs down, is charged and runs down
// again, its link drops and comes back; the service's log must hold exactly
// the calls a user should see, with a product's later note replacing its
// earlier one.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "DBusSession.h"
#include "devices/DeviceManager.h"
#include "pages/DeviceSelector.h"
#include "pages/PageBuilder.h"
#include "platform/Folders.h"
#include "qt/DesktopNotifier.h"
#include "shell/Language.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

class DesktopNews : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(bus.Start(why)) << why;
        notifier = std::make_unique<qt::DesktopNotifier>(
            QDBusConnection::connectToBus(QString::fromStdString(bus.Address()), QString::fromStdString(folder.File("bus"))));
        service = std::make_unique<test::ChildProcess>(std::vector<std::string>{M470_FAKE_NOTIFICATIONS},
                                                       std::vector<std::string>{bus.Environment()}, serviceLog);
        ASSERT_TRUE(test::Eventually([this] { return Heard("ready") || Heard("failed"); })) << Said();
        ASSERT_TRUE(Heard("ready")) << Said();

        ASSERT_TRUE(language.Load(GetInstallFolder() + "skin/lang/en.json"));
        window = host.LoadLayout(GetInstallFolder() + "skin/mainwindow.ui");
        ASSERT_NE(window, nullptr);
        DeviceSelectorUi entries;
        entries.host = &host;
        entries.skinFolder = GetInstallFolder() + "skin/";
        entries.owner = &channel;
        entries.translate = translate;
        entries.news = &news;
        entries.buildPage = [this](CVantrelUSBDevice& device, ui::ControlHost& tree, ui::Control* root) {
            pages->Build(device, tree, root);
        };
        selector = std::make_unique<CDeviceSelector>(std::move(entries));
        manager = std::make_unique<CDeviceManager>(selector->ManagerUi(), rig.hub.Backend());
        host.SetNotifyCallback([this](const ui::Notification& n) {
            if (n.event == "timer") selector->OnEntryTimer(n.sender, static_cast<int>(n.wParam));
        });
        manager->CreateStartupDevices();
    }
    void TearDown() override {
        pages.reset();
        selector.reset();
        manager.reset();
    }

    std::string Said() const { return test::TempFolder::ReadFile(serviceLog); }
    bool Heard(const std::string& line) const { return Said().find(line + "\n") != std::string::npos; }
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        const std::string said = Said();
        for (size_t at = said.find("notify "); at != std::string::npos; at = said.find("notify ", at + 1))
            calls.push_back(said.substr(at + 7, said.find('\n', at) - at - 7));
        return calls;
    }
    // Every note sent has been answered (the service prints before it answers).
    void Settle() {
        ASSERT_TRUE(test::Eventually([this] {
            QCoreApplication::processEvents();
            return notifier->Pending() == 0;
        }));
    }
    // The mouse, through its receiver, read on the manual clock with the battery at level.
    void ConnectMouse(int level) {
        rig.hub.Plug("mouse-receiver");
        rig.hub.SetBattery("mouse", static_cast<uint8_t>(level), 2);
        manager->ScanPass(probe);
        host.AdvanceTime(500);  // the first read
        manager->Mice().at(0)->StopLightingThread();
        host.AdvanceTime(50);   // the first battery read
    }
    // The battery read every five seconds.
    void Battery(int level, int state) {
        rig.hub.SetBattery("mouse", static_cast<uint8_t>(level), static_cast<uint8_t>(state));
        host.AdvanceTime(5000);
        Settle();
    }

    static std::string Call(int replaces, const std::string& summary, const std::string& body, int urgency, int id) {
        return "M470|" + std::to_string(replaces) + "|io.github.m470.M470|" + summary + "|" + body +
               "|actions=0|urgency=" + std::to_string(urgency) + "|category=device|entry=io.github.m470.M470|timeout=-1|id=" +
               std::to_string(id);
    }

    test::TempFolder folder;
    test::DBusSession bus{folder};
    std::string serviceLog = folder.File("notifications.log");
    std::unique_ptr<test::ChildProcess> service;
    LanguageTable language;
    Translator translate = [this](std::string_view key) { return language.Text(std::string(key)); };
    std::unique_ptr<qt::DesktopNotifier> notifier;
    CProductNews news{[this](const DesktopNote& note) { notifier->Show(note); }, translate};
    test::VirtualRig rig;
    ui::MemoryControlHost host;
    ui::MemoryControl* window = nullptr;
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

TEST_F(DesktopNews, EachBatteryCrossingIsToldOnceAndALaterNoteReplacesTheEarlier) {
    ConnectMouse(40);
    Settle();
    for (const auto& [level, state] : std::vector<std::pair<int, int>>{
             {16, 2}, {15, 2}, {14, 2}, {16, 2}, {15, 2}, {12, 2},  // one crossing of 15 %, wavering after it
             {5, 2}, {3, 2},                                        // 5 %, then lower: nothing more
             {30, 1}, {60, 0},                                      // charged on the cable
             {4, 2}})                                               // straight past both: only the deeper
        Battery(level, state);
    const std::vector<std::string> expected{
        Call(0, "Gaming Mouse: battery low", "15% left. Charge it soon.", 1, 1),
        Call(1, "Gaming Mouse: battery almost empty", "5% left. Connect the cable now to keep it working.", 2, 2),
        Call(2, "Gaming Mouse: battery almost empty", "4% left. Connect the cable now to keep it working.", 2, 3),
    };
    EXPECT_EQ(Calls(), expected) << Said();
}

TEST_F(DesktopNews, TheLinkIsToldOnlyWhenWantedAndTheBatteryNotWhenSwitchedOff) {
    news.SetChoices({false, true});
    ConnectMouse(10);
    Settle();
    rig.hub.SetPower("mouse", false);
    host.AdvanceTime(3000);  // the receiver's link is looked at every three seconds
    Settle();
    rig.hub.SetPower("mouse", true);
    host.AdvanceTime(3000);
    Settle();
    Battery(4, 2);
    // Already on at the first look: not told as connected.
    const std::vector<std::string> expected{
        Call(0, "Gaming Mouse dropped out", "Its receiver no longer hears it: switched off, asleep or out of range.", 1, 1),
        Call(1, "Gaming Mouse connected", "Its 2.4 GHz receiver hears it again.", 0, 2),
    };
    EXPECT_EQ(Calls(), expected) << Said();
}

// Unplugged, the receiver takes what was known of its mouse with it: plugged
// again with the mouse on, that is how things stand, not a connection.
TEST_F(DesktopNews, AReceiverPluggedAgainIsAFirstLookAgain) {
    news.SetChoices({false, true});
    ConnectMouse(50);
    const auto pass = [this](int ms) {
        manager->ScanPass(probe);
        host.AdvanceTime(ms);
        manager->Mice().at(0)->StopLightingThread();
        Settle();
    };
    rig.hub.SetPower("mouse", false);
    pass(3000);
    rig.hub.Unplug("mouse-receiver");
    pass(3000);
    rig.hub.SetPower("mouse", true);
    rig.hub.Plug("mouse-receiver");
    pass(500);  // the first read: the mouse answers
    pass(3000);
    rig.hub.SetPower("mouse", false);
    pass(3000);
    const std::string dropped = "Gaming Mouse dropped out";
    const std::string why = "Its receiver no longer hears it: switched off, asleep or out of range.";
    EXPECT_EQ(Calls(), (std::vector<std::string>{Call(0, dropped, why, 1, 1), Call(1, dropped, why, 1, 2)})) << Said();
}

}  // namespace
}  // namespace m470
