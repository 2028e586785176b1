#include "platform/ProductLock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "platform/InstanceSocket.h"

namespace m470 {
namespace {

constexpr int kRetryMs = 50;

}  // namespace

ProductLock::~ProductLock() { Release(); }

std::string ProductLock::Path(std::string* error) {
    const std::string socket = InstanceSocketPath(error);
    return socket.empty() ? std::string() : socket + ".lock";
}

bool ProductLock::Acquire(int waitMs, std::string* why) {
    if (fd_ >= 0) return true;
    std::string error;
    const std::string path = Path(&error);
    if (path.empty()) {
        if (why != nullptr) *why = error;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        if (why != nullptr) *why = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    // flock has no time limit of its own: ask, and ask again until the deadline.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            if (why != nullptr) *why = "cannot lock " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (why != nullptr) *why = "the products are in use by another M470 program (" + path + ")";
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
    fd_ = fd;
    return true;
}

void ProductLock::Release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing the last descriptor lets the lock go
    fd_ = -1;
}

}  // namespace m470
