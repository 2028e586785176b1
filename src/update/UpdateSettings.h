#pragma once
// The update service's settings, kept in registry.json beside the language:
//   UPDATE_SERVICE        base address, https, ending in "/" (the "updates" endpoint is added)
//   UPDATE_BRAND          the brand word of every key
//   UPDATE_FIRMWARE_<P>   the firmware id of product P (MOUSE, KEYBOARD, MOUSEPAD, HD)
//   UPDATE_CA_FILE        a further certificate authority to trust (a private server)
// and the date of the last check in "updatetime.config".
#include <string>

namespace m470 {

class RegistryStore;

struct UpdateSettings {
    std::string serviceBase, brand, caFile;
    // The firmware id of a product row's name ("mouse", "MousePad"); empty when none is set.
    std::string FirmwareId(const RegistryStore& registry, const std::string& productName) const;
    bool Configured() const { return !serviceBase.empty(); }
    // Only https with verification is used.
    bool Secure() const { return serviceBase.rfind("https://", 0) == 0; }
};

UpdateSettings ReadUpdateSettings(const RegistryStore& registry);
// The registry name of a product's firmware id.
std::string FirmwareIdSetting(const std::string& productName);

// "updatetime.config" in folder: {"updatelasttime": {"value": "Y-M-D"}}.
std::string ReadLastCheckDate(const std::string& folder);
bool WriteLastCheckDate(const std::string& folder, const std::string& date);
// Today's date as year-month-day with no leading zeros ("2026-3-9").
std::string TodayText();

}  // namespace m470
