#pragma once
// The ALSA cards of one USB product, found through sysfs:
// /sys/class/sound/cardN/device/../idVendor and idProduct.
#include <cstdint>
#include <string>
#include <vector>

namespace m470::osconf {

// The headset's USB ids; M470_OSCONF_USB_ID=vvvv:pppp picks another card
// (the library's own test runs on whatever USB card the machine has).
struct UsbId {
    uint16_t vendor = 0x0C76, product = 0x1630;
};
UsbId ConfiguredUsbId();

// Card numbers, ascending, under sysfsRoot (normally "/sys").
std::vector<int> FindCards(const std::string& sysfsRoot, UsbId id);

}  // namespace m470::osconf
