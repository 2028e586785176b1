#include "platform/LocalSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace m470 {

void Descriptor::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

int Descriptor::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FillLocalAddress(const std::string& path, sockaddr_un& address) {
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

namespace {

// A socket of type (flags included) connected to path, or -1 with errno set;
// ready(fd) readies it before the connect.
template <typename Ready>
int ConnectTo(const std::string& path, int type, Ready ready) {
    sockaddr_un address{};
    if (!FillLocalAddress(path, address)) return -1;
    Descriptor socket(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0) return -1;
    ready(socket.Get());
    int result;
    do result = ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (result != 0 && errno == EINTR);
    return result == 0 ? socket.Release() : -1;
}

}  // namespace

// A local connect completes at once or fails at once (EAGAIN: backlog full).
int ConnectLocalSocket(const std::string& path) {
    return ConnectTo(path, SOCK_STREAM | SOCK_NONBLOCK, [](int) {});
}

int ConnectLocalSocketWithin(const std::string& path, int timeoutMs) {
    return ConnectTo(path, SOCK_STREAM, [timeoutMs](int fd) {
        // A local connect waits only while the listener's queue is full, and
        // that wait is bounded by the send timeout.
        const int waitMs = timeoutMs > 0 ? timeoutMs : 1;  // a zero timeout would mean no limit
        const timeval patience{waitMs / 1000, (waitMs % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    });
}

int BindLocalSocket(const std::string& path, int backlog) {
    sockaddr_un address{};
    if (!FillLocalAddress(path, address)) return -1;
    Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0 || ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return -1;
    // Owner only before anyone can connect; the folder is private as well.
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(socket.Get(), backlog) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        errno = error;
        return -1;
    }
    return socket.Release();
}

bool SendAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace m470
