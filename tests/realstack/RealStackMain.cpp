// The real-stack tests run under libumockdev-preload: the testbed is made
// in this process and the programs it starts inherit the preload.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool Preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (!Preloaded()) {
        // The preload must be in place before the first call it wraps: start again with it.
        const char* before = std::getenv("LD_PRELOAD");
        const std::string preload = std::string(kPreload) + (before != nullptr && *before != '\0' ? ":" + std::string(before) : "");
        ::setenv("LD_PRELOAD", preload.c_str(), 1);
        ::execv("/proc/self/exe", argv);
        return 127;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
