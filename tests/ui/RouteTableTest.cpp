#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/RouteTable.h"

namespace m470::ui {
namespace {

struct Seen {
    std::string row;
    int index;
    friend bool operator==(const Seen&, const Seen&) = default;
};

class Routes : public ::testing::Test {
protected:
    RouteTable::Handler Record(const std::string& row) {
        return [this, row](const Notification&, int index) { seen.push_back({row, index}); };
    }
    bool Send(const std::string& event, const std::string& name) { return table.Dispatch({event, nullptr, name, 0, 0}); }

    RouteTable table;
    std::vector<Seen> seen;
};

TEST_F(Routes, WholeNamesAndNumberedPrefixesTakeTheirOwnEventsOnly) {
    table.Add("valuechanged", "DPI_slider_", Record("stage"))
        .Add("movevaluechanged", "DPI_slider_", Record("moving"))
        .Add("valuechanged", "kestro_DPI_slider_", Record("main"))
        .Add("click", {"device_add_btn", "device_sub_btn"}, Record("button"));
    EXPECT_TRUE(Send("valuechanged", "DPI_slider_3"));
    EXPECT_TRUE(Send("movevaluechanged", "DPI_slider_12"));
    EXPECT_TRUE(Send("valuechanged", "kestro_DPI_slider_1"));  // not the shorter prefix it ends with
    EXPECT_TRUE(Send("click", "DEVICE_SUB_BTN"));              // layouts' names compare without case
    EXPECT_EQ(seen, (std::vector<Seen>{{"stage", 3}, {"moving", 12}, {"main", 1}, {"button", 0}}));

    seen.clear();
    EXPECT_FALSE(Send("click", "DPI_slider_3"));      // another event
    EXPECT_FALSE(Send("valuechanged", "DPI_slider"));  // no number part
    EXPECT_FALSE(Send("click", "device_add_btn_2"));   // a whole name is no prefix
    EXPECT_FALSE(Send("valuechanged", "x_DPI_slider_3"));
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(table.Takes({"click", nullptr, "device_copy_btn", 0, 0}));
    EXPECT_TRUE(table.Takes({"click", nullptr, "device_add_btn", 0, 0}));
    EXPECT_TRUE(seen.empty());  // asking runs nothing
}

TEST_F(Routes, TheFirstRowWinsAndAppendedRowsComeAfter) {
    table.Add("click", "color_option_", Record("first"));
    RouteTable other;
    other.Add("click", "color_option_", Record("second")).Add("click", "closebtn", Record("close"));
    table.Append(other);
    EXPECT_EQ(table.Size(), 3u);
    EXPECT_EQ(table.Names(), (std::vector<std::string>{"color_option_", "color_option_", "closebtn"}));
    EXPECT_TRUE(Send("click", "color_option_7"));
    EXPECT_TRUE(Send("click", "closebtn"));
    EXPECT_EQ(seen, (std::vector<Seen>{{"first", 7}, {"close", 0}}));
    // A number that does not parse counts as 0, as the layouts' numbered names do.
    seen.clear();
    EXPECT_TRUE(Send("click", "color_option_x"));
    EXPECT_EQ(seen, (std::vector<Seen>{{"first", 0}}));
}

TEST_F(Routes, AnEmptyTableOrARowWithoutHandlerRunsNothing) {
    EXPECT_FALSE(Send("click", "closebtn"));
    table.Add("click", "closebtn", nullptr).Add("click", "", Record("empty"));
    EXPECT_TRUE(Send("click", "closebtn"));  // taken, and nothing to run
    EXPECT_FALSE(Send("click", ""));         // an empty name matches nothing
    EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace m470::ui
