#pragma once
// m470ctl's side of the instance socket: one request to the running window
// and its reply, with plain local sockets (m470ctl has no toolkit).
#include <string>
#include <vector>

#include "ctl/CtlProtocol.h"

namespace m470::ctl {

enum class Delivery {
    NoWindow,  // no window listens: m470ctl opens the products itself
    Answered,  // reply holds the window's answer
    Failed,    // a window is there but the request did not get through; why says so
    TooLong,   // a window is there, and the request is longer than it takes
};

struct WindowAnswer {
    Delivery delivery = Delivery::NoWindow;
    Reply reply;
    std::string why;
};

// Writes the request to the socket at path and waits up to timeoutMs for the
// reply line.
WindowAnswer AskWindow(const std::string& path, const std::vector<std::string>& words, int timeoutMs);

}  // namespace m470::ctl
