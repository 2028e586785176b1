#pragma once
// Where a notification goes: rows of (event, control name, handler). A name
// ending in "_" is the prefix of numbered names ("DPI_slider_" takes
// "DPI_slider_3" and hands the handler 3); any other name is taken whole.
// Names compare without regard to case, as the layouts' names do.
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace m470::ui {

class RouteTable {
public:
    // index: the number of a numbered name, 0 for a whole name.
    using Handler = std::function<void(const Notification&, int index)>;

    RouteTable& Add(const std::string& event, const std::string& name, Handler handler);
    RouteTable& Add(const std::string& event, std::initializer_list<const char*> names, const Handler& handler);
    // The rows of another table after this one's.
    RouteTable& Append(const RouteTable& other);

    // Runs the first row that takes the notification; false when none does.
    bool Dispatch(const Notification& n) const;
    bool Takes(const Notification& n) const;
    // Every name of the table, once per row, in row order.
    std::vector<std::string> Names() const;
    size_t Size() const { return rows_.size(); }

private:
    struct Row {
        std::string event, name;
        Handler handler;
    };
    const Row* Match(const Notification& n, int& index) const;
    std::vector<Row> rows_;
};

}  // namespace m470::ui
