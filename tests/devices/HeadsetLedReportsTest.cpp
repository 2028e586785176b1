#include <gtest/gtest.h>

#include "devices/HeadsetLedReports.h"
#include "devices/LightingSteps.h"

namespace m470 {
namespace {

TEST(HeadsetLeds, TwelveReportsPerRefreshInTheirOrderWithClippedPlanes) {
    LedFrame frame(13);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = {static_cast<uint8_t>(10 * i), static_cast<uint8_t>(i), 0, 255};
    frame[0] = {255, 255, 255, 255};  // 254: held to 247
    frame[12] = {0, 128, 200, 128};   // 64 and 100
    const auto reports = BuildLedReports(frame);
    const uint8_t order[12][2] = {{0x22, 0xAA}, {0x22, 0xAD}, {0x44, 0xAA}, {0x44, 0xAD}, {0x22, 0xAB}, {0x22, 0xAE},
                                  {0x44, 0xAB}, {0x44, 0xAE}, {0x22, 0xAC}, {0x22, 0xAF}, {0x44, 0xAC}, {0x44, 0xAF}};
    for (size_t r = 0; r < 12; ++r) {
        EXPECT_EQ(reports[r][0], 0xFF) << r;
        EXPECT_EQ(reports[r][1], order[r][0]) << r;
        EXPECT_EQ(reports[r][2], order[r][1]) << r;
        EXPECT_EQ(reports[r][3], 0) << r;
        for (size_t b = 11; b < 17; ++b) EXPECT_EQ(reports[r][b], 0) << r << " byte " << b;
    }
    // Red, LEDs 0-6, then 7-12 with byte 10 left 0.
    EXPECT_EQ(reports[0][4], 247);
    EXPECT_EQ(reports[0][5], 9);  // 10 × 255 >> 8
    EXPECT_EQ(reports[0][10], 59);
    EXPECT_EQ(reports[1][4], 69);
    EXPECT_EQ(reports[1][9], 0);  // LED 12 has no red
    EXPECT_EQ(reports[1][10], 0);
    EXPECT_EQ(reports[2], (HeadsetLedReport{0xFF, 0x44, 0xAA, 0, 247, 9, 19, 29, 39, 49, 59, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(reports[5][9], 64);  // green of LED 12
    EXPECT_EQ(reports[9][9], 100);  // blue of LED 12
    EXPECT_EQ(reports[8][4], 247);

    // A short frame sends zeros for the LEDs it lacks.
    const auto dark = BuildLedReports(LedFrame(3, LedEntry{100, 100, 100, 255}));
    EXPECT_EQ(dark[0][6], 99);
    EXPECT_EQ(dark[0][7], 0);
    EXPECT_EQ(dark[1][4], 0);
}

TEST(HeadsetSteps, WaveSpacesLedsSixteenWheelEntriesOrTenCurveEntriesApart) {
    LedFrame frame(13);
    EffectState state;
    LightingState light;
    light.brightness = 4;
    light.direction = 1;
    light.multiColor = 1;
    StepPadWave(state, light, frame, kHeadsetWave);
    ASSERT_EQ(state.phase, 1);
    const Rgb wheel2 = kColourWheel[2], wheel18 = kColourWheel[18];
    EXPECT_EQ(frame[0].red, wheel2.red);
    EXPECT_EQ(frame[0].blue, wheel2.blue);
    EXPECT_EQ(frame[1].green, wheel18.green);
    EXPECT_EQ(frame[1].red, wheel18.red);

    light.multiColor = 0;
    light.colour = {200, 0, 0};
    EffectState single;
    StepPadWave(single, light, frame, kHeadsetWave);
    EXPECT_EQ(single.phase, 3);  // three curve entries per run
    EXPECT_EQ(frame[0].level, static_cast<uint8_t>(light.Scale() * kWaveCurve[3] / 256));
    EXPECT_EQ(frame[2].level, static_cast<uint8_t>(light.Scale() * kWaveCurve[23] / 256));
}

TEST(HeadsetSteps, PairedTrailLightsLedsOneAndFourteenAndSkipsTheLatter) {
    LedFrame frame(13);
    EffectState state;
    PadTrailState trail;
    LightingState light;
    light.mode = 7;
    light.brightness = 4;
    light.colour = {0, 0, 255};
    for (int run = 0; run < 6; ++run) StepPadTrail(state, trail, light, frame, true, 1);
    ASSERT_EQ(frame.size(), 13u);  // LED 14 lies outside the frame: nothing written there
    // Position i takes the level of ring place i + 1.
    for (size_t i = 0; i < 7; ++i) {
        const uint8_t want = static_cast<uint8_t>(light.Scale() * trail.trail.levels[i + 1] / 256);
        EXPECT_EQ(frame[i + 1].level, want) << i;
        if (14 - i < frame.size()) EXPECT_EQ(frame[14 - i].level, want) << i;
    }
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

TEST(HeadsetSteps, OnlyBreathingCyclingOrBlinkingRecordsMoveTheirLeds) {
    PerLedState state;
    state.records.resize(13);  // null entries: mode 0 without the valid flag
    EXPECT_FALSE(PerLedRecordsMove(state));
    state.records[4].mode = 1;  // static
    state.records[5].mode = 4;  // off
    state.records[6].mode = 3;  // cycle without its flag
    EXPECT_FALSE(PerLedRecordsMove(state));
    state.records[6].valid = 1;
    EXPECT_TRUE(PerLedRecordsMove(state));
    state.records[6].valid = 0;
    state.records[7].mode = 2;  // blink runs without the flag
    EXPECT_TRUE(PerLedRecordsMove(state));
}

}  // namespace
}  // namespace m470
