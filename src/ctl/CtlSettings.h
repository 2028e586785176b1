#pragma once
// The settings m470ctl reads and changes, one row each: the products that
// have it, how its value is typed, and the typed getter and setter of the
// page's panel that owns it. A change goes through the same function the
// panel's control calls, so the range and rule checks, the profile file and
// the device traffic are those of a user's edit; m470ctl only words a refusal.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device_link/KnownInterface.h"
#include "pages/SettingOutcome.h"
#include "shell/Language.h"

namespace m470 {
class CDevicePage;
}

namespace m470::ctl {

// Products as bits, for the rows.
inline constexpr uint8_t kMouseBit = 1, kKeyboardBit = 2, kPadBit = 4, kHeadsetBit = 8;
inline constexpr uint8_t kLitProducts = kMouseBit | kKeyboardBit | kPadBit | kHeadsetBit;
uint8_t ProductBit(DeviceKind kind);

// How a setting's value is typed and shown.
enum class ValueKind {
    Number,     // a whole number
    OnOff,      // on or off (1 or 0 on the page)
    Stage,      // a stage 1-6 (0-5 on the page), "none" when no stage is
    Mode,       // the lighting mode, by name or number
    Colour,     // RRGGBB
    Direction,  // left or right (1 or 0 on the page)
    Key,        // a button's or key's function, by name
};

enum class SettingIndex { None, Stage, Key };

struct SettingRow {
    const char* name;
    uint8_t products;
    SettingIndex index;
    ValueKind kind;
    const char* values;  // for the usage text; nullptr: the range "LOW-HIGH"
    const char* help;
    // The panel's typed getter and setter; index: the stage 0-5 where the
    // row has one. Nothing for the key rows (they go by name).
    std::optional<int> (*get)(CDevicePage& page, size_t index) = nullptr;
    SettingOutcome (*set)(CDevicePage& page, size_t index, int value) = nullptr;
    // What the panel takes, where it is the same on every product.
    ValueRange (*range)() = nullptr;
};

extern const std::array<SettingRow, 25> kSettings;
const SettingRow* FindSetting(const std::string& name, DeviceKind kind);
// What the usage text shows a setting takes.
std::string ValuesText(const SettingRow& row);
// The rows a product has, in table order.
std::vector<const SettingRow*> SettingsOf(DeviceKind kind);

// What a get or set gives back: the value shown after it, or why not.
struct SettingResult {
    bool ok = false;
    std::string value;  // ok: the setting's value as the page shows it now
    std::string error;  // not ok: the value or index is no good (usage, exit 2)
    bool refused = false;  // not ok: the page's own rule says no (exit 1)
};

// The value as the page shows it; index as typed (a stage 1-6, a key name).
SettingResult ReadSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const LanguageTable& english);
// Changes the setting through its panel, which saves and writes as the
// control's edit does.
SettingResult WriteSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const std::string& value,
                           const LanguageTable& english);

}  // namespace m470::ctl
