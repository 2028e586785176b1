#pragma once
// One timed event of a macro, its limits, its JSON object in a ".mac" file
// and its 4-byte device form.
#include <cstddef>
#include <cstdint>
#include <json/value.h>
#include <string>

#include "device_link/EventImage.h"

namespace m470 {

inline constexpr size_t kMaxMacros = 50;
inline constexpr size_t kMaxMacroEvents = 4000;
inline constexpr uint32_t kMaxMacroDelay = 65535;

enum class MacroEventType : uint8_t {
    MouseButton = 1,
    HorizontalMove = 4,  // "down" to the left
    VerticalMove = 5,    // "down" upwards
    ModifierKey = 9,
    Key = 10,
};

struct MacroEvent {
    int type = 0;
    int button = 0;
    bool down = false;
    uint16_t delay = 0;  // ms after this event

    friend bool operator==(const MacroEvent&, const MacroEvent&) = default;
};

// Any delay above the limit is the limit: a stored 70000 waits 65535 ms, not
// its low 16 bits.
uint16_t SaturateDelay(uint64_t delay);
// Decimal text (digits only; anything else counts as 0) or a JSON number.
uint16_t DelayOf(const Json::Value& value);
uint16_t DelayOfText(const std::string& text);

MacroEvent MacroEventOf(const Json::Value& object);
// "Type", "Button", "Action" ("down"/"up") and "Delay" as a decimal string.
Json::Value MacroEventObject(const MacroEvent& event);

// Delay low, delay high, type with bit 7 for "down", button low byte.
ImageEvent DeviceForm(const MacroEvent& event);

}  // namespace m470
