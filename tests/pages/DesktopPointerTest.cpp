// The pointer page's values on a GNOME desktop, through a private GSettings
// keyfile backend in the test's folder: what the desktop has is read back
// when the page is built, an edit reaches the desktop, and elsewhere the
// values stay in the profile.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <sys/stat.h>

#include "pages/DesktopPointerWorker.h"
#include "platform/StoppableThread.h"
#include "support/Eventually.h"
#include "support/UiQueue.h"
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

// A tool in the test's folder put first on PATH.
class ToolsOnPath {
public:
    explicit ToolsOnPath(const test::TempFolder& folder) : folder_(folder), path_(std::getenv("PATH")) {
        ::setenv("PATH", (folder.File("tools") + ":" + path_).c_str(), 1);
    }
    ~ToolsOnPath() { ::setenv("PATH", path_.c_str(), 1); }
    void Add(const std::string& name, const std::string& script) const {
        folder_.Write("tools/" + name, "#!/bin/sh\n" + script);
        ::chmod(folder_.File("tools/" + name).c_str(), 0755);
    }

private:
    const test::TempFolder& folder_;
    std::string path_;
};

// Whether the process is gone (or a zombie no one reaps yet).
bool Ended(const std::string& pidFile) {
    std::string pid;
    std::ifstream(pidFile) >> pid;
    if (pid.empty()) return false;
    std::string stat = test::TempFolder::ReadFile("/proc/" + pid + "/stat");
    return stat.empty() || stat.find(") Z ") != std::string::npos;
}

TEST(DesktopTools, AToolThatNeverAnswersIsKilledWithWhatItStartedAtItsLimitOrWhenStopped) {
    test::TempFolder folder;
    const ToolLimit shortLimit{std::chrono::milliseconds(100)};
    EXPECT_EQ(RunForOutput({"sh", "-c", "echo answer"}, shortLimit), "answer\n");
    EXPECT_EQ(RunForOutput({"sh", "-c", "echo answer; exec sleep 600"}, shortLimit), std::nullopt);
    // Its output closed, the tool itself lingers.
    EXPECT_EQ(RunForOutput({"sh", "-c", "echo answer; exec sleep 600 >&-"}, shortLimit), std::nullopt);
    // Stopped while a child of the tool keeps its output open: both go.
    const std::string pids = folder.File("pid");
    StopEvent stop;
    std::optional<std::string> answer = "none yet";
    std::thread run([&] { answer = RunForOutput({"sh", "-c", "sleep 600 & echo $! > " + pids + "; wait"}, {std::chrono::hours(1), &stop}); });
    EXPECT_TRUE(test::Eventually([&] { return !folder.Read("pid").empty(); }));
    stop.Set();
    run.join();
    EXPECT_EQ(answer, std::nullopt);
    EXPECT_TRUE(test::Eventually([&] { return Ended(pids); }));
}

// The read of a desktop whose tool hangs ends as a desktop without the keys.
TEST(DesktopTools, AHungReadIsAnsweredAsADesktopWithoutKeys) {
    test::TempFolder folder;
    ToolsOnPath tools(folder);
    tools.Add("gsettings", "exec sleep 600\n");
    test::UiQueue ui;
    std::optional<DesktopPointerRead> answer;
    DesktopPointerWorker worker(CDesktopPointer("GNOME"), ui.Invoker(), std::chrono::milliseconds(100));
    worker.Read({}, [&answer](const DesktopPointerRead& read) { answer = read; });
    ASSERT_TRUE(test::Eventually([&] { return ui.Pump() != 0; }));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->readings.empty());
    EXPECT_EQ(answer->found, (std::array<bool, kPointerValueCount>{}));
}

// The desktop's tool waits for the test to open a gate (or gives up after a
// minute); every run is logged. The page is built and edited meanwhile.
class SlowGnomePointer : public GnomePointer {
protected:
    void SetUp() override {
        const std::optional<std::string> real = RunForOutput({"sh", "-c", "command -v gsettings"});
        if (!real) GTEST_SKIP() << "no gsettings";
        const std::string tool = TrimmedAnswer(*real);
        tools.Add("gsettings", "[ \"$1\" = range ] && exec " + tool + " \"$@\"\n"
                               "echo \"$*\" >> " + folder.File("runs") + "\n"
                               "for i in $(seq 3000); do [ -e " + folder.File("gate") + " ] && exec " + tool +
                               " \"$@\"; sleep 0.02; done\nexit 1\n");
        invoker = ui.Invoker();
        GnomePointer::SetUp();
    }
    test::UiQueue ui;
    ToolsOnPath tools{folder};
};

TEST_F(SlowGnomePointer, TheWindowIsFreeWhileTheDesktopIsReadAndTheLastEditWins) {
    const int profileSpeed = mouse->System().MouseSpeed();
    EXPECT_EQ(On("pointer_speed_slider").Value(), profileSpeed);
    EXPECT_EQ(On("pointer_desktop_label").Text(), "");  // nothing said before the desktop answers
    for (int position : {1, 12, 20}) {
        On("double_click_slider").SetValue(position, false);
        ASSERT_TRUE(devicePage->Route({"valuechanged", On("double_click_slider").Get(), "double_click_slider", 0, 0}));
    }
    folder.Write("gate", "");
    ASSERT_TRUE(test::Eventually([this] {
        ui.Pump();
        return On("pointer_desktop_label").Text() == mouse->Translate("pointer_desktop_text");
    }));
    EXPECT_EQ(On("pointer_speed_slider").Value(), 15);  // the desktop's 0.5
    EXPECT_EQ(mouse->System().MouseSpeed(), 15);
    EXPECT_EQ(On("double_click_slider").Value(), 20);  // edited while the desktop was read: the edit stands
    EXPECT_EQ(mouse->System().DoubleClickTime(), 20);
    devicePage.reset();  // the edit waiting is set before the page goes
    const std::string runs = folder.Read("runs");
    EXPECT_NE(Keyfile().find("double-click=200"), std::string::npos) << Keyfile();
    // One run per key read, then the last edit alone.
    EXPECT_EQ(runs.find("set"), runs.rfind("set")) << runs;
    EXPECT_NE(runs.find("set org.gnome.desktop.peripherals.mouse double-click 200"), std::string::npos) << runs;
}

}  // namespace
}  // namespace m470
