// Synthetic sound through the capture program's analysis and the window's
// band processing: where a tone lands, what silence and noise give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "music/SpectrumAnalyzer.h"
#include "music/SpectrumProcessing.h"
#include "support/SineSource.h"

namespace m470 {
namespace {

using Hop = std::array<int16_t, kHopFrames * kCaptureChannels>;

Hop SineHop(double frequency, double amplitude, size_t hop) {
    Hop samples{};
    test::FillSine(samples.data(), kHopFrames, frequency, amplitude, hop * kHopFrames);
    return samples;
}

Hop NoiseHop(std::mt19937& random, double amplitude) {
    std::uniform_real_distribution<double> uniform(-amplitude, amplitude);
    Hop samples{};
    for (size_t i = 0; i < kHopFrames; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<int16_t>(std::lround(uniform(random) * 32767.0));
    return samples;
}

std::vector<uint8_t> AsData(const SpectrumValues& values) {
    return ValuesFrame(kSpectrumData, values.data(), values.size()).data;
}

TEST(Spectrum, DecibelScaleRunsFromTheFloorToFullScale) {
    EXPECT_EQ(ScaleDecibels(-60.0), 0);
    EXPECT_EQ(ScaleDecibels(-90.0), 0);
    EXPECT_EQ(ScaleDecibels(-30.0), 1000);
    EXPECT_EQ(ScaleDecibels(0.0), 2000);
    EXPECT_EQ(ScaleDecibels(6.0), 2000);
    EXPECT_EQ(ScaleDecibels(-INFINITY), 0);
    EXPECT_EQ(ScaleDecibels(NAN), 0);
}

TEST(Spectrum, ATonePeaksInItsBinAndLeavesFarBinsAtZero) {
    SpectrumAnalyzer analyzer;
    SpectrumValues values{};
    for (size_t hop = 0; hop < 3; ++hop) {
        const Hop samples = SineHop(1000.0, 0.5, hop);
        values = analyzer.Analyze(samples.data(), kHopFrames);
    }
    // Bins are 48 Hz apart from 48 Hz: 1 kHz is nearest bin 21, value 20.
    const auto peak = std::max_element(values.begin(), values.end()) - values.begin();
    EXPECT_EQ(peak, 20);
    // Half of full scale is -6 dB; a tone between bins loses a little more.
    EXPECT_GE(values[20], ScaleDecibels(-9.0));
    EXPECT_LE(values[20], ScaleDecibels(-6.0));
    for (size_t i = 40; i < kSpectrumValues; ++i) ASSERT_EQ(values[i], 0) << "bin " << i;
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(values[i], 0) << "bin " << i;
    EXPECT_NEAR(analyzer.Level(), ScaleDecibels(20 * std::log10(0.5)), 5);
}

TEST(Spectrum, SilenceGivesNothingAnywhere) {
    SpectrumAnalyzer analyzer;
    const Hop silence{};
    for (int hop = 0; hop < 3; ++hop) {
        const SpectrumValues values = analyzer.Analyze(silence.data(), kHopFrames);
        EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](int32_t v) { return v == 0; }));
    }
    EXPECT_EQ(analyzer.Level(), 0);
    // A short hop is padded with silence, not read past.
    const Hop loud = SineHop(1000.0, 1.0, 0);
    analyzer.Analyze(loud.data(), 0);
    EXPECT_EQ(analyzer.Level(), 0);
}

TEST(Spectrum, WhiteNoiseIsFlatAcrossTheBands) {
    std::mt19937 random(21);
    SpectrumAnalyzer analyzer;
    std::vector<double> sums(10, 0.0);
    constexpr int kHops = 40;
    size_t silentBins = 0;
    for (int hop = 0; hop < kHops; ++hop) {
        const Hop samples = NoiseHop(random, 0.5);
        const SpectrumValues values = analyzer.Analyze(samples.data(), kHopFrames);
        if (hop == 0) continue;  // the window is still half empty
        for (size_t i = 0; i < kSpectrumValues; ++i) sums[i / 50] += values[i];
        silentBins += static_cast<size_t>(std::count(values.begin(), values.end(), 0));
    }
    // Noise fills every bin; only the odd bin of a frame dips below the floor.
    EXPECT_LT(silentBins, kSpectrumValues * (kHops - 1) / 100);
    // Every tenth of the spectrum holds about the same level.
    const double mean = std::accumulate(sums.begin(), sums.end(), 0.0) / sums.size();
    for (size_t band = 0; band < sums.size(); ++band) EXPECT_NEAR(sums[band] / mean, 1.0, 0.05) << "band " << band;
    // Uniform noise of half scale spread over 501 bins sits far below the tone.
    EXPECT_LT(mean / (50.0 * (kHops - 1)), ScaleDecibels(-20.0));
}

TEST(Spectrum, AToneStartingAfterSilenceMovesItsMouseBand) {
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    SpectrumDelivery delivery;
    const Hop silence{};
    for (int hop = 0; hop < 2; ++hop)
        delivery = state.ProcessSpectrum(AsData(analyzer.Analyze(silence.data(), kHopFrames)), {0, 1});
    EXPECT_FALSE(delivery.mouse);
    const Hop tone = SineHop(1000.0, 0.5, 0);
    delivery = state.ProcessSpectrum(AsData(analyzer.Analyze(tone.data(), kHopFrames)), {0, 1});
    ASSERT_TRUE(delivery.mouse);
    // Values 20-23 are mouse group 4, delivered as band 3 (groups 1-9).
    const auto& bands = *delivery.mouse;
    const auto loudest = std::max_element(bands.begin(), bands.end()) - bands.begin();
    EXPECT_EQ(loudest, 3);
    EXPECT_GT(bands[3], 500);
    // A tone that starts inside the window also spreads a little: far less.
    for (size_t b = 5; b < kMouseBands; ++b) EXPECT_LT(bands[b] * 2, bands[3]) << "band " << b;
}

TEST(Spectrum, ASteadyToneStopsMovingTheBands) {
    SpectrumAnalyzer analyzer;
    SpectrumState state;
    for (size_t hop = 0; hop < 40; ++hop) {
        const Hop tone = SineHop(1000.0, 0.5, hop);
        state.ProcessSpectrum(AsData(analyzer.Analyze(tone.data(), kHopFrames)), {1, 1});
    }
    // Only the change counts: a tone that goes on leaves the slots near zero.
    for (const GroupSlot& slot : state.MouseSlots()) EXPECT_LE(slot.mean, 5u);
    for (const GroupSlot& slot : state.KeyboardSlots()) EXPECT_LE(slot.mean, 5u);
}

}  // namespace
}  // namespace m470
