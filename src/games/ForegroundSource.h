#pragma once
// Which process owns the window in front, where the desktop says so.
#include <memory>
#include <optional>

namespace m470 {

class ForegroundSource {
public:
    virtual ~ForegroundSource() = default;
    // The pid of the active window's owner; nothing when it is not known.
    virtual std::optional<int> ForegroundPid() = 0;
};

// Nothing is ever known: Wayland and sessions without a display.
class NoForeground : public ForegroundSource {
public:
    std::optional<int> ForegroundPid() override { return std::nullopt; }
};

// X11: the root window's _NET_ACTIVE_WINDOW and that window's _NET_WM_PID.
// A Wayland session is left alone even with Xwayland: its active X window is
// not the window in front while a Wayland program has the focus.
std::unique_ptr<ForegroundSource> MakeDesktopForeground();

}  // namespace m470
