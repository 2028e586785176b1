// Which documents can be imported as a product's profile: a profile of
// another product is not one, though a partial one of its own is.
#include <gtest/gtest.h>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "profiles/ProfileFiles.h"

namespace m470 {
namespace {

Json::Value Factory(const std::string& name) { return LoadJson(GetDefaultDataFolder() + name + ".Json"); }

TEST(ProfileFiles, AnotherProductsProfileIsNotThisProductsOwn) {
    const std::vector<std::string> products{"mouse", "keyboard", "MousePad", "HD"};
    for (const std::string& target : products) {
        const Json::Value factory = Factory(target);
        ASSERT_TRUE(factory.isObject()) << target;
        for (const std::string& source : products) {
            const bool same = SameProductSection(Factory(source), factory);
            // The mousepad's records are all among the headset's: the one pair the members do not tell apart.
            const bool expected = source == target || (source == "MousePad" && target == "HD");
            EXPECT_EQ(same, expected) << source << " into " << target;
        }
    }
    // A partial profile of the product's own is one: the first load completes it.
    Json::Value partial;
    partial["Device"][0]["LightInfo"]["Red"] = 7;
    EXPECT_TRUE(SameProductSection(partial, Factory("keyboard")));
    // A key list of another length is another product's.
    Json::Value shortKeys = Factory("mouse");
    shortKeys["Device"][0]["KeyList"].resize(11);
    EXPECT_FALSE(SameProductSection(shortKeys, Factory("mouse")));
    EXPECT_TRUE(SameProductSection(Json::Value(), Factory("mouse")));  // no section: the other checks judge
}

}  // namespace
}  // namespace m470
