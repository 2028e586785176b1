#include "devices/LightingSteps.h"

#include <algorithm>

#include "devices/LevelDecay.h"

namespace m470 {
namespace {

constexpr uint8_t kWheelSize = 192;
constexpr uint64_t kBlinkUnitMs = 200;

uint8_t Clamp4(uint8_t value) { return value > 4 ? 4 : value; }

void Fill(LedFrame& frame, Rgb colour, uint8_t level) {
    for (LedEntry& led : frame) led = {colour.red, colour.green, colour.blue, level};
}

void SetLed(LedFrame& frame, size_t index, Rgb colour, uint8_t level) {
    if (index < frame.size()) frame[index] = {colour.red, colour.green, colour.blue, level};
}

uint8_t Scaled(uint32_t value, uint32_t scale) { return static_cast<uint8_t>(value * scale / 256); }

// Colour indexes step through the wheel and start over at its end.
uint8_t AdvanceWheel(uint8_t index, uint8_t step) {
    const unsigned next = index + step;
    return static_cast<uint8_t>(next >= kWheelSize ? 0 : next);
}

uint8_t AdvancePalette(uint8_t index) { return static_cast<uint8_t>(index + 1 > 3 ? 0 : index + 1); }

bool BlinkDue(uint64_t lastToggleMs, uint8_t speed, uint64_t nowMs) {
    return nowMs - lastToggleMs >= kBlinkPeriod[Clamp4(speed)] * kBlinkUnitMs;
}

// Breathing phase shared by the two breathing steps; true when it wrapped to 0.
bool AdvanceBreath(EffectState& state, const LightingState& light) {
    state.phase = PhaseStep(light.direction, 128, state.phase, 1);
    return state.phase == 0;
}

}  // namespace

LightingState LightingState::From(const LightInfo& info) {
    return {info.selectItem, Clamp4(info.light), Clamp4(info.speed), info.fx, info.multiColor,
            {info.red, info.green, info.blue}};
}

uint8_t PhaseStep(uint8_t direction, uint8_t period, uint8_t phase, uint8_t step) {
    if (direction != 0) {
        const auto next = static_cast<uint8_t>(phase + step);
        return next >= period ? 0 : next;
    }
    return phase < step ? static_cast<uint8_t>(period - step) : static_cast<uint8_t>(phase - step);
}

void StepBreathing(EffectState& state, const LightingState& light, LedFrame& frame) {
    if (AdvanceBreath(state, light)) state.colourIndex = AdvanceWheel(state.colourIndex, 16);
    const Rgb colour = light.multiColor ? kColourWheel[state.colourIndex] : light.colour;
    Fill(frame, colour, Scaled(kBreathCurve[state.phase], light.Scale()));
}

void StepBreathingPalette(EffectState& state, const LightingState& light, LedFrame& frame) {
    if (AdvanceBreath(state, light)) state.paletteIndex = AdvancePalette(state.paletteIndex);
    Fill(frame, kFourColourPalette[state.paletteIndex], Scaled(kBreathCurve[state.phase], light.Scale()));
}

void StepStatic(EffectState&, const LightingState& light, LedFrame& frame) { Fill(frame, light.colour, light.Scale()); }

void StepSpectrum(EffectState& state, const LightingState& light, LedFrame& frame) {
    state.phase = PhaseStep(light.direction, kWheelSize, state.phase, 1);
    Fill(frame, kColourWheel[state.phase], light.Scale());
}

void StepBlink(EffectState& state, const LightingState& light, LedFrame& frame, uint64_t nowMs) {
    if (BlinkDue(state.lastToggleMs, light.speed, nowMs)) {
        state.blinkOn = !state.blinkOn;
        state.lastToggleMs = nowMs;
        state.colourIndex = AdvanceWheel(state.colourIndex, 16);
    }
    const Rgb on = light.multiColor ? kColourWheel[state.colourIndex] : light.colour;
    Fill(frame, state.blinkOn ? on : Rgb{0, 0, 0}, state.blinkOn ? light.Scale() : 0);
}

void StepBlinkPalette(EffectState& state, const LightingState& light, LedFrame& frame, uint64_t nowMs) {
    if (BlinkDue(state.lastToggleMs, light.speed, nowMs)) {
        state.blinkOn = !state.blinkOn;
        state.lastToggleMs = nowMs;
        state.paletteIndex = AdvancePalette(state.paletteIndex);
    }
    Fill(frame, state.blinkOn ? kFourColourPalette[state.paletteIndex] : Rgb{0, 0, 0},
         state.blinkOn ? light.Scale() : 0);
}

void StepOff(EffectState&, const LightingState&, LedFrame& frame) { Fill(frame, {0, 0, 0}, 0); }

void DecayTrail(TrailState& trail, size_t position, int mode) {
    if (position < trail.levels.size()) trail.levels[position] = DecayedLevel(trail.levels[position], mode);
}

void SeedTrail(TrailState& trail, size_t positions) {
    for (size_t i = 0; i < positions && i < trail.ring.size(); ++i)
        if (trail.ring[i]) trail.levels[i] = 255;
}

void RotateTrail(TrailState& trail, bool upwards, size_t count) {
    count = std::min(count, trail.ring.size());
    if (count < 2) return;
    if (upwards)
        std::rotate(trail.ring.begin(), trail.ring.begin() + static_cast<long>(count - 1), trail.ring.begin() + static_cast<long>(count));
    else
        std::rotate(trail.ring.begin(), trail.ring.begin() + 1, trail.ring.begin() + static_cast<long>(count));
}

void ResetTrail(TrailState& trail) { trail = TrailState{}; }

void StepMouseWave(EffectState& state, const LightingState& light, LedFrame& frame) {
    const bool multi = light.multiColor != 0;
    state.phase = PhaseStep(light.direction, multi ? kWheelSize : 96, state.phase, 1);
    for (size_t i = 0; i < kMouseLedPositions.size(); ++i) {
        const Rgb colour = multi ? kColourWheel[(state.phase + 1 + 7 * i) % kWheelSize] : light.colour;
        const uint8_t level = multi ? light.Scale() : Scaled(light.Scale(), kWaveCurve[(state.phase + 1 + 7 * i) % 96]);
        for (uint8_t led : kMouseLedPositions[i])
            if (led != kNoLed) SetLed(frame, led, colour, level);
    }
}

void StepMouseTrail(EffectState& state, TrailState& trail, const LightingState& light, LedFrame& frame) {
    state.phase = PhaseStep(light.direction, kWheelSize, state.phase, 1);
    SeedTrail(trail);
    RotateTrail(trail, light.direction != 0);
    const size_t leading = light.direction != 0 ? 0 : kMouseLedPositions.size() - 1;
    for (size_t i = 0; i < kMouseLedPositions.size(); ++i) {
        DecayTrail(trail, i, light.mode);
        Rgb colour = light.colour;
        if (light.multiColor) {
            state.phase = static_cast<uint8_t>((state.phase + 12) % kWheelSize);
            const uint8_t firstLed = kMouseLedPositions[i][0];
            // While the leading position is lit the trail keeps the colour it shows.
            if (trail.levels[leading] > 0 && firstLed < frame.size())
                colour = {frame[firstLed].red, frame[firstLed].green, frame[firstLed].blue};
            else
                colour = kColourWheel[state.phase];
        }
        for (uint8_t led : kMouseLedPositions[i])
            if (led != kNoLed) SetLed(frame, led, colour, Scaled(light.Scale(), trail.levels[i]));
    }
}

void StepPadWave(EffectState& state, const LightingState& light, LedFrame& frame, const WaveShape& shape) {
    const bool multi = light.multiColor != 0;
    state.phase = PhaseStep(light.direction, multi ? kWheelSize : 96, state.phase, multi ? 1 : shape.curveStep);
    for (size_t i = 0; i < frame.size(); ++i) {
        if (multi)
            SetLed(frame, i, kColourWheel[(state.phase + 1 + shape.wheelStride * i) % kWheelSize], light.Scale());
        else
            SetLed(frame, i, light.colour,
                   Scaled(light.Scale(), kWaveCurve[(state.phase + shape.curveOffset + shape.curveStride * i) % 96]));
    }
}

void StepPadTrail(EffectState& state, PadTrailState& pad, const LightingState& light, LedFrame& frame, bool pairs,
                  size_t levelShift) {
    constexpr size_t kPairPositions = 7;
    state.phase = PhaseStep(light.direction, kWheelSize, state.phase, 1);
    if (pad.calls > 1) {
        pad.calls = 0;
        SeedTrail(pad.trail);
        // Pairs rotate the first 8 flags upwards with direction 0; all LEDs rotate 23 upwards otherwise.
        if (pairs)
            RotateTrail(pad.trail, light.direction == 0, 8);
        else
            RotateTrail(pad.trail, light.direction != 0, 23);
    }
    ++pad.calls;
    const size_t positions = pairs ? kPairPositions : frame.size();
    const size_t leading = light.direction != 0 ? 0 : positions - 1;
    for (size_t i = 0; i < positions; ++i) {
        DecayTrail(pad.trail, i, light.mode);
        const size_t first = pairs ? i + 1 : i;
        Rgb colour = light.colour;
        if (light.multiColor) {
            state.phase = static_cast<uint8_t>((state.phase + 12) % kWheelSize);
            if (pad.trail.levels[leading] > 0 && first < frame.size())
                colour = {frame[first].red, frame[first].green, frame[first].blue};
            else
                colour = kColourWheel[state.phase];
        }
        const size_t source = i + levelShift;
        const uint8_t level = Scaled(light.Scale(), source < pad.trail.levels.size() ? pad.trail.levels[source] : 0);
        SetLed(frame, first, colour, level);
        if (pairs) SetLed(frame, 14 - i, colour, level);
    }
}

void ArmReaction(ReactionState& reaction, size_t ledCount, uint32_t (*random)()) {
    for (size_t i = 0; i < ledCount && i < reaction.leds.size(); ++i)
        reaction.leds[i] = {1, 255, static_cast<uint8_t>(random() % kWheelSize)};
}

void StepReaction(ReactionState& reaction, const LightingState& light, LedFrame& frame) {
    for (size_t i = 0; i < frame.size() && i < reaction.leds.size(); ++i) {
        ReactionState::Led& led = reaction.leds[i];
        if (led.stage == 1) {
            // An LED armed at full level starts falling at once.
            led.level = static_cast<uint8_t>(std::min(255, led.level + (led.level < 255 ? 15 : 0)));
            if (led.level >= 255) led.stage = 2;
        } else if (led.stage == 2) {
            led.level = led.level > 15 ? static_cast<uint8_t>(led.level - 15) : 0;
            if (led.level == 0) led.stage = 0;
        }
        const Rgb colour = light.multiColor ? kColourWheel[led.wheelIndex] : light.colour;
        SetLed(frame, i, colour, Scaled(light.Scale(), led.level));
    }
}

void StepCustom(CustomState& state, const std::vector<LedEffectStep>& steps, const LightingState& light, LedFrame& frame,
                uint64_t nowMs) {
    if (steps.empty()) {
        Fill(frame, {0, 0, 0}, 0);
        return;
    }
    if (state.current >= steps.size()) state.current = 0;
    const LedEffectStep step = steps[state.current];
    state.k = static_cast<uint8_t>(state.k + 1 >= 255 ? 0 : state.k + 1);
    const uint8_t speed = Clamp4(step.speed);
    const uint8_t threshold = step.mode == 5 ? kColourCycleThreshold[speed] : kStepThreshold[speed];
    const uint8_t scale = kBrightnessScale[Clamp4(step.brightness)];
    const Rgb colour{step.red, step.green, step.blue};
    const bool due = state.k >= threshold;
    switch (step.mode) {
        case 0:  // breathing; with seven colours the wheel moves on one entry per breath
            if (due) {
                state.k = 0;
                state.x = static_cast<uint8_t>((state.x + 1) % 128);
                if (state.x == 0) state.colourIndex = AdvanceWheel(state.colourIndex, 1);
            }
            Fill(frame, step.multiColor ? kColourWheel[state.colourIndex] : colour, Scaled(kBreathCurve[state.x], scale));
            break;
        case 1:  // static
            if (due) {
                state.k = 0;
                state.x = static_cast<uint8_t>((state.x + 1) % 9);
            }
            Fill(frame, colour, scale);
            break;
        case 2:  // blink at the lighting record's speed
            state.x = static_cast<uint8_t>((state.x + 1) % 128);
            if (due) state.k = 0;
            if (BlinkDue(state.lastToggleMs, light.speed, nowMs)) {
                state.blinkOn = !state.blinkOn;
                state.lastToggleMs = nowMs;
                state.colourIndex = static_cast<uint8_t>(state.x + 14);
            }
            if (state.blinkOn)
                Fill(frame, step.multiColor ? kColourWheel[state.colourIndex % kWheelSize] : colour, scale);
            else
                Fill(frame, {0, 0, 0}, 0);
            break;
        case 4: {  // wave
            if (due) {
                state.k = 0;
                state.x = static_cast<uint8_t>((state.x + 1) % kWheelSize);
            }
            const unsigned d = step.direction == 0 ? (state.x + 1u) % kWheelSize : (state.x == 0 ? 191u : 192u - state.x);
            for (size_t j = 0; j < frame.size(); ++j) {
                if (step.multiColor)
                    SetLed(frame, j, kColourWheel[(d + 12 * j) % kWheelSize], scale);
                else
                    SetLed(frame, j, colour, Scaled(scale, kWaveCurve[(d + 12 * (j + 1)) % 96]));
            }
            break;
        }
        case 5:  // colour cycle
            if (due) {
                state.k = 0;
                state.x = static_cast<uint8_t>((state.x + 1) % kWheelSize);
            }
            Fill(frame, kColourWheel[state.x], scale);
            break;
        default:  // 3 and unknown modes leave the frame as it is
            break;
    }
    if (nowMs - state.stepStartMs > step.time) {
        state.current = (state.current + 1) % steps.size();
        state.stepStartMs = nowMs;
    }
}

bool PerLedRecordsMove(const PerLedState& state) {
    return std::any_of(state.records.begin(), state.records.end(), [](const LightListEntry& record) {
        return record.mode == 2 || ((record.mode == 0 || record.mode == 3) && record.valid);
    });
}

bool PerLedRecordsHold(const PerLedState& state) {
    return std::any_of(state.records.begin(), state.records.end(),
                       [](const LightListEntry& record) { return record.mode == 1 || record.mode == 4; });
}

void RunPerLedRules(PerLedState& state, LedFrame& frame, uint64_t nowMs, uint8_t modes, bool reset) {
    const size_t count = std::min(state.records.size(), frame.size());
    if (state.leds.size() < count) state.leds.resize(count);
    if (reset) {
        for (size_t i = 0; i < count; ++i)
            state.leds[i] = {0, 0, false, 0, kBlinkPeriod[Clamp4(state.records[i].speed)]};
    }
    for (size_t i = 0; i < count; ++i) {
        const LightListEntry& record = state.records[i];
        PerLedState::Led& led = state.leds[i];
        const uint8_t scale = kBrightnessScale[Clamp4(record.brightness)];
        const Rgb colour{record.red, record.green, record.blue};
        // Every LED keeps blinking time, whatever its mode.
        if ((modes & kPerLedBlink) && BlinkDue(led.lastToggleMs, record.speed, nowMs)) {
            led.blinkOn = !led.blinkOn;
            led.lastToggleMs = nowMs;
            led.colourIndex = static_cast<uint8_t>(led.colourIndex + 14 > 191 ? 0 : led.colourIndex + 14);
        }
        switch (record.mode) {
            case 0:
                if (!(modes & kPerLedBreathing) || !record.valid) break;
                led.counter = static_cast<uint8_t>(led.counter + Clamp4(record.speed) + 4);
                if (led.counter >= 128) {
                    led.counter = 0;
                    // Past the wheel's last entry the colour starts over.
                    led.colourIndex = static_cast<uint8_t>(led.colourIndex + 1 > 191 ? 0 : led.colourIndex + 1);
                }
                SetLed(frame, i, record.multiColor ? kColourWheel[led.colourIndex] : colour,
                       Scaled(kBreathCurve[led.counter], scale));
                break;
            case 1:
                if (modes & kPerLedStatic) SetLed(frame, i, colour, scale);
                break;
            case 2:
                if (!(modes & kPerLedBlink)) break;
                if (led.blinkOn)
                    SetLed(frame, i, record.multiColor ? kColourWheel[led.colourIndex] : colour, scale);
                else
                    SetLed(frame, i, {0, 0, 0}, 0);
                break;
            case 3:
                if (!(modes & kPerLedCycle) || !record.valid) break;
                if (++led.counter >= kBlinkPeriod[Clamp4(record.speed)]) {
                    led.counter = 0;
                    led.colourIndex = static_cast<uint8_t>(led.colourIndex + 1 > 191 ? 0 : led.colourIndex + 1);
                }
                SetLed(frame, i, kColourWheel[led.colourIndex], scale);
                break;
            case 4:
                if (modes & kPerLedOff) SetLed(frame, i, {0, 0, 0}, 0);
                break;
            default:
                break;
        }
    }
}

}  // namespace m470
