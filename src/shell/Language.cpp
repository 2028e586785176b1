#include "shell/Language.h"

#include <array>
#include <cstdlib>
#include <string_view>

#include "platform/DebugTrace.h"
#include "platform/JsonFile.h"

namespace m470 {
namespace {

struct FontRow {
    int index;
    const char* family;
};
// Languages that bring a font family of their own.
constexpr std::array<FontRow, 3> kLanguageFonts{{
    {0, "汉仪菱心体简"},
    {2, "Noto Sans CJK TC Regular"},
    {15, "Noto Sans Thai"},
}};
constexpr const char* kFallbackFamily = "Verdana Unicode MS";

const FontRow* FontRowOf(int index) {
    for (const FontRow& row : kLanguageFonts)
        if (row.index == index) return &row;
    return nullptr;
}

}  // namespace

std::vector<LanguageEntry> LoadLanguageList(const std::string& path) {
    std::vector<LanguageEntry> list;
    const Json::Value document = LoadJson(path);
    const Json::Value& languages = Member(document, "Language");
    if (!languages.isArray()) return list;
    for (const Json::Value& language : languages)
        list.push_back({static_cast<int>(JsonInteger(Member(language, "Language_ID"))), JsonText(Member(language, "Language_name")),
                        JsonText(Member(language, "Language_file"))});
    return list;
}

bool LanguageTable::Load(const std::string& path) {
    const Json::Value document = LoadJson(path);
    if (!document.isObject()) return false;
    texts_.clear();
    for (const std::string& key : document.getMemberNames()) texts_[key] = JsonText(document[key]);
    return true;
}

std::string LanguageTable::Text(const std::string& key) const {
    const auto found = texts_.find(key);
    return found != texts_.end() ? found->second : key;
}

std::optional<std::string> FontFamilyFor(int index, int previousIndex) {
    if (const FontRow* row = FontRowOf(index)) return std::string(row->family);
    if (previousIndex == -1 || FontRowOf(previousIndex) != nullptr) return std::string(kFallbackFamily);
    return std::nullopt;
}

int LocaleLanguageId(const EnvironmentLookup& environment) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = environment(name);
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).substr(0, 2) == "zh" ? kChineseLanguageId : kDefaultLanguageId;
    }
    return kDefaultLanguageId;
}

int LanguageChoice::ReadLanguageChoice() const {
    const int id = registry_.ReadInt("LANGUAGE").value_or(LocaleLanguageId([](const char* name) { return std::getenv(name); }));
    const std::vector<LanguageEntry> list = List();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].id == id) return static_cast<int>(i);
    return 0;
}

bool LanguageChoice::StoreLanguageId(int id) {
    if (!registry_.Write("LANGUAGE", std::to_string(id))) return false;
    DebugTrace::Write("写成功！");
    return true;
}

}  // namespace m470
