#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "audio/AudioLibrary.h"
#include "audio/HeadsetAudio.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

const char* kAlsaLibrary = M470_OSCONF;

// Scoped environment value.
class EnvValue {
public:
    EnvValue(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvValue() { had_ ? (void)::setenv(name_, old_.c_str(), 1) : (void)::unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

std::string ReadWord(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// The USB ids of the first USB sound card of this machine, as vvvv:pppp.
std::string FirstUsbSoundCard() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/sound", error)) {
        const auto usb = entry.path() / "device" / "..";
        const std::string vendor = ReadWord(usb / "idVendor"), product = ReadWord(usb / "idProduct");
        if (entry.path().filename().string().rfind("card", 0) == 0 && !vendor.empty() && !product.empty())
            return vendor + ":" + product;
    }
    return "";
}

TEST(AlsaAudioLibrary, WithoutTheHeadsetThereAreNoEndpoints) {
    test::TempFolder sysfs(false);
    EnvValue root("M470_OSCONF_SYSFS", sysfs.Path());
    AudioLibrary library;
    ASSERT_TRUE(library.Load(kAlsaLibrary));
    EXPECT_EQ(library.ConfLibInit(), 0);
    EXPECT_EQ(library.CreateDeviceList(), 0);
    int32_t count = -1;
    EXPECT_EQ(library.GetDeviceCount(kOsConfFlowRender, count), 0);
    EXPECT_EQ(count, 0);
    AudioDeviceInfo info{};
    EXPECT_NE(library.GetDeviceById(kOsConfFlowCapture, 0, info), 0);
    EXPECT_NE(library.GetDeviceCount(5, count), 0);

    // A card that sysfs lists but ALSA cannot open fails its properties.
    namespace fs = std::filesystem;
    sysfs.Write("devices/usb/idVendor", "0c76\n");
    sysfs.Write("devices/usb/idProduct", "1630\n");
    fs::create_directories(sysfs.File("devices/usb/1-1:1.0/sound/card87"));
    fs::create_directories(sysfs.File("class/sound"));
    fs::create_directory_symlink(sysfs.File("devices/usb/1-1:1.0"), sysfs.File("devices/usb/1-1:1.0/sound/card87/device"));
    fs::create_directory_symlink(sysfs.File("devices/usb/1-1:1.0/sound/card87"), sysfs.File("class/sound/card87"));
    EXPECT_EQ(library.CreateDeviceList(), 0);
    ASSERT_EQ(library.GetDeviceCount(kOsConfFlowCapture, count), 0);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(library.GetDeviceById(kOsConfFlowCapture, 0, info), 0);
    EXPECT_EQ(info.words[0], 87);
    EXPECT_EQ(info.words[1], 2);
    EXPECT_EQ(info.words[3], 1);
    std::string text;
    EXPECT_EQ(library.Read(info, "MuteControl", AudioParameter::None(), text), kOsConfNoDevice);
    EXPECT_EQ(library.WriteInteger(info, "MuteControl", 1, AudioParameter::None()), kOsConfNoDevice);
}

TEST(AlsaAudioLibrary, RealCardAnswersItsMicrophoneAndRefusesTheEqualiser) {
    const std::string card = FirstUsbSoundCard();
    if (card.empty()) GTEST_SKIP() << "no USB sound card on this machine: the ALSA library is not tried on hardware";
    EnvValue id("M470_OSCONF_USB_ID", card);
    CHeadsetAudio audio;
    audio.LoadAudioLibrary(kAlsaLibrary);
    ASSERT_TRUE(audio.Available());
    const AudioLibrary& library = audio.Library();
    ASSERT_EQ(library.ConfLibInit(), 0);
    ASSERT_EQ(library.CreateDeviceList(), 0);
    audio.ChooseEndpoints();
    ASSERT_TRUE(audio.Capture().Found()) << card;
    std::string text;
    ASSERT_EQ(library.Read(audio.Capture().info, "GetSupportFeature", AudioParameter::None(), text), 0);
    const uint32_t features = audio.Capture().features[0];
    EXPECT_NE(library.WriteInteger(audio.Render().info, "EQ_Slider1", 3, AudioParameter::None()), 0);
    EXPECT_NE(library.WriteInteger(audio.Capture().info, "Enable_MAGICVOICE", 1, AudioParameter::None()), 0);
    if ((features & 0x1) != 0) {
        // Write the volume the card has back to it, and read it again.
        ASSERT_EQ(library.Read(audio.Capture().info, "VolumeScalarControl", AudioParameter::Channel(-1), text), 0);
        double before = -1;
        ASSERT_TRUE(ParseAudioNumber(text, before));
        EXPECT_TRUE(audio.SetMicVolume(FractionToPercent(before)));
        ASSERT_EQ(library.Read(audio.Capture().info, "VolumeScalarControl", AudioParameter::Channel(-1), text), 0);
        double after = -1;
        ASSERT_TRUE(ParseAudioNumber(text, after));
        EXPECT_NEAR(after, before, 0.05);
    } else {
        EXPECT_NE(library.Read(audio.Capture().info, "VolumeScalarControl", AudioParameter::Channel(-1), text), 0);
    }
}

}  // namespace
}  // namespace m470
