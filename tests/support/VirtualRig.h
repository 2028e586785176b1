#pragma once
// A hub of virtual products and transports opened on them the way the device
// manager opens them.
#include <string>

#include "device_link/HidDevice.h"
#include "device_link/HidTransport.h"
#include "sim/VirtualDeviceHub.h"

namespace m470::test {

class VirtualRig {
public:
    explicit VirtualRig(std::span<const ProductRow> products = kProducts) : hub(products) {}

    VirtualDeviceHub hub;

    // The path of one collection of a plugged interface, empty when absent.
    std::string PathOf(const std::string& interfaceName, int collection) {
        VirtualProduct* product = hub.Product(interfaceName);
        if (product == nullptr) return {};
        const bool receiver = product->Identity().receiverName == interfaceName;
        char ids[32];
        std::snprintf(ids, sizeof ids, "pid_%04x", receiver ? product->Identity().receiverProductId
                                                             : product->Identity().productId);
        for (const std::string& path : hub.Backend()->EnumerateInterfaces()) {
            if (path.find(ids) == std::string::npos) continue;
            if (collection == 0 || ParseCollectionNumberOf(path) == collection) return path;
        }
        return {};
    }

    // Opens the command collection of cable and/or receiver into transport.
    void Open(CHidTransport& transport, const std::string& product, int linkMode) {
        const VirtualProduct* found = hub.Product(product);
        const std::string cable = PathOf(product, found != nullptr && found->Identity().singleCollection ? 0 : 4);
        const std::string receiver = found != nullptr && !found->Identity().receiverName.empty()
                                         ? PathOf(found->Identity().receiverName, 4)
                                         : std::string();
        if (!cable.empty()) transport.Primary().Open(cable, true, true, true, false);
        if (!receiver.empty()) transport.Secondary().Open(receiver, true, true, true, false);
        transport.SetLinkMode(linkMode);
        transport.SetOpened(true);
    }

private:
    static int ParseCollectionNumberOf(const std::string& path) {
        const size_t at = path.find("&col");
        return at == std::string::npos ? 0 : std::stoi(path.substr(at + 4), nullptr, 16);
    }
};

}  // namespace m470::test
