#include <gtest/gtest.h>

#include <set>

#include "keys/KeyCaption.h"
#include "keys/KeyTables.h"

namespace m470 {
namespace {

// Identity translator that marks translated keys, so a test sees which text
// key was chosen and that plain texts (macro names) were not translated.
std::string Mark(std::string_view key) { return "<" + std::string(key) + ">"; }

std::optional<std::string> Caption(uint8_t type, uint8_t p1, uint8_t p2, CaptionTarget target = CaptionTarget::Mouse,
                                   std::vector<std::string> macros = {}) {
    return KeyCaption(KeyAssignment{0, type, p1, p2, 0}, macros, Mark, target);
}

TEST(KeyTables, AnchorRowsAndNames) {
    EXPECT_STREQ(kKeyTableNames[0], "keyboard_key_LCtrl");
    EXPECT_STREQ(kKeyTableNames[130], "wed_stop");
    EXPECT_STREQ(kKeyTableNames[142], "keyboard_key_COLOR");
    EXPECT_EQ(KeyTableAssignment(8), (KeyAssignment{0x41, 0x20, 0, 0x04, 0}));           // A
    EXPECT_EQ(KeyTableAssignment(91), (KeyAssignment{0x101, 0x20, 0, 0x58, 0}));         // Num Enter
    EXPECT_EQ(KeyTableAssignment(114), (KeyAssignment{0xB7, 0x30, 0x92, 0x01, 0}));      // Launch App2
    EXPECT_EQ(KeyTableAssignment(141), (KeyAssignment{0, 0xA0, 0x1B, 0, 0}));            // GM
    EXPECT_EQ(kScanCodeTable[112].scanCode, 0x72);
    EXPECT_EQ(kMediaKeyTable[0].param1 | kMediaKeyTable[0].param2 << 8, 0x0183);
}

TEST(KeyTables, LookupsTakeTheFirstRowInTableOrder) {
    EXPECT_EQ(FindKeyByVirtualKey(0x41), 8);
    EXPECT_EQ(FindKeyByVirtualKey(0xFF), 106);  // K14, first key without a virtual-key code
    EXPECT_EQ(FindKeyByVirtualKey(0x1234), -1);
    EXPECT_EQ(FindKeyByScanCode(0x1D, false), 0);   // LCtrl
    EXPECT_EQ(FindKeyByScanCode(0x1D, true), 4);    // RCtrl
    EXPECT_EQ(FindKeyByScanCode(0x45, false), 75);  // Pause, without the flag
    EXPECT_EQ(FindKeyByScanCode(0x1C, true), 91);   // Num Enter
    EXPECT_EQ(FindKeyByScanCode(0x6F, false), -1);
    EXPECT_EQ(FindKeyByParams(0x02, 0x00), 1);      // LShift before Sleep
    EXPECT_EQ(FindKeyByTypeParams(0x40, 0x02, 0), 133);
    EXPECT_EQ(FindKeyByTypeParam1(0xD0, 0xA2), 135);
    EXPECT_EQ(FindByParam1(kDpiKeyTable, 3), 2);
    EXPECT_EQ(FindByParams(kShortcutTable, 0x10, 0x2E), 10);
    // The 143rd name is never produced by a lookup: every lookup returns a row below 142.
    for (uint16_t vk = 0; vk < 0x200; ++vk) EXPECT_LT(FindKeyByVirtualKey(vk), 142);
}

TEST(KeyTables, ScanCodesAreUniqueSoEveryKeyCanBeCaptured) {
    std::set<uint16_t> seen;
    for (const auto& row : kScanCodeTable) EXPECT_TRUE(seen.insert(row.scanCode).second) << row.scanCode;
    for (size_t i = 0; i < kScanCodeTable.size(); ++i) EXPECT_EQ(kScanCodeTable[i].virtualKey, kKeyTable[i].code);
}

TEST(KeyAssignmentPacking, PacksTypeAndParameters) {
    const KeyAssignment key = UnpackAssignment(2097412, 7);
    EXPECT_EQ(key, (KeyAssignment{7, 0x20, 0x01, 0x04, 0}));
    EXPECT_EQ(PackAssignment(key), 2097412u);
    EXPECT_EQ(UnpackAssignment(0xFF123456, 0), (KeyAssignment{0, 0x12, 0x34, 0x56, 0}));
}

TEST(KeyCaptionRules, KeyboardKeys) {
    EXPECT_EQ(Caption(0x20, 0x01, 0x04), "<keyboard_key_LCtrl>+<keyboard_key_A>");
    EXPECT_EQ(Caption(0x20, 0x00, 0x04), "<keyboard_key_A>");
    EXPECT_EQ(Caption(0x20, 0x02, 0x00), "<keyboard_key_LShift>");
    EXPECT_EQ(Caption(0x20, 0x10, 0x12), "<custem_open>");
    EXPECT_EQ(Caption(0x20, 0x10, 0x04), "<custem_select_all>");
    EXPECT_EQ(Caption(0x20, 0x10, 0x3A), "<keyboard_key_F1>");  // Right Ctrl dropped, no shortcut
    EXPECT_EQ(Caption(0x20, 0, 0), "<close_text>");
    EXPECT_EQ(Caption(0x00, 0, 0), "<close_text>");
    EXPECT_EQ(Caption(0x00, 0x04, 0x05), "<keyboard_key_LAlt>+<keyboard_key_B>");
    EXPECT_EQ(Caption(0x20, 0x03, 0x00), std::nullopt);  // two modifiers: no row, nothing joined
    EXPECT_EQ(Caption(0x20, 0x03, 0x04), "<keyboard_key_A>");
    EXPECT_EQ(Caption(0x20, 0x00, 0xF0), std::nullopt);
}

TEST(KeyCaptionRules, MouseAndScrollFunctions) {
    EXPECT_EQ(Caption(0x10, 0x04, 0), "<mouse_key_middle>");
    EXPECT_EQ(Caption(0x10, 0x40, 0), std::nullopt);
    EXPECT_EQ(Caption(0x11, 0x12, 0x85), "<mouse_key_right_Swing>");
    EXPECT_EQ(Caption(0x11, 0x12, 0x05), "<mouse_key_left_Swing>");
    EXPECT_EQ(Caption(0x12, 0x12, 0xFB), "<mouse_key_down_Swing>");
    EXPECT_EQ(Caption(0x12, 0x12, 0x05), "<mouse_key_up_Swing>");
    EXPECT_EQ(Caption(0x13, 0x03, 0), "<mouse_key_DPI_loop>");
    EXPECT_EQ(Caption(0x14, 0x78, 0x02), "<mouse_key_fire_key>");
    EXPECT_EQ(Caption(0x16, 0x90, 0x01), "<mouse_key_DPI_shift>");
    EXPECT_EQ(Caption(0x22, 0, 8), "<custem_select_all>");
    EXPECT_EQ(Caption(0x22, 1, 8), std::nullopt);
    EXPECT_EQ(Caption(0x23, 0, 0), "<show_window>");
    EXPECT_EQ(Caption(0x23, 1, 0), std::nullopt);
    EXPECT_EQ(Caption(0x30, 0xCD, 0x00), "<media_play>");
    EXPECT_EQ(Caption(0x30, 0x26, 0x02), "<wed_stop>");
    EXPECT_EQ(Caption(0x30, 0x99, 0x09), std::nullopt);
    EXPECT_EQ(Caption(0x40, 0x04, 0), "<system_wake_up>");
}

TEST(KeyCaptionRules, MacrosRecoilSpecialAndUnknownTypes) {
    const std::vector<std::string> macros{"Burst", "宏 2"};
    EXPECT_EQ(Caption(0x70, 1, 0, CaptionTarget::Mouse, macros), "宏 2");
    EXPECT_EQ(Caption(0x71, 0, 5, CaptionTarget::Keyboard, macros), "Burst");
    EXPECT_EQ(Caption(0x70, 2, 0, CaptionTarget::Mouse, macros), std::nullopt);

    EXPECT_EQ(Caption(0x72, 3, 0), "<gun_4_txt>");
    EXPECT_EQ(Caption(0x72, 0, 0, CaptionTarget::Keyboard), kOffCaption);
    EXPECT_EQ(Caption(0x72, 4, 0), kOffCaption);

    EXPECT_EQ(Caption(0xA0, 0x35, 0), "<mouse_key_mode_cut_key>");
    EXPECT_EQ(Caption(0xA0, 0x00, 0), "<close_text>");
    EXPECT_EQ(Caption(0xA0, 0x1B, 0), "<keyboard_key_GM>");
    EXPECT_EQ(Caption(0xA0, 0x01, 0, CaptionTarget::Keyboard), "<keyboard_key_FN>");
    EXPECT_EQ(Caption(0xA0, 0x77, 0), std::nullopt);
    EXPECT_EQ(Caption(0xD0, 0xA2, 3, CaptionTarget::Keyboard), "<keyboard_key_M3>");
    EXPECT_EQ(Caption(0xD0, 0xA2, 3, CaptionTarget::Mouse), kOffCaption);

    for (uint8_t type : {0x15, 0x21, 0x50, 0x60, 0xB0, 0xC0}) EXPECT_EQ(Caption(type, 1, 1), std::nullopt) << int(type);
    EXPECT_EQ(Caption(0x90, 0, 0), kOffCaption);
    EXPECT_EQ(Caption(0xFF, 1, 2), kOffCaption);
}

}  // namespace
}  // namespace m470
