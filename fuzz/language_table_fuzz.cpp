// Language files and the settings file from outside: a table holds exactly
// the members of a valid object and nothing of anything else; a damaged
// settings file still takes the language choice and gives it back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/JsonFile.h"
#include "platform/Registry.h"
#include "shell/Language.h"

using namespace m470;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const fuzz::OneInput run;
    const std::string folder = fuzz::EmptyFolder("language");
    const std::string tablePath = folder + "table.json";
    fuzz::WriteFile(tablePath, bytes, size);

    bool valid = false;
    const Json::Value document = ParseJson(std::string_view(reinterpret_cast<const char*>(bytes), size), &valid);
    LanguageTable table;
    const bool loaded = table.Load(tablePath);
    if (loaded != (valid && document.isObject())) fuzz::Fail("a table loaded that is no object, or the reverse");
    if (loaded) {
        if (table.Size() != document.getMemberNames().size()) fuzz::Fail("the table lost or gained texts");
        for (const std::string& key : document.getMemberNames())
            if (!table.Has(key)) fuzz::Fail("a text of the file is missing");
    }
    const std::vector<LanguageEntry> list = LoadLanguageList(tablePath);
    if (!list.empty() && !(valid && document["Language"].isArray())) fuzz::Fail("a list from no list");

    // The same bytes as registry.json: the choice is stored and read back.
    const std::string registryPath = folder + "registry.json";
    fuzz::WriteFile(registryPath, bytes, size);
    RegistryStore registry(registryPath);
    LanguageChoice choice(registry, tablePath);
    choice.ReadLanguageChoice();
    if (!choice.StoreLanguageId(521) || registry.ReadInt("LANGUAGE") != 521) fuzz::Fail("the language choice was lost");
    bool stored = false;
    ParseJson(fuzz::ReadFile(registryPath), &stored);
    if (!stored) fuzz::Fail("registry.json was left invalid");
    return 0;
}
