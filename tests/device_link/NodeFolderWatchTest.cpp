#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "device_link/NodeFolderWatch.h"

namespace m470 {
namespace {

using Events = std::vector<std::pair<std::string, std::string>>;

Events Drained(NodeFolderWatch& watch) {
    Events events;
    watch.Drain([&](const char* action, const std::string& node) { events.emplace_back(action, node); });
    return events;
}

bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

// The scan sleeps on the descriptor: it must turn readable for a hidraw node
// made or removed, tell the node's path, and go quiet once drained.
TEST(NodeFolderWatch, TellsHidrawNodesMadeAndRemovedAndNothingElse) {
    char pattern[] = "/tmp/m470-nodes-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    NodeFolderWatch watch(folder);
    ASSERT_GE(watch.Fd(), 0);
    EXPECT_FALSE(Readable(watch.Fd()));

    std::ofstream(folder + "/tty5").put('x');  // not a hidraw node
    std::ofstream(folder + "/hidraw3").put('x');
    ::chmod((folder + "/hidraw3").c_str(), 0666);
    ASSERT_TRUE(Readable(watch.Fd()));
    Events events = Drained(watch);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), (std::pair<std::string, std::string>{"add", folder + "/hidraw3"}));
    EXPECT_EQ(events.back(), (std::pair<std::string, std::string>{"change", folder + "/hidraw3"}));
    for (const auto& [action, node] : events) EXPECT_EQ(node, folder + "/hidraw3");
    EXPECT_FALSE(Readable(watch.Fd()));
    EXPECT_TRUE(Drained(watch).empty());

    ::unlink((folder + "/tty5").c_str());
    ::unlink((folder + "/hidraw3").c_str());
    events = Drained(watch);
    EXPECT_EQ(events, (Events{{"remove", folder + "/hidraw3"}}));
    ::rmdir(folder.c_str());

    NodeFolderWatch missing(folder);  // gone: nothing to watch, and draining tells nothing
    EXPECT_LT(missing.Fd(), 0);
    EXPECT_TRUE(Drained(missing).empty());
}

}  // namespace
}  // namespace m470
