#pragma once
// The HID interfaces the program recognises and the rules that match a
// candidate interface against them.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
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


// Each finds its marker case-insensitively and reads the hexadecimal number
// right after it; 0 when the marker is absent.
uint16_t ParseVendorId(std::string_view path);        // "vid_"
uint16_t ParseProductId(std::string_view path);       // "pid_"
uint16_t ParseInterfaceNumber(std::string_view path); // "&mi_"
uint16_t ParseCollectionNumber(std::string_view path);// "&col"

// The caller gives the rows: the interface table of its products.
// Path stage: vendor, product, interface and collection from the path equal a row's.
std::optional<size_t> MatchPath(std::string_view path, std::span<const KnownInterface> rows);

// Capability stage, after opening for read: ids from the attributes,
// interface and collection from the path, usage page and usage from the
// capabilities; all six must equal one row's.
struct InterfaceIdentity {
    uint16_t vendorId, productId, interfaceNumber, collectionNumber, usagePage, usage;
};
std::optional<size_t> MatchCapabilities(const InterfaceIdentity& identity, std::span<const KnownInterface> rows);

}  // namespace m470
