#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/PrivateFolder.h"
#include "shell/CommandLine.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

TEST(CommandLine, SendTakesNumbersInRangeOnly) {
    const CommandLine ok = ParseCommandLine({"--send", "Game_Start", "-1", "+3"});
    EXPECT_TRUE(ok.error.empty()) << ok.error;
    ASSERT_TRUE(ok.sendName.has_value());
    EXPECT_EQ(*ok.sendName, "Game_Start");
    EXPECT_EQ(ok.sendWParam, -1);
    EXPECT_EQ(ok.sendLParam, 3);
    EXPECT_EQ(ParseCommandLine({"--send", "M470"}).sendWParam, 0);
    for (const char* bad : {"one", "2x", "", "99999999999999999999", "0x10", " 1"})
        EXPECT_FALSE(ParseCommandLine({"--send", "Game_Start", bad, "2"}).error.empty()) << bad;
    EXPECT_FALSE(ParseCommandLine({"--send", "Game_Start", "1", "-"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--send"}).error.empty());
    // The name is one word: a space or line end in it would send another message than asked.
    for (const char* bad : {"", "Game_Start 0 6", "M470\nGame_Start", "a\tb"})
        EXPECT_FALSE(ParseCommandLine({"--send", bad}).error.empty()) << bad;
    EXPECT_EQ(ParseMessageNumber("9223372036854775807"), INTPTR_MAX);
    EXPECT_FALSE(ParseMessageNumber("9223372036854775808").has_value());
}

TEST(CommandLine, UnknownOptionsAreErrorsAndHelpIsUsage) {
    EXPECT_EQ(ParseCommandLine({"--frobnicate"}).error, "unknown option \"--frobnicate\"");
    EXPECT_FALSE(ParseCommandLine({"extra"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--script"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"--script", "--virtual"}).error.empty());
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    const CommandLine run = ParseCommandLine({"--virtual", "-platform", "offscreen", "--script", "a", "--screenshot", "b.png"});
    EXPECT_TRUE(run.error.empty()) << run.error;
    EXPECT_TRUE(run.wantVirtual);
    EXPECT_FALSE(run.tray);
    EXPECT_TRUE(ParseCommandLine({"--tray"}).tray);
    EXPECT_EQ(run.script, "a");
    EXPECT_EQ(run.screenshot, "b.png");
    EXPECT_NE(std::string(UsageText()).find("--send NAME"), std::string::npos);
}

TEST(PrivateFolder, MadeForTheOwnerAloneAndOpenOnesRefused) {
    test::TempFolder folder(false);
    std::string error;
    const std::string fresh = folder.File("fresh");
    ASSERT_TRUE(EnsurePrivateFolder(fresh, error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(EnsurePrivateFolder(fresh, error)) << error;  // ours already

    const std::string open = folder.File("open");
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    EXPECT_FALSE(EnsurePrivateFolder(open, error));
    EXPECT_NE(error.find("mode 777"), std::string::npos) << error;

    folder.Write("plain", "x");
    EXPECT_FALSE(EnsurePrivateFolder(folder.File("plain"), error));
    ASSERT_EQ(::symlink(fresh.c_str(), folder.File("link").c_str()), 0);
    EXPECT_FALSE(EnsurePrivateFolder(folder.File("link"), error));  // a link is not followed
    EXPECT_FALSE(EnsurePrivateFolder(folder.File("missing/deeper"), error));
}

}  // namespace
}  // namespace m470
