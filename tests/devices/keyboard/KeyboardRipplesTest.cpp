#include "support/KeyboardScenes.h"

namespace m470::test {
namespace {

// Logical key k in slot k + 1; absent keys in slot 255.
std::array<uint8_t, 170> SlotMap() {
    std::array<uint8_t, 170> map{};
    for (size_t k = 0; k < map.size(); ++k) map[k] = static_cast<uint8_t>(k + 1);
    map[18] = map[19] = 255;
    return map;
}

class KeyReactions : public KeyboardScenes {
protected:
    void React(uint8_t key, bool press) { KeyReaction(fx, map, light.mode, static_cast<uint8_t>(key + 1), press, ListedRandom); }
    std::array<uint8_t, 170> map = SlotMap();
};

TEST_F(KeyReactions, RippleSpreadsAcrossColumnsAndRows) {
    Enter(8);
    light.multiColor = 1;
    React(51, true);  // column 10, row 2
    React(51, false); // a release starts nothing
    for (const KeyboardMasks* m : {&fx.r1, &fx.r2, &fx.r3, &fx.r4}) EXPECT_EQ((*m)[10], 4);
    RandomQueue() = {180};  // the lit key's colour
    Run(StepRippleSpread);
    EXPECT_EQ(fx.level[51], 215);
    EXPECT_EQ(frame[51], At({255, 0, 8}, 214));  // colour 180 + 7
    EXPECT_EQ(fx.r1[9], 4);
    EXPECT_EQ(fx.r1[10], 2);
    EXPECT_EQ(fx.r4[10], 8);
    EXPECT_EQ(fx.r2[11], 4);
    EXPECT_EQ(fx.r3[10], 8);
    Run(StepRippleSpread);
    // One column out on the same row, and one row up and down in the same column.
    for (uint8_t k : {50, 52, 30, 72}) EXPECT_EQ(fx.level[k], 215) << int(k);
    EXPECT_EQ(fx.level[51], 175);
    EXPECT_EQ(fx.level[29], 0);
}

TEST_F(KeyReactions, RippleLineSlidesAlongItsRowOnly) {
    Enter(9);
    React(51, true);
    Run(StepRippleLine, 2);
    EXPECT_EQ(fx.level[50], 215);
    EXPECT_EQ(fx.level[52], 215);
    EXPECT_EQ(fx.level[30], 0);
    EXPECT_EQ(fx.level[72], 0);
    EXPECT_EQ(fx.r1[9] | fx.r3[11], 0);
}

TEST_F(KeyReactions, FountainStepsEveryThirdCallFromItsSeed) {
    Enter(13);
    Run(StepRippleFountain, 4);
    EXPECT_EQ(fx.level[129], 0);
    EXPECT_EQ(fx.r1[9], 32);
    EXPECT_EQ(fx.r3[9], 128);
    Run(StepRippleFountain);
    EXPECT_EQ(fx.level[129], 215);  // column 9, bottom row
}

TEST_F(KeyReactions, BounceStartsAtTheLeftEdge) {
    Enter(16);
    Run(StepRippleBounce);
    EXPECT_EQ(fx.r4[1], 2);
    EXPECT_EQ(fx.r2[2], 1);
    Run(StepRippleBounce);
    EXPECT_EQ(fx.level[21], 215);
    EXPECT_EQ(fx.level[0], 215);
    EXPECT_EQ(frame[0], At({10, 20, 30}, 214));
}

TEST_F(KeyReactions, ScriptShowPlaysGroupsPairsAndARipple) {
    Enter(14);
    Run(StepScriptShow);
    EXPECT_EQ(fx.level[0], 215);
    EXPECT_EQ(fx.level[118], 215);
    EXPECT_EQ(fx.effect.phase, 1);
    Run(StepScriptShow, 19);
    EXPECT_EQ(fx.stageCounter, 1);
    EXPECT_EQ(fx.effect.phase, 0);
    Run(StepScriptShow);
    EXPECT_EQ(fx.level[30], 215);
    EXPECT_EQ(fx.level[94], 215);
    Run(StepScriptShow, 30);
    EXPECT_EQ(fx.effect.phase, 31);
    // Waits for L to go dark.
    fx.level[72] = 200;
    Run(StepScriptShow);
    EXPECT_EQ(fx.stageCounter, 1);
    fx.level.fill(0);
    Run(StepScriptShow);
    EXPECT_EQ(fx.stageCounter, 2);
    Run(StepScriptShow);
    EXPECT_EQ(fx.stageCounter, 3);
    EXPECT_EQ(fx.r1[11], 4);  // P: column 11, row 2
    fx.level[124] = 50;
    Run(StepScriptShow);
    EXPECT_EQ(fx.stageCounter, 4);
    fx.level[124] = 0;
    Run(StepScriptShow);
    EXPECT_EQ(fx.stageCounter, 0);
    // A phase another mode left past the groups lights nothing and starts the pairs.
    ResetEffects(fx);
    fx.effect.phase = 40;
    Run(StepScriptShow);
    EXPECT_EQ(std::count_if(fx.level.begin(), fx.level.end(), [](uint8_t l) { return l != 0; }), 0);
    EXPECT_EQ(fx.stageCounter, 1);
}

TEST_F(KeyReactions, PressAndReleaseInTheFadeMode) {
    Enter(7);
    RandomQueue() = {300};
    React(3, true);
    EXPECT_EQ(fx.stage[3], 1);
    EXPECT_EQ(fx.colour[3], 108);
    Run(StepReactionFade);
    EXPECT_EQ(fx.level[3], 255);
    fx.level[3] = 40;
    React(3, false);  // jumps to full level, then fades by 5
    EXPECT_EQ(fx.level[3], 255);
    Run(StepReactionFade);
    EXPECT_EQ(fx.level[3], 250);
    EXPECT_EQ(fx.stage[3], 2);
}

TEST_F(KeyReactions, UnusedSlotsChangeNothing) {
    Enter(7);
    const KeyboardEffects before = fx;
    KeyReaction(fx, map, 7, 200, true, ListedRandom);  // no key in it
    KeyReaction(fx, map, 7, 255, true, ListedRandom);  // the absent keys' slot
    KeyReaction(fx, map, 12, 5, true, ListedRandom);   // a mode without reactions
    for (size_t k = 0; k < 170; ++k) {
        EXPECT_EQ(fx.level[k], before.level[k]) << k;
        EXPECT_EQ(fx.stage[k], before.stage[k]) << k;
    }
}

TEST_F(KeyReactions, NeighboursWarmOnPressAndCoolOnRelease) {
    Enter(25);
    React(66, true);  // D: column 4, row 3
    EXPECT_EQ(fx.pressed[66], 1);
    EXPECT_EQ(fx.level[66], 255);
    for (uint8_t n : {45, 86, 65, 67, 24, 107, 44, 85, 46, 87, 64, 68}) {
        EXPECT_EQ(fx.level[n], 60) << int(n);
        EXPECT_EQ(fx.stage[n], 1) << int(n);
    }
    EXPECT_EQ(fx.level[69], 0);  // three columns away
    React(66, false);
    for (uint8_t n : {45, 86, 65, 67}) EXPECT_EQ(fx.level[n], 45) << int(n);  // near: 15 less
    for (uint8_t n : {24, 107, 44, 68}) EXPECT_EQ(fx.level[n], 0) << int(n);  // far: 90 less
    EXPECT_EQ(fx.stage[45], 2);
    EXPECT_EQ(fx.stage[66], 2);
    EXPECT_EQ(fx.pressed[66], 0);
}

TEST_F(KeyReactions, AHeldNeighbourKeepsTheSharedCellsWarm) {
    Enter(25);
    React(66, true);
    React(67, true);  // F, next to D
    EXPECT_EQ(fx.level[45], 120);  // near D, far from F
    React(66, false);
    // Cells F still reaches keep stage and level; D's other neighbours fade.
    for (uint8_t n : {45, 86, 65, 46, 87, 68, 67}) EXPECT_EQ(fx.stage[n], 1) << int(n);
    EXPECT_EQ(fx.level[45], 120);
    EXPECT_EQ(fx.level[65], 120);
    for (uint8_t n : {24, 107, 44, 85, 64}) EXPECT_EQ(fx.stage[n], 2) << int(n);
    EXPECT_EQ(fx.stage[66], 1);  // F is still held next to it
    EXPECT_EQ(fx.pressed[66], 0);
}

TEST(KeyboardStream, BlockPlacesShownColoursAtLedPositions) {
    LedFrame frame(170);
    frame[0] = {200, 100, 50, 128};
    frame[1] = {255, 255, 255, 255};
    frame[2] = {255, 255, 255, 255};
    frame[3] = {10, 20, 30, 255};
    std::array<uint8_t, 170> leds;
    leds.fill(255);
    leds[0] = 5;
    leds[1] = 255;  // no LED
    leds[2] = 171;  // past the last position
    leds[3] = 170;
    const auto block = KeyboardLedBlock(frame, leds);
    EXPECT_EQ(std::count_if(block.begin(), block.end(), [](uint8_t b) { return b != 0; }), 6);
    EXPECT_EQ(block[15], 100);
    EXPECT_EQ(block[16], 50);
    EXPECT_EQ(block[17], 25);
    EXPECT_EQ(block[510], 9);
    EXPECT_EQ(block[512], 29);
    // Mode 29 streams the device's slot count × 3 bytes, never past the block.
    const std::vector<uint8_t> six = KeyboardStreamBytes(block, 6);
    EXPECT_EQ(six, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 50, 25}));
    EXPECT_EQ(KeyboardStreamBytes(block, 250).size(), 513u);
}

}  // namespace
}  // namespace m470::test
