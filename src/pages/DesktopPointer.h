#pragma once
// The pointer page's values on the desktop: where the desktop has a setting
// of its own (GNOME's GSettings; on KDE Plasma, KWin's pointer devices and
// kdeglobals), an edit is applied there too, and the desktop's values are
// read back when the page is built. Elsewhere the values stay in the
// profile only.
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device_link/KnownInterface.h"
#include "platform/DesktopSettings.h"
#include "platform/KdeSettings.h"

namespace m470 {

enum class PointerValue { Speed, Precision, DoubleClick };
inline constexpr size_t kPointerValueCount = 3;

// Where a desktop keeps a value: a GSettings schema, a KConfig file's
// group, or a property of each of KWin's pointer devices of the mouse.
enum class DesktopStore { GSettings, KConfig, KWinDevice };

// One desktop key: our position range (low, middle, high) and the desktop
// numbers they stand for, linear between them; a choice key (precision:
// pointer acceleration) has the desktop's texts for 0 and 1 instead.
// unset: the desktop's own value when its file has none of the key.
struct DesktopPointerKey {
    PointerValue value;
    DesktopStore store;
    const char* place;  // the schema, or the KConfig file
    const char* group;  // the KConfig group
    const char* key;
    int ourLow, ourMiddle, ourHigh;
    double desktopLow, desktopMiddle, desktopHigh;
    bool integer;
    const char* off;
    const char* on;
    const char* unset;
};

inline constexpr const char* kGnomeMouseSchema = "org.gnome.desktop.peripherals.mouse";
// Our middle positions are the factory profile's (speed 10, double-click 5)
// and stand for the desktop's own defaults (0, 400 ms). GNOME has no key for
// the scroll lines or page scrolling: those stay in the profile.
inline constexpr std::array<DesktopPointerKey, 3> kGnomePointerKeys{{
    {PointerValue::Speed, DesktopStore::GSettings, kGnomeMouseSchema, nullptr, "speed", 1, 10, 20, -1.0, 0.0, 1.0, false, nullptr, nullptr, nullptr},
    {PointerValue::Precision, DesktopStore::GSettings, kGnomeMouseSchema, nullptr, "accel-profile", 0, 0, 1, 0, 0, 0, false, "'flat'", "'adaptive'", nullptr},
    {PointerValue::DoubleClick, DesktopStore::GSettings, kGnomeMouseSchema, nullptr, "double-click", 1, 5, 20, 900, 400, 200, true, nullptr, nullptr, nullptr},
}};

// Plasma keeps speed and acceleration per device in KWin (which stores
// them itself; only a Wayland session has KWin's devices) and the
// double-click interval for every program in kdeglobals. Its defaults are
// GNOME's: speed 0, 400 ms.
inline constexpr std::array<DesktopPointerKey, 3> kKdePointerKeys{{
    {PointerValue::Speed, DesktopStore::KWinDevice, nullptr, nullptr, "pointerAcceleration", 1, 10, 20, -1.0, 0.0, 1.0, false, nullptr, nullptr, nullptr},
    {PointerValue::Precision, DesktopStore::KWinDevice, nullptr, nullptr, "pointerAccelerationProfileAdaptive", 0, 0, 1, 0, 0, 0, false, "false", "true", nullptr},
    {PointerValue::DoubleClick, DesktopStore::KConfig, "kdeglobals", "KDE", "DoubleClickInterval", 1, 5, 20, 900, 400, 200, true, nullptr, nullptr, "400"},
}};

// Our position as the desktop's text, and back (nothing for a text that is
// no value of the key; values outside the range stop at its ends).
std::string DesktopText(const DesktopPointerKey& row, int ours);
std::optional<int> OurPosition(const DesktopPointerKey& row, const std::string& desktop);

// The ids of the mouse model whose interface this is (the kind's first
// model before it is known): its cable's and its receiver's product ids.
PointerIds PointerIdsOf(const KnownInterface& identity, DeviceKind kind);

struct DesktopPointerReading {
    PointerValue value;
    int position;
};

class CDesktopPointer {
public:
    // desktopName: the session's XDG_CURRENT_DESKTOP; only GNOME and KDE
    // sessions are asked (another desktop may carry the schemas without
    // using them).
    explicit CDesktopPointer(const std::string& desktopName, DesktopSettings settings = DesktopSettings());
    // The session's desktop, from the environment.
    static CDesktopPointer ForSession();
    // The mouse whose own devices the desktop keeps values for (KWin).
    void SetPointer(PointerIds ids) { ids_ = std::move(ids); }
    // Bounds every run of the desktop's tools.
    void SetToolLimit(const ToolLimit& limit);
    // Whether this desktop is asked at all (a tool is run).
    bool Asks() const { return !keys_.empty(); }

    // Reads every key the desktop has; Applies() tells whether any was
    // found, AppliesTo whether the value's was.
    std::vector<DesktopPointerReading> Read();
    bool Applies() const;
    bool AppliesTo(PointerValue value) const { return found_[static_cast<size_t>(value)]; }
    const std::array<bool, kPointerValueCount>& Found() const { return found_; }
    // A value edited on the page: set on the desktop when it has the key.
    bool Apply(PointerValue value, int position);

private:
    std::optional<std::string> Get(const DesktopPointerKey& row) const;
    bool Set(const DesktopPointerKey& row, const std::string& text);

    std::span<const DesktopPointerKey> keys_;
    DesktopSettings settings_;
    KdeConfig kdeConfig_;
    KWinPointerDevices kwin_;
    PointerIds ids_;
    std::vector<std::string> devices_;  // KWin's devices of the mouse, as last found
    std::array<bool, kPointerValueCount> found_{};
};

}  // namespace m470
