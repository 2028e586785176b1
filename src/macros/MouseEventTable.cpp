#include "macros/MouseEventTable.h"

namespace m470 {
namespace {

constexpr int kFirstExtraRow = 6;
constexpr int kFirstMoveRow = 10;
constexpr int kLastMoveRow = 13;

}  // namespace

const std::array<MouseEventRow, 15> kMouseEventTable{{
    {0x201, 0x10, 0x01, 0x81, "mouse_key_left"},
    {0x202, 0x10, 0x01, 0x01, "mouse_key_left"},
    {0x204, 0x10, 0x02, 0x81, "mouse_key_right"},
    {0x205, 0x10, 0x02, 0x01, "mouse_key_right"},
    {0x207, 0x10, 0x04, 0x81, "mouse_key_middle"},
    {0x208, 0x10, 0x04, 0x01, "mouse_key_middle"},
    {0x20B, 0x10, 0x10, 0x81, "mouse_key_forward"},
    {0x20C, 0x10, 0x10, 0x01, "mouse_key_forward"},
    {0x20B, 0x10, 0x08, 0x81, "mouse_key_back"},
    {0x20C, 0x10, 0x08, 0x01, "mouse_key_back"},
    {0x0004, 0x15, 0, 0x84, "mouse_move_to_left_text"},
    {0x0004, 0x15, 0, 0x04, "mouse_move_to_right_text"},
    {0x0005, 0x15, 0, 0x85, "mouse_move_to_up_text"},
    {0x0005, 0x15, 0, 0x05, "mouse_move_to_down_text"},
    {0x20A, 0x12, 0, 0, "mouse_cursor_text"},
}};

int FindMouseButtonEvent(uint16_t message, uint8_t extraButton) {
    const bool extra = message == mouse_message::kExtraDown || message == mouse_message::kExtraUp;
    const uint8_t wanted = extraButton == kExtraForward ? 0x10 : extraButton == kExtraBack ? 0x08 : 0;
    if (extra && wanted == 0) return -1;
    for (int i = 0; i < kFirstMoveRow; ++i) {
        const MouseEventRow& row = kMouseEventTable[static_cast<size_t>(i)];
        if (row.message != message) continue;
        if (!extra || (i >= kFirstExtraRow && row.button == wanted)) return i;
    }
    return -1;
}

int FindMouseButtonName(uint8_t button) {
    for (int i = 0; i < kFirstMoveRow; ++i)
        if (kMouseEventTable[static_cast<size_t>(i)].button == button) return i;
    return -1;
}

int FindMouseMove(uint8_t eventCode) {
    for (int i = kFirstMoveRow; i <= kLastMoveRow; ++i)
        if (kMouseEventTable[static_cast<size_t>(i)].eventCode == eventCode) return i;
    return -1;
}

}  // namespace m470
