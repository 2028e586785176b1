// Effect speeds on a manual 64 Hz clock, and when the picture's timer runs.
#include <gtest/gtest.h>

#include "support/PlainDevice.h"
#include "devices/LightingTables.h"
#include "devices/VantrelUSBDevice.h"
#include "pages/DevicePage.h"
#include "ui/MemoryControlTree.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

// A mouse-mode device on a clock the test moves, the way its lighting
// thread would see it after each wait.
class LightingPace : public ::testing::Test {
protected:
    void SetUp() override {
        device.SetLedCount(20);
        device.SetTickClock(clock);
    }
    void Show(uint8_t mode, uint8_t speed, uint8_t direction = 1) {
        LightInfo info;
        info.selectItem = mode;
        info.light = 4;
        info.speed = speed;
        info.fx = direction;
        info.red = 255;
        device.SetLightInfo(info.Words(), info.HalfWord());
    }
    // Moves the clock on tick by tick, as a thread woken at every step would.
    void RunTicks(uint64_t ticks) {
        for (uint64_t i = 0; i < ticks; ++i) {
            clock->Advance(1);
            device.AdvanceLighting();
        }
    }
    uint8_t Level() const { return device.FrameCopy()[0].level; }

    std::shared_ptr<ManualTickClock> clock = std::make_shared<ManualTickClock>();
    test::PlainDevice device{DeviceKind::Mouse};
};

TEST_F(LightingPace, BreathingAtSpeedFourTakesTwoSecondsAndAtSpeedZeroSixteen) {
    Show(0, 4);
    RunTicks(64);  // one second: the top of the breath
    EXPECT_EQ(Level(), kBreathCurve[64] * 255 / 256);
    EXPECT_EQ(Level(), 254);
    RunTicks(64);  // two seconds: out again
    EXPECT_EQ(Level(), 0);

    Show(0, 0);
    RunTicks(64);  // a step every 8 ticks: one second is 8 steps of 128
    EXPECT_EQ(Level(), kBreathCurve[8] * 255 / 256);
    RunTicks(7 * 64);
    EXPECT_EQ(Level(), 254);  // the top after 8 s
}

TEST_F(LightingPace, ALateWakeRunsEveryStepThatIsDue) {
    Show(0, 4);
    clock->Advance(32);  // half a second in one wait
    device.AdvanceLighting();
    EXPECT_EQ(Level(), kBreathCurve[32] * 255 / 256);
    clock->Advance(10 * 64);  // a stall: at most a second is caught up
    device.AdvanceLighting();
    EXPECT_EQ(Level(), kBreathCurve[(32 + 64) % 128] * 255 / 256);
}

TEST_F(LightingPace, BlinkTogglesAfterItsPeriodOnTheTickCount) {
    Show(4, 4);  // 200 ms: the tick count reaches 203 ms at tick 13
    RunTicks(12);
    EXPECT_EQ(Level(), 0);
    RunTicks(1);
    EXPECT_EQ(Level(), 255);
    RunTicks(12);
    EXPECT_EQ(Level(), 255);
    RunTicks(1);  // 406 ms
    EXPECT_EQ(Level(), 0);

    // 1600 ms from the toggle at 406 ms is 2006 ms (tick 129); at speed 0
    // the step runs every 8 ticks, so the light comes on at tick 130.
    Show(4, 0);
    RunTicks(103);
    EXPECT_EQ(Level(), 0);
    RunTicks(1);
    EXPECT_EQ(Level(), 255);
}

TEST_F(LightingPace, WaveRepeatsEveryNinetySixStepsOneAndAHalfSecondsAtSpeedFour) {
    Show(9, 4);
    RunTicks(1);
    const LedFrame first = device.FrameCopy();
    RunTicks(48);
    EXPECT_NE(device.FrameCopy(), first);
    RunTicks(48);  // 96 ticks = 1.5 s later
    EXPECT_EQ(device.FrameCopy(), first);
}

// The picture's timer 1000 on a device with a page and a UI queue.
class PreviewTimer : public ::testing::Test {
protected:
    void SetUp() override {
        rig.hub.Plug("mouse");
        rig.Open(device.Transport(), "mouse", LinkWired);
        device.SetLedCount(20);
        device.SetTickClock(clock);
        devicePage = std::make_unique<CDevicePage>(device, host, page, nullptr);
        device.SetUiInvoker([](std::function<void()> work) { work(); });
        device.SetTimerRequester([this](int id, int delayMs) { requests.push_back({id, delayMs}); });
        LightInfo info;
        info.selectItem = 2;  // static: the hardware runs it, the frame only feeds the picture
        device.SetLightInfo(info.Words(), info.HalfWord());
        requests.clear();
    }
    std::shared_ptr<ManualTickClock> clock = std::make_shared<ManualTickClock>();
    test::VirtualRig rig;
    ui::MemoryControlHost host;
    ui::MemoryControl* page = host.CreateControl("QWidget", "device_page", nullptr);
    test::PlainDevice device{DeviceKind::Mouse, rig.hub.Backend()};
    std::unique_ptr<CDevicePage> devicePage;
    std::vector<TimerRequest> requests;
};

TEST_F(PreviewTimer, RunsOnlyWhileFramesMoveAndCanBeSeen) {
    // Only the picture wants the frame, so the timer steps the effect: it
    // waits for the static effect's first step, then, the frame not moving,
    // stops instead of firing 100 times a second.
    EXPECT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 33}}));
    clock->Advance(64);
    EXPECT_EQ(device.OnRenderTimer(), std::vector<TimerRequest>{});
    // A new frame starts it again, once, however many frames follow, and
    // not sooner than a frame time (33 ms) after the last one drawn.
    device.SetLedColour(0, 0x10203040);
    device.SetLedColour(1, 0x10203040);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].id, kTimerRender);
    EXPECT_GT(requests[0].delayMs, 20);
    EXPECT_LE(requests[0].delayMs, 33);
    EXPECT_EQ(device.OnRenderTimer(), std::vector<TimerRequest>{});  // both drawn: idle again

    // Minimised: new frames ask for nothing; restored, the picture runs again.
    requests.clear();
    device.SetWindowActive(false);
    device.SetLedColour(3, 0x10203040);
    EXPECT_TRUE(requests.empty());
    device.SetWindowActive(true);
    EXPECT_EQ(requests.size(), 1u);

    // Another page shown: the timer finds it hidden and stops; frames ask for nothing.
    EXPECT_EQ(device.OnRenderTimer(), std::vector<TimerRequest>{});
    page->SetVisible(false);
    device.SetLedColour(4, 0x10203040);
    EXPECT_EQ(device.OnRenderTimer(), std::vector<TimerRequest>{});
    requests.clear();
    device.SetLedColour(5, 0x10203040);
    EXPECT_TRUE(requests.empty());
}

TEST_F(PreviewTimer, TheShownPictureStepsItsEffectWhereItIsDrawn) {
    LightInfo info;
    info.selectItem = 0;  // breathing, a step every tick at speed 4
    info.light = 4;
    info.speed = 4;
    info.fx = 1;
    info.red = 255;
    device.SetLightInfo(info.Words(), info.HalfWord());
    ASSERT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 33}}));
    // Each timer runs the steps owed since the last, as the lighting thread
    // would (the same frames), and asks again no sooner than a frame time.
    clock->Advance(32);
    EXPECT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 33}}));
    EXPECT_EQ(device.FrameCopy()[0].level, kBreathCurve[32] * 255 / 256);
    clock->Advance(32);
    device.OnRenderTimer();
    EXPECT_EQ(device.FrameCopy()[0].level, kBreathCurve[64] * 255 / 256);

    // Hidden, the picture neither steps nor asks again.
    page->SetVisible(false);
    clock->Advance(16);
    EXPECT_EQ(device.OnRenderTimer(), std::vector<TimerRequest>{});
    EXPECT_EQ(device.FrameCopy()[0].level, kBreathCurve[64] * 255 / 256);

    // The audio effect streams its frame: the timer keeps the stream's rate
    // and leaves the steps to the lighting thread.
    page->SetVisible(true);
    device.ShowPreview();
    info.selectItem = 11;
    device.SetLightInfo(info.Words(), info.HalfWord());
    const LedFrame before = device.FrameCopy();
    clock->Advance(8);
    EXPECT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 10}}));
    EXPECT_EQ(device.FrameCopy(), before);
}

TEST_F(PreviewTimer, TheAudioStreamKeepsItsRateWhateverShows) {
    LightInfo info;
    info.selectItem = 11;
    device.SetLightInfo(info.Words(), info.HalfWord());
    device.SetWindowActive(false);
    EXPECT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 10}}));
    device.Transport().SetLinkMode(LinkReceiver);
    EXPECT_EQ(device.OnRenderTimer(), (std::vector<TimerRequest>{{kTimerRender, 50}}));
}

}  // namespace
}  // namespace m470
