#include <gtest/gtest.h>

#include "devices/AudioRenderers.h"
#include "devices/LightingSteps.h"

namespace m470 {
namespace {

LightingState Light(uint8_t mode, uint8_t brightness, uint8_t speed, uint8_t direction, uint8_t multi, Rgb colour = {10, 20, 30}) {
    LightingState light;
    light.mode = mode;
    light.brightness = brightness;
    light.speed = speed;
    light.direction = direction;
    light.multiColor = multi;
    light.colour = colour;
    return light;
}

TEST(LightingTables, AnchorEntries) {
    EXPECT_EQ(kColourWheel[0], (Rgb{255, 1, 0}));
    EXPECT_EQ(kColourWheel[32], (Rgb{248, 255, 0}));
    EXPECT_EQ(kColourWheel[64], (Rgb{0, 255, 1}));
    EXPECT_EQ(kColourWheel[96], (Rgb{0, 248, 255}));
    EXPECT_EQ(kColourWheel[128], (Rgb{1, 0, 255}));
    EXPECT_EQ(kColourWheel[160], (Rgb{255, 0, 248}));
    EXPECT_EQ(kColourWheel[191], (Rgb{255, 0, 0}));
    EXPECT_EQ(kBreathCurve[63], 255);
    EXPECT_EQ(kBreathCurve[64], 255);
    EXPECT_EQ(kBreathCurve[127], 0);
    EXPECT_EQ(kBreathCurve[18], 27);
    EXPECT_EQ(kWaveCurve[0], 22);
    EXPECT_EQ(kWaveCurve[47], 255);
    EXPECT_EQ(kWaveCurve[95], 22);
}

TEST(LightingSteps, PhaseStepWrapsBothWays) {
    EXPECT_EQ(PhaseStep(0, 128, 0, 1), 127);
    EXPECT_EQ(PhaseStep(1, 128, 127, 1), 0);
    EXPECT_EQ(PhaseStep(1, 192, 10, 5), 15);
    EXPECT_EQ(PhaseStep(0, 192, 3, 5), 187);
}

TEST(LightingSteps, BreathingLevelsFollowTheCurve) {
    LedFrame frame(3);
    EffectState state;
    const auto at = [&](uint8_t before, uint8_t direction) {
        state.phase = before;
        StepBreathing(state, Light(0, 4, 0, direction, 0), frame);
        return frame[0].level;
    };
    EXPECT_EQ(at(62, 1), 255 * 255 / 256);  // phase 63
    EXPECT_EQ(at(63, 1), 255 * 255 / 256);  // phase 64
    EXPECT_EQ(at(127, 1), 0);               // phase 0
    EXPECT_EQ(at(0, 0), 0);                 // phase 127
    EXPECT_EQ(at(17, 1), 27 * 255 / 256);   // phase 18
    EXPECT_EQ(frame[2], (LedEntry{10, 20, 30, 26}));

    // The colour index moves on by 16 each time the phase wraps to 0, and
    // starts over at the end of the wheel.
    state = EffectState{};
    state.colourIndex = 176;
    state.phase = 127;
    StepBreathing(state, Light(0, 4, 0, 1, 1), frame);
    EXPECT_EQ(state.colourIndex, 0);
    EXPECT_EQ(frame[0].red, kColourWheel[0].red);

    state = EffectState{};
    state.paletteIndex = 3;
    state.phase = 127;
    StepBreathingPalette(state, Light(7, 2, 0, 1, 0), frame);
    EXPECT_EQ(state.paletteIndex, 0);
    EXPECT_EQ(frame[1].green, 255);
    EXPECT_EQ(frame[1].blue, 180);
}

TEST(LightingSteps, StaticSpectrumAndOff) {
    LedFrame frame(2);
    EffectState state;
    StepStatic(state, Light(2, 2, 0, 0, 0), frame);
    EXPECT_EQ(frame[1], (LedEntry{10, 20, 30, 135}));
    StepSpectrum(state, Light(1, 1, 0, 1, 0), frame);
    EXPECT_EQ(frame[0], (LedEntry{255, 3, 0, 80}));
    StepOff(state, Light(3, 4, 0, 0, 0), frame);
    EXPECT_EQ(frame[0], (LedEntry{0, 0, 0, 0}));
}

TEST(LightingSteps, BlinkPeriodsPerSpeed) {
    LedFrame frame(1);
    for (auto [speed, period] : {std::pair<uint8_t, uint64_t>{0, 1600}, {4, 200}, {2, 800}}) {
        EffectState state;
        state.lastToggleMs = 1000;
        const LightingState light = Light(4, 4, speed, 0, 0);
        StepBlink(state, light, frame, 1000 + period - 1);
        EXPECT_FALSE(state.blinkOn) << int(speed);
        EXPECT_EQ(frame[0].level, 0);
        StepBlink(state, light, frame, 1000 + period);
        EXPECT_TRUE(state.blinkOn);
        EXPECT_EQ(frame[0], (LedEntry{10, 20, 30, 255}));
        StepBlink(state, light, frame, 1000 + 2 * period);
        EXPECT_FALSE(state.blinkOn);
    }
    EffectState palette;
    StepBlinkPalette(palette, Light(8, 3, 4, 0, 0), frame, 200);
    EXPECT_EQ(palette.paletteIndex, 1);
    EXPECT_EQ(frame[0], (LedEntry{0, 255, 0, 195}));
}

TEST(LightingSteps, MouseWavePositions) {
    LedFrame frame(20);
    EffectState state;
    StepMouseWave(state, Light(9, 4, 0, 1, 1), frame);
    EXPECT_EQ(state.phase, 1);
    EXPECT_EQ(frame[13], (LedEntry{255, 5, 0, 255}));   // position 0: wheel[2]
    EXPECT_EQ(frame[7], (LedEntry{104, 255, 0, 255}));  // position 6: wheel[44]
    EXPECT_EQ(frame[19], LedEntry{});                   // no position

    state = EffectState{};
    StepMouseWave(state, Light(9, 4, 0, 1, 0), frame);
    EXPECT_EQ(frame[0], (LedEntry{10, 20, 30, static_cast<uint8_t>(255 * 27 / 256)}));
}

TEST(LightingSteps, TrailSeedsRotatesAndDecays) {
    TrailState trail;
    trail.levels[0] = 16;
    DecayTrail(trail, 0, 11);
    EXPECT_EQ(trail.levels[0], 15);
    const auto decay = [&](uint8_t level, int mode) {
        trail.levels[1] = level;
        DecayTrail(trail, 1, mode);
        return trail.levels[1];
    };
    EXPECT_EQ(decay(200, 0), 160);
    EXPECT_EQ(decay(150, 11), 105);
    EXPECT_EQ(decay(140, 11), 100);
    EXPECT_EQ(decay(100, 29), 75);
    EXPECT_EQ(decay(40, 5), 30);
    EXPECT_EQ(decay(20, 0), 12);
    EXPECT_EQ(decay(1, 0), 0);
    EXPECT_EQ(decay(0, 0), 0);
    DecayTrail(trail, 500, 0);  // outside: ignored

    ResetTrail(trail);
    trail.ring[22] = true;
    RotateTrail(trail, true);
    EXPECT_TRUE(trail.ring[0]);
    RotateTrail(trail, false);
    EXPECT_TRUE(trail.ring[22]);

    ResetTrail(trail);
    trail.ring[0] = true;
    LedFrame frame(20);
    EffectState state;
    StepMouseTrail(state, trail, Light(5, 4, 0, 1, 0), frame);
    EXPECT_TRUE(trail.ring[1]);
    EXPECT_EQ(trail.levels[0], 215);
    EXPECT_EQ(frame[13], (LedEntry{10, 20, 30, static_cast<uint8_t>(255 * 215 / 256)}));
    EXPECT_EQ(frame[1].level, 0);
}

TEST(LightingSteps, ReactionRisesAndFalls) {
    ReactionState reaction;
    ArmReaction(reaction, 3, [] { return 5u; });
    LedFrame frame(3);
    StepReaction(reaction, Light(6, 4, 0, 0, 1), frame);
    EXPECT_EQ(reaction.leds[0].stage, 2);
    EXPECT_EQ(frame[0].red, kColourWheel[5].red);
    StepReaction(reaction, Light(6, 4, 0, 0, 1), frame);
    EXPECT_EQ(reaction.leds[0].level, 240);
    reaction.leds[1] = {1, 200, 0};
    StepReaction(reaction, Light(6, 4, 0, 0, 0), frame);
    EXPECT_EQ(reaction.leds[1].level, 215);
    EXPECT_EQ(reaction.leds[1].stage, 1);
    for (int i = 0; i < 20; ++i) StepReaction(reaction, Light(6, 4, 0, 0, 0), frame);
    EXPECT_EQ(reaction.leds[0].stage, 0);
    EXPECT_EQ(frame[0].level, 0);
}

TEST(LightingSteps, CustomStepsAdvanceByTime) {
    std::vector<LedEffectStep> steps{{1, 4, 4, 0, 0, 1, 2, 3, 100, 0}, {5, 2, 4, 0, 0, 0, 0, 0, 50, 0}};
    CustomState state;
    LedFrame frame(2);
    StepCustom(state, steps, Light(10, 0, 0, 0, 0), frame, 0);
    EXPECT_EQ(frame[0], (LedEntry{1, 2, 3, 255}));  // static at its own brightness
    StepCustom(state, steps, Light(10, 0, 0, 0, 0), frame, 100);
    EXPECT_EQ(state.current, 0u);
    StepCustom(state, steps, Light(10, 0, 0, 0, 0), frame, 101);
    EXPECT_EQ(state.current, 1u);
    StepCustom(state, steps, Light(10, 0, 0, 0, 0), frame, 120);
    EXPECT_EQ(frame[1].level, 135);  // colour cycle at brightness 2
    StepCustom(state, {}, Light(10, 0, 0, 0, 0), frame, 130);
    EXPECT_EQ(frame[0], LedEntry{});

    // Breathing with seven colours moves one wheel entry per breath.
    std::vector<LedEffectStep> breath{{0, 4, 4, 0, 1, 0, 0, 0, 100000, 0}};
    CustomState breathing;
    for (int i = 0; i < 128; ++i) StepCustom(breathing, breath, Light(10, 0, 0, 0, 0), frame, 1);
    EXPECT_EQ(breathing.colourIndex, 1);
}

TEST(LightingSteps, PerLedRecordsDriveTheirLeds) {
    PerLedState perLed;
    perLed.records = {{1, 4, 0, 0, 0, 9, 8, 7, {0, 0}, 1}, {2, 3, 4, 0, 0, 1, 1, 1, {0, 0}, 1}, {4, 0, 0, 0, 0, 5, 5, 5, {0, 0}, 1},
                      {0, 4, 4, 0, 0, 6, 6, 6, {0, 0}, 0}};
    LedFrame frame(4, LedEntry{50, 50, 50, 50});
    RunPerLedRules(perLed, frame, 0, kPerLedAll, true);
    EXPECT_EQ(frame[0], (LedEntry{9, 8, 7, 255}));
    EXPECT_EQ(frame[1], (LedEntry{0, 0, 0, 0}));           // blink off until its period passed
    EXPECT_EQ(frame[2], (LedEntry{0, 0, 0, 0}));
    EXPECT_EQ(frame[3], (LedEntry{50, 50, 50, 50}));       // breathing needs a valid record
    RunPerLedRules(perLed, frame, 200, kPerLedAll, false);
    EXPECT_EQ(frame[1], (LedEntry{1, 1, 1, 195}));
    EXPECT_EQ(perLed.leds[1].colourIndex, 14);
}

TEST(AudioRenderers, FixedBandsGiveKnownFrames) {
    EffectState effect;
    AudioState audio;
    TrailState trail;
    AudioLightInfo info{1, 1, 2, 3, 200, 100, 50, 0, 0};
    LightingState light = Light(11, 4, 0, 1, 0);
    LedFrame frame(20);
    AudioScene scene{effect, audio, trail, light, info, frame};

    audio.bands.fill(2000);  // intensity 0: every bar lit in the foreground colour
    RenderAudioBars(scene);
    EXPECT_EQ(frame[14], (LedEntry{200, 100, 50, 255}));
    EXPECT_EQ(trail.levels[7], 255);
    EXPECT_EQ(audio.bands[0], 0);  // the store was taken

    RenderAudioBars(scene);  // cleared store: intensity 600, height 6, all background
    EXPECT_EQ(frame[14], (LedEntry{1, 2, 3, 255}));

    audio.bands.fill(2000);
    info.audioMode = 3;
    ResetTrail(trail);
    StepAudio(scene);
    EXPECT_EQ(trail.levels[15], 255);
    EXPECT_EQ(frame[15].level, 254);

    EXPECT_EQ(AudioIntensity(-2000, false), 1200);
    EXPECT_EQ(AudioIntensity(3000, false), -300);
    EXPECT_EQ(AudioIntensity(3000, true), 500);

    light.brightness = 0;
    for (uint8_t mode : {0, 1, 3, 5}) {
        info.audioMode = mode;
        audio.bands.fill(1000);
        StepAudio(scene);
        for (const LedEntry& led : frame) EXPECT_EQ(led.level, 0) << int(mode);
    }
}

TEST(AudioRenderers, RipplesSpreadFromTheirCell) {
    AudioState audio;
    StartRipple(audio, 7, 0);
    EXPECT_EQ(audio.r1[0], 0);
    StartRipple(audio, 7, 1);  // row 0, cell 1
    EXPECT_EQ(audio.r1[0], 0b010);
    EXPECT_EQ(audio.r4[0], 0b010);
    StartRipple(audio, 13, 1);  // row 6, cell 1
    ShiftRipples(audio);
    EXPECT_EQ(audio.r1[0], 0b001);
    EXPECT_EQ(audio.r4[0], 0b100);
    EXPECT_EQ(audio.r2[1], 0b010);   // moving down the rows
    EXPECT_EQ(audio.r1[5], 0b010);   // and up from row 6
    EXPECT_EQ(audio.r1[6], 0b001);

    EffectState effect;
    TrailState trail;
    LightRipples(audio, effect, trail, Light(11, 4, 0, 1, 1));
    EXPECT_EQ(trail.levels[6], 255);
    EXPECT_EQ(trail.levels[12], 255);
    ResetAudio(audio);
    EXPECT_EQ(audio.r3[0], 0);

    RippleFeed feed;
    AudioLightInfo info{5, 0, 0, 0, 0, 0, 0, 0, 0};
    std::array<int32_t, kAudioBands> loud{};
    loud.fill(2000);  // intensity 0: the sum grows by 9 per frame
    for (int i = 0; i < 7; ++i) FeedAudioSpectrum(audio, loud, Light(11, 4, 0, 1, 0), info, feed);
    EXPECT_EQ(feed.sum, 63);
    EXPECT_EQ(audio.r1[0], 0);
    FeedAudioSpectrum(audio, loud, Light(11, 4, 0, 1, 0), info, feed);
    EXPECT_EQ(feed.sum, 0);
    EXPECT_EQ(audio.r1[0], 0b010);
}

TEST(LightingSteps, BrightnessZeroGivesLevelZeroEverywhere) {
    LedFrame frame(20);
    EffectState state;
    TrailState trail;
    trail.ring.fill(true);
    ReactionState reaction;
    ArmReaction(reaction, 20, [] { return 1u; });
    for (int round = 0; round < 3; ++round) {
        const LightingState light = Light(0, 0, 0, 1, 1);
        StepBreathing(state, light, frame);
        for (const auto& led : frame) ASSERT_EQ(led.level, 0);
        StepSpectrum(state, light, frame);
        StepStatic(state, light, frame);
        StepBlink(state, light, frame, 5000u * (round + 1));
        StepMouseWave(state, light, frame);
        StepMouseTrail(state, trail, light, frame);
        StepReaction(reaction, light, frame);
        for (const auto& led : frame) ASSERT_EQ(led.level, 0);
    }
}

}  // namespace
}  // namespace m470
