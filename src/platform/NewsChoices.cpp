#include "platform/NewsChoices.h"

namespace m470 {
namespace {

constexpr const char* kBatterySetting = "NOTIFY_BATTERY";
constexpr const char* kLinkSetting = "NOTIFY_LINK";

// Anything but "0" or "1" (a hand-edited file) keeps the default.
bool ReadSwitch(const RegistryStore& registry, const char* name, bool fallback) {
    const std::optional<std::string> text = registry.Read(name);
    if (text == "1") return true;
    if (text == "0") return false;
    return fallback;
}

}  // namespace

NewsChoices ReadNewsChoices(const RegistryStore& registry) {
    const NewsChoices defaults;
    return {ReadSwitch(registry, kBatterySetting, defaults.battery), ReadSwitch(registry, kLinkSetting, defaults.link)};
}

bool WriteNewsChoices(RegistryStore& registry, const NewsChoices& choices) {
    const bool battery = registry.Write(kBatterySetting, choices.battery ? "1" : "0");
    return registry.Write(kLinkSetting, choices.link ? "1" : "0") && battery;
}

}  // namespace m470
