#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/HeadsetAudio.h"
#include "support/FakeAudioLibrary.h"

namespace m470 {
namespace {

using Lines = std::vector<std::string>;

class HeadsetAudioBridge : public ::testing::Test {
protected:
    CHeadsetAudio audio{[this](const std::string& text) { told.push_back(text); }};
    test::FakeAudioLibrary fake;
    Lines told;

    AudioReadings Init() { return audio.InitAudio(fake.Path()); }
    // Starts a clean log after InitAudio.
    void InitQuietly() {
        Init();
        fake.Reset();
    }
};

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Lines BandLines(const std::string& prefix) {
    Lines lines;
    for (int band = 1; band <= 10; ++band) lines.push_back(prefix + std::to_string(band));
    return lines;
}

TEST_F(HeadsetAudioBridge, InitChoosesEndpointsWritesMissingDefaultsAndReadsTheState) {
    fake.Fail("MuteControl", kOsConfRead, 1);  // the first read fails: its default is written
    const AudioReadings readings = Init();
    ASSERT_TRUE(audio.Available());
    const Lines expected = Concat({
        {"ConfLibInit", "CreateDeviceList", "GetDeviceCount 0", "GetDeviceCount 0", "GetDeviceById 0 0",
         "GetDeviceById 0 1", "GetDeviceCount 1", "GetDeviceById 1 0", "read 2 GetSupportFeature",
         "read 1 GetSupportFeature", "read 1 VirtualSurroundEffectControl 4,-1,0",
         "write 1 VirtualSurroundEffectControl 0 4,-1,0", "read 2 Enable_ENC_LFX", "write 2 Enable_ENC_LFX 0",
         "read 2 VolumeControl -1", "read 1 Enable_EQ_GFX"},
        BandLines("read 1 EQ_Slider"),
        {"read 1 Enable_RFX_GFX", "write 1 Enable_RFX_GFX 0", "read 1 RFX_ENVIRONMENT", "write 1 RFX_ENVIRONMENT 0",
         "read 1 RFX_ROOMSIZE", "write 1 RFX_ROOMSIZE 0", "read 2 MuteControl failed", "write 2 MuteControl 0",
         "read 2 VolumeScalarControl -1", "read 2 AAVolumeControl 0", "read 2 AAMuteControl",
         "read 2 AAVolumeScalarControl 0", "read 2 Enable_MAGICVOICE", "read 2 MagicVoice_Selection"},
        {"read 2 MuteControl", "read 2 VolumeScalarControl -1", "read 2 GetMaxVol", "read 2 GetMinVol",
         "read 2 GetVolStep", "read 2 GetAAMaxVol", "read 2 GetAAMinVol", "read 2 GetAAVolStep",
         "read 2 AAMuteControl", "read 2 AAVolumeScalarControl 0", "read 2 Enable_MAGICVOICE",
         "read 2 MagicVoice_Selection"},
    });
    EXPECT_EQ(fake.Log(), expected);
    EXPECT_TRUE(told.empty());

    // The type-12 endpoint comes first in the list; the type-1 one is chosen.
    EXPECT_EQ(audio.Render().info.words[0], 8);
    EXPECT_EQ(audio.Render().info.words[1], 1);
    EXPECT_EQ(audio.Capture().info.words[0], 9);
    EXPECT_EQ(audio.Capture().features, (std::array<uint32_t, 3>{131073, 0, 0}));

    EXPECT_EQ(readings.micInSelect, 1);       // not muted
    EXPECT_EQ(readings.micInValue, 50);
    EXPECT_EQ(readings.micMoniterSelect, 0);  // muted
    EXPECT_EQ(readings.micMoniterValue, 29);  // 0.29 rounds to 29, not down to 28
    EXPECT_EQ(readings.magicEnable, 0);
    EXPECT_EQ(readings.magicType, 1);
}

TEST_F(HeadsetAudioBridge, RenderEndpointFollowsTheTypeOrderAndNeedsItsFlag) {
    fake.SetEndpoints(kOsConfFlowRender, {{{1, 4, 0, 1}}, {{2, 1, 0, 0}}, {{3, 7, 0, 1}}, {{4, 12, 0, 1}}});
    fake.SetEndpoints(kOsConfFlowCapture, {{{5, 3, 1, 1}}, {{6, 2, 1, 0}}});
    Init();
    EXPECT_EQ(audio.Render().info.words[0], 4);   // type 1 lacks its flag: 12 before 7 and 4
    EXPECT_EQ(audio.Capture().info.words[0], 6);  // capture takes type 2 whatever its flag

    fake.Reset();
    fake.SetEndpoints(kOsConfFlowRender, {{{1, 4, 0, 1}}, {{3, 7, 0, 1}}});
    fake.SetEndpoints(kOsConfFlowCapture, {});
    audio.ChooseEndpoints();
    EXPECT_EQ(audio.Render().info.words[0], 3);
    EXPECT_FALSE(audio.Capture().Found());  // not found: all zero
}

TEST_F(HeadsetAudioBridge, NoRenderEndpointStopsAfterTheCount) {
    fake.SetEndpoints(kOsConfFlowRender, {});
    const AudioReadings readings = Init();
    EXPECT_EQ(fake.Log(), (Lines{"ConfLibInit", "CreateDeviceList", "GetDeviceCount 0"}));
    EXPECT_FALSE(readings.micInValue.has_value());
}

TEST_F(HeadsetAudioBridge, FailedInitAndShortFeatureAnswersAreToldAndTheSystemGoesOn) {
    fake.SetInitResult(5);
    fake.Set("GetSupportFeature@2", "1,2,3,4,5,6");  // six items
    Init();
    EXPECT_EQ(told, (Lines{"ConfLibInit called failed!", "UpdateAPOAvailable failed!"}));
    EXPECT_EQ(audio.Capture().features, (std::array<uint32_t, 3>{0, 0, 0}));  // kept
    EXPECT_EQ(audio.Render().features, (std::array<uint32_t, 3>{1, 0, 0}));
    EXPECT_FALSE(fake.Writes().empty());  // defaults still written
}

TEST_F(HeadsetAudioBridge, FeatureItemsZeroFourAndSixBecomeTheWords) {
    fake.Set("GetSupportFeature@2", "10,11,12,13,14,15,16,17");
    Init();
    EXPECT_EQ(audio.Capture().features, (std::array<uint32_t, 3>{10, 14, 16}));
}

TEST_F(HeadsetAudioBridge, StateReadsKeepWhatFailsAndFollowTheFeatureWord) {
    InitQuietly();
    fake.Set("MagicVoice_Selection", "2");
    fake.Set("Enable_MAGICVOICE", "1");
    fake.Set("MuteControl", "1");
    fake.Set("VolumeScalarControl", "0.999");
    fake.Fail("GetAAMaxVol", kOsConfRead);
    AudioReadings readings = audio.ReadAudioState();
    EXPECT_EQ(readings.magicType, 3);  // selection 2 shows effect 3
    EXPECT_EQ(readings.magicEnable, 1);
    EXPECT_EQ(readings.micInSelect, 0);
    EXPECT_EQ(readings.micInValue, 100);
    EXPECT_FALSE(readings.micMoniterSelect.has_value());  // no monitor without its range
    EXPECT_FALSE(readings.micMoniterValue.has_value());
    for (const std::string& line : fake.PropertyLog()) EXPECT_EQ(line.find("AAMuteControl"), std::string::npos);

    fake.Set("MagicVoice_Selection", "4");
    fake.Set("VolumeScalarControl", "loud");  // no number: a failed read
    fake.Fail("MuteControl", kOsConfRead);
    readings = audio.ReadAudioState();
    EXPECT_FALSE(readings.magicType.has_value());
    EXPECT_FALSE(readings.micInValue.has_value());
    EXPECT_FALSE(readings.micInSelect.has_value());

    // Without the voice changer bit the switch is read but not taken.
    fake.Reset();
    fake.Set("GetSupportFeature@2", "65535,0,0,0,0,0,0");
    fake.Set("Enable_MAGICVOICE", "1");
    audio.ChooseEndpoints();
    EXPECT_FALSE(audio.ReadAudioState().magicEnable.has_value());
}

TEST_F(HeadsetAudioBridge, VolumeWritesSendTheFractionAndReadTheLevelOnlyOnSuccess) {
    InitQuietly();
    EXPECT_TRUE(audio.SetMicVolume(37));
    EXPECT_TRUE(audio.SetMonitorVolume(37));
    EXPECT_EQ(fake.PropertyLog(), (Lines{"write 2 VolumeScalarControl 0.37 -1", "read 2 VolumeControl -1",
                                         "write 2 AAVolumeScalarControl 0.37 0", "read 2 AAVolumeControl 1"}));
    EXPECT_EQ(fake.Get("VolumeScalarControl"), "0.37");

    fake.Reset();
    fake.Fail("VolumeScalarControl", kOsConfWrite);
    fake.Fail("AAMuteControl", kOsConfWrite);
    EXPECT_FALSE(audio.SetMicVolume(40));
    EXPECT_FALSE(audio.SetMonitorMute(1));
    EXPECT_TRUE(audio.SetMicMute(1));
    EXPECT_EQ(fake.PropertyLog(), (Lines{"write 2 VolumeScalarControl 0.4 -1 failed", "write 2 AAMuteControl 1 failed",
                                         "write 2 MuteControl 1"}));
}

TEST_F(HeadsetAudioBridge, VoiceChangerAndEqualiserWrites) {
    InitQuietly();
    EXPECT_TRUE(audio.SetVoiceChanger(true));
    EXPECT_TRUE(audio.SetVoiceChanger(false));
    EXPECT_TRUE(audio.SetVoiceEffect(3));
    EXPECT_FALSE(audio.SetVoiceEffect(0));
    EXPECT_FALSE(audio.SetVoiceEffect(5));
    const int preset3[] = {10, 4, 0, -3, -4, -3, -2, -1, 0, 0};
    EXPECT_TRUE(audio.ApplyEqualiser(preset3));
    EXPECT_TRUE(audio.MoveBand(4, -7));
    EXPECT_FALSE(audio.MoveBand(10, 1));
    EXPECT_EQ(fake.PropertyLog(),
              (Lines{"write 2 Enable_MAGICVOICE 1", "write 2 Enable_MICECHO 0", "write 2 Enable_MAGICVOICE 0",
                     "write 2 MagicVoice_Selection 2", "write 1 Enable_EQ_GFX 1", "write 1 EQ_Slider1 10",
                     "write 1 EQ_Slider2 4", "write 1 EQ_Slider3 0", "write 1 EQ_Slider4 -3", "write 1 EQ_Slider5 -4",
                     "write 1 EQ_Slider6 -3", "write 1 EQ_Slider7 -2", "write 1 EQ_Slider8 -1",
                     "write 1 EQ_Slider9 0", "write 1 EQ_Slider10 0", "write 1 EQ_Slider5 -7"}));

    // One refused band still sends the others, and the whole is told as refused.
    fake.Reset();
    fake.Fail("EQ_Slider2", kOsConfWrite);
    EXPECT_FALSE(audio.ApplyEqualiser(preset3));
    EXPECT_EQ(fake.Writes().size(), 11u);
    fake.Fail("Enable_MICECHO", kOsConfWrite);
    EXPECT_FALSE(audio.SetVoiceChanger(true));
}

TEST_F(HeadsetAudioBridge, MissingLibraryDisablesEverythingWithoutCalls) {
    for (const std::string& path : {std::string("/nonexistent/SDK/libosconf.so"), std::string("SDK/libosconf.so"),
                                    std::string()}) {
        CHeadsetAudio missing;
        const AudioReadings readings = missing.InitAudio(path);
        EXPECT_FALSE(missing.Available()) << path;
        EXPECT_FALSE(readings.micInValue.has_value());
        EXPECT_FALSE(missing.SetMicVolume(37));
        EXPECT_FALSE(missing.SetMicMute(1));
        EXPECT_FALSE(missing.SetMonitorVolume(37));
        EXPECT_FALSE(missing.SetMonitorMute(0));
        EXPECT_FALSE(missing.SetVoiceChanger(true));
        EXPECT_FALSE(missing.SetVoiceEffect(2));
        const int levels[10] = {};
        EXPECT_FALSE(missing.ApplyEqualiser(levels));
        EXPECT_FALSE(missing.MoveBand(0, 1));
        missing.ApplyAudioDefaults();
        EXPECT_FALSE(missing.ReadAudioState().micInSelect.has_value());
    }
    EXPECT_TRUE(fake.Log().empty());
}

TEST_F(HeadsetAudioBridge, LibraryWithoutAllEntryPointsIsNotBound) {
    AudioLibrary library;
    // libm is an absolute, loadable library without the five entry points.
    EXPECT_FALSE(library.Load("/lib/x86_64-linux-gnu/libm.so.6"));
    EXPECT_FALSE(library.Loaded());
    EXPECT_TRUE(library.Load(fake.Path()));
    EXPECT_NE(library.Symbol("FakeOsConfLog"), nullptr);
}

TEST_F(HeadsetAudioBridge, ReadTextsEndInsideTheirBuffer) {
    InitQuietly();
    fake.Set("VolumeControl", std::string(1500, '7'));  // the fake then fills the buffer without a terminator
    std::string text;
    ASSERT_EQ(audio.Library().Read(audio.Capture().info, "VolumeControl", AudioParameter::Channel(-1), text), 0);
    EXPECT_EQ(text, std::string(kOsConfValueBytes - 1, '7'));
    ASSERT_EQ(audio.Library().Read(audio.Capture().info, "VolumeControl", AudioParameter::None(), text, 2048), 0);
    EXPECT_EQ(text.size(), size_t{kOsConfValueBytes});  // the wider buffer keeps its cleared rest
}

TEST(AudioNumbers, PercentRoundsAndHoldsItsRange) {
    EXPECT_EQ(FractionToPercent(0.29), 29);
    EXPECT_EQ(FractionToPercent(0.37f), 37);
    EXPECT_EQ(FractionToPercent(0.004), 0);
    EXPECT_EQ(FractionToPercent(0.995), 100);
    EXPECT_EQ(FractionToPercent(1.7), 100);
    EXPECT_EQ(FractionToPercent(-0.2), 0);
    double number = 0;
    EXPECT_TRUE(ParseAudioNumber("-12.5 dB", number));
    EXPECT_DOUBLE_EQ(number, -12.5);
    EXPECT_FALSE(ParseAudioNumber("", number));
    EXPECT_FALSE(ParseAudioNumber("nan", number));
    EXPECT_FALSE(ParseAudioNumber("x1", number));
}

}  // namespace
}  // namespace m470
