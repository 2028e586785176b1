#pragma once
// The keyboard's effects as pure steps: effect state and lighting record
// in, frame of 170 keys out. The lighting thread only paces them; key
// presses from the notification thread change the reaction state.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "devices/LedFrame.h"
#include "devices/LightingSteps.h"
#include "devices/keyboard/KeyboardLightingTables.h"
#include "profiles/ProfileRecords.h"

namespace m470 {

// A byte written by the notification thread and by the lighting thread:
// relaxed loads and stores are enough, a reaction that interleaves with a
// step only changes the picture.
class SharedByte {
public:
    SharedByte(uint8_t value = 0) : value_(value) {}
    SharedByte(const SharedByte& other) : value_(other.Get()) {}
    SharedByte& operator=(const SharedByte& other) { return *this = other.Get(); }
    SharedByte& operator=(uint8_t value) {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator uint8_t() const { return Get(); }
    uint8_t Get() const { return value_.load(std::memory_order_relaxed); }
    void SetBits(uint8_t bits) { value_.fetch_or(bits, std::memory_order_relaxed); }

private:
    std::atomic<uint8_t> value_;
};

inline constexpr size_t kKeyboardBands = 25;
using KeyboardMasks = std::array<SharedByte, kKeyColumnCount>;

struct KeyboardEffects {
    // Per key: level L, colour index C, stage S (0 idle, 1 rising, 2 falling), pressed F.
    std::array<SharedByte, kKeyboardKeys> level, colour, stage, pressed;
    std::array<uint8_t, kKeyboardKeys> pulse{};  // Q, the pulse wave's phase per key
    KeyboardMasks r1, r2, r3, r4;                // ripples: bit r of column c for row r
    EffectState effect;                          // the shared phase, and the blink of the built-in steps
    uint8_t stageCounter = 0;                    // G
    uint8_t bandPointer = 0;                     // P of the centre bars
    std::array<int32_t, kKeyboardBands> bands{};  // the spectrum for the next audio step
    std::array<bool, kKeyColumnCount> sparks{};  // one spark per column until its bottom key fades
    std::array<uint32_t, 6> fixedBands{};        // the last six fixed values; 0-2 colour the keys in mode 30
};

// What a step reads and writes.
struct KeyboardScene {
    KeyboardEffects& fx;
    const LightingState& light;
    uint8_t secondaryMode;  // "ZZCCLedMode"
    const AudioLightInfo& audio;
    LedFrame& frame;
    uint64_t nowMs;
    uint32_t (*random)();
};

// A random number for the effects; safe from any thread.
uint32_t EffectRandom();

// ---- mode entry ----
// Whenever the mode changes (and whenever it is the custom-colour mode).
void ResetEffects(KeyboardEffects& fx);
// Seeds the new mode's state (the custom colours are the device's to load).
void SeedEffect(KeyboardEffects& fx, uint8_t mode);
// Every profile applied restarts the phase; the sweep starts from colour 0.
void RestartEffect(KeyboardEffects& fx, uint8_t mode);

// ---- the routines ----
void StepColumnWave(KeyboardScene& s);
void StepRowWave(KeyboardScene& s);
void StepColumnPulse(KeyboardScene& s);
void StepOrderWave(KeyboardScene& s);
void StepColumnBreathing(KeyboardScene& s);
void StepStaticRows(KeyboardScene& s);
void StepGridWave(KeyboardScene& s);
void StepKeyCycle(KeyboardScene& s);
void StepPresetColour(KeyboardScene& s);
void StepCustomLevels(KeyboardScene& s);
void StepSparkle(KeyboardScene& s);
void StepPulseTwinkle(KeyboardScene& s);
void StepPulseWave(KeyboardScene& s);
void StepSnake(KeyboardScene& s);
void StepSweep(KeyboardScene& s);
void StepRippleSpread(KeyboardScene& s);
void StepRippleLine(KeyboardScene& s);
void StepRippleFountain(KeyboardScene& s);
void StepRippleBounce(KeyboardScene& s);
void StepScriptShow(KeyboardScene& s);
void StepReactionFade(KeyboardScene& s);
void StepFixedColour(KeyboardScene& s);

// Ripples over the columns of kKeyColumns.
void LightKeyRipples(KeyboardScene& s);
void ShiftKeyRipples(KeyboardEffects& fx);
void SlideKeyRipples(KeyboardEffects& fx);

// ---- the mode table ----
enum class KeyboardPace { Normal, ColumnPulse, Preset, Audio };
struct KeyboardModeRow {
    uint8_t mode;
    void (*step)(KeyboardScene&);
    KeyboardPace pace;
};
// nullptr: the custom effect player, which runs on every loop.
const KeyboardModeRow* KeyboardModeOf(uint8_t mode);
// Counted ticks before the routine runs again (0: every loop with a tick).
uint32_t KeyboardDueTicks(const KeyboardModeRow* row, uint8_t speed);
// Modes whose frame is also streamed to the keys.
bool KeyboardStreamsFrame(uint8_t mode);

// ---- key reactions ----
// A press or release of the key in slot; keyMap gives each logical key its slot.
void KeyReaction(KeyboardEffects& fx, const std::array<uint8_t, kKeyboardKeys>& keyMap, uint8_t mode, uint8_t slot,
                 bool press, uint32_t (*random)() = EffectRandom);
// The ripple start of a press in the ripple modes, at logical key k.
void StartKeyRipple(KeyboardEffects& fx, uint8_t key);

// ---- the frame for the keys ----
// Room for positions 0-170, three bytes each.
inline constexpr size_t kKeyboardBlockSize = 171 * 3;
inline constexpr uint8_t kNoLedPosition = 255;
// Each key's shown colour at its LED position × 3; keys without a position
// (255), or with one past 170, are left out.
std::array<uint8_t, kKeyboardBlockSize> KeyboardLedBlock(const LedFrame& frame,
                                                         const std::array<uint8_t, kKeyboardKeys>& ledMap);
// The first slots × 3 bytes of the block (at most the block).
std::vector<uint8_t> KeyboardStreamBytes(const std::array<uint8_t, kKeyboardBlockSize>& block, size_t slots);

}  // namespace m470
