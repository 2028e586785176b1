#pragma once
// Controls of one panel looked up by name under its root on first use and
// kept; a control the layout lacks is looked up again next time (a later
// layout may bring it) and meanwhile acts as a null handle.
#include <string>
#include <unordered_map>

#include "ui/Ctl.h"

namespace m470::ui {

class ControlCache {
public:
    ControlCache(ControlHost& host, Control* root) : host_(host), root_(root) {}

    Ctl Find(const std::string& name) const {
        auto found = cache_.find(name);
        if (found != cache_.end()) return found->second;
        Control* control = host_.FindUnder(root_, name);
        if (control != nullptr) cache_.emplace(name, control);
        return control;
    }
    Ctl Find(const std::string& prefix, int number) const { return Find(prefix + std::to_string(number)); }

private:
    ControlHost& host_;
    Control* root_;
    mutable std::unordered_map<std::string, Control*> cache_;
};

}  // namespace m470::ui
