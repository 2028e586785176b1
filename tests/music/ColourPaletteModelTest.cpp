// The palette window's state: typed components, the swatch file and its
// factory copy, the collection slots.
#include <gtest/gtest.h>

#include "music/ColourPaletteModel.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

std::array<uint32_t, kPaletteSlots> Presets() {
    std::array<uint32_t, kPaletteSlots> presets{};
    for (size_t i = 0; i < presets.size(); ++i) presets[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x0A0B0C);
    return presets;
}

TEST(ColourComponent, TypedTextIsReadSaturatingIntoTheComponentRange) {
    EXPECT_EQ(ParseColourComponent("300"), 255);
    EXPECT_EQ(ParseColourComponent("255"), 255);
    EXPECT_EQ(ParseColourComponent("0"), 0);
    EXPECT_EQ(ParseColourComponent(""), 0);
    EXPECT_EQ(ParseColourComponent("-5"), 0);  // no negative shifted into the alpha
    EXPECT_EQ(ParseColourComponent("99999999999999999999"), 255);  // no overflow
    EXPECT_EQ(ParseColourComponent(" 42"), 42);
    EXPECT_EQ(ParseColourComponent("17abc"), 17);
    EXPECT_EQ(ParseColourComponent("abc"), 0);
    EXPECT_EQ(ParseColourComponent("+8"), 8);
}

TEST(ColourComponent, ColoursAsEightHexDigits) {
    EXPECT_EQ(FormatArgb(0xFFFF0000u), "FFFF0000");
    EXPECT_EQ(FormatArgb(0x0000000Au), "0000000A");
    EXPECT_EQ(ParseArgbHex("FF00FF00"), 0xFF00FF00u);
    EXPECT_EQ(ParseArgbHex("ff00ff00"), 0xFF00FF00u);
    EXPECT_EQ(ParseArgbHex("12xyz"), 0x12u);
    EXPECT_EQ(ParseArgbHex("1FF00FF00"), 0xFF00FF00u);
}

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override {
        Json::Value factory;
        factory["coloroptioninfo"]["palletDialogcoloroption_selectitem"] = 7;
        ASSERT_TRUE(SaveJson(factoryPath, factory));
    }
    ColourPaletteModel Open(uint32_t colour) {
        ColourPaletteModel model(swatchPath, factoryPath, Presets());
        model.ShowColour(colour);
        model.SetUp();
        return model;
    }
    test::TempFolder folder;
    std::string swatchPath = folder.File("color_option_info.config");
    std::string factoryPath = folder.File("factory.config");
};

TEST_F(PaletteTest, AMissingOrBrokenSwatchFileIsRestoredFromTheFactoryCopy) {
    ColourPaletteModel model = Open(0xFF102030u);
    EXPECT_EQ(LoadJson(swatchPath), LoadJson(factoryPath));
    EXPECT_EQ(model.PresetIndex(), 7);
    EXPECT_EQ(model.Shown(), 0xFF102030u);
    EXPECT_EQ(model.CollectionIndex(), 0);  // the factory copy stores no collection index
    folder.Write("color_option_info.config", "{ broken");
    Open(0);
    EXPECT_EQ(LoadJson(swatchPath), LoadJson(factoryPath));
}

TEST_F(PaletteTest, WithoutAnyFileTheDefaultsStay) {
    ColourPaletteModel model(folder.File("none"), folder.File("none either"), Presets());
    model.SetUp();
    EXPECT_EQ(model.PresetIndex(), kDefaultPresetIndex);
    EXPECT_EQ(model.SelectedSlot(), -1);
}

TEST_F(PaletteTest, TypedComponentsAreClampedAndEmptyOnesCountAsZero) {
    ColourPaletteModel model = Open(0xFF000000u);
    auto edited = model.EditsLeft("10", "300", "7");
    EXPECT_EQ(edited.shown[1], "255");
    EXPECT_EQ(model.Current(), 0xFF0AFF07u);
    edited = model.EditsLeft("10", "20", "");
    EXPECT_EQ(model.Current(), 0xFF0A1400u);
    EXPECT_EQ(edited.shown[2], "0");
    edited = model.EditsLeft("-5", "123456789012345678901234567890", "+3");
    EXPECT_EQ(model.Current(), 0xFF00FF03u);
    EXPECT_EQ(edited.shown, (std::array<std::string, 3>{"0", "255", "3"}));
    EXPECT_EQ(model.Ok(), 0xFF00FF03u);
}

TEST_F(PaletteTest, AnEmptySlotTakesTheNextColourAndIsWrittenToTheFile) {
    ColourPaletteModel model = Open(0xFF000000u);
    EXPECT_FALSE(model.SelectCollection(5));  // empty: only the target
    EXPECT_EQ(model.Shown(), 0xFF000000u);
    model.PaletteChanged(0xFF123456u);
    EXPECT_EQ(model.Slots()[5].colour, 0xFF123456u);
    EXPECT_EQ(model.Slots()[5].userData, "1");
    EXPECT_EQ(model.Ok(), 0xFF123456u);
    const Json::Value stored = LoadJson(swatchPath)["coloroptioninfo"];
    EXPECT_EQ(stored["palletDialogcollectcoloroption"][5]["color"].asString(), "FF123456");
    EXPECT_EQ(stored["palletDialogcollectcoloroption"][5]["UserData"].asString(), "1");
    EXPECT_EQ(stored["palletDialogcollectcoloroption"][4]["UserData"].asString(), "");
    EXPECT_EQ(stored["palletDialogcollectcoloroption_selectitem"].asInt(), 5);
}

TEST_F(PaletteTest, AFilledSlotShowsItsColourWithoutChangingIt) {
    ColourPaletteModel model = Open(0xFF000000u);
    model.SelectCollection(2);
    model.PaletteChanged(0xFF00FF00u);
    model.SelectCollection(3);
    model.PaletteChanged(0xFF0000FFu);
    EXPECT_TRUE(model.SelectCollection(2));
    EXPECT_EQ(model.Shown(), 0xFF00FF00u);
    EXPECT_EQ(model.Slots()[2].colour, 0xFF00FF00u);
    EXPECT_EQ(model.Slots()[3].colour, 0xFF0000FFu);
    EXPECT_EQ(model.Ok(), 0xFF00FF00u);
}

TEST_F(PaletteTest, AStoredCollectionComesBackWithNoSlotSelected) {
    {
        ColourPaletteModel model = Open(0xFF000000u);
        model.SelectCollection(1);
        model.PaletteChanged(0xFF00FF00u);
    }
    Json::Value document = LoadJson(swatchPath);
    document["coloroptioninfo"]["palletDialogcollectcoloroption"][6]["color"] = "FFABCDEF";
    document["coloroptioninfo"]["palletDialogcollectcoloroption"][6]["UserData"] = "0";
    ASSERT_TRUE(SaveJson(swatchPath, document));
    ColourPaletteModel reopened = Open(0xFF000000u);
    EXPECT_EQ(reopened.Slots()[1].colour, 0xFF00FF00u);
    EXPECT_TRUE(reopened.Slots()[1].Filled());
    EXPECT_EQ(reopened.Slots()[6].colour, kEmptySlotColour);  // not marked as holding one
    EXPECT_EQ(reopened.CollectionIndex(), -1);
    EXPECT_EQ(reopened.SelectedSlot(), -1);
    // So a new colour goes into no slot.
    reopened.PaletteChanged(0xFF111111u);
    EXPECT_EQ(reopened.Slots()[1].colour, 0xFF00FF00u);
    EXPECT_EQ(reopened.Ok(), 0xFF111111u);
}

TEST_F(PaletteTest, APresetBecomesTheColourAndItsIndexIsKept) {
    ColourPaletteModel model = Open(0xFF000000u);
    model.SelectPreset(3);
    EXPECT_EQ(model.Current(), Presets()[3]);
    EXPECT_EQ(model.Shown(), Presets()[3]);
    const Json::Value stored = LoadJson(swatchPath)["coloroptioninfo"];
    EXPECT_EQ(stored["palletDialogcoloroption_selectitem"].asInt(), 3);
    EXPECT_EQ(stored["palletDialogcoloroption"][3]["color"].asString(), FormatArgb(Presets()[3]));
    EXPECT_EQ(stored["palletDialogcoloroption"].size(), kPaletteSlots);
    model.SelectPreset(20);  // no such swatch: nothing
    EXPECT_EQ(model.PresetIndex(), 3);
    EXPECT_EQ(Open(0).PresetIndex(), 3);
}

}  // namespace
}  // namespace m470
