// The keyboard page end to end: the program against the virtual keyboard,
// driven by a script, then the profile file, the traffic and a second start.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/JsonFile.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

// The requests of the trace ("命令" and its two dump lines), as bytes.
std::vector<std::vector<uint8_t>> TracedRequests(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::vector<uint8_t>> requests;
    std::string line;
    while (std::getline(file, line)) {
        if (line.find("命令") == std::string::npos) continue;
        std::vector<uint8_t> bytes;
        for (int half = 0; half < 2 && std::getline(file, line); ++half) {
            std::istringstream hex(line);
            std::string pair;
            while (hex >> pair) bytes.push_back(static_cast<uint8_t>(std::stoi(pair, nullptr, 16)));
        }
        requests.push_back(bytes);
    }
    return requests;
}

TEST(KeyboardPage, RepeatDelayAndAKeysColourReachProfileAndDeviceAndComeBack) {
    test::TempFolder folder(false);
    const QString runtime = QString::fromStdString(folder.Path());
    folder.Write("change.script", R"(until device_select_name[1] text Keyboard
until device_select[1] read 1
click device_select[1]
until keyboard_device_key_light visible 1
select system_Op_tab
select repeat_delay_check_3
expect repeat_delay_time_label1 text Repeat delay: 1000ms
select deng_Op_tab
item light_combo_modeSelect 20
until light_combo_modeSelect value 20
click key_43
# the device memory is read again after a new plug
virtual unplug keyboard
until device_select[1] read 0
virtual plug keyboard
until device_select[1] read 1
click device_select[1]
until light_combo_modeSelect value 20
until repeat_delay_check_3 selected 1
quit
)");
    const std::string log = folder.File("trace.log");
    const test::ProgramOutcome change = test::RunProgram({"--script", QString::fromStdString(folder.File("change.script"))}, runtime,
                                            "keyboard", {{"M470_DEBUG_LOG", QString::fromStdString(log)}});
    ASSERT_EQ(change.exitCode, 0) << change.err;

    const std::string profiles = folder.Path() + "/data/M470/keyboard/";
    bool found = false;
    for (const auto& entry : std::filesystem::directory_iterator(profiles)) {
        const std::string path = entry.path().string();
        if (path.size() < 5 || path.substr(path.size() - 5) != ".Json") continue;
        const Json::Value device = LoadJson(path)["Device"][0];
        if (device["SystemStages"]["RepeatDelay"].asInt() != 3) continue;
        found = true;
        // Q takes the colour the keyboard's record holds (0, 128, 255).
        const Json::Value& q = device["CustomLightMode"]["LightColorInfo"][0][43];
        EXPECT_EQ(q["Red"].asInt(), 0) << path;
        EXPECT_EQ(q["Green"].asInt(), 128);
        EXPECT_EQ(q["Blue"].asInt(), 255);
        EXPECT_EQ(device["LightInfo"]["SelectItem"].asInt(), 20);
    }
    EXPECT_TRUE(found);

    // On the wire: the colour page of group 0 with Q's colour at its LED
    // position (88 × 3 = 264: the chunk at 224, data byte 40).
    bool painted = false;
    for (const auto& request : TracedRequests(log))
        painted = painted || (request.size() == 64 && request[3] == 0x0B && request[5] == 224 && request[6] == 0 &&
                              request[8 + 40] == 0 && request[8 + 41] == 128 && request[8 + 42] == 255);
    EXPECT_TRUE(painted);

    // A second start shows the delay kept in the profile.
    folder.Write("again.script", R"(until device_select_name[1] text Keyboard
until device_select[1] read 1
click device_select[1]
until repeat_delay_check_3 selected 1
expect repeat_delay_time_label1 text Repeat delay: 1000ms
quit
)");
    const test::ProgramOutcome again =
        test::RunProgram({"--script", QString::fromStdString(folder.File("again.script"))}, runtime, "keyboard");
    EXPECT_EQ(again.exitCode, 0) << again.err;
}


TEST(KeyboardPage, AFlagTheKeyboardDidNotTakeIsToldAndAResetWritesTheColourPage) {
    test::TempFolder folder(false);
    const QString runtime = QString::fromStdString(folder.Path());
    folder.Write("fail.script", R"(until device_select_name[1] text Keyboard
until device_select[1] read 1
click device_select[1]
until keyboard_device_key_light visible 1
select system_Op_tab
virtual fail keyboard 0x06
click 6flag_option
expect MessageText text Writing to the device failed.
click confirm_btn
# the next write goes through
click wflag_option
until wflag_option selected 1
click device_reset_btn
click confirm_btn
# the factory setting is back on the page
until wflag_option selected 0
quit
)");
    const std::string log = folder.File("trace.log");
    const test::ProgramOutcome run = test::RunProgram({"--script", QString::fromStdString(folder.File("fail.script"))}, runtime,
                                                      "keyboard", {{"M470_DEBUG_LOG", QString::fromStdString(log)}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Two settings records tried, the first refused; the reset then wrote
    // the records again and the colour page of group 0 (n × 3 bytes from 0).
    int records = 0;
    size_t pageBytes = 0;
    bool afterReset = false;
    for (const auto& request : TracedRequests(log)) {
        if (request.size() != 64) continue;
        records += request[3] == 0x06 ? 1 : 0;
        afterReset = afterReset || records > 2;
        if (afterReset && request[3] == 0x0B) pageBytes += request[4];
    }
    EXPECT_GE(records, 3);
    EXPECT_EQ(pageBytes, 126u * 3);
}


// Same mode needs a second device: the keyboard's button follows the mouse
// coming and going while its page is shown.
TEST(KeyboardPage, TheSameModeButtonFollowsASecondDeviceArrivingAndLeaving) {
    test::TempFolder folder(false);
    folder.Write("same.script", R"(until device_select_name[1] text Keyboard
until device_select[1] read 1
click device_select[1]
until keyboard_device_key_light visible 1
item light_combo_modeSelect 5
until light_combo_modeSelect value 5
expect deng_same_mode visible 0
virtual plug mouse
until deng_same_mode visible 1
virtual unplug mouse
until deng_same_mode visible 0
quit
)");
    const test::ProgramOutcome run = test::RunProgram({"--script", QString::fromStdString(folder.File("same.script"))},
                                                      QString::fromStdString(folder.Path()), "keyboard");
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

}  // namespace
}  // namespace m470
