// The products as an SDK client sees and drives them, on the virtual mouse
// and keyboard held by m470ctl's headless session: what a controller says
// of itself, Direct colours on the mouse's wire and given back, and a mode
// set as the page sets it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "ctl/HeadlessSession.h"
#include "device_link/CommandCodes.h"
#include "platform/Folders.h"
#include "sdk/ProductControllers.h"
#include "sim/VirtualDeviceHub.h"
#include "support/TempFolder.h"

namespace m470::sdk {
namespace {

class ProductControllersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(english.Load(GetInstallFolder() + "skin/lang/en.json"));
        const std::string runtime = folder.File("run");
        std::filesystem::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ::setenv("XDG_DATA_HOME", folder.File("data").c_str(), 1);
        hub.PlugAll({"mouse", "keyboard"});
        session = std::make_unique<ctl::HeadlessSession>(hub.Backend(), english);
        ASSERT_TRUE(session->Start());
        host = std::make_unique<ProductControllers>(*session, english);
        for (size_t c = 0; c < host->ControllerCount(); ++c)
            if (host->Describe(c)->type == ControllerType::Mouse) mouse = c;
        hub.Traffic().Clear();
    }
    CVantrelUSBDevice& Mouse() {
        for (CVantrelUSBDevice* device : session->Devices())
            if (device->Kind() == DeviceKind::Mouse) return *device;
        throw std::runtime_error("no mouse");
    }
    // Stream reports to the mouse whose first LED is the colour (hex).
    size_t StreamsShowing(const std::string& hex) {
        size_t count = 0;
        for (const TrafficEntry& entry : hub.Traffic().Entries()) {
            if (entry.interfaceName != "mouse" || entry.request[3] != command::kStreamLighting) continue;
            char first[7];
            std::snprintf(first, sizeof first, "%02x%02x%02x", entry.request[8], entry.request[9], entry.request[10]);
            count += hex == first;
        }
        return count;
    }

    test::TempFolder folder;
    LanguageTable english;
    VirtualDeviceHub hub;
    std::unique_ptr<ctl::HeadlessSession> session;
    std::unique_ptr<ProductControllers> host;
    size_t mouse = 99;
};

TEST_F(ProductControllersTest, EachProductDescribesItsZonesLedsAndModes) {
    ASSERT_EQ(host->ControllerCount(), 2u);
    // Counted and described from the devices: no lighting tab waiting for its
    // first show was made for it.
    for (CVantrelUSBDevice* device : session->Devices())
        EXPECT_FALSE(session->PageOf(device)->Find("deng_light_slider")) << device->DeviceName();
    ASSERT_NE(mouse, 99u);
    const ControllerDescription m = *host->Describe(mouse);
    EXPECT_EQ(m.vendor, kVendor);
    EXPECT_EQ(m.name, "Gaming Mouse");
    EXPECT_EQ(m.ledNames.size(), Mouse().LedCount());
    EXPECT_EQ(m.colours.size(), m.ledNames.size());
    ASSERT_EQ(m.zones.size(), 1u);
    EXPECT_EQ(m.zones[0].ledCount, m.ledNames.size());
    ASSERT_GE(m.modes.size(), 2u);
    EXPECT_EQ(m.modes.back().name, "Direct");
    EXPECT_EQ(m.modes.back().colourMode, ColourMode::PerLed);
    EXPECT_NE(m.modes[static_cast<size_t>(m.activeMode)].name, "Direct");
    // Only a mode that takes a colour offers one.
    const auto named = [&m](const std::string& name) {
        return *std::find_if(m.modes.begin(), m.modes.end(), [&](const ModeDescription& d) { return d.name == name; });
    };
    EXPECT_EQ(named("Static").colourMode, ColourMode::ModeSpecific);
    EXPECT_EQ(named("Static").colours.size(), 1u);
    for (const char* colourless : {"Spectrum", "Off"}) {
        EXPECT_EQ(named(colourless).colourMode, ColourMode::None) << colourless;
        EXPECT_TRUE(named(colourless).colours.empty()) << colourless;
        EXPECT_EQ(named(colourless).flags & mode_flag::kModeSpecificColour, 0u) << colourless;
    }
    EXPECT_FALSE(host->Describe(2));
    const ControllerDescription k = *host->Describe(1 - mouse);
    EXPECT_EQ(k.type, ControllerType::Keyboard);
    EXPECT_NE(std::find(k.ledNames.begin(), k.ledNames.end(), "Key: Esc"), k.ledNames.end());
    const std::vector<std::string> profiles = host->ProfileNames();
    EXPECT_NE(std::find(profiles.begin(), profiles.end(), "profile1"), profiles.end());
}

TEST_F(ProductControllersTest, DirectColoursGoOnTheMouseStreamUntilGivenBack) {
    const size_t leds = host->Describe(mouse)->ledNames.size();
    host->ShowColours(1, mouse, 0, std::vector<Colour>(leds, Colour{0x40, 0x80, 0xC0}));
    EXPECT_TRUE(Mouse().HostColoursShown());
    const ControllerDescription driven = *host->Describe(mouse);
    EXPECT_EQ(driven.modes[static_cast<size_t>(driven.activeMode)].name, "Direct");
    session->Run(100);  // the render timer streams the frame at the mouse's pace
    EXPECT_GT(StreamsShowing("3f7fbf"), 0u);  // full level: each channel × 255 / 256

    host->ReleaseDirect(2);  // another client's release leaves it
    EXPECT_TRUE(Mouse().HostColoursShown());
    host->ReleaseDirect(1);
    EXPECT_FALSE(Mouse().HostColoursShown());
    hub.Traffic().Clear();
    session->Run(100);
    EXPECT_EQ(StreamsShowing("3f7fbf"), 0u);
}

TEST_F(ProductControllersTest, AModeOfTheProductIsSetAsThePageSetsIt) {
    const ControllerDescription before = *host->Describe(mouse);
    const auto fixed = std::find_if(before.modes.begin(), before.modes.end(), [](const ModeDescription& m) { return m.name == "Static"; });
    ASSERT_NE(fixed, before.modes.end());
    host->ShowColours(1, mouse, 0, {{1, 1, 1}});
    ModeDescription wanted = *fixed;
    wanted.colours = {{0x12, 0x34, 0x56}};
    wanted.brightness = 2;
    host->ApplyMode(1, mouse, static_cast<size_t>(fixed - before.modes.begin()), wanted, true);
    EXPECT_FALSE(Mouse().HostColoursShown());  // a mode of its own ends Direct
    const ControllerDescription after = *host->Describe(mouse);
    const ModeDescription& active = after.modes[static_cast<size_t>(after.activeMode)];
    EXPECT_EQ(active.name, "Static");
    EXPECT_EQ(active.colours, (std::vector<Colour>{{0x12, 0x34, 0x56}}));
    if ((active.flags & mode_flag::kBrightness) != 0) EXPECT_EQ(active.brightness, 2u);
    const LightInfo light = Mouse().GetLightInfo();
    EXPECT_EQ(light.red, 0x12);
    EXPECT_EQ(light.blue, 0x56);
    bool written = false;
    for (const TrafficEntry& entry : hub.Traffic().Entries()) written = written || entry.request[3] == command::kWriteSettings;
    EXPECT_TRUE(written);

    // A client that sends a colour with a mode that has none changes no colour.
    const auto spectrum = std::find_if(after.modes.begin(), after.modes.end(), [](const ModeDescription& m) { return m.name == "Spectrum"; });
    ASSERT_NE(spectrum, after.modes.end());
    ModeDescription cycling = *spectrum;
    cycling.colours = {{0x77, 0x66, 0x55}};
    host->ApplyMode(1, mouse, static_cast<size_t>(spectrum - after.modes.begin()), cycling, true);
    const ControllerDescription last = *host->Describe(mouse);
    EXPECT_EQ(last.modes[static_cast<size_t>(last.activeMode)].name, "Spectrum");
    EXPECT_EQ(Mouse().GetLightInfo().red, 0x12);
}

}  // namespace
}  // namespace m470::sdk
