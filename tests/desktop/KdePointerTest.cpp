// The pointer page on a KDE Plasma desktop, against a private session bus, a
// stand-in for KWin's input devices on it, and the real KConfig tools on
// the test's own kdeglobals: what the desktop has is read back, an edit
// reaches the mouse's own devices (and no other) and kdeglobals, and where
// KWin keeps no devices (an X11 session) only the double-click goes there.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DBusSession.h"
#include "pages/DesktopPointer.h"
#include "support/Eventually.h"
#include "support/UiQueue.h"
#include "support/VirtualMousePage.h"
#include "ui/Ctl.h"

namespace m470 {
namespace {

TEST(KdeReplies, TheValuesOfGdbusRepliesAreTakenApart) {
    EXPECT_EQ(VariantReplyValue("(<uint32 12815>,)\n"), "12815");
    EXPECT_EQ(VariantReplyValue("(<-0.5>,)"), "-0.5");
    EXPECT_EQ(VariantReplyValue("(<true>,)"), "true");
    EXPECT_EQ(VariantReplyValue("(<['event3', 'event7']>,)"), "['event3', 'event7']");
    EXPECT_EQ(VariantReplyValue("()"), std::nullopt);
    const std::string all = "({'name': <'Gaming Mouse'>, 'vendor': <uint32 12815>, 'pointer': <true>},)";
    EXPECT_EQ(DictReplyMember(all, "vendor"), "12815");
    EXPECT_EQ(DictReplyMember(all, "pointer"), "true");
    EXPECT_EQ(DictReplyMember(all, "name"), "'Gaming Mouse'");
    EXPECT_EQ(DictReplyMember(all, "product"), std::nullopt);
}

class KdePointer : public test::VirtualMousePageTest {
protected:
    void SetUp() override {
        if (!RunForOutput({"kreadconfig5", "--file", "kdeglobals", "--group", "KDE", "--key", "none"}))
            GTEST_SKIP() << "KDE's KConfig tools (libkf5config-bin) are not installed";
        std::string why;
        ASSERT_TRUE(bus.Start(why)) << why;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
        ::setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
        if (withKWin) {
            kwin = std::make_unique<test::ChildProcess>(std::vector<std::string>{M470_FAKE_KWIN},
                                                        std::vector<std::string>{bus.Environment()}, kwinLog);
            ASSERT_TRUE(test::Eventually([this] { return Heard("ready") || Heard("failed"); })) << KWinSaid();
            ASSERT_TRUE(Heard("ready")) << KWinSaid();
        }
        folder.Write("config/kdeglobals", kdeglobals);
        invoker = ui.Invoker();  // the desktop's tools run on their own thread
        test::VirtualMousePageTest::SetUp();
        ASSERT_TRUE(test::Eventually([this] {
            ui.Pump();
            return !On("pointer_desktop_label").Text().empty();
        }));
    }
    void TearDown() override {
        test::VirtualMousePageTest::TearDown();
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }

    ui::Ctl On(const std::string& name) { return host.FindUnder(page, name); }
    bool Edit(const std::string& event, const std::string& name) { return devicePage->Route({event, On(name).Get(), name, 0, 0}); }
    std::string KWinSaid() const { return test::TempFolder::ReadFile(kwinLog); }
    bool Heard(const std::string& line) const { return KWinSaid().find(line + "\n") != std::string::npos; }

    bool Written(const std::string& line) const { return folder.Read("config/kdeglobals").find(line) != std::string::npos; }

    test::UiQueue ui;
    test::DBusSession bus{folder};
    std::unique_ptr<test::ChildProcess> kwin;
    std::string kwinLog = folder.File("kwin.log");
    bool withKWin = true;
    std::string kdeglobals = "[General]\nColorScheme=BreezeDark\n\n[KDE]\nDoubleClickInterval=300\nSingleClick=false\n";
};

TEST_F(KdePointer, KWinsDevicesOfTheMouseAndKdeglobalsAreReadBackAndEditsReachThem) {
    EXPECT_EQ(On("pointer_speed_slider").Value(), 15);  // KWin's 0.5 on the gaming mouse, not the office mouse's 0
    EXPECT_FALSE(On("pointer_precision_check").Selected());  // flat
    EXPECT_EQ(On("double_click_slider").Value(), 13);         // 300 ms, between 400 (5) and 200 (20)
    EXPECT_EQ(mouse->System().MouseSpeed(), 15);
    EXPECT_EQ(On("pointer_desktop_label").Text(), mouse->Translate("pointer_desktop_text"));

    On("pointer_speed_slider").SetValue(1, false);
    ASSERT_TRUE(Edit("valuechanged", "pointer_speed_slider"));
    On("pointer_precision_check").SetSelected(true, false);
    ASSERT_TRUE(Edit("selectchanged", "pointer_precision_check"));
    On("double_click_slider").SetValue(20, false);
    ASSERT_TRUE(Edit("valuechanged", "double_click_slider"));
    On("scroll_speed_slider").SetValue(7, false);
    ASSERT_TRUE(Edit("valuechanged", "scroll_speed_slider"));

    EXPECT_TRUE(test::Eventually([this] { return Heard("notifyChange 3 0"); })) << KWinSaid();
    EXPECT_TRUE(test::Eventually([this] { return Written("DoubleClickInterval=200"); }));
    // Only the gaming mouse's device was set, each value once.
    EXPECT_EQ(KWinSaid(), "ready\nset event7 pointerAcceleration -1\nset event7 profile adaptive\nnotifyChange 3 0\n");
    const std::string written = folder.Read("config/kdeglobals");
    EXPECT_NE(written.find("DoubleClickInterval=200"), std::string::npos) << written;
    EXPECT_NE(written.find("ColorScheme=BreezeDark"), std::string::npos) << written;  // the rest kept
    EXPECT_NE(written.find("SingleClick=false"), std::string::npos) << written;
    EXPECT_EQ(written.find("WheelScrollLines"), std::string::npos) << written;  // the profile only
    EXPECT_EQ(mouse->System().WheelScrollLines(), 7);
}

class KdeX11Pointer : public KdePointer {
protected:
    KdeX11Pointer() {
        withKWin = false;
        kdeglobals = "[General]\nColorScheme=BreezeDark\n";
    }
};

TEST_F(KdeX11Pointer, WithoutKWinsDevicesOnlyTheDoubleClickReachesTheDesktop) {
    const int speed = mouse->System().MouseSpeed();
    EXPECT_EQ(On("pointer_speed_slider").Value(), speed);  // the profile's
    EXPECT_EQ(On("double_click_slider").Value(), 5);       // no key: the desktop's 400 ms
    EXPECT_EQ(On("pointer_desktop_label").Text(), mouse->Translate("pointer_desktop_double_click_text"));
    On("double_click_slider").SetValue(1, false);
    ASSERT_TRUE(Edit("valuechanged", "double_click_slider"));
    On("pointer_speed_slider").SetValue(3, false);
    ASSERT_TRUE(Edit("valuechanged", "pointer_speed_slider"));
    EXPECT_EQ(mouse->System().MouseSpeed(), 3);
    EXPECT_TRUE(test::Eventually([this] { return Written("DoubleClickInterval=900"); }));
    const std::string written = folder.Read("config/kdeglobals");
    EXPECT_NE(written.find("DoubleClickInterval=900"), std::string::npos) << written;
    EXPECT_NE(written.find("ColorScheme=BreezeDark"), std::string::npos) << written;
}

}  // namespace
}  // namespace m470
