#include "device_link/NodeFolderWatch.h"

#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace m470 {

NodeFolderWatch::NodeFolderWatch(std::string folder) : folder_(std::move(folder)) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    // Attributes too: a node's permissions set after it appeared make it openable.
    constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
    if (::inotify_add_watch(fd_, folder_.c_str(), kEvents) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

NodeFolderWatch::~NodeFolderWatch() {
    if (fd_ >= 0) ::close(fd_);
}

int NodeFolderWatch::Drain(const std::function<void(const char* action, const std::string& node)>& tell) {
    if (fd_ < 0) return 0;
    alignas(inotify_event) char buffer[4096];
    int told = 0;
    for (;;) {
        const ssize_t length = ::read(fd_, buffer, sizeof buffer);
        if (length <= 0) break;  // EAGAIN: nothing more waits
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                tell("change", folder_);  // events were lost: anything may have changed
                ++told;
                continue;
            }
            if (event->len == 0 || std::strncmp(event->name, "hidraw", 6) != 0) continue;
            const char* action = (event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0 ? "remove"
                                 : (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0 ? "add"
                                                                                  : "change";
            tell(action, folder_ + "/" + event->name);
            ++told;
        }
    }
    return told;
}

}  // namespace m470
