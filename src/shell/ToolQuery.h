#pragma once
// The answer to an outside tool's query on the instance socket: the leading
// words 2, 3, 0, 2, the number of product rows, then vendor id, product id
// and kind of each row, as one line on the asking connection.
#include <cstdint>
#include <string>
#include <vector>

#include "devices/Products.h"

namespace m470 {

inline constexpr int32_t kToolAnswerType = 5;

std::vector<int32_t> ToolQueryValues(const std::vector<ProductRow>& products);
// "<name> 5 <values…>\n"
std::string ToolQueryAnswer(const std::string& name, const std::vector<ProductRow>& products);

}  // namespace m470
