// Running an installer: its exit decides, a stop leaves it to finish, and
// what was left is reaped once it ended.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/StoppableThread.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"
#include "update/Installer.h"

namespace m470 {
namespace {

std::string Script(const test::TempFolder& folder, const std::string& name, const std::string& body) {
    folder.Write(name, "#!/bin/sh\n" + body);
    ::chmod(folder.File(name).c_str(), 0700);
    return folder.File(name);
}

TEST(Installer, TheExitDecidesAndAFileThatIsNoProgramCannotStart) {
    test::TempFolder folder;
    StopEvent stop;
    EXPECT_EQ(RunInstaller(Script(folder, "ok", "exit 0\n"), stop), InstallOutcome::Succeeded);
    EXPECT_EQ(RunInstaller(Script(folder, "bad", "exit 3\n"), stop), InstallOutcome::Failed);
    folder.Write("setup.exe", std::string("MZ\x90\x00", 4));
    ::chmod(folder.File("setup.exe").c_str(), 0700);
    EXPECT_EQ(RunInstaller(folder.File("setup.exe"), stop), InstallOutcome::CannotStart);
    EXPECT_EQ(RunInstaller(folder.File("missing"), stop), InstallOutcome::CannotStart);
}

TEST(Installer, AStopLeavesTheInstallerToFinishAndItIsReapedAfterwards) {
    test::TempFolder folder;
    StopEvent stop;
    stop.Set();
    const std::string done = folder.File("done");
    const size_t before = LeftInstallerCount();
    EXPECT_EQ(RunInstaller(Script(folder, "slow", "sleep 0.3\ntouch '" + done + "'\n"), stop), InstallOutcome::Stopped);
    EXPECT_EQ(LeftInstallerCount(), before + 1);
    // It ran to its end although nobody waited, and is reaped once ended.
    ASSERT_TRUE(test::Eventually([&] { return std::filesystem::exists(done); }));
    EXPECT_TRUE(test::Eventually([&] {
        ReapLeftInstallers();
        return LeftInstallerCount() == before;
    }));
}

}  // namespace
}  // namespace m470
