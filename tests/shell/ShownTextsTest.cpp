// What the window shows says what it is: effect names in both languages,
// no placeholder legends and no language key left untranslated in a layout.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <filesystem>
#include <regex>
#include <set>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "shell/Language.h"

namespace m470 {
namespace {

class ShownTexts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(english.Load(GetInstallFolder() + "skin/lang/en.json"));
        ASSERT_TRUE(chinese.Load(GetInstallFolder() + "skin/lang/zh.json"));
    }
    LanguageTable english, chinese;
};

TEST_F(ShownTexts, EveryEffectHasANameOfItsOwnInBothLanguages) {
    const Json::Value modes = LoadJson(GetDefaultDataFolder() + "default_light.json")["DefaultLightName"];
    ASSERT_TRUE(modes.isArray());
    ASSERT_GE(modes[0].size(), 31u);  // the keyboard's
    const std::regex numbered(R"((Effect|灯效|Mode) ?\d+)");
    for (const Json::Value& product : modes) {
        for (const LanguageTable* table : {&english, &chinese}) {
            std::set<std::string> seen;
            for (const Json::Value& mode : product) {
                const std::string key = mode["LightName"].asString();
                ASSERT_TRUE(table->Has(key)) << key;
                const std::string name = table->Text(key);
                EXPECT_FALSE(name.empty()) << key;
                EXPECT_FALSE(std::regex_match(name, numbered)) << key << ": " << name;
                EXPECT_TRUE(seen.insert(name).second) << key << ": \"" << name << "\" names two effects";
            }
        }
    }
}

// A text in a layout that looks like a language key must be one, in both tables;
// a key's legend "K" is the letter's only.
TEST_F(ShownTexts, LayoutsShowNoRawKeyAndNoPlaceholderLegend) {
    const std::regex keyLike(R"([A-Za-z][A-Za-z0-9]*(_[A-Za-z0-9]+)+)");
    int layouts = 0;
    for (const auto& entry : std::filesystem::directory_iterator(GetInstallFolder() + "skin")) {
        if (entry.path().extension() != ".ui") continue;
        ++layouts;
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file(entry.path().c_str())) << entry.path();
        int letterK = 0;
        for (const pugi::xpath_node& found : document.select_nodes("//property[@name='text']/string")) {
            const std::string text = found.node().text().get();
            const std::string control = found.node().parent().parent().attribute("name").value();
            if (std::regex_match(text, keyLike))
                EXPECT_TRUE(english.Has(text) && chinese.Has(text)) << entry.path().filename() << " " << control << ": " << text;
            if (text == "K") ++letterK;
        }
        EXPECT_LE(letterK, 1) << entry.path().filename() << ": a legend \"K\" on a key that is not the letter";
    }
    EXPECT_GT(layouts, 10);
}

}  // namespace
}  // namespace m470
