#include "music/CaptureLink.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/LocalSocket.h"

namespace m470 {

int ListenLocalSocket(const std::string& path, std::string& error) {
    if (sockaddr_un address{}; !FillLocalAddress(path, address)) {
        error = "socket path too long: " + path;
        return -1;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()) {
            error = path + " exists and is not a socket of this user";
            return -1;
        }
        ::unlink(path.c_str());  // left by a copy that died: we hold the lock now
    }
    const int fd = BindLocalSocket(path, 8);
    if (fd < 0) error = "cannot listen on " + path + ": " + std::strerror(errno);
    return fd;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes, int timeoutMs) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (written > 0) {
            done += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd wait{fd, POLLOUT, 0};
        const int ready = ::poll(&wait, 1, timeoutMs);
        if (ready <= 0 || (wait.revents & (POLLERR | POLLHUP)) != 0) return false;
    }
    return true;
}

ReadOutcome ReadFrames(int fd, FrameDecoder& decoder, std::vector<CaptureFrame>& frames) {
    uint8_t buffer[8192];
    // Bounded, so a peer that never stops sending cannot hold the caller:
    // the rest is read at the next readiness.
    for (int reads = 0; reads < 32; ++reads) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            if (!decoder.Feed(buffer, static_cast<size_t>(got), frames)) return ReadOutcome::Broken;
            continue;
        }
        if (got == 0) return ReadOutcome::Closed;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReadOutcome::Open : ReadOutcome::Closed;
    }
    return ReadOutcome::Open;
}

}  // namespace m470
