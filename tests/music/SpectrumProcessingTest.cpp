// The window's band levels from spectrum frames: group means and spreads,
// the delivery rhythm, and frames of odd sizes or extreme values.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "music/SpectrumProcessing.h"

namespace m470 {
namespace {

std::vector<uint8_t> Frame(const std::vector<int32_t>& values) {
    return ValuesFrame(kSpectrumData, values.data(), values.size()).data;
}

std::vector<int32_t> Full(int32_t value) { return std::vector<int32_t>(kSpectrumValues, value); }

TEST(GroupStats, MeanAndSpreadOfFourValues) {
    GroupSlot slot;
    const uint32_t values[4] = {4, 8, 12, 16};
    GroupStats(values, slot);
    EXPECT_EQ(slot.mean, 10u);  // (0 + 40) / 4
    // (36 + 4 + 4 + 36) / 3 = 26, square root cut to 5.
    EXPECT_EQ(slot.spread, 5u);
    GroupStats(values, slot);
    EXPECT_EQ(slot.mean, 12u);  // (10 + 40) / 4
}

TEST(GroupStats, HugeValuesSaturateInsteadOfWrapping) {
    GroupSlot slot{std::numeric_limits<uint32_t>::max(), std::numeric_limits<uint32_t>::max()};
    const uint32_t values[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    GroupStats(values, slot);
    EXPECT_EQ(slot.mean, 0xFFFFFFFFu);
    const uint32_t zeros[4] = {0, 0, 0, 0};
    GroupStats(zeros, slot);
    EXPECT_EQ(slot.mean, 0x3FFFFFFFu);
    // Distances of 2^30 squared do not fit 32 bits; the spread still grows.
    EXPECT_GT(slot.spread, 0x3FFFFFFFu);
}

TEST(ProcessSpectrum, ChangesOfFourToSixteenGiveKeyboardGroupZeroAMeanOfTen) {
    SpectrumState state;
    state.ProcessSpectrum(Frame(Full(100)), {1, 0});
    std::vector<int32_t> next = Full(100);
    next[0] = 104, next[1] = 92, next[2] = 112, next[3] = 84;  // |change| 4, 8, 12, 16
    next[4] = 5000;  // the fifth of a run of five is not used
    // The first frame moved every value from 0 to 100: slot 0 holds 100.
    state.ProcessSpectrum(Frame(next), {1, 0});
    EXPECT_EQ(state.KeyboardSlots()[0].mean, (100u + 40u) / 4u);
    SpectrumState fresh;
    fresh.ProcessSpectrum(Frame(Full(0)), {1, 0});
    std::vector<int32_t> small = Full(0);
    small[0] = 4, small[1] = -8, small[2] = 12, small[3] = -16;
    fresh.ProcessSpectrum(Frame(small), {1, 0});
    EXPECT_EQ(fresh.KeyboardSlots()[0].mean, 10u);
    EXPECT_EQ(fresh.KeyboardSlots()[1].mean, 0u);
}

TEST(ProcessSpectrum, IdenticalFramesMakeTheMeansDecayByFour) {
    SpectrumState state;
    state.ProcessSpectrum(Frame(Full(1000)), {1, 1});
    EXPECT_EQ(state.KeyboardSlots()[3].mean, 1000u);  // (0 + 4000) / 4
    EXPECT_EQ(state.MouseSlots()[9].mean, 1000u);
    for (uint32_t expected : {250u, 62u, 15u, 3u, 0u}) {
        state.ProcessSpectrum(Frame(Full(1000)), {1, 1});
        EXPECT_EQ(state.Differences()[7], 0u);
        EXPECT_EQ(state.KeyboardSlots()[3].mean, expected);
        EXPECT_EQ(state.MouseSlots()[9].mean, expected);
    }
}

TEST(ProcessSpectrum, EveryThirdFrameIsDeliveredToEachPath) {
    SpectrumState state;
    std::vector<int> keyboardFrames, mouseFrames;
    for (int frame = 1; frame <= 9; ++frame) {
        const SpectrumDelivery delivery = state.ProcessSpectrum(Frame(Full(frame * 10)), {1, 1});
        if (delivery.keyboard) keyboardFrames.push_back(frame);
        if (delivery.mouse) mouseFrames.push_back(frame);
    }
    EXPECT_EQ(keyboardFrames, (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(mouseFrames, (std::vector<int>{3, 6, 9}));
}

TEST(ProcessSpectrum, DeliveredBandsAreTheMeanSlots) {
    SpectrumState state;
    std::vector<int32_t> values(kSpectrumValues);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int32_t>(4 * i);
    SpectrumDelivery delivery;
    for (int frame = 0; frame < 3; ++frame) delivery = state.ProcessSpectrum(Frame(frame == 0 ? values : Full(0)), {1, 1});
    ASSERT_TRUE(delivery.keyboard && delivery.mouse);
    for (size_t g = 0; g < kKeyboardGroups; ++g)
        EXPECT_EQ((*delivery.keyboard)[g], static_cast<int32_t>(state.KeyboardSlots()[g].mean));
    // The mouse takes groups 1-9, not 0-8: exactly nine values.
    for (size_t b = 0; b < kMouseBands; ++b)
        EXPECT_EQ((*delivery.mouse)[b], static_cast<int32_t>(state.MouseSlots()[b + 1].mean));
    EXPECT_NE((*delivery.mouse)[8], (*delivery.mouse)[7]);
}

TEST(ProcessSpectrum, WithoutDevicesOnlyTheDifferencesMove) {
    SpectrumState state;
    SpectrumDelivery delivery = state.ProcessSpectrum(Frame(Full(50)), {0, 0});
    EXPECT_FALSE(delivery.keyboard || delivery.mouse);
    EXPECT_EQ(state.Differences()[0], 50u);
    EXPECT_EQ(state.KeyboardSlots()[0].mean, 0u);
    state.ProcessSpectrum(Frame(Full(50)), {0, 0});
    state.ProcessSpectrum(Frame(Full(50)), {0, 0});
    // A mouse arriving later is served at once: its counter kept counting.
    delivery = state.ProcessSpectrum(Frame(Full(50)), {0, 1});
    EXPECT_TRUE(delivery.mouse);
    EXPECT_FALSE(delivery.keyboard);
}

TEST(ProcessSpectrum, AProductByCableAndReceiverRunsItsPathTwiceAndGetsOneDelivery) {
    SpectrumState once, twice;
    SpectrumDelivery one, two;
    for (int frame = 0; frame < 3; ++frame) {
        one = once.ProcessSpectrum(Frame(Full(frame == 0 ? 400 : 0)), {0, 1});
        two = twice.ProcessSpectrum(Frame(Full(frame == 0 ? 400 : 0)), {0, 2});
    }
    // Changes of 400, 400, 0: once 400, 500, 125; twice per frame
    // 400 then 500, 525 then 531, 132 then 33.
    EXPECT_EQ(once.MouseSlots()[2].mean, 125u);
    EXPECT_EQ(twice.MouseSlots()[2].mean, 33u);
    ASSERT_TRUE(one.mouse && two.mouse);
    EXPECT_EQ((*one.mouse)[1], 125);
    // Delivered after the first run of the frame, before the second.
    EXPECT_EQ((*two.mouse)[1], 132);
}

TEST(ProcessSpectrum, ExtremeValuesDoNotOverflowTheDifference) {
    SpectrumState state;
    state.ProcessSpectrum(Frame(Full(std::numeric_limits<int32_t>::min())), {0, 0});
    state.ProcessSpectrum(Frame(Full(std::numeric_limits<int32_t>::max())), {0, 1});
    EXPECT_EQ(state.Differences()[0], 0xFFFFFFFFu);
    const SpectrumDelivery delivery = state.ProcessSpectrum(Frame(Full(std::numeric_limits<int32_t>::max())), {0, 1});
    ASSERT_TRUE(delivery.mouse);
    // Huge means reach a device as the largest band, never as a negative one.
    for (int32_t band : *delivery.mouse) EXPECT_GT(band, 0);
}

TEST(ProcessSpectrum, ShortFramesChangeOnlyTheirValuesAndLongOnesAreCut) {
    SpectrumState state;
    state.ProcessSpectrum(Frame(Full(10)), {0, 0});
    state.ProcessSpectrum(Frame({30, 40}), {0, 0});
    EXPECT_EQ(state.Differences()[0], 20u);
    EXPECT_EQ(state.Differences()[1], 30u);
    EXPECT_EQ(state.Differences()[2], 0u);  // still 10: unchanged
    std::vector<int32_t> longer = Full(10);
    longer.resize(kSpectrumValues + 20, 99999);
    state.ProcessSpectrum(Frame(longer), {0, 0});
    EXPECT_EQ(state.Differences()[kSpectrumValues - 1], 0u);
    EXPECT_EQ(state.Differences()[0], 20u);
    // A frame with a torn last value takes the whole values only.
    std::vector<uint8_t> torn = Frame({77});
    torn.push_back(0xFF);
    state.ProcessSpectrum(torn, {0, 0});
    EXPECT_EQ(state.Differences()[0], 67u);
    EXPECT_EQ(state.Differences()[1], 0u);
}

TEST(CaptureFrames, BandFramesAreCutOrFilledToSixValues) {
    const std::vector<int32_t> two{7, -3};
    EXPECT_EQ(BandsFromData(ValuesFrame(kBandData, two.data(), 2).data), (std::array<int32_t, 6>{7, -3, 0, 0, 0, 0}));
    const std::vector<int32_t> ten{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(BandsFromData(ValuesFrame(kBandData, ten.data(), 10).data), (std::array<int32_t, 6>{1, 2, 3, 4, 5, 6}));
}

TEST(CaptureFrames, OnlySpectrumAndBandFramesWithDataReachTheDevices) {
    SpectrumState state;
    const std::vector<int32_t> six{1, 2, 3, 4, 5, 6};
    CaptureDelivery delivery = HandleCaptureFrame(state, ValuesFrame(kBandData, six.data(), 6), {1, 1});
    ASSERT_TRUE(delivery.keyboardBands);
    EXPECT_EQ((*delivery.keyboardBands)[5], 6);
    // No keyboard: nobody to give the bands to.
    EXPECT_FALSE(HandleCaptureFrame(state, ValuesFrame(kBandData, six.data(), 6), {0, 1}).keyboardBands);
    EXPECT_FALSE(HandleCaptureFrame(state, ValuesFrame(7, six.data(), 6), {1, 1}).keyboardBands);
    HandleCaptureFrame(state, ValuesFrame(7, six.data(), 6), {1, 1});
    HandleCaptureFrame(state, CaptureFrame{FrameKind::Data, kSpectrumData, {}}, {1, 1});
    HandleCaptureFrame(state, CaptureFrame{FrameKind::Command, kSpectrumData, {1, 0, 0, 0}}, {1, 1});
    EXPECT_EQ(state.Differences()[0], 0u);
    // The third spectrum frame is the first delivered: the others did not count.
    for (int frame = 0; frame < 2; ++frame)
        EXPECT_FALSE(HandleCaptureFrame(state, ValuesFrame(kSpectrumData, six.data(), 6), {1, 1}).spectrum.mouse);
    EXPECT_TRUE(HandleCaptureFrame(state, ValuesFrame(kSpectrumData, six.data(), 6), {1, 1}).spectrum.mouse);
}

}  // namespace
}  // namespace m470
