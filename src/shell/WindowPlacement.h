#pragma once
// Where the main window goes: inside the available area of its screen, never
// smaller than its minimum unless the screen is, at the size and place it had
// last time when that still fits. The place is kept as "x,y,width,height".
#include <optional>
#include <string>

namespace m470 {

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowRect&) const = default;
};

struct WindowSize {
    int width = 0, height = 0;
};

// The registry value that keeps the window's place between starts.
inline constexpr const char* kWindowPlaceValue = "WINDOW_PLACE";

// available: the screen's area free of panels; kept: last time's place, if
// any (centred on the area otherwise, at the preferred size).
WindowRect PlaceWindow(const WindowRect& available, WindowSize minimum, WindowSize preferred,
                       const std::optional<WindowRect>& kept);

// "x,y,width,height"; nothing for text that is not four numbers with a positive size.
std::optional<WindowRect> ParseWindowRect(const std::string& text);
std::string FormatWindowRect(const WindowRect& rect);

}  // namespace m470
