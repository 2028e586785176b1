#include "profiles/BasicProfiledata.h"

#include <filesystem>
#include <system_error>

#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

// A JSON member ↔ one byte of a record; flags read as 0 or 1.
template <typename Record>
struct RecordMember {
    const char* name;
    uint8_t Record::*field;
    bool isFlag;
};
using LightInfoMember = RecordMember<LightInfo>;
using AudioLightInfoMember = RecordMember<AudioLightInfo>;

inline constexpr LightInfoMember kLightInfoMembers[] = {
    {"SelectItem", &LightInfo::selectItem, false}, {"Light", &LightInfo::light, false},
    {"Speed", &LightInfo::speed, false},           {"Fx", &LightInfo::fx, false},
    {"MultiColor", &LightInfo::multiColor, true},  {"Red", &LightInfo::red, false},
    {"Green", &LightInfo::green, false},           {"Blue", &LightInfo::blue, false},
    {"ZZCCLedMode", &LightInfo::zzccLedMode, false}, {"CustomGroup", &LightInfo::customGroup, false},
    {"OldLedmode", &LightInfo::oldLedmode, false},
};

inline constexpr AudioLightInfoMember kAudioLightInfoMembers[] = {
    {"AudioMode", &AudioLightInfo::audioMode, false},      {"BkColorR", &AudioLightInfo::bkColorR, false},
    {"BkColorG", &AudioLightInfo::bkColorG, false},        {"BkColorB", &AudioLightInfo::bkColorB, false},
    {"FgColorR", &AudioLightInfo::fgColorR, false},        {"FgColorG", &AudioLightInfo::fgColorG, false},
    {"FgColorB", &AudioLightInfo::fgColorB, false},        {"7ColorFlags", &AudioLightInfo::sevenColorFlags, true},
    {"ColorTypeFlags", &AudioLightInfo::colorTypeFlags, true},
};

template <typename Record, size_t N>
Record ReadRecord(const Json::Value& object, const RecordMember<Record> (&members)[N]) {
    Record record;
    for (const RecordMember<Record>& member : members) {
        const Json::Value& value = Member(object, member.name);
        record.*member.field = member.isFlag ? (JsonBool(value) ? 1 : 0) : JsonByte(value);
    }
    return record;
}

// flagsAsBooleans: flags are written as 0 or 1, else as their byte.
template <typename Record, size_t N>
Json::Value WriteRecord(const Record& record, const RecordMember<Record> (&members)[N], bool flagsAsBooleans) {
    Json::Value object(Json::objectValue);
    for (const RecordMember<Record>& member : members) {
        const uint8_t byte = record.*member.field;
        object[member.name] = member.isFlag && flagsAsBooleans ? (byte != 0 ? 1 : 0) : static_cast<int>(byte);
    }
    return object;
}

// The eight colour-step members shared by "LightList" and "LEDEffectList".
template <typename Record>
void ReadColourStep(const Json::Value& element, Record& record) {
    record.mode = JsonByte(Member(element, "LEDREGMode"));
    record.brightness = JsonByte(Member(element, "LEDBrightness"));
    record.speed = JsonByte(Member(element, "LEDSpeed"));
    record.direction = JsonBool(Member(element, "LEDDirection")) ? 1 : 0;
    record.multiColor = JsonBool(Member(element, "LEDMultiColor")) ? 1 : 0;
    record.red = JsonByte(Member(element, "red"));
    record.green = JsonByte(Member(element, "green"));
    record.blue = JsonByte(Member(element, "blue"));
}

// Keeps an unreadable profile beside itself before it is replaced.
void KeepUnreadableCopy(const std::string& path) {
    std::error_code error;
    const std::string badPath = path + ".bad";
    std::filesystem::copy_file(path, badPath, std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        DebugTrace::Printf("profile %s is unreadable; keeping a copy failed: %s", path.c_str(),
                           error.message().c_str());
    else
        DebugTrace::Printf("profile %s is unreadable; kept as %s", path.c_str(), badPath.c_str());
}

}  // namespace

void CBasicProfiledata::SetDefaultPath(const std::string& path) {
    if (!path.empty()) defaultPath_ = path;
}

Json::ArrayIndex CBasicProfiledata::SectionIndex() const {
    return deviceIndex_ < 0 ? 0u : static_cast<Json::ArrayIndex>(deviceIndex_);
}

Json::Value CBasicProfiledata::LoadSectionInto(const std::string& path, Json::Value& target) {
    const Json::ArrayIndex index = SectionIndex();
    JsonLoadStatus status = JsonLoadStatus::Missing;
    Json::Value file = LoadJson(path, &status);
    Json::Value section = Element(Member(file, "Device"), index);
    if (section.isNull() && status == JsonLoadStatus::Unreadable) {
        // Never replace what could not be read: work from the factory section in memory.
        section = Element(Member(LoadJson(defaultPath_), "Device"), index);
    } else if (section.isNull()) {
        const bool unreadable = status == JsonLoadStatus::Invalid || status == JsonLoadStatus::TooLarge ||
                                (status == JsonLoadStatus::Ok && !file.isObject());
        if (unreadable) KeepUnreadableCopy(path);
        if (!file.isObject()) file = Json::Value(Json::objectValue);
        section = Element(Member(LoadJson(defaultPath_), "Device"), index);
        MutableElement(MutableMember(file, "Device"), index) = section;
        SaveJson(path, file);
    }
    target = section;
    return section;
}

Json::Value CBasicProfiledata::LoadDeviceSection(const std::string& path) { return LoadSectionInto(path, section_); }

Json::Value CBasicProfiledata::LoadSecondarySection(const std::string& path) {
    return LoadSectionInto(path, secondarySection_);
}

LightInfo CBasicProfiledata::ReadLightInfo() {
    const Json::Value& object = Member(section_, "LightInfo");
    if (object.isNull()) {
        lightInfo_ = defaultLightInfo_;
        return lightInfo_;
    }
    lightInfo_ = ReadRecord(object, kLightInfoMembers);
    return lightInfo_;
}

void CBasicProfiledata::WriteLightInfo(const LightInfo& info) {
    lightInfo_ = info;
    MutableMember(section_, "LightInfo") = WriteRecord(info, kLightInfoMembers, true);
}

AudioLightInfo CBasicProfiledata::ReadAudioLightInfo() {
    audioLightInfo_ = ReadRecord(Member(section_, "AudioLightInfo"), kAudioLightInfoMembers);
    return audioLightInfo_;
}

void CBasicProfiledata::WriteAudioLightInfo(const AudioLightInfo& info) {
    audioLightInfo_ = info;
    MutableMember(section_, "AudioLightInfo") = WriteRecord(info, kAudioLightInfoMembers, false);
}

std::vector<LightListEntry> CBasicProfiledata::ReadLightList() {
    std::vector<LightListEntry> list;
    const Json::Value& array = Member(section_, "LightList");
    if (array.isArray()) {
        for (const Json::Value& element : array) {
            LightListEntry entry;
            if (!element.isNull()) {
                ReadColourStep(element, entry);
                entry.valid = 1;
            }
            list.push_back(entry);
        }
    }
    lightList_ = list;
    return list;
}

Json::Value CBasicProfiledata::LoadLightCatalogue(const std::string& path) {
    lightCatalogue_ = LoadJson(path);
    return lightCatalogue_;
}

std::vector<std::vector<LedEffectStep>> CBasicProfiledata::ReadCustomEffects() {
    // Each read replaces the lists: a missing catalogue or effect leaves none,
    // never the previous effect's.
    customEffects_.clear();
    if (lightCatalogue_.isNull() || lightInfo_.selectItem < builtinEffectCount_) return customEffects_;
    const auto index = static_cast<Json::ArrayIndex>(lightInfo_.selectItem - builtinEffectCount_);
    const Json::Value& entry = Element(Element(Member(lightCatalogue_, "LightInfo"), SectionIndex()), index);
    std::string name = JsonText(Member(entry, "Guid"));
    // Effect files sit beside the catalogue that names them; an id that
    // could point elsewhere counts as missing.
    if (!IsSafeFileId(name)) return customEffects_;
    const size_t slash = lightCataloguePath_.rfind('/');
    if (slash != std::string::npos) name = lightCataloguePath_.substr(0, slash + 1) + name;
    const Json::Value effect = LoadJson(name + ".light");
    if (effect.isNull()) return customEffects_;
    std::vector<LedEffectStep> steps;
    const Json::Value& list = Member(effect, "LEDEffectList");
    if (list.isArray()) {
        for (const Json::Value& element : list) {
            LedEffectStep step;
            ReadColourStep(element, step);
            step.time = JsonDword(Member(element, "Time"));
            step.cycle = JsonDword(Member(element, "Cyle"));
            steps.push_back(step);
        }
    }
    customEffects_ = {steps};
    return customEffects_;
}

std::vector<KeyAssignmentPair> CBasicProfiledata::KeyListOf(const Json::Value& section) {
    std::vector<KeyAssignmentPair> list;
    const Json::Value& array = Member(section, "KeyList");
    if (!array.isArray()) return list;
    for (Json::ArrayIndex i = 0; i < array.size(); ++i) {
        const auto code = static_cast<uint16_t>(i);
        list.push_back({UnpackAssignment(JsonDword(Member(array[i], "Assignment")), code),
                        UnpackAssignment(JsonDword(Member(array[i], "DefaultAssignment")), code)});
    }
    return list;
}

void CBasicProfiledata::StoreKeyList(Json::Value& section, const std::vector<KeyAssignmentPair>& list) {
    Json::Value& array = MutableMember(section, "KeyList");
    for (size_t i = 0; i < list.size(); ++i)
        MutableMember(MutableElement(array, static_cast<Json::ArrayIndex>(i)), "Assignment") =
            static_cast<Json::UInt>(PackAssignment(list[i].current));
}

std::vector<KeyAssignmentPair> CBasicProfiledata::ReadKeyList() {
    keyList_ = KeyListOf(section_);
    return keyList_;
}

void CBasicProfiledata::WriteKeyList(const std::vector<KeyAssignmentPair>& list) {
    keyList_ = list;
    StoreKeyList(section_, list);
}

std::vector<KeyAssignmentPair> CBasicProfiledata::ReadSecondaryKeyList() {
    secondaryKeyList_ = KeyListOf(secondarySection_);
    return secondaryKeyList_;
}

void CBasicProfiledata::WriteSecondaryKeyList(const std::vector<KeyAssignmentPair>& list) {
    secondaryKeyList_ = list;
    StoreKeyList(secondarySection_, list);
}

bool CBasicProfiledata::Save() { return SaveDeviceSection(section_, profilePath_); }

bool CBasicProfiledata::SaveDeviceSection(const Json::Value& section, const std::string& path) {
    JsonLoadStatus status = JsonLoadStatus::Missing;
    Json::Value file = LoadJson(path, &status);
    if (status == JsonLoadStatus::Unreadable) return false;  // kept as it is; the user was told once
    if (!file.isObject()) file = Json::Value(Json::objectValue);
    MutableElement(MutableMember(file, "Device"), SectionIndex()) = section;
    return WriteDocument(file, path);
}

bool CBasicProfiledata::SaveSecondaryTo(const std::string& path) { return SaveDeviceSection(secondarySection_, path); }

bool CBasicProfiledata::WriteDocument(const Json::Value& document, const std::string& path) {
    return SaveJson(path, document);
}

}  // namespace m470
