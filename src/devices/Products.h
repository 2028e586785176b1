#pragma once
// One row per product: everything the program knows of a product before it
// talks to it. The interface table, the device objects, their pages, the
// emulated products, the update list, the headset's sound card and the udev
// rule (cmake/UdevRule.cmake reads the rows below) all come from here; a new
// model of a known kind is one more row.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device_link/KnownInterface.h"
#include "update/UpdateTypes.h"

namespace m470 {

// How the emulators present the product: the names of its interfaces in
// M470_VIRTUAL and the emulator control lines, and the version they report.
struct EmulatorNames {
    const char* name;          // "mouse"
    const char* receiverName;  // "mouse-receiver"; "" without a receiver
    uint16_t version;
};

// What the update service calls the product.
struct UpdateIds {
    int type;                 // kTypeMouseClass or kTypeKeyboardClass
    const char* deviceName;   // the device word of the service's key
};

// The USB device whose sound card the headset's audio settings go to; 0:0
// for a product without one.
struct AudioCardId {
    uint16_t vendorId, productId;
};

struct ProductRow {
    const char* name;            // device name: data folder, "<name>_device_name_text"
    uint16_t vendorId, productId;
    uint16_t receiverProductId;  // 0: no receiver
    uint16_t interfaceNumber;
    bool singleCollection;       // commands on collection 0 and no notification collection
    uint16_t commandUsagePage, commandUsage;
    DeviceKind kind, receiverKind;
    int leds, keys;
    bool battery;                // power panel, battery and link queries
    int lightRow;                // its row of "DefaultLightName" in default_light.json
    const char* pageLayout;
    const char* selectorLayout;  // the selector entry with its icon
    const char* factoryFile;     // the factory profile in DefaultData/
    const char* lightCatalogue;
    EmulatorNames emulator;
    UpdateIds update;
    AudioCardId audioCard;
};

// The udev rule generator reads each row's first five values: keep a row on
// one line, starting with its name.
inline constexpr std::array<ProductRow, 4> kProducts{{
    {"keyboard", 0x320F, 0x50C9, 0x50A9, 1, false, 0xFF1C, 0x0092, DeviceKind::Keyboard, DeviceKind::KeyboardReceiver, 170, 170, false, 0, "keyboarddevice.ui", "deviceoption.ui", "keyboard.Json", "kestro_light", {"keyboard", "keyboard-receiver", 0x0203}, {kTypeKeyboardClass, "T33"}, {}},
    {"mouse", 0x320F, 0x222E, 0x222F, 1, false, 0xFF1C, 0x0092, DeviceKind::Mouse, DeviceKind::MouseReceiver, 20, 12, true, 1, "mousedevice.ui", "deviceoption.ui", "mouse.Json", "kestro_light", {"mouse", "mouse-receiver", 0x0107}, {kTypeMouseClass, "M470"}, {}},
    {"MousePad", 0x320F, 0x1004, 0x0000, 1, false, 0xFF1C, 0x0092, DeviceKind::MousePad, DeviceKind::MousePad, 15, 0, false, 2, "mousepaddevice.ui", "deviceoption.ui", "MousePad.Json", "kestro_light", {"mousepad", "", 0x0101}, {kTypeMouseClass, "MP"}, {}},
    {"HD", 0x0C76, 0x1630, 0x0000, 3, true, 0x000C, 0x0001, DeviceKind::Headset, DeviceKind::Headset, 13, 0, false, 3, "hs6533device.ui", "deviceoption.ui", "HD.Json", "kestro_light", {"headset", "", 0x0100}, {kTypeMouseClass, "HD"}, {0x0C76, 0x1630}},
}};

// Collections of the two-collection products: commands on 4, events on 3.
inline constexpr uint16_t kCommandCollection = 4;
inline constexpr uint16_t kNotificationCollection = 3;
inline constexpr uint16_t kNotificationUsagePage = 0x000C, kNotificationUsage = 0x0001;

constexpr size_t InterfaceCount(const ProductRow& product) {
    return (product.singleCollection ? 1u : 2u) * (product.receiverProductId != 0 ? 2u : 1u);
}

// The interface rows of the products, in row order; per product the cable's
// command and notification rows, then the receiver's. A cable row and the
// receiver row of the same collection are each other's twin. `first` is the
// product's first row, `link` 0 the cable and 1 the receiver, `c` 0 the
// command collection and 1 the notification collection.
constexpr KnownInterface InterfaceRow(const ProductRow& product, size_t first, size_t link, size_t c) {
    const size_t perLink = product.singleCollection ? 1 : 2;
    const bool twins = product.receiverProductId != 0;
    const bool command = c == 0;
    KnownInterface row{};
    row.vendorId = product.vendorId;
    row.productId = link == 0 ? product.productId : product.receiverProductId;
    row.interfaceNumber = product.interfaceNumber;
    row.collectionNumber = product.singleCollection ? 0 : command ? kCommandCollection : kNotificationCollection;
    row.kind = link == 0 ? product.kind : product.receiverKind;
    row.role = command ? InterfaceRole::Command : InterfaceRole::Notification;
    row.usagePage = command ? product.commandUsagePage : kNotificationUsagePage;
    row.usage = command ? product.commandUsage : kNotificationUsage;
    row.hasTwin = twins;
    row.twinRow = twins ? static_cast<uint8_t>(first + (link == 0 ? perLink : 0) + c) : 0;
    return row;
}

// Writes the rows of every product from `out` on; returns the end. (A loop
// rather than a callback: GCC warns of "no effect" on a callback evaluated
// while the table is built at compile time.)
template <class Out>
constexpr Out WriteInterfaceRows(std::span<const ProductRow> products, Out out) {
    size_t first = 0;
    for (const ProductRow& product : products) {
        const size_t links = product.receiverProductId != 0 ? 2 : 1;
        const size_t perLink = product.singleCollection ? 1 : 2;
        for (size_t link = 0; link < links; ++link)
            for (size_t c = 0; c < perLink; ++c) *out++ = InterfaceRow(product, first, link, c);
        first += InterfaceCount(product);
    }
    return out;
}

constexpr size_t InterfaceCount(std::span<const ProductRow> products) {
    size_t count = 0;
    for (const ProductRow& product : products) count += InterfaceCount(product);
    return count;
}

inline constexpr auto kKnownInterfaces = [] {
    std::array<KnownInterface, InterfaceCount(kProducts)> table{};
    WriteInterfaceRows(kProducts, table.begin());
    return table;
}();

std::vector<KnownInterface> InterfacesOf(std::span<const ProductRow> products);

// The product a cable-side identity (vendor, product, kind) belongs to.
std::optional<size_t> FindProduct(std::span<const ProductRow> products, uint16_t vendorId, uint16_t productId,
                                  DeviceKind kind);
// The first row of that kind in kProducts: the facts a device object starts with.
const ProductRow& DefaultProduct(DeviceKind kind);

}  // namespace m470
