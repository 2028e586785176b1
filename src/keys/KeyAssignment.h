#pragma once
// The function record every programmable key and button carries.
#include <cstdint>

namespace m470 {

enum class AssignmentType : uint8_t {
    Disabled = 0x00,
    MouseButton = 0x10,
    HorizontalScroll = 0x11,
    VerticalScroll = 0x12,
    DpiControl = 0x13,
    FireKey = 0x14,
    DpiShift = 0x16,
    KeyboardKey = 0x20,
    BuiltinShortcut = 0x22,
    ShowWindow = 0x23,
    ConsumerKey = 0x30,
    SystemKey = 0x40,
    MacroRun = 0x70,
    MacroRepeat = 0x71,
    RecoilKey = 0x72,
    SpecialFunction = 0xA0,
    MKey = 0xD0,
};

struct KeyAssignment {
    uint16_t code = 0;  // virtual-key code, table row, or key index
    uint8_t type = 0;
    uint8_t param1 = 0;
    uint8_t param2 = 0;
    uint8_t reserved = 0;

    friend bool operator==(const KeyAssignment&, const KeyAssignment&) = default;
};

// The same function, whatever key or slot carries it.
constexpr bool SameFunction(const KeyAssignment& a, const KeyAssignment& b) {
    return a.type == b.type && a.param1 == b.param1 && a.param2 == b.param2;
}

// type × 65536 + param1 × 256 + param2, as profile documents store it.
using PackedAssignment = uint32_t;

constexpr PackedAssignment PackAssignment(const KeyAssignment& key) {
    return static_cast<PackedAssignment>(key.type) << 16 | static_cast<PackedAssignment>(key.param1) << 8 | key.param2;
}

constexpr KeyAssignment UnpackAssignment(PackedAssignment packed, uint16_t code) {
    return KeyAssignment{code, static_cast<uint8_t>(packed >> 16), static_cast<uint8_t>(packed >> 8),
                         static_cast<uint8_t>(packed), 0};
}

// One key of a device: its current function and its factory default, both
// with code = the key's index.
struct KeyAssignmentPair {
    KeyAssignment current;
    KeyAssignment defaults;

    friend bool operator==(const KeyAssignmentPair&, const KeyAssignmentPair&) = default;
};

}  // namespace m470
