#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "MixerProperties.h"
#include "SoundCards.h"
#include "audio/OsConfApi.h"
#include "support/SoundCardSysfs.h"
#include "support/TempFolder.h"

namespace m470::osconf {
namespace {

// A mixer in memory: a path's volume has raw steps 0..max over a dB range.
class MemoryMixer : public MixerControls {
public:
    struct Side {
        bool hasVolume = false, hasSwitch = false;
        long min = 0, max = 0, dbMin = 0, dbMax = 0, raw = 0;
        bool on = true;
    };
    Side sides[2];
    Side& Of(MixerPath path) { return sides[path == MixerPath::Capture ? 0 : 1]; }
    const Side& Of(MixerPath path) const { return sides[path == MixerPath::Capture ? 0 : 1]; }

    bool HasVolume(MixerPath p) const override { return Of(p).hasVolume; }
    bool HasSwitch(MixerPath p) const override { return Of(p).hasSwitch; }
    bool Range(MixerPath p, long& min, long& max) override {
        min = Of(p).min;
        max = Of(p).max;
        return Of(p).hasVolume;
    }
    bool DbRange(MixerPath p, long& min, long& max) override {
        min = Of(p).dbMin;
        max = Of(p).dbMax;
        return Of(p).hasVolume;
    }
    bool Volume(MixerPath p, long& raw) override {
        raw = Of(p).raw;
        return Of(p).hasVolume;
    }
    bool SetVolume(MixerPath p, long raw) override {
        Of(p).raw = raw;
        return Of(p).hasVolume;
    }
    bool Db(MixerPath p, long& centiDb) override {
        const Side& s = Of(p);
        centiDb = s.dbMin + (s.dbMax - s.dbMin) * (s.raw - s.min) / (s.max - s.min);
        return s.hasVolume;
    }
    bool SetDb(MixerPath p, long centiDb) override {
        Side& s = Of(p);
        s.raw = s.min + (centiDb - s.dbMin) * (s.max - s.min) / (s.dbMax - s.dbMin);
        return s.hasVolume;
    }
    bool Switch(MixerPath p, bool& on) override {
        on = Of(p).on;
        return Of(p).hasSwitch;
    }
    bool SetSwitch(MixerPath p, bool on) override {
        Of(p).on = on;
        return Of(p).hasSwitch;
    }
};

// A headset microphone: 0..32 steps over -16..+16 dB, with a switch; no monitor.
MemoryMixer Microphone() {
    MemoryMixer mixer;
    mixer.Of(MixerPath::Capture) = {true, true, 0, 32, -1600, 1600, 16, true};
    return mixer;
}

std::string Read(MixerControls& mixer, const std::string& name, int32_t type = kCaptureType) {
    std::string text;
    const int32_t result = ReadProperty(mixer, type, name, text);
    return result == kOsConfOk ? text : "error " + std::to_string(result);
}

int32_t WriteInt(MixerControls& mixer, const std::string& name, int32_t value, int32_t type = kCaptureType) {
    return WriteProperty(mixer, type, name, &value);
}

int32_t WriteFloat(MixerControls& mixer, const std::string& name, float value) {
    return WriteProperty(mixer, kCaptureType, name, &value);
}

TEST(MixerMapping, MicrophoneMuteVolumeAndRangeMapToTheCaptureControls) {
    MemoryMixer mixer = Microphone();
    EXPECT_EQ(Read(mixer, "MuteControl"), "0");
    EXPECT_EQ(Read(mixer, "VolumeScalarControl"), "0.5");
    EXPECT_EQ(Read(mixer, "VolumeControl"), "0");
    EXPECT_EQ(Read(mixer, "GetMaxVol"), "16");
    EXPECT_EQ(Read(mixer, "GetMinVol"), "-16");
    EXPECT_EQ(Read(mixer, "GetVolStep"), "1");

    EXPECT_EQ(WriteInt(mixer, "MuteControl", 1), kOsConfOk);
    EXPECT_FALSE(mixer.Of(MixerPath::Capture).on);
    EXPECT_EQ(Read(mixer, "MuteControl"), "1");
    EXPECT_EQ(WriteInt(mixer, "MuteControl", 2), kOsConfBadArgument);
    EXPECT_FALSE(mixer.Of(MixerPath::Capture).on);

    EXPECT_EQ(WriteFloat(mixer, "VolumeScalarControl", 0.37f), kOsConfOk);
    EXPECT_EQ(mixer.Of(MixerPath::Capture).raw, 12);  // 0.37 × 32 = 11.84, rounded
    EXPECT_EQ(WriteFloat(mixer, "VolumeScalarControl", 1.5f), kOsConfBadArgument);
    EXPECT_EQ(WriteFloat(mixer, "VolumeScalarControl", std::nanf("")), kOsConfBadArgument);
    EXPECT_EQ(mixer.Of(MixerPath::Capture).raw, 12);

    EXPECT_EQ(WriteInt(mixer, "VolumeControl", 0), kOsConfOk);
    EXPECT_EQ(mixer.Of(MixerPath::Capture).raw, 16);
    EXPECT_EQ(WriteInt(mixer, "VolumeControl", 90), kOsConfOk);  // held to the top of the range
    EXPECT_EQ(mixer.Of(MixerPath::Capture).raw, 32);
    EXPECT_EQ(WriteInt(mixer, "GetMaxVol", 3), kOsConfUnsupported);
}

TEST(MixerMapping, MonitorNamesNeedTheMonitorControls) {
    MemoryMixer mixer = Microphone();
    for (const char* name : {"AAMuteControl", "AAVolumeScalarControl", "AAVolumeControl", "GetAAMaxVol",
                             "GetAAMinVol", "GetAAVolStep"})
        EXPECT_EQ(Read(mixer, name), "error 2") << name;
    EXPECT_EQ(WriteInt(mixer, "AAMuteControl", 0), kOsConfUnsupported);

    mixer.Of(MixerPath::Monitor) = {true, true, 0, 100, -4000, 0, 25, false};
    EXPECT_EQ(Read(mixer, "AAMuteControl"), "1");
    EXPECT_EQ(Read(mixer, "AAVolumeScalarControl"), "0.25");
    EXPECT_EQ(Read(mixer, "GetAAMinVol"), "-40");
    EXPECT_EQ(WriteFloat(mixer, "AAVolumeScalarControl", 0.5f), kOsConfOk);
    EXPECT_EQ(mixer.Of(MixerPath::Monitor).raw, 50);
    EXPECT_EQ(mixer.Of(MixerPath::Capture).raw, 16);  // the microphone is left alone
    EXPECT_EQ(WriteInt(mixer, "AAMuteControl", 0), kOsConfOk);
    EXPECT_TRUE(mixer.Of(MixerPath::Monitor).on);
}

TEST(MixerMapping, FeaturesAnswerFromWhatTheCardHas) {
    MemoryMixer mixer = Microphone();
    EXPECT_EQ(Read(mixer, "GetSupportFeature"), "3,0,0,0,0,0,0");
    EXPECT_EQ(Read(mixer, "GetSupportFeature", kRenderType), "0,0,0,0,0,0,0");
    mixer.Of(MixerPath::Monitor).hasSwitch = true;
    mixer.Of(MixerPath::Capture).hasVolume = false;
    EXPECT_EQ(Read(mixer, "GetSupportFeature"), "10,0,0,0,0,0,0");
    EXPECT_EQ(Read(mixer, "VolumeScalarControl"), "error 2");
}

TEST(MixerMapping, EffectsAndRenderSidePropertiesFail) {
    MemoryMixer mixer = Microphone();
    for (const char* name : {"Enable_EQ_GFX", "EQ_Slider1", "EQ_Slider10", "Enable_MAGICVOICE", "MagicVoice_Selection",
                             "Enable_MICECHO", "Enable_ENC_LFX", "Enable_RFX_GFX", "RFX_ENVIRONMENT", "RFX_ROOMSIZE",
                             "VirtualSurroundEffectControl", "NoSuchProperty"}) {
        EXPECT_NE(WriteInt(mixer, name, 0, kRenderType), kOsConfOk) << name;
        EXPECT_NE(WriteInt(mixer, name, 0), kOsConfOk) << name;
        EXPECT_EQ(Read(mixer, name, kRenderType), "error 2") << name;
    }
    // The microphone's names belong to the capture endpoint only.
    EXPECT_EQ(Read(mixer, "MuteControl", kRenderType), "error 2");
    EXPECT_EQ(WriteInt(mixer, "MuteControl", 1, kRenderType), kOsConfUnsupported);
    EXPECT_TRUE(mixer.Of(MixerPath::Capture).on);
}

TEST(SoundCardSearch, CardsAreFoundByTheirUsbDevicesIds) {
    test::TempFolder sysfs(false);
    test::AddSoundCard(sysfs, 3, "0c76", "1630");
    test::AddSoundCard(sysfs, 0, "8086", "1630");
    test::AddSoundCard(sysfs, 11, "0C76", "1630");
    test::AddSoundCard(sysfs, 2, "0c76", "1631");
    sysfs.Write("class/sound/controlC3", "");  // not a card
    // By default the headset row's card.
    ASSERT_EQ(ConfiguredUsbIds(), (std::vector<UsbId>{{0x0C76, 0x1630}}));
    EXPECT_EQ(FindCards(sysfs.Path(), ConfiguredUsbIds()), (std::vector<int>{3, 11}));
    EXPECT_EQ(FindCards(sysfs.Path(), std::vector<UsbId>{{0x8086, 0x1630}}), (std::vector<int>{0}));
    EXPECT_EQ(FindCards(sysfs.Path(), std::vector<UsbId>{{0x8086, 0x1630}, {0x0C76, 0x1631}}), (std::vector<int>{0, 2}));
    EXPECT_TRUE(FindCards(sysfs.File("missing"), ConfiguredUsbIds()).empty());
}

}  // namespace
}  // namespace m470::osconf
