// "Start with the session": the desktop entry in $XDG_CONFIG_HOME/autostart,
// its Exec line (quoted as desktop entries quote) and its removal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Autostart.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class Autostart : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* saved = std::getenv("XDG_CONFIG_HOME")) savedConfig = saved;
        ::setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);  // not there yet
    }
    void TearDown() override {
        if (savedConfig.empty()) ::unsetenv("XDG_CONFIG_HOME");
        else ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    }
    std::string Entry() const { return test::TempFolder::ReadFile(folder.File("config/autostart/io.github.m470.M470.desktop")); }

    test::TempFolder folder;
    std::string savedConfig;
};

TEST_F(Autostart, TheEntryStartsTheProgramInTheTrayAndGoesAwayAgain) {
    EXPECT_EQ(AutostartEntryPath(), folder.File("config/autostart/io.github.m470.M470.desktop"));
    EXPECT_FALSE(AutostartEnabled());
    ASSERT_TRUE(SetAutostart(true, "/usr/bin/m470"));
    EXPECT_TRUE(AutostartEnabled());
    EXPECT_EQ(Entry(),
              "[Desktop Entry]\nType=Application\nName=M470 Control Center\nName[zh_CN]=M470 控制中心\n"
              "Comment=Configure M470 mice, keyboards, mousepads and headsets\n"
              "Comment[zh_CN]=设置 M470 鼠标、键盘、鼠标垫和耳机\n"
              "Exec=/usr/bin/m470 --tray\nIcon=io.github.m470.M470\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    // The desktop's own validator takes it (desktop-file-utils is set up with the project).
    if (std::system("command -v desktop-file-validate >/dev/null") == 0) {
        const std::string check = "desktop-file-validate '" + AutostartEntryPath() + "'";
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
    ASSERT_TRUE(SetAutostart(false, "/usr/bin/m470"));
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_FALSE(std::filesystem::exists(AutostartEntryPath()));
    EXPECT_TRUE(SetAutostart(false, "/usr/bin/m470")) << "removing what is not there is no failure";
}

// Installed, the program lives beside its data and the PATH holds a link to
// it: the entry names the link, and a program the PATH does not lead to keeps its path.
TEST_F(Autostart, TheEntryNamesTheProgramAsThePathFindsIt) {
    folder.Write("lib/m470/m470", "program");
    std::filesystem::create_directories(folder.File("bin"));
    std::filesystem::create_symlink(folder.File("lib/m470/m470"), folder.File("bin/m470"));
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", ("/nowhere::" + folder.File("bin")).c_str(), 1);
    ASSERT_TRUE(SetAutostart(true, folder.File("lib/m470/m470")));
    EXPECT_NE(Entry().find("\nExec=m470 --tray\n"), std::string::npos) << Entry();
    folder.Write("other/m470", "another build");
    ASSERT_TRUE(SetAutostart(true, folder.File("other/m470")));
    EXPECT_NE(Entry().find("\nExec=" + folder.File("other/m470") + " --tray\n"), std::string::npos) << Entry();
    ::setenv("PATH", savedPath.c_str(), 1);
}

TEST_F(Autostart, APathWithReservedCharactersIsQuotedAndOneThatCannotBeHeldIsRefused) {
    ASSERT_TRUE(SetAutostart(true, "/home/a b/100%/$x\\\"m470"));
    EXPECT_NE(Entry().find("\nExec=\"/home/a b/100%%/\\\\$x\\\\\\\\\\\\\"m470\" --tray\n"), std::string::npos) << Entry();
    const std::string before = Entry();
    EXPECT_FALSE(SetAutostart(true, "/home/a\nExec=/bin/evil"));
    EXPECT_EQ(Entry(), before) << "a refused write leaves the entry as it was";
    EXPECT_TRUE(AutostartEntryText("").empty());

    // A folder that cannot hold the entry: told, nothing written.
    ASSERT_TRUE(SetAutostart(false, ""));
    std::filesystem::remove_all(folder.File("config/autostart"));
    folder.Write("config/autostart", "a file where the folder should be");
    EXPECT_FALSE(SetAutostart(true, "/usr/bin/m470"));
    EXPECT_FALSE(AutostartEnabled());
}

}  // namespace
}  // namespace m470
