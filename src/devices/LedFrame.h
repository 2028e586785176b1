#pragma once
// The LED frame every device computes on the host, and the lighting state
// its effect steps read.
#include <array>
#include <cstdint>
#include <vector>

#include "devices/LightingTables.h"
#include "profiles/ProfileRecords.h"

namespace m470 {

inline constexpr size_t kMaxLeds = 170;

struct LedEntry {
    uint8_t red = 0, green = 0, blue = 0, level = 0;
    friend bool operator==(const LedEntry&, const LedEntry&) = default;
    // The colour as shown or sent: channel × level / 256.
    Rgb Shown() const {
        return {static_cast<uint8_t>(red * level >> 8), static_cast<uint8_t>(green * level >> 8),
                static_cast<uint8_t>(blue * level >> 8)};
    }
    // The 32-bit entry form: red, green, blue, level from the low byte up.
    uint32_t Packed() const { return red | green << 8 | blue << 16 | static_cast<uint32_t>(level) << 24; }
    static LedEntry FromPacked(uint32_t value) {
        return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                static_cast<uint8_t>(value >> 24)};
    }
};

using LedFrame = std::vector<LedEntry>;

// What the steps read from LightInfo; brightness and speed are clamped to
// 0-4 so no table is indexed past its end.
struct LightingState {
    uint8_t mode = 0, brightness = 0, speed = 0, direction = 0, multiColor = 0;
    Rgb colour{0, 0, 0};

    static LightingState From(const LightInfo& info);
    uint8_t Scale() const { return kBrightnessScale[brightness]; }
};

}  // namespace m470
