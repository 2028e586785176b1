#include "keys/EvdevScanCodes.h"

namespace m470 {
namespace {

constexpr uint16_t kPlainFirst = 1;   // KEY_ESC
constexpr uint16_t kPlainLast = 88;   // KEY_F12

}  // namespace

const std::array<EvdevScanRow, 29> kEvdevScanCodes{{
    {54, 0x136},   // KEY_RIGHTSHIFT
    {69, 0x145},   // KEY_NUMLOCK
    {89, 0x073},   // KEY_RO (K56)
    {92, 0x079},   // KEY_HENKAN (K132)
    {93, 0x070},   // KEY_KATAKANAHIRAGANA (K133)
    {94, 0x07B},   // KEY_MUHENKAN (K131)
    {96, 0x11C},   // KEY_KPENTER
    {97, 0x11D},   // KEY_RIGHTCTRL
    {98, 0x135},   // KEY_KPSLASH
    {99, 0x137},   // KEY_SYSRQ (Print Scr)
    {100, 0x138},  // KEY_RIGHTALT
    {102, 0x147},  // KEY_HOME
    {103, 0x148},  // KEY_UP
    {104, 0x149},  // KEY_PAGEUP
    {105, 0x14B},  // KEY_LEFT
    {106, 0x14D},  // KEY_RIGHT
    {107, 0x14F},  // KEY_END
    {108, 0x150},  // KEY_DOWN
    {109, 0x151},  // KEY_PAGEDOWN
    {110, 0x152},  // KEY_INSERT
    {111, 0x153},  // KEY_DELETE
    {119, 0x045},  // KEY_PAUSE
    {121, 0x07E},  // KEY_KPCOMMA (K107)
    {122, 0x072},  // KEY_HANGEUL (K151)
    {123, 0x071},  // KEY_HANJA (K150)
    {124, 0x07D},  // KEY_YEN (K14)
    {125, 0x15B},  // KEY_LEFTMETA
    {126, 0x15C},  // KEY_RIGHTMETA
    {127, 0x15D},  // KEY_COMPOSE (App)
}};

std::optional<uint16_t> ScanCodeOfEvdev(uint16_t evdev) {
    for (const EvdevScanRow& row : kEvdevScanCodes)
        if (row.evdev == evdev) return row.scanCode;
    if (evdev >= kPlainFirst && evdev <= kPlainLast) return evdev;
    return std::nullopt;
}

std::optional<uint16_t> EvdevOfScanCode(uint16_t scanCode) {
    for (const EvdevScanRow& row : kEvdevScanCodes)
        if (row.scanCode == scanCode) return row.evdev;
    // A plain code is its own evdev code unless a listed key owns it (Pause
    // takes 0x45 from Num Lock, which is extended).
    if (scanCode < kPlainFirst || scanCode > kPlainLast) return std::nullopt;
    for (const EvdevScanRow& row : kEvdevScanCodes)
        if (row.evdev == scanCode) return std::nullopt;
    return scanCode;
}

}  // namespace m470
