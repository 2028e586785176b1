#include <gtest/gtest.h>

#include "devices/HeadsetAudioSettings.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/FakeAudioLibrary.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

using Lines = std::vector<std::string>;

class HeadsetSettings : public ::testing::Test {
protected:
    void SetUp() override { Open(R"({"Device": [{"SystemSetStages": {"EqType": 1, "MicInSelect": 1, "MicInValue": 50}}]})"); }

    void Open(const std::string& content) {
        folder.Write("HD/p.Json", content);
        profile.SetProfilePath(folder.File("HD/p.Json"));
        profile.LoadDeviceSection(folder.File("HD/p.Json"));
        settings.Load();
        fake.Reset();
        saves = changes = 0;
    }
    // The device section as the file now holds it.
    Json::Value Saved() const { return Element(Member(LoadJson(folder.File("HD/p.Json")), "Device"), 0); }
    static std::vector<int> LevelsIn(const Json::Value& list) {
        std::vector<int> levels;
        for (const Json::Value& entry : list) levels.push_back(entry["value"].asInt());
        return levels;
    }
    void AddCustom(const std::string& name, int base) {
        EqualiserLevels levels{};
        for (int i = 0; i < 10; ++i) levels[static_cast<size_t>(i)] = base + i;
        ASSERT_EQ(settings.SaveCustom(name, levels), 1);
    }

    test::TempFolder folder;
    test::FakeAudioLibrary fake;
    CHeadsetAudio audio;
    CHs6533Profiledata profile;
    int saves = 0, changes = 0;
    CHeadsetAudioSettings settings{profile, audio, [this] { ++saves; return profile.Save(); }, [this] { ++changes; }};

    void Connect() {
        audio.InitAudio(fake.Path());
        fake.Reset();
    }
};

TEST_F(HeadsetSettings, PresetThreeSendsItsLevelsAndIsStoredWithThem) {
    Connect();
    settings.SelectPreset(3);
    Lines expected{"write 1 Enable_EQ_GFX 1"};
    const int levels[] = {10, 4, 0, -3, -4, -3, -2, -1, 0, 0};
    for (int i = 0; i < 10; ++i) expected.push_back("write 1 EQ_Slider" + std::to_string(i + 1) + " " + std::to_string(levels[i]));
    EXPECT_EQ(fake.Writes(), expected);
    EXPECT_FALSE(settings.CustomMode());
    EXPECT_EQ(Saved()["SystemSetStages"]["EqType"].asInt(), 3);
    EXPECT_EQ(LevelsIn(Saved()["EQHzValueInfo"][3]), std::vector<int>(levels, levels + 10));
    EXPECT_EQ(settings.Bands(), kEqualiserPresets[2]);
    EXPECT_FALSE(settings.EqualiserRefused());

    settings.SelectPreset(0);
    settings.SelectPreset(14);
    EXPECT_EQ(fake.Writes().size(), 11u);
}

TEST_F(HeadsetSettings, PresetAnchorsAreTheFactoryLevels) {
    EXPECT_EQ(kEqualiserPresets[0], (EqualiserLevels{7, 11, 2, -3, -1, 4, 9, 12, 9, 5}));
    EXPECT_EQ(kEqualiserPresets[4], EqualiserLevels{});
    EXPECT_EQ(kEqualiserPresets[11], (EqualiserLevels{2, 1, -2, -4, -8, 4, 12, 16, 18, 15}));
    // The factory file holds the same levels as the table the panel sends.
    CHs6533Profiledata factory;
    factory.SetDefaultPath(GetDefaultProfilePath("HD"));
    factory.LoadDeviceSection(folder.File("fresh.Json"));
    for (int preset = 1; preset <= 12; ++preset) {
        const std::vector<int> stored = factory.ReadPresetBands(preset);
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), kEqualiserPresets[static_cast<size_t>(preset - 1)].begin()))
            << preset;
    }
}

TEST_F(HeadsetSettings, MovingABandSwitchesToCustomAndWritesOnlyThatBand) {
    Connect();
    AddCustom("Rock", 0);
    settings.SelectPreset(3);
    fake.Reset();
    const std::string before = folder.Read("HD/p.Json");
    settings.MoveBand(4, 9);
    EXPECT_TRUE(settings.CustomMode());
    EXPECT_EQ(settings.SelectedName(), -1);
    EXPECT_EQ(fake.Writes(), (Lines{"write 1 EQ_Slider5 9"}));
    EXPECT_EQ(settings.Bands()[4], 9);
    EXPECT_EQ(folder.Read("HD/p.Json"), before);  // not saved until the custom setting is
}

TEST_F(HeadsetSettings, CustomNamesDifferingOnlyInCaseAreRefusedAndTheLimitHolds) {
    AddCustom("Voice", 1);
    const Json::Value before = Saved();
    EXPECT_EQ(settings.SaveCustom("vOICE", EqualiserLevels{}), 0);
    EXPECT_EQ(Saved(), before);
    EXPECT_EQ(settings.Names().size(), 1u);
    for (int i = 1; i < 20; ++i) AddCustom("n" + std::to_string(i), i);
    EXPECT_EQ(settings.SaveCustom("twenty-first", EqualiserLevels{}), -1);
    EXPECT_EQ(settings.Names().size(), 20u);
    EXPECT_EQ(Saved()["CustomEQNameInfo"].size(), 20u);
    EXPECT_EQ(Saved()["SystemSetStages"]["CustomEqSeletIndex"].asInt(), 19);
}

TEST_F(HeadsetSettings, SavingWithoutANameOverwritesTheSelectedCustomSetting) {
    EXPECT_EQ(settings.SaveCustom("", EqualiserLevels{}), -1);  // nothing selected
    AddCustom("a", 0);
    AddCustom("b", 10);
    AddCustom("c", 20);
    settings.SelectCustom(2);
    EqualiserLevels mine{};
    mine.fill(-5);
    EXPECT_EQ(settings.SaveCustom("  ", mine), 1);
    EXPECT_EQ(LevelsIn(Saved()["CustomEQHzValueInfo"][2]), std::vector<int>(10, -5));
    EXPECT_EQ(LevelsIn(Saved()["CustomEQHzValueInfo"][1])[0], 10);
    EXPECT_EQ(Saved()["CustomEQNameInfo"].size(), 3u);
}

TEST_F(HeadsetSettings, DeletingTheFirstOfThreeKeepsEachOthersLevels) {
    Connect();
    AddCustom("a", 0);
    AddCustom("b", 10);
    AddCustom("c", 20);
    settings.SelectCustom(0);
    fake.Reset();
    settings.DeleteCustom(settings.SelectedName());
    EXPECT_EQ(settings.Names(), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(settings.SelectedName(), 0);
    EXPECT_EQ(settings.Bands()[0], 10);
    EXPECT_EQ(LevelsIn(Saved()["CustomEQHzValueInfo"][1])[9], 29);
    EXPECT_EQ(Saved()["CustomEQNameInfo"][0]["Name"].asString(), "b");
    EXPECT_TRUE(fake.Writes().empty());  // the sound follows at the next choice
}

TEST_F(HeadsetSettings, DeletingTheOnlyCustomSettingReturnsToPresetOne) {
    AddCustom("only", 3);
    settings.SelectPreset(13);
    settings.DeleteCustom(0);
    EXPECT_EQ(settings.Stages().eqType, 1);
    EXPECT_FALSE(settings.CustomMode());
    EXPECT_EQ(settings.Bands(), EqualiserLevels{});  // preset 1 as this profile stores it (none: zeros)
    EXPECT_TRUE(Saved()["CustomEQNameInfo"].isArray());
    EXPECT_EQ(Saved()["CustomEQNameInfo"].size(), 0u);
    EXPECT_EQ(Saved()["SystemSetStages"]["EqType"].asInt(), 1);
    settings.DeleteCustom(0);  // nothing left: nothing happens
    EXPECT_EQ(settings.SelectedName(), -1);
}

TEST_F(HeadsetSettings, VoiceChangerWritesAndStoresEvenWhenRefused) {
    Connect();
    settings.SelectVoiceEffect(3);
    settings.ToggleVoiceChanger(true);
    settings.SelectVoiceEffect(0);
    EXPECT_EQ(fake.Writes(), (Lines{"write 2 MagicVoice_Selection 2", "write 2 Enable_MAGICVOICE 1",
                                    "write 2 Enable_MICECHO 0"}));
    EXPECT_EQ(Saved()["SystemSetStages"]["MagicType"].asInt(), 3);
    EXPECT_EQ(Saved()["SystemSetStages"]["MagicEnable"].asInt(), 1);
    EXPECT_FALSE(settings.VoiceChangerRefused());
    fake.Fail("Enable_MAGICVOICE", kOsConfWrite);
    settings.ToggleVoiceChanger(false);
    EXPECT_TRUE(settings.VoiceChangerRefused());
    EXPECT_EQ(Saved()["SystemSetStages"]["MagicEnable"].asInt(), 0);

    // A chip without the voice changer feature: stored, told as not applied.
    fake.Reset();
    fake.Set("GetSupportFeature@2", "3,0,0,0,0,0,0");
    audio.ChooseEndpoints();
    settings.SelectVoiceEffect(1);
    EXPECT_TRUE(settings.VoiceChangerRefused());
}

TEST_F(HeadsetSettings, MicrophoneAndMonitorAreStoredOnlyWhenTheLibraryTakesThem) {
    Connect();
    settings.SetMicLevel(37);
    EXPECT_EQ(fake.Writes(), (Lines{"write 2 VolumeScalarControl 0.37 -1"}));
    EXPECT_EQ(Saved()["SystemSetStages"]["MicInValue"].asInt(), 37);
    settings.ToggleMicMute();
    EXPECT_EQ(fake.Writes().back(), "write 2 MuteControl 1");
    EXPECT_EQ(Saved()["SystemSetStages"]["MicInSelect"].asInt(), 0);
    settings.ToggleMonitorMute();
    EXPECT_EQ(fake.Writes().back(), "write 2 AAMuteControl 0");  // muted in the profile: the toggle turns it on
    EXPECT_EQ(Saved()["SystemSetStages"]["MicMoniterSelect"].asInt(), 1);

    fake.Fail("VolumeScalarControl", kOsConfWrite);
    fake.Fail("AAVolumeScalarControl", kOsConfWrite);
    const int changesBefore = changes;
    settings.SetMicLevel(80);
    settings.SetMonitorLevel(80);
    EXPECT_EQ(settings.Stages().micInValue, 37);
    EXPECT_EQ(Saved()["SystemSetStages"]["MicInValue"].asInt(), 37);
    EXPECT_EQ(Saved()["SystemSetStages"]["MicMoniterValue"].asInt(), 0);
    EXPECT_EQ(changes, changesBefore + 2);  // the panel is told to show the kept values
}

TEST_F(HeadsetSettings, WithoutTheLibraryEditsAreStoredAndTheEqualiserIsMarkedRefused) {
    settings.SelectPreset(5);
    EXPECT_TRUE(settings.EqualiserRefused());
    EXPECT_EQ(Saved()["SystemSetStages"]["EqType"].asInt(), 5);
    settings.SetMicLevel(37);
    EXPECT_EQ(settings.Stages().micInValue, 50);
    EXPECT_TRUE(fake.Log().empty());
}

TEST_F(HeadsetSettings, LoadReadsTheLevelsOfTheStoredChoice) {
    Open(R"({"Device": [{"SystemSetStages": {"EqType": 13, "CustomEqSeletIndex": 1},
             "CustomEQNameInfo": [{"Name": "x"}, {"Name": "y"}],
             "CustomEQHzValueInfo": [[{"value": 1}], [{"value": 2}, {"value": 3}]]}]})");
    EXPECT_TRUE(settings.CustomMode());
    EXPECT_EQ(settings.Bands()[1], 3);
    EXPECT_EQ(settings.SelectedName(), 1);
    Open(R"({"Device": [{"SystemSetStages": {"EqType": 13, "CustomEqSeletIndex": -7},
             "CustomEQNameInfo": [{"Name": "x"}]}]})");
    EXPECT_EQ(settings.Bands(), EqualiserLevels{});
    EXPECT_EQ(settings.SelectedName(), -1);
    Open(R"({"Device": [{"SystemSetStages": {"EqType": 20}, "EQHzValueInfo": [[], [{"value": 6}]]}]})");
    EXPECT_EQ(settings.Bands()[0], 6);

    AudioReadings readings;
    readings.micInValue = 29;
    readings.magicType = 3;
    settings.TakeReadings(readings);
    EXPECT_EQ(settings.Stages().micInValue, 29);
    EXPECT_EQ(settings.Stages().magicType, 3);
    EXPECT_EQ(settings.Stages().eqType, 20);  // left as read
}

}  // namespace
}  // namespace m470
