#pragma once
// The pointer page's values on the desktop: where the desktop has a setting
// of its own (GNOME's GSettings), an edit is applied there too, and the
// desktop's values are read back when the page is built. Elsewhere the
// values stay in the profile only.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopSettings.h"

namespace m470 {

enum class PointerValue { Speed, Precision, DoubleClick };
inline constexpr size_t kPointerValueCount = 3;

// One desktop key: our position range (low, middle, high) and the desktop
// numbers they stand for, linear between them; a choice key (precision:
// pointer acceleration) has the desktop's texts for 0 and 1 instead.
struct DesktopPointerKey {
    PointerValue value;
    const char* schema;
    const char* key;
    int ourLow, ourMiddle, ourHigh;
    double desktopLow, desktopMiddle, desktopHigh;
    bool integer;
    const char* off;
    const char* on;
};

inline constexpr const char* kGnomeMouseSchema = "org.gnome.desktop.peripherals.mouse";
// Our middle positions are the factory profile's (speed 10, double-click 5)
// and stand for the desktop's own defaults (0, 400 ms). GNOME has no key for
// the scroll lines or page scrolling: those stay in the profile.
inline constexpr std::array<DesktopPointerKey, 3> kGnomePointerKeys{{
    {PointerValue::Speed, kGnomeMouseSchema, "speed", 1, 10, 20, -1.0, 0.0, 1.0, false, nullptr, nullptr},
    {PointerValue::Precision, kGnomeMouseSchema, "accel-profile", 0, 0, 1, 0, 0, 0, false, "'flat'", "'adaptive'"},
    {PointerValue::DoubleClick, kGnomeMouseSchema, "double-click", 1, 5, 20, 900, 400, 200, true, nullptr, nullptr},
}};

// Our position as the desktop's text, and back (nothing for a text that is
// no value of the key; values outside the range stop at its ends).
std::string DesktopText(const DesktopPointerKey& row, int ours);
std::optional<int> OurPosition(const DesktopPointerKey& row, const std::string& desktop);

struct DesktopPointerReading {
    PointerValue value;
    int position;
};

class CDesktopPointer {
public:
    // desktopName: the session's XDG_CURRENT_DESKTOP; only a GNOME session
    // is asked (another desktop may carry the schemas without using them).
    explicit CDesktopPointer(const std::string& desktopName, DesktopSettings settings = DesktopSettings());
    // The session's desktop, from the environment.
    static CDesktopPointer ForSession();

    // Reads every key the desktop has; Applies() tells whether any was found.
    std::vector<DesktopPointerReading> Read();
    bool Applies() const { return found_; }
    // A value edited on the page: set on the desktop when it has the key.
    bool Apply(PointerValue value, int position) const;

private:
    bool gnome_;
    DesktopSettings settings_;
    bool found_ = false;
};

}  // namespace m470
