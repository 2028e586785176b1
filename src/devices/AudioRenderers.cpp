#include "devices/AudioRenderers.h"

#include "devices/RippleMasks.h"

namespace m470 {
namespace {

constexpr uint8_t kWheelSize = 192;
constexpr int32_t kRippleThreshold = 63;

uint8_t AdvanceColour(uint8_t w, unsigned step) {
    unsigned next = w + step;
    while (next >= kWheelSize) next -= kWheelSize;
    return static_cast<uint8_t>(next);
}

void SetLed(LedFrame& frame, size_t index, Rgb colour, uint8_t level) {
    if (index < frame.size()) frame[index] = {colour.red, colour.green, colour.blue, level};
}

Rgb Foreground(const AudioLightInfo& audio, uint8_t w) {
    return audio.sevenColorFlags ? kColourWheel[w] : Rgb{audio.fgColorR, audio.fgColorG, audio.fgColorB};
}

Rgb Background(const AudioLightInfo& audio) { return {audio.bkColorR, audio.bkColorG, audio.bkColorB}; }

// Takes the stored bands (the store is cleared) and returns their average intensity.
int32_t TakeAverage(AudioState& audio, bool positiveOnly) {
    int32_t sum = 0;
    for (int32_t band : audio.bands) sum += AudioIntensity(band, positiveOnly);
    audio.bands.fill(0);
    return sum / static_cast<int32_t>(kAudioBands);
}

uint8_t Scaled(uint32_t value, uint32_t scale) { return static_cast<uint8_t>(value * scale / 256); }

}  // namespace

int32_t AudioIntensity(int32_t band, bool positiveOnly) {
    const int32_t u = 600 - static_cast<int32_t>(static_cast<int64_t>(band) * 600 / 2000);
    return positiveOnly && u < 0 ? 500 : u;
}

void FeedAudioSpectrum(AudioState& audio, const std::array<int32_t, kAudioBands>& values, const LightingState& light,
                       const AudioLightInfo& audioInfo, RippleFeed& feed) {
    audio.bands = values;
    if (light.mode != 11 || audioInfo.audioMode != 5) return;
    const int32_t average = TakeAverage(audio, true);
    feed.sum += 9 - average * 9 / 600;
    if (feed.sum > kRippleThreshold) {
        feed.sum = 0;
        StartRipple(audio, 7, 1);
        StartRipple(audio, 13, 1);
    }
}

void StartRipple(AudioState& audio, uint8_t led, int on) {
    if (on != 1) return;
    for (size_t i = 0; i < kRippleLayout.size(); ++i) {
        for (size_t j = 0; j < 3; ++j) {
            if (kRippleLayout[i][j] != led) continue;
            const auto bit = static_cast<uint8_t>(1u << j);
            audio.r1[i] |= bit;
            audio.r2[i] |= bit;
            audio.r3[i] |= bit;
            audio.r4[i] |= bit;
            return;
        }
    }
}

void LightRipples(AudioState& audio, EffectState& effect, TrailState& trail, const LightingState& light) {
    for (size_t i = 0; i < kRippleLayout.size(); ++i) {
        const uint8_t mask = audio.r1[i] | audio.r2[i] | audio.r3[i] | audio.r4[i];
        for (size_t j = 0; j < 3; ++j) {
            const uint8_t led = kRippleLayout[i][j];
            if (led == kNoLed || !(mask & (1u << j))) continue;
            trail.levels[led] = 255;
            if (light.multiColor) {
                effect.phase = PhaseStep(light.direction, kWheelSize, effect.phase, 1);
                audio.colourIndex[led] = effect.phase;
            }
        }
    }
}

void ShiftRipples(AudioState& audio) { ShiftRippleMasks(audio.r1, audio.r2, audio.r3, audio.r4); }

void ResetAudio(AudioState& audio) {
    audio.r1.fill(0);
    audio.r2.fill(0);
    audio.r3.fill(0);
    audio.r4.fill(0);
    audio.bands.fill(0);
}

void RenderAudioColumns(AudioScene& s) {
    s.effect.phase = PhaseStep(s.light.direction, kWheelSize, s.effect.phase, 1);
    uint8_t w = s.effect.phase;
    if (s.audio.stepCounter > 9) {
        s.audio.stepCounter = 0;
        s.audio.bandPointer = PhaseStep(s.light.direction, 9, s.audio.bandPointer, 1);
    }
    ++s.audio.stepCounter;
    std::array<int32_t, kAudioBands> bands = s.audio.bands;
    s.audio.bands.fill(0);
    const uint8_t scale = s.light.Scale();
    for (size_t row = 0; row < kColumnLayout.size(); ++row) {
        const int32_t u = AudioIntensity(bands[(s.audio.bandPointer + 1 + row) % kAudioBands], false);
        const int32_t height = (u + 100) * 6 / 600;
        for (size_t j = 0; j < kColumnLayout[row].size(); ++j) {
            w = AdvanceColour(w, 7);
            const uint8_t led = kColumnLayout[row][j];
            if (j < 3 || s.trail.levels[kColumnLayout[row][j - 1]] < 10) DecayTrail(s.trail, led, 11);
            if (static_cast<int32_t>(j) - 1 < height) {
                if (s.trail.levels[led] < 10)
                    SetLed(s.frame, led, Background(s.audioInfo), scale);
                else
                    SetLed(s.frame, led, Foreground(s.audioInfo, w), Scaled(scale, s.trail.levels[led]));
            } else {
                s.trail.levels[led] = 255;
                SetLed(s.frame, led, Foreground(s.audioInfo, w), Scaled(scale, 255));
            }
        }
    }
}

void RenderAudioBars(AudioScene& s) {
    const int32_t height = TakeAverage(s.audio, true) * 6 / 600;
    s.effect.phase = PhaseStep(s.light.direction, kWheelSize, s.effect.phase, static_cast<uint8_t>(height));
    uint8_t w = s.effect.phase;
    for (size_t r = 0; r < kBarLayout.size(); ++r) {
        for (uint8_t led : kBarLayout[r]) {
            if (led == kNoLed) continue;
            w = AdvanceColour(w, 1);
            if (static_cast<int32_t>(r) < 6 - height) {
                s.trail.levels[led] = 255;
                SetLed(s.frame, led, Foreground(s.audioInfo, w), s.light.Scale());
            } else {
                SetLed(s.frame, led, Background(s.audioInfo), s.light.Scale());
            }
        }
    }
}

void RenderAudioLevel(AudioScene& s) {
    const int32_t height = TakeAverage(s.audio, true) * 8 / 600;
    s.effect.phase = PhaseStep(s.light.direction, kWheelSize, s.effect.phase, static_cast<uint8_t>(height));
    uint8_t w = s.effect.phase;
    for (size_t r = 0; r < kRippleLayout.size(); ++r) {
        w = AdvanceColour(w, 9);
        for (uint8_t led : kRippleLayout[r]) {
            if (led == kNoLed || led >= s.frame.size()) continue;
            Rgb colour{s.frame[led].red, s.frame[led].green, s.frame[led].blue};
            if (static_cast<int32_t>(r) < 8 - height) {
                s.trail.levels[led] = 255;
                colour = kColourWheel[w];
            } else {
                DecayTrail(s.trail, led, 0);
            }
            SetLed(s.frame, led, colour, Scaled(s.light.Scale(), s.trail.levels[led]));
        }
    }
}

void RenderAudioRipples(AudioScene& s) {
    LightRipples(s.audio, s.effect, s.trail, s.light);
    ShiftRipples(s.audio);
    for (uint8_t led : kAudioLedOrder) {
        DecayTrail(s.trail, led, 11);
        uint8_t& index = s.audio.colourIndex[led];
        index = PhaseStep(1, kWheelSize, index, 2);
        Rgb colour = s.audioInfo.sevenColorFlags ? kColourWheel[index]
                                                 : Rgb{s.audioInfo.fgColorR, s.audioInfo.fgColorG, s.audioInfo.fgColorB};
        if (s.trail.levels[led] <= 2) colour = Background(s.audioInfo);
        SetLed(s.frame, led, colour, s.light.Scale());
    }
}

void StepAudio(AudioScene& scene) {
    switch (scene.audioInfo.audioMode) {
        case 0: RenderAudioColumns(scene); break;
        case 1: RenderAudioBars(scene); break;
        case 3: RenderAudioLevel(scene); break;
        case 5: RenderAudioRipples(scene); break;
        default: break;
    }
}

}  // namespace m470
