#pragma once
// Which language table is in force, the user's choice between runs, and the
// font family that suits a language.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace m470 {

struct LanguageEntry {
    int id = 0;
    std::string name;
    std::string file;
};

inline constexpr int kDefaultLanguageId = 520;  // English
inline constexpr int kChineseLanguageId = 2052;  // Simplified Chinese

// The language of a start before the user chose one: the locale's, from the
// first of LC_ALL, LC_MESSAGES and LANG that is set and not empty; "zh..."
// gives Simplified Chinese, anything else English.
using EnvironmentLookup = std::function<const char*(const char* name)>;
int LocaleLanguageId(const EnvironmentLookup& environment);

// "Language.config" of the default data folder; empty when unreadable.
std::vector<LanguageEntry> LoadLanguageList(const std::string& path);

// Text key → text of one language ("skin/lang/<file>", a JSON object).
class LanguageTable {
public:
    bool Load(const std::string& path);
    // The text of key, or the key itself when the table lacks it.
    std::string Text(const std::string& key) const;
    bool Has(const std::string& key) const { return texts_.count(key) != 0; }
    size_t Size() const { return texts_.size(); }

private:
    std::map<std::string, std::string> texts_;
};

// The font family for a language index, given the index in use before;
// nullopt leaves the fonts as they are.
std::optional<std::string> FontFamilyFor(int index, int previousIndex);

class LanguageChoice {
public:
    LanguageChoice(RegistryStore& registry, std::string listPath) : registry_(registry), listPath_(std::move(listPath)) {}
    // The index of the stored identifier (the locale's language when none
    // is stored), 0 when it is not in the list.
    int ReadLanguageChoice() const;
    bool StoreLanguageId(int id);
    std::vector<LanguageEntry> List() const { return LoadLanguageList(listPath_); }

private:
    RegistryStore& registry_;
    std::string listPath_;
};

}  // namespace m470
