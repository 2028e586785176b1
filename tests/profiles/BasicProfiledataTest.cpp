#include <gtest/gtest.h>

#include <filesystem>

#include "profiles/BasicProfiledata.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

const char* kDefaultFile = R"({
  "Device": [ {
    "LightInfo": { "SelectItem": 1, "Light": 3, "Speed": 2, "Fx": 0, "MultiColor": 1,
                   "Red": 255, "Green": 10, "Blue": 20, "ZZCCLedMode": 4, "CustomGroup": 5, "OldLedmode": 6 },
    "KeyList": [ { "Assignment": 1049090, "DefaultAssignment": 0 },
                 { "Assignment": 1, "DefaultAssignment": 2 },
                 { "Assignment": 3, "DefaultAssignment": 4 },
                 { "Assignment": 5, "DefaultAssignment": 6 },
                 { "Assignment": 7, "DefaultAssignment": 8 } ]
  } ]
})";

class ProfileDocument : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Write("DefaultData/mouse.Json", kDefaultFile);
        document.SetDeviceIndex(0);
        document.SetDefaultPath(folder.File("DefaultData/mouse.Json"));
        document.SetProfilePath(Profile());
    }
    std::string Profile() const { return folder.File("mouse/p1.Json"); }

    test::TempFolder folder;
    CBasicProfiledata document;
};

TEST_F(ProfileDocument, MissingProfileIsCreatedFromTheDefaultSection) {
    std::filesystem::create_directories(folder.File("mouse"));
    const Json::Value section = document.LoadDeviceSection(Profile());
    const Json::Value defaults = LoadJson(folder.File("DefaultData/mouse.Json"));
    EXPECT_EQ(section, defaults["Device"][0]);
    Json::Value expected;
    expected["Device"][0] = defaults["Device"][0];
    EXPECT_EQ(LoadJson(Profile()), expected);
    EXPECT_EQ(folder.Read("mouse/p1.Json"), StyledJson(expected));
}

TEST_F(ProfileDocument, NameAndIdentifierSurviveWhenTheSectionIsAdded) {
    folder.Write("mouse/p1.Json", R"({"profilename": "Ünder", "profileUUID": "2021_08_01_09_05_07_042"})");
    document.LoadDeviceSection(Profile());
    const Json::Value file = LoadJson(Profile());
    EXPECT_EQ(file["profilename"].asString(), "Ünder");
    EXPECT_EQ(file["profileUUID"].asString(), "2021_08_01_09_05_07_042");
    EXPECT_EQ(file["Device"][0]["LightInfo"]["Red"].asInt(), 255);
    EXPECT_FALSE(std::filesystem::exists(Profile() + ".bad"));
}

TEST_F(ProfileDocument, UnreadableProfileIsKeptAsBadCopyBeforeItIsReplaced) {
    folder.Write("mouse/p1.Json", "{ \"profilename\": \"mine\", broken");
    document.LoadDeviceSection(Profile());
    EXPECT_EQ(folder.Read("mouse/p1.Json.bad"), "{ \"profilename\": \"mine\", broken");
    EXPECT_EQ(LoadJson(Profile())["Device"][0]["LightInfo"]["Blue"].asInt(), 20);

    folder.Write("mouse/p1.Json", "[1, 2, 3]");  // valid JSON but no document
    document.LoadDeviceSection(Profile());
    EXPECT_EQ(folder.Read("mouse/p1.Json.bad"), "[1, 2, 3]");  // the newest one
    EXPECT_TRUE(LoadJson(Profile()).isObject());
}

TEST_F(ProfileDocument, MissingDefaultLeavesANullSectionAndZeroReads) {
    document.SetDefaultPath(folder.File("DefaultData/none.Json"));
    std::filesystem::create_directories(folder.File("mouse"));
    EXPECT_TRUE(document.LoadDeviceSection(Profile()).isNull());
    EXPECT_EQ(document.ReadLightInfo(), LightInfo{});
    EXPECT_TRUE(document.ReadKeyList().empty());
    EXPECT_TRUE(document.ReadLightList().empty());
    EXPECT_EQ(document.ReadAudioLightInfo(), AudioLightInfo{});
    EXPECT_TRUE(LoadJson(Profile())["Device"][0].isNull());
    EXPECT_EQ(LoadJson(Profile())["Device"].size(), 1u);
}

TEST_F(ProfileDocument, LightInfoKeepsLowBytesAndDropsTheUnstoredBytes) {
    folder.Write("mouse/p1.Json", R"({"Device": [{"LightInfo": {"SelectItem": 300, "MultiColor": 5, "Red": "x"}}]})");
    document.LoadDeviceSection(Profile());
    LightInfo info = document.ReadLightInfo();
    EXPECT_EQ(info.selectItem, 44);
    EXPECT_EQ(info.multiColor, 1);
    EXPECT_EQ(info.red, 0);

    LightInfo written;
    written.selectItem = 7;
    written.light = 4;
    written.multiColor = 9;
    written.blue = 200;
    written.extra = {1, 2, 3};
    written.zzccLedMode = 11;
    written.customGroup = 12;
    written.oldLedmode = 13;
    document.WriteLightInfo(written);
    ASSERT_TRUE(document.Save());
    EXPECT_EQ(document.Section()["LightInfo"]["MultiColor"].asInt(), 1);
    EXPECT_EQ(document.Section()["LightInfo"].size(), 11u);

    CBasicProfiledata reloaded;
    reloaded.LoadDeviceSection(Profile());
    LightInfo read = reloaded.ReadLightInfo();
    LightInfo expected = written;
    expected.multiColor = 1;
    expected.extra = {0, 0, 0};
    EXPECT_EQ(read, expected);
}

TEST_F(ProfileDocument, LightInfoWordsAreLittleEndian) {
    LightInfo info = LightInfo::FromBytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    EXPECT_EQ(info.Words(), (std::array<uint32_t, 3>{0x04030201, 0x08070605, 0x0C0B0A09}));
    EXPECT_EQ(info.HalfWord(), 0x0E0D);
    EXPECT_EQ(LightInfo::FromWords(info.Words(), info.HalfWord()), info);
}

TEST_F(ProfileDocument, AudioLightInfoRoundTripsWithFlagsAsBooleans) {
    document.LoadDeviceSection(Profile());
    AudioLightInfo info{5, 1, 2, 3, 4, 5, 6, 7, 0};
    document.WriteAudioLightInfo(info);
    EXPECT_EQ(document.Section()["AudioLightInfo"]["7ColorFlags"].asInt(), 7);  // written as integer
    AudioLightInfo read = document.ReadAudioLightInfo();
    info.sevenColorFlags = 1;
    EXPECT_EQ(read, info);
}

TEST_F(ProfileDocument, KeyListUnpacksAndWritesOnlyAssignments) {
    document.LoadDeviceSection(Profile());
    std::vector<KeyAssignmentPair> keys = document.ReadKeyList();
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].current, (KeyAssignment{0, 0x10, 0x02, 0x02, 0}));
    EXPECT_EQ(keys[4].defaults, (KeyAssignment{4, 0, 0, 8, 0}));

    std::vector<KeyAssignmentPair> three(keys.begin(), keys.begin() + 3);
    for (auto& pair : three) pair.current = {pair.current.code, 0x20, 0x01, 0x04, 0};
    document.WriteKeyList(three);
    const Json::Value& list = document.Section()["KeyList"];
    for (Json::ArrayIndex i = 0; i < 3; ++i) EXPECT_EQ(list[i]["Assignment"].asUInt(), 0x200104u);
    EXPECT_EQ(list[3]["Assignment"].asInt(), 5);
    EXPECT_EQ(list[4]["Assignment"].asInt(), 7);
    for (Json::ArrayIndex i = 0; i < 5; ++i)
        EXPECT_EQ(list[i]["DefaultAssignment"].asInt(), keys[i].defaults.param2 | keys[i].defaults.param1 << 8);

    std::vector<KeyAssignmentPair> seven(7);
    seven[6].current = {6, 0x70, 1, 2, 0};
    document.WriteKeyList(seven);
    EXPECT_EQ(document.Section()["KeyList"].size(), 7u);
    EXPECT_EQ(document.Section()["KeyList"][6]["Assignment"].asUInt(), 0x700102u);
}

TEST_F(ProfileDocument, SecondarySectionLeavesTheCurrentOneAlone) {
    document.LoadDeviceSection(Profile());
    folder.Write("mouse/p2.Json", R"({"profilename": "two", "Device": [{"KeyList": [{"Assignment": 9}]}]})");
    document.LoadSecondarySection(folder.File("mouse/p2.Json"));
    auto secondary = document.ReadSecondaryKeyList();
    ASSERT_EQ(secondary.size(), 1u);
    secondary[0].current = {0, 0x20, 0, 0x04, 0};
    document.WriteSecondaryKeyList(secondary);
    ASSERT_TRUE(document.SaveSecondaryTo(folder.File("mouse/p2.Json")));
    const Json::Value two = LoadJson(folder.File("mouse/p2.Json"));
    EXPECT_EQ(two["profilename"].asString(), "two");
    EXPECT_EQ(two["Device"][0]["KeyList"][0]["Assignment"].asUInt(), 0x200004u);
    EXPECT_EQ(document.ReadKeyList().size(), 5u);
}

TEST_F(ProfileDocument, LightListMarksNullElementsInvalid) {
    folder.Write("mouse/p1.Json", R"({"Device": [{"LightList": [
        {"LEDREGMode": 2, "LEDBrightness": 3, "LEDSpeed": 4, "LEDDirection": 7, "LEDMultiColor": true,
         "red": 1, "green": 2, "blue": 3}, null]}]})");
    document.LoadDeviceSection(Profile());
    const auto list = document.ReadLightList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], (LightListEntry{2, 3, 4, 1, 1, 1, 2, 3, {0, 0}, 1}));
    EXPECT_EQ(list[1], LightListEntry{});
}

TEST_F(ProfileDocument, CustomEffectsComeFromTheCatalogueEntryOfTheSelectedMode) {
    folder.Write("mouse/kestro_light.config", R"({"LightInfo": [[{"LightName": "a", "Guid": "first"},
                                                                 {"LightName": "b", "Guid": "second"}]]})");
    folder.Write("mouse/second.light", R"({"LEDEffectList": [
        {"LEDREGMode": 1, "LEDBrightness": 2, "LEDSpeed": 3, "LEDDirection": 0, "LEDMultiColor": 0,
         "red": 10, "green": 20, "blue": 30, "Time": 70000, "Cyle": 3}]})");
    folder.Write("mouse/p1.Json", R"({"Device": [{"LightInfo": {"SelectItem": 1}}]})");
    document.SetLightCataloguePath(folder.File("mouse/kestro_light.config"));
    document.LoadDeviceSection(Profile());
    document.ReadLightInfo();
    document.LoadLightCatalogue(document.GetLightCataloguePath());
    const auto effects = document.ReadCustomEffects();
    ASSERT_EQ(effects.size(), 1u);
    ASSERT_EQ(effects[0].size(), 1u);
    EXPECT_EQ(effects[0][0], (LedEffectStep{1, 2, 3, 0, 0, 10, 20, 30, 70000, 3}));

    // The first entry's effect file is missing: no lists, not the previous ones.
    LightInfo first = document.ReadLightInfo();
    first.selectItem = 0;
    document.WriteLightInfo(first);
    EXPECT_TRUE(document.ReadCustomEffects().empty());
    // Nor without a catalogue.
    first.selectItem = 1;
    document.WriteLightInfo(first);
    ASSERT_EQ(document.ReadCustomEffects().size(), 1u);
    document.LoadLightCatalogue(folder.File("mouse/missing.config"));
    EXPECT_TRUE(document.ReadCustomEffects().empty());
}

TEST_F(ProfileDocument, SaveKeepsOtherMembersAndFailsVisiblyWithoutAPath) {
    folder.Write("mouse/p1.Json", R"({"profilename": "n", "extra": [1], "Device": [{"LightInfo": {}}]})");
    document.LoadDeviceSection(Profile());
    document.WriteLightInfo(LightInfo{});
    ASSERT_TRUE(document.Save());
    const Json::Value file = LoadJson(Profile());
    EXPECT_EQ(file["extra"][0].asInt(), 1);
    EXPECT_EQ(file["profilename"].asString(), "n");

    document.SetProfilePath("");
    EXPECT_FALSE(document.Save());
    document.SetDefaultPath("");
    EXPECT_EQ(document.GetDefaultPath(), folder.File("DefaultData/mouse.Json"));
}

}  // namespace
}  // namespace m470
