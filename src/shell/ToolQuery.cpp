#include "shell/ToolQuery.h"

namespace m470 {

std::vector<int32_t> ToolQueryValues(const std::vector<ProductRow>& products) {
    std::vector<int32_t> values{2, 3, 0, 2, static_cast<int32_t>(products.size())};
    for (const ProductRow& row : products) {
        values.push_back(row.vendorId);
        values.push_back(row.productId);
        values.push_back(static_cast<int32_t>(row.kind));
    }
    return values;
}

std::string ToolQueryAnswer(const std::string& name, const std::vector<ProductRow>& products) {
    std::string line = name + " " + std::to_string(kToolAnswerType);
    for (int32_t value : ToolQueryValues(products)) line += " " + std::to_string(value);
    return line + "\n";
}

}  // namespace m470
