#include "SoundCards.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace m470::osconf {
namespace {

bool ReadHex(const std::filesystem::path& file, uint16_t& value) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.size() > 4) return false;
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str() || *end != '\0') return false;
    value = static_cast<uint16_t>(parsed);
    return true;
}

}  // namespace

UsbId ConfiguredUsbId() {
    UsbId id;
    const char* text = std::getenv("M470_OSCONF_USB_ID");
    unsigned vendor = 0, product = 0;
    if (text != nullptr && std::sscanf(text, "%4x:%4x", &vendor, &product) == 2) {
        id.vendor = static_cast<uint16_t>(vendor);
        id.product = static_cast<uint16_t>(product);
    }
    return id;
}

std::vector<int> FindCards(const std::string& sysfsRoot, UsbId id) {
    namespace fs = std::filesystem;
    std::vector<int> cards;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(sysfsRoot) / "class/sound", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("card", 0) != 0 || name.size() == 4 ||
            !std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        // device/ is the card's USB interface; its parent is the USB device.
        const fs::path usb = entry.path() / "device" / "..";
        uint16_t vendor = 0, product = 0;
        if (ReadHex(usb / "idVendor", vendor) && ReadHex(usb / "idProduct", product) && vendor == id.vendor &&
            product == id.product)
            cards.push_back(std::atoi(name.c_str() + 4));
    }
    std::sort(cards.begin(), cards.end());
    return cards;
}

}  // namespace m470::osconf
