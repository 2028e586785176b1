#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "panels/KeySetControlUI.h"
#include "platform/Folders.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

constexpr KeyAssignment Fn(uint8_t type, uint8_t param1, uint8_t param2 = 0, uint16_t code = 3) {
    return {code, type, param1, param2, 0};
}

class FakeDevice : public KeySetTarget {
public:
    int FunctionPage() const override { return page; }
    bool ProfileReadable() const override { return readable; }
    std::vector<KeyAssignmentPair> KeyAssignments() const override { return keys; }
    std::optional<KeyAssignmentPair> SelectKey(int index) override {
        calls.push_back("select " + std::to_string(index));
        if (index < 0 || static_cast<size_t>(index) >= keys.size()) return std::nullopt;
        selected = index;
        return keys[static_cast<size_t>(index)];
    }
    void StoreSelectedAssignment(const KeyAssignment& current, const KeyAssignment& defaults) override {
        keys[static_cast<size_t>(selected)] = {current, defaults};
        calls.push_back("store");
    }
    void RefreshKeyCaptions() override { calls.push_back("captions"); }
    std::vector<int> CollectUsedMacros() override { return {0}; }
    int WriteMacros(const std::vector<int>&) override { calls.push_back("macros"); return macroResult; }
    int WriteKeyAssignmentsWithMacros(int page) override {
        calls.push_back("keys " + std::to_string(page));
        return keyResult;
    }
    bool SaveProfile() override { calls.push_back("save"); return true; }
    void RefreshKeyMarks() override { calls.push_back("marks"); }

    int page = 2;
    bool readable = true;
    int selected = 0;
    int macroResult = 0, keyResult = 1;
    std::vector<KeyAssignmentPair> keys;
    std::vector<std::string> calls;
};

class KeySetPanel : public ::testing::Test {
public:
    void SetUp() override {
        root = host.LoadLayout(GetInstallFolder() + "skin/keysetcontrol.ui");
        ASSERT_NE(root, nullptr);
        selector = host.CreateControl("QWidget", "device_select_layout", nullptr);
        panel.emplace(host, root, [](std::string_view key) { return "<" + std::string(key) + ">"; });
        panel->BindControls();
        panel->SetMode(2);
        panel->SetTarget(&device);
        panel->SetWindow({[this](const std::string& key) { notices.push_back(key); },
                          [this](const std::string& text) { notices.push_back(text); },
                          [this](bool on) { capture.push_back(on); }});
        for (uint16_t i = 0; i < 6; ++i) device.keys.push_back({Fn(0x10, 0x01, 0, i), Fn(0x10, 0x01, 0, i)});
        device.keys[1] = {Fn(0x10, 0x02, 0, 1), Fn(0x10, 0x02, 0, 1)};
        panel->FillMacroList({"first", "second"});
    }
    ui::Ctl Find(const std::string& name) { return host.FindUnder(root, name); }
    void Choose(FunctionKind kind) { Find("keyset_function_combo").SelectItem(panel->ItemOfKind(static_cast<int>(kind)), false); }
    int ShownKind() { return Find("keyset_layout").Visible() ? panel->KindOfItem(Find("keyset_function_combo").SelectedItem()) : -1; }
    KeyAssignment Built() { return panel->GetAssignment().first; }

    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
    ui::Control* selector = nullptr;
    std::optional<CKeySetControlUI> panel;
    FakeDevice device;
    std::vector<std::string> notices;
    std::vector<bool> capture;
};

TEST_F(KeySetPanel, TheLayoutHoldsEveryControlThePanelNames) {
    for (const char* name :
         {"keyset_layout", "keyset_function_combo", "function_switch_tablayout", "key_butt_keydefalut", "key_butt_keysave",
          "key_butt_keycancel", "key_butt_prosave", "keyset_mousekey_combo", "keyset_mouseswing_combo",
          "keyset_mouseswing_num_edit", "keyset_mouseswing_delay_edit", "keyset_mouseswing_speed_edit",
          "keyset_mousewheel_combo", "keyset_mousewheel_num_edit", "keyset_mousewheel_delay_edit",
          "keyset_mousewheel_speed_edit", "keyset_mousedpi_combo", "keyset_mousefire_interval_edit",
          "keyset_mousefire_num_edit", "keyset_keyboard_text_edit", "keyset_media_combo", "keyset_system_combo",
          "keyset_macro_combo", "keyset_macro_over_combo", "keyset_macro_cycle_layout", "keyset_macro_cycle_edit",
          "keyset_gunkey_combo", "keyset_combokey_combo", "key_ComBox_check_0", "key_ComBox_check_4"})
        EXPECT_TRUE(Find(name)) << name;
    EXPECT_EQ(Find("function_switch_tablayout").Get()->Children().size(), 12u);
    for (int kind = 0; kind < kFunctionKinds; ++kind) EXPECT_GE(panel->ItemOfKind(kind), 0) << kind;
    EXPECT_EQ(Find("keyset_media_combo").ItemCount(), 18);
    EXPECT_EQ(Find("keyset_macro_over_combo").ItemCount(), 5);
}

TEST_F(KeySetPanel, ScrollCountsAndDirections) {
    panel->SetAssignment(Fn(0x10, 0x01), Fn(0x10, 0x01));
    Choose(FunctionKind::VerticalScroll);
    Find("keyset_mousewheel_combo").SelectItem(1, false);
    Find("keyset_mousewheel_num_edit").SetText("5");
    EXPECT_EQ(Built(), Fn(0x12, 0x00, 0xFB));
    Find("keyset_mousewheel_num_edit").SetText("");
    panel->ShowAssignment(Fn(0x12, 0x21, 0xFB));
    EXPECT_EQ(ShownKind(), 3);
    EXPECT_EQ(Find("keyset_mousewheel_num_edit").Text(), "5");
    EXPECT_EQ(Find("keyset_mousewheel_delay_edit").Text(), "2");
    EXPECT_EQ(Find("keyset_mousewheel_speed_edit").Text(), "1");
    EXPECT_EQ(Find("keyset_mousewheel_combo").SelectedItem(), 1);
    Find("keyset_mousewheel_num_edit").SetText("0");
    EXPECT_EQ(Built().param2, 0x80);
    panel->ShowAssignment(Fn(0x12, 0, 0x80));
    EXPECT_EQ(Find("keyset_mousewheel_num_edit").Text(), "128");
    Find("keyset_mousewheel_combo").SelectItem(0, false);
    Find("keyset_mousewheel_num_edit").SetText("not a number");
    EXPECT_EQ(Built(), Fn(0x12, 0x00, 0x00));

    Choose(FunctionKind::HorizontalScroll);
    Find("keyset_mouseswing_combo").SelectItem(1, false);
    Find("keyset_mouseswing_delay_edit").SetText("3");
    Find("keyset_mouseswing_speed_edit").SetText("20");
    Find("keyset_mouseswing_num_edit").SetText("200");
    EXPECT_EQ(Built(), Fn(0x11, 0x34, 0xC8));
    panel->ShowAssignment(Fn(0x11, 0x34, 0xC8));
    EXPECT_EQ(ShownKind(), 2);
    EXPECT_EQ(Find("keyset_mouseswing_num_edit").Text(), "72");
    EXPECT_EQ(Find("keyset_mouseswing_combo").SelectedItem(), 1);
}

TEST_F(KeySetPanel, CapturedKeysBecomeKeyboardFunctions) {
    device.selected = 3;
    panel->SetAssignment(device.keys[3].current, device.keys[3].defaults);
    Choose(FunctionKind::KeyboardKey);
    panel->FunctionChanged();
    EXPECT_EQ(panel->GetOption(), -1);
    panel->CaptureKey({0x36, true, true});  // Right Shift
    EXPECT_EQ(panel->GetOption(), 2);
    EXPECT_EQ(device.keys[3].current, Fn(0x20, 0x02, 0x00));  // stored as the left-hand bit
    EXPECT_EQ(Find("keyset_keyboard_text_edit").Text(), "");
    panel->SetOption(1);
    panel->CaptureKey({0x1E, false, true});  // A with Ctrl
    EXPECT_EQ(device.keys[3].current, Fn(0x20, 0x01, 0x04));
    EXPECT_EQ(Find("keyset_keyboard_text_edit").Text(), "<keyboard_key_A>");
    EXPECT_EQ(PackAssignment(device.keys[3].current), 0x200104u);
    EXPECT_FALSE(panel->Clean());
    const size_t calls = device.calls.size();
    panel->CaptureKey({0x1E, false, false});  // a release assigns nothing
    panel->CaptureKey({0x6F, false, true});   // nor does a key no table knows
    EXPECT_EQ(device.calls.size(), calls);
    // The key field's focus turns the capture on and off.
    host.SendNotify(Find("keyset_keyboard_text_edit").Get(), "setfocus");
    host.SendNotify(Find("keyset_keyboard_text_edit").Get(), "killfocus");
    for (const ui::Notification& n : host.Recorded()) panel->HandleNotification(n);
    EXPECT_EQ(capture, (std::vector<bool>{true, false}));
}

TEST_F(KeySetPanel, DefaultShortcutAndMacroRecordsShowTheirKinds) {
    panel->SetAssignment(Fn(0x14, 0x50, 0x02), Fn(0x14, 0x50, 0x02));
    EXPECT_EQ(ShownKind(), 0);  // equal to its default, whatever its type
    EXPECT_EQ(Find("function_switch_tablayout").Page(), 0);

    panel->ShowAssignment(Fn(0x20, 0x10, 0x12));
    EXPECT_EQ(ShownKind(), 11);
    EXPECT_EQ(Find("keyset_combokey_combo").SelectedItem(), 0);  // "custem_open"
    Find("keyset_combokey_combo").SelectItem(4, false);
    panel->ShowAssignment(Fn(0x20, 0x10, 0x05));
    EXPECT_EQ(ShownKind(), 11);
    EXPECT_EQ(Find("keyset_combokey_combo").SelectedItem(), 4);  // no row: the previous selection stays

    panel->ShowAssignment(Fn(0x71, 1, 7));
    EXPECT_EQ(ShownKind(), 9);
    EXPECT_EQ(Find("keyset_macro_combo").SelectedItem(), 1);
    EXPECT_TRUE(Find("keyset_macro_cycle_layout").Visible());
    EXPECT_EQ(Find("keyset_macro_cycle_edit").Text(), "7");
    panel->ShowAssignment(Fn(0x71, 5, 7));  // past the list
    EXPECT_EQ(Find("keyset_macro_combo").SelectedItem(), -1);
    EXPECT_FALSE(Find("keyset_macro_cycle_layout").Visible());
    panel->ShowAssignment(Fn(0x70, 2, 1));  // one past the end is no macro either
    EXPECT_EQ(Find("keyset_macro_combo").SelectedItem(), -1);
    EXPECT_EQ(Find("keyset_macro_over_combo").SelectedItem(), -1);
    panel->ShowAssignment(Fn(0x70, 1, 9));  // an end mode the combo lacks
    EXPECT_EQ(Find("keyset_macro_combo").SelectedItem(), -1);
    panel->ShowAssignment(Fn(0x70, 1, 3));
    EXPECT_EQ(Find("keyset_macro_combo").SelectedItem(), 1);
    EXPECT_EQ(Find("keyset_macro_over_combo").SelectedItem(), 3);
    EXPECT_EQ(Built(), Fn(0x70, 1, 3));
    Find("keyset_macro_over_combo").SelectItem(4, false);
    Find("keyset_macro_cycle_edit").SetText("300");
    EXPECT_EQ(Built(), Fn(0x71, 1, 44));  // the low 8 bits of the count

    panel->ShowAssignment(Fn(0xA0, 0x35));
    EXPECT_FALSE(Find("keyset_layout").Visible());  // no kind shows a special function
}

TEST_F(KeySetPanel, ARowOutsideItsTableKeepsTheRecord) {
    panel->SetAssignment(Fn(0x10, 0x04), Fn(0x10, 0x01));
    struct Case {
        FunctionKind kind;
        const char* combo;
    };
    for (const Case& c : {Case{FunctionKind::MouseButton, "keyset_mousekey_combo"}, Case{FunctionKind::Dpi, "keyset_mousedpi_combo"},
                          Case{FunctionKind::Media, "keyset_media_combo"}, Case{FunctionKind::System, "keyset_system_combo"},
                          Case{FunctionKind::Shortcut, "keyset_combokey_combo"}, Case{FunctionKind::Recoil, "keyset_gunkey_combo"},
                          Case{FunctionKind::Macro, "keyset_macro_combo"}}) {
        Choose(c.kind);
        Find(c.combo).SelectItem(-1, false);
        EXPECT_EQ(Built(), Fn(0x10, 0x04)) << c.combo;
        Find(c.combo).AddItem("extra");  // more items than the table
        Find(c.combo).SelectItem(Find(c.combo).ItemCount() - 1, false);
        const KeyAssignment built = Built();
        if (c.kind == FunctionKind::Macro) continue;  // the macro list may grow: a valid pick
        EXPECT_EQ(built, Fn(0x10, 0x04)) << c.combo;
    }
    Choose(FunctionKind::System);
    Find("keyset_system_combo").SelectItem(1, false);
    EXPECT_EQ(Built(), Fn(0x40, 0x02));
}

TEST_F(KeySetPanel, AKeyboardNeverOffersDpiOrRecoil) {
    ui::Ctl functions = Find("keyset_function_combo");
    panel->SetMode(1);
    EXPECT_FALSE(functions.Get()->ItemVisible(panel->ItemOfKind(4)));
    EXPECT_FALSE(functions.Get()->ItemVisible(panel->ItemOfKind(10)));
    EXPECT_TRUE(functions.Get()->ItemVisible(panel->ItemOfKind(9)));
    panel->SetMode(2);
    EXPECT_TRUE(functions.Get()->ItemVisible(panel->ItemOfKind(4)));
}

TEST_F(KeySetPanel, TheLastLeftButtonCannotBeChosen) {
    panel->KeyClicked(0);
    EXPECT_EQ(notices, std::vector<std::string>{});  // keys 0, 2-5 are all left buttons
    for (size_t i = 2; i < device.keys.size(); ++i) device.keys[i] = {Fn(0x13, 1), Fn(0x13, 1)};
    device.calls.clear();
    panel->KeyClicked(0);
    EXPECT_EQ(notices, std::vector<std::string>{"message_text_6"});
    EXPECT_TRUE(device.calls.empty());
    panel->KeyClicked(1);
    EXPECT_EQ(device.calls, std::vector<std::string>{"select 1"});
    EXPECT_TRUE(Find("keyset_layout").Visible());
    device.page = 1;
    panel->KeyClicked(2);  // lighting page: not for keys
    device.page = 2;
    device.readable = false;
    panel->KeyClicked(2);
    EXPECT_EQ(device.calls, std::vector<std::string>{"select 1"});
}

TEST_F(KeySetPanel, WritingStopsOnATooLongMacroImageAndStaysPending) {
    device.selected = 1;
    panel->SetAssignment(device.keys[1].current, device.keys[1].defaults);
    Choose(FunctionKind::Macro);
    Find("keyset_macro_combo").SelectItem(0, false);
    Find("keyset_macro_over_combo").SelectItem(0, false);
    panel->ApplyAssignment();
    EXPECT_TRUE(Find("key_butt_prosave").Enabled());
    device.macroResult = 12;
    panel->SetWindow({[this](const std::string& key) { notices.push_back(key); },
                      [this](const std::string& text) { notices.push_back(text); }, nullptr});
    device.calls.clear();
    panel->SaveToDevice();
    // The text is no format string: only its first "%d" is the count.
    EXPECT_EQ(notices, std::vector<std::string>{"<message_text_16>"});
    EXPECT_EQ(device.calls, std::vector<std::string>{"macros"});
    EXPECT_FALSE(panel->Clean());

    CKeySetControlUI formatted(host, root, [](std::string_view) { return std::string("%d over, %d %s"); });
    formatted.SetTarget(&device);
    formatted.SetWindow({nullptr, [this](const std::string& text) { notices.push_back(text); }, nullptr});
    formatted.SaveToDevice();
    EXPECT_EQ(notices.back(), "12 over, %d %s");

    device.macroResult = -1;
    device.calls.clear();
    panel->SaveToDevice();
    EXPECT_EQ(notices.back(), "message_text_7");
    EXPECT_EQ(device.calls, (std::vector<std::string>{"macros", "save"}));  // no key table pointing at missing macros
    EXPECT_FALSE(panel->Clean());

    device.macroResult = 0;
    device.calls.clear();
    panel->SaveToDevice();
    EXPECT_EQ(device.calls, (std::vector<std::string>{"macros", "keys 0", "save", "marks"}));
    EXPECT_TRUE(panel->Clean());
    EXPECT_FALSE(Find("key_butt_prosave").Enabled());
}

TEST_F(KeySetPanel, CancelDefaultAndPendingState) {
    device.selected = 1;
    panel->SetAssignment(Fn(0x13, 0x02, 0, 1), Fn(0x10, 0x02, 0, 1));
    EXPECT_EQ(ShownKind(), 4);
    Choose(FunctionKind::Media);
    Find("keyset_media_combo").SelectItem(1, false);
    panel->ApplyAssignment();
    EXPECT_EQ(device.keys[1].current, Fn(0x30, 0xCD, 0x00, 1));
    panel->SetPending(true, false);
    EXPECT_FALSE(selector->Enabled());
    panel->CancelEdit();  // shows the current record again, applies nothing back
    EXPECT_EQ(ShownKind(), 7);
    EXPECT_TRUE(panel->Clean());
    EXPECT_FALSE(Find("key_butt_keysave").Enabled());
    panel->SetPending(true, true);
    EXPECT_TRUE(selector->Enabled());
    device.calls.clear();
    panel->RestoreDefault();
    EXPECT_EQ(ShownKind(), 0);
    EXPECT_TRUE(device.calls.empty());  // a mouse applies the default on save
    EXPECT_EQ(Built(), Fn(0x10, 0x02, 0, 1));
    panel->SetMode(1);
    panel->RestoreDefault();  // a keyboard writes it at once
    EXPECT_EQ(device.calls, (std::vector<std::string>{"store", "captions", "macros", "keys 0", "save", "marks"}));
    EXPECT_FALSE(panel->Clean());
}

TEST_F(KeySetPanel, RoutesFromTheControls) {
    device.selected = 1;
    panel->SetAssignment(device.keys[1].current, device.keys[1].defaults);
    host.SetNotifyCallback([this](const ui::Notification& n) { panel->HandleNotification(n); });
    Find("keyset_function_combo").SelectItem(panel->ItemOfKind(static_cast<int>(FunctionKind::Dpi)));
    EXPECT_EQ(Find("function_switch_tablayout").Page(), 4);
    Find("keyset_mousedpi_combo").SelectItem(2);
    EXPECT_EQ(device.keys[1].current, Fn(0x13, 0x03, 0, 1));
    host.Click(Find("key_butt_keycancel").Get());
    EXPECT_TRUE(panel->Clean());
    Find("keyset_function_combo").SelectItem(panel->ItemOfKind(static_cast<int>(FunctionKind::KeyboardKey)));
    Find("key_ComBox_check_3").SetSelected(true);
    EXPECT_EQ(device.keys[1].current, Fn(0x20, 0x04, 0, 1));  // Alt alone
    Find("keyset_function_combo").SelectItem(panel->ItemOfKind(static_cast<int>(FunctionKind::Macro)));
    Find("keyset_macro_combo").SelectItem(1);
    Find("keyset_macro_over_combo").SelectItem(4);
    EXPECT_TRUE(Find("keyset_macro_cycle_layout").Visible());
    EXPECT_EQ(device.keys[1].current, Fn(0x71, 1, 1, 1));
    device.calls.clear();
    host.Click(Find("key_butt_prosave").Get());
    EXPECT_EQ(device.calls, (std::vector<std::string>{"macros", "keys 0", "save", "marks"}));
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

TEST(KeySetPanelTexts, ALanguageSwitchRenamesTheItemsAndKeepsTheChoices) {
    ui::MemoryControlHost host;
    ui::MemoryControl* root = host.LoadLayout(GetInstallFolder() + "skin/keysetcontrol.ui");
    ASSERT_NE(root, nullptr);
    CKeySetControlUI panel(host, root, nullptr);
    panel.BindControls();
    panel.SetMode(1);
    ui::Ctl media = host.FindUnder(root, "keyset_media_combo"), functions = host.FindUnder(root, "keyset_function_combo");
    media.SelectItem(3, false);
    functions.SelectItem(7, false);
    media.Get()->SetItemText(3, "stale");
    panel.RefreshTexts();
    EXPECT_EQ(media.ItemCount(), 18);
    EXPECT_EQ(media.SelectedItem(), 3);
    EXPECT_EQ(media.ItemText(3), "media_prev");
    EXPECT_EQ(functions.SelectedItem(), 7);
    EXPECT_EQ(functions.ItemCount(), kFunctionKinds);
    EXPECT_FALSE(functions.Get()->ItemVisible(panel.ItemOfKind(4)));  // still a keyboard's list
}

}  // namespace
}  // namespace m470
