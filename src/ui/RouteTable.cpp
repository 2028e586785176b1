#include "ui/RouteTable.h"

#include "platform/JsonFile.h"
#include "platform/Text.h"

namespace m470::ui {

RouteTable& RouteTable::Add(const std::string& event, const std::string& name, Handler handler) {
    rows_.push_back({event, name, std::move(handler)});
    return *this;
}

RouteTable& RouteTable::Add(const std::string& event, std::initializer_list<const char*> names, const Handler& handler) {
    for (const char* name : names) Add(event, name, handler);
    return *this;
}

RouteTable& RouteTable::Append(const RouteTable& other) {
    rows_.insert(rows_.end(), other.rows_.begin(), other.rows_.end());
    return *this;
}

const RouteTable::Row* RouteTable::Match(const Notification& n, int& index) const {
    std::string prefix;
    int number = 0;
    const bool numbered = SplitIndexedName(n.senderName, prefix, number);
    for (const Row& row : rows_) {
        if (n.event != row.event || row.name.empty()) continue;
        const bool byPrefix = row.name.back() == '_';
        if (byPrefix ? numbered && EqualsIgnoringCase(prefix, row.name) : EqualsIgnoringCase(n.senderName, row.name)) {
            index = byPrefix ? number : 0;
            return &row;
        }
    }
    return nullptr;
}

bool RouteTable::Dispatch(const Notification& n) const {
    int index = 0;
    const Row* row = Match(n, index);
    if (row == nullptr) return false;
    if (row->handler) row->handler(n, index);
    return true;
}

bool RouteTable::Takes(const Notification& n) const {
    int index = 0;
    return Match(n, index) != nullptr;
}

std::vector<std::string> RouteTable::Names() const {
    std::vector<std::string> names;
    for (const Row& row : rows_) names.push_back(row.name);
    return names;
}

}  // namespace m470::ui
