#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/MouseDevice.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "platform/Folders.h"
#include "pages/KeyMacroPanels.h"
#include "pages/RecoilPanel.h"
#include "platform/Text.h"
#include "support/VirtualPage.h"
#include "shell/SkinChange.h"
#include "shell/WindowRoutes.h"
#include "ui/Ctl.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

struct RecordingWindow : WindowActions {
    void CloseWindow() override { calls.push_back("close"); }
    void MinimizeWindow() override { calls.push_back("minimize"); }
    bool ToggleMaximized() override {
        maximized = !maximized;
        calls.push_back(maximized ? "maximize" : "restore");
        return maximized;
    }
    void ShowSettingsMenu() override { calls.push_back("menu"); }
    void ToggleLightingControl() override { calls.push_back("lighting"); }
    void OpenSystemSettings(int panel) override { calls.push_back("system " + std::to_string(panel)); }
    void ChooseDevice(ui::Control* entry) override { calls.push_back("device " + (entry ? entry->Name() : "none")); }
    void OpenMusic() override { calls.push_back("music"); }
    void OpenSkinChooser() override { calls.push_back("skin"); }
    std::vector<std::string> calls;
    bool maximized = false;
};

// The window's own controls on the real main-window layout.
class WindowControls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(host.LoadLayout(GetInstallFolder() + "skin/mainwindow.ui"), nullptr); }
    bool Send(const std::string& event, const std::string& name, ui::Control* sender = nullptr) {
        if (sender == nullptr) sender = host.Find(name);
        return routes.Route({event, sender, name, 0, 0});
    }
    ui::Ctl Find(const std::string& name) { return host.Find(name); }

    ui::MemoryControlHost host;
    RecordingWindow window;
    CWindowRoutes routes{host, window};
};

TEST_F(WindowControls, EachButtonOfTheLayoutAsksItsActionAndMaximisingSwapsTheButtons) {
    for (const char* name : {"closebtn", "minbtn", "maxbtn", "restorebtn", "setbtn", "control_light_status", "skinbtn"}) {
        ASSERT_TRUE(Find(name)) << name << " is not on the layout";
        EXPECT_TRUE(Send("click", name)) << name;
    }
    EXPECT_EQ(window.calls,
              (std::vector<std::string>{"close", "minimize", "maximize", "restore", "menu", "lighting", "skin"}));
    EXPECT_TRUE(Find("maxbtn").Visible());  // restored again
    EXPECT_FALSE(Find("restorebtn").Visible());
    window.calls.clear();
    EXPECT_TRUE(Send("click", "MAXBTN"));  // layouts' names compare without case
    EXPECT_FALSE(Find("maxbtn").Visible());
    EXPECT_TRUE(Find("restorebtn").Visible());
    EXPECT_EQ(window.calls, std::vector<std::string>{"maximize"});

    // Other events of the same controls, and controls of a page, are not the window's.
    window.calls.clear();
    EXPECT_FALSE(Send("selectchanged", "closebtn"));
    EXPECT_FALSE(Send("click", "device_add_btn"));
    EXPECT_FALSE(Send("click", "closebtn_2"));
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(WindowControls, SystemSettingsLinksColourLabelsAndTheDeviceSelector) {
    ui::MemoryControl* root = static_cast<ui::MemoryControl*>(host.Find("root"));
    ui::MemoryControl* slider = host.CreateControl("QSlider", "G_light_slider", root);
    host.CreateControl("QLabel", "G_light_label", root);
    ui::MemoryControl* entry = host.CreateControl("QRadioButton", "device_select", root);
    slider->SetValue(42, false);
    EXPECT_TRUE(Send("valuechanged", "G_light_slider"));
    EXPECT_EQ(Find("G_light_label").Text(), "G 42");

    EXPECT_TRUE(Send("click", "windowdeviceset_0"));
    EXPECT_TRUE(Send("click", "windowdeviceset_1"));
    EXPECT_TRUE(Send("click", "windowdeviceset_2"));  // no such panel: taken, nothing opened
    EXPECT_TRUE(Send("selectchanged", "device_select", entry));
    EXPECT_EQ(window.calls, (std::vector<std::string>{"system 0", "system 1", "device device_select"}));
}

TEST_F(WindowControls, WhatTheWindowShowsOnItsControls) {
    routes.ShowConnected(false);
    EXPECT_TRUE(Find("No_device_Link").Visible());
    routes.ShowConnected(true);
    EXPECT_FALSE(Find("No_device_Link").Visible());
    routes.ShowLightingControl(false);
    EXPECT_EQ(Find("control_light_status").Text(), "control_light_off");
    routes.ShowLightingControl(true);
    EXPECT_EQ(Find("control_light_status").Text(), "control_light_on");
    EXPECT_FALSE(Find("setting_progress").Visible());
    routes.ShowUpdateProgress();
    EXPECT_TRUE(Find("setting_progress").Visible());
    Find(CWindowRoutes::kSettingsButton).Get()->SetForeImage("update_mark.png");
    routes.ClearSettingsMark();
    EXPECT_EQ(Find(CWindowRoutes::kSettingsButton).Get()->ForeImage(), "");
    EXPECT_TRUE(Find(CWindowRoutes::kTitleBar));
}

// The page goes first and the window's routes after it: a page panel that
// took one of the window's names would hide that control from the window.
class PagesBesideTheWindow : public test::VirtualPageTest {
protected:
    void TearDown() override {
        pages.clear();
        devices.clear();
    }
    template <class Device>
    void AddPage(const std::string& layout) {
        ui::Control* root = host.LoadLayout(GetInstallFolder() + "skin/" + layout);
        ASSERT_NE(root, nullptr) << layout;
        devices.push_back(std::make_unique<Device>(rig.hub.Backend()));
        pages.push_back(CPageBuilder::MakePage(*devices.back(), host, root, nullptr));
    }
    std::vector<std::unique_ptr<CVantrelUSBDevice>> devices;
    std::vector<std::unique_ptr<CDevicePage>> pages;
};

TEST_F(PagesBesideTheWindow, NoPagePanelRoutesAControlOfTheWindow) {
    AddPage<CVantrelMouseDevice>("mousedevice.ui");
    AddPage<CVantrelKeyboardDevice>("keyboarddevice.ui");
    RecordingWindow window;
    const CWindowRoutes routes(host, window);
    const std::vector<std::string> windowNames = routes.Routes().Names();
    ASSERT_GE(windowNames.size(), 9u);
    size_t panels = 0;
    for (const auto& page : pages) {
        for (const CPagePanel* panel : {static_cast<const CPagePanel*>(page->PanelOf<CProfileStripPanel>()),
                                        static_cast<const CPagePanel*>(page->Lighting())}) {
            ASSERT_NE(panel, nullptr);
            ++panels;
            for (const std::string& own : panel->Routes().Names())
                for (const std::string& name : windowNames) EXPECT_FALSE(EqualsIgnoringCase(own, name)) << own;
        }
    }
    // The product panels: the mouse's settings, the keyboard's keys and system
    // tab, and the key, macro and recoil panels (built as their tabs would be).
    for (const auto& page : pages) {
        page->PanelOf<CKeyMacroPanels>();
        page->PanelOf<CRecoilPanel>();
    }
    ASSERT_NE(pages[0]->PanelOf<CKeyMacroPanels>(), nullptr);
    ASSERT_NE(pages[1]->PanelOf<CKeyMacroPanels>(), nullptr);
    for (const std::string& name : windowNames) {
        EXPECT_FALSE(pages[0]->Route({"click", nullptr, name, 0, 0})) << name;
        EXPECT_FALSE(pages[1]->Route({"click", nullptr, name, 0, 0})) << name;
        EXPECT_FALSE(pages[0]->Route({"selectchanged", nullptr, name, 0, 0})) << name;
        EXPECT_FALSE(pages[1]->Route({"selectchanged", nullptr, name, 0, 0})) << name;
    }
    EXPECT_EQ(panels, 4u);
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(WindowControls, TheMusicButtonOpensItsWindowAndAStageColourIsThePagesOwn) {
    ui::MemoryControlHost light;
    ASSERT_NE(light.LoadLayout(GetInstallFolder() + "skin/lightcontrol.ui"), nullptr);
    ASSERT_NE(light.Find("music_setting_btn"), nullptr);  // the audio sub-panel offers it
    ui::MemoryControlHost mouse;
    ASSERT_NE(mouse.LoadLayout(GetInstallFolder() + "skin/mousedevice.ui"), nullptr);
    ASSERT_NE(mouse.Find("DPI_color_option_5"), nullptr);
    EXPECT_TRUE(routes.Route({"click", light.Find("music_setting_btn"), "music_setting_btn", 0, 0}));
    EXPECT_FALSE(routes.Route({"click", mouse.Find("DPI_color_option_5"), "DPI_color_option_5", 0, 0}));
    EXPECT_EQ(window.calls, (std::vector<std::string>{"music"}));
}

TEST_F(WindowControls, AChosenColourClearsThePictureAndAPictureTheColour) {
    ui::Ctl root = Find("root");
    root.SetBkImage("background/bg_1.png");
    ASSERT_TRUE(ApplySkin(host, {true, 0xFF3A1C14, "ignored.png"}));
    EXPECT_EQ(root.BkColour(), 0xFF3A1C14u);
    EXPECT_EQ(root.Get()->BkImage(), "");
    ASSERT_TRUE(ApplySkin(host, {false, 0xFF00FF00, "background/bg_2.png"}));
    EXPECT_EQ(root.BkColour(), 0u);
    EXPECT_EQ(root.Get()->BkImage(), "background/bg_2.png");
    ui::MemoryControlHost empty;  // no "root": nothing to change
    EXPECT_FALSE(ApplySkin(empty, {true, 1, ""}));
}

}  // namespace
}  // namespace m470
