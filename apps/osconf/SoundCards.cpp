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

std::vector<UsbId> ConfiguredUsbIds(std::span<const ProductRow> products) {
    const char* text = std::getenv("M470_OSCONF_USB_ID");
    unsigned vendor = 0, product = 0;
    if (text != nullptr && std::sscanf(text, "%4x:%4x", &vendor, &product) == 2)
        return {UsbId{static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)}};
    std::vector<UsbId> ids;
    for (const ProductRow& row : products) {
        const UsbId id{row.audioCard.vendorId, row.audioCard.productId};
        if (id != UsbId{} && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    return ids;
}

std::vector<int> FindCards(const std::string& sysfsRoot, std::span<const UsbId> ids) {
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
        if (ReadHex(usb / "idVendor", vendor) && ReadHex(usb / "idProduct", product) &&
            std::find(ids.begin(), ids.end(), UsbId{vendor, product}) != ids.end())
            cards.push_back(std::atoi(name.c_str() + 4));
    }
    std::sort(cards.begin(), cards.end());
    return cards;
}

}  // namespace m470::osconf
