// Qt tests need one application object (the program's, so the stall watch
// can be started by a test); the offscreen platform needs no display.
// Its screen is a laptop's (1366x768), not the platform's 800x600: the window
// keeps itself inside its screen, and the tests take it at its usual size.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "qt/UiStallWatch.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A window's first language follows the locale: the tests expect English.
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "C.UTF-8", 1);
    std::string screens;
    if (std::string(std::getenv("QT_QPA_PLATFORM")) == "offscreen") {
        char path[] = "/tmp/m470-offscreen-XXXXXX";
        const int fd = ::mkstemp(path);
        if (fd >= 0) {
            const std::string config =
                R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768, "logicalDpiX": 96, "logicalDpiY": 96, "dpr": 1}]})";
            const bool written = ::write(fd, config.data(), config.size()) == static_cast<ssize_t>(config.size());
            ::close(fd);
            screens = path;
            if (written) ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
        }
    }
    int result = 0;
    {
        m470::qt::WatchedApplication application(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (!screens.empty()) ::unlink(screens.c_str());
    return result;
}
