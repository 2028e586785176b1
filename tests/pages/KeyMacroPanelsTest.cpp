#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_link/CommandCodes.h"
#include "devices/MouseDevice.h"
#include "macros/MouseEventTable.h"
#include "pages/KeyMacroPanels.h"
#include "platform/JsonFile.h"
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

}  // namespace
}  // namespace m470
