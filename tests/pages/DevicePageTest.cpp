#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "support/PlainDevice.h"
#include "device_link/CommandCodes.h"
#include "device_link/EventImage.h"
#include "devices/MouseDevice.h"
#include "devices/MousePadDevice.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "pages/KeyMacroPanels.h"
#include "pages/MouseSettingsPanel.h"
#include "pages/PageBuilder.h"
#include "pages/RecoilPanel.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/LayoutCheck.h"
#include "support/VirtualMousePage.h"

namespace m470 {
namespace {

TEST(DevicePage, FunctionPagesByKind) {
    ui::MemoryControlHost host;
    ui::Control* page = host.LoadLayout(test::TestDataPath("sample_page.ui"));
    ui::Ctl first = host.Find("device_function_switch"), second = host.Find("device_key_function_switch");

    test::PlainDevice mouse(DeviceKind::Mouse);
    CDevicePage mousePage(mouse, host, page, nullptr);
    mousePage.ShowFunctionPage(4);
    EXPECT_EQ(first.Page(), 3);
    EXPECT_EQ(mousePage.GetFunctionPage(), 4);
    mousePage.ShowFunctionPage(6);
    EXPECT_EQ(first.Page(), 0);
    EXPECT_EQ(second.Page(), 1);
    mousePage.ShowFunctionPage(5);
    EXPECT_EQ(first.Page(), 2);
    EXPECT_EQ(second.Page(), 1);  // left as it was
    mousePage.ShowFunctionPage(8);
    EXPECT_EQ(first.Page(), 1);
    mousePage.ShowFunctionPage(42);
    EXPECT_EQ(first.Page(), 0);
    EXPECT_EQ(second.Page(), 0);

    test::PlainDevice pad(DeviceKind::MousePad);
    CDevicePage padPage(pad, host, page, nullptr);
    padPage.ShowFunctionPage(4);  // as kind 7
    EXPECT_EQ(first.Page(), 0);
    EXPECT_EQ(second.Page(), 2);

    test::PlainDevice unbound(DeviceKind::Mouse);
    CDevicePage unboundPage(unbound, host, nullptr, nullptr);
    unboundPage.ShowFunctionPage(2);  // no layout: nothing to do, nothing breaks
    EXPECT_EQ(unboundPage.GetFunctionPage(), 2);
}


// The lighting tab is loaded, and its panel made, when it first shows with
// its page (the pad's is its first tab, the mouse's its third) or when a
// client asks for it; making it late sends nothing, and it shows the device's
// lighting and the same mode told while it was held.
TEST(HeldLighting, TheLightingTabIsMadeWhenItFirstShowsWithItsPageOrWhenAClientAsks) {
    test::TempFolder folder;
    test::VirtualRig rig;
    rig.hub.PlugAll({"mouse", "mousepad", "keyboard"});
    ui::MemoryControlHost host;
    ui::MemoryControl* mouseRoot = host.LoadLayout(GetInstallFolder() + "skin/mousedevice.ui");
    ui::MemoryControl* padRoot = host.LoadLayout(GetInstallFolder() + "skin/mousepaddevice.ui");
    ASSERT_TRUE(mouseRoot != nullptr && padRoot != nullptr);
    CVantrelMouseDevice mouse(rig.hub.Backend());
    CVantrelMousePadDevice pad(rig.hub.Backend());
    const auto mousePage = CPageBuilder::MakePage(mouse, host, mouseRoot, nullptr);
    const auto padPage = CPageBuilder::MakePage(pad, host, padRoot, nullptr);
    rig.Open(mouse.Transport(), "mouse", LinkWired);
    rig.Open(pad.Transport(), "mousepad", LinkWired);
    ASSERT_EQ(mouse.ReadFromDevice(), kResultSuccess);
    ASSERT_EQ(pad.ReadFromDevice(), kResultSuccess);
    mouse.StopLightingThread();
    pad.StopLightingThread();
    rig.hub.Traffic().Clear();
    const auto made = [&](ui::Control* root) { return host.FindUnder(root, "deng_light_slider") != nullptr; };

    mousePage->SetSameModeAvailable(true);
    padPage->SetSameModeAvailable(true);
    mousePage->ShowHeld();
    EXPECT_FALSE(made(padRoot));
    EXPECT_FALSE(made(mouseRoot));  // its tab is not the one shown
    padPage->ShowHeld();
    ASSERT_TRUE(made(padRoot));
    EXPECT_EQ(host.FindUnder(padRoot, "deng_light_slider")->Value(), pad.GetLightInfo().light);
    EXPECT_TRUE(padPage->LightPanel()->SameModeAvailable());
    EXPECT_FALSE(made(mouseRoot));

    mousePage->ShowOptionTab(1);  // its lighting tab
    ASSERT_TRUE(made(mouseRoot));
    EXPECT_EQ(host.FindUnder(mouseRoot, "deng_light_slider")->Value(), mouse.GetLightInfo().light);
    EXPECT_TRUE(mousePage->LightPanel()->SameModeAvailable());
    const CLightingPanel* lighting = mousePage->Lighting();
    mousePage->ShowOptionTab(2);
    mousePage->ShowOptionTab(1);
    mousePage->ShowHeld();
    EXPECT_EQ(mousePage->Lighting(), lighting);  // made once
    EXPECT_EQ(host.FindUnder(mouseRoot, "LightControlItem")->Children().size(), 1u);  // loaded once
    mousePage->SetSameModeAvailable(false);
    EXPECT_FALSE(mousePage->LightPanel()->SameModeAvailable());
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());

    // A client (m470ctl, the SDK server) asking gets it made on a page never shown.
    ui::MemoryControl* otherRoot = host.LoadLayout(GetInstallFolder() + "skin/mousepaddevice.ui");
    CVantrelMousePadDevice other(rig.hub.Backend());
    const auto otherPage = CPageBuilder::MakePage(other, host, otherRoot, nullptr);
    EXPECT_TRUE(otherPage->HasLighting());  // a client counting the lit products builds nothing
    EXPECT_FALSE(made(otherRoot));
    ASSERT_NE(otherPage->Lighting(), nullptr);
    EXPECT_TRUE(made(otherRoot));
    EXPECT_FALSE(otherPage->LightPanel()->SameModeAvailable());  // never told

    // The keyboard's, made after the keyboard's own panel, shows the custom
    // colour group the keyboard has then, and follows it.
    ui::MemoryControl* keyboardRoot = host.LoadLayout(GetInstallFolder() + "skin/keyboarddevice.ui");
    ASSERT_NE(keyboardRoot, nullptr);
    keyboardRoot->SetVisible(false);  // behind the page shown, as in the window's stack
    CVantrelKeyboardDevice keyboard(rig.hub.Backend());
    const auto keyboardPage = CPageBuilder::MakePage(keyboard, host, keyboardRoot, nullptr);
    rig.Open(keyboard.Transport(), "keyboard", LinkWired);
    ASSERT_EQ(keyboard.ReadFromDevice(), kResultSuccess);
    keyboard.StopLightingThread();
    keyboard.SwitchCustomGroup(2);
    EXPECT_FALSE(made(keyboardRoot));
    keyboardRoot->SetVisible(true);
    keyboardPage->ShowHeld();  // its first tab is the lighting
    ui::Ctl groups = host.FindUnder(keyboardRoot, "light_combo_custommodeSelect");
    ASSERT_TRUE(groups);
    EXPECT_EQ(groups.SelectedItem(), 2);
    keyboard.SwitchCustomGroup(1);
    EXPECT_EQ(groups.SelectedItem(), 1);
}

// A mouse page on the in-memory tree, against the virtual mouse.
class MousePageRoutes : public test::VirtualMousePageTest {
protected:
    bool Raise(const std::string& event, const std::string& name) {
        return devicePage->Route({event, host.FindUnder(page, name), name, 0, 0});
    }
    std::vector<std::vector<uint8_t>> Writes(uint8_t command) {
        std::vector<std::vector<uint8_t>> found;
        for (const auto& entry : rig.hub.Traffic().Entries())
            if (entry.request[3] == command) found.push_back({entry.request.begin(), entry.request.end()});
        return found;
    }
    ui::Ctl On(const std::string& name) { return host.FindUnder(page, name); }
    std::vector<std::string> ProfileUuids() {
        std::vector<std::string> uuids;
        for (const Json::Value& row : devicePage->ProfileStrip()->GetProfileList())
            uuids.push_back(row["profileUUID"].asString());
        return uuids;
    }

};

TEST_F(MousePageRoutes, ANotificationOfThePageWritesTheDeviceThroughItsPanel) {
    On("DPI_slider_3").SetValue(44, false);
    ASSERT_TRUE(Raise("valuechanged", "DPI_slider_3"));
    const size_t reports = Writes(command::kWriteSettings).size();
    ASSERT_GT(reports, 0u);
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(command::kReadSettings)[mouse_record::kStages + 9 * 3 + 2], 44);
    EXPECT_EQ(LoadJson(mouse->GetProfilePath())["Device"][0]["DPIStages"]["StageDPIs"][3]["StageDPIX"].asInt(), 44);
    // A name no panel of the page owns goes on to the window, the panels of
    // the tabs not shown yet built as for a client.
    ASSERT_NE(devicePage->PanelOf<CKeyMacroPanels>(), nullptr);
    ASSERT_NE(devicePage->PanelOf<CRecoilPanel>(), nullptr);
    EXPECT_FALSE(Raise("click", "closebtn"));
    EXPECT_FALSE(Raise("valuechanged", "R_light_slider"));
    EXPECT_EQ(Writes(command::kWriteSettings).size(), reports);
}

// The mouse's settings model is the one copy: choosing the active stage
// writes the stages it holds, not a slider dragged and not yet let go.
TEST_F(MousePageRoutes, AStageChoiceWritesTheModelNotWhatASliderShows) {
    const uint16_t kept = mouse->Stages().at(1).dpiX;
    ASSERT_NE(kept, 77);
    On("DPI_slider_1").SetValue(77, false);
    ASSERT_TRUE(Raise("movevaluechanged", "DPI_slider_1"));
    On("DPI_select_check_3").SetSelected(true, false);
    ASSERT_TRUE(Raise("selectchanged", "DPI_select_check_3"));

    const std::vector<uint8_t> record = rig.hub.Firmware("mouse")->Area(command::kReadSettings);
    EXPECT_EQ(record[mouse_record::kActiveStage], 3);
    EXPECT_EQ(record[mouse_record::kStages + 9 * 1 + 2], kept & 0xFF);
    EXPECT_EQ(record[mouse_record::kStages + 9 * 1 + 3], kept >> 8);
    const Json::Value stages = LoadJson(mouse->GetProfilePath())["Device"][0]["DPIStages"];
    EXPECT_EQ(stages["StageActive"].asInt(), 3);
    EXPECT_EQ(stages["StageDPIs"][1]["StageDPIX"].asInt(), kept);
    EXPECT_EQ(mouse->Stages()[1].dpiX, kept);
    EXPECT_EQ(mouse->ActiveStage(), 3);

    // A typed sensitivity goes the same way: model, file and record agree.
    CMouseSettingsPanel& panel = *devicePage->PanelOf<CMouseSettingsPanel>();
    const int dpi = panel.StageDpiRange().high;
    ASSERT_TRUE(panel.SetStageDpi(1, dpi).Done());
    const uint16_t position = mouse->Stages()[1].dpiX;
    EXPECT_EQ(panel.StageDpi(1), dpi);
    EXPECT_EQ(LoadJson(mouse->GetProfilePath())["Device"][0]["DPIStages"]["StageDPIs"][1]["StageDPIX"].asInt(), position);
    EXPECT_EQ(rig.hub.Firmware("mouse")->Area(command::kReadSettings)[mouse_record::kStages + 9 * 1 + 2], position & 0xFF);
}

TEST_F(MousePageRoutes, ADetachedDevicesPageSendsNothing) {
    mouse->Transport().Detach();
    rig.hub.Traffic().Clear();
    On("DPI_slider_3").SetValue(50, false);
    EXPECT_TRUE(Raise("valuechanged", "DPI_slider_3"));
    On("polling_rate_option_2").SetSelected(true, false);
    EXPECT_TRUE(Raise("selectchanged", "polling_rate_option_2"));
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());
    EXPECT_NE(rig.hub.Firmware("mouse")->Area(command::kReadSettings)[mouse_record::kStages + 9 * 3 + 2], 50);
}

TEST_F(MousePageRoutes, NoControlNameIsRoutedByTwoPanels) {
    ASSERT_NE(devicePage->ProfileStrip(), nullptr);
    ASSERT_NE(devicePage->Lighting(), nullptr);
    ASSERT_NE(devicePage->PanelOf<CMouseSettingsPanel>(), nullptr);
    std::set<std::string> owners;
    size_t routed = 0;
    for (const CPagePanel* panel : {static_cast<const CPagePanel*>(devicePage->PanelOf<CProfileStripPanel>()),
                                    static_cast<const CPagePanel*>(devicePage->Lighting()),
                                    static_cast<const CPagePanel*>(devicePage->PanelOf<CMouseSettingsPanel>())}) {
        std::set<std::string> own;
        for (const std::string& name : panel->Routes().Names()) own.insert(name);
        for (const std::string& name : own) EXPECT_TRUE(owners.insert(name).second) << name;
        routed += own.size();
    }
    EXPECT_GE(routed, 40u);
}

TEST_F(MousePageRoutes, ThePageRedrawsWhatTheDeviceTellsAndForgetsItWhenItGoes) {
    // Another stage became active (as a report from the mouse makes it).
    mouse->SetActiveStage(2);
    mouse->PublishSettings();
    EXPECT_TRUE(On("DPI_select_check_2").Selected());
    EXPECT_FALSE(On("DPI_enable_check_2").Enabled());  // the active stage cannot be switched off
    // Lighting chosen from outside the page.
    LightInfo light = mouse->GetLightInfo();
    light.selectItem = 4;
    mouse->StoreLightInfo(light);
    mouse->Tell(DeviceChange::Lighting);
    EXPECT_EQ(On("light_combo_modeSelect").SelectedItem(), 4);
    // A preview frame reaches the LED buttons, and no other listener of the device.
    int told = 0;
    const int other = mouse->AddChangeListener([&told](DeviceChange) { ++told; });
    mouse->SetLedColour(0, LedEntry{0x11, 0x22, 0x33, 0x80}.Packed());
    mouse->OnRenderTimer();
    EXPECT_EQ(static_cast<ui::MemoryControl*>(devicePage->Picture().leds[0].Get())->LightColour(), 0x332211u);
    EXPECT_EQ(told, 0);
    mouse->RemoveChangeListener(other);
    // Without its page the device tells nobody, and shows no picture.
    devicePage.reset();
    mouse->OnRenderTimer();
    On("DPI_select_check_4").SetSelected(false, false);
    mouse->SetActiveStage(4);
    mouse->PublishSettings();
    EXPECT_FALSE(On("DPI_select_check_4").Selected());
}

// ---- the key assignment panel and the macro editor, as the page's panel ----

TEST_F(MousePageRoutes, TheKeyPanelPicksKeysOnTheButtonsTabAndThePicturePaintsWhatTheMouseTells) {
    ASSERT_NE(devicePage->PanelOf<CKeyMacroPanels>(), nullptr);
    const std::vector<ui::Ctl>& keys = devicePage->Picture().keys;
    ASSERT_GT(keys.size(), 5u);
    // Off the buttons tab a click on the picture picks nothing.
    devicePage->ShowOptionTab(4);
    EXPECT_EQ(devicePage->GetFunctionPage(), 1);
    Raise("click", "key_4");
    EXPECT_FALSE(keys[4].Get()->KeySelected());
    devicePage->ShowOptionTab(2);
    EXPECT_EQ(devicePage->GetFunctionPage(), 2);
    EXPECT_TRUE(Raise("click", "key_4"));
    EXPECT_TRUE(keys[4].Get()->KeySelected());
    EXPECT_FALSE(keys[3].Get()->KeySelected());
    EXPECT_TRUE(Raise("click", "key_3"));
    EXPECT_TRUE(keys[3].Get()->KeySelected());
    EXPECT_FALSE(keys[4].Get()->KeySelected());
    devicePage->ShowOptionTab(3);
    EXPECT_EQ(devicePage->GetFunctionPage(), 1);

    // A stored key is told: the picture's default mark and the key rows follow it.
    int told = 0;
    const int listener = mouse->AddChangeListener([&](DeviceChange change) { told += change == DeviceChange::Keys; });
    const KeyAssignmentPair factory = mouse->Assignments()[4];
    ASSERT_TRUE(mouse->KeyIsFactory(4));
    EXPECT_TRUE(keys[4].Get()->DefaultState());
    KeyAssignmentPair other = factory;
    other.current.param1 ^= 0x40;
    mouse->StoreAssignment(4, other);
    EXPECT_EQ(told, 1);
    EXPECT_FALSE(keys[4].Get()->DefaultState());
    EXPECT_EQ(mouse->Assignments()[4].current, other.current);
    mouse->StoreAssignment(4, factory);
    EXPECT_TRUE(keys[4].Get()->DefaultState());
    mouse->StoreAssignment(mouse->Assignments().size(), other);  // no such key: nothing stored, nothing told
    EXPECT_EQ(told, 2);
    mouse->RemoveChangeListener(listener);
}

// The buttons, macros and recoil tabs are loaded and their panels built when
// first shown, or when a client asks for a panel; before that they are not
// there, and nothing of theirs is written.
TEST_F(MousePageRoutes, PanelsOfTabsNotYetShownAreBuiltAtTheirFirstShowOrWhenAskedFor) {
    const std::string pattern = mouse->DataFolder() + "ShootData_0.Shoot";
    for (const char* name : {"KeySetControlItem", "MacroControlItem", "ShootControlItem"}) ASSERT_TRUE(On(name)) << name;
    for (const char* name : {"keyset_function_combo", "macro_btn_starredio", "shoot_gun_op_1"}) EXPECT_FALSE(On(name)) << name;
    EXPECT_FALSE(std::filesystem::exists(pattern));
    EXPECT_FALSE(Raise("click", "macro_btn_starredio"));

    devicePage->ShowOptionTab(3);  // macros: both key panels, the recoil tab still held
    EXPECT_TRUE(On("keyset_function_combo"));
    EXPECT_TRUE(On("macro_btn_starredio"));
    EXPECT_FALSE(On("shoot_gun_op_1"));
    EXPECT_FALSE(std::filesystem::exists(pattern));
    CKeyMacroPanels* panels = devicePage->PanelOf<CKeyMacroPanels>();
    ASSERT_NE(panels, nullptr);
    devicePage->ShowOptionTab(2);
    devicePage->ShowOptionTab(3);
    EXPECT_EQ(devicePage->PanelOf<CKeyMacroPanels>(), panels);  // built once
    EXPECT_EQ(host.FindUnder(page, "KeySetControlItem")->Children().size(), 1u);  // loaded once

    // A client asking for the recoil panel gets it built, its factory patterns in place.
    ASSERT_NE(devicePage->PanelOf<CRecoilPanel>(), nullptr);
    EXPECT_TRUE(On("shoot_gun_op_1"));
    EXPECT_TRUE(std::filesystem::exists(pattern));
    devicePage->ShowOptionTab(9);
    EXPECT_EQ(host.FindUnder(page, "ShootControlItem")->Children().size(), 1u);
}

TEST_F(MousePageRoutes, ACaptureEndsThroughThePageAndWhenThePageGoes) {
    std::vector<std::pair<int, bool>> hooks;
    PanelWindow services;
    services.setHook = [&](int mode, bool on, std::function<ScreenRect()>) { hooks.emplace_back(mode, on); };
    devicePage->SetWindow(&services);
    devicePage->StopCapture();
    EXPECT_TRUE(hooks.empty());  // no key panel yet, so no capture to end
    devicePage->ShowOptionTab(2);
    devicePage->StopCapture();
    ASSERT_EQ(hooks.size(), 1u);
    EXPECT_EQ(hooks[0], std::make_pair(hook_mode::kSingleKey, false));
    devicePage.reset();
    EXPECT_EQ(hooks.size(), 2u);  // the mouse page stopped its capture as it went
    EXPECT_EQ(hooks[1], std::make_pair(hook_mode::kSingleKey, false));
}

// ---- the profile strip's rules, with the window's dialogs scripted ----

TEST_F(MousePageRoutes, DeleteAsksThenAppliesTheNextProfileAndCancelKeepsAll) {
    window.confirm = true;
    ASSERT_TRUE(Raise("click", "device_add_btn"));
    const std::vector<std::string> two = ProfileUuids();
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(mouse->ProfileName(), two[1]);  // the new one is applied
    EXPECT_FALSE(Writes(command::kWriteSettings).empty());

    window.confirm = false;
    window.asked.clear();
    rig.hub.Traffic().Clear();
    ASSERT_TRUE(Raise("click", "device_sub_btn"));
    EXPECT_EQ(window.asked, (std::vector<std::string>{"confirm message_text_29"}));
    EXPECT_EQ(ProfileUuids(), two);
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());

    window.confirm = true;
    ASSERT_TRUE(Raise("click", "device_sub_btn"));
    EXPECT_EQ(ProfileUuids(), std::vector<std::string>{two[0]});
    EXPECT_FALSE(std::filesystem::exists(mouse->DataFolder() + two[1] + ".Json"));
    EXPECT_EQ(mouse->ProfileName(), two[0]);
    EXPECT_FALSE(Writes(command::kWriteSettings).empty());
}

TEST_F(MousePageRoutes, APageThatLeftDuringTheDialogIsLeftAlone) {
    window.onDialog = [this] { window.shown = nullptr; };  // unplugged while the question was open
    ASSERT_TRUE(Raise("click", "device_add_btn"));
    EXPECT_EQ(ProfileUuids().size(), 1u);
    window.file = folder.File("export.json");
    ASSERT_TRUE(Raise("click", "device_export_btn"));
    EXPECT_FALSE(std::filesystem::exists(folder.File("export.json")));
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());
}

TEST_F(MousePageRoutes, ResetRemovesTheSwatchFileEvenWhenCancelledAndImportTellsARefusal) {
    folder.Write("data/M470/color_option_info.config", "{}");
    const std::string swatches = GetAppDataFolder() + "color_option_info.config";
    ASSERT_TRUE(std::filesystem::exists(swatches));
    window.confirm = false;
    ASSERT_TRUE(Raise("click", "device_reset_btn"));
    EXPECT_FALSE(std::filesystem::exists(swatches));
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());

    folder.Write("not-a-profile.json", "[1, 2]");
    window.file = folder.File("not-a-profile.json");
    window.asked.clear();
    ASSERT_TRUE(Raise("click", "device_import_btn"));
    EXPECT_EQ(window.asked, (std::vector<std::string>{"open", "notice profile_import_refused"}));
    EXPECT_EQ(ProfileUuids().size(), 1u);
}

TEST_F(MousePageRoutes, AChoiceInTheListShowsItAtOnceAndLeavesTheWriteToTheWindow) {
    ASSERT_TRUE(Raise("click", "device_add_btn"));
    const std::vector<std::string> two = ProfileUuids();
    rig.hub.Traffic().Clear();
    window.asked.clear();
    On("device_profile_combo").SelectItem(0, false);
    ASSERT_TRUE(Raise("itemselect", "device_profile_combo"));
    EXPECT_EQ(mouse->ProfileName(), two[0]);
    EXPECT_EQ(window.asked, (std::vector<std::string>{"profile chosen"}));
    // Shown at once; the write is the window's, once the choices settle.
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());
    // The same-mode button is the window's business.
    ASSERT_TRUE(Raise("click", "deng_same_mode"));
    EXPECT_EQ(window.asked.back(), "same mode");
}

TEST_F(MousePageRoutes, AFailedWriteIsTold) {
    rig.hub.InjectFault("mouse", command::kWriteSettings, 1);
    On("deng_light_slider").SetValue(2, false);
    ASSERT_TRUE(Raise("valuechanged", "deng_light_slider"));
    EXPECT_EQ(window.asked, (std::vector<std::string>{"notice message_text_7"}));
}

TEST_F(MousePageRoutes, AStageColourChosenInThePaletteReachesTheProfileAndTheMouse) {
    const DpiStage before = mouse->Stages().at(1);
    window.colour = 0xFF102030u;
    ASSERT_TRUE(Raise("click", "DPI_color_option_1"));
    const uint32_t shown = 0xFF000000u | uint32_t{before.red} << 16 | uint32_t{before.green} << 8 | before.blue;
    EXPECT_EQ(window.asked, (std::vector<std::string>{"palette " + std::to_string(shown)}));
    EXPECT_EQ(mouse->Stages()[1].red, 0x10);
    EXPECT_EQ(mouse->Stages()[1].green, 0x20);
    EXPECT_EQ(mouse->Stages()[1].blue, 0x30);
    const Json::Value stage = LoadJson(mouse->GetProfilePath())["Device"][0]["DPIStages"]["StageDPIs"][1];
    EXPECT_EQ(stage["StageColorR"].asInt(), 0x10);
    EXPECT_EQ(stage["StageColorB"].asInt(), 0x30);
    EXPECT_FALSE(Writes(command::kWriteSettings).empty());

    // Closed, or the page gone meanwhile: nothing changes, nothing is sent.
    rig.hub.Traffic().Clear();
    window.colour.reset();
    ASSERT_TRUE(Raise("click", "DPI_color_option_2"));
    window.colour = 0xFFFFFFFFu;
    window.onDialog = [this] { window.shown = nullptr; };
    ASSERT_TRUE(Raise("click", "DPI_color_option_2"));
    EXPECT_NE(mouse->Stages()[2].red, 0xFF);
    EXPECT_TRUE(Writes(command::kWriteSettings).empty());
}

// The recoil panel on the mouse page: edits reach the pattern file, the save
// button sends all four patterns in one image.
class MouseRecoilPage : public MousePageRoutes {
protected:
    void SetUp() override {
        MousePageRoutes::SetUp();
        devicePage->ShowOptionTab(9);  // the recoil tab
    }
    void Choose(const std::string& option) {
        On(option).SetSelected(true, false);
        ASSERT_TRUE(Raise("selectchanged", option));
    }
    void Type(const std::string& edit, const std::string& text) {
        On(edit).SetText(text);
        ASSERT_TRUE(Raise("killfocus", edit));
    }
    Json::Value Pattern(int n) { return LoadJson(mouse->DataFolder() + "ShootData_" + std::to_string(n) + ".Shoot"); }
};

TEST_F(MouseRecoilPage, ABulletEditedOnThePageReachesItsFileAndTheMouse) {
    for (int n = 0; n < 4; ++n) EXPECT_EQ(Pattern(n)["Events"].size(), 180u) << "factory copy " << n;
    Choose("shoot_gun_op_1");
    Choose("bullet_op_2");
    Type("bullet_x_eidt", "3");
    Type("bullet_y_eidt", "300");  // kept as typed, sent as its low byte
    Type("bullet_delay_eidt", "60");
    EXPECT_EQ(Pattern(1)["Events"][15]["Button"].asInt(), 300);
    EXPECT_TRUE(Writes(command::kWriteRecoilImage).empty());  // edits stay in the file
    ASSERT_TRUE(Raise("click", "shootdate_save_btn"));
    EXPECT_FALSE(Writes(command::kWriteRecoilImage).empty());
    EXPECT_TRUE(window.asked.empty());
    const std::vector<ImageEntry> image = rig.hub.Firmware("mouse")->RecoilImage();
    ASSERT_EQ(image.size(), 4u);
    ASSERT_EQ(image[1].size(), 180u);
    EXPECT_EQ(image[1][14], (ImageEvent{5, 0, 0x84, 3}));   // 3 to the left, as the factory bullet went
    EXPECT_EQ(image[1][15], (ImageEvent{60, 0, 0x05, 44}));  // 300 mod 256 down, then 60 ms
    EXPECT_EQ(image[0][3], (ImageEvent{95, 0, 0x05, 2}));    // the others as the factory made them
}

TEST_F(MouseRecoilPage, AnImageTooLargeForItsLengthsSendsNothingAndIsTold) {
    Json::Value pattern(Json::objectValue);
    Json::Value& events = pattern["Events"] = Json::Value(Json::arrayValue);
    Json::Value move(Json::objectValue);
    move["Type"] = 4;
    move["Button"] = 1;
    move["Action"] = "down";
    move["Delay"] = 5;
    // With the other three patterns' 540 events: 16 + 24 + 4 × 16,374 = 65,536 bytes.
    for (int i = 0; i < 16374 - 540; ++i) events.append(move);
    ASSERT_TRUE(SaveJson(mouse->DataFolder() + "ShootData_2.Shoot", pattern));
    ASSERT_TRUE(Raise("click", "shootdate_save_btn"));
    EXPECT_TRUE(rig.hub.Traffic().Entries().empty());  // not even the frame of a configuration
    EXPECT_EQ(window.asked, (std::vector<std::string>{"notice recoil_image_too_large_text"}));
}

TEST_F(MouseRecoilPage, AFileThatIsNoPatternIsRefusedWithAMessage) {
    folder.Write("bad.shoot", "{\"Events\": \"none\"}");
    const Json::Value before = Pattern(0);
    window.file = folder.File("bad.shoot");
    ASSERT_TRUE(Raise("click", "shootdate_import_btn"));
    EXPECT_EQ(window.asked, (std::vector<std::string>{"open", "notice recoil_import_refused"}));
    EXPECT_EQ(Pattern(0), before);
    // A chooser answered after the page left does nothing.
    window.asked.clear();
    window.onDialog = [this] { window.shown = nullptr; };
    window.file = folder.File("bad.shoot");
    ASSERT_TRUE(Raise("click", "shootdate_import_btn"));
    EXPECT_EQ(window.asked, std::vector<std::string>{"open"});
}

}  // namespace
}  // namespace m470
