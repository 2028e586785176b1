#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device_link/CommandCodes.h"
#include "devices/MouseDevice.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "macros/MouseEventTable.h"
#include "pages/KeyMacroPanels.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

// The key and macro panels of a real mouse page, on the virtual mouse.
class MousePanels : public test::VirtualPageTest {
protected:
    void SetUp() override {
        window.ask = [this](const std::string& key) { asked.push_back(key); return true; };
        window.notice = [this](const std::string& key) { told.push_back(key); };
        window.plainNotice = [this](const std::string& text) { plain.push_back(text); };
        window.setHook = [this](int mode, bool on, std::function<ScreenRect()>) {
            hooks.push_back((on ? "+" : "-") + std::to_string(mode));
        };
        mouse = MakeDevice<CVantrelMouseDevice>("mousedevice.ui");
        devicePage->SetWindow(&window);
        rig.hub.Plug("mouse");
        rig.Open(mouse->Transport(), "mouse", LinkWired);
        ASSERT_EQ(mouse->ReadFromDevice(), kResultSuccess);
        mouse->StopLightingThread();
        ASSERT_NE(devicePage->PanelOf<CKeyMacroPanels>(), nullptr);
        rig.hub.Traffic().Clear();
    }
    void TearDown() override { mouse.reset(); }
    CKeyMacroPanels& Panels() { return *devicePage->PanelOf<CKeyMacroPanels>(); }
    int Sent(uint8_t command) {
        int count = 0;
        for (const auto& entry : rig.hub.Traffic().Entries()) count += entry.request[3] == command ? 1 : 0;
        return count;
    }
    void Notify(const std::string& event, const std::string& name, intptr_t wParam = 0) {
        ui::Control* control = host.Find(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(devicePage->Route({event, control, name, wParam, 0})) << event << " " << name;
    }
    // A macro of events events on button 5, chosen in the panel.
    void MacroOnButtonFive(size_t events) {
        CMacroLibrary& library = Panels().Macros().Library();
        ASSERT_FALSE(library.Add().empty());
        ASSERT_TRUE(library.SaveEvents(0, std::vector<MacroEvent>(events, MacroEvent{10, 4, true, 5})));
        Panels().Reload();
        devicePage->ShowOptionTab(2);
        Notify("click", "key_5");
        CKeySetControlUI& keys = Panels().Keys();
        ui::Ctl(host.Find("keyset_function_combo")).SelectItem(keys.ItemOfKind(static_cast<int>(FunctionKind::Macro)), false);
        ui::Ctl(host.Find("keyset_macro_combo")).SelectItem(0, false);
        ui::Ctl(host.Find("keyset_macro_over_combo")).SelectItem(0, false);
        keys.ApplyAssignment();
    }

    PanelWindow window;
    std::vector<std::string> asked, told, plain, hooks;
    std::unique_ptr<CVantrelMouseDevice> mouse;
};

TEST_F(MousePanels, AMacroBeyondTheDeviceMemoryIsToldAndNothingIsSent) {
    MacroOnButtonFive(kMaxMacroEvents);
    EXPECT_EQ(mouse->Assignments()[5].current.type, 0x70);
    Notify("click", "key_butt_prosave");
    EXPECT_EQ(plain, std::vector<std::string>{"message_text_16"});  // the surplus message, as plain text
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(Sent(command::kWriteMacroImage), 0);
    EXPECT_EQ(Sent(command::kWriteKeyTable), 0);
    EXPECT_TRUE(ui::Ctl(host.Find("key_butt_prosave")).Enabled());  // still to be written
}

TEST_F(MousePanels, AMacroThatFitsIsSentBeforeTheKeysThatUseIt) {
    MacroOnButtonFive(3);
    Notify("click", "key_butt_prosave");
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(plain.empty());
    EXPECT_EQ(Sent(command::kWriteMacroImage), 1);
    EXPECT_EQ(Sent(command::kWriteKeyTable), 1);
    EXPECT_EQ(LoadJson(mouse->GetProfilePath())["Device"][0]["KeyList"][5]["Assignment"].asUInt(), 0x700000u);
    EXPECT_FALSE(host.Find("key_5")->DefaultState());  // no longer its factory function
}

TEST_F(MousePanels, DeletingTheUsedMacroGivesTheButtonItsDefaultAndWritesIt) {
    MacroOnButtonFive(3);
    Notify("click", "key_butt_prosave");
    rig.hub.Traffic().Clear();
    devicePage->ShowOptionTab(3);
    Panels().Macros().SelectMacro(0);
    Notify("click", "macro_btn_name_sub");
    EXPECT_EQ(asked, (std::vector<std::string>{"message_text_4", "message_text_2"}));
    EXPECT_EQ(mouse->Assignments()[5].current, mouse->Assignments()[5].defaults);
    EXPECT_EQ(Sent(command::kWriteKeyTable), 1);
    EXPECT_EQ(Sent(command::kWriteMacroImage), 0);  // no macro is used any more
    EXPECT_EQ(ui::Ctl(host.Find("keyset_macro_combo")).ItemCount(), 0);
}

// Each row has its own delay field; leaving it saves that row's delay, and
// the mouse gets the macro with it. A delay out of range is told and the
// row keeps what its field then shows.
TEST_F(MousePanels, ARowsOwnDelayIsSavedOnLeavingAndReachesTheMouse) {
    MacroOnButtonFive(3);
    devicePage->ShowOptionTab(3);
    Panels().Macros().SelectMacro(0);
    const ui::Ctl rows(host.Find("macro_action_list"));
    const auto leave = [&](int row, const std::string& text) {
        const ui::Ctl field = rows.ItemEdit(row, "macro_delay");
        field.SetText(text);
        EXPECT_TRUE(devicePage->Route({"killfocus", field.Get(), "macro_delay", 0, 0}));
        return field.Text();
    };
    EXPECT_EQ(leave(1, "300"), "300");
    EXPECT_TRUE(told.empty());
    const std::vector<MacroEvent> saved = Panels().Macros().Library().LoadEvents(0);
    EXPECT_EQ(saved, (std::vector<MacroEvent>{{10, 4, true, 5}, {10, 4, true, 300}, {10, 4, true, 5}}));
    EXPECT_EQ(leave(2, "70000"), "65535");
    EXPECT_EQ(leave(0, "5x"), "5");
    EXPECT_EQ(told, (std::vector<std::string>{"macro_delay_range_text", "macro_delay_range_text"}));
    Notify("click", "key_butt_prosave");
    const auto image = rig.hub.Firmware("mouse")->MacroImage();
    ASSERT_EQ(image.size(), 1u);
    ASSERT_EQ(image[0].size(), 3u);
    EXPECT_EQ(image[0][0], (ImageEvent{5, 0, 0x8A, 4}));
    EXPECT_EQ(image[0][1], (ImageEvent{44, 1, 0x8A, 4}));
    EXPECT_EQ(image[0][2], (ImageEvent{255, 255, 0x8A, 4}));
}

TEST_F(MousePanels, StoppingTheCaptureEndsARecordingAndSavesIt) {
    CMacroLibrary& library = Panels().Macros().Library();
    ASSERT_FALSE(library.Add().empty());
    Panels().Reload();
    Panels().Macros().SelectMacro(0);
    Notify("click", "macro_btn_starredio");
    EXPECT_EQ(hooks, std::vector<std::string>{"+4"});
    devicePage->OnCapturedKey(hook_mode::kRecord, {0x1E, false, true});
    devicePage->OnCapturedButton(hook_mode::kRecord, {mouse_message::kRightDown, 0, 1, 1});
    devicePage->StopCapture();  // another device was chosen
    EXPECT_EQ(hooks, (std::vector<std::string>{"+4", "-4", "-1"}));
    EXPECT_EQ(library.LoadEvents(0).size(), 2u);
    devicePage->OnCapturedKey(hook_mode::kRecord, {0x30, false, true});
    EXPECT_EQ(library.LoadEvents(0).size(), 2u);
}


// The same panels on the keyboard page, on the virtual keyboard: a key of
// the picture is chosen on the Keys tab, given a function or a macro and
// written; the wire, the keyboard's memory and the profile file hold it.
class KeyboardPanels : public test::VirtualPageTest {
protected:
    void SetUp() override {
        window.plainNotice = [this](const std::string& text) { plain.push_back(text); };
        window.notice = [this](const std::string& key) { told.push_back(key); };
        keyboard = MakeDevice<CVantrelKeyboardDevice>("keyboarddevice.ui");
        devicePage->SetWindow(&window);
        rig.hub.Plug("keyboard");
        rig.Open(keyboard->Transport(), "keyboard", LinkWired);
        ASSERT_EQ(keyboard->ReadFromDevice(), kResultSuccess);
        keyboard->StopLightingThread();
        ASSERT_NE(devicePage->PanelOf<CKeyMacroPanels>(), nullptr);
        rig.hub.Traffic().Clear();
    }
    void TearDown() override { keyboard.reset(); }
    CKeyMacroPanels& Panels() { return *devicePage->PanelOf<CKeyMacroPanels>(); }
    std::vector<uint8_t> Commands() {
        std::vector<uint8_t> codes;
        for (const auto& entry : rig.hub.Traffic().Entries()) codes.push_back(entry.request[3]);
        return codes;
    }
    size_t Sent(uint8_t command) {
        const std::vector<uint8_t> codes = Commands();
        return static_cast<size_t>(std::count(codes.begin(), codes.end(), command));
    }
    // The bytes the chunks of one command carried.
    size_t BytesSent(uint8_t command) {
        size_t bytes = 0;
        for (const auto& entry : rig.hub.Traffic().Entries())
            if (entry.request[packet::kCommand] == command) bytes += entry.request[packet::kLength];
        return bytes;
    }
    void Notify(const std::string& event, const std::string& name) {
        ui::Control* control = host.Find(name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_TRUE(devicePage->Route({event, control, name, 0, 0})) << event << " " << name;
    }
    // The three bytes of logical key j's slot in the keyboard's key table.
    std::vector<uint8_t> SlotBytes(size_t j) {
        const std::vector<uint8_t> table = rig.hub.Firmware("keyboard")->Area(command::kReadKeyTable);
        const size_t at = keyboard_memory::SlotOfKey(j) * 3;
        return {table.begin() + static_cast<long>(at), table.begin() + static_cast<long>(at) + 3};
    }
    uint32_t StoredAssignment(size_t j) {
        return LoadJson(keyboard->GetProfilePath())["Device"][0]["KeyList"][static_cast<Json::ArrayIndex>(j)]["Assignment"]
            .asUInt();
    }
    void ChooseKind(FunctionKind kind) {
        const int item = Panels().Keys().ItemOfKind(static_cast<int>(kind));
        ASSERT_GE(item, 0);
        ui::Ctl(host.Find("keyset_function_combo")).SelectItem(item, false);
        Panels().Keys().FunctionChanged();
    }
    std::vector<size_t> MarkedKeys() {
        std::vector<size_t> marked;
        for (size_t j = 0; j < 126; ++j)
            if (host.Find("key_" + std::to_string(j))->KeySelected()) marked.push_back(j);
        return marked;
    }

    PanelWindow window;
    std::vector<std::string> plain, told;
    std::unique_ptr<CVantrelKeyboardDevice> keyboard;
};

constexpr size_t kKeyQ = 43, kKeyW = 44, kKeyA = 64;

TEST_F(KeyboardPanels, AKeyGivenAMediaFunctionIsWrittenToItsSlotAndTheProfile) {
    devicePage->ShowOptionTab(2);
    EXPECT_EQ(devicePage->GetFunctionPage(), 2);
    EXPECT_EQ(Panels().Keys().Mode(), 1);
    const std::vector<uint8_t> w = SlotBytes(kKeyW);
    Notify("click", "key_" + std::to_string(kKeyQ));
    EXPECT_EQ(MarkedKeys(), std::vector<size_t>{kKeyQ});
    ChooseKind(FunctionKind::Media);
    ui::Ctl(host.Find("keyset_media_combo")).SelectItem(1, false);  // play / pause, usage 0x00CD
    Panels().Keys().ApplyAssignment();
    EXPECT_EQ(keyboard->Assignments()[kKeyQ].current.type, 0x30);
    EXPECT_TRUE(Commands().empty());  // held until written
    Notify("click", "key_butt_prosave");
    EXPECT_TRUE(plain.empty());
    EXPECT_EQ(BytesSent(command::kWriteKeyTable), keyboard_memory::kKeySlots * 3);  // the whole table, once
    EXPECT_EQ(Sent(command::kWriteMacroImage), 0u);  // no key runs a macro
    EXPECT_EQ(SlotBytes(kKeyQ), (std::vector<uint8_t>{0x30, 0xCD, 0x00}));
    EXPECT_EQ(SlotBytes(kKeyW), w);
    EXPECT_EQ(StoredAssignment(kKeyQ), 0x30CD00u);
    EXPECT_FALSE(host.Find("key_43")->DefaultState());
    EXPECT_TRUE(host.Find("key_44")->DefaultState());
    EXPECT_TRUE(MarkedKeys().empty());  // a write clears the mark

    // Its default again: a keyboard writes it at once.
    Notify("click", "key_43");
    rig.hub.Traffic().Clear();
    Notify("click", "key_butt_keydefalut");
    EXPECT_EQ(BytesSent(command::kWriteKeyTable), keyboard_memory::kKeySlots * 3);
    EXPECT_EQ(SlotBytes(kKeyQ), (std::vector<uint8_t>{0x20, 0x00, 0x14}));  // Q, usage 0x14
    EXPECT_EQ(StoredAssignment(kKeyQ), 0x200014u);
}

TEST_F(KeyboardPanels, AKeyRunningAMacroSendsTheMacroImageBeforeTheKeyTable) {
    CMacroLibrary& library = Panels().Macros().Library();
    ASSERT_FALSE(library.Add().empty());
    ASSERT_TRUE(library.SaveEvents(0, {MacroEvent{10, 4, true, 30}, MacroEvent{10, 4, false, 300}}));
    Panels().Reload();
    devicePage->ShowOptionTab(2);
    Notify("click", "key_" + std::to_string(kKeyA));
    ChooseKind(FunctionKind::Macro);
    ui::Ctl(host.Find("keyset_macro_combo")).SelectItem(0, false);
    ui::Ctl(host.Find("keyset_macro_over_combo")).SelectItem(0, false);
    Panels().Keys().ApplyAssignment();
    Notify("click", "key_butt_prosave");
    EXPECT_TRUE(plain.empty());
    EXPECT_TRUE(told.empty());
    const std::vector<uint8_t> codes = Commands();
    const auto image = std::find(codes.begin(), codes.end(), command::kWriteMacroImage);
    const auto table = std::find(codes.begin(), codes.end(), command::kWriteKeyTable);
    ASSERT_NE(image, codes.end());
    ASSERT_NE(table, codes.end());
    EXPECT_LT(image, table);
    const std::vector<ImageEntry> macros = rig.hub.Firmware("keyboard")->MacroImage();
    ASSERT_EQ(macros.size(), 1u);
    EXPECT_EQ(macros[0], (ImageEntry{{30, 0, 0x8A, 4}, {44, 1, 0x0A, 4}}));
    EXPECT_EQ(SlotBytes(kKeyA), (std::vector<uint8_t>{0x70, 0x00, 0x00}));  // device macro 0, end mode 0
    EXPECT_EQ(StoredAssignment(kKeyA), 0x700000u);
    EXPECT_EQ(keyboard->CollectUsedMacros(), std::vector<int>{0});
}

TEST_F(KeyboardPanels, KeysArePaintedOnTheLightingTabAndChosenOnTheKeysTab) {
    LightInfo light = keyboard->GetLightInfo();
    light.selectItem = kCustomColourMode;
    light.red = 0x11;
    keyboard->SetLightInfo(light.Words(), light.HalfWord());
    const uint32_t painted = light.red | light.green << 8 | static_cast<uint32_t>(light.blue) << 16;  // red low
    devicePage->ShowOptionTab(1);
    EXPECT_EQ(devicePage->GetFunctionPage(), 1);
    Notify("click", "key_" + std::to_string(kKeyQ));
    EXPECT_GT(Sent(command::kWritePagedBlock), 0u);
    EXPECT_TRUE(MarkedKeys().empty());
    EXPECT_EQ(host.Find("key_43")->LightColour(), painted);
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 255);

    rig.hub.Traffic().Clear();
    devicePage->ShowOptionTab(2);
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 0);  // dark while keys are assigned
    Notify("click", "key_" + std::to_string(kKeyW));
    EXPECT_EQ(Sent(command::kWritePagedBlock), 0u);
    EXPECT_EQ(MarkedKeys(), std::vector<size_t>{kKeyW});
    // A rubber band drawn over the picture paints nothing and keeps the chosen key.
    host.Find("key_64")->SetKeySelected(true);
    Notify("click_select_end", "keyboard_device_key_light");
    EXPECT_EQ(Sent(command::kWritePagedBlock), 0u);
    EXPECT_EQ(MarkedKeys(), std::vector<size_t>{kKeyW});
    // The macros tab is the keyboard's too; the chosen key is marked only on the Keys tab.
    devicePage->ShowOptionTab(3);
    EXPECT_TRUE(MarkedKeys().empty());
    EXPECT_EQ(ui::Ctl(host.Find("keyboard_device_seting_layout")).Page(), 3);
    EXPECT_EQ(devicePage->GetFunctionPage(), 1);
    devicePage->ShowOptionTab(2);
    EXPECT_EQ(MarkedKeys(), std::vector<size_t>{kKeyW});
    devicePage->ShowOptionTab(1);
    EXPECT_EQ(host.Find("key_43")->LightColour(), painted);  // lit again on the Lighting tab

    // A frame that changes one key sets that key alone. The probe: a light
    // set on another key behind the panel's back (nothing else lights keys)
    // stays until the keys are lit another way.
    const uint32_t w = host.Find("key_44")->LightColour();
    host.Find("key_44")->SetLight(0xABCDEF, 17, true);
    light.red = 0x22;
    keyboard->SetLightInfo(light.Words(), light.HalfWord());
    Notify("click", "key_" + std::to_string(kKeyQ));
    EXPECT_EQ(host.Find("key_43")->LightColour(), painted + 0x11);
    EXPECT_EQ(host.Find("key_44")->LightColour(), 0xABCDEFu);
    EXPECT_EQ(host.Find("key_44")->LightLevel(), 17);
    devicePage->ShowOptionTab(2);
    EXPECT_EQ(host.Find("key_44")->LightLevel(), 0);
    EXPECT_EQ(host.Find("key_43")->LightLevel(), 0);
    devicePage->ShowOptionTab(1);
    EXPECT_EQ(host.Find("key_44")->LightColour(), w);
    EXPECT_EQ(host.Find("key_44")->LightLevel(), 255);
    EXPECT_EQ(host.Find("key_43")->LightColour(), painted + 0x11);
}

}  // namespace
}  // namespace m470
