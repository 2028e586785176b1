#include <gtest/gtest.h>

#include <filesystem>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "recoil/RecoilImage.h"
#include "recoil/RecoilPatterns.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

namespace m470 {
namespace {

class RecoilFiles : public ::testing::Test {
public:
    void SetUp() override {
        std::filesystem::create_directories(temp.File("user"));
        std::filesystem::create_directories(temp.File("factory"));
        for (int n = 0; n < kRecoilPatternCount; ++n)
            std::filesystem::copy_file(GetDefaultDataFolder() + RecoilPatternFileName(n), temp.File("factory/" + RecoilPatternFileName(n)));
        patterns.SetDataFolder(temp.File("user/"));
        patterns.SetDefaultFolder(temp.File("factory/"));
    }
    Json::Value Pattern(int n) { return LoadJson(temp.File("user/" + RecoilPatternFileName(n))); }
    static Json::Value Event(int type, int button, const char* action, int delay) {
        Json::Value event(Json::objectValue);
        event["Type"] = type;
        event["Button"] = button;
        event["Action"] = action;
        event["Delay"] = delay;
        return event;
    }

    test::TempFolder temp;
    RecoilPatterns patterns;
};

TEST_F(RecoilFiles, MissingAndBrokenPatternsComeBackFromTheFactoryCopies) {
    temp.Write("user/ShootData_1.Shoot", "{ \"Events\": ");               // cut short
    temp.Write("user/ShootData_2.Shoot", "{\"Events\": {\"a\": 1}}");    // not a pattern
    temp.Write("user/ShootData_3.Shoot", "{\"Events\": [], \"Mine\": 1}");  // an empty pattern is still one
    EXPECT_EQ(patterns.RestoreMissing(), 3);
    EXPECT_EQ(Pattern(0), LoadJson(temp.File("factory/ShootData_0.Shoot")));
    EXPECT_EQ(Pattern(1)["Events"].size(), 180u);
    EXPECT_EQ(Pattern(2)["Events"].size(), 180u);
    EXPECT_EQ(Pattern(3)["Mine"].asInt(), 1);
    // A factory file gone as well: the pattern stays missing and reads as zeros.
    std::filesystem::remove(temp.File("factory/ShootData_0.Shoot"));
    std::filesystem::remove(temp.File("user/ShootData_0.Shoot"));
    EXPECT_EQ(patterns.RestoreMissing(), 0);
    EXPECT_FALSE(std::filesystem::exists(temp.File("user/ShootData_0.Shoot")));
    EXPECT_EQ(patterns.LoadBullet(0, 4), Bullet{});
}

TEST_F(RecoilFiles, SavingABulletRewritesItsSixEventsOnly) {
    ASSERT_EQ(patterns.RestoreMissing(), 4);
    Json::Value before = Pattern(1);
    before["Events"][11]["Extra"] = "kept";
    ASSERT_TRUE(SaveJson(patterns.PatternPath(1), before));
    ASSERT_TRUE(patterns.SaveBullet(1, 2, Bullet{3, 7, 60, true, false}));
    const Json::Value after = Pattern(1);
    ASSERT_EQ(after["Events"].size(), 180u);
    EXPECT_EQ(after["Events"][12], Event(1, 1, "down", 10));
    EXPECT_EQ(after["Events"][13], Event(1, 1, "up", 0));
    EXPECT_EQ(after["Events"][14], Event(4, 3, "down", 5));
    EXPECT_EQ(after["Events"][15], Event(5, 7, "up", 60));
    EXPECT_EQ(after["Events"][16], Event(4, 0, "down", 0));
    EXPECT_EQ(after["Events"][17], Event(5, 0, "up", 0));
    for (Json::ArrayIndex i = 0; i < 180; ++i)
        if (i < 12 || i > 17) EXPECT_EQ(after["Events"][i], before["Events"][i]) << i;
    EXPECT_EQ(patterns.LoadBullet(1, 2), (Bullet{3, 7, 60, true, false}));
    // The factory file is never touched.
    EXPECT_EQ(LoadJson(temp.File("factory/ShootData_1.Shoot"))["Events"][14]["Button"].asInt(), 1);
}

TEST_F(RecoilFiles, TheLastBulletGrowsAShortPatternWithNullsThatReadAsZeros) {
    Json::Value shortPattern(Json::objectValue);
    for (int i = 0; i < 6; ++i) shortPattern["Events"].append(Event(1, 1, "down", 10));
    ASSERT_TRUE(SaveJson(patterns.PatternPath(3), shortPattern));
    ASSERT_TRUE(patterns.SaveBullet(3, 29, Bullet{300, -2, 70000, false, true}));
    const Json::Value after = Pattern(3);
    ASSERT_EQ(after["Events"].size(), 180u);
    EXPECT_TRUE(after["Events"][6].isNull());
    EXPECT_TRUE(after["Events"][173].isNull());
    EXPECT_EQ(after["Events"][176], Event(4, 300, "up", 5));  // stored as typed
    EXPECT_EQ(after["Events"][177], Event(5, -2, "down", 70000));
    EXPECT_EQ(patterns.LoadBullet(3, 10), Bullet{});
    // The device form keeps the low byte of a distance; a delay past 16 bits waits the longest.
    const ImageEntry entry = patterns.DeviceEntries()[3];
    ASSERT_EQ(entry.size(), 180u);
    EXPECT_EQ(entry[176], (ImageEvent{5, 0, 0x04, 44}));
    EXPECT_EQ(entry[177], (ImageEvent{0xFF, 0xFF, 0x85, 0xFE}));
    EXPECT_EQ(entry[100], (ImageEvent{0, 0, 0, 0}));
}

TEST_F(RecoilFiles, BulletTextsReadTheirLeadingNumber) {
    EXPECT_EQ(ParseBulletNumber("42"), 42);
    EXPECT_EQ(ParseBulletNumber("-7px"), -7);
    EXPECT_EQ(ParseBulletNumber("+5"), 5);
    EXPECT_EQ(ParseBulletNumber("x5"), 0);
    EXPECT_EQ(ParseBulletNumber(""), 0);
    EXPECT_EQ(ParseBulletNumber("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseBulletNumber("-99999999999999999999"), INT_MIN);
}

TEST_F(RecoilFiles, ResetAndExportImportRoundTrip) {
    ASSERT_EQ(patterns.RestoreMissing(), 4);
    ASSERT_TRUE(patterns.SaveBullet(0, 0, Bullet{9, 9, 9, false, false}));
    ASSERT_EQ(patterns.Export(0, temp.File("out.shoot")), ExportResult::Exported);
    ASSERT_TRUE(patterns.Reset(0));
    EXPECT_EQ(Pattern(0), LoadJson(temp.File("factory/ShootData_0.Shoot")));
    EXPECT_EQ(patterns.Import(0, temp.File("out.shoot")), RecoilImportResult::Imported);
    EXPECT_EQ(patterns.LoadBullet(0, 0), (Bullet{9, 9, 9, false, false}));
    EXPECT_EQ(patterns.Import(0, ""), RecoilImportResult::Nothing);
    EXPECT_EQ(patterns.Export(0, ""), ExportResult::NoSource);
    // A factory file that is not a pattern leaves the user's pattern alone.
    temp.Write("factory/ShootData_0.Shoot", "[1, 2]");
    EXPECT_FALSE(patterns.Reset(0));
    EXPECT_EQ(patterns.LoadBullet(0, 0), (Bullet{9, 9, 9, false, false}));
}

TEST_F(RecoilFiles, BadImportsAreRefusedAndChangeNothing) {
    ASSERT_EQ(patterns.RestoreMissing(), 4);
    const std::string before = temp.Read("user/ShootData_2.Shoot");
    temp.Write("events_object.shoot", "{\"Events\": {\"Type\": 1}}");
    temp.Write("events_text.shoot", "{\"Events\": \"many\"}");
    temp.Write("not_json.shoot", "Events: []");
    temp.Write("array.shoot", "[{\"Events\": []}]");
    std::filesystem::create_directories(temp.File("folder.shoot"));
    ASSERT_EQ(::mkfifo(temp.File("pipe.shoot").c_str(), 0600), 0);  // would block a reader forever
    {
        std::ofstream big(temp.File("big.shoot"), std::ios::binary);
        big << "{\"Events\": [" << std::string(kMaxRecoilImportBytes, ' ') << "]}";
    }
    for (const char* name : {"events_object.shoot", "events_text.shoot", "not_json.shoot", "array.shoot", "folder.shoot",
                             "pipe.shoot", "missing.shoot"})
        EXPECT_EQ(patterns.Import(2, temp.File(name)), RecoilImportResult::Refused) << name;
    // Too large is told as such, not as "not a pattern".
    EXPECT_EQ(patterns.Import(2, temp.File("big.shoot")), RecoilImportResult::TooLarge);
    EXPECT_EQ(temp.Read("user/ShootData_2.Shoot"), before);
    EXPECT_STREQ(kRecoilImportRefused, "recoil_import_refused");
}

TEST_F(RecoilFiles, ASaveIntoAFileThatCannotBeReadLeavesIt) {
    ASSERT_EQ(patterns.RestoreMissing(), 4);
    ASSERT_EQ(::chmod(patterns.PatternPath(1).c_str(), 0), 0);
    test::HandOver(temp.Path());
    // 1: the save refused, 2: not replaced by the factory copy either.
    const int checks = test::RunUnprivileged([&] {
        int passed = 0;
        if (!patterns.SaveBullet(1, 0, Bullet{1, 1, 1, true, true})) passed |= 1;
        if (patterns.RestoreMissing() == 0) passed |= 2;
        return passed;
    });
    EXPECT_EQ(checks, 3);
    ::chmod(patterns.PatternPath(1).c_str(), 0644);
    EXPECT_EQ(Pattern(1), LoadJson(temp.File("factory/ShootData_1.Shoot")));
}

TEST(RecoilImages, FourEmptyPatternsAreFortyBytes) {
    const auto image = BuildRecoilImage(std::vector<ImageEntry>(4));
    ASSERT_TRUE(image.has_value());
    const std::vector<uint8_t> expected{0xAA, 0x55, 40, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
                                        24, 0, 28, 0, 32, 0, 36, 0,                           // offsets
                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};      // four empty entries
    EXPECT_EQ(*image, expected);
}

TEST_F(RecoilFiles, TheFactoryPatternsMakeOneImageOf2920Bytes) {
    ASSERT_EQ(patterns.RestoreMissing(), 4);
    const auto image = BuildRecoilImage(patterns.DeviceEntries());
    ASSERT_TRUE(image.has_value());
    const std::vector<uint8_t>& bytes = *image;
    ASSERT_EQ(bytes.size(), 2920u);  // 16 + 4 × 6 + 4 × 720
    const auto at = [&](size_t offset, std::initializer_list<uint8_t> expected) {
        return std::vector<uint8_t>(bytes.begin() + static_cast<long>(offset),
                                    bytes.begin() + static_cast<long>(offset + expected.size())) == std::vector<uint8_t>(expected);
    };
    EXPECT_TRUE(at(0, {0xAA, 0x55, 0x68, 0x0B, 4, 0}));
    EXPECT_TRUE(at(16, {0x18, 0x00, 0xEC, 0x02, 0xC0, 0x05, 0x94, 0x08}));
    // Pattern 0: 180 events; press left 10 ms, release, 1 left, 2 down for 95 ms.
    EXPECT_TRUE(at(24, {180, 0, 0, 0, 10, 0, 0x81, 1, 0, 0, 0x01, 1, 5, 0, 0x84, 1, 95, 0, 0x05, 2}));
    EXPECT_TRUE(at(748, {180, 0, 0, 0}));
    EXPECT_TRUE(at(748 + 4 + 12, {85, 0, 0x05, 3}));    // pattern 1, bullet 0: 3 down, 85 ms
    EXPECT_TRUE(at(1472 + 4 + 8, {5, 0, 0x84, 1}));     // pattern 2, bullet 0: 1 to the left
    EXPECT_TRUE(at(2196 + 4 + 12, {65, 0, 0x05, 5}));   // pattern 3, bullet 0: 5 down, 65 ms
    EXPECT_TRUE(at(2916, {0, 0, 0x05, 0}));             // its last zero move
}

TEST(RecoilImages, AnImageAbove65535BytesIsNeverBuilt) {
    // 16 + 24 + 4 × events: 16,373 events give 65,532 bytes, 16,374 give 65,536.
    std::vector<ImageEntry> patterns(4);
    patterns[0].assign(16373, ImageEvent{1, 0, 0x81, 1});
    const auto fits = BuildRecoilImage(patterns);
    ASSERT_TRUE(fits.has_value());
    EXPECT_EQ(fits->size(), 65532u);
    EXPECT_EQ((*fits)[2] | (*fits)[3] << 8, 65532);
    patterns[3].push_back(ImageEvent{});
    EXPECT_FALSE(BuildRecoilImage(patterns).has_value());
}

}  // namespace
}  // namespace m470
