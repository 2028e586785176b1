// The music and palette windows on the in-memory tree of their layouts:
// what each control shows and what the windows hand back.
#include <gtest/gtest.h>

#include "music/ColorSelectWnd.h"
#include "music/MusicWnd.h"
#include "platform/DebugTrace.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "shell/Language.h"
#include "support/TempFolder.h"
#include "ui/Ctl.h"
#include "ui/MemoryControlTree.h"

namespace m470 {
namespace {

MusicStyles SomeStyles() {
    MusicStyles styles;
    styles.style = 2;
    for (size_t s = 0; s < kMusicStyleCount; ++s) {
        styles.names[s] = "style " + std::to_string(s);
        styles.colours[s] = {static_cast<uint8_t>(s), static_cast<uint8_t>(s + 1), static_cast<uint8_t>(9 - s)};
    }
    return styles;
}

class MusicWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.LoadLayout(GetInstallFolder() + "skin/music.ui"), nullptr);
        window = std::make_unique<MusicWnd>(host, SomeStyles(), [this](int result) { results.push_back(result); });
        host.SetNotifyCallback([this](const ui::Notification& n) { window->Notify(n); });
        window->WindowInit();
    }
    ui::Ctl Find(const std::string& name) { return host.Find(name); }

    ui::MemoryControlHost host;
    std::unique_ptr<MusicWnd> window;
    std::vector<int> results;
};

TEST_F(MusicWindow, OpensOnTheSelectedStyleWithItsColourAndAllNames) {
    EXPECT_TRUE(Find("audio_select_tab3").Selected());
    EXPECT_FALSE(Find("audio_select_tab1").Selected());
    EXPECT_EQ(Find("audio_r_slider").Value(), 2);
    EXPECT_EQ(Find("audio_g_slider").Value(), 3);
    EXPECT_EQ(Find("audio_b_slider").Value(), 7);
    EXPECT_EQ(host.Find("audio_r_slider")->Maximum(), 9);
    EXPECT_EQ(Find("audio_edit_name4").Text(), "style 3");
    EXPECT_EQ(window->Styles(), SomeStyles());  // opening changes nothing
}

TEST_F(MusicWindow, SlidersChangeTheSelectedStyleOnly) {
    Find("audio_select_tab2").SetSelected(true);
    EXPECT_EQ(window->Styles().style, 1);
    EXPECT_EQ(Find("audio_r_slider").Value(), 1);
    Find("audio_g_slider").SetValue(9);
    Find("audio_b_slider").SetValue(0);
    EXPECT_EQ(window->Styles().colours[1], (std::array<uint8_t, 3>{1, 9, 0}));
    // Each slider says its value beside it, moved or shown for a style.
    EXPECT_EQ(Find("audio_r_value").Text(), "1");
    EXPECT_EQ(Find("audio_g_value").Text(), "9");
    EXPECT_EQ(Find("audio_b_value").Text(), "0");
    EXPECT_EQ(window->Styles().colours[2], SomeStyles().colours[2]);
    // Back to the third style: its own colour shows again.
    Find("audio_select_tab3").SetSelected(true);
    EXPECT_EQ(Find("audio_g_slider").Value(), 3);
    EXPECT_EQ(Find("audio_g_value").Text(), "3");
    EXPECT_EQ(Find("audio_b_value").Text(), "7");
}

// The factory names are shown in the window's language; the styles handed
// back keep the file's own names unless the user typed another.
TEST(MusicWindowNames, FactoryNamesShowTranslatedAndTheFileKeepsThem) {
    for (const auto& [file, shown] : {std::pair{"en.json", "Group 1"}, std::pair{"zh.json", "第一组"}}) {
        LanguageTable language;
        ASSERT_TRUE(language.Load(GetInstallFolder() + "skin/lang/" + file));
        ui::MemoryControlHost host;
        ASSERT_NE(host.LoadLayout(GetInstallFolder() + "skin/music.ui"), nullptr);
        MusicStyles styles = SomeStyles();
        for (size_t s : {0u, 2u}) styles.names[s] = DefaultStyleName(s);
        MusicWnd window(host, styles, [](int) {}, [&language](std::string_view key) { return language.Text(std::string(key)); });
        host.SetNotifyCallback([&window](const ui::Notification& n) { window.Notify(n); });
        window.WindowInit();
        EXPECT_EQ(host.Find("audio_edit_name1")->Text(), shown) << file;
        EXPECT_EQ(host.Find("audio_edit_name2")->Text(), "style 1");
        host.SendNotify(host.Find("audio_edit_name1"), "killfocus");  // left as shown
        EXPECT_EQ(window.Styles().names[0], "第一组");
        host.Find("audio_edit_name3")->SetText("Bass");
        host.SendNotify(host.Find("audio_edit_name3"), "killfocus");
        EXPECT_EQ(window.Styles().names[2], "Bass");
        host.Find("audio_edit_name2")->SetText("");
        host.SendNotify(host.Find("audio_edit_name2"), "killfocus");
        EXPECT_EQ(window.Styles().names[1], "第二组");
        EXPECT_EQ(host.Find("audio_edit_name2")->Text(), language.Text("music_factory_style_2"));
        EXPECT_NE(language.Text("music_factory_style_2"), "music_factory_style_2");
    }
}

TEST_F(MusicWindow, AClearedNameFallsBackToItsDefault) {
    Find("audio_edit_name2").SetText("");
    host.SendNotify(host.Find("audio_edit_name2"), "killfocus");
    EXPECT_EQ(Find("audio_edit_name2").Text(), "第二组");
    EXPECT_EQ(window->Styles().names[1], "第二组");
    Find("audio_edit_name1").SetText("Drums");
    host.SendNotify(host.Find("audio_edit_name1"), "killfocus");
    EXPECT_EQ(window->Styles().names[0], "Drums");
}

TEST_F(MusicWindow, OkClosesWithOneAndCloseWithZero) {
    host.Click(host.Find("okbtn"));
    host.Click(host.Find("closebtn"));
    EXPECT_EQ(results, (std::vector<int>{1, 0}));
}

TEST(MusicWindowLayout, AMissingControlIsTraced) {
    ui::MemoryControlHost host;
    host.CreateControl("QWidget", "empty", nullptr);
    MusicWnd window(host, MusicStyles{}, [](int) {});
    DebugTrace::Clear();
    window.WindowInit();
    EXPECT_TRUE(DebugTrace::Contains(kMusicControlMissing));
}

class PaletteWindow : public ::testing::Test {
protected:
    void Open(uint32_t colour) {
        host = std::make_unique<ui::MemoryControlHost>();
        ASSERT_NE(host->LoadLayout(GetInstallFolder() + "skin/PalletDialog.ui"), nullptr);
        window = std::make_unique<CColorSelectWnd>(*host, swatch, GetDefaultDataFolder() + kSwatchFileName,
                                                   [this](int result) { results.push_back(result); });
        host->SetNotifyCallback([this](const ui::Notification& n) { window->Notify(n); });
        window->ShowColour(colour);
        window->ShowSevenColour(0);
        window->WindowInit();
    }
    ui::Ctl Find(const std::string& name) { return host->Find(name); }
    void Type(const std::string& edit, const std::string& text) {
        Find(edit).SetText(text);
        host->SendNotify(host->Find(edit), "killfocus");
    }

    test::TempFolder folder;
    std::string swatch = folder.File("color_option_info.config");
    std::unique_ptr<ui::MemoryControlHost> host;
    std::unique_ptr<CColorSelectWnd> window;
    std::vector<int> results;
};

TEST_F(PaletteWindow, OpensOnTheOpenersColourWithTheFactorySwatchFile) {
    Open(0xFF102030u);
    EXPECT_EQ(Find("color_show_btn").BkColour(), 0xFF102030u);
    EXPECT_EQ(Find("Pallet").BkColour(), 0xFF102030u);
    EXPECT_EQ(Find("color_edit_r").Text(), "16");
    EXPECT_EQ(Find("color_edit_g").Text(), "32");
    EXPECT_EQ(Find("color_edit_b").Text(), "48");
    EXPECT_FALSE(Find("7color_layout").Visible());
    EXPECT_FALSE(Find("7color").Enabled());
    EXPECT_EQ(LoadJson(swatch), LoadJson(GetDefaultDataFolder() + kSwatchFileName));
}

TEST_F(PaletteWindow, TypedComponentsAreClampedAndShownBack) {
    Open(0xFF000000u);
    Type("color_edit_g", "300");
    EXPECT_EQ(Find("color_edit_g").Text(), "255");
    Type("color_edit_r", "10");
    Type("color_edit_g", "20");
    Type("color_edit_b", "");
    EXPECT_EQ(Find("color_edit_b").Text(), "0");
    EXPECT_EQ(Find("color_show_btn").BkColour(), 0xFF0A1400u);
    Type("color_edit_r", "-5");
    EXPECT_EQ(Find("color_edit_r").Text(), "0");
    host->Click(host->Find("okbtn"));
    EXPECT_EQ(results, (std::vector<int>{kPaletteTaken}));
    EXPECT_EQ(window->CurrentColour(), 0xFF001400u);
}

TEST_F(PaletteWindow, AnEmptySlotTakesThePalettesColourAndKeepsIt) {
    Open(0xFF000000u);
    Find("collect_color_option_5").SetSelected(true);
    EXPECT_EQ(Find("color_show_btn").BkColour(), 0xFF000000u);  // an empty slot shows nothing new
    Find("Pallet").SetBkColour(0xFF00FF00u);
    host->SendNotify(host->Find("Pallet"), "colorchanged");
    EXPECT_EQ(Find("collect_color_option_5").BkColour(), 0xFF00FF00u);
    EXPECT_EQ(Find("collect_color_option_5").UserData(), "1");
    EXPECT_EQ(Find("color_show_btn").BkColour(), 0xFF00FF00u);
    EXPECT_EQ(LoadJson(swatch)["coloroptioninfo"]["palletDialogcollectcoloroption"][5]["color"].asString(), "FF00FF00");
    host->Click(host->Find("okbtn"));
    EXPECT_EQ(window->CurrentColour(), 0xFF00FF00u);
    // Reopened: the slot shows green and no slot is selected.
    Open(0xFF000000u);
    EXPECT_EQ(Find("collect_color_option_5").BkColour(), 0xFF00FF00u);
    EXPECT_EQ(Find("collect_color_option_4").BkColour(), kEmptySlotColour);
    for (int n = 0; n < 20; ++n) EXPECT_FALSE(Find("collect_color_option_" + std::to_string(n)).Selected());
    // Choosing the filled slot shows its colour without changing it.
    Find("collect_color_option_5").SetSelected(true);
    EXPECT_EQ(Find("color_show_btn").BkColour(), 0xFF00FF00u);
    EXPECT_EQ(Find("color_edit_g").Text(), "255");
}

TEST_F(PaletteWindow, APresetSwatchIsTakenWithItsLayoutColour) {
    Open(0xFF000000u);
    const uint32_t colour = Find("color_option_8").BkColour();
    ASSERT_NE(colour, 0u);
    Find("color_option_8").SetSelected(true);
    EXPECT_EQ(Find("color_show_btn").BkColour(), colour);
    EXPECT_EQ(Find("Pallet").BkColour(), colour);
    EXPECT_EQ(LoadJson(swatch)["coloroptioninfo"]["palletDialogcoloroption_selectitem"].asInt(), 8);
}

TEST_F(PaletteWindow, ClosingTakesNothing) {
    Open(0xFF123456u);
    host->Click(host->Find("closebtn"));
    host->Click(host->Find("laterbtn"));
    EXPECT_EQ(results, (std::vector<int>{kPaletteClosed, kPaletteClosed}));
    EXPECT_EQ(window->CurrentColour(), 0u);
}

TEST(PaletteWindowLayout, OkWithoutAPaletteIsACancel) {
    test::TempFolder folder;
    ui::MemoryControlHost host;
    ui::MemoryControl* root = host.CreateControl("QDialog", "PalletDialog", nullptr);
    host.CreateControl("QPushButton", "okbtn", root);
    std::vector<int> results;
    CColorSelectWnd window(host, folder.File("swatch"), folder.File("factory"), [&](int r) { results.push_back(r); });
    host.SetNotifyCallback([&](const ui::Notification& n) { window.Notify(n); });
    window.ShowColour(0xFF445566u);
    window.WindowInit();
    host.Click(host.Find("okbtn"));
    EXPECT_EQ(results, (std::vector<int>{kPaletteMissing}));
    EXPECT_EQ(window.CurrentColour(), 0u);
}

}  // namespace
}  // namespace m470
