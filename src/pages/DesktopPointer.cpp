#include "pages/DesktopPointer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace m470 {
namespace {

const DesktopPointerKey* RowOf(PointerValue value) {
    for (const DesktopPointerKey& row : kGnomePointerKeys)
        if (row.value == value) return &row;
    return nullptr;
}

// Linear between (a, fa) and (b, fb).
double Between(double x, double a, double b, double fa, double fb) { return b == a ? fa : fa + (x - a) * (fb - fa) / (b - a); }

}  // namespace

std::string DesktopText(const DesktopPointerKey& row, int ours) {
    ours = std::clamp(ours, row.ourLow, row.ourHigh);
    if (row.on != nullptr) return ours != 0 ? row.on : row.off;
    const double value = ours <= row.ourMiddle ? Between(ours, row.ourLow, row.ourMiddle, row.desktopLow, row.desktopMiddle)
                                               : Between(ours, row.ourMiddle, row.ourHigh, row.desktopMiddle, row.desktopHigh);
    if (row.integer) return std::to_string(std::lround(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

std::optional<int> OurPosition(const DesktopPointerKey& row, const std::string& desktop) {
    if (row.on != nullptr) {
        if (desktop == row.off) return 0;
        // "default" is the device's own profile: adaptive for a mouse.
        if (desktop == row.on || desktop == "'default'") return 1;
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(desktop.c_str(), &end);
    if (desktop.empty() || end == desktop.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    // The desktop numbers run up or down with ours: compare along their direction.
    const bool rising = row.desktopHigh > row.desktopLow;
    const double clamped = std::clamp(value, std::min(row.desktopLow, row.desktopHigh), std::max(row.desktopLow, row.desktopHigh));
    const bool firstHalf = rising ? clamped <= row.desktopMiddle : clamped >= row.desktopMiddle;
    const double ours = firstHalf ? Between(clamped, row.desktopLow, row.desktopMiddle, row.ourLow, row.ourMiddle)
                                  : Between(clamped, row.desktopMiddle, row.desktopHigh, row.ourMiddle, row.ourHigh);
    return static_cast<int>(std::lround(ours));
}

CDesktopPointer::CDesktopPointer(const std::string& desktopName, DesktopSettings settings)
    : gnome_(desktopName.find("GNOME") != std::string::npos), settings_(std::move(settings)) {}

CDesktopPointer CDesktopPointer::ForSession() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return CDesktopPointer(desktop != nullptr ? desktop : "");
}

std::vector<DesktopPointerReading> CDesktopPointer::Read() {
    std::vector<DesktopPointerReading> readings;
    found_ = false;
    if (!gnome_) return readings;
    for (const DesktopPointerKey& row : kGnomePointerKeys) {
        const std::optional<std::string> text = settings_.Get(row.schema, row.key);
        if (!text) continue;
        found_ = true;
        if (const std::optional<int> position = OurPosition(row, *text)) readings.push_back({row.value, *position});
    }
    return readings;
}

bool CDesktopPointer::Apply(PointerValue value, int position) const {
    const DesktopPointerKey* row = RowOf(value);
    return found_ && row != nullptr && settings_.Set(row->schema, row->key, DesktopText(*row, position));
}

}  // namespace m470
