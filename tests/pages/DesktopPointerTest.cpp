// The pointer page's values on a GNOME desktop, through a private GSettings
// keyfile backend in the test's folder: what the desktop has is read back
// when the page is built, an edit reaches the desktop, and elsewhere the
// values stay in the profile.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pages/DesktopPointer.h"
#include "support/VirtualMousePage.h"
#include "ui/Ctl.h"

namespace m470 {
namespace {

const DesktopPointerKey& Row(PointerValue value) {
    for (const DesktopPointerKey& row : kGnomePointerKeys)
        if (row.value == value) return row;
    throw std::logic_error("no row");
}

TEST(DesktopPointerTable, OurPositionsAndTheDesktopsValuesMapBothWays) {
    const DesktopPointerKey& speed = Row(PointerValue::Speed);
    EXPECT_EQ(DesktopText(speed, 1), "-1");
    EXPECT_EQ(DesktopText(speed, 10), "0");  // the factory position is the desktop's default
    EXPECT_EQ(DesktopText(speed, 20), "1");
    EXPECT_EQ(DesktopText(speed, 25), "1");
    EXPECT_EQ(OurPosition(speed, "0.5"), 15);
    EXPECT_EQ(OurPosition(speed, "-3"), 1);
    EXPECT_EQ(OurPosition(speed, "fast"), std::nullopt);
    const DesktopPointerKey& doubleClick = Row(PointerValue::DoubleClick);
    EXPECT_EQ(DesktopText(doubleClick, 1), "900");
    EXPECT_EQ(DesktopText(doubleClick, 5), "400");
    EXPECT_EQ(DesktopText(doubleClick, 20), "200");
    EXPECT_EQ(OurPosition(doubleClick, "400"), 5);
    EXPECT_EQ(OurPosition(doubleClick, "200"), 20);
    EXPECT_EQ(OurPosition(doubleClick, "1500"), 1);
    const DesktopPointerKey& precision = Row(PointerValue::Precision);
    EXPECT_EQ(DesktopText(precision, 0), "'flat'");
    EXPECT_EQ(DesktopText(precision, 1), "'adaptive'");
    EXPECT_EQ(OurPosition(precision, "'flat'"), 0);
    EXPECT_EQ(OurPosition(precision, "'default'"), 1);
}

class GnomePointer : public test::VirtualMousePageTest {
protected:
    void SetUp() override {
        if (!RunForOutput({"gsettings", "range", kGnomeMouseSchema, "speed"}))
            GTEST_SKIP() << "GNOME's mouse schema (gsettings-desktop-schemas) is not installed";
        ::setenv("GSETTINGS_BACKEND", "keyfile", 1);  // XDG_CONFIG_HOME is the test's folder
        ::setenv("XDG_CURRENT_DESKTOP", desktop, 1);
        folder.Write("config/glib-2.0/settings/keyfile", "[org/gnome/desktop/peripherals/mouse]\nspeed=0.5\naccel-profile='flat'\n");
        test::VirtualMousePageTest::SetUp();
    }
    void TearDown() override {
        test::VirtualMousePageTest::TearDown();
        ::unsetenv("GSETTINGS_BACKEND");
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }
    ui::Ctl On(const std::string& name) { return host.FindUnder(page, name); }
    std::string Keyfile() { return folder.Read("config/glib-2.0/settings/keyfile"); }
    const char* desktop = "ubuntu:GNOME";
};

TEST_F(GnomePointer, TheDesktopsValuesAreReadBackAndEditsReachIt) {
    EXPECT_EQ(On("pointer_speed_slider").Value(), 15);
    EXPECT_FALSE(On("pointer_precision_check").Selected());
    EXPECT_EQ(On("double_click_slider").Value(), 5);  // the desktop's default, 400 ms
    EXPECT_EQ(mouse->System().MouseSpeed(), 15);        // kept in the profile too
    EXPECT_EQ(On("pointer_desktop_label").Text(), mouse->Translate("pointer_desktop_text"));

    On("double_click_slider").SetValue(20, false);
    ASSERT_TRUE(devicePage->Route({"valuechanged", On("double_click_slider").Get(), "double_click_slider", 0, 0}));
    On("pointer_precision_check").SetSelected(true, false);
    ASSERT_TRUE(devicePage->Route({"selectchanged", On("pointer_precision_check").Get(), "pointer_precision_check", 0, 0}));
    On("scroll_speed_slider").SetValue(7, false);
    ASSERT_TRUE(devicePage->Route({"valuechanged", On("scroll_speed_slider").Get(), "scroll_speed_slider", 0, 0}));
    const std::string keyfile = Keyfile();
    EXPECT_NE(keyfile.find("double-click=200"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("accel-profile='adaptive'"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("speed=0.5"), std::string::npos) << keyfile;  // not edited: left as it was
    EXPECT_EQ(mouse->System().WheelScrollLines(), 7);                    // no desktop key: the profile only
}

// A profile chosen in the strip takes its pointer values to the desktop, as an edit would.
TEST_F(GnomePointer, AProfileSwitchTakesTheChosenProfilesValuesToTheDesktop) {
    const auto raise = [this](const std::string& event, const std::string& name) {
        return devicePage->Route({event, On(name).Get(), name, 0, 0});
    };
    ASSERT_TRUE(raise("click", "device_add_btn"));  // the new profile is the one shown
    ASSERT_EQ(On("device_profile_combo").ItemCount(), 2);
    On("pointer_speed_slider").SetValue(1, false);
    ASSERT_TRUE(raise("valuechanged", "pointer_speed_slider"));
    On("double_click_slider").SetValue(1, false);
    ASSERT_TRUE(raise("valuechanged", "double_click_slider"));
    On("pointer_precision_check").SetSelected(true, false);
    ASSERT_TRUE(raise("selectchanged", "pointer_precision_check"));
    std::string keyfile = Keyfile();
    EXPECT_NE(keyfile.find("speed=-1"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("double-click=900"), std::string::npos) << keyfile;

    On("device_profile_combo").SelectItem(0, false);
    ASSERT_TRUE(raise("itemselect", "device_profile_combo"));
    EXPECT_EQ(On("pointer_speed_slider").Value(), 15);
    keyfile = Keyfile();
    EXPECT_NE(keyfile.find("speed=0.5"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("accel-profile='flat'"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("double-click=400"), std::string::npos) << keyfile;

    On("device_profile_combo").SelectItem(1, false);
    ASSERT_TRUE(raise("itemselect", "device_profile_combo"));
    keyfile = Keyfile();
    EXPECT_NE(keyfile.find("speed=-1"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("accel-profile='adaptive'"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("double-click=900"), std::string::npos) << keyfile;
}

class OtherDesktopPointer : public GnomePointer {
protected:
    OtherDesktopPointer() { desktop = "XFCE"; }
};

TEST_F(OtherDesktopPointer, WithoutADesktopSettingTheValuesStayInTheProfileAndTheTabSaysSo) {
    const std::string before = Keyfile();
    EXPECT_EQ(On("pointer_speed_slider").Value(), mouse->System().MouseSpeed());
    EXPECT_EQ(On("pointer_desktop_label").Text(), mouse->Translate("pointer_profile_only_text"));
    On("pointer_speed_slider").SetValue(3, false);
    ASSERT_TRUE(devicePage->Route({"valuechanged", On("pointer_speed_slider").Get(), "pointer_speed_slider", 0, 0}));
    EXPECT_EQ(mouse->System().MouseSpeed(), 3);
    EXPECT_EQ(Keyfile(), before);
}

}  // namespace
}  // namespace m470
