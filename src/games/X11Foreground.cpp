#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "games/ForegroundSource.h"
#include "platform/DebugTrace.h"

namespace m470 {
namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool WaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return IsSet("WAYLAND_DISPLAY") || (type != nullptr && std::strcmp(type, "wayland") == 0);
}

class X11Foreground : public ForegroundSource {
public:
    ~X11Foreground() override { Disconnect(); }

    std::optional<int> ForegroundPid() override {
        if (!Connected()) return std::nullopt;
        const std::optional<uint32_t> window = ReadCardinal(root_, activeWindow_, XCB_ATOM_WINDOW);
        if (!window || *window == XCB_WINDOW_NONE) return std::nullopt;
        const std::optional<uint32_t> pid = ReadCardinal(*window, wmPid_, XCB_ATOM_CARDINAL);
        if (!pid || *pid == 0) return std::nullopt;
        return static_cast<int>(*pid);
    }

private:
    // Connects on first use and again after the server went away.
    bool Connected() {
        if (connection_ != nullptr && xcb_connection_has_error(connection_) == 0) return true;
        Disconnect();
        int screenNumber = 0;
        connection_ = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection_) != 0) {
            Disconnect();
            return false;
        }
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
        if (screens.rem == 0) {
            Disconnect();
            return false;
        }
        root_ = screens.data->root;
        activeWindow_ = Atom("_NET_ACTIVE_WINDOW");
        wmPid_ = Atom("_NET_WM_PID");
        if (activeWindow_ == XCB_ATOM_NONE || wmPid_ == XCB_ATOM_NONE) {
            Disconnect();
            return false;
        }
        DebugTrace::Write("game profiles: the active window comes from X11");
        return true;
    }

    void Disconnect() {
        if (connection_ != nullptr) xcb_disconnect(connection_);
        connection_ = nullptr;
    }

    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    std::optional<uint32_t> ReadCardinal(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(connection_, xcb_get_property(connection_, 0, window, property, type, 0, 1), nullptr);
        std::optional<uint32_t> value;
        if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
            uint32_t read = 0;
            std::memcpy(&read, xcb_get_property_value(reply), sizeof read);
            value = read;
        }
        std::free(reply);
        return value;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t activeWindow_ = XCB_ATOM_NONE, wmPid_ = XCB_ATOM_NONE;
};

}  // namespace

std::unique_ptr<ForegroundSource> MakeDesktopForeground() {
    if (WaylandSession() || !IsSet("DISPLAY")) return std::make_unique<NoForeground>();
    return std::make_unique<X11Foreground>();
}

}  // namespace m470
