// The notes the desktop is given, without a bus: what counts as a read,
// which texts, and how the two switches are kept in registry.json.
#include <gtest/gtest.h>

#include <array>

#include "pages/ProductNews.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

struct Recorded {
    std::vector<DesktopNote> notes;
    CProductNews news{[this](const DesktopNote& note) { notes.push_back(note); },
                      [](std::string_view key) { return key == "news_battery_low_title" ? std::string("%1 低电量")
                                                                                            : std::string(key) + " %1"; }};
    void Read(int product, std::array<uint8_t, 6> status, size_t length = 6) {
        news.PowerRead(product, "鼠标", status.data(), length);
    }
};

TEST(ProductNews, OddReadsAreIgnoredAndEachProductCrossesOnItsOwn) {
    Recorded r;
    r.Read(3, {14, 2}, 1);       // too short to hold the power state
    r.Read(3, {200, 2});         // no level
    r.Read(3, {14, 1});          // charging
    r.Read(3, {14, 0});          // on the cable
    EXPECT_TRUE(r.notes.empty());
    r.Read(3, {14, 2});
    r.Read(7, {15, 2});
    r.Read(3, {9, 2});
    ASSERT_EQ(r.notes.size(), 2u);
    EXPECT_EQ(r.notes[0], (DesktopNote{3, "鼠标 低电量", "news_battery_low_text 14", NoteUrgency::Normal}));
    EXPECT_EQ(r.notes[1].product, 7);
    // Risen to 20 % (15 + 5) it is told again when it falls.
    r.Read(3, {19, 2});
    r.Read(3, {15, 2});
    r.Read(3, {20, 2});
    r.Read(3, {15, 2});
    ASSERT_EQ(r.notes.size(), 3u);
    EXPECT_EQ(r.notes[2].body, "news_battery_low_text 15");
}

TEST(ProductNews, SwitchedOffNothingIsToldAndOldCrossingsStayUntold) {
    Recorded r;
    r.news.SetChoices({false, false});
    r.Read(1, {12, 2});
    r.news.LinkChanged(1, "鼠标", true);
    r.news.SetChoices({true, true});
    r.Read(1, {11, 2});                  // the same crossing: not told late
    r.news.LinkChanged(1, "鼠标", true);  // no change
    EXPECT_TRUE(r.notes.empty());
    r.news.LinkChanged(2, "键盘", false);  // the first look at another product: how it stands, not news
    r.news.LinkChanged(1, "鼠标", false);
    r.Read(1, {5, 2});
    ASSERT_EQ(r.notes.size(), 2u);
    EXPECT_EQ(r.notes[0], (DesktopNote{1, "news_link_down_title 鼠标", "news_link_down_text ", NoteUrgency::Normal}));
    EXPECT_EQ(r.notes[1].urgency, NoteUrgency::Critical);
}

// A product unplugged and back is a new arrival: its first look tells
// nothing, and its battery crossings are told again.
TEST(ProductNews, AForgottenProductIsLookedAtAfresh) {
    Recorded r;
    r.news.SetChoices({true, true});
    r.news.LinkChanged(1, "鼠标", true);
    r.news.LinkChanged(1, "鼠标", false);
    r.Read(1, {12, 2});
    r.news.LinkChanged(2, "键盘", true);
    r.news.Forget(1);
    r.news.Forget(5);  // never seen: nothing to forget
    r.news.LinkChanged(1, "鼠标", true);
    r.Read(1, {12, 2});
    r.news.LinkChanged(1, "鼠标", false);
    r.news.LinkChanged(2, "键盘", false);  // another product keeps what was known of it
    ASSERT_EQ(r.notes.size(), 5u);
    EXPECT_EQ(r.notes[0].summary, "news_link_down_title 鼠标");
    EXPECT_EQ(r.notes[2], (DesktopNote{1, "鼠标 低电量", "news_battery_low_text 12", NoteUrgency::Normal}));
    EXPECT_EQ(r.notes[3].summary, "news_link_down_title 鼠标");
    EXPECT_EQ(r.notes[4].summary, "news_link_down_title 键盘");
}

TEST(NewsChoices, KeptInTheRegistryWithDefaultsForMissingOrOddValues) {
    test::TempFolder folder;
    RegistryStore registry(folder.File("registry.json"));
    EXPECT_EQ(ReadNewsChoices(registry), (NewsChoices{true, false}));
    ASSERT_TRUE(WriteNewsChoices(registry, {false, true}));
    EXPECT_EQ(ReadNewsChoices(RegistryStore(folder.File("registry.json"))), (NewsChoices{false, true}));
    const std::string file = test::TempFolder::ReadFile(folder.File("registry.json"));
    EXPECT_NE(file.find("\"NOTIFY_BATTERY\" : \"0\""), std::string::npos) << file;
    ASSERT_TRUE(registry.Write("NOTIFY_LINK", "yes"));
    EXPECT_EQ(ReadNewsChoices(registry), (NewsChoices{false, false}));
}

}  // namespace
}  // namespace m470
