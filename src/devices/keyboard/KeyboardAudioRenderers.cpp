#include "devices/keyboard/KeyboardAudioRenderers.h"

#include <algorithm>

#include "devices/AudioRenderers.h"
#include "devices/LevelDecay.h"

namespace m470 {
namespace {

constexpr uint8_t kWheelSize = 192;
constexpr int kAudioDecayMode = 29;
constexpr uint8_t kShownAbove = 9;     // a fading key shows the foreground above this level
constexpr uint8_t kNeighbourLit = 10;  // a neighbour below this level lets a key fade
constexpr uint8_t kSparkAboveLit = 5;
constexpr int32_t kBeatAt = 71;
constexpr uint8_t kBeatKey = 51;
constexpr int kRingRows = 20;
constexpr int kLastColumn = static_cast<int>(kKeyColumnCount) - 1;

using Bands = std::array<int32_t, kKeyboardBands>;

Bands TakeBands(KeyboardEffects& fx) {
    const Bands bands = fx.bands;
    fx.bands.fill(0);
    return bands;
}

uint8_t Scaled(uint32_t value, uint32_t scale) { return static_cast<uint8_t>(value * scale / 256); }

void SetKey(LedFrame& frame, size_t key, const Rgb& colour, uint8_t level) {
    if (key < frame.size()) frame[key] = {colour.red, colour.green, colour.blue, level};
}

Rgb Foreground(const AudioLightInfo& audio, unsigned w) {
    return audio.sevenColorFlags ? kColourWheel[w % kWheelSize] : Rgb{audio.fgColorR, audio.fgColorG, audio.fgColorB};
}
Rgb Background(const AudioLightInfo& audio) { return {audio.bkColorR, audio.bkColorG, audio.bkColorB}; }

void Decay(KeyboardScene& s, uint8_t key) {
    static const DecayRowLevels& decay = DecayLevels(kAudioDecayMode);
    s.fx.level[key] = decay[s.fx.level[key]];
}

// A key that shows the foreground while its level lasts, then the background.
void ShowFading(KeyboardScene& s, uint8_t key, const Rgb& foreground) {
    const uint8_t level = s.fx.level[key];
    if (level > kShownAbove) SetKey(s.frame, key, foreground, Scaled(s.light.Scale(), level));
    else SetKey(s.frame, key, Background(s.audio), s.light.Scale());
}

void ShowLit(KeyboardScene& s, uint8_t key, const Rgb& foreground) {
    s.fx.level[key] = 255;
    SetKey(s.frame, key, foreground, Scaled(s.light.Scale(), 255));
}

// An empty neighbour, or one outside the grid, counts as dark.
bool Dark(const KeyboardScene& s, int column, int row, uint8_t below) {
    const uint8_t k = ColumnKey(column, row);
    return !IsKey(k) || s.fx.level[k] < below;
}

uint8_t Advance(uint8_t phase, const KeyboardScene& s) { return PhaseStep(s.light.direction, kWheelSize, phase, 1); }

// Row values: consecutive groups of bands, each sum divided by 3.
template <size_t Groups>
std::array<int32_t, Groups> GroupSums(const Bands& bands, const std::array<uint8_t, Groups>& sizes) {
    std::array<int32_t, Groups> sums{};
    size_t band = 0;
    for (size_t g = 0; g < Groups; ++g) {
        for (uint8_t i = 0; i < sizes[g]; ++i) sums[g] += bands[band++];
        sums[g] /= 3;
    }
    return sums;
}

int32_t MeanClampedIntensity(const Bands& bands) {
    int32_t sum = 0;
    for (int32_t v : bands) sum += AudioIntensity(v, true);
    return sum / static_cast<int32_t>(kKeyboardBands);
}

}  // namespace

void FeedKeyboardSpectrum(KeyboardEffects& fx, std::span<const int32_t> values, uint8_t mode,
                          const AudioLightInfo& audio, BeatTotal& beat) {
    fx.bands.fill(0);
    std::copy_n(values.begin(), std::min(values.size(), fx.bands.size()), fx.bands.begin());
    if (mode != 29 || audio.audioMode != 2) return;
    const int32_t mean = MeanClampedIntensity(TakeBands(fx));
    beat.total += 25 - mean * 25 / 600;
    if (beat.total >= kBeatAt) {
        beat.total = 0;
        StartKeyRipple(fx, kBeatKey);
    }
}

void FeedKeyboardBands(KeyboardEffects& fx, std::span<const uint32_t> values) {
    std::copy_n(values.begin(), std::min(values.size(), fx.fixedBands.size()), fx.fixedBands.begin());
}

void RenderKeyColumns(KeyboardScene& s) {
    const Bands v = TakeBands(s.fx);
    s.fx.effect.phase = Advance(s.fx.effect.phase, s);
    unsigned w = s.fx.effect.phase;
    for (int c = 0; c <= kLastColumn; ++c) {
        const int32_t height = (AudioIntensity(v[static_cast<size_t>(c)], false) + 100) * 6 / 600;
        w = (w + 10) % kWheelSize;
        for (int r = 0; r < static_cast<int>(kKeyRowCount); ++r) {
            const uint8_t k = ColumnKey(c, r);
            if (!IsKey(k)) continue;
            if (r == 0 || Dark(s, c, r - 1, kNeighbourLit)) Decay(s, k);
            if (r < height) ShowFading(s, k, Foreground(s.audio, w));
            else ShowLit(s, k, Foreground(s.audio, w));
        }
    }
}

void RenderCentreBars(KeyboardScene& s) {
    constexpr int kLeftHalfEnd = 8;
    const Bands v = TakeBands(s.fx);
    s.fx.effect.phase = Advance(s.fx.effect.phase, s);
    s.fx.bandPointer = PhaseStep(s.light.direction, kKeyboardBands, s.fx.bandPointer, 1);
    size_t p = s.fx.bandPointer;
    const auto barLength = [&](size_t band) { return (AudioIntensity(v[band], true) + 100) * 12 / 600; };
    for (int r = 0; r < static_cast<int>(kKeyRowCount); ++r) {
        p = (p + 3) % kKeyboardBands;
        const int32_t left = barLength(p);
        const int32_t right = barLength(2 * static_cast<size_t>(r) + 1);
        unsigned w = s.fx.effect.phase;
        for (int c = 0; c <= kLastColumn; ++c) {
            w = (w + 7) % kWheelSize;
            const uint8_t k = ColumnKey(c, r);
            if (!IsKey(k)) continue;
            bool lit;
            if (c <= kLeftHalfEnd) {
                if (Dark(s, c - 1, r, kNeighbourLit)) Decay(s, k);
                lit = c >= left;
            } else {
                if (c > kLastColumn - 2 || Dark(s, c + 1, r, kNeighbourLit)) Decay(s, k);
                lit = c <= kLastColumn - 1 - right;
            }
            if (lit) ShowLit(s, k, Foreground(s.audio, w));
            else ShowFading(s, k, Foreground(s.audio, w));
        }
    }
}

void RenderKeyRipples(KeyboardScene& s) {
    TakeBands(s.fx);
    LightKeyRipples(s);
    ShiftKeyRipples(s.fx);
    for (uint8_t k = 0; k < kKeyboardKeys; ++k) {
        Decay(s, k);
        const unsigned next = s.fx.colour[k] + 9u;  // round the wheel upwards, 0 at its end
        s.fx.colour[k] = static_cast<uint8_t>(next >= kWheelSize ? 0 : next);
        ShowFading(s, k, Foreground(s.audio, s.fx.colour[k]));
    }
}

void RenderKeyRings(KeyboardScene& s) {
    // Loud bands below 0 would push the rings past the wheel: at most all 20.
    const int32_t height = std::clamp(MeanClampedIntensity(TakeBands(s.fx)) * kRingRows / 600, 0, kRingRows);
    s.fx.effect.phase = PhaseStep(s.light.direction, kWheelSize, s.fx.effect.phase, static_cast<uint8_t>(height));
    unsigned w = s.fx.effect.phase;
    for (size_t i = 0; i < kKeyGrid.size(); ++i) {
        w = (w + 9) % kWheelSize;
        for (uint8_t k : kKeyGrid[i]) {
            if (!IsKey(k) || !InKeyOrder(k)) continue;
            if (static_cast<int>(i) < kRingRows - height) {
                s.fx.level[k] = 255;
                s.fx.colour[k] = static_cast<uint8_t>(w);
            } else {
                s.fx.level[k] = DecayedLevel(s.fx.level[k], 0);
            }
            SetKey(s.frame, k, kColourWheel[s.fx.colour[k] % kWheelSize], Scaled(s.light.Scale(), s.fx.level[k]));
        }
    }
}

void RenderKeySparks(KeyboardScene& s) {
    const Bands v = TakeBands(s.fx);
    s.fx.effect.phase = Advance(s.fx.effect.phase, s);
    for (int c = 0; c <= kLastColumn; ++c) {
        const size_t column = static_cast<size_t>(c);
        const int32_t height = (AudioIntensity(v[(column + 1) % kKeyboardBands], false) + 100) * 6 / 600;
        if (s.fx.sparks[column] && Dark(s, c, static_cast<int>(kKeyRowCount) - 1, kNeighbourLit))
            s.fx.sparks[column] = false;
        for (int r = 0; r < static_cast<int>(kKeyRowCount); ++r) {
            const uint8_t k = ColumnKey(c, r);
            if (!IsKey(k)) continue;
            if (r == 0 || Dark(s, c, r - 1, kSparkAboveLit)) Decay(s, k);
            ShowFading(s, k, Foreground(s.audio, s.fx.colour[k]));
            if (r >= height && !s.fx.sparks[column]) {
                s.fx.level[k] = 255;
                s.fx.sparks[column] = true;
            }
        }
    }
}

void RenderRowBars(KeyboardScene& s) {
    const auto rows = GroupSums<6>(TakeBands(s.fx), {2, 3, 3, 4, 5, 7});
    s.fx.effect.phase = Advance(s.fx.effect.phase, s);
    for (int r = 0; r < static_cast<int>(kKeyRowCount); ++r) {
        const int32_t u = AudioIntensity(rows[static_cast<size_t>(5 - r)], true);
        const int32_t reach = 23 - (u * 23 + 2300) / 600;
        unsigned w = s.fx.effect.phase;
        for (int c = 0; c <= kLastColumn; ++c) {
            w = (w + 3) % kWheelSize;
            const uint8_t k = ColumnKey(c, r);
            if (!IsKey(k)) continue;
            if (c > kLastColumn - 2 || Dark(s, c + 1, r, kNeighbourLit)) Decay(s, k);
            if (c <= reach) ShowLit(s, k, Foreground(s.audio, w));
            else ShowFading(s, k, Foreground(s.audio, w));
        }
    }
}

void RenderAlternateBars(KeyboardScene& s) {
    const auto rows = GroupSums<6>(TakeBands(s.fx), {2, 2, 3, 4, 5, 5});
    s.fx.effect.phase = Advance(s.fx.effect.phase, s);
    const Rgb colour = Foreground(s.audio, s.fx.effect.phase);
    for (int r = 0; r < static_cast<int>(kKeyRowCount); ++r) {
        const int32_t n = AudioIntensity(rows[static_cast<size_t>(r)], true) * 23 / 600;
        const bool fromLeft = r % 2 == 0;
        for (int c = 0; c <= kLastColumn; ++c) {
            const uint8_t k = ColumnKey(c, r);
            if (!IsKey(k)) continue;
            // Even rows are lit from column n to the right end, odd rows from the left end to 23 − n.
            const bool decays = fromLeft ? c < 2 || Dark(s, c - 1, r, kNeighbourLit)
                                         : c > kLastColumn - 2 || Dark(s, c + 1, r, kNeighbourLit);
            if (decays) Decay(s, k);
            const bool lit = fromLeft ? c >= n : c <= 23 - n;
            if (lit) ShowLit(s, k, colour);
            else ShowFading(s, k, colour);
        }
    }
}

void StepKeyboardAudio(KeyboardScene& s) {
    static constexpr std::array<void (*)(KeyboardScene&), 7> kRenderers{
        RenderKeyColumns, RenderCentreBars, RenderKeyRipples, RenderKeyRings,
        RenderKeySparks,  RenderRowBars,    RenderAlternateBars};
    if (s.audio.audioMode < kRenderers.size()) kRenderers[s.audio.audioMode](s);
}

}  // namespace m470
