#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <optional>

#include "macros/MouseEventTable.h"
#include "panels/MacroControlUI.h"
#include "macros/MacroLibrary.h"
#include "platform/FileAlerts.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/TempFolder.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

class FakeEditorHost : public MacroEditorHost {
public:
    bool Ask(const std::string& key) override {
        asked.push_back(key);
        const bool answer = answers.empty() ? true : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    void Notice(const std::string& key) override { notices.push_back(key); }
    std::string ChooseOpenFile(const std::string& filter) override { filters.push_back(filter); return openPath; }
    std::string ChooseSaveFile(const std::string& filter) override { filters.push_back(filter); return savePath; }
    void SetHook(int mode, bool on) override { hooks.push_back((on ? "+" : "-") + std::to_string(mode)); }
    ScreenRect StopButtonArea() override { return stop; }
    void OpenRowMenu() override { ++menus; }
    void MacrosChanged(const std::vector<std::string>& list) override { names = list; }
    std::vector<KeyAssignmentPair> CurrentKeys() override { return keys; }
    void StoreRenumberedKeys(const std::vector<KeyAssignmentPair>& renumbered) override { keys = renumbered; ++writes; }
    std::vector<std::string> OtherProfiles() override { return others; }
    int DeviceIndex() override { return 0; }

    std::deque<bool> answers;
    std::vector<std::string> asked, notices, filters, hooks, names, others;
    std::string openPath, savePath;
    ScreenRect stop{100, 100, 50, 20};
    std::vector<KeyAssignmentPair> keys;
    int menus = 0, writes = 0;
};

class MacroEditor : public ::testing::Test {
public:
    void SetUp() override {
        root = host.LoadLayout(GetInstallFolder() + "skin/macrocontrol.ui");
        ASSERT_NE(root, nullptr);
        editor.emplace(host, root, [](std::string_view key) { return std::string(key); });
        editor->SetEditorHost(&fake);
        editor->SetMacroFolder(temp.Path());
        host.SetNotifyCallback([this](const ui::Notification& n) { editor->HandleNotification(n); });
    }
    ui::Ctl Find(const std::string& name) { return host.FindUnder(root, name); }
    ui::Ctl RowDelay(int row) { return Find("macro_action_list").ItemEdit(row, "macro_delay"); }
    void Click(const std::string& name) { host.Click(Find(name).Get()); }
    Json::Value File(int macro) { return LoadJson(editor->Library().MacroPath(macro)); }
    std::vector<MacroEvent> Saved(int macro) { return editor->Library().LoadEvents(macro); }

    test::TempFolder temp;
    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
    std::optional<CMacroControlUI> editor;
    FakeEditorHost fake;
};

TEST_F(MacroEditor, AddAsksFirstThenShowsTheNewEmptyMacro) {
    fake.answers = {false};
    Click("macro_btn_name_add");
    EXPECT_EQ(editor->Library().Count(), 0u);
    Click("macro_btn_name_add");
    EXPECT_EQ(fake.asked, (std::vector<std::string>{"message_text_28", "message_text_28"}));
    EXPECT_EQ(Find("macro_name_list").ItemCount(), 1);
    EXPECT_EQ(Find("macro_name_list").SelectedItem(), 0);
    EXPECT_EQ(Find("macro_edit_macroname").Text(), "macro_1");
    EXPECT_TRUE(Find("macro_action_layout").Enabled());
    EXPECT_EQ(fake.names, std::vector<std::string>{"macro_1"});
}

TEST_F(MacroEditor, NoMacroChosenShowsASpaceAndNoRows) {
    editor->LoadMacroNames();
    EXPECT_EQ(Find("macro_edit_macroname").Text(), " ");
    EXPECT_EQ(Find("macro_action_list").ItemCount(), 0);
    EXPECT_FALSE(Find("macro_btn_export").Enabled());
    Click("macro_btn_save");  // saves nothing: there is no macro to save to
    EXPECT_FALSE(std::filesystem::exists(temp.File(".mac")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), {}), 0);
}

TEST_F(MacroEditor, ClickFromTheRowMenuInsertsPressAndReleaseAfterTheSelectedRow) {
    Click("macro_btn_name_add");
    editor->InsertMouseEvent(mouse_message::kRightDown, 0);
    editor->InsertMouseEvent(mouse_message::kRightUp, 0);
    editor->SelectRow(0);
    ASSERT_TRUE(editor->MenuItem("left_click"));
    const std::vector<MacroEvent> saved = Saved(0);
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved[1], (MacroEvent{1, 0x01, true, 50}));
    EXPECT_EQ(saved[2], (MacroEvent{1, 0x01, false, 50}));
    EXPECT_EQ(editor->Rows().selected, 2);
    EXPECT_EQ(Find("macro_action_list").ItemText(1), "mouse_key_left   macro_press_text");
    EXPECT_EQ(RowDelay(1).Text(), "50");
    ASSERT_TRUE(editor->MenuItem("back_up"));
    EXPECT_EQ(Saved(0)[3], (MacroEvent{1, 0x08, false, 50}));
    EXPECT_FALSE(editor->MenuItem("no_such_entry"));
    host.SendNotify(Find("macro_action_list").Get(), "menu", 1);  // a right-click on a row
    Click("macro_btn_menu");
    EXPECT_EQ(fake.menus, 2);
}

TEST_F(MacroEditor, MoveInsertionTakesTheDistanceModulo256) {
    Click("macro_btn_name_add");
    Find("mouse_x_left_edit").SetText("300");
    Click("macro_inset_moveleftkey_btn");
    ASSERT_EQ(Saved(0).size(), 1u);
    EXPECT_EQ(Saved(0)[0], (MacroEvent{4, 44, true, 50}));
    EXPECT_EQ(File(0)["Events"][0]["Action"].asString(), "down");
    EXPECT_EQ(Find("macro_action_list").ItemText(0), "mouse_move_to_left_text   44");
    EXPECT_EQ(editor->Rows().selected, -1);  // an insertion into an empty list selects nothing
    Find("mouse_y_down_edit").SetText("7");
    Click("macro_inset_movedownkey_btn");
    EXPECT_EQ(Saved(0)[1], (MacroEvent{5, 7, false, 50}));
}

TEST_F(MacroEditor, RowMovesAtTheEndsChangeNothingAndDelaysSaturate) {
    Click("macro_btn_name_add");
    ASSERT_TRUE(editor->Library().SaveEvents(0, {MacroEvent{10, 4, true, 1}, MacroEvent{10, 5, true, 2}, MacroEvent{10, 6, true, 3}}));
    Json::Value file = File(0);
    file["Events"][2]["Delay"] = "70000";
    ASSERT_TRUE(SaveJson(editor->Library().MacroPath(0), file));
    Click("macro_btn_cancel");  // reloads the rows from the file
    EXPECT_EQ(Find("macro_action_list").ItemText(2), "keyboard_key_C   macro_press_text");
    EXPECT_EQ(RowDelay(2).Text(), "65535");
    EXPECT_EQ(RowDelay(2).Get()->ToolTipText(), "macro_delay_tip");
    editor->SelectRow(0);
    Click("macro_btn_up");
    editor->SelectRow(2);
    Click("macro_btn_down");
    EXPECT_EQ(Saved(0)[0].button, 4);
    EXPECT_EQ(Saved(0)[2], (MacroEvent{10, 6, true, 65535}));
    Click("macro_btn_uptop");
    EXPECT_EQ(Saved(0)[0].button, 6);
    EXPECT_EQ(editor->Rows().selected, 0);
    Click("macro_btn_downbottom");
    EXPECT_EQ(Saved(0)[2].button, 6);
    // Each row's own delay field, stored when it loses the focus: beyond the
    // largest it is the largest, no number keeps the row's delay; both told.
    RowDelay(0).SetText("99999");
    host.SendNotify(RowDelay(0).Get(), "killfocus");
    EXPECT_EQ(Saved(0)[0].delay, 65535);
    EXPECT_EQ(RowDelay(0).Text(), "65535");
    EXPECT_EQ(fake.notices, std::vector<std::string>{"macro_delay_range_text"});
    RowDelay(1).SetText("");
    host.SendNotify(RowDelay(1).Get(), "killfocus");
    EXPECT_EQ(Saved(0)[1].delay, 2);
    EXPECT_EQ(RowDelay(1).Text(), "2");
    EXPECT_EQ(fake.notices.size(), 2u);
    // A delay typed and not yet left is kept when a row goes.
    RowDelay(0).SetText("12");
    Find("macro_action_list").SelectItem(1);
    EXPECT_EQ(RowDelay(0).Text(), "12");
    Click("macro_btn_delete");
    ASSERT_EQ(Saved(0).size(), 2u);
    EXPECT_EQ(Saved(0)[0], (MacroEvent{10, 4, true, 12}));
    EXPECT_EQ(fake.notices.size(), 2u);
    Click("macro_btn_deleteall");
    EXPECT_TRUE(Saved(0).empty());
}

TEST_F(MacroEditor, RecordingFromStartToStopSavesTheRowsAndLeavesTheStopClickOut) {
    uint64_t now = 0;
    Click("macro_btn_name_add");
    editor->Recorder() = MacroRecorder([&now] { return now; });
    Click("macro_btn_starredio");
    EXPECT_EQ(fake.hooks, std::vector<std::string>{"+4"});
    EXPECT_FALSE(Find("macro_btn_starredio").Visible());
    EXPECT_TRUE(Find("macro_btn_stopredio").Visible());
    EXPECT_FALSE(Find("macro_name_tab").Enabled());
    now = 100;
    editor->RecordKey(hook_mode::kRecord, {0x1E, false, true});
    now = 250;
    editor->RecordKey(hook_mode::kRecord, {0x1E, false, false});
    editor->RecordButton(hook_mode::kRecord, {mouse_message::kLeftDown, 0, 110, 105});  // on the stop button
    EXPECT_TRUE(Saved(0).empty());  // saved when the recording stops
    Click("macro_btn_stopredio");
    EXPECT_EQ(fake.hooks, (std::vector<std::string>{"+4", "-4"}));
    EXPECT_EQ(Saved(0), (std::vector<MacroEvent>{{10, 4, true, 150}, {10, 4, false, 0}}));
    EXPECT_TRUE(Find("macro_name_tab").Enabled());
    editor->RecordKey(hook_mode::kRecord, {0x30, false, true});  // after the stop: nothing
    EXPECT_EQ(editor->Rows().events.size(), 2u);

    Find("macro_check_time").SetSelected(true, false);
    Find("macro_fixed_time_edit").SetText("80000");
    editor->SelectRow(0);
    ASSERT_TRUE(editor->MenuItem("redio_later_record_time"));
    EXPECT_EQ(Find("macro_fixed_time_edit").Text(), "65535");  // the constant, cut to its range
    editor->RecordKey(hook_mode::kInsertAfter, {0x30, false, true});
    Click("macro_btn_stopredio");
    ASSERT_EQ(Saved(0).size(), 3u);
    EXPECT_EQ(Saved(0)[1], (MacroEvent{10, 5, true, 65535}));
    EXPECT_EQ(fake.hooks.back(), "-16");
}

TEST_F(MacroEditor, RecordingNeedsAChosenMacro) {
    Click("macro_btn_starredio");
    EXPECT_TRUE(fake.hooks.empty());
    EXPECT_FALSE(editor->Recording());
}

TEST_F(MacroEditor, DeleteAsksThenRenumbersAndCancelKeepsEverything) {
    Click("macro_btn_name_add");
    Click("macro_btn_name_add");
    fake.keys = {{{0, 0x70, 0, 1, 0}, {0, 0x10, 0x01, 0, 0}}, {{1, 0x71, 1, 2, 0}, {1, 0x10, 0x02, 0, 0}}};
    editor->SelectMacro(0);
    fake.asked.clear();
    fake.answers = {true, false};  // delete: yes; the keys use it: cancel
    Click("macro_btn_name_sub");
    EXPECT_EQ(fake.asked, (std::vector<std::string>{"message_text_4", "message_text_2"}));
    EXPECT_EQ(editor->Library().Count(), 2u);
    EXPECT_EQ(fake.writes, 0);
    fake.answers = {true, true};
    Click("macro_btn_name_sub");
    EXPECT_EQ(editor->Library().Count(), 1u);
    EXPECT_EQ(fake.writes, 1);
    EXPECT_EQ(fake.keys[0].current, (KeyAssignment{0, 0x10, 0x01, 0, 0}));
    EXPECT_EQ(fake.keys[1].current, (KeyAssignment{1, 0x71, 0, 2, 0}));
    EXPECT_EQ(fake.names, std::vector<std::string>{"macro_2"});
    EXPECT_EQ(Find("macro_edit_macroname").Text(), "macro_2");
    fake.answers = {true};
    Click("macro_btn_name_sub");  // the last one: nothing is left selected or editable
    EXPECT_EQ(editor->SelectedMacro(), -1);
    EXPECT_FALSE(Find("macro_action_layout").Enabled());
    EXPECT_EQ(Find("macro_edit_macroname").Text(), " ");
}

TEST_F(MacroEditor, RenameImportAndExportThroughTheButtons) {
    Click("macro_btn_name_add");
    Click("macro_btn_name_add");
    Find("macro_edit_macroname").SetText("MACRO_1");
    Click("macro_btn_name_edit");
    EXPECT_EQ(fake.notices, std::vector<std::string>{"macro_name_taken_text"});
    Find("macro_edit_macroname").SetText("Jump");
    Click("macro_btn_name_edit");
    EXPECT_EQ(Find("macro_name_list").ItemText(1), "Jump");
    EXPECT_EQ(fake.names, (std::vector<std::string>{"macro_1", "Jump"}));
    editor->InsertMouseEvent(mouse_message::kLeftDown, 0);
    editor->SaveMacroEvents();
    fake.savePath = temp.File("out/jump.mac");
    std::filesystem::create_directories(temp.File("out"));
    Click("macro_btn_export");
    EXPECT_EQ(temp.Read("out/jump.mac"), test::TempFolder::ReadFile(editor->Library().MacroPath(1)));
    fake.openPath = temp.File("out/jump.mac");
    Click("macro_btn_import");
    EXPECT_EQ(fake.filters, (std::vector<std::string>{"Macro Files (*.mac *.MAC)", "Macro Files (*.mac *.MAC)"}));
    ASSERT_EQ(editor->Library().Count(), 3u);
    EXPECT_EQ(Find("macro_edit_macroname").Text(), "jump_1");  // "Jump" is taken whatever its case
    EXPECT_EQ(editor->Rows().events.size(), 1u);
    fake.openPath.clear();
    Click("macro_btn_import");  // cancelled
    EXPECT_EQ(editor->Library().Count(), 3u);
}

// Every refusal says why; a failed export is a file that could not be saved,
// told once by the file alert with its reason, never a device failure.
TEST_F(MacroEditor, RefusedImportsAndFailedExportsSayWhy) {
    TakeFileAlert();
    temp.Write("out/big.mac", std::string(kMaxMacroFileBytes + 1, ' '));
    fake.openPath = temp.File("out/big.mac");
    Click("macro_btn_import");
    fake.openPath = temp.File("out");  // a folder
    Click("macro_btn_import");
    EXPECT_EQ(fake.notices, (std::vector<std::string>{"macro_import_too_large_text", "macro_import_unreadable_text"}));
    EXPECT_EQ(editor->Library().Count(), 0u);

    fake.notices.clear();
    Click("macro_btn_name_add");
    editor->SaveMacroEvents();
    temp.Write("out/file", "x");
    fake.savePath = temp.File("out/file/jump.mac");  // its folder is a file
    Click("macro_btn_export");
    EXPECT_TRUE(fake.notices.empty());
    const std::optional<FileAlert> alert = TakeFileAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->path, temp.File("out/file/jump.mac"));
    EXPECT_EQ(alert->error, ENOTDIR);

    for (int i = 1; i < 50; ++i) Click("macro_btn_name_add");
    fake.openPath = temp.File("out/file");
    Click("macro_btn_import");
    EXPECT_EQ(fake.notices, std::vector<std::string>{"macro_library_full_text"});
}

}  // namespace
}  // namespace m470
