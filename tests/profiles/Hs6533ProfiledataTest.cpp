#include <gtest/gtest.h>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "profiles/Hs6533Block.h"
#include "profiles/Hs6533Profiledata.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class HeadsetDocument : public ::testing::Test {
protected:
    void Load(const std::string& content) {
        folder.Write("p.Json", content);
        document.SetProfilePath(folder.File("p.Json"));
        document.LoadDeviceSection(folder.File("p.Json"));
    }
    test::TempFolder folder;
    CHs6533Profiledata document;
};

using Levels = std::vector<int>;

TEST_F(HeadsetDocument, AudioSettingsReadAsZeroWithoutTheirObjectAndAreWrittenWhole) {
    Load(R"({"Device": [{}]})");
    EXPECT_EQ(document.ReadSystemSetStages(), SystemSetStages{});
    Load(R"({"Device": [{"SystemSetStages": {"EqType": 5, "MicInValue": 37, "MagicType": "x"}}]})");
    SystemSetStages stages = document.ReadSystemSetStages();
    EXPECT_EQ(stages.eqType, 5);
    EXPECT_EQ(stages.micInValue, 37);
    EXPECT_EQ(stages.magicType, 0);
    EXPECT_EQ(stages.micMoniterSelect, 0);

    stages = {1, 4, 13, 2, 1, 55, 0, 66};
    document.WriteSystemSetStages(stages);
    EXPECT_EQ(document.ReadSystemSetStages(), stages);
    const Json::Value& object = document.Section()["SystemSetStages"];
    EXPECT_EQ(object.size(), 8u);
    EXPECT_EQ(object["CustomEqSeletIndex"].asInt(), 2);
    EXPECT_EQ(object["MicMoniterValue"].asInt(), 66);
    ASSERT_TRUE(document.Save());
    CHs6533Profiledata reloaded;
    reloaded.LoadDeviceSection(folder.File("p.Json"));
    EXPECT_EQ(reloaded.ReadSystemSetStages(), stages);
}

TEST_F(HeadsetDocument, PresetNumbersOutsideTheListReadPresetOneAndMissingBandsAreCreated) {
    Load(R"({"Device": [{"EQHzValueInfo": [[], [{"value": 7}, {"value": 11}], [{"value": -3}]]}]})");
    const Levels one{7, 11, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(document.ReadPresetBands(1), one);
    EXPECT_EQ(document.ReadPresetBands(0), one);
    EXPECT_EQ(document.ReadPresetBands(20), one);
    EXPECT_EQ(document.ReadPresetBands(-4), one);  // a negative preset from an imported profile
    EXPECT_EQ(document.ReadPresetBands(2), (Levels{-3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(document.ReadPresetBands(13).empty());
    const Json::Value& stored = document.Section()["EQHzValueInfo"];
    EXPECT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[1].size(), 10u);
    EXPECT_EQ(stored[1][9]["value"].asInt(), 0);

    const int preset[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    document.WritePresetBands(5, preset);
    document.WritePresetBands(13, preset);  // the custom preset has no stored levels
    EXPECT_EQ(document.ReadPresetBands(5), (Levels{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(document.Section()["EQHzValueInfo"].size(), 6u);
}

TEST_F(HeadsetDocument, CustomIndexesOutsideTheListGiveZerosAndCreateNothing) {
    Load(R"({"Device": [{"CustomEQNameInfo": [{"Name": "a"}, {"Name": "b"}],
                         "CustomEQHzValueInfo": [[{"value": 4}]]}]})");
    const Json::Value before = document.Section();
    const Levels zeros(10, 0);
    EXPECT_EQ(document.ReadCustomBands(-1), zeros);
    EXPECT_EQ(document.ReadCustomBands(2), zeros);
    EXPECT_EQ(document.ReadCustomBands(2000000000), zeros);
    EXPECT_EQ(document.Section(), before);
    // Index 1 has a name but no levels yet: created as zeros.
    EXPECT_EQ(document.ReadCustomBands(1), zeros);
    EXPECT_EQ(document.Section()["CustomEQHzValueInfo"].size(), 2u);
    EXPECT_EQ(document.ReadCustomBands(0), (Levels{4, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    const int levels[] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    document.WriteCustomBands(20, levels);
    document.WriteCustomBands(-1, levels);
    EXPECT_EQ(document.Section()["CustomEQHzValueInfo"].size(), 2u);
}

TEST_F(HeadsetDocument, RemovingACustomEqualiserKeepsTheOthersLevels) {
    Load(R"({"Device": [{}]})");
    for (int k = 0; k < 3; ++k) {
        const int levels[] = {k, k, k, k, k, k, k, k, k, k + 10};
        document.WriteCustomBands(k, levels);
    }
    document.WriteCustomNames({"Bass", "Voix ÉÀ", "低音"});
    document.RemoveCustomBands(0);
    document.RemoveCustomBands(7);  // nothing there
    EXPECT_EQ(document.ReadCustomBands(0), (Levels{1, 1, 1, 1, 1, 1, 1, 1, 1, 11}));
    EXPECT_EQ(document.ReadCustomBands(1), (Levels{2, 2, 2, 2, 2, 2, 2, 2, 2, 12}));
    ASSERT_TRUE(document.Save());
    CHs6533Profiledata reloaded;
    reloaded.LoadDeviceSection(folder.File("p.Json"));
    EXPECT_EQ(reloaded.ReadCustomNames(), (std::vector<std::string>{"Bass", "Voix ÉÀ", "低音"}));
    reloaded.WriteCustomNames({});
    EXPECT_TRUE(reloaded.Section()["CustomEQNameInfo"].isArray());
    EXPECT_TRUE(reloaded.ReadCustomNames().empty());
}

TEST_F(HeadsetDocument, FactoryFileHoldsTheTwelvePresets) {
    CHs6533Profiledata factory;
    factory.SetDefaultPath(GetDefaultProfilePath("HD"));
    factory.LoadDeviceSection(folder.File("new.Json"));  // a missing profile is filled from the factory file
    EXPECT_EQ(factory.ReadPresetBands(1), (Levels{7, 11, 2, -3, -1, 4, 9, 12, 9, 5}));
    EXPECT_EQ(factory.ReadPresetBands(6), (Levels{7, 14, -13, -6, -1, 8, 13, 7, 2, 6}));
    EXPECT_EQ(factory.ReadPresetBands(10), (Levels{-3, 4, 10, 0, -11, 3, 9, 13, 6, 0}));
    EXPECT_EQ(factory.ReadPresetBands(12), (Levels{2, 1, -2, -4, -8, 4, 12, 16, 18, 15}));
    const SystemSetStages stages = factory.ReadSystemSetStages();
    EXPECT_EQ(stages.eqType, 1);
    EXPECT_EQ(stages.magicType, 1);
    EXPECT_TRUE(factory.ReadCustomNames().empty());
    EXPECT_EQ(Member(factory.Section(), "LightList").size(), 13u);
}

TEST(HeadsetBlock, TranslationIsMadeOnTheOutgoingCopyOnly) {
    const uint8_t codes[] = {0, 2, 4};
    Hs6533Block kept{};
    kept[hs6533_block::kMode] = 1;
    kept[hs6533_block::kSpeed] = 1;
    kept[20] = 0x5A;
    const Hs6533Block first = OutgoingBlock(kept, codes);
    EXPECT_EQ(first[hs6533_block::kMode], 2);
    EXPECT_EQ(first[hs6533_block::kSpeed], 3);
    EXPECT_EQ(first[20], 0x5A);
    EXPECT_EQ(kept[hs6533_block::kMode], 1);  // the kept block still holds the index
    EXPECT_EQ(OutgoingBlock(kept, codes), first);

    kept[hs6533_block::kMode] = 9;  // beyond the list: sent unchanged
    kept[hs6533_block::kSpeed] = 7;
    EXPECT_EQ(OutgoingBlock(kept, codes)[hs6533_block::kMode], 9);
    EXPECT_EQ(OutgoingBlock(kept, codes)[hs6533_block::kSpeed], 0);

    const uint8_t identity[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    kept[hs6533_block::kMode] = 6;
    kept[hs6533_block::kSpeed] = 2;
    std::array<uint8_t, hs6533_block::kRead> read{};
    const Hs6533Block out = OutgoingBlock(kept, identity);
    std::copy(out.begin(), out.end(), read.begin());
    EXPECT_EQ(IncomingBlock(read, 0, identity), kept);  // a write read back is the same block
}

TEST(HeadsetBlock, ReadTakesTheProfileIndexModeIndexAndUserSpeed) {
    const uint8_t codes[] = {0, 2, 4};
    std::array<uint8_t, hs6533_block::kRead> read{};
    for (size_t i = 0; i < read.size(); ++i) read[i] = static_cast<uint8_t>(0xA0 + i);
    read[hs6533_block::kMode] = 4;
    read[hs6533_block::kSpeed] = 0;
    Hs6533Block block = IncomingBlock(read, 2, codes);
    EXPECT_EQ(block[hs6533_block::kProfile], 2);
    EXPECT_EQ(block[hs6533_block::kMode], 2);
    EXPECT_EQ(block[hs6533_block::kSpeed], 4);
    EXPECT_EQ(block[20], 0xA0 + 20);
    read[hs6533_block::kMode] = 3;  // no mode has code 3: kept as it is
    EXPECT_EQ(IncomingBlock(read, 0, codes)[hs6533_block::kMode], 3);

    LightInfo light;
    light.selectItem = 7;
    light.light = 3;
    light.speed = 1;
    light.multiColor = 1;
    light.red = 10, light.green = 20, light.blue = 30;
    TakeLighting(block, light);
    EXPECT_EQ(block[hs6533_block::kMode], 7);
    EXPECT_EQ(block[hs6533_block::kRed], 10);
    EXPECT_EQ(block[hs6533_block::kBlue], 30);
    EXPECT_EQ(block[4], 0xA4);  // bytes the program does not own stay
}

}  // namespace
}  // namespace m470
