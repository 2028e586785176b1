// Profiles per game with a real X server: the desktop's foreground source
// reads the active window and its owner from Xvfb, the processes come from
// /proc, and the mouse's page switches as a choice in its list does.
#include <gtest/gtest.h>

#include <filesystem>

#include "device_link/CommandCodes.h"
#include "desktop/X11Server.h"
#include "pages/GameProfileSwitch.h"
#include "platform/JsonFile.h"
#include "support/Eventually.h"
#include "support/VirtualMousePage.h"

namespace m470 {
namespace {

// The mouse's page with three profiles: the second linked to the program
// "racer", the third to "shooter" (both copies of sleep in the test folder).
class X11GameProfiles : public test::VirtualMousePageTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(test::X11Server::kProgram)) GTEST_SKIP() << "no X server for tests installed (xvfb)";
        std::string why;
        if (!x11.Start(why)) GTEST_SKIP() << "the X server cannot start here: " << why;
        // The program's own session check: an X11 session on this display.
        ::setenv("DISPLAY", x11.Display().c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("XDG_SESSION_TYPE", "x11", 1);
        foreground = MakeDesktopForeground();
        VirtualMousePageTest::SetUp();
        for (const char* name : {"racer", "shooter"}) {
            std::filesystem::copy_file("/bin/sleep", folder.File(name));
            ASSERT_TRUE(Strip().NewProfile());
            ASSERT_TRUE(Strip().LinkCurrent(folder.File(name)));
        }
        ASSERT_TRUE(devicePage->ProfileStripPanel()->SwitchTo(Uuid(0)));
    }
    CDeviceProfileUI& Strip() { return *devicePage->ProfileStrip(); }
    std::string Uuid(int row) { return Strip().GetProfileList()[row]["profileUUID"].asString(); }
    // The row the strip, the list file and the mouse all show after a look.
    int ShownAfterLook() {
        games->Check({devicePage.get()});
        const int row = Strip().GetCurSel();
        EXPECT_EQ(LoadJson(mouse->DataFolder() + kProfileListFile)["profileselect"].asInt(), row);
        EXPECT_EQ(mouse->ProfileName(), Uuid(row));
        return row;
    }
    // Returns once the copy runs as itself: between fork and exec /proc shows
    // the test, and a loaded machine can keep a child there for a while.
    std::unique_ptr<test::ChildProcess> Run(const char* name) {
        auto child = std::make_unique<test::ChildProcess>(std::vector<std::string>{folder.File(name), "600"},
                                                          std::vector<std::string>{}, "/dev/null");
        const std::string exe = "/proc/" + std::to_string(child->Pid()) + "/exe";
        std::error_code error;
        EXPECT_TRUE(test::Eventually([&] { return std::filesystem::read_symlink(exe, error) == folder.File(name); })) << name;
        return child;
    }
    bool WritesSettings() {
        bool written = false;
        for (const auto& entry : rig.hub.Traffic().Entries()) written = written || entry.request[3] == command::kWriteSettings;
        rig.hub.Traffic().Clear();
        return written;
    }

    test::X11Server x11{folder};
    std::unique_ptr<ForegroundSource> foreground;
    ProcProcessTable processes;
    std::unique_ptr<CGameProfileSwitch> games;
};

TEST_F(X11GameProfiles, TheProgramOfTheActiveWindowGetsItsProfileAndTheOneBeforeComesBack) {
    games = std::make_unique<CGameProfileSwitch>(processes, *foreground);
    EXPECT_EQ(foreground->ForegroundPid(), std::nullopt);  // no window manager has said anything yet
    auto racer = Run("racer");
    auto shooter = Run("shooter");
    // Without a window in front, the program started last wins.
    EXPECT_EQ(ShownAfterLook(), 2);
    EXPECT_TRUE(WritesSettings());

    // The racer's window comes to the front.
    const xcb_window_t racing = x11.MakeWindow(static_cast<uint32_t>(racer->Pid()));
    x11.Activate(racing);
    EXPECT_EQ(foreground->ForegroundPid(), racer->Pid());
    EXPECT_EQ(ShownAfterLook(), 1);
    EXPECT_TRUE(WritesSettings());

    // Then the shooter's, then a window of a program without a link: the shooter's stays.
    x11.Activate(x11.MakeWindow(static_cast<uint32_t>(shooter->Pid())));
    EXPECT_EQ(ShownAfterLook(), 2);
    x11.Activate(x11.MakeWindow(static_cast<uint32_t>(::getpid())));
    EXPECT_EQ(foreground->ForegroundPid(), ::getpid());
    EXPECT_EQ(ShownAfterLook(), 2);
    x11.Activate(racing);
    EXPECT_EQ(ShownAfterLook(), 1);

    // Both end: the profile shown before the first switch comes back.
    racer->Stop();
    shooter->Stop();
    rig.hub.Traffic().Clear();
    EXPECT_EQ(ShownAfterLook(), 0);
    EXPECT_TRUE(WritesSettings());
    x11.Activate(XCB_WINDOW_NONE);
    EXPECT_EQ(foreground->ForegroundPid(), std::nullopt);
}

}  // namespace
}  // namespace m470
