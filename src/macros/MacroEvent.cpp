#include "macros/MacroEvent.h"

#include <algorithm>

#include "platform/JsonFile.h"

namespace m470 {

uint16_t SaturateDelay(uint64_t delay) { return static_cast<uint16_t>(std::min<uint64_t>(delay, kMaxMacroDelay)); }

uint16_t DelayOfText(const std::string& text) {
    if (text.empty()) return 0;
    uint64_t delay = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        delay = std::min<uint64_t>(delay * 10 + static_cast<uint64_t>(c - '0'), kMaxMacroDelay + 1);
    }
    return SaturateDelay(delay);
}

uint16_t DelayOf(const Json::Value& value) {
    if (value.isString()) return DelayOfText(value.asString());
    if (value.isUInt64()) return SaturateDelay(value.asUInt64());
    if (value.isDouble() && value.asDouble() > 0) return SaturateDelay(static_cast<uint64_t>(std::min(value.asDouble(), 1e9)));
    return 0;
}

MacroEvent MacroEventOf(const Json::Value& object) {
    MacroEvent event;
    event.type = static_cast<int>(JsonInteger(Member(object, "Type")));
    event.button = static_cast<int>(JsonInteger(Member(object, "Button")));
    event.down = JsonText(Member(object, "Action")) == "down";
    event.delay = DelayOf(Member(object, "Delay"));
    return event;
}

Json::Value MacroEventObject(const MacroEvent& event) {
    Json::Value object(Json::objectValue);
    object["Type"] = event.type;
    object["Button"] = event.button;
    object["Action"] = event.down ? "down" : "up";
    object["Delay"] = std::to_string(event.delay);
    return object;
}

ImageEvent DeviceForm(const MacroEvent& event) {
    const auto type = static_cast<uint8_t>((event.type & 0x7F) | (event.down ? 0x80 : 0));
    return {static_cast<uint8_t>(event.delay), static_cast<uint8_t>(event.delay >> 8), type,
            static_cast<uint8_t>(event.button)};
}

}  // namespace m470
