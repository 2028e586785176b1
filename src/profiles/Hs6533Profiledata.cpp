#include "profiles/Hs6533Profiledata.h"

#include <algorithm>
#include <limits>

#include "platform/JsonFile.h"

namespace m470 {
namespace {

struct StageMember {
    const char* name;
    int32_t SystemSetStages::*field;
};

constexpr StageMember kStageMembers[] = {
    {"MagicEnable", &SystemSetStages::magicEnable},
    {"MagicType", &SystemSetStages::magicType},
    {"EqType", &SystemSetStages::eqType},
    {"CustomEqSeletIndex", &SystemSetStages::customEqSeletIndex},
    {"MicInSelect", &SystemSetStages::micInSelect},
    {"MicInValue", &SystemSetStages::micInValue},
    {"MicMoniterSelect", &SystemSetStages::micMoniterSelect},
    {"MicMoniterValue", &SystemSetStages::micMoniterValue},
};

int32_t Int32Of(const Json::Value& value) {
    const int64_t number = JsonInteger(value);
    return static_cast<int32_t>(
        std::clamp<int64_t>(number, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Ten levels of one element of an array of level lists, created as 0 where missing.
std::vector<int> ReadLevels(Json::Value& lists, Json::ArrayIndex index) {
    Json::Value& levels = MutableElement(lists, index);
    std::vector<int> result;
    for (Json::ArrayIndex band = 0; band < equaliser::kBands; ++band) {
        Json::Value& entry = MutableElement(levels, band);
        Json::Value& value = MutableMember(entry, "value");
        if (!value.isNumeric()) value = 0;
        result.push_back(Int32Of(value));
    }
    return result;
}

Json::Value LevelList(std::span<const int> levels) {
    Json::Value list(Json::arrayValue);
    for (int band = 0; band < equaliser::kBands; ++band) {
        Json::Value entry(Json::objectValue);
        entry["value"] = band < static_cast<int>(levels.size()) ? levels[static_cast<size_t>(band)] : 0;
        list.append(entry);
    }
    return list;
}

}  // namespace

int equaliser::StoredPreset(int preset) { return preset < 1 || preset > kCustom ? 1 : preset; }

SystemSetStages CHs6533Profiledata::ReadSystemSetStages() const {
    const Json::Value& object = Member(Section(), "SystemSetStages");
    SystemSetStages stages;
    if (object.isObject())
        for (const StageMember& member : kStageMembers) stages.*member.field = Int32Of(Member(object, member.name));
    return stages;
}

void CHs6533Profiledata::WriteSystemSetStages(const SystemSetStages& stages) {
    Json::Value object(Json::objectValue);
    for (const StageMember& member : kStageMembers) object[member.name] = stages.*member.field;
    MutableMember(Section(), "SystemSetStages") = object;
}

std::vector<int> CHs6533Profiledata::ReadPresetBands(int preset) {
    const int stored = equaliser::StoredPreset(preset);
    if (stored == equaliser::kCustom) return {};
    return ReadLevels(MutableMember(Section(), "EQHzValueInfo"), static_cast<Json::ArrayIndex>(stored));
}

void CHs6533Profiledata::WritePresetBands(int preset, std::span<const int> levels) {
    const int stored = equaliser::StoredPreset(preset);
    if (stored == equaliser::kCustom) return;
    MutableElement(MutableMember(Section(), "EQHzValueInfo"), static_cast<Json::ArrayIndex>(stored)) = LevelList(levels);
}

std::vector<int> CHs6533Profiledata::ReadCustomBands(int index) {
    const Json::ArrayIndex names = Member(Section(), "CustomEQNameInfo").isArray() ? Member(Section(), "CustomEQNameInfo").size() : 0;
    const Json::Value& stored = Member(Section(), "CustomEQHzValueInfo");
    const Json::ArrayIndex kept = stored.isArray() ? stored.size() : 0;
    const Json::ArrayIndex bound = std::min<Json::ArrayIndex>(std::max(names, kept), equaliser::kCustomLimit);
    if (index < 0 || static_cast<Json::ArrayIndex>(index) >= bound) return std::vector<int>(equaliser::kBands, 0);
    return ReadLevels(MutableMember(Section(), "CustomEQHzValueInfo"), static_cast<Json::ArrayIndex>(index));
}

void CHs6533Profiledata::WriteCustomBands(int index, std::span<const int> levels) {
    if (index < 0 || index >= equaliser::kCustomLimit) return;
    MutableElement(MutableMember(Section(), "CustomEQHzValueInfo"), static_cast<Json::ArrayIndex>(index)) =
        LevelList(levels);
}

void CHs6533Profiledata::RemoveCustomBands(int index) {
    Json::Value& stored = MutableMember(Section(), "CustomEQHzValueInfo");
    if (!stored.isArray() || index < 0 || static_cast<Json::ArrayIndex>(index) >= stored.size()) return;
    Json::Value removed;
    stored.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
}

std::vector<std::string> CHs6533Profiledata::ReadCustomNames() {
    std::vector<std::string> names;
    const Json::Value& list = Member(Section(), "CustomEQNameInfo");
    if (!list.isArray()) return names;
    for (const Json::Value& entry : list) names.push_back(JsonText(Member(entry, "Name")));
    return names;
}

void CHs6533Profiledata::WriteCustomNames(const std::vector<std::string>& names) {
    Json::Value list(Json::arrayValue);
    for (const std::string& name : names) {
        Json::Value entry(Json::objectValue);
        entry["Name"] = name;
        list.append(entry);
    }
    MutableMember(Section(), "CustomEQNameInfo") = list;
}

}  // namespace m470
