#pragma once
// The mouse's audio-reactive renderers (lighting mode 11): spectrum bands in,
// frame out.
#include <array>
#include <cstdint>

#include "devices/LightingSteps.h"

namespace m470 {

inline constexpr size_t kAudioBands = 9;

struct AudioState {
    uint8_t bandPointer = 0;
    uint8_t stepCounter = 0;
    std::array<uint8_t, kMaxLeds> colourIndex{};
    std::array<int32_t, kAudioBands> bands{};
    std::array<uint8_t, 7> r1{}, r2{}, r3{}, r4{};
};

// Band value → intensity: 600 − v × 600 / 2000. With positiveOnly a negative
// intensity counts as 500.
int32_t AudioIntensity(int32_t band, bool positiveOnly);

// The ripple counter of the mode-5 feed, kept once for the whole program.
struct RippleFeed {
    int32_t sum = 0;
};

// Stores the nine bands for the next audio step; in mode 11 with audio mode
// 5 it feeds the ripple counter instead and starts ripples at LEDs 7 and 13.
void FeedAudioSpectrum(AudioState& audio, const std::array<int32_t, kAudioBands>& values, const LightingState& light,
                       const AudioLightInfo& audioInfo, RippleFeed& feed);

void StartRipple(AudioState& audio, uint8_t led, int on);
void LightRipples(AudioState& audio, EffectState& effect, TrailState& trail, const LightingState& light);
void ShiftRipples(AudioState& audio);
void ResetAudio(AudioState& audio);

// The renderers; each takes the stored bands and clears them.
struct AudioScene {
    EffectState& effect;
    AudioState& audio;
    TrailState& trail;
    const LightingState& light;
    const AudioLightInfo& audioInfo;
    LedFrame& frame;
};
void RenderAudioColumns(AudioScene& scene);
void RenderAudioBars(AudioScene& scene);
void RenderAudioLevel(AudioScene& scene);
void RenderAudioRipples(AudioScene& scene);
// The renderer of the audio mode: 0 columns, 1 bars, 3 level, 5 ripples;
// any other mode leaves the frame unchanged.
void StepAudio(AudioScene& scene);

}  // namespace m470
