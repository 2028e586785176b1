#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/FileAlerts.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "recoil/ShootControlUI.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

class ShootPanel : public ::testing::Test {
protected:
    void SetUp() override {
        root = host.LoadLayout(GetInstallFolder() + "skin/shootcontrol.ui");
        ASSERT_NE(root, nullptr);
        std::filesystem::create_directories(temp.File("mouse"));
        panel.SetDataFolder(temp.File("mouse/"));
        panel.SetDefaultFolder(GetDefaultDataFolder());
        ShootWindow window;
        window.chooseOpenFile = [this](const std::string& filter) { filters.push_back(filter); return openAnswer; };
        window.chooseSaveFile = [this](const std::string& filter) { filters.push_back(filter); return saveAnswer; };
        window.notice = [this](const std::string& key) { notices.push_back(key); };
        window.writePatterns = [this] { ++writes; };
        panel.SetWindow(window);
        host.SetNotifyCallback([this](const ui::Notification& n) { panel.HandleNotification(n); });
        panel.InitPanel();
        panel.SelectPattern(0);
        panel.SelectBullet(0);
    }
    ui::Ctl C(const std::string& name) { return host.Find(name); }
    void Notify(const char* event, const std::string& name) { host.SendNotify(host.Find(name), event); }
    void Type(const std::string& edit, const std::string& text) {
        C(edit).SetText(text);
        Notify("killfocus", edit);
    }
    Json::Value Pattern(int n) { return LoadJson(temp.File("mouse/ShootData_" + std::to_string(n) + ".Shoot")); }

    test::TempFolder temp;
    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
    CShootControlUI panel{host, nullptr, [](std::string_view key) { return "<" + std::string(key) + ">"; }};
    std::string openAnswer, saveAnswer;
    std::vector<std::string> filters, notices;
    int writes = 0;
};

TEST_F(ShootPanel, TheLayoutHoldsEveryControlThePanelUses) {
    EXPECT_TRUE(panel.AllControlsFound());
    EXPECT_TRUE(test::LayoutHas(GetInstallFolder() + "skin/shootcontrol.ui",
                                {{"shoot_gun_op_3", ui::ControlType::Option},
                                 {"shoot_image_display_switch", ui::ControlType::Tabs},
                                 {"bullet_op_29", ui::ControlType::Option},
                                 {"bullet_select_index", ui::ControlType::Label},
                                 {"bullet_x_check", ui::ControlType::Option},
                                 {"bullet_delay_eidt", ui::ControlType::Edit},
                                 {"shootdate_save_btn", ui::ControlType::Button},
                                 {"shoot_chart_2", ui::ControlType::Custom}}));
    // A layout without the fields: the flag says so and nothing breaks.
    ui::MemoryControlHost bare;
    bare.LoadLayout(test::TestDataPath("sample_power.ui"));
    CShootControlUI lonely(bare, nullptr, [](std::string_view key) { return std::string(key); });
    lonely.SetDataFolder(temp.File("mouse/"));
    lonely.InitPanel();
    EXPECT_FALSE(lonely.AllControlsFound());
    lonely.SelectBullet(40);
    EXPECT_EQ(lonely.CurrentBullet(), 29);
}

TEST_F(ShootPanel, StartingRestoresThePatternsAndShowsTheFirstBullet) {
    for (int n = 0; n < 4; ++n) EXPECT_EQ(Pattern(n)["Events"].size(), 180u) << n;
    EXPECT_TRUE(C("shoot_gun_op_0").Selected());
    EXPECT_EQ(C("shoot_image_display_switch").Page(), 0);
    EXPECT_TRUE(C("bullet_op_0").Selected());
    EXPECT_EQ(C("bullet_select_index").Text(), "1");
    // Factory pattern 0, bullet 0: 1 to the left, 2 down, 95 ms.
    EXPECT_EQ(C("bullet_x_eidt").Text(), "1");
    EXPECT_EQ(C("bullet_y_eidt").Text(), "2");
    EXPECT_EQ(C("bullet_delay_eidt").Text(), "95");
    EXPECT_TRUE(C("bullet_x_check").Selected());
    EXPECT_EQ(C("bullet_x_check").Text(), "<mouse_move_to_left_text>");
    EXPECT_FALSE(C("bullet_y_check").Selected());
    EXPECT_EQ(C("bullet_y_check").Text(), "<mouse_move_to_down_text>");
    // The pattern's chart: one bar per bullet, its downward pull.
    ASSERT_EQ(C("shoot_chart_0").ItemCount(), 30);
    EXPECT_EQ(C("shoot_chart_0").Get()->ItemData(0), "2");
}

TEST_F(ShootPanel, EditsReachThePatternFileOfTheChosenPatternAndBullet) {
    C("shoot_gun_op_1").SetSelected(true);  // the user picks gun 2
    EXPECT_EQ(panel.CurrentPattern(), 1);
    EXPECT_FALSE(C("shoot_gun_op_0").Selected());
    EXPECT_EQ(C("shoot_image_display_switch").Page(), 1);
    C("bullet_op_2").SetSelected(true);
    EXPECT_EQ(panel.CurrentBullet(), 2);
    EXPECT_EQ(C("bullet_select_index").Text(), "3");
    Type("bullet_x_eidt", "3");
    C("bullet_x_check").SetSelected(true);
    C("bullet_y_check").SetSelected(false);
    Type("bullet_y_eidt", "7");
    Type("bullet_delay_eidt", "60");
    const Json::Value events = Pattern(1)["Events"];
    EXPECT_EQ(events[14]["Button"].asInt(), 3);
    EXPECT_EQ(events[14]["Action"].asString(), "down");
    EXPECT_EQ(events[15]["Button"].asInt(), 7);
    EXPECT_EQ(events[15]["Action"].asString(), "up");
    EXPECT_EQ(events[15]["Delay"].asInt(), 60);
    EXPECT_EQ(events[16]["Action"].asString(), "down");
    EXPECT_EQ(Pattern(0), LoadJson(GetDefaultDataFolder() + "ShootData_0.Shoot"));  // the other patterns untouched
    // A direction alone is kept as well.
    C("bullet_y_check").SetSelected(true);
    EXPECT_EQ(C("bullet_y_check").Text(), "<mouse_move_to_up_text>");
    EXPECT_EQ(Pattern(1)["Events"][15]["Action"].asString(), "down");
    EXPECT_EQ(C("shoot_chart_1").Get()->ItemData(2), "0");  // an upward bullet pulls nothing down
    // Back and forth: the view is read from the file again.
    C("bullet_op_3").SetSelected(true);
    C("bullet_op_2").SetSelected(true);
    EXPECT_EQ(C("bullet_x_eidt").Text(), "3");
    EXPECT_EQ(C("bullet_delay_eidt").Text(), "60");
    EXPECT_TRUE(C("bullet_y_check").Selected());
}

TEST_F(ShootPanel, PreviousAndNextStopAtTheEnds) {
    host.Click(host.Find("bullet_selected_prev"));
    EXPECT_EQ(panel.CurrentBullet(), 0);
    C("bullet_op_29").SetSelected(true);
    EXPECT_EQ(C("bullet_select_index").Text(), "30");
    host.Click(host.Find("bullet_selected_next"));
    EXPECT_EQ(panel.CurrentBullet(), 29);
    EXPECT_TRUE(C("bullet_op_29").Selected());
    host.Click(host.Find("bullet_selected_prev"));
    EXPECT_EQ(C("bullet_select_index").Text(), "29");
    EXPECT_TRUE(C("bullet_op_28").Selected());
    EXPECT_FALSE(C("bullet_op_29").Selected());
}

TEST_F(ShootPanel, ResetImportExportAndWriteGoThroughTheirButtons) {
    Type("bullet_x_eidt", "44");
    host.Click(host.Find("shootdate_reset_btn"));
    EXPECT_EQ(C("bullet_x_eidt").Text(), "1");
    EXPECT_EQ(Pattern(0), LoadJson(GetDefaultDataFolder() + "ShootData_0.Shoot"));
    // Export, change, import back.
    Type("bullet_delay_eidt", "123");
    saveAnswer = temp.File("mine.shoot");
    host.Click(host.Find("shootdate_export_btn"));
    EXPECT_EQ(LoadJson(saveAnswer), Pattern(0));
    Type("bullet_delay_eidt", "5");
    openAnswer = saveAnswer;
    host.Click(host.Find("shootdate_import_btn"));
    EXPECT_EQ(C("bullet_delay_eidt").Text(), "123");
    EXPECT_EQ(filters, (std::vector<std::string>{"Shoot Files(*.shoot)", "Shoot Files(*.shoot)"}));
    // A file that is no pattern is refused with a message and changes nothing.
    temp.Write("bad.shoot", "{\"Events\": {\"0\": 1}}");
    openAnswer = temp.File("bad.shoot");
    const Json::Value before = Pattern(0);
    host.Click(host.Find("shootdate_import_btn"));
    EXPECT_EQ(notices, std::vector<std::string>{"recoil_import_refused"});
    EXPECT_EQ(Pattern(0), before);
    // Cancelled choosers do nothing.
    openAnswer.clear();
    saveAnswer.clear();
    host.Click(host.Find("shootdate_import_btn"));
    host.Click(host.Find("shootdate_export_btn"));
    EXPECT_EQ(notices.size(), 1u);
    // A file past the size limit is told as too large, not as damaged.
    temp.Write("big.shoot", std::string(kMaxRecoilImportBytes + 1, ' '));
    openAnswer = temp.File("big.shoot");
    host.Click(host.Find("shootdate_import_btn"));
    EXPECT_EQ(notices.back(), "recoil_import_too_large");
    EXPECT_EQ(Pattern(0), before);
    // An export into a folder that does not exist is a file that could not
    // be saved: told once, by the file alert with its reason.
    notices.clear();
    TakeFileAlert();
    saveAnswer = temp.File("no/such/folder/x.shoot");
    host.Click(host.Find("shootdate_export_btn"));
    EXPECT_TRUE(notices.empty());
    const std::optional<FileAlert> alert = TakeFileAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->error, ENOENT);
    // A pattern file that is no pattern: nothing to export, said by the panel.
    temp.Write("mouse/ShootData_0.Shoot", "[]");
    saveAnswer = temp.File("x.shoot");
    host.Click(host.Find("shootdate_export_btn"));
    EXPECT_EQ(notices, std::vector<std::string>{"recoil_export_failed"});
    EXPECT_EQ(writes, 0);
    host.Click(host.Find("shootdate_save_btn"));
    EXPECT_EQ(writes, 1);
}

}  // namespace
}  // namespace m470
