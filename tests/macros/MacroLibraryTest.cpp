#include <gtest/gtest.h>

#include <filesystem>

#include "device_link/EventImage.h"
#include "macros/MacroLibrary.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class MacroLibraryTest : public ::testing::Test {
public:
    void SetUp() override { library.SetFolder(temp.Path()); }
    Json::Value Catalogue() { return LoadJson(temp.File("macro.config")); }
    void WriteCatalogue(const std::vector<std::pair<std::string, std::string>>& entries) {
        Json::Value document(Json::objectValue);
        Json::Value& list = document["MacroInfo"] = Json::Value(Json::arrayValue);
        for (const auto& [name, guid] : entries) {
            Json::Value entry;
            entry["MacroName"] = name;
            entry["Guid"] = guid;
            list.append(entry);
        }
        ASSERT_TRUE(SaveJson(temp.File("macro.config"), document));
        library.Reload();
    }
    test::TempFolder temp;
    CMacroLibrary library;
};

TEST_F(MacroLibraryTest, AddTakesTheSmallestFreeNumberAndSavesTheCatalogue) {
    WriteCatalogue({{"macro_1", "a"}, {"MACRO_3", "b"}});
    EXPECT_EQ(library.Add(), "macro_2");
    EXPECT_EQ(library.Add(), "macro_4");  // macro_3 is taken whatever its case
    const Json::Value catalogue = Catalogue();
    ASSERT_EQ(catalogue["MacroInfo"].size(), 4u);
    EXPECT_EQ(catalogue["MacroInfo"][2]["MacroName"].asString(), "macro_2");
    const std::string guid = catalogue["MacroInfo"][2]["Guid"].asString();
    EXPECT_TRUE(IsSafeFileId(guid));
    EXPECT_NE(guid, catalogue["MacroInfo"][3]["Guid"].asString());  // two adds in one millisecond get two files
    EXPECT_FALSE(std::filesystem::exists(temp.File(guid + ".mac")));  // no file until the first save
    EXPECT_TRUE(library.LoadEvents(2).empty());
}

TEST_F(MacroLibraryTest, FiftyMacrosAreTheLimitForAddAndImport) {
    for (int i = 0; i < 50; ++i) ASSERT_FALSE(library.Add().empty()) << i;
    const std::string before = temp.Read("macro.config");
    temp.Write("outside/Combo.mac", "{}");
    EXPECT_EQ(library.Add(), "");
    EXPECT_EQ(library.Import(temp.File("outside/Combo.mac")).name, "");
    EXPECT_EQ(temp.Read("macro.config"), before);
    EXPECT_EQ(library.Count(), 50u);
}

TEST_F(MacroLibraryTest, ImportCopiesTheFileUnderItsTitleWithGrowingSuffixes) {
    const std::string content = "{\"Events\":[{\"Type\":10,\"Button\":4,\"Action\":\"down\",\"Delay\":\"7\"}],\"Guid\":\"x\"}";
    temp.Write("outside/Combo.mac", content);
    WriteCatalogue({{"Combo", "a"}});
    EXPECT_EQ(library.Import(temp.File("outside/Combo.mac")).name, "Combo_1");
    EXPECT_EQ(library.Import(temp.File("outside/Combo.mac")).name, "Combo_1_2");
    const std::string guid = library.Entries()[1].guid;
    EXPECT_EQ(temp.Read(guid + ".mac"), content);  // byte for byte, its own members kept
    ASSERT_EQ(library.LoadEvents(1).size(), 1u);
    EXPECT_EQ(library.LoadEvents(1)[0], (MacroEvent{10, 4, true, 7}));
}

TEST_F(MacroLibraryTest, ImportRefusesWhatIsNoRegularFileWithinTheLimit) {
    std::filesystem::create_directories(temp.File("folder.mac"));
    EXPECT_EQ(library.Import(temp.File("folder.mac")).name, "");
    EXPECT_EQ(library.Import("/dev/zero").name, "");
    EXPECT_EQ(library.Import(temp.File("missing.mac")).name, "");
    temp.Write("outside/Big.mac", std::string(kMaxMacroFileBytes + 1, ' '));
    EXPECT_EQ(library.Import(temp.File("outside/Big.mac")).name, "");
    EXPECT_EQ(library.Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(temp.File("macro.config")));
    temp.Write("outside/Edge.mac", std::string(kMaxMacroFileBytes, ' '));
    EXPECT_EQ(library.Import(temp.File("outside/Edge.mac")).name, "Edge");
}

TEST_F(MacroLibraryTest, AnIdThatCouldLeaveTheFolderCountsAsNoFile) {
    temp.Write("secret.mac", "{\"Events\":[{\"Type\":10,\"Button\":4,\"Action\":\"down\",\"Delay\":\"1\"}]}");
    WriteCatalogue({{"up", "../secret"}, {"slash", "a/b"}, {"back", "a\\b"}});
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(library.LoadEvents(i).empty()) << i;
        EXPECT_FALSE(library.SaveEvents(i, {MacroEvent{10, 4, true, 1}})) << i;
        EXPECT_EQ(library.Export(i, temp.File("out.mac")), ExportResult::NoSource) << i;
    }
    EXPECT_FALSE(std::filesystem::exists(temp.File("out.mac")));
}

TEST_F(MacroLibraryTest, SaveWritesTheEventsWithSaturatedDelaysAndExportCopiesThem) {
    WriteCatalogue({{"Combo", "g1"}});
    EXPECT_FALSE(library.SaveEvents(-1, {}));  // no macro chosen: no "folder/.mac"
    EXPECT_FALSE(std::filesystem::exists(temp.File(".mac")));
    ASSERT_TRUE(library.SaveEvents(0, {MacroEvent{10, 4, true, 300}, MacroEvent{10, 4, false, 65535}}));
    const Json::Value file = LoadJson(temp.File("g1.mac"));
    EXPECT_EQ(file["MacroName"].asString(), "Combo");
    EXPECT_EQ(file["Guid"].asString(), "g1");
    EXPECT_EQ(file["Version"].asInt(), 64);
    ASSERT_EQ(file["Events"].size(), 2u);
    EXPECT_EQ(file["Events"][0]["Delay"].asString(), "300");
    EXPECT_EQ(file["Events"][0]["Action"].asString(), "down");
    EXPECT_EQ(file["Events"][1]["Delay"].asString(), "65535");
    ASSERT_EQ(library.Export(0, temp.File("copy.mac")), ExportResult::Exported);
    EXPECT_EQ(temp.Read("copy.mac"), temp.Read("g1.mac"));
}

TEST_F(MacroLibraryTest, DelaysAboveTheLimitSaturateInEveryForm) {
    EXPECT_EQ(DelayOfText("70000"), 65535);
    EXPECT_EQ(DelayOfText("99999999999999999999999"), 65535);
    EXPECT_EQ(DelayOfText("65535"), 65535);
    EXPECT_EQ(DelayOfText("12x"), 0);
    EXPECT_EQ(DelayOf(Json::Value(70000)), 65535);
    EXPECT_EQ(DelayOf(Json::Value(-5)), 0);
    Json::Value event;
    event["Type"] = 10;
    event["Button"] = 4;
    event["Action"] = "down";
    event["Delay"] = "70000";
    // Sent as 65535 ms, not as the low 16 bits (4464 ms).
    EXPECT_EQ(EncodeMacroEvent(event), (ImageEvent{0xFF, 0xFF, 0x8A, 0x04}));
}

TEST_F(MacroLibraryTest, EventsInDeviceForm) {
    EXPECT_EQ(DeviceForm(MacroEvent{10, 0x04, true, 300}), (ImageEvent{0x2C, 0x01, 0x8A, 0x04}));
    EXPECT_EQ(DeviceForm(MacroEvent{4, 20, true, 0}), (ImageEvent{0x00, 0x00, 0x84, 0x14}));
    EXPECT_EQ(DeviceForm(MacroEvent{1, 0x02, false, 0x1234}), (ImageEvent{0x34, 0x12, 0x01, 0x02}));
    EXPECT_EQ(DeviceForm(MacroEvent{9, 0x120, false, 1}), (ImageEvent{0x01, 0x00, 0x09, 0x20}));
}

TEST_F(MacroLibraryTest, ImageOfTwoMacrosOfThreeAndFiveEvents) {
    WriteCatalogue({{"three", "g3"}, {"five", "g5"}});
    std::vector<MacroEvent> three, five;
    for (int i = 0; i < 3; ++i) three.push_back({10, 0x04 + i, i % 2 == 0, static_cast<uint16_t>(100 + i)});
    for (int i = 0; i < 5; ++i) five.push_back({1, 0x01, i % 2 == 0, static_cast<uint16_t>(0x200 + i)});
    ASSERT_TRUE(library.SaveEvents(0, three));
    ASSERT_TRUE(library.SaveEvents(1, five));
    const std::vector<ImageEntry> entries{LoadMacroEvents(temp.Path(), "g3"), LoadMacroEvents(temp.Path(), "g5")};
    const std::vector<uint8_t> image = BuildEventImage(entries);
    // 16 header + 2 × 2 offsets + (4 + 12) + (4 + 20).
    ASSERT_EQ(image.size(), 60u);
    const std::vector<uint8_t> header{0xAA, 0x55, 60, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 36, 0};
    EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 20), header);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 20, image.begin() + 24), (std::vector<uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 24, image.begin() + 28), (std::vector<uint8_t>{100, 0, 0x8A, 0x04}));
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 28, image.begin() + 32), (std::vector<uint8_t>{101, 0, 0x0A, 0x05}));
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 36, image.begin() + 40), (std::vector<uint8_t>{5, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 40, image.begin() + 44), (std::vector<uint8_t>{0x00, 0x02, 0x81, 0x01}));
    EXPECT_EQ(std::vector<uint8_t>(image.end() - 4, image.end()), (std::vector<uint8_t>{0x04, 0x02, 0x81, 0x01}));
}

TEST_F(MacroLibraryTest, RenameRefusesBlankAndTakenNames) {
    WriteCatalogue({{"Combo", "g1"}, {"Other", "g2"}});
    EXPECT_EQ(library.Rename(-1, "x"), MacroRenameResult::NoSelection);
    EXPECT_EQ(library.Rename(0, "  "), MacroRenameResult::Blank);
    EXPECT_EQ(library.Rename(0, "combo"), MacroRenameResult::NameUsed);  // its own name too
    EXPECT_EQ(library.Rename(0, "OTHER"), MacroRenameResult::NameUsed);
    EXPECT_EQ(Catalogue()["MacroInfo"][0]["MacroName"].asString(), "Combo");
    EXPECT_EQ(library.Rename(0, "Jump"), MacroRenameResult::Renamed);
    EXPECT_EQ(Catalogue()["MacroInfo"][0]["MacroName"].asString(), "Jump");
    EXPECT_EQ(Catalogue()["MacroInfo"][0]["Guid"].asString(), "g1");
}

KeyAssignmentPair Key(uint16_t code, uint8_t type, uint8_t param1, uint8_t param2 = 0) {
    return {{code, type, param1, param2, 0}, {code, 0x10, 0x04, 0, 0}};
}

// A profile file whose device section 0 holds the key list.
void WriteProfile(const std::string& path, const std::vector<KeyAssignmentPair>& keys) {
    Json::Value document(Json::objectValue);
    document["profilename"] = "other";
    Json::Value& list = document["Device"][0]["KeyList"] = Json::Value(Json::arrayValue);
    for (const KeyAssignmentPair& pair : keys) {
        Json::Value entry;
        entry["Assignment"] = PackAssignment(pair.current);
        entry["DefaultAssignment"] = PackAssignment(pair.defaults);
        list.append(entry);
    }
    ASSERT_TRUE(SaveJson(path, document));
}

TEST_F(MacroLibraryTest, DeleteRenumbersEveryProfileAndRemovesTheFile) {
    WriteCatalogue({{"m0", "g0"}, {"m1", "g1"}, {"m2", "g2"}});
    ASSERT_TRUE(library.SaveEvents(1, {MacroEvent{10, 4, true, 1}}));
    const std::string other = temp.File("other.Json");
    WriteProfile(other, {Key(0, 0x70, 2, 1), Key(1, 0x71, 1, 5), Key(2, 0x70, 0), Key(3, 0x10, 0x01)});
    std::vector<KeyAssignmentPair> current{Key(0, 0x71, 2, 3), Key(1, 0x13, 1)};
    bool asked = false;
    const MacroDeletion done = library.Delete(1, current, {other}, 0, [&] { asked = true; return true; });
    EXPECT_TRUE(done.deleted);
    EXPECT_TRUE(done.currentKeysChanged);
    EXPECT_FALSE(asked);  // the current keys do not use macro 1
    EXPECT_EQ(current[0].current, (KeyAssignment{0, 0x71, 1, 3, 0}));
    const Json::Value keys = LoadJson(other)["Device"][0]["KeyList"];
    EXPECT_EQ(keys[0]["Assignment"].asUInt(), 0x700101u);  // macro 2 is now macro 1
    EXPECT_EQ(keys[1]["Assignment"].asUInt(), 0x100400u);  // used the deleted macro: its default
    EXPECT_EQ(keys[2]["Assignment"].asUInt(), 0x700000u);
    EXPECT_EQ(keys[3]["Assignment"].asUInt(), 0x100100u);
    EXPECT_EQ(LoadJson(other)["profilename"].asString(), "other");
    EXPECT_FALSE(std::filesystem::exists(temp.File("g1.mac")));
    ASSERT_EQ(Catalogue()["MacroInfo"].size(), 2u);
    EXPECT_EQ(Catalogue()["MacroInfo"][1]["Guid"].asString(), "g2");
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"m0", "m2"}));
}

TEST_F(MacroLibraryTest, CancelOfTheUsedMacroQuestionTouchesNoFile) {
    WriteCatalogue({{"m0", "g0"}, {"m1", "g1"}});
    ASSERT_TRUE(library.SaveEvents(0, {MacroEvent{10, 4, true, 1}}));
    const std::string other = temp.File("other.Json");
    WriteProfile(other, {Key(0, 0x70, 1), Key(1, 0x70, 0)});
    const std::string otherBefore = temp.Read("other.Json"), catalogueBefore = temp.Read("macro.config"),
                      macroBefore = temp.Read("g0.mac");
    std::vector<KeyAssignmentPair> current{Key(0, 0x70, 0, 2)};
    int asked = 0;
    const MacroDeletion done = library.Delete(0, current, {other}, 0, [&] { ++asked; return false; });
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(done.deleted);
    EXPECT_EQ(temp.Read("other.Json"), otherBefore);
    EXPECT_EQ(temp.Read("macro.config"), catalogueBefore);
    EXPECT_EQ(temp.Read("g0.mac"), macroBefore);
    EXPECT_EQ(current[0].current, (KeyAssignment{0, 0x70, 0, 2, 0}));
    EXPECT_EQ(library.Count(), 2u);
}

TEST_F(MacroLibraryTest, DeletingAMacroWithoutItsFileIsNoError) {
    WriteCatalogue({{"m0", "g0"}});
    std::vector<KeyAssignmentPair> current;
    EXPECT_TRUE(library.Delete(0, current, {}, 0, nullptr).deleted);
    EXPECT_EQ(library.Count(), 0u);
    EXPECT_FALSE(library.Delete(0, current, {}, 0, nullptr).deleted);  // nothing left to choose
}

}  // namespace
}  // namespace m470
