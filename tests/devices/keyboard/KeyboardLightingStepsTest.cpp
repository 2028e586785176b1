#include "devices/keyboard/KeyboardLightingTables.h"
#include "support/KeyboardScenes.h"

namespace m470::test {
namespace {

// Colour-wheel entries worked out by hand from its sextants.
constexpr Rgb kWheel0{255, 1, 0}, kWheel1{255, 3, 0}, kWheel2{255, 5, 0}, kWheel154{188, 0, 255};

TEST(KeyboardLightingTables, AnchorsOfTheLayoutTables) {
    EXPECT_EQ(kKeyColumns[0], (std::array<uint8_t, 6>{170, 120, 121, 122, 123, 124}));
    EXPECT_EQ(kKeyColumns[13], (std::array<uint8_t, 6>{10, 33, 54, 62, 100, 111}));
    EXPECT_EQ(kKeyColumns[22], (std::array<uint8_t, 6>{170, 41, 16, 119, 118, 131}));
    EXPECT_EQ(kKeyColumns7[0][6], 105);
    EXPECT_EQ(kKeyColumns7[20][0], 125);
    EXPECT_EQ(kKeyColumns7[22], (std::array<uint8_t, 7>{255, 20, 41, 255, 119, 118, 255}));
    EXPECT_EQ(kKeyGrid[0][0], 51);
    EXPECT_EQ(kKeyGrid[5][11], 125);
    EXPECT_EQ(kKeyGrid[11][2], 41);
    EXPECT_EQ(kKeyOrder[0], 15);
    EXPECT_EQ(kKeyOrder[106], 77);
    EXPECT_EQ(kKeyOrder[107], 170);
    EXPECT_TRUE(InKeyOrder(62));
    EXPECT_FALSE(InKeyOrder(120));
    EXPECT_FALSE(InKeyOrder(170));
    // Snake: ascending ranges, the gaps, the 16 empty entries and the 44 zeros.
    EXPECT_EQ(kSnakeOrder[16], 17);
    EXPECT_EQ(kSnakeOrder[20], 41);
    EXPECT_EQ(kSnakeOrder[40], 21);
    EXPECT_EQ(kSnakeOrder[61], 119);
    EXPECT_EQ(kSnakeOrder[66], 170);
    EXPECT_EQ(kSnakeOrder[79], 84);
    EXPECT_EQ(kSnakeOrder[96], 118);
    EXPECT_EQ(kSnakeOrder[109], 105);
    EXPECT_EQ(kSnakeOrder[110], 170);
    EXPECT_EQ(kSnakeOrder[125], 170);
    EXPECT_EQ(kSnakeOrder[126], 0);
    // Pulse: the rise, the wave's falling half from 248 to 22, the tail, then dark.
    EXPECT_EQ(kPulseCurve[24], 255);
    EXPECT_EQ(kPulseCurve[25], 248);
    EXPECT_EQ(kPulseCurve[34], 188);
    EXPECT_EQ(kPulseCurve[71], 22);
    EXPECT_EQ(kPulseCurve[72], 20);
    EXPECT_EQ(kPulseCurve[87], 1);
    EXPECT_EQ(kPulseCurve[88], 0);
    EXPECT_EQ(kPulseCurve[191], 0);
    EXPECT_EQ(kPulseSeeds[78], 192);
    EXPECT_EQ(kPulseSeeds[138], 0);
    EXPECT_EQ(kScriptGroups[10], (std::array<uint8_t, 6>{33, 92, 28, 93, 46, 255}));
    EXPECT_EQ(kScriptPairs[15], (std::array<uint8_t, 2>{72, 53}));
}

TEST(KeyboardLightingTables, SweepRowsRunFromAnEdgeToTheMiddle) {
    const auto row = [](std::initializer_list<uint8_t> keys) {
        SweepRow r;
        r.fill(170);
        std::copy(keys.begin(), keys.end(), r.begin());
        return r;
    };
    EXPECT_EQ(kSweepTable[0], row({25, 26, 50, 51}));
    EXPECT_EQ(kSweepTable[25], row({119, 61, 60, 59, 58, 57, 56, 62, 54, 53, 52}));
    // This one comes from the hand's rule, not from a kept line.
    EXPECT_EQ(kSweepTable[50], row({121, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51}));
    const std::array<uint8_t, 6> middle{50, 51, 52, 53, 72, 73};
    for (size_t i = 0; i < kSweepRows; ++i) {
        const SweepRow& r = kSweepTable[i];
        const auto end = std::find(r.begin(), r.end(), 170);
        ASSERT_NE(end, r.begin()) << "row " << i;
        EXPECT_NE(std::find(middle.begin(), middle.end(), *(end - 1)), middle.end()) << "row " << i;
        for (auto k = r.begin(); k != end; ++k) EXPECT_EQ(std::count(r.begin(), end, *k), 1) << "row " << i;
    }
    // Going round: the upper rows end above the middle line, the lower ones below or on it.
    EXPECT_EQ(*std::prev(std::find(kSweepTable[12].begin(), kSweepTable[12].end(), 170)), 52);
    EXPECT_EQ(*std::prev(std::find(kSweepTable[40].begin(), kSweepTable[40].end(), 170)), 51);
    EXPECT_EQ(kSweepTable[40][2], 92);
}

TEST(KeyboardLightingModes, TableGivesEachModeItsRoutineAndPace) {
    EXPECT_EQ(KeyboardModeOf(1)->step, &StepColumnWave);
    EXPECT_EQ(KeyboardModeOf(14)->step, &StepScriptShow);
    EXPECT_EQ(KeyboardModeOf(24)->step, &StepSweep);
    EXPECT_EQ(KeyboardModeOf(25)->step, &StepReactionFade);
    EXPECT_EQ(KeyboardModeOf(29)->step, &StepKeyboardAudio);
    EXPECT_EQ(KeyboardModeOf(30)->step, &StepFixedColour);
    for (uint8_t custom : {0, 19, 31, 255}) EXPECT_EQ(KeyboardModeOf(custom), nullptr);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(1), 0), 8u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(1), 2), 3u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(1), 4), 0u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(2), 0), 12u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(2), 3), 0u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(17), 3), 3u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(17), 4), 0u);
    EXPECT_EQ(KeyboardDueTicks(KeyboardModeOf(29), 0), 2u);
    EXPECT_EQ(KeyboardDueTicks(nullptr, 0), 0u);
    EXPECT_TRUE(KeyboardStreamsFrame(29));
    EXPECT_TRUE(KeyboardStreamsFrame(30));
    EXPECT_FALSE(KeyboardStreamsFrame(24));
}

TEST_F(KeyboardScenes, BuiltInModesRunTheSharedSteps) {
    // Spectrum (4) from phase 0: every key wheel entry 1; off (28) darkens every key.
    KeyboardScene scene = Scene();
    KeyboardModeOf(4)->step(scene);
    EXPECT_EQ(frame[0], At(kWheel1, 255));
    EXPECT_EQ(frame[169], At(kWheel1, 255));
    KeyboardModeOf(28)->step(scene);
    EXPECT_EQ(frame[77], (LedEntry{0, 0, 0, 0}));
}

TEST_F(KeyboardScenes, ModeEntrySeedsEachMode) {
    fx.level[3] = 9;
    fx.stage[3] = 2;
    fx.r2[4] = 5;
    fx.effect.phase = 40;
    fx.stageCounter = 3;
    Enter(1);
    EXPECT_EQ(fx.level[3], 0);
    EXPECT_EQ(fx.stage[3], 0);
    EXPECT_EQ(fx.r2[4], 0);
    EXPECT_EQ(fx.effect.phase, 0);
    EXPECT_EQ(fx.stageCounter, 0);
    EXPECT_TRUE(fx.sparks[0] && fx.sparks[22]);
    EXPECT_EQ(fx.colour[0], 33);
    EXPECT_EQ(fx.colour[5], 6);
    EXPECT_EQ(fx.colour[169], 42);
    Enter(13);
    for (const KeyboardMasks* m : {&fx.r1, &fx.r2, &fx.r3, &fx.r4}) EXPECT_EQ((*m)[9], 64);
    EXPECT_EQ(fx.colour[0], 0);
    Enter(16);
    for (const KeyboardMasks* m : {&fx.r1, &fx.r2, &fx.r3, &fx.r4}) EXPECT_EQ((*m)[1], 1);
    Enter(15);
    EXPECT_EQ(fx.level[21], 32);   // column 1, row 2
    EXPECT_EQ(fx.colour[21], 7);
    EXPECT_EQ(fx.level[105], 72);  // column 0, row 6 shares its seed with column 1, row 0
    EXPECT_EQ(fx.level[34], 90);   // in columns 14 and 15: the later cell's seed
    EXPECT_EQ(fx.colour[34], 105);
    Enter(22);
    EXPECT_EQ(fx.pulse[105], 140);
    EXPECT_EQ(fx.pulse[21], 79);
    EXPECT_EQ(fx.pulse[84], 167);  // 9 is below 35: wraps by 158
    EXPECT_EQ(fx.colour[84], 7);
    fx.colour[8] = 99;
    fx.effect.phase = 30;
    RestartEffect(fx, 24);
    EXPECT_EQ(fx.colour[8], 0);
    EXPECT_EQ(fx.effect.phase, 0);
}

TEST_F(KeyboardScenes, ColumnWaveAcrossTheWrapAndBackwards) {
    light.multiColor = 1;
    fx.effect.phase = 190;
    Run(StepColumnWave);
    EXPECT_EQ(frame[120], At(kWheel0, 255));   // column 0
    EXPECT_EQ(frame[131], At(kWheel154, 255));  // column 22: (191 + 1 + 154) mod 192
    Run(StepColumnWave);
    EXPECT_EQ(fx.effect.phase, 0);
    EXPECT_EQ(frame[120], At(kWheel1, 255));
    // One colour on the wave curve, going back from 0 to 95.
    light.multiColor = 0;
    light.direction = 0;
    light.brightness = 3;
    fx.effect.phase = 0;
    Run(StepColumnWave);
    EXPECT_EQ(fx.effect.phase, 95);
    EXPECT_EQ(frame[124], At({10, 20, 30}, 16));  // curve[0] = 22, × 195 / 256
    EXPECT_EQ(frame[1], At({10, 20, 30}, 75));    // column 3: curve[21] = 99
}

TEST_F(KeyboardScenes, RowWaveGivesEachRowItsWheelEntry) {
    light.multiColor = 0;  // the row wave is always in colours
    Run(StepRowWave);
    EXPECT_EQ(frame[0], At(kWheel2, 255));
    EXPECT_EQ(frame[105], At({0, 12, 255}, 255));  // row 5: entry 122
    light.direction = 0;
    fx.effect.phase = 0;
    Run(StepRowWave);
    EXPECT_EQ(fx.effect.phase, 191);
    EXPECT_EQ(frame[0], At(kWheel0, 255));
    EXPECT_EQ(frame[63], At({0, 255, 26}, 255));  // row 3: entry 72
}

TEST_F(KeyboardScenes, ColumnPulseFollowsThePulseCurve) {
    fx.effect.phase = 127;
    Run(StepColumnPulse);
    EXPECT_EQ(fx.effect.phase, 0);
    EXPECT_EQ(frame[120].level, 0);  // curve[0]
    EXPECT_EQ(frame[21].level, 60);  // column 1: curve[7] = 61
    EXPECT_EQ(frame[7].level, 23);   // column 10: curve[70] = 24
    EXPECT_EQ(frame[15].level, 0);   // column 18: curve[126], past the tail
    light.multiColor = 1;
    fx.effect.phase = 5;
    Run(StepColumnPulse);
    EXPECT_EQ(frame[41], At({53, 255, 0}, 255));  // column 22: entry 6 + 44
}

TEST_F(KeyboardScenes, OrderWaveWalksTheKeyOrder) {
    light.multiColor = 1;
    Run(StepOrderWave);
    EXPECT_EQ(frame[15], At(kWheel1, 255));             // position 0
    EXPECT_EQ(frame[77], At({109, 0, 255}, 255));       // position 106: (1 + 530) mod 192 = 147
    EXPECT_EQ(frame[120], (LedEntry{}));                // not in the order
    light.multiColor = 0;
    light.direction = 0;
    fx.effect.phase = 0;
    Run(StepOrderWave);
    EXPECT_EQ(frame[14], At({10, 20, 30}, 32));  // position 1: curve[(95 + 5) mod 96] = 33
}

TEST_F(KeyboardScenes, ColumnBreathingAndStaticRows) {
    light.multiColor = 1;
    fx.effect.phase = 62;
    Run(StepColumnBreathing);
    EXPECT_EQ(frame[0], At({255, 65, 0}, 254));  // column 2: entry 14, breath 255
    EXPECT_EQ(frame[131], At(kWheel154, 254));
    fx.effect.phase = 127;
    Run(StepColumnBreathing);
    EXPECT_EQ(frame[0].level, 0);

    frame.assign(170, LedEntry{});
    Run(StepStaticRows);
    EXPECT_EQ(frame[51], At({38, 0, 255}, 255));   // ring 0: entry 138
    EXPECT_EQ(frame[62], At({0, 170, 255}, 255));  // ring 3: entry 102
    EXPECT_EQ(frame[118], At({255, 18, 0}, 255));  // ring 11: entry 6
    EXPECT_EQ(frame[120], (LedEntry{}));           // outside the rings
    light.multiColor = 0;
    light.brightness = 2;
    Run(StepStaticRows);
    EXPECT_EQ(frame[120], At({10, 20, 30}, 135));
}

TEST_F(KeyboardScenes, GridWaveKeyCycleAndPresets) {
    fx.effect.phase = 191;
    Run(StepGridWave);
    EXPECT_EQ(frame[51], At({255, 22, 0}, 255));   // ring 0: entry 7
    EXPECT_EQ(frame[118], At({0, 255, 119}, 255)); // ring 11: entry 84

    Enter(11);
    fx.colour[9] = 191;
    Run(StepKeyCycle);
    EXPECT_EQ(frame[0], At({220, 255, 0}, 255));  // 33 → 34
    EXPECT_EQ(frame[4], At({255, 0, 170}, 255));  // 165 → 166
    EXPECT_EQ(frame[9], At(kWheel0, 255));        // 191 → 0
    EXPECT_EQ(fx.colour[9], 0);

    for (auto [choice, colour] : {std::pair{2, Rgb{0, 255, 18}}, {0, Rgb{255, 0, 85}}, {3, Rgb{0, 255, 255}}}) {
        secondary = static_cast<uint8_t>(choice);
        Run(StepPresetColour);
        EXPECT_EQ(frame[0], At(colour, 255)) << choice;
        EXPECT_EQ(frame[169], At(colour, 255)) << choice;
    }
    EXPECT_EQ(fx.effect.phase, 95);
}

TEST_F(KeyboardScenes, CustomLevelsAndFixedColour) {
    frame[7] = {1, 2, 3, 255};
    light.brightness = 1;
    Run(StepCustomLevels);
    EXPECT_EQ(frame[7], (LedEntry{1, 2, 3, 80}));
    const std::array<uint32_t, 3> colour{0x112233, 0x44, 0x155};
    FeedKeyboardBands(fx, colour);
    Run(StepFixedColour);
    EXPECT_EQ(frame[169], (LedEntry{0x33, 0x44, 0x55, 80}));
}

TEST_F(KeyboardScenes, SparkleLightsOrderKeysAndFades) {
    light.multiColor = 1;
    // Six keys (positions 0, 106 and four times 0 again), each with a colour.
    RandomQueue() = {0, 10, 106, 200, 0, 10, 0, 10, 0, 10, 0, 10};
    Run(StepSparkle);
    EXPECT_EQ(frame[15], At({255, 38, 0}, 214));  // 255 decays to 215, shown × 255 / 256
    EXPECT_EQ(frame[77], At({255, 26, 0}, 214));  // colour 200 mod 192 = 8
    EXPECT_EQ(fx.level[14], 0);
    EXPECT_EQ(frame[14].level, 0);
}

TEST_F(KeyboardScenes, TwinklesAndPulseWavesRunTheirCurve) {
    light.multiColor = 1;
    Enter(15);
    fx.level[15] = 190;
    RandomQueue() = {77};
    Run(StepPulseTwinkle);
    EXPECT_EQ(frame[21], At({255, 22, 0}, 187));  // 32 + 2: curve[34] = 188, colour 7
    EXPECT_EQ(fx.level[15], 0);                   // reached 192: dark again, new colour
    EXPECT_EQ(fx.colour[15], 77);
    EXPECT_EQ(frame[15].level, 0);

    Enter(22);
    Run(StepPulseWave);
    EXPECT_EQ(frame[21].level, 6);    // 79 + 1: curve[80] = 7
    EXPECT_EQ(frame[42].level, 123);  // 44 + 1: curve[45] = 124
    EXPECT_EQ(frame[105].level, 0);   // 141: past the tail
}

TEST_F(KeyboardScenes, SnakeHeadWrapsBothWays) {
    Run(StepSnake);
    EXPECT_EQ(fx.effect.phase, 1);
    EXPECT_EQ(fx.level[0], 214);  // 254, decayed once
    EXPECT_EQ(frame[0], At({10, 20, 30}, 213));
    fx.effect.phase = 66;  // an empty entry
    fx.level[120] = 200;   // not in the order: neither decayed nor shown
    Run(StepSnake);
    EXPECT_EQ(fx.effect.phase, 67);
    EXPECT_EQ(fx.level[120], 200);
    EXPECT_EQ(frame[120], (LedEntry{}));
    fx.effect.phase = 170;
    Run(StepSnake);
    EXPECT_EQ(fx.effect.phase, 0);
    // Backwards: from 0 to 170, which lies past the table and lights nothing.
    light.direction = 0;
    ResetEffects(fx);
    Run(StepSnake);
    EXPECT_EQ(fx.effect.phase, 170);
    Run(StepSnake);
    EXPECT_EQ(fx.effect.phase, 169);
    EXPECT_EQ(fx.level[0], 0);
    Run(StepSnake);
    EXPECT_EQ(fx.level[0], 214);  // entry 169 is Esc
}

TEST_F(KeyboardScenes, SweepLightsItsRowsAndCyclesColour) {
    fx.effect.phase = 51;
    Run(StepSweep);
    EXPECT_EQ(fx.effect.phase, 0);
    for (uint8_t k : {25, 26, 50, 51}) EXPECT_EQ(frame[k], At({10, 20, 30}, 249)) << int(k);  // 250 × 255 / 256
    EXPECT_EQ(fx.colour[25], 3);
    EXPECT_EQ(frame[27].level, 0);
    Run(StepSweep, 25);
    EXPECT_EQ(fx.level[119], 250);  // row 25
    EXPECT_EQ(fx.level[25], 130);
    // With colours the level stays; an index past the wheel goes round it.
    light.multiColor = 1;
    fx.colour[8] = 252;
    fx.colour[9] = 255;
    Run(StepSweep);
    EXPECT_EQ(fx.colour[8], 255);
    EXPECT_EQ(frame[8], At({0, 255, 0}, 255));  // 255 mod 192 = 63
    EXPECT_EQ(frame[9], At({0, 255, 0}, 255));
    // Backwards from 0 to the last row; a phase left past the table lights nothing.
    light.direction = 0;
    fx.effect.phase = 0;
    Run(StepSweep);
    EXPECT_EQ(fx.level[120], 250);
    fx.effect.phase = 100;
    fx.level.fill(0);
    Run(StepSweep);
    EXPECT_EQ(std::count_if(fx.level.begin(), fx.level.end(), [](uint8_t l) { return l != 0; }), 0);
}

TEST_F(KeyboardScenes, ReactionFadeRisesAndFalls) {
    fx.stage[3] = 1;
    fx.level[3] = 100;
    fx.stage[4] = 1;
    fx.level[4] = 250;
    fx.stage[5] = 2;
    fx.level[5] = 3;
    fx.level[6] = 77;  // idle: kept
    Run(StepReactionFade);
    EXPECT_EQ(fx.level[3], 115);
    EXPECT_EQ(fx.level[4], 255);
    EXPECT_EQ(fx.level[5], 0);
    EXPECT_EQ(fx.level[6], 77);
    EXPECT_EQ(frame[3], At({10, 20, 30}, 114));
}

}  // namespace
}  // namespace m470::test
