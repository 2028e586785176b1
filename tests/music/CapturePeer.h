#pragma once
// A fake capture program on a socket of its own: accepts the window's
// connections, records the bytes it gets and sends what a test tells it.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "music/CaptureLink.h"

namespace m470::test {

inline constexpr int kGenerousMs = 5000;

class CapturePeer {
public:
    explicit CapturePeer(const std::string& path) : path_(path) {
        std::string why;
        listen_ = ListenLocalSocket(path, why);
        EXPECT_GE(listen_, 0) << why;
    }
    ~CapturePeer() {
        for (int fd : accepted_) ::close(fd);
        if (listen_ >= 0) ::close(listen_);
    }
    // The next connection; -1 when none came within the wait.
    int Accept(int waitMs = kGenerousMs) {
        pollfd wait{listen_, POLLIN, 0};
        if (::poll(&wait, 1, waitMs) != 1) return -1;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) accepted_.push_back(fd);
        return fd;
    }
    // Reads until count bytes have come or the peer closed.
    static std::vector<uint8_t> Read(int fd, size_t count) {
        std::vector<uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, kGenerousMs) != 1) break;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
            if (got <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        return bytes;
    }
    // True when the other end closed (reads end of stream within the wait).
    static bool SeesHangUp(int fd) {
        for (;;) {
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, kGenerousMs) != 1) return false;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) return true;
        }
    }
    static void Send(int fd, const std::vector<uint8_t>& bytes) { ASSERT_TRUE(WriteAll(fd, bytes, kGenerousMs)); }
    static std::vector<uint8_t> Concat(std::initializer_list<CaptureFrame> frames) {
        std::vector<uint8_t> bytes;
        for (const CaptureFrame& frame : frames) {
            const std::vector<uint8_t> one = EncodeFrame(frame);
            bytes.insert(bytes.end(), one.begin(), one.end());
        }
        return bytes;
    }

private:
    std::string path_;
    int listen_ = -1;
    std::vector<int> accepted_;
};

// Waits for the client's descriptor to become readable, then reads.
inline void PumpClient(CaptureClient& client, const std::function<void(const CaptureFrame&)>& onFrame) {
    if (!client.Connected()) return;
    pollfd wait{client.Fd(), POLLIN, 0};
    if (::poll(&wait, 1, kGenerousMs) == 1) client.ReadAvailable(onFrame);
}

}  // namespace m470::test
