#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "games/ForegroundSource.h"

namespace m470 {
namespace {

// Sets the session's variables for one test and puts them back.
class SessionVariables : public ::testing::Test {
protected:
    void Set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(SessionVariables, WithoutAnXServerNothingIsInFront) {
    Set("WAYLAND_DISPLAY", nullptr);
    Set("XDG_SESSION_TYPE", nullptr);
    Set("DISPLAY", nullptr);
    EXPECT_EQ(MakeDesktopForeground()->ForegroundPid(), std::nullopt);
    // A display no server answers for: asked twice, it still says nothing.
    Set("DISPLAY", ":97");
    const auto unanswered = MakeDesktopForeground();
    EXPECT_EQ(unanswered->ForegroundPid(), std::nullopt);
    EXPECT_EQ(unanswered->ForegroundPid(), std::nullopt);
}

TEST_F(SessionVariables, AWaylandSessionIsNotAskedThroughXwayland) {
    Set("DISPLAY", ":0");
    Set("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_NE(dynamic_cast<NoForeground*>(MakeDesktopForeground().get()), nullptr);
    Set("WAYLAND_DISPLAY", nullptr);
    Set("XDG_SESSION_TYPE", "wayland");
    EXPECT_NE(dynamic_cast<NoForeground*>(MakeDesktopForeground().get()), nullptr);
    Set("XDG_SESSION_TYPE", "x11");
    EXPECT_EQ(dynamic_cast<NoForeground*>(MakeDesktopForeground().get()), nullptr);
}

}  // namespace
}  // namespace m470
