#include "devices/Products.h"

#include <iterator>

namespace m470 {

std::vector<KnownInterface> InterfacesOf(std::span<const ProductRow> products) {
    std::vector<KnownInterface> rows;
    rows.reserve(InterfaceCount(products));
    WriteInterfaceRows(products, std::back_inserter(rows));
    return rows;
}

std::optional<size_t> FindProduct(std::span<const ProductRow> products, uint16_t vendorId, uint16_t productId,
                                  DeviceKind kind) {
    for (size_t i = 0; i < products.size(); ++i)
        if (products[i].vendorId == vendorId && products[i].productId == productId && products[i].kind == kind) return i;
    return std::nullopt;
}

const ProductRow& DefaultProduct(DeviceKind kind) {
    for (const ProductRow& product : kProducts)
        if (product.kind == kind || product.receiverKind == kind) return product;
    return kProducts.front();
}

}  // namespace m470
