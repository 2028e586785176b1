#pragma once
// The HID interfaces the program recognises and the rules that match a
// candidate interface against them.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace m470 {

enum class DeviceKind : uint16_t {
    Keyboard = 1,
    Mouse = 2,
    MousePad = 3,
    MouseReceiver = 6,
    Headset = 7,
    KeyboardReceiver = 9,
};

enum class InterfaceRole : uint16_t {
    Command = 0,        // 64-byte command reports (the headset's only interface)
    Notification = 255, // device events as input reports
};

struct KnownInterface {
    uint16_t vendorId, productId, interfaceNumber, collectionNumber;
    DeviceKind kind;
    InterfaceRole role;
    uint16_t present;  // 0 in the table; the device manager's copy uses it
    uint16_t usagePage, usage;
    bool hasTwin;
    uint8_t twinRow;
};

inline constexpr std::array<KnownInterface, 11> kKnownInterfaces{{
    {0x320F, 0x50C9, 1, 4, DeviceKind::Keyboard, InterfaceRole::Command, 0, 0xFF1C, 0x0092, true, 2},
    {0x320F, 0x50C9, 1, 3, DeviceKind::Keyboard, InterfaceRole::Notification, 0, 0x000C, 0x0001, true, 3},
    {0x320F, 0x50A9, 1, 4, DeviceKind::KeyboardReceiver, InterfaceRole::Command, 0, 0xFF1C, 0x0092, true, 0},
    {0x320F, 0x50A9, 1, 3, DeviceKind::KeyboardReceiver, InterfaceRole::Notification, 0, 0x000C, 0x0001, true, 1},
    {0x320F, 0x222E, 1, 4, DeviceKind::Mouse, InterfaceRole::Command, 0, 0xFF1C, 0x0092, true, 6},
    {0x320F, 0x222E, 1, 3, DeviceKind::Mouse, InterfaceRole::Notification, 0, 0x000C, 0x0001, true, 7},
    {0x320F, 0x222F, 1, 4, DeviceKind::MouseReceiver, InterfaceRole::Command, 0, 0xFF1C, 0x0092, true, 4},
    {0x320F, 0x222F, 1, 3, DeviceKind::MouseReceiver, InterfaceRole::Notification, 0, 0x000C, 0x0001, true, 5},
    {0x320F, 0x1004, 1, 4, DeviceKind::MousePad, InterfaceRole::Command, 0, 0xFF1C, 0x0092, false, 0},
    {0x320F, 0x1004, 1, 3, DeviceKind::MousePad, InterfaceRole::Notification, 0, 0x000C, 0x0001, false, 0},
    {0x0C76, 0x1630, 3, 0, DeviceKind::Headset, InterfaceRole::Command, 0, 0x000C, 0x0001, false, 0},
}};

// Each finds its marker case-insensitively and reads the hexadecimal number
// right after it; 0 when the marker is absent.
uint16_t ParseVendorId(std::string_view path);        // "vid_"
uint16_t ParseProductId(std::string_view path);       // "pid_"
uint16_t ParseInterfaceNumber(std::string_view path); // "&mi_"
uint16_t ParseCollectionNumber(std::string_view path);// "&col"

// Path stage: vendor, product, interface and collection from the path equal a row's.
std::optional<size_t> MatchPath(std::string_view path);

// Capability stage, after opening for read: ids from the attributes,
// interface and collection from the path, usage page and usage from the
// capabilities; all six must equal one row's.
struct InterfaceIdentity {
    uint16_t vendorId, productId, interfaceNumber, collectionNumber, usagePage, usage;
};
std::optional<size_t> MatchCapabilities(const InterfaceIdentity& identity);

}  // namespace m470
