#pragma once
// The mouse events a macro can hold: the window message of each button
// press and release and the four moves, with the event code a row stores
// ("Type", plus 0x80 for a press) and the name key shown for it.
#include <array>
#include <cstddef>
#include <cstdint>

namespace m470 {

namespace mouse_message {
inline constexpr uint16_t kMove = 0x200;  // the editor's own code for the four moves
inline constexpr uint16_t kLeftDown = 0x201, kLeftUp = 0x202;
inline constexpr uint16_t kRightDown = 0x204, kRightUp = 0x205;
inline constexpr uint16_t kMiddleDown = 0x207, kMiddleUp = 0x208;
inline constexpr uint16_t kExtraDown = 0x20B, kExtraUp = 0x20C;
inline constexpr uint16_t kWheel = 0x20A;
}  // namespace mouse_message

// The extra buttons: which one a press or release of kExtraDown/Up is.
inline constexpr uint8_t kExtraBack = 1;
inline constexpr uint8_t kExtraForward = 2;

struct MouseEventRow {
    uint16_t message;
    uint8_t type;
    uint8_t button;
    uint8_t eventCode;  // "Type" | 0x80 for a press
    const char* nameKey;
};

extern const std::array<MouseEventRow, 15> kMouseEventTable;
inline constexpr const char* kMouseEventExtraName = "mouse_text";  // named, never used by a row

// Rows 0-9 by message (the extra buttons by which one), or -1.
int FindMouseButtonEvent(uint16_t message, uint8_t extraButton);
// Rows 0-9 by button bit (the press and release rows share it), or -1.
int FindMouseButtonName(uint8_t button);
// Rows 10-13 by event code, or -1.
int FindMouseMove(uint8_t eventCode);

}  // namespace m470
