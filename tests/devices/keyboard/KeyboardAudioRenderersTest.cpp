#include "support/KeyboardScenes.h"

namespace m470::test {
namespace {

constexpr Rgb kBg{1, 2, 3}, kFg{40, 50, 60};

class KeyboardAudio : public KeyboardScenes {
protected:
    void SetUp() override {
        KeyboardScenes::SetUp();
        Enter(29);
        audio.bkColorR = kBg.red;
        audio.bkColorG = kBg.green;
        audio.bkColorB = kBg.blue;
        audio.fgColorR = kFg.red;
        audio.fgColorG = kFg.green;
        audio.fgColorB = kFg.blue;
    }
    void Bands(int32_t all, std::initializer_list<std::pair<size_t, int32_t>> some = {}) {
        std::array<int32_t, 25> v;
        v.fill(all);
        for (auto [i, value] : some) v[i] = value;
        BeatTotal unused;
        FeedKeyboardSpectrum(fx, v, light.mode, audio, unused);
    }
    void Render(uint8_t audioMode) {
        audio.audioMode = audioMode;
        Run(StepKeyboardAudio);
    }
};

TEST_F(KeyboardAudio, ColumnsRiseFromTheBottomByTheirBand) {
    audio.sevenColorFlags = 1;
    fx.level[0] = 200;
    fx.level[22] = 100;
    Bands(0, {{1, 2000}, {2, 1000}});
    Render(0);
    EXPECT_EQ(frame[120], At(kBg, 255));                      // column 0: quiet, dark
    for (uint8_t k : {21, 42, 63, 84, 105}) EXPECT_EQ(frame[k], At({255, 129, 0}, 254)) << int(k);  // column 1 full
    EXPECT_EQ(frame[102], At({255, 255, 0}, 254));            // column 2: rows 4 and 5 lit
    EXPECT_EQ(frame[106], At({255, 255, 0}, 254));
    EXPECT_EQ(frame[0], At({255, 255, 0}, 159));              // top row decays: 200 → 160
    EXPECT_EQ(frame[22], At({255, 255, 0}, 99));              // kept while the key above is lit
    EXPECT_EQ(frame[43], At(kBg, 255));
    EXPECT_EQ(fx.bands, (std::array<int32_t, 25>{}));        // the store is used up
}

TEST_F(KeyboardAudio, CentreBarsGrowFromBothEnds) {
    audio.sevenColorFlags = 1;
    // Band pointer 0 → 1: row 0 reads band 4 on the left, band 1 on the right; row 1 bands 7 and 3.
    Bands(0, {{4, 2000}, {3, 2000}});
    Render(1);
    EXPECT_EQ(fx.bandPointer, 1);
    EXPECT_EQ(frame[0], At({255, 140, 0}, 254));  // row 0, column 2: lit from column 2 to 8
    EXPECT_EQ(frame[5].level, 254);               // column 8
    EXPECT_EQ(frame[6], At(kBg, 255));            // column 9: right half quiet
    EXPECT_EQ(frame[22], At(kBg, 255));           // row 1 left half quiet
    EXPECT_EQ(frame[29], At({0, 255, 22}, 254));  // row 1, column 9: lit up to column 19
    EXPECT_EQ(frame[38].level, 254);              // column 19
    EXPECT_EQ(frame[39], At(kBg, 255));           // column 20
    light.direction = 0;
    fx.bandPointer = 0;
    Render(1);
    EXPECT_EQ(fx.bandPointer, 24);
}

TEST_F(KeyboardAudio, BeatStartsARippleAtO) {
    audio.audioMode = 2;
    BeatTotal beat;
    std::array<int32_t, 25> loud;
    loud.fill(2000);
    const std::array<int32_t, 25> quiet{};
    FeedKeyboardSpectrum(fx, loud, 29, audio, beat);
    FeedKeyboardSpectrum(fx, quiet, 29, audio, beat);  // adds nothing
    FeedKeyboardSpectrum(fx, loud, 29, audio, beat);
    EXPECT_EQ(beat.total, 50);
    EXPECT_EQ(fx.r1[10], 0);
    FeedKeyboardSpectrum(fx, loud, 28, audio, beat);  // another mode: only stored
    EXPECT_EQ(beat.total, 50);
    EXPECT_EQ(fx.bands[0], 2000);
    FeedKeyboardSpectrum(fx, loud, 29, audio, beat);
    EXPECT_EQ(beat.total, 0);
    for (const KeyboardMasks* m : {&fx.r1, &fx.r2, &fx.r3, &fx.r4}) EXPECT_EQ((*m)[10], 4);
    EXPECT_EQ(fx.bands, (std::array<int32_t, 25>{}));

    audio.sevenColorFlags = 1;
    Render(2);
    EXPECT_EQ(frame[51], At({255, 0, 4}, 214));  // colour 180 + 9, level 215
    EXPECT_EQ(frame[0], At(kBg, 255));
    EXPECT_EQ(fx.r1[9], 4);
}

TEST_F(KeyboardAudio, RingsFillWhenQuietAndFadeWhenLoud) {
    Bands(2000);  // intensity 0: no step, every ring lit
    Render(3);
    EXPECT_EQ(fx.effect.phase, 0);
    EXPECT_EQ(frame[51], At({255, 32, 0}, 254));    // ring 0: entry 9
    EXPECT_EQ(frame[118], At({0, 104, 255}, 254));  // ring 11: entry 108
    Bands(0);  // intensity 600: 20 steps on, no ring lit
    Render(3);
    EXPECT_EQ(fx.effect.phase, 20);
    EXPECT_EQ(frame[51], At({255, 32, 0}, 214));
    // Bands below 0 still step at most 20 and keep the wheel in range.
    light.direction = 0;
    Bands(-18000);
    Render(3);
    EXPECT_EQ(fx.effect.phase, 0);
    EXPECT_EQ(frame[51], At({255, 32, 0}, 174));
}

TEST_F(KeyboardAudio, OneSparkPerColumnUntilItsBottomFades) {
    audio.sevenColorFlags = 1;
    Bands(2000);  // height 1
    Render(4);
    EXPECT_EQ(fx.level[120], 255);  // column 0: first key from row 1
    EXPECT_EQ(fx.level[121], 0);
    EXPECT_EQ(fx.level[0], 0);      // column 2: row 0 lies above the height
    EXPECT_EQ(fx.level[22], 255);
    EXPECT_EQ(frame[120], At(kBg, 255));  // shown before it was lit
    EXPECT_TRUE(fx.sparks[0]);
    Bands(2000);
    Render(4);
    EXPECT_EQ(frame[120], At({176, 0, 255}, 214));  // its colour 33 × 121 mod 192
    Bands(0);  // height 7: nothing new
    fx.level.fill(0);
    Render(4);
    EXPECT_EQ(std::count_if(fx.level.begin(), fx.level.end(), [](uint8_t l) { return l != 0; }), 0);
}

TEST_F(KeyboardAudio, RowBarsSumBandGroups) {
    // Row 0 takes bands 17-23, row 5 bands 0-1.
    Bands(0, {{17, 6000}, {0, 3000}});
    Render(5);
    EXPECT_EQ(frame[0], At(kFg, 254));    // row 0 lit up to column 20
    EXPECT_EQ(frame[15], At(kFg, 254));
    EXPECT_EQ(frame[128], At(kFg, 254));  // row 5 lit up to column 8
    EXPECT_EQ(frame[129], At(kBg, 255));
    EXPECT_EQ(frame[42], At(kBg, 255));   // quiet rows
}

TEST_F(KeyboardAudio, AlternateBarsGrowFromOppositeEnds) {
    audio.sevenColorFlags = 1;
    Bands(0, {{0, 6000}, {2, 3000}});
    Render(6);
    EXPECT_EQ(frame[0], At({255, 3, 0}, 254));  // row 0 all lit, colour of the phase
    EXPECT_EQ(frame[15].level, 254);
    EXPECT_EQ(frame[32].level, 254);            // row 1 lit up to column 12
    EXPECT_EQ(frame[33], At(kBg, 255));
    EXPECT_EQ(frame[42], At(kBg, 255));         // row 2 quiet
}

TEST_F(KeyboardAudio, UnknownAudioModeAndFixedValues) {
    frame[5] = {9, 9, 9, 9};
    Bands(2000);
    Render(7);
    EXPECT_EQ(frame[5], (LedEntry{9, 9, 9, 9}));
    const std::array<uint32_t, 8> eight{1, 2, 3, 4, 5, 6, 7, 8};
    FeedKeyboardBands(fx, eight);
    EXPECT_EQ(fx.fixedBands, (std::array<uint32_t, 6>{1, 2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace m470::test
