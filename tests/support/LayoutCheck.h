#pragma once
// Loads a layout into the in-memory tree and checks that every required
// control exists with the required type.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/MemoryControlTree.h"

namespace m470::test {

using RequiredControls = std::vector<std::pair<std::string, ui::ControlType>>;

// Every layout held back under control, loaded as its page's first show would.
inline void LoadHeldLayouts(ui::ControlHost& host, ui::Control* control) {
    host.LoadHeldLayout(control);
    for (ui::Control* child : control->Children()) LoadHeldLayouts(host, child);
}

// What the layout holds once each of its pages has shown.
inline ::testing::AssertionResult LayoutHas(const std::string& path, const RequiredControls& required) {
    ui::MemoryControlHost host;
    ui::Control* root = host.LoadLayout(path);
    if (root == nullptr) return ::testing::AssertionFailure() << "cannot load " << path;
    LoadHeldLayouts(host, root);
    std::string missing;
    for (const auto& [name, type] : required) {
        ui::Control* control = host.Find(name);
        if (control == nullptr) missing += " " + name + "(missing)";
        else if (control->Type() != type) missing += " " + name + "(class " + control->ClassName() + ")";
    }
    if (missing.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ":" << missing;
}

// The folder of the test data beside the sources.
inline std::string TestDataPath(const std::string& name) { return std::string(M470_TEST_DATA_DIR) + "/" + name; }

}  // namespace m470::test
