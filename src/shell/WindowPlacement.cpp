#include "shell/WindowPlacement.h"

#include <algorithm>
#include <charconv>

namespace m470 {
namespace {

// One side: at least the minimum, at most the area (the area wins on a screen smaller than the minimum).
int FitSide(int wanted, int minimum, int available) { return std::min(std::max(wanted, minimum), available); }

// The start of a side of that length, moved so it lies inside the area.
int FitStart(int wanted, int length, int areaStart, int areaLength) {
    return std::clamp(wanted, areaStart, areaStart + areaLength - length);
}

}  // namespace

WindowRect PlaceWindow(const WindowRect& available, WindowSize minimum, WindowSize preferred,
                       const std::optional<WindowRect>& kept) {
    WindowRect place;
    place.width = FitSide(kept ? kept->width : preferred.width, minimum.width, available.width);
    place.height = FitSide(kept ? kept->height : preferred.height, minimum.height, available.height);
    const int centredX = available.x + (available.width - place.width) / 2;
    const int centredY = available.y + (available.height - place.height) / 2;
    place.x = FitStart(kept ? kept->x : centredX, place.width, available.x, available.width);
    place.y = FitStart(kept ? kept->y : centredY, place.height, available.y, available.height);
    return place;
}

std::optional<WindowRect> ParseWindowRect(const std::string& text) {
    int values[4] = {};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at == end || *at != ',') return std::nullopt;
            ++at;
        }
        const auto [next, error] = std::from_chars(at, end, values[i]);
        if (error != std::errc()) return std::nullopt;
        at = next;
    }
    if (at != end || values[2] <= 0 || values[3] <= 0) return std::nullopt;
    return WindowRect{values[0], values[1], values[2], values[3]};
}

std::string FormatWindowRect(const WindowRect& rect) {
    return std::to_string(rect.x) + "," + std::to_string(rect.y) + "," + std::to_string(rect.width) + "," +
           std::to_string(rect.height);
}

}  // namespace m470
