#include "device_link/HidBackend.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <poll.h>

#include "device_link/HidrawBackend.h"

namespace m470 {
namespace {

std::mutex gBackendMutex;
std::shared_ptr<HidBackend> gBackend;

}  // namespace

HidIoResult WaitForFd(int fd, bool forWrite, int abortFd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd fds[2] = {{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0}, {abortFd, POLLIN, 0}};
        const nfds_t count = abortFd >= 0 ? 2 : 1;
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        const int ready = ::poll(fds, count, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return HidIoResult::Failed;
        }
        if (count == 2 && (fds[1].revents & POLLIN)) return HidIoResult::Aborted;
        if (fds[0].revents & (POLLERR | POLLNVAL)) return HidIoResult::Failed;
        if (fds[0].revents & (forWrite ? POLLOUT : POLLIN)) return HidIoResult::Ok;
        if (fds[0].revents & POLLHUP) return HidIoResult::Failed;
        if (ready == 0) return HidIoResult::TimedOut;
    }
}

bool HidBackend::Present(const std::string& path) {
    for (const std::string& present : EnumerateInterfaces())
        if (present == path) return true;
    return false;
}

std::unique_ptr<HidNode> HidBackend::OpenWithError(const std::string& path, bool read, bool write, int& error) {
    std::unique_ptr<HidNode> node = Open(path, read, write);
    error = node ? 0 : EIO;
    return node;
}

std::shared_ptr<HidBackend> DefaultHidBackend() {
    std::lock_guard lock(gBackendMutex);
    if (!gBackend) gBackend = std::make_shared<HidrawBackend>();
    return gBackend;
}

void SetDefaultHidBackend(std::shared_ptr<HidBackend> backend) {
    std::lock_guard lock(gBackendMutex);
    gBackend = std::move(backend);
}

std::vector<std::string> MakeInterfacePaths(const HidNodeDescription& d) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "&vid_%04x&pid_%04x", d.vendorId, d.productId);
    std::string base = d.node + ids;
    if (d.interfaceNumber >= 0) {
        char mi[16];
        std::snprintf(mi, sizeof mi, "&mi_%02x", d.interfaceNumber & 0xFF);
        base += mi;
    }
    std::vector<std::string> paths;
    if (d.collectionCount <= 1) {
        paths.push_back(base);
        return paths;
    }
    for (size_t collection = 1; collection <= d.collectionCount; ++collection) {
        char col[16];
        std::snprintf(col, sizeof col, "&col%02zx", collection);
        paths.push_back(base + col);
    }
    return paths;
}

std::string NodeOfInterfacePath(const std::string& path) { return path.substr(0, path.find('&')); }

}  // namespace m470
