// The real program, run offscreen with a script against the virtual devices.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <algorithm>
#include <array>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <sys/resource.h>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/LoopbackServer.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

// The recording ends and the new macro is chosen for button 5 on the keys
// tab, run once (not yet written).
const std::string kMacroOnButtonFive = R"(click macro_btn_stopredio
select key_Op_tab
click key_5
item keyset_function_combo 9
item keyset_macro_combo 0
item keyset_macro_over_combo 0
)";

struct RunResult {
    int exitCode = -1;
    std::string errors;
};

class Program : public ::testing::Test {
protected:
    RunResult Play(const std::string& script, const std::string& virtualDevices) {
        folder.Write("run.script", script);
        const QString runtime = QString::fromStdString(folder.File("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("XDG_DATA_HOME", QString::fromStdString(folder.File("data")));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(folder.File("config")));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("M470_DEBUG_LOG", QString::fromStdString(folder.File("trace.log")));
        environment.insert("M470_VIRTUAL", QString::fromStdString(virtualDevices));
        const rlim_t limit = fileSizeLimit;
        test::TestProcess program([limit] {
            if (limit == 0) return;
            const struct rlimit size {limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &size);
        });
        program.setProcessEnvironment(environment);
        program.start(QString::fromStdString(GetInstallFolder() + "m470"), {"--script", QString::fromStdString(folder.File("run.script"))});
        RunResult run;
        if (!program.waitForFinished(30000)) {
            program.kill();
            program.waitForFinished();
            return run;
        }
        run.exitCode = program.exitCode();
        run.errors = program.readAllStandardError().toStdString();
        return run;
    }

    // Every command report the transport wrote, from the trace dumps.
    std::vector<std::vector<uint8_t>> Requests() {
        std::vector<std::vector<uint8_t>> reports;
        std::istringstream lines(folder.Read("trace.log"));
        std::string line;
        while (std::getline(lines, line)) {
            if (line != "命令") continue;
            std::vector<uint8_t> report;
            for (int half = 0; half < 2 && std::getline(lines, line); ++half) {
                std::istringstream bytes(line);
                std::string hex;
                while (bytes >> hex) report.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
            }
            if (report.size() == 64) reports.push_back(report);
        }
        return reports;
    }

    // The mouse's list, one of its profile documents, and the ids its folder holds files for.
    Json::Value MouseList() { return LoadJson(folder.File("data/M470/mouse/ProfileList.ini")); }
    Json::Value MouseProfile(const std::string& uuid) { return LoadJson(folder.File("data/M470/mouse/" + uuid + ".Json")); }
    // The key list of the mouse profile the list has chosen.
    Json::Value ChosenMouseKeys() {
        const Json::Value list = MouseList();
        return MouseProfile(list["profilelist"][list["profileselect"].asInt()]["profileUUID"].asString())["Device"][0]["KeyList"];
    }
    static int Stage3(const Json::Value& profile) { return profile["Device"][0]["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt(); }
    std::vector<std::string> MouseProfileFiles() {
        std::vector<std::string> ids;
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("data/M470/mouse")))
            if (entry.path().extension() == ".Json") ids.push_back(entry.path().stem().string());
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // Stage 3 (byte 14 + 27 + 2) and mode (byte 1) of every mouse settings record sent.
    std::vector<int> SentStage3() {
        std::vector<int> sent;
        for (const auto& request : Requests())
            if (request[3] == 0x06 && request[5] == 0 && request[6] == 0) sent.push_back(request[8 + 43]);
        return sent;
    }
    static int Factory3() { return Stage3(LoadJson(GetDefaultDataFolder() + "mouse.Json")); }

    test::TempFolder folder{false};
    rlim_t fileSizeLimit = 0;  // bytes any file of the program may reach; 0 leaves the limit alone
};

TEST_F(Program, MouseShowsUpReadsAndTakesEdits) {
    const RunResult run = Play(R"(# plug the mouse by cable while the program runs
expect device_option[0] visible 0
virtual plug mouse
until device_select[0] read 1
expect device_option[0] visible 1
expect DPI_edit_5 text 13100
# the pad was there first and keeps the selection: show the mouse's page
expect device_select[0] selected 0
click device_select[0]
value DPI_slider_3 60
click polling_rate_option_2
until polling_rate_option_2 selected 1
)", "mousepad");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = LoadJson(folder.File("data/M470/mouse/ProfileList.ini"));
    const std::string uuid = list["profilelist"][list["profileselect"].asInt()]["profileUUID"].asString();
    const Json::Value section = LoadJson(folder.File("data/M470/mouse/" + uuid + ".Json"))["Device"][0];
    EXPECT_EQ(section["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt(), 60);
    EXPECT_EQ(section["ReportStages"]["StageActive"].asInt(), 2);
    // The last record written carries both edits: stage 3 at byte 14 + 27 + 2,
    // the cable report rate at byte 11 (data from report byte 8).
    std::vector<uint8_t> last;
    for (const auto& request : Requests())
        if (request[3] == 0x06 && request[5] == 0 && request[6] == 0) last = request;
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last[8 + 43], 60);
    EXPECT_EQ(last[8 + 11], 2);
}

TEST_F(Program, OneBrightnessStepOnTheWiredMouseSendsOnlyTheRecord) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
click mouse_device_seting_option_3
value deng_light_slider 1
until deng_light_slider value 1
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto requests = Requests();
    // From the frame that opens the write of the new brightness (factory 3) to the end.
    size_t step = requests.size();
    for (size_t i = 1; i < requests.size() && step == requests.size(); ++i)
        if (requests[i][3] == 0x06 && requests[i][5] == 0 && requests[i][8 + 2] == 1) step = i - 1;
    ASSERT_LT(step, requests.size());
    // The battery is read every 5 s (0x1A): on a loaded machine one such read
    // may fall after the step; it is no part of the edit.
    std::vector<uint8_t> commands;
    for (size_t i = step; i < requests.size(); ++i)
        if (requests[i][3] != 0x1A) commands.push_back(requests[i][3]);
    EXPECT_EQ(commands, (std::vector<uint8_t>{0x01, 0x06, 0x06, 0x02}));
}

// A node the user may not open: the page names the product, its node and the
// fix, and forgets it once the node opens again.
TEST_F(Program, ARefusedNodeIsNamedOnTheNoDevicePageUntilItOpens) {
    const RunResult run = Play(R"(until device_select[0] read 1
virtual deny mouse
virtual unplug mouse
virtual plug mouse
until nodevice_refused_label visible 1
expect No_device_Link visible 1
expect nodevice_virtual_label visible 0
virtual allow mouse
virtual unplug mouse
virtual plug mouse
until device_select[0] read 1
expect nodevice_refused_label visible 0
virtual plug mousepad
until device_select[1] read 1
virtual deny mouse
virtual unplug mouse
virtual plug mouse
until access_refused_banner visible 1
expect No_device_Link visible 0
)", "mouse");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    const std::string trace = folder.Read("trace.log");
    EXPECT_NE(trace.find("Gaming Mouse found at /virtual/hidraw"), std::string::npos);
    EXPECT_NE(trace.find(", but permission to open it was refused. (Permission denied) Install the udev rule"),
              std::string::npos);
}

TEST_F(Program, ReceiverLinkDecidesWhetherTheEntryShows) {
    const RunResult run = Play(R"(virtual power mouse off
virtual battery mouse 57 1
virtual plug mouse-receiver
# off behind its receiver: listed, greyed, not selectable
until device_option[0] visible 1
until device_option[0] enabled 0
until device_select_state[0] text Off or out of range
virtual power mouse on
# the link is looked at again every few seconds
until device_option[0] enabled 1
until device_select_state[0] text 2.4 GHz receiver
expect device_option[0] visible 1
# the headset, listed first, keeps the selection: show the mouse and its battery
until device_select[0] read 1
click device_select[0]
until device_power_value text 57%
expect device_Power_progress value 43
expect device_wuxian_logo visible 1
expect device_Power_progress visible 0
)", "headset");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
}

TEST_F(Program, PadLightingEditsReachThePad) {
    const RunResult run = Play(R"(until device_select[1] read 1
item light_combo_modeSelect 3
value deng_light_slider 2
click color_option_5
text deng_edit_R 300
until deng_edit_R text 255
expect deng_7color_check selected 0
expect deng_speed_layout enabled 0
# same mode needs a second connected device
expect deng_same_mode visible 0
)", "mousepad");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    // The last settings record sent: mode code, brightness, then red, green, blue from byte 6.
    std::vector<uint8_t> last;
    for (const auto& request : Requests())
        if (request[3] == 0x06) last = request;
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last[8 + 1], 0x04);  // the pad's mode 3
    EXPECT_EQ(last[8 + 2], 2);
    EXPECT_EQ((std::vector<uint8_t>(last.begin() + 14, last.begin() + 17)), (std::vector<uint8_t>{255, 0, 255}));
}

TEST_F(Program, ProfilesStartFromTheFactoryAndChoosingOneWritesIt) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
value DPI_slider_3 60
click device_add_btn
until confirm_btn visible 1
click confirm_btn
until device_profile_name_edit text profile2
# choose the new profile, then the first again; a choice reaches the device
# on the window's timer, so each wait outlasts it
item device_profile_combo 1
wait 700
item device_profile_combo 0
wait 700
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = LoadJson(folder.File("data/M470/mouse/ProfileList.ini"));
    ASSERT_EQ(list["profilelist"].size(), 2u);
    EXPECT_EQ(list["profileselect"].asInt(), 0);
    EXPECT_EQ(list["profilelist"][1]["profilename"].asString(), "profile2");
    const auto stage3 = [&](int row) {
        const std::string uuid = list["profilelist"][row]["profileUUID"].asString();
        return LoadJson(folder.File("data/M470/mouse/" + uuid + ".Json"))["Device"][0]["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt();
    };
    const int factory = LoadJson(GetDefaultDataFolder() + "mouse.Json")["Device"][0]["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt();
    EXPECT_EQ(stage3(0), 60);
    EXPECT_EQ(stage3(1), factory);  // the new profile is the factory file, not a copy of the edited one
    // Stage 3 of the settings records sent (a refresh and a write may send one twice):
    // the first read's factory record, the edit, the new profile, then profile1 again.
    std::vector<int> sent;
    for (const auto& request : Requests())
        if (request[3] == 0x06 && request[5] == 0 && request[6] == 0 && (sent.empty() || sent.back() != request[8 + 43]))
            sent.push_back(request[8 + 43]);
    EXPECT_EQ(sent, (std::vector<int>{factory, 60, factory, 60}));
}

TEST_F(Program, SameModeOffersItselfWithTwoDevices) {
    const RunResult run = Play(R"(until device_select[0] read 1
until device_select[1] read 1
click device_select[1]
until light_combo_modeSelect visible 1
item light_combo_modeSelect 2
until deng_same_mode visible 1
click deng_same_mode
# the mouse took breathing, the pad's breathing's counterpart: its lighting
# tab, loaded at its first show (after the pad's), shows it
click device_select[0]
click mouse_device_seting_option_3
until light_combo_modeSelect[1] value 0
# back on the pad's page, same mode goes with the mouse
click device_select[1]
until deng_same_mode visible 1
virtual unplug mouse
until deng_same_mode visible 0
)", "mouse,mousepad");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
}

TEST_F(Program, LightingControlButtonFlipsTheFlag) {
    const RunResult run = Play(R"(until control_light_status text Lighting control: on
click control_light_status
expect control_light_status text Lighting control: off
click control_light_status
expect control_light_status text Lighting control: on
)", "mousepad");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
}

// A settings write the mouse refuses (a stage, the selected stage, the report
// rate) is told each time; the edit is still kept in the profile.
TEST_F(Program, ASettingsWriteTheMouseRefusesIsTold) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
virtual fail mouse 0x06
value DPI_slider_3 60
until MessageText visible 1
expect MessageText text Writing to the device failed.
click confirm_btn
virtual fail mouse 0x06 drop
click DPI_select_check_2
until MessageText visible 1
expect MessageText text Writing to the device failed.
click confirm_btn
virtual fail mouse 0x06
click polling_rate_option_2
until MessageText visible 1
expect MessageText text Writing to the device failed.
click confirm_btn
value DPI_slider_3 70
until DPI_edit_3 text 9300
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(Stage3(MouseProfile(MouseList()["profilelist"][0]["profileUUID"].asString())), 70);
    EXPECT_EQ(SentStage3().back(), 70);  // the write after the refusals went through
}

TEST_F(Program, ConfirmationOutlivingItsDeviceChangesNothing) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
value DPI_slider_3 60
click device_reset_btn
# the box is open: the mouse goes off behind its receiver; its entry stays, greyed
virtual power mouse off
until device_option[0] enabled 0
click confirm_btn
# nothing is to happen: time for the confirmation to act if it wrongly did
wait 300
)", "mouse-receiver");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = MouseList();
    EXPECT_EQ(Stage3(MouseProfile(list["profilelist"][0]["profileUUID"].asString())), 60);  // not reset
}

TEST_F(Program, DeletingTheChosenProfileChoosesAnotherAndLeavesNoFileBehind) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
click device_add_btn
click confirm_btn
until device_profile_name_edit text profile2
item device_profile_combo 1
# the choice reaches the device on the window's timer: this wait outlasts it
wait 700
value DPI_slider_3 60
click device_sub_btn
click confirm_btn
until device_profile_name_edit text profile1
expect device_profile_combo value 0
value DPI_slider_3 70
until DPI_slider_3 value 70
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = MouseList();
    ASSERT_EQ(list["profilelist"].size(), 1u);
    const std::string uuid = list["profilelist"][0]["profileUUID"].asString();
    EXPECT_EQ(MouseProfileFiles(), std::vector<std::string>{uuid});  // the deleted one never comes back
    const Json::Value kept = MouseProfile(uuid);
    EXPECT_EQ(kept["profilename"].asString(), "profile1");
    EXPECT_EQ(Stage3(kept), 70);
    // After the delete the device got profile1 (factory stage 3), then the edit.
    const std::vector<int> sent = SentStage3();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent.back(), 70);
    const auto sixty = std::find(sent.begin(), sent.end(), 60);
    ASSERT_NE(sixty, sent.end());
    EXPECT_NE(std::find(sixty, sent.end(), Factory3()), sent.end());
}

TEST_F(Program, ANewProfileIsTheChosenOneEverywhere) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
value DPI_slider_3 60
click device_add_btn
click confirm_btn
until device_profile_name_edit text profile2
expect device_profile_combo value 1
value DPI_slider_3 70
until DPI_slider_3 value 70
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = MouseList();
    ASSERT_EQ(list["profilelist"].size(), 2u);
    EXPECT_EQ(list["profileselect"].asInt(), 1);  // what the next start applies
    EXPECT_EQ(Stage3(MouseProfile(list["profilelist"][0]["profileUUID"].asString())), 60);
    EXPECT_EQ(Stage3(MouseProfile(list["profilelist"][1]["profileUUID"].asString())), 70);
    // The device got the new profile (factory) right after it was made.
    const std::vector<int> sent = SentStage3();
    const auto sixty = std::find(sent.begin(), sent.end(), 60);
    ASSERT_NE(sixty, sent.end());
    const auto factory = std::find(sixty, sent.end(), Factory3());
    ASSERT_NE(factory, sent.end());
    EXPECT_NE(std::find(factory, sent.end(), 70), sent.end());
}

TEST_F(Program, ImportRefusedAndExportFailedAreTold) {
    folder.Write("import/wrong.json", R"({"profilename": "x", "profileUUID": "y", "Device": [{"KeyList": "none"}]})");
    const RunResult run = Play("until device_select[0] read 1\nclick device_select[0]\nchoose " + folder.File("import/wrong.json") +
                                   "\nclick device_import_btn\nexpect MessageText text "
                                   "This file is not a profile of this device, or it is damaged; it was not imported.\n"
                                   "click confirm_btn\nchoose " + folder.File("no/such/folder/out") +
                                   "\nclick device_export_btn\nexpect MessageText text \u201c" + folder.File("no/such/folder/out.json") +
                                   "\u201d could not be saved: the folder does not exist.\n"
                                   "click confirm_btn\nchoose " + folder.File("out") + "\nclick device_export_btn\n",
                               "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(MouseList()["profilelist"].size(), 1u);
    EXPECT_EQ(LoadJson(folder.File("out.json"))["profilename"].asString(), "profile1");
}

TEST_F(Program, AProfileChoiceGoesToTheDeviceThatRaisedIt) {
    const RunResult run = Play(R"(until device_select[0] read 1
until device_select[1] read 1
click device_select[0]
value DPI_slider_3 60
click device_add_btn
click confirm_btn
until device_profile_combo value 1
# a choice reaches the device on the window's timer: each wait outlasts it
item device_profile_combo 1
wait 700
expect device_profile_combo value 1
# choose profile1 again and switch to the pad's page before the choice is applied
item device_profile_combo 0
click device_select[1]
wait 700
)", "mouse,mousepad");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_EQ(MouseList()["profilelist"].size(), 2u);
    EXPECT_EQ(MouseList()["profileselect"].asInt(), 0);
    const std::vector<int> sent = SentStage3();
    const auto factory = std::find(sent.begin(), sent.end(), Factory3());  // profile2 applied
    ASSERT_NE(factory, sent.end());
    EXPECT_NE(std::find(factory, sent.end(), 60), sent.end());  // then profile1 again
}

// The page shows the chosen profile at once; an edit made before the device
// write of the choice belongs to that profile, not to the one left.
TEST_F(Program, AnEditRightAfterAProfileChoiceGoesToTheChosenProfile) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
click device_add_btn
click confirm_btn
until device_profile_name_edit text profile2
# a choice reaches the device on the window's timer: the waits outlast it
item device_profile_combo 0
wait 700
item device_profile_combo 1
value DPI_slider_3 60
wait 800
expect DPI_slider_3 value 60
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = MouseList();
    ASSERT_EQ(list["profilelist"].size(), 2u);
    EXPECT_EQ(list["profileselect"].asInt(), 1);
    EXPECT_EQ(Stage3(MouseProfile(list["profilelist"][0]["profileUUID"].asString())), Factory3());
    EXPECT_EQ(Stage3(MouseProfile(list["profilelist"][1]["profileUUID"].asString())), 60);
    const std::vector<int> sent = SentStage3();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), 60);  // the device holds the edit too
}

TEST_F(Program, GameEffectsGiveTheUsersModeBack) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
click mouse_device_seting_option_3
item light_combo_modeSelect 2
until light_combo_modeSelect value 2
send Game_Start 0 6
until light_combo_modeSelect value 6
# a second event while the first shows keeps the user's mode
send Game_Kill 0 4
until light_combo_modeSelect value 4
until light_combo_modeSelect value 2
# a mode the mouse does not have is refused: nothing is to change, so the
# wait outlasts the window's batching of game events
send Game_Start 0 40
wait 300
expect light_combo_modeSelect value 2
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value list = MouseList();
    const Json::Value light = MouseProfile(list["profilelist"][0]["profileUUID"].asString())["Device"][0]["LightInfo"];
    EXPECT_EQ(light["SelectItem"].asInt(), 2);
    std::vector<int> modes;
    for (const auto& request : Requests())
        if (request[3] == 0x06 && request[5] == 0 && request[6] == 0 && (modes.empty() || modes.back() != request[8 + 1]))
            modes.push_back(request[8 + 1]);
    ASSERT_GE(modes.size(), 3u);
    EXPECT_EQ(std::vector<int>(modes.end() - 3, modes.end()), (std::vector<int>{6, 4, 2}));
}

TEST_F(Program, AProfileThatCannotBeReadIsToldOnceAndKept) {
    const std::string list = R"({"profilelist": [{"profilename": "mine", "profileUUID": "2024_01_01_00_00_00_000",
        "profileislink": 0, "profilelinkmame": ""}], "profileselect": 0})";
    folder.Write("data/M470/mouse/ProfileList.ini", list);
    folder.Write("data/M470/mouse/2024_01_01_00_00_00_000.Json/in-the-way", "x");  // a folder where the file should be
    const RunResult run = Play(R"(until MessageText text “)" + folder.File("data/M470/mouse/2024_01_01_00_00_00_000.Json") +
                                   R"(” exists but cannot be read. It is kept as it is and not written.
click confirm_btn
until device_select[0] read 1
click device_select[0]
value DPI_slider_3 60
until DPI_slider_3 value 60
expect device_profile_name_edit text mine
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(MouseList(), ParseJson(list));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("data/M470/mouse/2024_01_01_00_00_00_000.Json")));
    EXPECT_EQ(SentStage3().back(), 60);  // the device still takes the edit
}

// A file-size limit (a quota, ulimit -f) makes a save fail like a full disk:
// told to the user, the old file kept, never the end of the program.
TEST_F(Program, AFileSizeLimitFailsTheSaveAndIsTold) {
    const std::string uuid = "2024_01_01_00_00_00_000";
    Json::Value profile = LoadJson(GetDefaultDataFolder() + "mouse.Json");
    profile["profilename"] = "mine";
    profile["profileUUID"] = uuid;
    folder.Write("data/M470/mouse/" + uuid + ".Json", StyledJson(profile));
    folder.Write("data/M470/mouse/ProfileList.ini", R"({"profilelist": [{"profilename": "mine", "profileUUID": ")" + uuid +
                                                        R"(", "profileislink": 0, "profilelinkmame": ""}], "profileselect": 0})");
    // The recoil patterns are there already: the first file the limit stops is the profile.
    for (int n = 0; n < 4; ++n) {
        const std::string name = "ShootData_" + std::to_string(n) + ".Shoot";
        folder.Write("data/M470/mouse/" + name, test::TempFolder::ReadFile(GetDefaultDataFolder() + name));
    }
    const std::string before = folder.Read("data/M470/mouse/" + uuid + ".Json");
    ASSERT_GT(before.size(), 4096u);
    fileSizeLimit = 4096;  // the list fits, the profile does not
    // The device took the edit: the message tells the file and why, not a device failure.
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
value DPI_slider_3 60
until MessageText text “)" + folder.File("data/M470/mouse/" + uuid + ".Json") +
                                   R"(” could not be saved: the file would be larger than the system allows.
click confirm_btn
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(folder.Read("data/M470/mouse/" + uuid + ".Json"), before);
    for (const auto& entry : std::filesystem::directory_iterator(folder.File("data/M470/mouse")))
        EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();
}

TEST_F(Program, ResetGoesOnWhenTheSwatchFileCannotBeRemoved) {
    folder.Write("data/M470/color_option_info.config/in-the-way", "x");  // remove() fails on a full folder
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
value DPI_slider_3 60
click device_reset_btn
click confirm_btn
# the factory stage is back on the page
until DPI_slider_3 value 31
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(Stage3(MouseProfile(MouseList()["profilelist"][0]["profileUUID"].asString())), Factory3());
    EXPECT_EQ(SentStage3().back(), Factory3());
}

TEST_F(Program, LeftoversOfKilledSavesAreGoneAfterAStart) {
    folder.Write("data/M470/mouse/ProfileList.ini.tmp.999999999.0", "{");
    folder.Write("config/M470/registry.json.tmp.999999999.4", "{");
    const RunResult run = Play("until nodevice_label visible 1\n", "");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(folder.File("data/M470/mouse/ProfileList.ini.tmp.999999999.0")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("config/M470/registry.json.tmp.999999999.4")));
}

// The settings window against an update service on loopback (TLS, trusted
// through the registry's extra authority): the virtual mouse at 0x0107 is
// offered 0x0108, the download shows its progress and the stub installer,
// which fails, runs exactly once.
TEST_F(Program, TheSettingsWindowUpdatesTheMouseAndRunsItsInstallerOnce) {
    test::LoopbackServer service(true);
    const std::string installer = "#!/bin/sh\necho ran >> '" + folder.File("runs") + "'\nexit 1\n#" + std::string(3000, '-') + "\n";
    std::vector<std::string> asked;
    std::mutex askedMutex;
    service.On("POST", "/api/updates", [&](const test::SeenRequest& request) {
        std::lock_guard lock(askedMutex);
        asked.push_back(request.body.c_str());
        if (request.body.find("_M470_1&version=107") == std::string::npos)
            return test::Answer{200, R"({"version":"0","version_name":"0"})", "application/json"};
        return test::Answer{200, R"({"path":")" + service.Base() + R"(files/fw.exe","version":"0108","device_id":1})", "application/json"};
    });
    service.On("GET", "/files/fw.exe", [&](const test::SeenRequest&) { return test::Answer{200, installer}; });
    service.Start();
    Json::Value registry(Json::objectValue);
    registry["UPDATE_SERVICE"] = service.Base() + "api/";
    registry["UPDATE_BRAND"] = "VANTRL";
    registry["UPDATE_FIRMWARE_MOUSE"] = "M4A7B2C9";
    registry["UPDATE_CA_FILE"] = test::TlsFixture("ca.pem");
    folder.Write("config/M470/registry.json", StyledJson(registry));
    const RunResult run = Play(R"(until device_select[0] read 1
click setbtn
trigger setwnd_menu
until Update_Status_text text Updates are available
expect check_name_select[0] text Gaming Mouse
expect OldRev[0] text V0107
expect updateRev[0] text V0108
expect update_status_text[0] text Update available
expect check_name_select[0] selected 1
expect update_status_text[1] text Up to date
click update_fw_and_ap
click update_OK_btn
until update_status_text[0] text Update failed
expect update_progress_value[0] text 100%
expect check_name_select[0] enabled 1
click closebtn
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(folder.Read("runs"), "ran\n");
    EXPECT_NE(folder.Read("trace.log").find("update: asking " + service.Base() + "api/updates: app_key=VANTRL_1_"), std::string::npos);
    std::lock_guard lock(askedMutex);
    EXPECT_EQ(asked, (std::vector<std::string>{"app_key=VANTRL_1_M4A7B2C9_M470_1&version=107", "app_key=VANTRL_0_ALL_M470_1&version=10"}));
}

// With no update service configured the window says so, asks nothing and
// still offers the language choice, which switches every window at once
// (the title, which says the products are virtual, included).
TEST_F(Program, WithoutAnUpdateServiceTheSettingsWindowSaysSoAndSwitchesTheLanguage) {
    const RunResult run = Play(R"(until device_select[0] read 1
expect title_label text M470 Control Center (virtual products)
click setbtn
trigger setwnd_menu
until Update_Status_text text No update service configured
expect OldRev[0] text V0107
expect update_status_text[0] text No information
expect update_fw_and_ap visible 0
item Language_combox_info 0
expect Update_Status_text text 未配置更新服务
expect setwnd_title_label text 设置
expect title_label text M470 控制中心（虚拟设备）
expect update_status_text[1] text 暂无信息
# asked again while it is open: still one window, closed by one click (the
# wait gives a wrong second window time to open)
click setbtn
trigger setwnd_menu
wait 200
click closebtn
until nodevice_label text 未检测到设备
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(LoadJson(folder.File("config/M470/registry.json"))["LANGUAGE"].asString(), "2052");
    EXPECT_EQ(folder.Read("trace.log").find("update: asking"), std::string::npos);
    const std::string trace = folder.Read("trace.log");
    const size_t opened = trace.find("settings window opened");
    ASSERT_NE(opened, std::string::npos);
    EXPECT_EQ(trace.find("settings window opened", opened + 1), std::string::npos);
}

TEST_F(Program, AFailingLineIsNamed) {
    const RunResult run = Play("until nodevice_label visible 1\nexpect nodevice_label visible 0\n", "");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("script line 2: nodevice_label visible is \"1\", expected \"0\""), std::string::npos) << run.errors;
    EXPECT_EQ(Play("virtual plug trackball\n", "").exitCode, 1);
    // A mark is an empty file once the lines before it ran; one it cannot write fails the script.
    const std::string mark = folder.File("ready");
    const RunResult marked = Play("until nodevice_label visible 1\nmark " + mark + "\n", "");
    EXPECT_EQ(marked.exitCode, 0) << marked.errors;
    EXPECT_EQ(folder.Read("ready"), "");
    EXPECT_TRUE(std::filesystem::exists(mark));
    const RunResult unwritable = Play("mark " + folder.File("no-such-folder/ready") + "\n", "");
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.errors.find("cannot write"), std::string::npos) << unwritable.errors;
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

// The 3-byte functions of the last key table sent (data from report byte 8).
std::vector<std::array<uint8_t, 3>> Functions(const std::vector<uint8_t>& report) {
    std::vector<std::array<uint8_t, 3>> functions;
    for (size_t at = 8; at + 2 < 8 + report[4] && at + 2 < report.size(); at += 3)
        functions.push_back({report[at], report[at + 1], report[at + 2]});
    return functions;
}

TEST_F(Program, AKeyWithCtrlAndARecordedMacroReachTheMouseAndComeBackAfterARestart) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
select key_Op_tab
click key_4
item keyset_function_combo 6
select key_ComBox_check_1
focus keyset_keyboard_text_edit
press 0x1E
release 0x1E
unfocus keyset_keyboard_text_edit
expect keyset_keyboard_text_edit text A
click key_butt_prosave
until key_butt_prosave enabled 0
select macro_Op_tab
click macro_btn_name_add
click confirm_btn
click macro_btn_starredio
# a key held this long: the recorded delay is what is tested
press 0x1E
wait 150
release 0x1E
press 0x30
press 0x30
release 0x30
mouse press left 5000 5000
)" + kMacroOnButtonFive + R"(click key_butt_prosave
until key_butt_prosave enabled 0
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const Json::Value keys = ChosenMouseKeys();
    EXPECT_EQ(keys[4]["Assignment"].asUInt(), 0x200104u);  // A with Ctrl
    EXPECT_EQ(keys[5]["Assignment"].asUInt(), 0x700000u);  // macro 0, run once
    const Json::Value catalogue = LoadJson(folder.File("data/M470/mouse/macro.config"));
    ASSERT_EQ(catalogue["MacroInfo"].size(), 1u);
    EXPECT_EQ(catalogue["MacroInfo"][0]["MacroName"].asString(), "macro_1");
    const Json::Value macro = LoadJson(folder.File("data/M470/mouse/" + catalogue["MacroInfo"][0]["Guid"].asString() + ".mac"));
    const Json::Value& events = macro["Events"];
    // The held B counts once; the click far from the stop button is recorded, the stop click is not.
    ASSERT_EQ(events.size(), 5u) << StyledJson(macro);
    const int held = std::stoi(events[0]["Delay"].asString());
    EXPECT_GE(held, 140);
    EXPECT_LT(held, 5000);

    std::vector<uint8_t> image, table;
    for (const auto& request : Requests()) {
        if (request[3] == 0x15) image = request;
        if (request[3] == 0x09) table = request;
    }
    ASSERT_FALSE(image.empty());
    // Header, one offset (18), five events: A down with its delay, A up, B down, B up, left down.
    const std::vector<uint8_t> head{0xAA, 0x55, 16 + 6 + 20, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 18, 0, 5, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 8, image.begin() + 8 + 22), head);
    EXPECT_EQ(image[4], 16 + 6 + 20);
    const std::vector<uint8_t> first{static_cast<uint8_t>(held), static_cast<uint8_t>(held >> 8), 0x8A, 0x04};
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 30, image.begin() + 34), first);
    EXPECT_EQ(image[36], 0x0A);
    EXPECT_EQ(image[37], 0x04);
    EXPECT_EQ(image[40], 0x8A);
    EXPECT_EQ(image[41], 0x05);
    EXPECT_EQ(image[48], 0x81);
    EXPECT_EQ(image[49], 0x01);
    ASSERT_FALSE(table.empty());
    const auto functions = Functions(table);
    EXPECT_EQ(std::count(functions.begin(), functions.end(), std::array<uint8_t, 3>{0x20, 0x01, 0x04}), 1);
    EXPECT_EQ(std::count(functions.begin(), functions.end(), std::array<uint8_t, 3>{0x70, 0x00, 0x00}), 1);

    const RunResult again = Play(R"(until device_select[0] read 1
click device_select[0]
select key_Op_tab
click key_4
expect keyset_function_combo value 6
expect key_ComBox_check_1 selected 1
expect keyset_keyboard_text_edit text A
click key_5
expect keyset_function_combo value 9
expect keyset_macro_combo text macro_1
expect keyset_macro_over_combo value 0
)", "mouse");
    EXPECT_EQ(again.exitCode, 0) << again.errors;
}

TEST_F(Program, AFailedMacroWriteIsToldAndSendsNoKeyTablePointingAtIt) {
    const RunResult run = Play(R"(until device_select[0] read 1
click device_select[0]
select macro_Op_tab
click macro_btn_name_add
click confirm_btn
click macro_btn_starredio
press 0x30
release 0x30
)" + kMacroOnButtonFive + R"(virtual fail mouse 0x15
click key_butt_prosave
expect MessageText text Writing to the device failed.
click confirm_btn
# nothing is to change: time for a wrong save to act
wait 100
expect key_butt_prosave enabled 1
)", "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    // The edit is kept in the profile, but the mouse got no key table for a macro it lacks.
    const Json::Value keys = ChosenMouseKeys();
    EXPECT_EQ(keys[5]["Assignment"].asUInt(), 0x700000u);
    bool macroTried = false;
    for (const auto& request : Requests()) {
        macroTried = macroTried || request[3] == 0x15;
        if (macroTried) EXPECT_NE(request[3], 0x09);
    }
    EXPECT_TRUE(macroTried);
}


TEST_F(Program, ABulletEditedOnTheRecoilTabIsWrittenToTheMouseAndKeptForTheNextStart) {
    const std::string picture = folder.File("recoil.png");
    RunResult run = Play("until device_select[0] read 1\nclick device_select[0]\nselect recoil_Op_tab\n"
                         "select shoot_gun_op_1\nselect bullet_op_3\nexpect bullet_select_index text 4\n"
                         "text bullet_y_eidt 9\nselect bullet_y_check\ntext bullet_delay_eidt 77\n"
                         "click shootdate_save_btn\nscreenshot " + picture + "\n",
                         "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    // The file: bullet 3 of pattern 1 is elements 18 to 23.
    const Json::Value events = LoadJson(folder.File("data/M470/mouse/ShootData_1.Shoot"))["Events"];
    ASSERT_EQ(events.size(), 180u);
    EXPECT_EQ(events[21]["Button"].asInt(), 9);
    EXPECT_EQ(events[21]["Action"].asString(), "down");
    EXPECT_EQ(events[21]["Delay"].asInt(), 77);
    EXPECT_EQ(events[23]["Action"].asString(), "down");
    // The wire: the image put back together from its 0x17 chunks.
    std::vector<uint8_t> image;
    for (const auto& request : Requests()) {
        if (request[3] != 0x17) continue;
        const size_t at = static_cast<size_t>(request[5] | request[6] << 8);
        if (image.size() < at + request[4]) image.resize(at + request[4]);
        std::copy(request.begin() + 8, request.begin() + 8 + request[4], image.begin() + static_cast<long>(at));
    }
    ASSERT_EQ(image.size(), 2920u);  // four patterns of 180 events
    EXPECT_EQ(image[2] | image[3] << 8, 2920);
    const size_t pattern1 = static_cast<size_t>(image[18] | image[19] << 8);
    EXPECT_EQ(pattern1, 748u);
    const size_t event21 = pattern1 + 4 + 4 * 21;
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + static_cast<long>(event21), image.begin() + static_cast<long>(event21 + 4)),
              (std::vector<uint8_t>{77, 0, 0x85, 9}));
    EXPECT_FALSE(QImage(QString::fromStdString(picture)).isNull());
    // The next start shows the edited bullet.
    run = Play("until device_select[0] read 1\nclick device_select[0]\nselect recoil_Op_tab\nselect shoot_gun_op_1\n"
               "select bullet_op_3\nexpect bullet_y_eidt text 9\nexpect bullet_delay_eidt text 77\n"
               "expect bullet_y_check selected 1\nexpect bullet_y_check text Move up\n",
               "mouse");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
}

}  // namespace
}  // namespace m470
