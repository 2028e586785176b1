#include "macros/MacroFiles.h"

#include "macros/MacroEvent.h"
#include "platform/JsonFile.h"

namespace m470 {

std::vector<MacroEntry> LoadMacroCatalogue(const std::string& path) {
    std::vector<MacroEntry> entries;
    const Json::Value catalogue = LoadJson(path);
    const Json::Value& list = Member(catalogue, "MacroInfo");
    if (!list.isArray()) return entries;
    for (const Json::Value& element : list) {
        const std::string guid = JsonText(Member(element, "Guid"));
        // The id names a file in the device folder: one that could leave it counts as missing.
        entries.push_back({JsonText(Member(element, "MacroName")), IsSafeFileId(guid) ? guid : std::string()});
    }
    return entries;
}

std::vector<std::string> MacroNames(const std::vector<MacroEntry>& catalogue) {
    std::vector<std::string> names;
    for (const MacroEntry& entry : catalogue) names.push_back(entry.name);
    return names;
}

ImageEvent EncodeMacroEvent(const Json::Value& event) { return DeviceForm(MacroEventOf(event)); }

ImageEntry EncodeEvents(const Json::Value& document) {
    ImageEntry entry;
    const Json::Value& events = Member(document, "Events");
    if (!events.isArray()) return entry;
    for (const Json::Value& event : events) entry.push_back(EncodeMacroEvent(event));
    return entry;
}

ImageEntry LoadMacroEvents(const std::string& folder, const std::string& guid) {
    if (!IsSafeFileId(guid)) return {};
    return EncodeEvents(LoadJson(folder + guid + ".mac"));
}

}  // namespace m470
