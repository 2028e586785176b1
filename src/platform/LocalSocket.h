#pragma once
// Plain local stream sockets, shared by every program that talks on one: the
// window's instance socket, m470ctl and the capture link.
#include <chrono>
#include <string>
#include <sys/un.h>

namespace m470 {

// Owns one descriptor and closes it when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1);
    // Hands the descriptor over; this one holds none after.
    int Release();

private:
    int fd_;
};

// The address of path; false (errno ENAMETOOLONG) when the path does not fit one.
bool FillLocalAddress(const std::string& path, sockaddr_un& address);

// A non-blocking socket connected to path, or -1 with errno set.
int ConnectLocalSocket(const std::string& path);
// A blocking socket connected to path, or -1 with errno set: ENOENT or
// ECONNREFUSED when nothing listens there, EAGAIN when the listener's queue
// stayed full for timeoutMs. A send on it waits at most timeoutMs as well.
int ConnectLocalSocketWithin(const std::string& path, int timeoutMs);

// A non-blocking socket listening at path, open to this user only, or -1
// with errno set. Whatever is at the path is the caller's to clear first.
int BindLocalSocket(const std::string& path, int backlog);

// Sends all of text on a blocking socket; false when the peer is gone.
bool SendAll(int fd, const std::string& text);

// What is left of the time until deadline, for poll (0 once it passed).
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline);

}  // namespace m470
