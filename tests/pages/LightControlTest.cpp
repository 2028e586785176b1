#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "support/PlainDevice.h"
#include "device_link/CommandCodes.h"
#include "devices/CustomColours.h"
#include "devices/MouseDevice.h"
#include "devices/MousePadDevice.h"
#include "pages/LightControlUI.h"
#include "pages/LightingPanel.h"
#include "pages/PageBuilder.h"
#include "lighting/SameMode.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "ui/MemoryControlTree.h"
#include "support/Eventually.h"
#include "support/TempFolder.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

class LightPanel : public ::testing::Test {
public:
    void SetUp() override { root = host.LoadLayout(GetInstallFolder() + "skin/lightcontrol.ui"); }
    ui::Ctl Find(const char* name) { return host.FindUnder(root, name); }
    // The enabled groups as "7col colour palette bright speed dir" digits.
    std::string Groups() {
        std::string state;
        for (const char* name : {"deng_7color_check", "deng_color_layout", "colorpallet_layout", "deng_light_layout",
                                 "deng_speed_layout", "deng_fx_layout"})
            state += Find(name).Enabled() ? '1' : '0';
        return state;
    }

    // A fresh panel over the layout, told its kind.
    CLightControlUI& Panel(int kind = 0) {
        panel_.emplace(host, root);
        panel_->SetKind(kind);
        return *panel_;
    }

    ui::MemoryControlHost host;
    ui::MemoryControl* root = nullptr;
    std::optional<CLightControlUI> panel_;
};

struct ModeExpectation {
    std::string groups;  // as Groups()
    bool same;           // the same-mode button, with two or more devices
};

// Expected per kind and mode; a mode not listed enables nothing and hides the button.
void ExpectRules(CLightControlUI& panel, LightPanel& test, int lastMode, const std::map<int, ModeExpectation>& table,
                 bool directionTouched = true) {
    for (int mode = 0; mode <= lastMode; ++mode) {
        const auto found = table.find(mode);
        const ModeExpectation want = found != table.end() ? found->second : ModeExpectation{"000000", false};
        panel.SetSameModeAvailable(1);
        panel.ApplyEnableRules(mode);
        const std::string groups = test.Groups();
        EXPECT_EQ(directionTouched ? groups : groups.substr(0, 5), directionTouched ? want.groups : want.groups.substr(0, 5))
            << "mode " << mode;
        EXPECT_TRUE(test.Find("lighteffect_layout").Enabled());
        if (directionTouched) EXPECT_EQ(test.Find("deng_same_mode").Visible(), want.same) << "mode " << mode;
        panel.SetSameModeAvailable(0);
        EXPECT_FALSE(test.Find("deng_same_mode").Visible() && directionTouched) << "one device, mode " << mode;
    }
}

TEST_F(LightPanel, KeyboardModesEnableTheirGroups) {
    CLightControlUI& panel = Panel(kLightKindKeyboard);
    std::map<int, ModeExpectation> table{
        {1, {"111111", false}},  {2, {"111111", false}},  {3, {"111111", false}},  {24, {"111111", false}},
        {4, {"000110", true}},   {5, {"111110", true}},   {23, {"111110", true}},  {6, {"111100", true}},
        {11, {"000110", false}}, {26, {"000110", false}}, {12, {"000111", false}}, {16, {"111100", false}},
        {17, {"000110", false}}, {18, {"000101", false}}, {20, {"011100", false}}, {21, {"111111", false}},
        {27, {"000110", false}}, {28, {"000000", true}},  {29, {"111101", false}}, {30, {"000100", false}},
    };
    for (int mode : {7, 8, 9, 10, 13, 14, 15, 22, 25}) table[mode] = {"111110", false};
    ExpectRules(panel, *this, 32, table);

    // The extras of the rows.
    const auto layoutsAfter = [&](int mode) {
        panel.ApplyEnableRules(mode);
        return std::string{Find("light_color_layout").Enabled() ? '1' : '0', Find("deng_speed_layout").Visible() ? '1' : '0',
                           Find("light_combo_ZZCCmodeSelectLayout").Visible() ? '1' : '0',
                           Find("lightcustom_layout").Visible() ? '1' : '0',
                           Find("light_combo_AudiomodeSelectLayout").Visible() ? '1' : '0',
                           static_cast<char>('0' + Find("light_color_tablayout").Page())};
    };
    EXPECT_EQ(layoutsAfter(1), "110000");
    EXPECT_EQ(layoutsAfter(4), "010000");
    EXPECT_EQ(layoutsAfter(17), "001000");
    EXPECT_EQ(layoutsAfter(20), "100100");
    EXPECT_EQ(layoutsAfter(29), "100011");
    EXPECT_EQ(layoutsAfter(30), "010000");
    EXPECT_EQ(layoutsAfter(2), "110000");  // every step starts from the reset

    panel.ApplyEnableRules(3);
    EXPECT_EQ(Find("deng_FXL_check").Text(), "light_set_clockwise_text");
    panel.ApplyEnableRules(18);
    EXPECT_EQ(Find("deng_FXR_check").Text(), "light_set_inside_to_outside_text");
    panel.ApplyEnableRules(1);
    EXPECT_EQ(Find("deng_FXL_check").Text(), "light_set_right_to_left_text");
    EXPECT_EQ(Find("deng_FXR_check").Text(), "light_set_left_to_right_text");
}

TEST_F(LightPanel, MouseModesNeverShowSameMode) {
    CLightControlUI& panel = Panel(kLightKindMouse);
    std::map<int, ModeExpectation> table{{0, {"111110", false}}, {4, {"111110", false}}, {6, {"111110", false}},
                                         {1, {"000110", false}}, {2, {"011100", false}}, {5, {"111111", false}},
                                         {9, {"111111", false}}, {7, {"000110", false}}, {8, {"000110", false}},
                                         {11, {"111101", false}}};
    ExpectRules(panel, *this, 13, table);
    panel.ApplyEnableRules(11);
    EXPECT_FALSE(Find("deng_speed_layout").Visible());
    EXPECT_TRUE(Find("light_combo_AudiomodeSelectLayout").Visible());
    EXPECT_EQ(Find("light_color_tablayout").Page(), 1);
    panel.ApplyEnableRules(0);
    EXPECT_TRUE(Find("deng_speed_layout").Visible());
    EXPECT_EQ(Find("light_color_tablayout").Page(), 0);
    EXPECT_EQ(Find("deng_FXL_check").Text(), "light_set_down_to_up_text");
}

TEST_F(LightPanel, PadAndHeadsetShareTheirTable) {
    const std::map<int, ModeExpectation> table{{0, {"111111", false}}, {1, {"000110", true}}, {2, {"111110", true}},
                                               {4, {"111110", true}},  {3, {"011100", true}}, {8, {"000000", true}}};
    for (int kind : {kLightKindMousePad, kLightKindHeadset, kLightKindHeadset2}) ExpectRules(Panel(kind), *this, 10, table);
}

TEST_F(LightPanel, HubLeavesDirectionAndSameModeAlone) {
    CLightControlUI& panel = Panel(kLightKindHub);
    Find("deng_fx_layout").SetEnabled(false);
    ExpectRules(panel, *this, 6, {{0, {"111110", false}}, {2, {"111110", false}}, {3, {"111110", false}},
                                  {1, {"011100", false}}, {4, {"000110", false}}},
                false);
    EXPECT_FALSE(Find("deng_fx_layout").Enabled());
}

TEST_F(LightPanel, ShowLightFillsEveryControl) {
    CLightControlUI& panel = Panel(kLightKindMousePad);
    panel.InitModes({"light_mode_wave", "light_mode_spectrum", "light_mode_breathing", "light_mode_static"},
                    {true, true, false, true}, 4, 4);
    EXPECT_EQ(Find("light_combo_modeSelect").ItemCount(), 4);
    EXPECT_FALSE(host.FindUnder(root, "light_combo_modeSelect")->ItemVisible(2));
    EXPECT_EQ(host.FindUnder(root, "deng_speed_slider")->Maximum(), 4);

    LightInfo info;
    info.selectItem = 3, info.light = 2, info.speed = 4, info.fx = 1, info.multiColor = 1;
    info.red = 18, info.green = 52, info.blue = 255;
    panel.ShowLight(info);
    EXPECT_EQ(panel.GetMode(), 3);
    EXPECT_EQ(Groups(), "011100");
    EXPECT_EQ(panel.GetBrightness(), 2);
    EXPECT_EQ(panel.GetSpeed(), 4);
    EXPECT_EQ(Find("deng_edit_G").Text(), "52");
    EXPECT_EQ(panel.GetPaletteColour(), 0xFF1234FFu);
    EXPECT_EQ(Find("deng_colordp_btn").BkColour(), 0xFF1234FFu);
    EXPECT_TRUE(panel.GetSevenColour());
    EXPECT_TRUE(Find("deng_FXL_check").Selected());
    EXPECT_FALSE(Find("deng_FXR_check").Selected());
    info.fx = 2;  // anything but 1 is the other direction
    panel.ShowLight(info);
    EXPECT_FALSE(Find("deng_FXL_check").Selected());
    EXPECT_TRUE(Find("deng_FXR_check").Selected());
    EXPECT_EQ(panel.SwatchColour(0), 0xFFFF0000u);  // the layout's swatch colours
    EXPECT_EQ(panel.SwatchColour(99), 0u);
}

TEST(ColourChannel, EditTextRules) {
    EXPECT_EQ(ParseColourChannel("300"), 255);
    EXPECT_EQ(ParseColourChannel(""), 0);
    EXPECT_EQ(ParseColourChannel("12ab"), 12);
    EXPECT_EQ(ParseColourChannel("ab12"), 0);
    EXPECT_EQ(ParseColourChannel("-5"), 0);
    EXPECT_EQ(ParseColourChannel("99999999999999999999"), 255);
    EXPECT_EQ(ParseColourChannel("255"), 255);
}

TEST_F(LightPanel, AudioSubPanelShowsTheTargetColour) {
    CLightControlUI& panel = Panel(kLightKindMouse);
    AudioLightInfo info;
    info.audioMode = 1;
    info.bkColorR = 1, info.bkColorG = 2, info.bkColorB = 3;
    info.fgColorR = 200, info.fgColorG = 100, info.fgColorB = 50;
    info.sevenColorFlags = 1;
    info.colorTypeFlags = 1;
    panel.SetAudioLightInfo(info);
    EXPECT_TRUE(Find("audio_FgColor_check").Selected());
    EXPECT_TRUE(Find("deng_7audiocolor_check").Enabled());
    EXPECT_TRUE(Find("deng_7audiocolor_check").Selected());
    EXPECT_EQ(Find("deng_audioedit_R").Text(), "200");
    EXPECT_EQ(Find("deng_audiocolordp_btn").BkColour(), 0xFFC86432u);
    EXPECT_TRUE(Find("light_audiocolor_layout").Enabled());

    // Switching the target to the background takes the button's colour there.
    Find("audio_BkColor_check").SetSelected(true, false);
    Find("audio_FgColor_check").SetSelected(false, false);
    Find("deng_audiocolordp_btn").SetBkColour(0xFF0A0B0Cu);
    const AudioLightInfo read = panel.GetAudioLightInfo(true);
    EXPECT_EQ(read.colorTypeFlags, 0);
    EXPECT_EQ(read.bkColorR, 10);
    EXPECT_EQ(read.bkColorB, 12);
    EXPECT_EQ(read.fgColorR, 200);
    EXPECT_EQ(read.audioMode, 1);

    info.audioMode = 3;
    info.colorTypeFlags = 0;
    panel.SetAudioLightInfo(info);
    EXPECT_FALSE(Find("light_audiocolor_layout").Enabled());
    EXPECT_FALSE(Find("audiocolorpallet_layout").Enabled());
    EXPECT_FALSE(Find("deng_7audiocolor_check").Enabled());
    EXPECT_EQ(Find("deng_audioedit_B").Text(), "3");
    EXPECT_EQ(panel.GetLightAudioColor(7), "");
}

TEST(LightPanelFailures, AudioControlsMissingAbandonTheOperation) {
    ui::MemoryControlHost host;
    ui::Control* empty = host.CreateControl("QWidget", "LightControlItem", nullptr);
    CLightControlUI panel(host, empty);
    panel.SetKind(kLightKindMouse);
    const auto message = [](auto operation) {
        try {
            operation();
        } catch (const LightPanelError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { panel.SetAudioLightInfo({}); }), " SetAudioLightInfo control is NULL");
    EXPECT_EQ(message([&] { panel.GetAudioLightInfo(false); }), "GetAudioLightInfo control is NULL");
    EXPECT_EQ(message([&] { panel.GetLightAudioColor(0); }), "GetLightAudioColor control is NULL");
    // The other accessors have neutral values.
    EXPECT_EQ(panel.GetMode(), -1);
    EXPECT_EQ(panel.GetPaletteColour(), 0xFF000000u);
    EXPECT_EQ(panel.GetBrightness(), 0);
    panel.ShowLight({});
    panel.SetDirection(1);
}

TEST(SameModeMapping, ThroughTheSharedEffect) {
    const auto copy = [](int fromKind, int mode, int toKind) -> int {
        const auto effect = SharedEffectOf(fromKind, mode);
        if (!effect) return -1;
        return ModeOfSharedEffect(toKind, *effect).value_or(-2);
    };
    EXPECT_EQ(copy(kLightKindKeyboard, 5, kLightKindMouse), 0);
    EXPECT_EQ(copy(kLightKindKeyboard, 5, kLightKindMousePad), 2);
    EXPECT_EQ(copy(kLightKindKeyboard, 5, kLightKindHeadset2), 2);
    EXPECT_EQ(copy(kLightKindKeyboard, 7, kLightKindMouse), -1);
    EXPECT_EQ(copy(kLightKindKeyboard, 28, kLightKindMouse), 3);
    EXPECT_EQ(copy(kLightKindKeyboard, 4, kLightKindMousePad), 1);
    EXPECT_EQ(copy(kLightKindMouse, 2, kLightKindKeyboard), 6);
    EXPECT_EQ(copy(kLightKindMouse, 4, kLightKindMousePad), 4);
    EXPECT_EQ(copy(kLightKindMousePad, 8, kLightKindKeyboard), 28);
    EXPECT_EQ(copy(kLightKindMousePad, 3, kLightKindMouse), 2);
    EXPECT_EQ(copy(kLightKindMousePad, 0, kLightKindMouse), -1);
    EXPECT_EQ(copy(kLightKindHub, 0, kLightKindMouse), -1);
    EXPECT_EQ(LightKindOf(DeviceKind::MouseReceiver), kLightKindMouse);
}

// ---- the handlers on virtual products ----

class LightEdits : public ::testing::Test {
protected:
    void SetUp() override {
        rig.hub.Plug("mousepad");
        rig.hub.Plug("mouse");
        padPage = host.LoadLayout(GetInstallFolder() + "skin/mousepaddevice.ui");
        pad = std::make_unique<CVantrelMousePadDevice>(rig.hub.Backend());
        padView = CPageBuilder::MakePage(*pad, host, padPage, nullptr);
        padView->Lighting();  // edited as once its tab has shown
        rig.Open(pad->Transport(), "mousepad", LinkWired);
        pad->LoadAssignments();
        pad->StopLightingThread();
    }
    void TearDown() override {
        mouseView.reset();
        padView.reset();
        mouse.reset();
        pad.reset();
    }
    void AddMouse() {
        mousePage = host.LoadLayout(GetInstallFolder() + "skin/mousedevice.ui");
        mouse = std::make_unique<CVantrelMouseDevice>(rig.hub.Backend());
        mouseView = CPageBuilder::MakePage(*mouse, host, mousePage, nullptr);
        mouseView->Lighting();
        rig.Open(mouse->Transport(), "mouse", LinkWired);
        mouse->LoadAssignments();
        mouse->StopLightingThread();
    }
    ui::Ctl OnPad(const char* name) { return host.FindUnder(padPage, name); }
    LightEditResult Send(const char* event, const char* name) {
        ui::Notification n;
        n.event = event;
        n.sender = host.FindUnder(padPage, name);
        n.senderName = name;
        return padView->Lighting()->Handle(n);
    }
    std::vector<uint8_t> PadMemory() { return rig.hub.Firmware("mousepad")->Area(command::kReadSettings); }

    test::TempFolder folder;
    test::VirtualRig rig;
    ui::MemoryControlHost host;
    ui::MemoryControl *padPage = nullptr, *mousePage = nullptr;
    std::unique_ptr<CVantrelMousePadDevice> pad;
    std::unique_ptr<CVantrelMouseDevice> mouse;
    std::unique_ptr<CDevicePage> padView, mouseView;
};

TEST_F(LightEdits, ModeBrightnessAndColourReachThePadAndItsProfile) {
    ASSERT_NE(padView->LightPanel(), nullptr);
    OnPad("light_combo_modeSelect").SelectItem(3, false);
    EXPECT_EQ(Send("itemselect", "light_combo_modeSelect").write, 0);
    EXPECT_EQ(PadMemory()[pad_record::kMode], 0x04);  // the code of the pad's mode 3 in default_light.json
    OnPad("deng_light_slider").SetValue(1, false);
    Send("valuechanged", "deng_light_slider");
    EXPECT_EQ(PadMemory()[pad_record::kBrightness], 1);

    pad->SetSynced(true);
    OnPad("deng_7color_check").SetSelected(true, false);
    Send("selectchanged", "deng_7color_check");
    EXPECT_FALSE(pad->Synced());  // an edit leaves same mode
    EXPECT_EQ(PadMemory()[pad_record::kSevenColours], 1);

    // "300" is cut to 255 and shown so; picking a colour clears the seven-colour flag.
    OnPad("deng_edit_R").SetText("300");
    Send("killfocus", "deng_edit_R");
    EXPECT_EQ(OnPad("deng_edit_R").Text(), "255");
    EXPECT_FALSE(OnPad("deng_7color_check").Selected());
    EXPECT_EQ(PadMemory()[pad_record::kRed], 255);
    EXPECT_EQ(PadMemory()[pad_record::kSevenColours], 0);
    OnPad("deng_edit_G").SetText("");
    Send("killfocus", "deng_edit_G");
    EXPECT_EQ(OnPad("deng_edit_G").Text(), "0");

    const Json::Value saved = LoadJson(pad->GetProfilePath())["Device"][0]["LightInfo"];
    EXPECT_EQ(saved["SelectItem"].asInt(), 3);
    EXPECT_EQ(saved["Light"].asInt(), 1);
    EXPECT_EQ(saved["Red"].asInt(), 255);
    EXPECT_EQ(saved["MultiColor"].asInt(), 0);
}

TEST_F(LightEdits, ThePreviewFollowsTheChosenEffect) {
    OnPad("light_combo_modeSelect").SelectItem(1, false);  // spectrum
    Send("itemselect", "light_combo_modeSelect");
    OnPad("deng_speed_slider").SetValue(4, false);
    Send("valuechanged", "deng_speed_slider");
    pad->StartLightingThread();
    ui::Control* led = host.FindUnder(padPage, "light_0");
    ASSERT_NE(led, nullptr);
    std::vector<uint32_t> seen;
    EXPECT_TRUE(test::Eventually([&] {
        pad->OnRenderTimer();
        if (seen.empty() || seen.back() != led->LightColour()) seen.push_back(led->LightColour());
        return seen.size() >= 3;
    })) << "the picture should move through the colour wheel";
    pad->StopLightingThread();
    EXPECT_GT(led->LightLevel(), 0);
}

TEST_F(LightEdits, SwatchAndPaletteSetTheWholeColour) {
    OnPad("deng_7color_check").SetSelected(true, false);
    Send("selectchanged", "deng_7color_check");
    Send("click", "color_option_5");  // blue in the layout
    EXPECT_EQ(OnPad("deng_edit_B").Text(), "255");
    EXPECT_EQ(OnPad("deng_edit_R").Text(), "0");
    EXPECT_FALSE(OnPad("deng_7color_check").Selected());
    EXPECT_EQ(pad->GetLightInfo().blue, 255);
    EXPECT_EQ(pad->GetLightInfo().multiColor, 0);

    OnPad("deng_Color_Pallet").SetBkColour(0xFF102030u);
    Send("colorchanged", "deng_Color_Pallet");
    const std::vector<uint8_t> memory = PadMemory();
    EXPECT_EQ((std::vector<uint8_t>(memory.begin() + pad_record::kRed, memory.begin() + pad_record::kRed + 3)),
              (std::vector<uint8_t>{0x10, 0x20, 0x30}));
    EXPECT_EQ(OnPad("deng_colordp_btn").BkColour(), 0xFF102030u);
    EXPECT_EQ(OnPad("deng_edit_G").Text(), "32");
}

TEST_F(LightEdits, AudioEditsAreSavedButNotWritten) {
    const size_t before = rig.hub.Traffic().Entries().size();
    OnPad("audio_FgColor_check").SetSelected(true, false);
    OnPad("audio_BkColor_check").SetSelected(false, false);
    Send("selectchanged", "audio_FgColor_check");
    OnPad("deng_audioedit_G").SetText("400");
    Send("killfocus", "deng_audioedit_G");
    EXPECT_EQ(pad->GetAudioLightInfo().fgColorG, 255);
    EXPECT_EQ(pad->GetAudioLightInfo().colorTypeFlags, 1);
    EXPECT_EQ(OnPad("deng_audioedit_G").Text(), "255");  // shown again from the record
    Send("click", "Close_bkColor_btn");
    EXPECT_EQ(pad->GetAudioLightInfo().bkColorR, 0);
    EXPECT_EQ(rig.hub.Traffic().Entries().size(), before);
    EXPECT_EQ(LoadJson(pad->GetProfilePath())["Device"][0]["AudioLightInfo"]["FgColorG"].asInt(), 255);
}

TEST_F(LightEdits, SameModeCopiesThePadsEffectToTheMouse) {
    AddMouse();
    LightInfo info = pad->GetLightInfo();
    info.selectItem = 2;  // breathing on the pad
    info.light = 3;
    info.red = 7;
    pad->StoreLightInfo(info);
    const auto shared = ApplySameMode(*pad, {pad.get(), mouse.get()});
    ASSERT_TRUE(shared.has_value());
    EXPECT_EQ(shared->effect, SharedEffect::Breathing);
    EXPECT_EQ(shared->brightness, 3);
    EXPECT_EQ(mouse->GetLightInfo().selectItem, 0);  // the mouse's breathing
    EXPECT_EQ(mouse->GetLightInfo().light, 3);
    EXPECT_EQ(mouse->GetLightInfo().red, 7);
    EXPECT_TRUE(mouse->Synced());
    EXPECT_TRUE(pad->Synced());
    EXPECT_EQ(mouseView->LightPanel()->GetMode(), 0);
    EXPECT_EQ(LoadJson(mouse->GetProfilePath())["Device"][0]["LightInfo"]["SelectItem"].asInt(), 0);

    // A mode without a shared effect copies nothing.
    info.selectItem = 5;
    pad->StoreLightInfo(info);
    mouse->SetSynced(false);
    EXPECT_FALSE(ApplySameMode(*pad, {pad.get(), mouse.get()}).has_value());
    EXPECT_FALSE(mouse->Synced());
    // A closed device is passed over.
    info.selectItem = 3;
    pad->StoreLightInfo(info);
    mouse->Transport().SetOpened(false);
    ApplySameMode(*pad, {pad.get(), mouse.get()});
    EXPECT_FALSE(mouse->Synced());
    EXPECT_EQ(mouse->GetLightInfo().selectItem, 0);
}

}  // namespace
}  // namespace m470

namespace m470 {
namespace {

// A keyboard stand-in: records what the custom-lighting handlers ask of it.
class RecordingKeyboard : public test::PlainDevice, public CustomColours {
public:
    RecordingKeyboard() : test::PlainDevice(DeviceKind::Keyboard) { capabilities_.customColours = this; }
    int WriteToDevice(int, int, int, int, int) override {
        calls.push_back("write");
        return kResultSuccess;
    }
    int ApplyProfile() override {
        calls.push_back("apply");
        return 0;
    }
    void SwitchCustomGroup(int group) override { calls.push_back("group " + std::to_string(group)); }
    void RedrawCustomLighting() override { calls.push_back("redraw"); }
    void SetCustomColour(int on, bool store) override {
        calls.push_back("colour " + std::to_string(on) + (store ? "" : " unkept"));
    }
    void AfterProfileReset() override { calls.push_back("reset"); }
    bool Custom() const override { return false; }
    int CustomGroup() const override { return 0; }
    int WriteColourPage(size_t key) override { return WriteColourPage(std::vector<size_t>{key}); }
    int WriteColourPage(const std::vector<size_t>& keys) override {
        calls.push_back("paint " + std::to_string(keys.size()));
        return kResultSuccess;
    }
    std::vector<std::string> calls;
};

TEST(KeyboardLightEdits, CustomGroupAndColourButtons) {
    test::TempFolder folder;
    ui::MemoryControlHost host;
    ui::MemoryControl* page = host.CreateControl("QWidget", "keyboard_page", nullptr);
    ui::MemoryControl* item = host.CreateControl("QWidget", "LightControlItem", page);
    host.LoadLayout(GetInstallFolder() + "skin/lightcontrol.ui", item);
    RecordingKeyboard keyboard;
    CDevicePage view(keyboard, host, page, nullptr);
    view.AddLighting();
    ASSERT_NE(view.LightPanel(), nullptr);
    EXPECT_EQ(view.LightPanel()->Kind(), kLightKindKeyboard);
    EXPECT_EQ(ui::Ctl(host.FindUnder(page, "light_combo_modeSelect")).ItemCount(), 31);  // the keyboard's list

    ui::Ctl groups = host.FindUnder(page, "light_combo_custommodeSelect");
    for (const char* name : {"group 1", "group 2", "group 3"}) groups.AddItem(name);
    groups.SelectItem(2, false);
    const auto send = [&](const char* event, const char* name) {
        ui::Notification n;
        n.event = event;
        n.senderName = name;
        n.sender = host.FindUnder(page, name);
        return view.Lighting()->Handle(n);
    };
    keyboard.SetSynced(true);
    EXPECT_TRUE(send("itemselect", "light_combo_custommodeSelect").handled);
    EXPECT_EQ(keyboard.calls, (std::vector<std::string>{"group 2", "write", "redraw"}));  // no reload
    EXPECT_EQ(keyboard.GetLightInfo().customGroup, 2);

    keyboard.calls.clear();
    send("click", "custom_bright_color_btn");
    send("click", "custom_off_color_btn");
    EXPECT_EQ(keyboard.calls, (std::vector<std::string>{"colour 1", "colour 0"}));
    // With no group chosen the keys are lit but nothing is kept.
    groups.SelectItem(-1, false);
    keyboard.calls.clear();
    send("click", "custom_bright_color_btn");
    EXPECT_EQ(keyboard.calls, (std::vector<std::string>{"colour 1 unkept"}));
    groups.SelectItem(2, false);

    // The secondary mode keeps same mode on; other edits end it.
    keyboard.calls.clear();
    host.FindUnder(page, "light_combo_ZZCCmodeSelect")->AddItem("second");
    ui::Ctl(host.FindUnder(page, "light_combo_ZZCCmodeSelect")).SelectItem(0, false);
    send("itemselect", "light_combo_ZZCCmodeSelect");
    EXPECT_TRUE(keyboard.Synced());
    EXPECT_EQ(keyboard.calls, (std::vector<std::string>{"apply", "write"}));
    send("valuechanged", "deng_speed_slider");
    EXPECT_FALSE(keyboard.Synced());
}

}  // namespace
}  // namespace m470
