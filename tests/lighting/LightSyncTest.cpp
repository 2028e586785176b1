#include <gtest/gtest.h>

#include "devices/LightingTables.h"
#include "devices/MousePadDevice.h"
#include "lighting/LightSync.h"
#include "platform/DebugTrace.h"
#include "support/Eventually.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

SharedLighting Shared(SharedEffect effect, uint8_t brightness = 4, uint8_t speed = 4) {
    SharedLighting shared;
    shared.effect = effect;
    shared.brightness = brightness;
    shared.speed = speed;
    shared.direction = 1;
    shared.red = 10, shared.green = 20, shared.blue = 30;
    return shared;
}

TEST(SharedEffectSteps, EachEffectsColourAndLevel) {
    SyncPhases phases;
    const LedEntry fixed = StepSharedEffect(Shared(SharedEffect::Static, 2), phases, 0);
    EXPECT_EQ(fixed, (LedEntry{10, 20, 30, kBrightnessScale[2]}));
    EXPECT_EQ(StepSharedEffect(Shared(SharedEffect::Off), phases, 0), LedEntry{});

    // Breathing follows the curve; with seven colours the wheel moves while the phase is below 2.
    SharedLighting breathing = Shared(SharedEffect::Breathing, 4);
    const LedEntry first = StepSharedEffect(breathing, phases, 0);
    EXPECT_EQ(phases.breath, 1);
    EXPECT_EQ(first.level, 255 * kBreathCurve[1] / 256);
    EXPECT_EQ(first.red, 10);
    breathing.sevenColour = 1;
    phases = {};
    StepSharedEffect(breathing, phases, 0);  // phase 1
    StepSharedEffect(breathing, phases, 0);  // phase 2: the wheel stays
    EXPECT_EQ(phases.colourIndex, 16);
    for (int i = 0; i < 126; ++i) StepSharedEffect(breathing, phases, 0);  // back to phase 0
    EXPECT_EQ(phases.breath, 0);
    EXPECT_EQ(phases.colourIndex, 32);

    // Colour cycle always runs forwards, whatever the direction.
    SharedLighting cycle = Shared(SharedEffect::ColourCycle, 3);
    cycle.direction = 0;
    phases = {};
    const LedEntry wheel = StepSharedEffect(cycle, phases, 0);
    EXPECT_EQ(phases.cycle, 1);
    EXPECT_EQ(wheel, (LedEntry{kColourWheel[1].red, kColourWheel[1].green, kColourWheel[1].blue, kBrightnessScale[3]}));
}

TEST(SharedEffectSteps, BlinkTogglesAfterTheSpeedsPeriod) {
    SyncPhases phases;
    SharedLighting blink = Shared(SharedEffect::Blink, 4, 2);  // 4 × 200 ms
    blink.sevenColour = 1;
    const LedEntry on = StepSharedEffect(blink, phases, 1000);
    EXPECT_TRUE(phases.blinkOn);
    EXPECT_EQ(phases.blinkColour, 14);
    EXPECT_EQ(on.red, kColourWheel[14].red);
    EXPECT_EQ(StepSharedEffect(blink, phases, 1799).level, 255);  // not yet
    EXPECT_EQ(StepSharedEffect(blink, phases, 1800), LedEntry{});
    phases.blinkColour = 182;
    StepSharedEffect(blink, phases, 2600);
    EXPECT_EQ(phases.blinkColour, 0);  // 196 would be past the wheel
}

TEST(LightSyncWorker, EverySynchronisedDeviceGetsTheSameFrame) {
    test::VirtualRig rig;
    CVantrelMousePadDevice a(rig.hub.Backend()), b(rig.hub.Backend()), c(rig.hub.Backend());
    for (auto* pad : {&a, &b, &c}) {
        pad->StopLightingThread();
        pad->SetLedCount(15);
    }
    a.SetSynced(true);
    b.SetSynced(true);
    c.SetLedColour(0, 0x01020304);
    CLightSync sync([] { return 0; });
    sync.SetShared(Shared(SharedEffect::ColourCycle, 4, 2));
    sync.SetDevices({&a, &b, &c});

    // Speed 2 steps every 4 counted ticks; a tick counts when the clock moved 2 ms or more.
    EXPECT_FALSE(sync.Tick(2));
    EXPECT_FALSE(sync.Tick(3));  // 1 ms: not counted
    EXPECT_FALSE(sync.Tick(5));
    EXPECT_FALSE(sync.Tick(7));
    EXPECT_TRUE(sync.Tick(9));
    EXPECT_EQ(sync.Phases().cycle, 1);
    const LedFrame frame = a.FrameCopy();
    ASSERT_EQ(frame.size(), 15u);
    for (const LedEntry& led : frame) EXPECT_EQ(led, (LedEntry{kColourWheel[1].red, kColourWheel[1].green, kColourWheel[1].blue, 255}));
    EXPECT_EQ(b.FrameCopy(), frame);
    EXPECT_EQ(c.FrameCopy()[0], LedEntry::FromPacked(0x01020304));  // not synchronised: untouched
}

TEST(LightSyncWorker, StopsPromptlyWithItsTraceLine) {
    DebugTrace::Clear();
    CLightSync sync;
    StoppableThread worker;
    worker.Start([&](const StopEvent& stop) { sync.Run(stop); });
    EXPECT_EQ(worker.Stop(std::chrono::milliseconds(500)), StoppableThread::StopResult::Ended);
    const auto lines = DebugTrace::Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "同步灯光线程设定退出"), lines.end());
}

// With nothing synchronised the worker rests without a timeout; a new
// shared effect over a synchronised, open device sets it stepping.
TEST(LightSyncWorker, RestsUntilADeviceIsSynchronisedThenSteps) {
    test::VirtualRig rig;
    CVantrelMousePadDevice pad(rig.hub.Backend());
    pad.StopLightingThread();
    pad.SetLedCount(15);
    CLightSync sync;
    sync.SetDevices({&pad});
    StoppableThread worker;
    worker.Start([&](const StopEvent& stop) { sync.Run(stop); });
    ASSERT_TRUE(test::Eventually([&] { return sync.Resting(); }));

    pad.Transport().SetOpened(true);
    pad.SetSynced(true);
    sync.SetShared(Shared(SharedEffect::ColourCycle, 4, 0));
    ASSERT_TRUE(test::Eventually([&] { return sync.Phases().cycle > 0; }));
    EXPECT_FALSE(sync.Resting());
    EXPECT_EQ(pad.FrameCopy()[0].level, 255);

    // Unplugged (no devices): resting again, and it still stops at once.
    sync.SetDevices({});
    ASSERT_TRUE(test::Eventually([&] { return sync.Resting(); }));
    EXPECT_EQ(worker.Stop(std::chrono::milliseconds(500)), StoppableThread::StopResult::Ended);
}

}  // namespace
}  // namespace m470
