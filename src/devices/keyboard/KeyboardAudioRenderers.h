#pragma once
// The keyboard's audio-reactive renderers (lighting mode 29): 25 spectrum
// bands in, frame of the key columns out, and the beat that starts ripples.
#include <array>
#include <cstdint>
#include <span>

#include "devices/keyboard/KeyboardLightingSteps.h"

namespace m470 {

// The beat counter, kept once for the whole program.
struct BeatTotal {
    int32_t total = 0;
};

// Stores up to 25 bands for the next audio step. In mode 29 with audio mode
// 2 they count towards the beat instead: every beat starts a ripple at O.
void FeedKeyboardSpectrum(KeyboardEffects& fx, std::span<const int32_t> values, uint8_t mode,
                          const AudioLightInfo& audio, BeatTotal& beat);
// Keeps up to six values; the first three colour the keys in mode 30.
void FeedKeyboardBands(KeyboardEffects& fx, std::span<const uint32_t> values);

// Each renderer takes the stored bands and clears the store.
void RenderKeyColumns(KeyboardScene& s);      // audio mode 0
void RenderCentreBars(KeyboardScene& s);      // 1
void RenderKeyRipples(KeyboardScene& s);      // 2
void RenderKeyRings(KeyboardScene& s);        // 3
void RenderKeySparks(KeyboardScene& s);       // 4
void RenderRowBars(KeyboardScene& s);         // 5
void RenderAlternateBars(KeyboardScene& s);   // 6
// The renderer of the audio mode; any other audio mode leaves the frame as it is.
void StepKeyboardAudio(KeyboardScene& s);

}  // namespace m470
