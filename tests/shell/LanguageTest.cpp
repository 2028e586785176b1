#include <gtest/gtest.h>

#include <map>
#include <string>

#include "shell/Language.h"

namespace m470 {
namespace {

// The locale decides the first language: the first of LC_ALL, LC_MESSAGES
// and LANG that is set and not empty, "zh..." being Simplified Chinese.
TEST(Language, TheFirstStartFollowsTheLocalesFirstSetVariable) {
    using Environment = std::map<std::string, std::string>;
    const std::pair<Environment, int> cases[] = {
        {{}, 520},
        {{{"LANG", "zh_CN.UTF-8"}}, 2052},
        {{{"LANG", "zh_TW.UTF-8"}}, 2052},
        {{{"LANG", "C.UTF-8"}}, 520},
        {{{"LANG", "de_DE.UTF-8"}}, 520},
        {{{"LC_MESSAGES", "zh_CN.UTF-8"}, {"LANG", "en_US.UTF-8"}}, 2052},
        {{{"LC_ALL", "C"}, {"LC_MESSAGES", "zh_CN.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}, 520},
        {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "zh_SG"}}, 2052},
        {{{"LANG", "z"}}, 520},
    };
    for (const auto& testCase : cases) {
        const Environment& environment = testCase.first;
        const int expected = testCase.second;
        const int id = LocaleLanguageId([&environment](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        });
        std::string shown;
        for (const auto& [name, value] : environment) shown += name + "=" + value + " ";
        EXPECT_EQ(id, expected) << shown;
    }
}

}  // namespace
}  // namespace m470
