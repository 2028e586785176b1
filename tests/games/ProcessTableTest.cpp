#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "games/ProcessTable.h"
#include "games/ProgramMatch.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

using namespace std::string_literals;

// A /proc of our own: stat lines, command lines and exe links as the kernel writes them.
class FakeProc : public ::testing::Test {
protected:
    void Process(int pid, const std::string& stat, const std::string& cmdline, const std::string& exe) {
        const std::string dir = "proc/" + std::to_string(pid) + "/";
        folder.Write(dir + "stat", stat);
        folder.Write(dir + "cmdline", cmdline);
        if (!exe.empty()) std::filesystem::create_symlink(exe, folder.File(dir + "exe"));
    }
    test::TempFolder folder{false};
};

TEST_F(FakeProc, ReadsStartTimeNamesAndTheWindowsProgramOfAWineProcess) {
    // A command name with spaces and ')' in it; field 22 is the start time.
    Process(812, "812 (Main) Thread) S 1 812 812 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 12 0 987654 1000 200",
            "C:\\Games\\Space Race\\SpaceRace.EXE\0-windowed\0"s, "/usr/lib/wine/wine64-preloader");
    Process(90, "90 (racer) S 1 90 90 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 4444 0 0", "/usr/games/racer\0--fast\0"s,
            "/usr/games/racer (deleted)");
    folder.Write("proc/self/stat", "not a process");
    folder.Write("proc/77/status", "a process that ended between listing and reading");
    ProcProcessTable table(folder.File("proc"));
    std::vector<ProcessInfo> found = table.List();
    std::sort(found.begin(), found.end(), [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].pid, 90);
    EXPECT_EQ(found[0].startTime, 4444u);
    EXPECT_EQ(found[0].exe, "/usr/games/racer");  // replaced on disk while running
    EXPECT_EQ(found[0].argv0, "/usr/games/racer");
    EXPECT_EQ(found[0].windowsExe, "");
    EXPECT_EQ(found[1].comm, "Main) Thread");
    EXPECT_EQ(found[1].startTime, 987654u);
    EXPECT_EQ(found[1].exe, "/usr/lib/wine/wine64-preloader");
    EXPECT_EQ(found[1].windowsExe, "SpaceRace.EXE");
}

TEST_F(FakeProc, TheRealTableHoldsThisTestProgram) {
    ProcProcessTable table;
    ProcessInfo self;
    ASSERT_TRUE(table.Read(static_cast<int>(::getpid()), self));
    EXPECT_EQ(self.exe, std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_GT(self.startTime, 0u);
    EXPECT_TRUE(LinkMatches(MakeProgramLink(ProgramBaseName(self.exe)), self));
}

ProcessInfo Running(const std::string& exe, const std::string& comm, const std::string& argv0 = {}, const std::string& windowsExe = {}) {
    return ProcessInfo{1, 1, exe, comm, argv0.empty() ? exe : argv0, windowsExe};
}

TEST(ProgramMatch, APathLinkNamesOneExecutableANameLinkAnyWithThatName) {
    const ProcessInfo racer = Running("/usr/games/racer", "racer");
    EXPECT_TRUE(LinkMatches(MakeProgramLink("/usr/games/racer"), racer));
    EXPECT_FALSE(LinkMatches(MakeProgramLink("/opt/racer"), racer));
    EXPECT_TRUE(LinkMatches(MakeProgramLink("racer"), racer));
    EXPECT_FALSE(LinkMatches(MakeProgramLink("Racer"), racer));  // names keep their case
    EXPECT_FALSE(LinkMatches(MakeProgramLink("race"), racer));
    EXPECT_FALSE(LinkMatches(MakeProgramLink(""), racer));
    // Started through a link of another name: the name it was started by counts too.
    EXPECT_TRUE(LinkMatches(MakeProgramLink("fast-racer"), Running("/usr/games/racer", "racer", "/usr/bin/fast-racer")));
}

TEST(ProgramMatch, TheKernelNameCutTo15BytesStillMatchesTheLongName) {
    // An executable that cannot be read (another user's) leaves the kernel's name.
    const ProcessInfo unreadable = Running("", "VeryLongGameNam", "-");
    EXPECT_TRUE(LinkMatches(MakeProgramLink("VeryLongGameName-Linux"), unreadable));
    EXPECT_FALSE(LinkMatches(MakeProgramLink("VeryLongGameNa"), unreadable));
    EXPECT_FALSE(LinkMatches(MakeProgramLink("short"), Running("", "sho")));
}

TEST(ProgramMatch, AWindowsProgramMatchesByItsNameInAnyCase) {
    const ProcessInfo wine = Running("/usr/lib/wine/wine64-preloader", "SpaceRace.exe", "C:\\Games\\SpaceRace.EXE", "SpaceRace.EXE");
    EXPECT_TRUE(LinkMatches(MakeProgramLink("spacerace.exe"), wine));
    EXPECT_TRUE(LinkMatches(MakeProgramLink("/home/me/Games/SpaceRace/SpaceRace.exe"), wine));
    EXPECT_FALSE(LinkMatches(MakeProgramLink("/home/me/Games/SpaceRace/Launcher.exe"), wine));
    EXPECT_FALSE(LinkMatches(MakeProgramLink("wine"), wine));
}

TEST_F(FakeProc, APathLinkThroughASymbolicLinkMatchesTheExecutableItPointsTo) {
    folder.Write("opt/game/bin/game", "#");
    std::filesystem::create_symlink(folder.File("opt/game/bin/game"), folder.File("game-link"));
    const ProcessInfo game = Running(std::filesystem::canonical(folder.File("opt/game/bin/game")).string(), "game", "./game");
    EXPECT_TRUE(LinkMatches(MakeProgramLink(folder.File("game-link")), game));
}

}  // namespace
}  // namespace m470
