#include <gtest/gtest.h>

#include "keys/EvdevScanCodes.h"
#include "keys/KeyTables.h"

namespace m470 {
namespace {

// Every key the tables know is reachable from exactly the evdev code that
// gives it back: a wrong or missing row would lose or swap a recorded key.
TEST(EvdevScanCodes, EveryScanCodeRowRoundTrips) {
    for (size_t row = 0; row < kScanCodeTable.size(); ++row) {
        const uint16_t scanCode = kScanCodeTable[row].scanCode;
        const std::optional<uint16_t> evdev = EvdevOfScanCode(scanCode);
        ASSERT_TRUE(evdev.has_value()) << "row " << row << " scan " << std::hex << scanCode;
        const std::optional<uint16_t> back = ScanCodeOfEvdev(*evdev);
        ASSERT_TRUE(back.has_value()) << "row " << row;
        EXPECT_EQ(*back, scanCode) << "row " << row << " evdev " << *evdev;
        EXPECT_EQ(FindKeyByScanCode(*back & 0xFF, (*back & kExtendedFlag) != 0), static_cast<int>(row)) << "row " << row;
    }
}

TEST(EvdevScanCodes, LinuxKeyCodesOfKnownKeys) {
    struct Case {
        uint16_t evdev;
        uint16_t scanCode;
    };
    // KEY_A, KEY_ESC, KEY_F12, KEY_RIGHTCTRL, KEY_KPENTER, KEY_DELETE, KEY_LEFTMETA,
    // KEY_COMPOSE, KEY_PAUSE, KEY_NUMLOCK, KEY_RIGHTSHIFT, KEY_102ND.
    const Case cases[] = {{30, 0x1E},   {1, 0x01},    {88, 0x58},   {97, 0x11D},  {96, 0x11C}, {111, 0x153},
                          {125, 0x15B}, {127, 0x15D}, {119, 0x045}, {69, 0x145}, {54, 0x136}, {86, 0x056}};
    for (const Case& c : cases) EXPECT_EQ(ScanCodeOfEvdev(c.evdev), c.scanCode) << c.evdev;
    // No key, KEY_LINEFEED, KEY_MUTE: no row.
    for (uint16_t evdev : {0, 101, 113, 500}) EXPECT_FALSE(ScanCodeOfEvdev(evdev).has_value()) << evdev;
    EXPECT_FALSE(EvdevOfScanCode(0x036).has_value());  // plain 0x36 is not what Right Shift reports
}

}  // namespace
}  // namespace m470
