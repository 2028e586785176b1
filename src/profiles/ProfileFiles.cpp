#include "profiles/ProfileFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Text.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

enum class Kind { Absent, Number, Text, Array, Object };

Kind KindOf(const Json::Value& value) {
    if (value.isNull()) return Kind::Absent;
    if (value.isNumeric() || value.isBool()) return Kind::Number;
    if (value.isString()) return Kind::Text;
    if (value.isArray()) return Kind::Array;
    return Kind::Object;
}

// The seven numbers of a timestamp id and the count of "_" appended to
// tell apart ids of one millisecond; empty when it is not one.
std::vector<long> TimestampParts(std::string_view id) {
    const size_t last = id.find_last_not_of('_');
    if (last == std::string_view::npos) return {};
    std::vector<long> parts;
    for (size_t pos = 0; pos <= last;) {
        const size_t end = std::min(id.find('_', pos), last + 1);
        const std::string_view digits = id.substr(pos, end - pos);
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return {};
        parts.push_back(std::stol(std::string(digits)));
        pos = end + 1;
    }
    if (parts.size() != 7) return {};
    parts.push_back(static_cast<long>(id.size() - last - 1));
    return parts;
}

}  // namespace

std::string CapProfileName(std::string_view name) { return CapCodePoints(name, kMaxProfileNameLength); }

bool MatchesFactoryTypes(const Json::Value& candidate, const Json::Value& factory) {
    const Kind wanted = KindOf(factory);
    const Kind found = KindOf(candidate);
    if (wanted == Kind::Absent || found == Kind::Absent) return true;
    if (wanted != found) return false;
    if (wanted == Kind::Array) {
        if (factory.empty()) return true;
        for (Json::ArrayIndex i = 0; i < candidate.size(); ++i)
            if (!MatchesFactoryTypes(candidate[i], i < factory.size() ? factory[i] : factory[0])) return false;
    } else if (wanted == Kind::Object) {
        for (const std::string& name : factory.getMemberNames())
            if (!MatchesFactoryTypes(Member(candidate, name.c_str()), factory[name])) return false;
    }
    return true;
}

bool SameProductSection(const Json::Value& candidate, const Json::Value& factory) {
    const Json::Value& mine = Element(Member(candidate, "Device"), 0);
    const Json::Value& theirs = Element(Member(factory, "Device"), 0);
    if (!mine.isObject() || !theirs.isObject()) return true;  // the shapes are MatchesFactoryTypes' to judge
    for (const std::string& name : mine.getMemberNames())
        if (!theirs.isMember(name)) return false;
    const Json::Value& keys = Member(mine, "KeyList");
    const Json::Value& factoryKeys = Member(theirs, "KeyList");
    return !keys.isArray() || !factoryKeys.isArray() || factoryKeys.empty() || keys.size() == factoryKeys.size();
}

bool TimestampIdBefore(std::string_view a, std::string_view b) { return TimestampParts(a) < TimestampParts(b); }

std::vector<FoundProfile> FindProfileFiles(const std::string& folder) {
    std::vector<FoundProfile> found;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() != ".Json") continue;
        const std::string uuid = path.stem().string();
        if (!IsSafeFileId(uuid) || TimestampParts(uuid).empty()) continue;
        found.push_back({uuid, CapProfileName(JsonText(Member(LoadJson(path.string()), "profilename")))});
    }
    std::sort(found.begin(), found.end(), [](const FoundProfile& a, const FoundProfile& b) {
        return TimestampIdBefore(a.uuid, b.uuid);
    });
    return found;
}

}  // namespace m470
