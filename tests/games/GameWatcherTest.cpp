#include <gtest/gtest.h>

#include "games/GameWatcher.h"

namespace m470 {
namespace {

// A fake process table: what runs, and when each started.
class GameWatcherTest : public ::testing::Test {
protected:
    ProcessInfo Start(int pid, const std::string& exe) {
        ProcessInfo process;
        process.pid = pid;
        process.startTime = ++clock;
        process.exe = exe;
        process.argv0 = exe;
        process.comm = exe.substr(exe.rfind('/') + 1).substr(0, 15);
        running.push_back(process);
        return process;
    }
    void End(int pid) { std::erase_if(running, [pid](const ProcessInfo& p) { return p.pid == pid; }); }
    // One look, with the device showing what the last switch chose.
    std::vector<ProfileSwitch> Look(std::optional<int> front = std::nullopt) {
        std::vector<ProfileSwitch> switches = watcher.Decide({mouse}, running, front);
        for (const ProfileSwitch& s : switches) mouse.currentUuid = s.uuid;
        return switches;
    }

    uint64_t clock = 1000;
    std::vector<ProcessInfo> running;
    DeviceProfiles mouse{"mouse", "plain", {{"plain", ""}, {"race", "racer"}, {"shoot", "/opt/shooter/bin/shooter"}}};
    CGameWatcher watcher;
};

TEST_F(GameWatcherTest, ALinkedProgramStartingSwitchesAndItsEndRestores) {
    Start(10, "/usr/bin/bash");
    EXPECT_TRUE(Look().empty());
    Start(20, "/usr/games/racer");
    const auto started = Look();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].uuid, "race");
    EXPECT_EQ(started[0].reason, SwitchReason::ProgramRuns);
    EXPECT_EQ(started[0].program, "racer");
    EXPECT_TRUE(Look().empty());  // still running: nothing more to do
    End(20);
    const auto ended = Look();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].uuid, "plain");
    EXPECT_EQ(ended[0].reason, SwitchReason::ProgramsEnded);
    EXPECT_FALSE(watcher.Holding("mouse"));
    EXPECT_TRUE(watcher.Watching({mouse}));  // it has links
}

TEST_F(GameWatcherTest, TheProgramInFrontWinsOverTheOneStartedLast) {
    const ProcessInfo racer = Start(20, "/usr/games/racer");
    const ProcessInfo shooter = Start(30, "/opt/shooter/bin/shooter");
    EXPECT_EQ(Look().at(0).uuid, "shoot");          // neither in front: the later start
    EXPECT_EQ(Look(racer.pid).at(0).uuid, "race");  // the racer comes to the front
    EXPECT_TRUE(Look(racer.pid).empty());
    EXPECT_EQ(Look(shooter.pid).at(0).uuid, "shoot");
    EXPECT_TRUE(Look(4242).empty());  // another program in front: the later start, already shown
    End(30);
    EXPECT_EQ(Look().at(0).uuid, "race");  // one linked program still runs: no restore yet
    End(20);
    EXPECT_EQ(Look().at(0).uuid, "plain");
}

TEST_F(GameWatcherTest, TheProgramInFrontWinsWhateverTheOrderOfRowsAndStarts) {
    // The shooter's row comes last and it started first: only being in front makes it win.
    const ProcessInfo shooter = Start(30, "/opt/shooter/bin/shooter");
    Start(20, "/usr/games/racer");
    EXPECT_EQ(Look(shooter.pid).at(0).uuid, "shoot");
}

TEST_F(GameWatcherTest, TwoStartingTogetherTheLastStartedWinsAndThePidBreaksATie) {
    ProcessInfo first = Start(50, "/opt/shooter/bin/shooter");
    ProcessInfo second = Start(40, "/usr/games/racer");
    second.startTime = first.startTime;  // one clock tick
    running = {second, first};
    EXPECT_EQ(Look().at(0).uuid, "shoot");
}

TEST_F(GameWatcherTest, ALinkedProfileDeletedMeanwhileIsSkipped) {
    Start(20, "/usr/games/racer");
    Start(30, "/opt/shooter/bin/shooter");
    EXPECT_EQ(Look().at(0).uuid, "shoot");
    // The shooter's profile is deleted; the strip shows the row before it.
    mouse.profiles.pop_back();
    mouse.currentUuid = "race";
    EXPECT_TRUE(Look().empty());  // the racer's profile is the one left, and shown
    EXPECT_TRUE(watcher.Holding("mouse"));
    End(20);
    EXPECT_EQ(Look().at(0).uuid, "plain");
}

TEST_F(GameWatcherTest, ARestoreTargetDeletedMeanwhileLeavesTheCurrentProfile) {
    Start(20, "/usr/games/racer");
    EXPECT_EQ(Look().at(0).uuid, "race");
    mouse.profiles.erase(mouse.profiles.begin());  // "plain" is gone
    End(20);
    EXPECT_TRUE(Look().empty());
    EXPECT_EQ(mouse.currentUuid, "race");
    EXPECT_FALSE(watcher.Holding("mouse"));
}

TEST_F(GameWatcherTest, AProfileTheUserChoseWhileTheProgramRanStays) {
    Start(20, "/usr/games/racer");
    EXPECT_EQ(Look().at(0).uuid, "race");
    mouse.currentUuid = "shoot";  // chosen in the list
    EXPECT_TRUE(Look().empty());  // the watcher does not take it back
    End(20);
    EXPECT_TRUE(Look().empty());
    EXPECT_EQ(mouse.currentUuid, "shoot");
}

TEST_F(GameWatcherTest, EachDeviceFollowsItsOwnLinksAndRestoresItsOwnProfile) {
    DeviceProfiles keyboard{"keyboard", "office", {{"office", ""}, {"k-race", "racer"}}};
    Start(20, "/usr/games/racer");
    const auto switches = watcher.Decide({mouse, keyboard}, running, std::nullopt);
    ASSERT_EQ(switches.size(), 2u);
    EXPECT_EQ(switches[1].device, "keyboard");
    EXPECT_EQ(switches[1].uuid, "k-race");
    mouse.currentUuid = "race";
    keyboard.currentUuid = "k-race";
    End(20);
    const auto restored = watcher.Decide({mouse, keyboard}, running, std::nullopt);
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_EQ(restored[0].uuid, "plain");
    EXPECT_EQ(restored[1].uuid, "office");
}

TEST_F(GameWatcherTest, AnOlderListWithoutLinksNeverSwitches) {
    mouse.profiles = {{"plain", ""}, {"race", ""}};
    EXPECT_FALSE(watcher.Watching({mouse}));
    Start(20, "/usr/games/racer");
    EXPECT_TRUE(Look().empty());
    EXPECT_FALSE(watcher.Holding("mouse"));
}

}  // namespace
}  // namespace m470
