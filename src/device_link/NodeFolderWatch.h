#pragma once
// Watches a device folder (/dev) with inotify for hidraw nodes coming and
// going: what the scan sleeps on when no udev daemon sends its events (the
// kernel's devtmpfs still makes and removes the nodes).
#include <functional>
#include <string>

namespace m470 {

class NodeFolderWatch {
public:
    explicit NodeFolderWatch(std::string folder);
    ~NodeFolderWatch();
    NodeFolderWatch(const NodeFolderWatch&) = delete;
    NodeFolderWatch& operator=(const NodeFolderWatch&) = delete;

    // Readable while events wait; -1 when the folder cannot be watched.
    int Fd() const { return fd_; }
    // Reads every waiting event without blocking and tells each hidraw node
    // as ("add" | "remove" | "change", full path); returns how many it told.
    int Drain(const std::function<void(const char* action, const std::string& node)>& tell);

private:
    std::string folder_;
    int fd_ = -1;
};

}  // namespace m470
