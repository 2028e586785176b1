#pragma once
// One step of each host-computed effect: pure functions of (state, input) →
// frame. The lighting threads only pace them.
#include <array>
#include <cstdint>
#include <vector>

#include "devices/LedFrame.h"
#include "profiles/ProfileRecords.h"

namespace m470 {

// With a non-zero direction phase + step, 0 on reaching the period; with 0,
// phase − step, period − step when that would go below 0 (8-bit arithmetic).
uint8_t PhaseStep(uint8_t direction, uint8_t period, uint8_t phase, uint8_t step);

struct EffectState {
    uint8_t phase = 0;
    uint8_t colourIndex = 0;
    uint8_t paletteIndex = 0;
    bool blinkOn = false;
    uint64_t lastToggleMs = 0;
};

// Built-in steps: every LED gets the same value.
void StepBreathing(EffectState& state, const LightingState& light, LedFrame& frame);
void StepBreathingPalette(EffectState& state, const LightingState& light, LedFrame& frame);
void StepStatic(EffectState& state, const LightingState& light, LedFrame& frame);
void StepSpectrum(EffectState& state, const LightingState& light, LedFrame& frame);
void StepBlink(EffectState& state, const LightingState& light, LedFrame& frame, uint64_t nowMs);
void StepBlinkPalette(EffectState& state, const LightingState& light, LedFrame& frame, uint64_t nowMs);
void StepOff(EffectState& state, const LightingState& light, LedFrame& frame);

// Trail state: one level per position and a ring of 23 flags.
struct TrailState {
    std::array<uint8_t, kMaxLeds> levels{};
    std::array<bool, 23> ring{};
};
void DecayTrail(TrailState& trail, size_t position, int mode);
void SeedTrail(TrailState& trail, size_t positions = 9);
// Rotates the first count flags by one place: towards higher indexes when
// upwards (the last moving to index 0), else towards lower ones.
void RotateTrail(TrailState& trail, bool upwards, size_t count = 23);
void ResetTrail(TrailState& trail);

// Mouse steps.
void StepMouseWave(EffectState& state, const LightingState& light, LedFrame& frame);
void StepMouseTrail(EffectState& state, TrailState& trail, const LightingState& light, LedFrame& frame);

// Mousepad and headset steps: the wave over every LED, and the trail over
// pairs of LEDs (position i lights LEDs i + 1 and 14 − i) or over every LED.
// The two products space their waves differently.
struct WaveShape {
    uint8_t wheelStride;  // colour-wheel entries between LEDs (seven colours)
    uint8_t curveStep;    // curve phase step per run (one colour)
    uint8_t curveStride;  // curve entries between LEDs
    uint8_t curveOffset;  // curve entries before LED 0
};
inline constexpr WaveShape kPadWave{7, 1, 7, 1};
inline constexpr WaveShape kHeadsetWave{16, 3, 10, 0};
void StepPadWave(EffectState& state, const LightingState& light, LedFrame& frame, const WaveShape& shape = kPadWave);
struct PadTrailState {
    TrailState trail;
    uint8_t calls = 0;
};
// levelShift: position i takes the trail level of position i + levelShift
// (the headset's trails run one place ahead of the pad's).
void StepPadTrail(EffectState& state, PadTrailState& trail, const LightingState& light, LedFrame& frame, bool pairs,
                  size_t levelShift = 0);

struct ReactionState {
    struct Led {
        uint8_t stage = 0;  // 0 idle, 1 rising, 2 falling
        uint8_t level = 0;
        uint8_t wheelIndex = 0;
    };
    std::array<Led, kMaxLeds> leds{};
};
// Arms every LED of the frame (key press on the mouse); wheel indexes from random.
void ArmReaction(ReactionState& reaction, size_t ledCount, uint32_t (*random)());
void StepReaction(ReactionState& reaction, const LightingState& light, LedFrame& frame);

// Custom effect steps (mode 10 and modes without a step of their own).
struct CustomState {
    uint8_t k = 0;      // call counter
    uint8_t x = 0;      // kept from step to step
    size_t current = 0; // index of the current step
    uint64_t stepStartMs = 0;
    bool blinkOn = false;
    uint64_t lastToggleMs = 0;
    uint8_t colourIndex = 0;
};
void StepCustom(CustomState& state, const std::vector<LedEffectStep>& steps, const LightingState& light, LedFrame& frame,
                uint64_t nowMs);

// Per-LED effect records (the profile's "LightList").
struct PerLedState {
    std::vector<LightListEntry> records;
    struct Led {
        uint8_t counter = 0;
        uint8_t colourIndex = 0;
        bool blinkOn = false;
        uint64_t lastToggleMs = 0;
        uint8_t period = 0;
    };
    std::vector<Led> leds;
};
// Whether any per-LED record changes its LED from step to step (breathing
// or cycling with its valid flag, or blinking).
bool PerLedRecordsMove(const PerLedState& state);
// Whether any per-LED record holds its LED at one colour (static or off).
bool PerLedRecordsHold(const PerLedState& state);
enum PerLedModes : uint8_t {
    kPerLedBreathing = 1 << 0,
    kPerLedStatic = 1 << 1,
    kPerLedBlink = 1 << 2,
    kPerLedCycle = 1 << 3,
    kPerLedOff = 1 << 4,
    kPerLedAll = 0x1F,
    kPerLedMouseReset = kPerLedBreathing | kPerLedBlink | kPerLedCycle,
};
void RunPerLedRules(PerLedState& state, LedFrame& frame, uint64_t nowMs, uint8_t modes, bool reset);

}  // namespace m470
