// The pad's and the headset's lighting threads wake only when a step or a
// moving per-LED rule is due: played on a manual 64 Hz clock, the frames (and
// the headset's LED reports) are those of a thread woken on every tick.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

#include "devices/HS6533Device.h"
#include "devices/LightingTables.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/FakeAudioLibrary.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

constexpr uint64_t kPlayedTicks = 3 * TickClock::kTicksPerSecond;

// One per-LED record of the profile's "LightList" (LED index, mode, speed).
struct PerLedRecord {
    int led;
    int mode, speed;
};

struct Lighting {
    int mode, speed, multiColor;
    std::vector<PerLedRecord> perLed;
};

// What the thread showed: the frames it made (each differing from the one
// before), the LED reports sent, and how often it woke.
struct Played {
    std::vector<LedFrame> frames;
    std::vector<HeadsetLedReport> reports;
    int wakes = 0;
};

template <class Device>
class HostLightingPace : public test::VirtualPageTest {
protected:
    void TearDown() override {
        devicePage.reset();
        device.reset();
        SetDefaultAudioLibraryPath("");
    }
    void Plug(const char* product, const char* layout) {
        product_ = product;
        layout_ = layout;
        rig.hub.Plug(product);
    }
    // A fresh device with the lighting in its profile, on a clock at tick 0.
    void MakeWith(const Lighting& lighting) {
        devicePage.reset();
        device = MakeDevice<Device>(layout_);
        rig.Open(device->Transport(), product_, LinkWired);
        clock = std::make_shared<ManualTickClock>();
        device->SetTickClock(clock);
        // Each run starts from the factory profile, not the one the run before left.
        device->SetProfilePaths();
        std::filesystem::remove(device->GetProfilePath());
        device->LoadAssignments();
        Json::Value document = LoadJson(device->GetProfilePath());
        Json::Value& section = document["Device"][0];
        section["LightInfo"]["SelectItem"] = lighting.mode;
        section["LightInfo"]["Speed"] = lighting.speed;
        section["LightInfo"]["MultiColor"] = lighting.multiColor;
        section["LightList"] = Json::Value(Json::arrayValue);
        for (const PerLedRecord& record : lighting.perLed) {
            Json::Value& entry = section["LightList"][record.led];
            entry["LEDREGMode"] = record.mode;
            entry["LEDSpeed"] = record.speed;
            entry["LEDBrightness"] = 4;
            entry["LEDMultiColor"] = 1;
            entry["red"] = 200;
        }
        SaveJson(device->GetProfilePath(), document);
        device->LoadAssignments();
        rig.hub.Traffic().Clear();
    }
    // Plays the ticks as the thread would: on every tick, or on the ticks
    // the device asks to be woken at (none: it waits to be woken).
    Played Play(const Lighting& lighting, bool everyTick) {
        MakeWith(lighting);
        Played played;
        played.frames.push_back(device->FrameCopy());
        for (;;) {
            const std::optional<uint64_t> due = everyTick ? clock->Ticks() + 1 : device->NextLightingTick();
            if (!due || *due > kPlayedTicks) break;
            clock->Set(*due);
            device->AdvanceLighting();
            ++played.wakes;
            const LedFrame frame = device->FrameCopy();
            if (played.frames.back() != frame) played.frames.push_back(frame);
            for (const TrafficEntry& entry : rig.hub.Traffic().Entries())
                if (entry.viaControlPipe) {
                    HeadsetLedReport report{};
                    std::copy_n(entry.request.begin(), report.size(), report.begin());
                    played.reports.push_back(report);
                }
            rig.hub.Traffic().Clear();
        }
        return played;
    }
    void ExpectSameAsEveryTick(const Lighting& lighting, int highestWakes) {
        SCOPED_TRACE(testing::Message() << "mode " << lighting.mode << " speed " << lighting.speed << " per-LED records "
                                        << lighting.perLed.size());
        const Played reference = Play(lighting, true);
        const Played paced = Play(lighting, false);
        EXPECT_EQ(paced.frames, reference.frames);
        EXPECT_EQ(paced.reports, reference.reports);
        EXPECT_LE(paced.wakes, highestWakes);
    }

    std::unique_ptr<Device> device;
    std::shared_ptr<ManualTickClock> clock;
    const char* product_ = nullptr;
    const char* layout_ = nullptr;
};

// Wakes of a thread that steps every `threshold` ticks over the played time.
constexpr int StepWakes(int speed) { return static_cast<int>(kPlayedTicks) / kStepThreshold[speed]; }
constexpr int kEveryTick = static_cast<int>(kPlayedTicks);

using PadPace = HostLightingPace<CVantrelMousePadDevice>;

TEST_F(PadPace, WakesForItsStepsAndMovingPerLedRulesOnlyAndShowsTheSameFrames) {
    Plug("mousepad", "mousepaddevice.ui");
    ExpectSameAsEveryTick({0, 0, 1, {}}, StepWakes(0));  // wave
    ExpectSameAsEveryTick({0, 2, 0, {}}, StepWakes(2));
    ExpectSameAsEveryTick({1, 1, 1, {}}, StepWakes(1));  // spectrum
    ExpectSameAsEveryTick({4, 3, 1, {}}, StepWakes(3));  // blink, on the tick count
    ExpectSameAsEveryTick({6, 0, 1, {}}, StepWakes(0));  // LED trail
    // A static LED over the wave changes the frame once (the first tick), then
    // nothing between steps; a breathing or a blinking one moves on every tick.
    ExpectSameAsEveryTick({0, 0, 1, {{3, 1, 0}}}, StepWakes(0) + 1);
    ExpectSameAsEveryTick({0, 0, 1, {{5, 0, 2}}}, kEveryTick);
    ExpectSameAsEveryTick({1, 0, 1, {{1, 2, 4}}}, kEveryTick);
    // Static with a static LED: drawn once, then the thread waits to be woken.
    ExpectSameAsEveryTick({3, 0, 0, {{3, 1, 0}}}, 3);
}

using HeadsetPace = HostLightingPace<CVantrelHS6533Device>;

TEST_F(HeadsetPace, SendsTheSameLedReportsWakingOnlyForItsSteps) {
    SetDefaultAudioLibraryPath(test::kFakeAudioLibraryPath);
    test::FakeAudioLibrary fake;
    Plug("headset", "hs6533device.ui");
    ExpectSameAsEveryTick({1, 2, 1, {}}, StepWakes(2));  // the factory effect: spectrum
    ExpectSameAsEveryTick({0, 0, 1, {}}, StepWakes(0));  // wave, 16 wheel entries apart
    ExpectSameAsEveryTick({0, 1, 0, {}}, StepWakes(1));
    ExpectSameAsEveryTick({2, 1, 0, {}}, StepWakes(1));  // breathing
    ExpectSameAsEveryTick({4, 3, 1, {}}, StepWakes(3));  // blink
    ExpectSameAsEveryTick({7, 4, 1, {}}, StepWakes(4));  // paired trail, every tick at speed 4
    ExpectSameAsEveryTick({5, 2, 1, {}}, StepWakes(2));  // the custom steps
    ExpectSameAsEveryTick({0, 0, 1, {{2, 3, 1}}}, kEveryTick);  // a cycling LED
    ExpectSameAsEveryTick({8, 0, 0, {}}, 3);  // off: one frame, then still

    // Animated or not, the reports are sent only when their bytes change.
    const Played spectrum = Play({1, 2, 1, {}}, false);
    ASSERT_GT(spectrum.reports.size(), 12u);
    EXPECT_EQ(spectrum.reports.size() % 12, 0u);
    EXPECT_EQ(spectrum.reports[0][1], 0x22);
    EXPECT_EQ(spectrum.reports[0][2], 0xAA);
    for (size_t i = 12; i < spectrum.reports.size(); i += 12)
        EXPECT_FALSE(std::equal(spectrum.reports.begin() + i, spectrum.reports.begin() + i + 12,
                                spectrum.reports.begin() + i - 12));
    EXPECT_EQ(Play({3, 0, 0, {}}, false).reports.size(), 12u);  // static: one refresh
}

// What the headset's LEDs are told, per LED target, LED and colour, read
// back from one refresh's reports: plane bytes AA-AC carry red, green and
// blue of LEDs 0-6, AD-AF those of LEDs 7-12.
using LedPlanes = std::map<uint8_t, std::array<std::array<int, 3>, hs6533_leds::kLeds>>;

LedPlanes DecodeRefresh(const std::vector<HeadsetLedReport>& reports) {
    LedPlanes planes;
    for (const HeadsetLedReport& report : reports) {
        const int plane = report[2] - 0xAA;
        const size_t first = plane < 3 ? 0 : 7;
        for (size_t i = 0; first + i < hs6533_leds::kLeds && i < 7; ++i)
            planes[report[1]][first + i][plane % 3] = report[4 + i];
    }
    return planes;
}

// The same for a frame: each colour scaled by the LED's level, held to 247.
LedPlanes PlanesOf(const LedFrame& frame) {
    std::array<std::array<int, 3>, hs6533_leds::kLeds> leds{};
    for (size_t led = 0; led < leds.size() && led < frame.size(); ++led) {
        const LedEntry& e = frame[led];
        leds[led] = {std::min(e.red * e.level >> 8, 247), std::min(e.green * e.level >> 8, 247),
                     std::min(e.blue * e.level >> 8, 247)};
    }
    return {{0x22, leds}, {0x44, leds}};
}

// The frame is copied into buffers the thread keeps: every refresh must still
// carry the frame of the step just made, also when a new effect replaces the
// one streaming and when a still one ends the stream.
TEST_F(HeadsetPace, EachRefreshCarriesTheFrameOfItsStepAcrossEffectChanges) {
    SetDefaultAudioLibraryPath(test::kFakeAudioLibraryPath);
    test::FakeAudioLibrary fake;
    Plug("headset", "hs6533device.ui");
    MakeWith({1, 4, 1, {}});  // spectrum, fastest
    LedPlanes shown;
    int refreshes = 0;
    const auto playSteps = [&](int steps) {
        for (int i = 0; i < steps; ++i) {
            const std::optional<uint64_t> due = device->NextLightingTick();
            if (!due) return;
            clock->Set(*due);
            device->AdvanceLighting();
            std::vector<HeadsetLedReport> sent;
            for (const TrafficEntry& entry : rig.hub.Traffic().Entries())
                if (entry.viaControlPipe) std::copy_n(entry.request.begin(), 17, sent.emplace_back().begin());
            rig.hub.Traffic().Clear();
            const LedPlanes expected = PlanesOf(device->FrameCopy());
            if (!sent.empty()) {
                ASSERT_EQ(sent.size(), hs6533_leds::kReportsPerRefresh) << "tick " << *due;
                shown = DecodeRefresh(sent);
                ++refreshes;
            }
            ASSERT_EQ(shown, expected) << "tick " << *due << (sent.empty() ? ", nothing sent" : "");
        }
    };
    playSteps(20);
    EXPECT_GE(refreshes, 15);  // the spectrum moves at nearly every step

    LightInfo info = device->GetLightInfo();
    info.selectItem = 2, info.speed = 4, info.multiColor = 0;  // breathing, one colour
    info.red = 250, info.green = 40, info.blue = 0;
    ASSERT_EQ(device->CommitLightInfo(info), kResultSuccess);
    refreshes = 0;
    playSteps(20);
    EXPECT_GE(refreshes, 15);

    info.selectItem = 3, info.light = 4;  // static: one refresh, then the thread rests
    info.red = 0, info.green = 90, info.blue = 200;
    ASSERT_EQ(device->CommitLightInfo(info), kResultSuccess);
    refreshes = 0;
    playSteps(10);
    EXPECT_EQ(refreshes, 1);
    EXPECT_FALSE(device->NextLightingTick());
    EXPECT_EQ(shown.at(0x44)[12][0], 0);
    EXPECT_GT(shown.at(0x44)[12][1], 0);
    EXPECT_GT(shown.at(0x44)[12][2], shown.at(0x44)[12][1]);
}

TEST_F(HeadsetPace, ARefusedLedReportIsSentAgainAtTheNextStepBeforeTheThreadRests) {
    SetDefaultAudioLibraryPath(test::kFakeAudioLibraryPath);
    test::FakeAudioLibrary fake;
    Plug("headset", "hs6533device.ui");
    MakeWith({3, 0, 0, {}});
    rig.hub.InjectFault("headset", kOutputReportFault, 1);
    auto& firmware = *dynamic_cast<LightRecordFirmware*>(rig.hub.Firmware("headset"));
    int wakes = 0;
    while (const std::optional<uint64_t> due = device->NextLightingTick()) {
        ASSERT_LT(++wakes, 10);
        clock->Set(*due);
        device->AdvanceLighting();
    }
    // The first refresh lost its first report; the next step sent all twelve again.
    std::vector<bool> dropped;
    for (const TrafficEntry& entry : rig.hub.Traffic().Entries())
        if (entry.viaControlPipe) dropped.push_back(entry.dropped);
    ASSERT_EQ(dropped.size(), 24u);
    EXPECT_TRUE(dropped[0]);
    EXPECT_EQ(std::count(dropped.begin(), dropped.end(), true), 1);
    const LedEntry first = device->FrameCopy()[0];
    ASSERT_GT(first.blue, 0);
    EXPECT_EQ((firmware.Planes()[{0x44, 0xAC}][0]), std::min(first.blue * first.level >> 8, 247));
    EXPECT_EQ(wakes, 2);  // the step that drew the frame, the step that sent it again and found all still
}

}  // namespace
}  // namespace m470
