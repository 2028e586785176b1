#pragma once
// The ALSA cards of one USB product, found through sysfs:
// /sys/class/sound/cardN/device/../idVendor and idProduct.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "devices/Products.h"

namespace m470::osconf {

struct UsbId {
    uint16_t vendor = 0, product = 0;
    bool operator==(const UsbId&) const = default;
};

// The sound cards' USB ids of the headset rows among products;
// M470_OSCONF_USB_ID=vvvv:pppp picks another card instead (the library's own
// test runs on whatever USB card the machine has).
std::vector<UsbId> ConfiguredUsbIds(std::span<const ProductRow> products = kProducts);

// Card numbers, ascending, under sysfsRoot (normally "/sys"), of the cards
// whose USB device has one of the ids.
std::vector<int> FindCards(const std::string& sysfsRoot, std::span<const UsbId> ids);

}  // namespace m470::osconf
