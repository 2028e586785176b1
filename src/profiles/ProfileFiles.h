#pragma once
// Checks on profile files that come from outside: names, ids, the member
// types of an import, and the list rebuilt from the files a folder holds.
#include <json/value.h>
#include <string>
#include <string_view>
#include <vector>

namespace m470 {

inline constexpr size_t kMaxProfileNameLength = 64;  // code points

std::string CapProfileName(std::string_view name);

// True when every member the factory document has is, where the candidate has
// it too, of the same kind (number and boolean count as one kind; null counts
// as absent); arrays are checked element by element against the factory's
// element at the same position, or its first.
bool MatchesFactoryTypes(const Json::Value& candidate, const Json::Value& factory);
// The candidate's device section could be this product's: every member it
// holds is one of the factory profile's (another product's records are
// not), and a key list holds as many keys as the factory's. Missing members
// are fine: the first load completes them.
bool SameProductSection(const Json::Value& candidate, const Json::Value& factory);

struct FoundProfile {
    std::string uuid;
    std::string name;  // "profilename" of the file, capped; may be empty
};
// The profile files ("<timestamp id>.Json") of a folder, oldest id first.
std::vector<FoundProfile> FindProfileFiles(const std::string& folder);
// Numeric order of two timestamp ids ("2021_08_01_09_05_07_042").
bool TimestampIdBefore(std::string_view a, std::string_view b);

}  // namespace m470
