#include "update/UpdateSettings.h"

#include <cctype>
#include <ctime>

#include "platform/JsonFile.h"
#include "platform/Registry.h"

namespace m470 {
namespace {

constexpr const char* kLastCheckFile = "updatetime.config";

std::string Setting(const RegistryStore& registry, const char* name) { return registry.Read(name).value_or(""); }

}  // namespace

std::string FirmwareIdSetting(const std::string& productName) {
    std::string name = "UPDATE_FIRMWARE_";
    for (char c : productName) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

std::string UpdateSettings::FirmwareId(const RegistryStore& registry, const std::string& productName) const {
    return registry.Read(FirmwareIdSetting(productName)).value_or("");
}

UpdateSettings ReadUpdateSettings(const RegistryStore& registry) {
    UpdateSettings settings;
    settings.serviceBase = Setting(registry, "UPDATE_SERVICE");
    if (!settings.serviceBase.empty() && settings.serviceBase.back() != '/') settings.serviceBase += '/';
    settings.brand = Setting(registry, "UPDATE_BRAND");
    settings.caFile = Setting(registry, "UPDATE_CA_FILE");
    return settings;
}

std::string ReadLastCheckDate(const std::string& folder) {
    return JsonText(Member(Member(LoadJson(folder + kLastCheckFile), "updatelasttime"), "value"));
}

bool WriteLastCheckDate(const std::string& folder, const std::string& date) {
    Json::Value document(Json::objectValue);
    document["updatelasttime"]["value"] = date;
    return SaveJson(folder + kLastCheckFile, document);
}

std::string TodayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-" + std::to_string(local.tm_mday);
}

}  // namespace m470
