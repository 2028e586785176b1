#pragma once
// The head of the mouse's and the keyboard's settings records: 0 the active
// record's index, 1 the mode (each device maps its codes itself), then the
// lighting bytes: 2 brightness, 3 four minus speed, 4 direction, 5
// seven-colour flag, 6-8 red, green, blue.
#include <algorithm>
#include <cstdint>

#include "profiles/ProfileRecords.h"

namespace m470::record_light {

inline constexpr size_t kActiveIndex = 0, kMode = 1;
inline constexpr size_t kBrightness = 2, kSpeed = 3, kDirection = 4, kSevenColours = 5, kRed = 6;

// Brightness, speed, seven-colour flag and colour from the record; with
// direction when the device reports it back.
inline void Take(const uint8_t* record, LightInfo& light, bool withDirection) {
    light.light = record[kBrightness];
    light.speed = record[kSpeed] <= 4 ? static_cast<uint8_t>(4 - record[kSpeed]) : 0;
    if (withDirection) light.fx = record[kDirection];
    light.multiColor = record[kSevenColours];
    light.red = record[kRed];
    light.green = record[kRed + 1];
    light.blue = record[kRed + 2];
}

// The same bytes for the device; a profile may hold anything, the device takes 0-4.
inline void Put(const LightInfo& light, uint8_t* record) {
    record[kBrightness] = std::min<uint8_t>(light.light, 4);
    record[kSpeed] = static_cast<uint8_t>(4 - std::min<uint8_t>(light.speed, 4));
    record[kDirection] = light.fx;
    record[kSevenColours] = light.multiColor;
    record[kRed] = light.red;
    record[kRed + 1] = light.green;
    record[kRed + 2] = light.blue;
}

}  // namespace m470::record_light
