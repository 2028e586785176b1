#pragma once
// Linux input (evdev) key codes to the set-1 make code and extended flag that
// kScanCodeTable is keyed by. Qt reports a key's evdev code as its native
// scan code minus 8 (X11 and Wayland give xkb key codes).
#include <array>
#include <cstdint>
#include <optional>

namespace m470 {

struct EvdevScanRow {
    uint16_t evdev;
    uint16_t scanCode;  // set-1 make code, + 0x100 for a key reported as extended
};

// The codes outside 1-88 that have a row, and the two inside it that carry
// the extended flag; every other code from 1 to 88 is its own make code.
extern const std::array<EvdevScanRow, 29> kEvdevScanCodes;

inline constexpr uint16_t kExtendedFlag = 0x100;

// The set-1 code (+ 0x100 when extended) of an evdev key code; none for a key
// the tables do not know.
std::optional<uint16_t> ScanCodeOfEvdev(uint16_t evdev);
// The evdev key code of a set-1 code (+ 0x100 when extended), or none.
std::optional<uint16_t> EvdevOfScanCode(uint16_t scanCode);

}  // namespace m470
