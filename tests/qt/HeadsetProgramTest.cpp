// The virtual headset's page end to end: a preset and a microphone volume go
// to the stand-in audio library and into the profile, and come back after a
// restart.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/JsonFile.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

std::vector<std::string> LinesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(HeadsetProgram, PresetAndMicrophoneVolumeReachTheLibraryAndTheProfileAndSurviveARestart) {
    test::TempFolder folder(false);
    const QString runtime = QString::fromStdString(folder.Path());
    const std::vector<std::pair<QString, QString>> library{
        {"M470_FAKE_OSCONF_LOG", QString::fromStdString(folder.File("osconf.log"))},
        {"M470_FAKE_OSCONF_STATE", QString::fromStdString(folder.File("osconf.state"))}};
    folder.Write("first.script", R"(until device_select[1] read 1
click device_select[1]
until hs6533_device_key_light visible 1
click 6533_voice_Op_tab
expect Voice6533ControlItem visible 1
click 6533_eq_option_5
value 6533_MicIn_slider 37
until 6533_eq_option_5 selected 1
until hs_mic_value_label text 37
expect custom_eq_option_layout enabled 0
expect hs_eq_not_applied_label visible 0
)");
    const auto first = test::RunProgram({"--script", QString::fromStdString(folder.File("first.script"))}, runtime,
                                        "mouse,headset", library);
    ASSERT_EQ(first.exitCode, 0) << first.err;

    const auto log = LinesOf(folder.File("osconf.log"));
    ASSERT_TRUE(Has(log, "ConfLibInit")) << "the stand-in library was not loaded";
    std::vector<std::string> writes;
    for (const std::string& line : log)
        if (line.rfind("write ", 0) == 0 && line.find("EQ_") == std::string::npos && line.find("Volume") != std::string::npos) writes.push_back(line);
    EXPECT_EQ(writes, (std::vector<std::string>{"write 2 VolumeScalarControl 0.37 -1"}));
    const auto eq = std::find(log.begin(), log.end(), "write 1 Enable_EQ_GFX 1");
    ASSERT_NE(eq, log.end());
    for (int band = 1; band <= 10; ++band)  // preset 5 is flat
        EXPECT_TRUE(Has(log, "write 1 EQ_Slider" + std::to_string(band) + " 0")) << band;

    // The profile the strip made holds them.
    const Json::Value list = LoadJson(folder.File("data/M470/HD/ProfileList.ini"));
    const std::string id = list["profilelist"][0]["profileUUID"].asString();
    const Json::Value device = LoadJson(folder.File("data/M470/HD/" + id + ".Json"))["Device"][0];
    EXPECT_EQ(device["SystemSetStages"]["EqType"].asInt(), 5);
    EXPECT_EQ(device["SystemSetStages"]["MicInValue"].asInt(), 37);
    EXPECT_EQ(device["EQHzValueInfo"][5].size(), 10u);

    folder.Write("second.script", R"(until device_select[1] read 1
click device_select[1]
until hs6533_device_key_light visible 1
click 6533_voice_Op_tab
until 6533_eq_option_5 selected 1
until 6533_MicIn_slider value 37
expect hs_mic_value_label text 37
expect 6533_eq_hz_slider_1 value 0
click magic_Op_tab
click magic_enable_option
click magic_option_3
until magic_option_layout enabled 1
)");
    const auto second = test::RunProgram({"--script", QString::fromStdString(folder.File("second.script"))}, runtime,
                                         "mouse,headset", library);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    const auto after = LinesOf(folder.File("osconf.log"));
    EXPECT_TRUE(Has(after, "write 2 Enable_MAGICVOICE 1"));
    EXPECT_TRUE(Has(after, "write 2 MagicVoice_Selection 2"));
}

TEST(HeadsetProgram, WithoutItsLibraryThePageStillWorksAndSaysTheEqualiserIsNotApplied) {
    test::TempFolder folder(false);
    // An install folder without the library: a copy of the program beside skin and data only.
    folder.Write("run.script", R"(until device_select[1] read 1
click device_select[1]
until hs6533_device_key_light visible 1
click 6533_voice_Op_tab
click 6533_eq_option_3
until 6533_eq_option_3 selected 1
until hs_eq_not_applied_label visible 1
)");
    const auto run = test::RunProgram({"--script", QString::fromStdString(folder.File("run.script"))},
                                      QString::fromStdString(folder.Path()), "mouse,headset",
                                      {{"M470_AUDIO_LIBRARY", QString::fromStdString(folder.File("none/libosconf.so"))}});
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

}  // namespace
}  // namespace m470
