#include "macros/MacroFiles.h"

#include <charconv>

#include "platform/JsonFile.h"

namespace m470 {
namespace {

// "Delay" is decimal text; a reader also accepts a number.
uint16_t DelayOf(const Json::Value& value) {
    if (value.isString()) {
        const std::string text = value.asString();
        uint64_t delay = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), delay);
        return error == std::errc() ? static_cast<uint16_t>(delay) : 0;
    }
    return JsonWord(value);
}

}  // namespace

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

ImageEvent EncodeMacroEvent(const Json::Value& event) {
    const uint16_t delay = DelayOf(Member(event, "Delay"));
    const bool down = JsonText(Member(event, "Action")) == "down";
    const uint8_t type = static_cast<uint8_t>((JsonByte(Member(event, "Type")) & 0x7F) | (down ? 0x80 : 0));
    return {static_cast<uint8_t>(delay), static_cast<uint8_t>(delay >> 8), type, JsonByte(Member(event, "Button"))};
}

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
