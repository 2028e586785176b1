#include "devices/keyboard/KeyboardProfiledata.h"

#include "platform/JsonFile.h"

namespace m470 {
namespace {

// A key not painted yet stays dark, so its legend reads.
constexpr KeyColour kNewEntryColour{0, 0, 0, 255};

Json::Value& ColourGroups(Json::Value& section) {
    return MutableMember(MutableMember(section, "CustomLightMode"), "LightColorInfo");
}

KeyColour ReadColour(const Json::Value& entry) {
    return {JsonByte(Member(entry, "Red")), JsonByte(Member(entry, "Green")), JsonByte(Member(entry, "Blue")),
            JsonByte(Member(entry, "Alpha"))};
}

void StoreColour(Json::Value& entry, const KeyColour& colour) {
    if (!entry.isObject()) entry = Json::Value(Json::objectValue);
    entry["Red"] = colour.red;
    entry["Green"] = colour.green;
    entry["Blue"] = colour.blue;
    entry["Alpha"] = colour.alpha;
}

}  // namespace

int CKeyboardProfiledata::BoundedGroup(int64_t group) {
    return group < 0 || group > kMaxCustomGroup ? 0 : static_cast<int>(group);
}

void CKeyboardProfiledata::SetSystemStages(const KeyboardSystemWords& words) {
    Json::Value& system = MutableMember(Section(), "SystemStages");
    system["Repeat"] = words.Repeat();
    system["RepeatDelay"] = words.RepeatDelay();
    system["Key6Flag"] = words.Key6Flag();
    system["PollingRate"] = words.PollingRate();
    system["WFlag"] = words.WFlag();
    system["WinFlag"] = words.WinFlag();
}

KeyboardSystemWords CKeyboardProfiledata::GetSystemStages() const {
    const Json::Value& system = Member(Section(), "SystemStages");
    return KeyboardSystemWords::Make(JsonWord(Member(system, "Repeat")), JsonWord(Member(system, "RepeatDelay")),
                                     JsonWord(Member(system, "Key6Flag")), JsonWord(Member(system, "PollingRate")),
                                     JsonWord(Member(system, "WFlag")), JsonWord(Member(system, "WinFlag")));
}

void CKeyboardProfiledata::SetCustomColours(const std::vector<KeyColour>& colours, int group) {
    Json::Value& list = MutableElement(ColourGroups(Section()), static_cast<Json::ArrayIndex>(BoundedGroup(group)));
    for (size_t k = 0; k < colours.size(); ++k)
        StoreColour(MutableElement(list, static_cast<Json::ArrayIndex>(k)), colours[k]);
}

std::vector<KeyColour> CKeyboardProfiledata::GetCustomColours(int group, size_t count) {
    Json::Value& list = MutableElement(ColourGroups(Section()), static_cast<Json::ArrayIndex>(BoundedGroup(group)));
    std::vector<KeyColour> colours(count, kNewEntryColour);
    for (size_t k = 0; k < count; ++k) {
        Json::Value& entry = MutableElement(list, static_cast<Json::ArrayIndex>(k));
        if (entry.isObject())
            colours[k] = ReadColour(entry);
        else
            StoreColour(entry, kNewEntryColour);
    }
    return colours;
}

void CKeyboardProfiledata::SetCustomGroup(int group) {
    MutableMember(MutableMember(Section(), "CustomLightMode"), "CustomLightModeGroupIndex") = BoundedGroup(group);
}

int CKeyboardProfiledata::GetCustomGroup() const {
    return BoundedGroup(JsonInteger(Member(Member(Section(), "CustomLightMode"), "CustomLightModeGroupIndex")));
}

}  // namespace m470
