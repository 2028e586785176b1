// The answer an outside tool gets on its own connection.
#include <gtest/gtest.h>

#include "shell/ToolQuery.h"

namespace m470 {
namespace {

TEST(ToolQuery, LeadingWordsThenEveryProductRow) {
    const std::vector<ProductRow> products(kProducts.begin(), kProducts.end());
    const std::vector<int32_t> values = ToolQueryValues(products);
    ASSERT_EQ(values.size(), 5u + 3u * products.size());
    EXPECT_EQ((std::vector<int32_t>(values.begin(), values.begin() + 5)),
              (std::vector<int32_t>{2, 3, 0, 2, static_cast<int32_t>(products.size())}));
    // The mouse row: vendor 0x320F, product 0x222E, kind 2.
    EXPECT_EQ((std::vector<int32_t>(values.begin() + 8, values.begin() + 11)), (std::vector<int32_t>{0x320F, 0x222E, 2}));
    const std::string line = ToolQueryAnswer("query", {products[1]});
    EXPECT_EQ(line, "query 5 2 3 0 2 1 12815 8750 2\n");
}

}  // namespace
}  // namespace m470
