#include <gtest/gtest.h>

#include "devices/HeadsetAudioSettings.h"
#include "panels/MagicControlUI.h"
#include "panels/Voice6533ControlUI.h"
#include "platform/Folders.h"
#include "support/FakeAudioLibrary.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

using ui::ControlType;

TEST(HeadsetLayouts, PanelsHaveEveryControlTheyUse) {
    test::RequiredControls voice{{"6533_MicIn_option", ControlType::Option},     {"6533_MicIn_slider", ControlType::Slider},
                                 {"6533_MicMoniter_option", ControlType::Option}, {"6533_MicMoniter_slider", ControlType::Slider},
                                 {"custom_eq_option_layout", ControlType::Container}, {"custom_eq_name_combo", ControlType::Combo},
                                 {"custom_eq_name_edit", ControlType::Edit},        {"hs_EQ_btn_save", ControlType::Button},
                                 {"hs_EQ_btn_delete", ControlType::Button},         {"hs_eq_not_applied_label", ControlType::Label}};
    for (int n = 1; n <= 13; ++n) voice.emplace_back("6533_eq_option_" + std::to_string(n), ControlType::Option);
    for (int i = 0; i < 10; ++i) {
        voice.emplace_back("6533_eq_hz_slider_" + std::to_string(i), ControlType::Slider);
        voice.emplace_back("hs_eq_db_label_" + std::to_string(i), ControlType::Label);
    }
    EXPECT_TRUE(test::LayoutHas(GetInstallFolder() + "skin/voice6533control.ui", voice));
    test::RequiredControls magic{{"magic_enable_option", ControlType::Option}, {"magic_option_layout", ControlType::Container}};
    for (int n = 1; n <= 4; ++n) magic.emplace_back("magic_option_" + std::to_string(n), ControlType::Option);
    EXPECT_TRUE(test::LayoutHas(GetInstallFolder() + "skin/magiccontrol.ui", magic));
    test::RequiredControls page{{"hs6533_device_key_light", ControlType::SelectPanel},
                                {"DeviceProfileItem", ControlType::Container},
                                {"LightControlItem", ControlType::Container},
                                {"Voice6533ControlItem", ControlType::Container},
                                {"MagicControlItem", ControlType::Container},
                                {"hs6533_device_seting_layout", ControlType::Tabs}};
    for (int i = 0; i < 13; ++i) page.emplace_back("light_" + std::to_string(i), ControlType::KeyButton);
    EXPECT_TRUE(test::LayoutHas(GetInstallFolder() + "skin/hs6533device.ui", page));
}

class HeadsetPanels : public ::testing::Test {
protected:
    void SetUp() override {
        voiceRoot = host.LoadLayout(GetInstallFolder() + "skin/voice6533control.ui");
        magicRoot = host.LoadLayout(GetInstallFolder() + "skin/magiccontrol.ui");
        folder.Write("p.Json", R"({"Device": [{"SystemSetStages": {"EqType": 3, "MicInSelect": 1, "MicInValue": 42,
                                   "MicMoniterSelect": 0, "MicMoniterValue": 7, "MagicEnable": 1, "MagicType": 2}}]})");
        profile.SetProfilePath(folder.File("p.Json"));
        profile.LoadDeviceSection(folder.File("p.Json"));
        settings.Load();
    }
    ui::Ctl Find(const char* name) { return host.Find(name); }

    ui::MemoryControlHost host;
    ui::MemoryControl* voiceRoot = nullptr;
    ui::MemoryControl* magicRoot = nullptr;
    test::TempFolder folder;
    test::FakeAudioLibrary fake;
    CHeadsetAudio audio;
    CHs6533Profiledata profile;
    CHeadsetAudioSettings settings{profile, audio, [this] { return profile.Save(); }, {}};
};

TEST_F(HeadsetPanels, AudioPanelShowsTheSettings) {
    CVoice6533ControlUI panel(host, voiceRoot);
    panel.Show(settings);
    EXPECT_TRUE(Find("6533_MicIn_option").Selected());
    EXPECT_EQ(Find("6533_MicIn_slider").Value(), 42);
    EXPECT_EQ(Find("hs_mic_value_label").Text(), "42");
    EXPECT_FALSE(Find("6533_MicMoniter_option").Selected());
    EXPECT_EQ(Find("6533_MicMoniter_slider").Value(), 7);
    EXPECT_EQ(panel.CurrentPreset(), 3);
    EXPECT_TRUE(Find("6533_eq_option_3").Selected());
    EXPECT_FALSE(Find("custom_eq_option_layout").Enabled());
    EXPECT_TRUE(Find("hs_eq_not_applied_label").Visible());  // no library: stored, not applied

    audio.InitAudio(fake.Path());
    settings.SelectPreset(3);
    settings.MoveBand(4, -13);
    panel.SetNameEdit("Mine");
    panel.Show(settings);
    EXPECT_TRUE(Find("6533_eq_option_13").Selected());
    EXPECT_FALSE(Find("6533_eq_option_3").Selected());
    EXPECT_TRUE(Find("custom_eq_option_layout").Enabled());
    EXPECT_EQ(panel.GetBand(4), -13);
    EXPECT_EQ(panel.GetBand(0), 10);
    EXPECT_EQ(panel.GetNameEdit(), "Mine");  // a redraw keeps what is being typed
    EXPECT_FALSE(Find("hs_eq_not_applied_label").Visible());

    ASSERT_EQ(settings.SaveCustom(panel.GetNameEdit(), panel.GetBands()), 1);
    panel.Show(settings);
    EXPECT_EQ(panel.GetNameCount(), 1);
    EXPECT_EQ(panel.GetName(0), "Mine");
    EXPECT_EQ(panel.GetSelectedName(), 0);
    EXPECT_EQ(panel.GetNameEdit(), "");  // the saved name left the edit
}

TEST_F(HeadsetPanels, AudioPanelOperationsOnTheirControls) {
    CVoice6533ControlUI panel(host, voiceRoot);
    panel.ShowPreset(20);
    EXPECT_EQ(panel.CurrentPreset(), 0);
    for (int n = 1; n <= 13; ++n) EXPECT_FALSE(Find(("6533_eq_option_" + std::to_string(n)).c_str()).Selected());
    EXPECT_EQ(panel.GetBand(10), -1);
    panel.SetBand(9, 18);
    EXPECT_EQ(panel.GetBands()[9], 18);
    panel.AddName("a");
    panel.AddName("b");
    panel.SetNameEdit("x");
    panel.SelectName(1);
    EXPECT_EQ(panel.GetSelectedName(), 1);
    EXPECT_EQ(panel.GetNameEdit(), "");
    panel.RemoveName(0);
    panel.RemoveName(5);
    EXPECT_EQ(panel.GetNameCount(), 1);
    EXPECT_EQ(panel.GetName(0), "b");
    panel.RemoveAllNames();
    EXPECT_EQ(panel.GetSelectedName(), -1);

    ui::MemoryControlHost empty;
    ui::MemoryControl* bare = empty.CreateControl("QWidget", "bare", nullptr);
    CVoice6533ControlUI missing(empty, bare);
    EXPECT_EQ(missing.GetSelectedName(), -1);
    EXPECT_EQ(missing.GetBand(0), -1);
    missing.Show(settings);  // missing controls are skipped
}

TEST_F(HeadsetPanels, VoiceChangerPanelShowsOnOffAndTheEffect) {
    CMagicControlUI panel(host, magicRoot);
    panel.Show(settings);
    EXPECT_TRUE(panel.IsEnabled());
    EXPECT_TRUE(Find("magic_option_layout").Enabled());
    EXPECT_TRUE(Find("magic_option_2").Selected());
    EXPECT_EQ(panel.CurrentEffect(), 2);

    audio.InitAudio(fake.Path());
    fake.Set("MagicVoice_Selection", "2");
    settings.TakeReadings(audio.ReadAudioState());
    settings.ToggleVoiceChanger(false);
    panel.Show(settings);
    EXPECT_FALSE(panel.IsEnabled());
    EXPECT_FALSE(Find("magic_option_layout").Enabled());
    EXPECT_TRUE(Find("magic_option_3").Selected());  // selection 2 shows effect 3
    EXPECT_FALSE(Find("magic_option_2").Selected());
    panel.ShowEffect(0);
    EXPECT_EQ(panel.CurrentEffect(), 0);
    EXPECT_FALSE(Find("magic_option_3").Selected());
}

}  // namespace
}  // namespace m470
