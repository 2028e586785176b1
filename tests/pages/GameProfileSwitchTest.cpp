#include <gtest/gtest.h>

#include <filesystem>

#include "device_link/CommandCodes.h"
#include "devices/MouseDevice.h"
#include "games/ProgramMatch.h"
#include "pages/GameProfileSwitch.h"
#include "platform/JsonFile.h"
#include "support/VirtualMousePage.h"

namespace m470 {
namespace {

class FakeProcesses : public ProcessTable {
public:
    std::vector<ProcessInfo> List() override {
        ++lists;
        return running;
    }
    void Start(int pid, const std::string& exe) { running.push_back({pid, ++clock, exe, ProgramBaseName(exe), exe, {}}); }
    void End(int pid) { std::erase_if(running, [pid](const ProcessInfo& p) { return p.pid == pid; }); }
    std::vector<ProcessInfo> running;
    uint64_t clock = 100;
    int lists = 0;
};

class FakeForeground : public ForegroundSource {
public:
    std::optional<int> ForegroundPid() override { return pid; }
    std::optional<int> pid;
};

// The mouse's page against the virtual mouse, with three profiles: the
// second linked to "racer", the third to "/opt/shooter/shooter".
class GameProfilePage : public test::VirtualMousePageTest {
protected:
    void SetUp() override {
        VirtualMousePageTest::SetUp();
        CDeviceProfileUI& strip = Strip();
        ASSERT_TRUE(strip.NewProfile());
        ASSERT_TRUE(strip.LinkCurrent("racer"));
        ASSERT_TRUE(strip.NewProfile());
        ASSERT_TRUE(strip.LinkCurrent("/opt/shooter/shooter"));
        Choose(0);
        rig.hub.Traffic().Clear();
    }
    CDeviceProfileUI& Strip() { return *devicePage->ProfileStrip(); }
    void Choose(int row) { ASSERT_TRUE(devicePage->ProfileStripPanel()->SwitchTo(Uuid(row))); }
    std::string Uuid(int row) { return Strip().GetProfileList()[row]["profileUUID"].asString(); }
    Json::Value ListFile() { return LoadJson(mouse->DataFolder() + kProfileListFile); }
    size_t SettingsWrites() {
        size_t writes = 0;
        for (const auto& entry : rig.hub.Traffic().Entries()) writes += entry.request[3] == command::kWriteSettings ? 1 : 0;
        rig.hub.Traffic().Clear();
        return writes;
    }
    // The row the strip, the list file and the mouse all show.
    int Shown() {
        const int row = Strip().GetCurSel();
        EXPECT_EQ(ListFile()["profileselect"].asInt(), row);
        EXPECT_EQ(mouse->ProfileName(), Uuid(row));
        EXPECT_EQ(Strip().GetNameEditText(), Strip().RowText(row));
        return row;
    }
    std::vector<GameProfileNotice> Look() { return games.Check({devicePage.get()}); }

    FakeProcesses processes;
    FakeForeground foreground;
    CGameProfileSwitch games{processes, foreground};
};

TEST_F(GameProfilePage, ALinkedProgramSwitchesAsAChoiceInTheListDoesAndItsEndRestores) {
    EXPECT_TRUE(Look().empty());
    EXPECT_EQ(SettingsWrites(), 0u);
    processes.Start(40, "/usr/games/racer");
    const auto started = Look();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].device, mouse.get());
    EXPECT_EQ(started[0].profileName, "profile2");
    EXPECT_EQ(started[0].program, "racer");
    EXPECT_EQ(Shown(), 1);
    EXPECT_GT(SettingsWrites(), 0u);  // written to the mouse as a choice is
    EXPECT_TRUE(Look().empty());
    EXPECT_EQ(SettingsWrites(), 0u);  // once, not at every look

    processes.End(40);
    const auto ended = Look();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].profileName, "profile1");
    EXPECT_EQ(ended[0].program, "");
    EXPECT_EQ(Shown(), 0);
    EXPECT_GT(SettingsWrites(), 0u);
}

TEST_F(GameProfilePage, TheProgramInFrontWinsThenTheLastStartedAndDeletedProfilesAreSkipped) {
    processes.Start(40, "/usr/games/racer");
    processes.Start(50, "/opt/shooter/shooter");
    Look();
    EXPECT_EQ(Shown(), 2);  // the last to start
    foreground.pid = 40;
    Look();
    EXPECT_EQ(Shown(), 1);  // the racer came to the front
    foreground.pid.reset();
    Look();
    EXPECT_EQ(Shown(), 2);
    // The shooter's profile deleted through the strip: the racer's is chosen and held.
    window.confirm = true;
    ASSERT_TRUE(devicePage->Route({"click", host.FindUnder(page, "device_sub_btn"), "device_sub_btn", 0, 0}));
    EXPECT_EQ(Shown(), 1);
    rig.hub.Traffic().Clear();
    EXPECT_TRUE(Look().empty());
    processes.End(40);
    Look();
    EXPECT_EQ(Shown(), 0);
}

TEST_F(GameProfilePage, TurnedOffTheHeldProfileGoesBackAndARestoreTargetDeletedLeavesTheCurrent) {
    processes.Start(40, "/usr/games/racer");
    Look();
    ASSERT_EQ(Shown(), 1);
    games.Release({devicePage.get()});
    EXPECT_EQ(Shown(), 0);

    Look();
    ASSERT_EQ(Shown(), 1);
    // profile1, the one to go back to, is deleted while the racer runs.
    Choose(0);
    window.confirm = true;
    ASSERT_TRUE(devicePage->Route({"click", host.FindUnder(page, "device_sub_btn"), "device_sub_btn", 0, 0}));
    Choose(0);  // the racer's profile, first row now
    processes.End(40);
    rig.hub.Traffic().Clear();
    EXPECT_TRUE(Look().empty());
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(SettingsWrites(), 0u);
}

TEST_F(GameProfilePage, TheMenuLinksAChosenPathOrATypedNameAndUnlinks) {
    const auto Row = [this](int row) { return ListFile()["profilelist"][row]; };
    const auto On = [this](const char* name) -> ui::Ctl { return host.FindUnder(page, name); };
    EXPECT_FALSE(On("device_unlink_btn").Visible());  // profile1 is not linked
    folder.Write("games/run-me", "#!/bin/sh\n");
    window.file = folder.File("games/run-me");
    ASSERT_TRUE(devicePage->Route({"click", On("device_link_btn").Get(), "device_link_btn", 0, 0}));
    EXPECT_EQ(window.asked.back(), "program");
    EXPECT_EQ(window.linksChanged, 1);  // the window's looks start at once, not at the next file event
    EXPECT_EQ(Row(0)["profileislink"].asInt(), 1);
    EXPECT_EQ(Row(0)["profilelinkmame"].asString(), folder.File("games/run-me"));
    EXPECT_EQ(On("device_link_program").Text(), "run-me");
    EXPECT_EQ(On("device_link_program").Get()->ToolTipText(), folder.File("games/run-me"));
    EXPECT_TRUE(On("device_link_label").Visible());
    EXPECT_TRUE(On("device_unlink_btn").Visible());

    window.file = "/usr/bin/no-such-game-here";  // typed into the chooser
    ASSERT_TRUE(devicePage->Route({"click", On("device_link_btn").Get(), "device_link_btn", 0, 0}));
    EXPECT_EQ(Row(0)["profilelinkmame"].asString(), "no-such-game-here");

    window.file.reset();  // cancelled: the link stays
    ASSERT_TRUE(devicePage->Route({"click", On("device_link_btn").Get(), "device_link_btn", 0, 0}));
    EXPECT_EQ(Row(0)["profilelinkmame"].asString(), "no-such-game-here");
    EXPECT_EQ(window.linksChanged, 2);

    ASSERT_TRUE(devicePage->Route({"click", On("device_unlink_btn").Get(), "device_unlink_btn", 0, 0}));
    EXPECT_EQ(Row(0)["profileislink"].asInt(), 0);
    EXPECT_EQ(Row(0)["profilelinkmame"].asString(), "");
    EXPECT_EQ(window.linksChanged, 3);
    EXPECT_FALSE(On("device_unlink_btn").Visible());
    Choose(1);  // the racer's profile shows its link
    EXPECT_EQ(On("device_link_program").Text(), "racer");
    EXPECT_TRUE(On("device_link_label").Visible());
}

TEST_F(GameProfilePage, WithoutLinksTheProcessesAreNotRead) {
    Look();
    EXPECT_EQ(processes.lists, 1);
    for (int row : {1, 2}) {
        Choose(row);
        ASSERT_TRUE(Strip().LinkCurrent(""));
    }
    processes.Start(40, "/usr/games/racer");
    EXPECT_TRUE(Look().empty());
    EXPECT_EQ(processes.lists, 1);
}

}  // namespace
}  // namespace m470
