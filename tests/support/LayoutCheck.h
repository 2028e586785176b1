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

inline ::testing::AssertionResult LayoutHas(const std::string& path, const RequiredControls& required) {
    ui::MemoryControlHost host;
    if (host.LoadLayout(path) == nullptr) return ::testing::AssertionFailure() << "cannot load " << path;
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
