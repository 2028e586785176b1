#include "device_link/KnownInterface.h"

#include <cctype>

namespace m470 {
namespace {

uint16_t ParseAfterMarker(std::string_view path, std::string_view marker) {
    if (path.size() < marker.size()) return 0;
    for (size_t start = 0; start + marker.size() <= path.size(); ++start) {
        bool same = true;
        for (size_t i = 0; i < marker.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(path[start + i])) == marker[i];
        if (!same) continue;
        uint32_t value = 0;
        for (size_t i = start + marker.size(); i < path.size(); ++i) {
            const int c = std::tolower(static_cast<unsigned char>(path[i]));
            const int digit = std::isdigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
            if (digit < 0) break;
            value = (value << 4 | static_cast<uint32_t>(digit)) & 0xFFFFFFu;  // "%x" into 16 bits, no overflow
        }
        return static_cast<uint16_t>(value);
    }
    return 0;
}

}  // namespace

uint16_t ParseVendorId(std::string_view path) { return ParseAfterMarker(path, "vid_"); }
uint16_t ParseProductId(std::string_view path) { return ParseAfterMarker(path, "pid_"); }
uint16_t ParseInterfaceNumber(std::string_view path) { return ParseAfterMarker(path, "&mi_"); }
uint16_t ParseCollectionNumber(std::string_view path) { return ParseAfterMarker(path, "&col"); }

std::optional<size_t> MatchPath(std::string_view path, std::span<const KnownInterface> rows) {
    const uint16_t vendor = ParseVendorId(path), product = ParseProductId(path);
    const uint16_t interfaceNumber = ParseInterfaceNumber(path), collection = ParseCollectionNumber(path);
    for (size_t row = 0; row < rows.size(); ++row) {
        const KnownInterface& known = rows[row];
        if (known.vendorId == vendor && known.productId == product && known.interfaceNumber == interfaceNumber &&
            known.collectionNumber == collection)
            return row;
    }
    return std::nullopt;
}

std::optional<size_t> MatchCapabilities(const InterfaceIdentity& id, std::span<const KnownInterface> rows) {
    for (size_t row = 0; row < rows.size(); ++row) {
        const KnownInterface& known = rows[row];
        if (known.vendorId == id.vendorId && known.productId == id.productId &&
            known.interfaceNumber == id.interfaceNumber && known.collectionNumber == id.collectionNumber &&
            known.usagePage == id.usagePage && known.usage == id.usage)
            return row;
    }
    return std::nullopt;
}

}  // namespace m470
