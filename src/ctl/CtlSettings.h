#pragma once
// The settings m470ctl reads and changes, one row each: the products that
// have it, the control of the device page that shows it, and how a value
// is put into that control. A change goes through the page's own routes,
// so the profile file and the device traffic are those of a user's edit.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device_link/KnownInterface.h"
#include "shell/Language.h"

namespace m470 {
class CDevicePage;
}

namespace m470::ctl {

// Products as bits, for the rows.
inline constexpr uint8_t kMouseBit = 1, kKeyboardBit = 2, kPadBit = 4, kHeadsetBit = 8;
inline constexpr uint8_t kLitProducts = kMouseBit | kKeyboardBit | kPadBit | kHeadsetBit;
uint8_t ProductBit(DeviceKind kind);

// How the page shows a setting, and so how a value is read and put in.
enum class SettingControl {
    StageEdit,    // "DPI_edit_N": a stage's sensitivity, taken on leaving the edit
    StageCheck,   // "DPI_enable_check_N"
    ActiveStage,  // "DPI_select_check_N", one of six
    Slider,       // a slider's value
    Check,        // a check box, on or off
    Switch,       // an option whose route toggles: acted on only when it changes
    Options,      // numbered options "prefix_N" whose texts carry the value ("125 Hz")
    Mode,         // the lighting mode combo box, by name or number
    Colour,       // the palette colour, RRGGBB
    Direction,    // left or right, two options
    Key,          // a button's or key's function
};

enum class SettingIndex { None, Stage, Key };

// The values a numeric setting takes; a value outside is refused (exit 2),
// never taken to the nearest end.
struct ValueRange {
    int low = 0;
    int high = -1;  // below low: nothing is in range
};

struct SettingRow {
    const char* name;
    uint8_t products;
    SettingIndex index;
    SettingControl control;
    const char* controlName;  // whole name, or the prefix of numbered controls
    const char* values;       // for the usage text; nullptr: the range "LOW-HIGH"
    const char* help;
    ValueRange range{};
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
// Puts value into the page's control and raises the notification a user's
// edit raises; the page then saves and writes as it always does.
SettingResult WriteSetting(const SettingRow& row, CDevicePage& page, const std::string& index, const std::string& value,
                           const LanguageTable& english);

}  // namespace m470::ctl
