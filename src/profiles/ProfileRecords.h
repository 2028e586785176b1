#pragma once
// Plain records that profile documents hand out.
#include <array>
#include <cstddef>
#include <cstdint>

namespace m470 {

// The lighting record of every product: 14 bytes, passed as three 32-bit
// words and one 16-bit word, least significant byte first.
struct LightInfo {
    uint8_t selectItem = 0;   // 0  mode index
    uint8_t light = 0;        // 1  brightness 0-4
    uint8_t speed = 0;        // 2  speed 0-4
    uint8_t fx = 0;           // 3  direction
    uint8_t multiColor = 0;   // 4  seven-colour flag
    uint8_t red = 0;          // 5
    uint8_t green = 0;        // 6
    uint8_t blue = 0;         // 7
    std::array<uint8_t, 3> extra{};  // 8-10, never stored
    uint8_t zzccLedMode = 0;  // 11 secondary mode
    uint8_t customGroup = 0;  // 12 colour group
    uint8_t oldLedmode = 0;   // 13

    static constexpr size_t kSize = 14;
    std::array<uint8_t, kSize> ToBytes() const;
    static LightInfo FromBytes(const std::array<uint8_t, kSize>& bytes);
    // The word form: words[0..2] hold bytes 0-11, half holds bytes 12-13.
    std::array<uint32_t, 3> Words() const;
    uint16_t HalfWord() const;
    static LightInfo FromWords(const std::array<uint32_t, 3>& words, uint16_t half);

    friend bool operator==(const LightInfo&, const LightInfo&) = default;
};

// The audio-reactive companion of LightInfo: 9 bytes.
struct AudioLightInfo {
    uint8_t audioMode = 0;
    uint8_t bkColorR = 0, bkColorG = 0, bkColorB = 0;
    uint8_t fgColorR = 0, fgColorG = 0, fgColorB = 0;
    uint8_t sevenColorFlags = 0;
    uint8_t colorTypeFlags = 0;

    friend bool operator==(const AudioLightInfo&, const AudioLightInfo&) = default;
};

// One element of a device's "LightList" (11 bytes).
struct LightListEntry {
    uint8_t mode = 0, brightness = 0, speed = 0, direction = 0, multiColor = 0;
    uint8_t red = 0, green = 0, blue = 0;
    uint8_t unused[2] = {0, 0};
    uint8_t valid = 0;  // 0 when the array element was null

    friend bool operator==(const LightListEntry&, const LightListEntry&) = default;
};

// One step of a custom lighting effect (24 bytes).
struct LedEffectStep {
    uint8_t mode = 0, brightness = 0, speed = 0, direction = 0, multiColor = 0;
    uint8_t red = 0, green = 0, blue = 0;
    uint32_t time = 0;
    uint32_t cycle = 0;

    friend bool operator==(const LedEffectStep&, const LedEffectStep&) = default;
};

}  // namespace m470
