#pragma once
// A private X server for one test (Xvfb on a display number it picks itself,
// no TCP) and the part of a window manager the program reads: windows owned
// by a process (_NET_WM_PID) and the root's _NET_ACTIVE_WINDOW.
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace m470::test {

class X11Server {
public:
    static constexpr const char* kProgram = "/usr/bin/Xvfb";

    explicit X11Server(const TempFolder& folder) : log_(folder.File("xvfb.log")) {}
    ~X11Server() {
        if (connection_ != nullptr) xcb_disconnect(connection_);
        if (server_) server_->Stop(SIGTERM);
    }

    // Starts the server and connects to it; false, with why, when it cannot.
    bool Start(std::string& why) {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) return Fail(why, "no pipe");
        // The server writes the display number it took to descriptor 3 once it is ready.
        server_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{kProgram, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "320x240x24"},
            std::vector<std::string>{}, log_, pipe[1]);
        ::close(pipe[1]);
        std::string number;
        pollfd ready{pipe[0], POLLIN, 0};
        char c = 0;
        while (::poll(&ready, 1, 30000) == 1 && ::read(pipe[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(pipe[0]);
        if (number.empty()) return Fail(why, "Xvfb did not start: " + TempFolder::ReadFile(log_));
        display_ = ":" + number;
        connection_ = xcb_connect(display_.c_str(), nullptr);
        if (xcb_connection_has_error(connection_) != 0) return Fail(why, "cannot connect to Xvfb on " + display_);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        return true;
    }

    const std::string& Display() const { return display_; }

    // A top-level window owned by pid, as a client announces itself.
    xcb_window_t MakeWindow(uint32_t pid) {
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, Atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(connection_, window);
        Sync();
        return window;
    }
    // What a window manager sets when a window comes to the front (XCB_WINDOW_NONE: none is).
    void Activate(xcb_window_t window) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, Atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, 1, &window);
        Sync();
    }

private:
    bool Fail(std::string& why, const std::string& what) {
        why = what;
        return false;
    }
    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }
    // A round trip: everything sent before it has been carried out.
    void Sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    std::string log_;
    std::unique_ptr<ChildProcess> server_;
    std::string display_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

}  // namespace m470::test
