#include "devices/keyboard/KeyboardLightingSteps.h"

#include <algorithm>
#include <random>

#include "devices/LevelDecay.h"
#include "devices/RippleMasks.h"
#include "devices/keyboard/KeyboardAudioRenderers.h"

namespace m470 {
namespace {

constexpr uint8_t kWheelSize = 192;
constexpr size_t kOrderUsed = 126;  // entries of kKeyOrder the effects walk
constexpr size_t kPresetCount = 3;
constexpr std::array<uint8_t, kPresetCount + 1> kPresetIndexes{25, 70, 95, 174};  // secondary mode 1, 2, 3, others
constexpr int kSparksPerStep = 6;
constexpr uint8_t kSnakeLevel = 254;
constexpr uint8_t kSweepFade = 5;
constexpr uint8_t kSweepColourStep = 3;
constexpr uint8_t kSweepColourEnd = 255;
constexpr uint8_t kRiseStep = 15, kFadeStep = 5;
constexpr uint8_t kScriptWatchKey = 72, kScriptRippleKey = 52, kScriptEndKey = 124;
constexpr uint8_t kScriptLastPair = 30;
constexpr uint8_t kFountainColumn = 9, kBounceLeft = 1, kBounceRight = 22;

uint8_t Scaled(uint32_t value, uint32_t scale) { return static_cast<uint8_t>(value * scale / 256); }

// PhaseStep upwards over the wheel: 0 on reaching its end.
inline uint8_t WheelUp(uint8_t index, uint8_t step) {
    const unsigned next = index + step;
    return static_cast<uint8_t>(next >= kWheelSize ? 0 : next);
}

// Indexes past the wheel's end (the sweep's colour runs to 255) go round it.
Rgb Wheel(unsigned index) { return kColourWheel[index % kWheelSize]; }

void SetKey(LedFrame& frame, size_t key, const Rgb& colour, uint8_t level) {
    if (key < frame.size()) frame[key] = {colour.red, colour.green, colour.blue, level};
}

Rgb KeyColour(const KeyboardScene& s, uint8_t key) {
    return s.light.multiColor ? Wheel(s.fx.colour[key]) : s.light.colour;
}

void LightKey(KeyboardEffects& fx, uint8_t key, bool multiColour, uint32_t (*random)()) {
    if (!IsKey(key)) return;
    fx.level[key] = 255;
    if (multiColour) fx.colour[key] = static_cast<uint8_t>(random() % kWheelSize);
}

void DecayKey(KeyboardScene& s, const DecayRowLevels& decay, uint8_t key) {
    if (IsKey(key)) s.fx.level[key] = decay[s.fx.level[key]];
}

void ShowKey(KeyboardScene& s, uint8_t key) {
    if (IsKey(key)) SetKey(s.frame, key, KeyColour(s, key), Scaled(s.light.Scale(), s.fx.level[key]));
}

void DecayAndShowAll(KeyboardScene& s) {
    const DecayRowLevels& decay = DecayLevels(s.light.mode);
    for (uint8_t k = 0; k < kKeyboardKeys; ++k) {
        DecayKey(s, decay, k);
        ShowKey(s, k);
    }
}

template <typename Each>
void ForOrderKeys(Each each) {
    for (size_t i = 0; i < kOrderUsed; ++i)
        if (IsKey(kKeyOrder[i])) each(i, kKeyOrder[i]);
}

void DecayAndShowOrder(KeyboardScene& s) {
    const DecayRowLevels& decay = DecayLevels(s.light.mode);
    ForOrderKeys([&](size_t, uint8_t k) {
        DecayKey(s, decay, k);
        ShowKey(s, k);
    });
}

// Every key of column c (of row r) gets the colour and level the function gives its column (row).
template <typename Colour>
void PaintColumns(KeyboardScene& s, Colour colourOf) {
    for (size_t c = 0; c < kKeyColumnCount; ++c) {
        const auto [colour, level] = colourOf(c);
        for (uint8_t k : kKeyColumns[c])
            if (IsKey(k)) SetKey(s.frame, k, colour, level);
    }
}

template <typename Colour>
void PaintRows(KeyboardScene& s, Colour colourOf) {
    for (size_t r = 0; r < kKeyRowCount; ++r) {
        const Rgb colour = colourOf(r);
        for (size_t c = 0; c < kKeyColumnCount; ++c)
            if (IsKey(kKeyColumns[c][r])) SetKey(s.frame, kKeyColumns[c][r], colour, s.light.Scale());
    }
}

template <typename Colour>
void PaintGridRows(KeyboardScene& s, Colour colourOf) {
    for (size_t i = 0; i < kKeyGrid.size(); ++i) {
        const Rgb colour = colourOf(i);
        for (uint8_t k : kKeyGrid[i])
            if (IsKey(k) && InKeyOrder(k)) SetKey(s.frame, k, colour, s.light.Scale());
    }
}

void FillKeys(KeyboardScene& s, const Rgb& colour, uint8_t level) {
    for (size_t k = 0; k < kKeyboardKeys; ++k) SetKey(s.frame, k, colour, level);
}

void SetColumnBits(KeyboardEffects& fx, size_t column, uint8_t bits) {
    fx.r1[column].SetBits(bits);
    fx.r2[column].SetBits(bits);
    fx.r3[column].SetBits(bits);
    fx.r4[column].SetBits(bits);
}

uint8_t ColumnUnion(const KeyboardEffects& fx, size_t column) {
    return fx.r1[column] | fx.r2[column] | fx.r3[column] | fx.r4[column];
}

// A ripple that reached the top (bit 0) or bottom row (bit 6 as the board
// sends it) of an end column starts again there.
void ReflectAt(KeyboardEffects& fx, size_t column, uint8_t reached) {
    if (ColumnUnion(fx, column) == reached) SetColumnBits(fx, column, reached);
}

// Pulses walk their curve over the order's keys; at the end a key starts
// again dark with a new colour.
void StepPulses(KeyboardScene& s, bool wave) {
    ForOrderKeys([&](size_t, uint8_t k) {
        uint8_t phase = wave ? s.fx.pulse[k] : s.fx.level[k].Get();
        phase = static_cast<uint8_t>(phase + (wave ? 1 : 2));
        if (phase >= kWheelSize) {
            phase = 0;
            s.fx.colour[k] = static_cast<uint8_t>(s.random() % kWheelSize);
        }
        if (wave) s.fx.pulse[k] = phase;
        else s.fx.level[k] = phase;
        SetKey(s.frame, k, KeyColour(s, k), Scaled(s.light.Scale(), kPulseCurve[phase]));
    });
}

void ScriptLightRow(KeyboardScene& s, const uint8_t* keys, size_t count) {
    for (size_t i = 0; i < count; ++i) LightKey(s.fx, keys[i], s.light.multiColor != 0, s.random);
}

const std::array<KeyboardModeRow, 29> kKeyboardModes{{
    {1, StepColumnWave, KeyboardPace::Normal},
    {2, StepColumnPulse, KeyboardPace::ColumnPulse},
    {3, StepOrderWave, KeyboardPace::Normal},
    {4, [](KeyboardScene& s) { StepSpectrum(s.fx.effect, s.light, s.frame); }, KeyboardPace::Normal},
    {5, StepColumnBreathing, KeyboardPace::Normal},
    {6, StepStaticRows, KeyboardPace::Normal},
    {7, StepReactionFade, KeyboardPace::Normal},
    {8, StepRippleSpread, KeyboardPace::Normal},
    {9, StepRippleLine, KeyboardPace::Normal},
    {10, StepSparkle, KeyboardPace::Normal},
    {11, StepKeyCycle, KeyboardPace::Normal},
    {12, StepRowWave, KeyboardPace::Normal},
    {13, StepRippleFountain, KeyboardPace::Normal},
    {14, StepScriptShow, KeyboardPace::Normal},
    {15, StepPulseTwinkle, KeyboardPace::Normal},
    {16, StepRippleBounce, KeyboardPace::Normal},
    {17, StepPresetColour, KeyboardPace::Preset},
    {18, StepGridWave, KeyboardPace::Normal},
    {20, StepCustomLevels, KeyboardPace::Normal},
    {21, StepSnake, KeyboardPace::Normal},
    {22, StepPulseWave, KeyboardPace::Normal},
    {23, [](KeyboardScene& s) { StepBlink(s.fx.effect, s.light, s.frame, s.nowMs); }, KeyboardPace::Normal},
    {24, StepSweep, KeyboardPace::Normal},
    {25, StepReactionFade, KeyboardPace::Normal},
    {26, [](KeyboardScene& s) { StepBreathingPalette(s.fx.effect, s.light, s.frame); }, KeyboardPace::Normal},
    {27, [](KeyboardScene& s) { StepBlinkPalette(s.fx.effect, s.light, s.frame, s.nowMs); }, KeyboardPace::Normal},
    {28, [](KeyboardScene& s) { StepOff(s.fx.effect, s.light, s.frame); }, KeyboardPace::Normal},
    {29, StepKeyboardAudio, KeyboardPace::Audio},
    {30, StepFixedColour, KeyboardPace::Normal},
}};

}  // namespace

uint32_t EffectRandom() {
    // A xorshift per thread: cheap enough for a key lit on every step.
    thread_local uint32_t state = std::random_device{}() | 1u;
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// ---- mode entry ----

void ResetEffects(KeyboardEffects& fx) {
    fx.effect.phase = 0;
    fx.stageCounter = 0;
    for (size_t k = 0; k < kKeyboardKeys; ++k) {
        fx.level[k] = 0;
        fx.colour[k] = 0;
        fx.stage[k] = 0;
    }
    for (size_t c = 0; c < kKeyColumnCount; ++c) fx.r1[c] = fx.r2[c] = fx.r3[c] = fx.r4[c] = 0;
    fx.bands.fill(0);
    // The spark flags start set, as the store's last block is filled with ones.
    fx.sparks.fill(true);
}

void SeedEffect(KeyboardEffects& fx, uint8_t mode) {
    constexpr uint8_t kSeventhRow = 6;
    switch (mode) {
        case 13: SetColumnBits(fx, kFountainColumn, 1 << kSeventhRow); break;
        case 15:
            for (size_t c = 0; c < kKeyColumnCount; ++c)
                for (size_t r = 0; r < kKeyColumns7[c].size(); ++r) {
                    const uint8_t k = kKeyColumns7[c][r];
                    if (!IsKey(k)) continue;
                    fx.level[k] = kPulseSeeds[6 * c + r];
                    fx.colour[k] = static_cast<uint8_t>(7 * c);
                }
            break;
        case 16: SetColumnBits(fx, kBounceLeft, 1); break;
        case 22:
            for (size_t c = 0; c < kKeyColumnCount; ++c) {
                int a = 192 - 8 * static_cast<int>(c);
                for (size_t r = 0; r < kKeyColumns7[c].size(); ++r) {
                    a = a >= 35 ? a - 35 : a + 158;
                    const uint8_t k = kKeyColumns7[c][r];
                    if (!IsKey(k)) continue;
                    fx.pulse[k] = static_cast<uint8_t>(a);
                    fx.colour[k] = static_cast<uint8_t>(7 * c);
                }
            }
            break;
        case 20: break;  // the device loads its custom colours
        default:
            for (size_t k = 0; k < kKeyboardKeys; ++k) fx.colour[k] = static_cast<uint8_t>(33 * (k + 1) % kWheelSize);
            break;
    }
}

void RestartEffect(KeyboardEffects& fx, uint8_t mode) {
    fx.effect.phase = 0;
    if (mode == 24)
        for (SharedByte& c : fx.colour) c = 0;
}

// ---- waves ----

void StepColumnWave(KeyboardScene& s) {
    const bool multi = s.light.multiColor != 0;
    uint8_t& phase = s.fx.effect.phase;
    phase = PhaseStep(s.light.direction, multi ? kWheelSize : 96, phase, 1);
    PaintColumns(s, [&](size_t c) {
        return multi ? std::pair{Wheel(phase + 1 + 7 * c), s.light.Scale()}
                     : std::pair{s.light.colour, Scaled(s.light.Scale(), kWaveCurve[(phase + 1 + 7 * c) % 96])};
    });
}

void StepRowWave(KeyboardScene& s) {
    uint8_t& phase = s.fx.effect.phase;
    phase = PhaseStep(s.light.direction, kWheelSize, phase, 1);
    PaintRows(s, [&](size_t r) { return Wheel(phase + 1 + 24 * r); });
}

void StepColumnPulse(KeyboardScene& s) {
    const bool multi = s.light.multiColor != 0;
    uint8_t& phase = s.fx.effect.phase;
    phase = PhaseStep(s.light.direction, multi ? kWheelSize : 128, phase, 1);
    PaintColumns(s, [&](size_t c) {
        return multi ? std::pair{Wheel(phase + 2 * c), s.light.Scale()}
                     : std::pair{s.light.colour, Scaled(s.light.Scale(), kPulseCurve[(phase + 7 * c) % 128])};
    });
}

void StepOrderWave(KeyboardScene& s) {
    const bool multi = s.light.multiColor != 0;
    uint8_t& phase = s.fx.effect.phase;
    phase = PhaseStep(s.light.direction, multi ? kWheelSize : 96, phase, 1);
    ForOrderKeys([&](size_t i, uint8_t k) {
        if (multi) SetKey(s.frame, k, Wheel(phase + 5 * i), s.light.Scale());
        else SetKey(s.frame, k, s.light.colour, Scaled(s.light.Scale(), kWaveCurve[(phase + 5 * i) % 96]));
    });
}

void StepColumnBreathing(KeyboardScene& s) {
    uint8_t& phase = s.fx.effect.phase;
    phase = static_cast<uint8_t>((phase + 1) % 128);
    const uint8_t level = Scaled(kBreathCurve[phase], s.light.Scale());
    PaintColumns(s, [&](size_t c) { return std::pair{s.light.multiColor ? Wheel(7 * c) : s.light.colour, level}; });
}

void StepStaticRows(KeyboardScene& s) {
    if (s.light.multiColor) PaintGridRows(s, [](size_t i) { return Wheel(138 - 12 * i); });
    else FillKeys(s, s.light.colour, s.light.Scale());
}

void StepGridWave(KeyboardScene& s) {
    uint8_t& phase = s.fx.effect.phase;
    phase = PhaseStep(s.light.direction, kWheelSize, phase, 1);
    PaintGridRows(s, [&](size_t i) { return Wheel(phase + 7 * (i + 1)); });
}

void StepKeyCycle(KeyboardScene& s) {
    for (uint8_t k = 0; k < kKeyboardKeys; ++k) {
        const unsigned next = s.fx.colour[k] + 1u;
        s.fx.colour[k] = static_cast<uint8_t>(next >= kWheelSize ? 0 : next);
        SetKey(s.frame, k, Wheel(s.fx.colour[k]), s.light.Scale());
    }
}

void StepPresetColour(KeyboardScene& s) {
    const size_t choice = s.secondaryMode >= 1 && s.secondaryMode <= kPresetCount ? s.secondaryMode - 1u : kPresetCount;
    s.fx.effect.phase = kPresetIndexes[choice];
    FillKeys(s, Wheel(kPresetIndexes[choice]), s.light.Scale());
}

void StepCustomLevels(KeyboardScene& s) {
    for (size_t k = 0; k < kKeyboardKeys && k < s.frame.size(); ++k) s.frame[k].level = s.light.Scale();
}

void StepFixedColour(KeyboardScene& s) {
    const auto low = [&](size_t i) { return static_cast<uint8_t>(s.fx.fixedBands[i]); };
    FillKeys(s, {low(0), low(1), low(2)}, s.light.Scale());
}

// ---- lit keys that fade ----

void StepSparkle(KeyboardScene& s) {
    // Sparks fall on the keys of the walking order.
    constexpr size_t kPool = 107;
    for (int i = 0; i < kSparksPerStep; ++i) {
        const uint8_t k = kKeyOrder[s.random() % kPool];
        LightKey(s.fx, k, true, s.random);
    }
    DecayAndShowAll(s);
}

void StepPulseTwinkle(KeyboardScene& s) { StepPulses(s, false); }
void StepPulseWave(KeyboardScene& s) { StepPulses(s, true); }

void StepSnake(KeyboardScene& s) {
    uint8_t& phase = s.fx.effect.phase;
    const auto lightHead = [&] {
        // A head on an empty entry, or past the table's end, lights nothing.
        if (phase < kSnakeOrder.size() && IsKey(kSnakeOrder[phase])) s.fx.level[kSnakeOrder[phase]] = kSnakeLevel;
    };
    if (s.light.direction != 0) {
        if (phase > kKeyboardKeys - 1) {
            phase = 0;
        } else {
            lightHead();
            ++phase;
        }
    } else if (phase == 0) {
        phase = kKeyboardKeys;
    } else {
        lightHead();
        --phase;
    }
    DecayAndShowOrder(s);
}

void StepSweep(KeyboardScene& s) {
    uint8_t& phase = s.fx.effect.phase;
    phase = PhaseStep(s.light.direction, kSweepRows, phase, 1);
    if (phase < kSweepTable.size()) {
        for (uint8_t k : kSweepTable[phase]) {
            if (!IsKey(k)) continue;
            s.fx.level[k] = 255;
            s.fx.colour[k] = 0;
        }
    }
    for (uint8_t k = 0; k < kKeyboardKeys; ++k) {
        const uint8_t level = s.fx.level[k];
        if (level != 0) s.fx.level[k] = level > kSweepFade ? static_cast<uint8_t>(level - kSweepFade) : 0;
        const uint8_t colour = s.fx.colour[k];
        if (colour != kSweepColourEnd)
            s.fx.colour[k] = static_cast<uint8_t>(std::min<unsigned>(colour + kSweepColourStep, kSweepColourEnd));
        if (s.light.multiColor) SetKey(s.frame, k, Wheel(s.fx.colour[k]), s.light.Scale());
        else SetKey(s.frame, k, s.light.colour, Scaled(s.light.Scale(), s.fx.level[k]));
    }
}

void StepReactionFade(KeyboardScene& s) {
    for (uint8_t k = 0; k < kKeyboardKeys; ++k) {
        const uint8_t level = s.fx.level[k];
        if (s.fx.stage[k] == 1) s.fx.level[k] = static_cast<uint8_t>(std::min(255, level + kRiseStep));
        else if (s.fx.stage[k] == 2) s.fx.level[k] = level > kFadeStep ? static_cast<uint8_t>(level - kFadeStep) : 0;
        ShowKey(s, k);
    }
}

// ---- ripples ----

void LightKeyRipples(KeyboardScene& s) {
    for (size_t c = 0; c < kKeyColumnCount; ++c) {
        const uint8_t mask = ColumnUnion(s.fx, c);
        for (size_t r = 0; r < kKeyRowCount; ++r)
            if (mask & (1u << r)) LightKey(s.fx, kKeyColumns[c][r], s.light.multiColor != 0, s.random);
    }
}

void ShiftKeyRipples(KeyboardEffects& fx) { ShiftRippleMasks(fx.r1, fx.r2, fx.r3, fx.r4); }

void SlideKeyRipples(KeyboardEffects& fx) {
    for (size_t c = 0; c < kKeyColumnCount; ++c) fx.r1[c] = fx.r3[c] = 0;
    for (size_t c = 0; c + 1 < kKeyColumnCount; ++c) fx.r4[c] = fx.r4[c + 1];
    fx.r4[kKeyColumnCount - 1] = 0;
    for (size_t c = kKeyColumnCount - 1; c > 0; --c) fx.r2[c] = fx.r2[c - 1];
    fx.r2[0] = 0;
}

void StepRippleSpread(KeyboardScene& s) {
    LightKeyRipples(s);
    ShiftKeyRipples(s.fx);
    const DecayRowLevels& decay = DecayLevels(s.light.mode);
    for (uint8_t k = 0; k < kKeyboardKeys; ++k) {
        DecayKey(s, decay, k);
        s.fx.colour[k] = WheelUp(s.fx.colour[k], 7);
        ShowKey(s, k);
    }
}

void StepRippleLine(KeyboardScene& s) {
    LightKeyRipples(s);
    SlideKeyRipples(s.fx);
    DecayAndShowAll(s);
}

void StepRippleFountain(KeyboardScene& s) {
    ReflectAt(s.fx, kFountainColumn, 1);
    ReflectAt(s.fx, kFountainColumn, 64);
    if (s.fx.stageCounter > 1) {
        s.fx.stageCounter = 0;
        LightKeyRipples(s);
        ShiftKeyRipples(s.fx);
    }
    ++s.fx.stageCounter;
    DecayAndShowAll(s);
}

void StepRippleBounce(KeyboardScene& s) {
    ReflectAt(s.fx, kBounceLeft, 1);
    ReflectAt(s.fx, kBounceRight, 64);
    LightKeyRipples(s);
    ShiftKeyRipples(s.fx);
    DecayAndShowOrder(s);
}

void StepScriptShow(KeyboardScene& s) {
    uint8_t& phase = s.fx.effect.phase;
    uint8_t& stage = s.fx.stageCounter;
    switch (stage) {
        case 0:
            // The phase is shared with every other routine: a row past the script's end starts it over.
            if (phase < kScriptGroups.size()) ScriptLightRow(s, kScriptGroups[phase].data(), kScriptGroups[phase].size());
            if (++phase >= kScriptGroups.size()) {
                phase = 0;
                stage = 1;
            }
            break;
        case 1:
            if (phase <= kScriptLastPair) {
                ScriptLightRow(s, kScriptPairs[phase % kScriptPairs.size()].data(), 2);
                ++phase;
            } else if (s.fx.level[kScriptWatchKey] == 0) {
                stage = 2;
                phase = 0;
            }
            break;
        case 2:
            StartKeyRipple(s.fx, kScriptRippleKey);
            stage = 3;
            break;
        case 3:
            LightKeyRipples(s);
            ShiftKeyRipples(s.fx);
            if (s.fx.level[kScriptEndKey] != 0) stage = 4;
            break;
        default:
            if (s.fx.level[kScriptEndKey] == 0) {
                stage = 0;
                phase = 0;
            }
            break;
    }
    DecayAndShowAll(s);
}

// ---- the mode table ----

const KeyboardModeRow* KeyboardModeOf(uint8_t mode) {
    for (const KeyboardModeRow& row : kKeyboardModes)
        if (row.mode == mode) return &row;
    return nullptr;
}

uint32_t KeyboardDueTicks(const KeyboardModeRow* row, uint8_t speed) {
    if (row == nullptr) return 0;
    const size_t s = std::min<size_t>(speed, 4);
    switch (row->pace) {
        case KeyboardPace::Normal: return kKeyboardThreshold[s];
        case KeyboardPace::ColumnPulse: return kColumnPulseThreshold[s];
        case KeyboardPace::Preset: return kPresetThreshold[s];
        case KeyboardPace::Audio: return 2;  // more than one tick since its last run
    }
    return 0;
}

bool KeyboardStreamsFrame(uint8_t mode) { return mode == 29 || mode == 30; }

// ---- ripple starts ----

void StartKeyRipple(KeyboardEffects& fx, uint8_t key) {
    for (size_t c = 0; c < kKeyColumnCount; ++c)
        for (size_t r = 0; r < kKeyRowCount; ++r)
            if (kKeyColumns[c][r] == key) SetColumnBits(fx, c, static_cast<uint8_t>(1u << r));
}

// ---- the frame for the keys ----

std::array<uint8_t, kKeyboardBlockSize> KeyboardLedBlock(const LedFrame& frame,
                                                         const std::array<uint8_t, kKeyboardKeys>& ledMap) {
    std::array<uint8_t, kKeyboardBlockSize> block{};
    for (size_t k = 0; k < frame.size() && k < kKeyboardKeys; ++k) {
        const size_t p = ledMap[k];
        // A position past 170 would be written beyond the block.
        if (p * 3 + 2 >= block.size()) continue;
        const Rgb shown = frame[k].Shown();
        block[p * 3] = shown.red;
        block[p * 3 + 1] = shown.green;
        block[p * 3 + 2] = shown.blue;
    }
    return block;
}

std::vector<uint8_t> KeyboardStreamBytes(const std::array<uint8_t, kKeyboardBlockSize>& block, size_t slots) {
    const size_t length = std::min(slots * 3, block.size());
    return {block.begin(), block.begin() + static_cast<long>(length)};
}

}  // namespace m470
