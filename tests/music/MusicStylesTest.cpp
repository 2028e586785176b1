// The music styles and "AudioFile.json": read, recreated, reset, written.
#include <gtest/gtest.h>

#include "music/MusicStyles.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

class MusicStylesTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::string user = folder.File("AudioFile.json");
    std::string factory = GetDefaultDataFolder() + kAudioFileName;
};

TEST_F(MusicStylesTest, TheFactoryCopyHoldsFourNamedStyles) {
    AudioDocument document(user, factory);
    document.LoadAudioFile();
    const MusicStyles& styles = document.Styles();
    for (size_t s = 0; s < kMusicStyleCount; ++s) EXPECT_EQ(styles.names[s], DefaultStyleName(s));
    EXPECT_EQ(DefaultStyleName(1), "第二组");
    EXPECT_EQ(styles.style, 0);
    for (const auto& colour : styles.colours)
        for (uint8_t component : colour) EXPECT_LE(component, kMaxStyleComponent);
}

TEST_F(MusicStylesTest, ADeletedUserFileIsRecreatedFromTheFactoryCopy) {
    {
        AudioDocument document(user, factory);
        document.LoadAudioFile();
    }
    EXPECT_EQ(LoadJson(user), LoadJson(factory));
    folder.Write("AudioFile.json", "not json");
    AudioDocument again(user, factory);
    again.LoadAudioFile();
    EXPECT_EQ(LoadJson(user), LoadJson(factory));
}

TEST_F(MusicStylesTest, SetAndSaveWriteEveryFieldAndKeepOtherMembers) {
    AudioDocument document(user, factory);
    document.LoadAudioFile();
    Json::Value onDisk = LoadJson(user);
    onDisk["Other"] = 5;
    ASSERT_TRUE(SaveJson(user, onDisk));
    MusicStyles styles = document.Styles();
    styles.style = 3;
    styles.names[2] = "Bass";
    styles.colours[3] = {1, 2, 3};
    document.SetMusicStyles(styles);
    document.SaveAudioFile();
    const Json::Value saved = LoadJson(user);
    EXPECT_EQ(saved["Other"].asInt(), 5);
    const Json::Value& info = saved["Device"]["AudioLightInfo"];
    EXPECT_EQ(info["nAudioStyle"].asInt(), 3);
    EXPECT_EQ(info["nStyleName3"].asString(), "Bass");
    EXPECT_EQ(info["nStyleR3"].asInt(), 1);
    EXPECT_EQ(info["nStyleG3"].asInt(), 2);
    EXPECT_EQ(info["nStyleB3"].asInt(), 3);
    EXPECT_EQ(info.size(), 17u);
    AudioDocument reread(user, factory);
    reread.LoadAudioFile();
    EXPECT_EQ(reread.Styles(), styles);
}

TEST_F(MusicStylesTest, ResetPutsTheFactoryCopyBack) {
    AudioDocument document(user, factory);
    document.LoadAudioFile();
    MusicStyles styles = document.Styles();
    styles.names[0] = "Mine";
    document.SetMusicStyles(styles);
    document.SaveAudioFile();
    document.ResetAudioFile();
    EXPECT_EQ(document.Styles().names[0], "第一组");
    EXPECT_EQ(LoadJson(user), LoadJson(factory));
}

TEST_F(MusicStylesTest, OutOfRangeValuesFromAHandEditedFileAreClamped) {
    folder.Write("AudioFile.json",
                 R"({"Device":{"AudioLightInfo":{"nAudioStyle":7,"nStyleR0":42,"nStyleG0":-3,"nStyleB0":"x"}}})");
    AudioDocument document(user, factory);
    document.LoadAudioFile();
    EXPECT_EQ(document.Styles().style, 3);
    EXPECT_EQ(document.Styles().colours[0], (std::array<uint8_t, 3>{9, 0, 0}));
    EXPECT_EQ(document.Styles().names[0], "");
}

TEST_F(MusicStylesTest, WithoutTheStylesTheWorkingCopyStays) {
    folder.Write("AudioFile.json", R"({"Device":{"Something":1}})");
    AudioDocument document(user, factory);
    document.LoadAudioFile();
    EXPECT_EQ(document.Styles(), MusicStyles{});
}

TEST_F(MusicStylesTest, TheCaptureProgramGetsTheSelectedColourWithGreenAtLeastOne) {
    MusicStyles styles;
    styles.style = 1;
    styles.colours[1] = {5, 0, 7};
    EXPECT_EQ(StyleColourForCapture(styles), (std::array<int32_t, 3>{5, 1, 7}));
    styles.colours[1] = {0, 4, 0};
    EXPECT_EQ(StyleColourForCapture(styles), (std::array<int32_t, 3>{0, 4, 0}));
}

}  // namespace
}  // namespace m470
