#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <mutex>

#include "audio/AudioLibrary.h"
#include "device_link/CommandCodes.h"
#include "devices/HS6533Device.h"
#include "pages/HeadsetAudioPanel.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/FakeAudioLibrary.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

class VirtualHeadset : public test::VirtualPageTest {
protected:
    void SetUp() override {
        SetDefaultAudioLibraryPath(test::kFakeAudioLibraryPath);
        fake.emplace();
        rig.hub.Plug("headset");
        headset = MakeDevice<CVantrelHS6533Device>("hs6533device.ui");
        rig.Open(headset->Transport(), "headset", LinkWired);
    }
    void TearDown() override {
        devicePage.reset();
        headset.reset();
        SetDefaultAudioLibraryPath("");
    }
    std::vector<uint8_t> Memory() { return rig.hub.Firmware("headset")->Area(command::kReadSettings); }
    LightRecordFirmware& Firmware() { return *dynamic_cast<LightRecordFirmware*>(rig.hub.Firmware("headset")); }
    void SetProfileLight(uint8_t mode, uint8_t speed) {
        headset->LoadAssignments();
        Json::Value document = LoadJson(headset->GetProfilePath());
        document["Device"][0]["LightInfo"]["SelectItem"] = mode;
        document["Device"][0]["LightInfo"]["Speed"] = speed;
        SaveJson(headset->GetProfilePath(), document);
        headset->LoadAssignments();
    }
    Report LastWrite() {
        const auto entries = rig.hub.Traffic().Entries();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->request[3] == command::kWriteSettings) return it->request;
        return {};
    }
    ui::Ctl Find(const char* name) { return host.FindUnder(page, name); }
    // The page's audio and voice-changer panel; true when it took the notification.
    bool Audio(const ui::Notification& n) { return devicePage->PanelOf<CHeadsetAudioPanel>()->Take(n); }

    std::optional<test::FakeAudioLibrary> fake;
    std::unique_ptr<CVantrelHS6533Device> headset;
};

TEST_F(VirtualHeadset, BlockIsReadOnAttachAndEveryWriteSendsTheSameTranslatedBytes) {
    ASSERT_EQ(headset->ReadFromDevice(), kResultSuccess);
    headset->StopLightingThread();
    std::vector<uint8_t> commands;
    for (const auto& entry : rig.hub.Traffic().Entries()) commands.push_back(entry.request[3]);
    EXPECT_EQ(commands, (std::vector<uint8_t>{0x01, 0x03, 0x02, 0x05, 0x05}));

    SetProfileLight(1, 1);
    ASSERT_EQ(headset->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    const Report first = LastWrite();
    EXPECT_EQ(first[4], 21);
    EXPECT_EQ(Memory()[1], 2);  // mode 1 has code 2 on the headset
    EXPECT_EQ(Memory()[3], 3);  // speed 1 goes as 4 − 1
    ASSERT_EQ(headset->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    EXPECT_EQ(LastWrite(), first);  // a second write translates nothing twice
    EXPECT_EQ(headset->Record()[pad_record::kMode], 1);

    SetProfileLight(20, 0);  // no such mode: sent as it is
    ASSERT_EQ(headset->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    EXPECT_EQ(Memory()[1], 20);
    EXPECT_EQ(Memory()[3], 4);

    rig.hub.Firmware("headset")->WriteArea(command::kReadSettings, 1, {8, 3, 0});  // code 8, device speed 0
    headset->ReloadSettings();
    EXPECT_EQ(headset->Record()[pad_record::kMode], 4);
    EXPECT_EQ(headset->Record()[pad_record::kSpeed], 4);
}

// Every byte of the written block: the program sets the profile index read,
// the mode, brightness, speed, seven-colour flag and colour; byte 4 (not the
// lighting direction, which the headset does not keep there) and bytes 9-20
// go back as last read.
TEST_F(VirtualHeadset, EachByteOfTheWrittenBlockIsSetOrSentBackAsRead) {
    std::vector<uint8_t> stored(pad_record::kRead);
    for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<uint8_t>(0xA0 + i);
    rig.hub.Firmware("headset")->WriteArea(command::kReadSettings, 0, {1});  // the current profile is 1
    rig.hub.Firmware("headset")->WriteArea(command::kReadSettings, pad_record::kReadStride, stored);
    ASSERT_EQ(headset->ReadFromDevice(), kResultSuccess);
    headset->StopLightingThread();
    headset->LoadAssignments();
    Json::Value document = LoadJson(headset->GetProfilePath());
    Json::Value& light = document["Device"][0]["LightInfo"];
    light["SelectItem"] = 1, light["Light"] = 2, light["Speed"] = 1, light["Fx"] = 1, light["MultiColor"] = 1;
    light["Red"] = 10, light["Green"] = 20, light["Blue"] = 30;
    SaveJson(headset->GetProfilePath(), document);
    headset->LoadAssignments();
    ASSERT_EQ(headset->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);

    struct Byte {
        size_t at;
        int expected;
        const char* what;
    };
    std::vector<Byte> table{{0, 1, "profile index as read"}, {1, 2, "mode 1's code"},   {2, 2, "brightness"},
                            {3, 3, "4 - speed"},              {4, 0xA4, "as read"},       {5, 1, "seven colours"},
                            {6, 10, "red"},                   {7, 20, "green"},           {8, 30, "blue"}};
    for (size_t at = 9; at < pad_record::kWritten; ++at) table.push_back({at, static_cast<int>(0xA0 + at), "as read"});
    const std::vector<uint8_t> written = Memory();
    ASSERT_GE(written.size(), pad_record::kWritten);
    for (const Byte& byte : table) EXPECT_EQ(written[byte.at], byte.expected) << "byte " << byte.at << ": " << byte.what;
}

TEST_F(VirtualHeadset, FrameGoesToTheLedsAsTwelveReportsOnlyWhenItChanged) {
    headset->StopLightingThread();
    for (int i = 0; i < 13; ++i) headset->SetLedColour(i, LedEntry{0, 0, 0, 0}.Packed());
    headset->SetLedColour(0, LedEntry{255, 10, 20, 255}.Packed());
    headset->SetLedColour(12, LedEntry{0, 200, 100, 128}.Packed());
    headset->RenderLighting();
    auto planes = Firmware().Planes();
    ASSERT_EQ(planes.size(), 12u);
    auto plane = [&](uint8_t target, uint8_t which, size_t led) { return planes[std::make_pair(target, which)][led]; };
    EXPECT_EQ(plane(0x22, 0xAA, 0), 247);
    EXPECT_EQ(plane(0x44, 0xAA, 0), 247);
    EXPECT_EQ(plane(0x22, 0xAB, 0), 9);
    EXPECT_EQ(plane(0x44, 0xAE, 5), 100);
    EXPECT_EQ(plane(0x22, 0xAF, 5), 50);
    // The picture gets R | G << 8 | B << 16, as every device's does.
    EXPECT_EQ(Find("light_0").Get()->LightColour(), 255u | 10u << 8 | 20u << 16);
    EXPECT_EQ(Find("light_12").Get()->LightColour(), 0u | 200u << 8 | 100u << 16);

    // Nothing new: nothing sent (the firmware's planes stay as a test wrote them).
    Firmware().AcceptOutputReport(HeadsetLedReport{0xFF, 0x22, 0xAA, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0});
    headset->RenderLighting();
    EXPECT_EQ(Firmware().Planes()[std::make_pair(uint8_t{0x22}, uint8_t{0xAA})][0], 1);
    headset->SetLedColour(0, LedEntry{100, 0, 0, 255}.Packed());
    headset->RenderLighting();
    EXPECT_EQ(Firmware().Planes()[std::make_pair(uint8_t{0x22}, uint8_t{0xAA})][0], 99);
}

TEST_F(VirtualHeadset, SettingsRequestArmsTheReloadTimer) {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<TimerRequest> requests;
    headset->SetTimerRequester([&](int id, int delay) {
        std::lock_guard guard(lock);
        requests.push_back({id, delay});
        arrived.notify_all();
    });
    ASSERT_TRUE(headset->OpenNotify(rig.PathOf("headset", 0), false));
    ASSERT_TRUE(rig.hub.Notify("headset", 0x0402));
    ASSERT_TRUE(rig.hub.Notify("headset", 0x0401));
    std::unique_lock guard(lock);
    ASSERT_TRUE(arrived.wait_for(guard, 2s, [&] {
        return std::find(requests.begin(), requests.end(), TimerRequest{kTimerReload, 500}) != requests.end();
    }));
    EXPECT_EQ(std::count(requests.begin(), requests.end(), TimerRequest{kTimerReload, 500}), 1);
}

TEST_F(VirtualHeadset, StatusReadReportsTheBatteryByte) {
    std::vector<std::pair<uint32_t, intptr_t>> messages;
    ui::QueuedMessageChannel owner([&](uint32_t message, intptr_t wParam, intptr_t) {
        messages.push_back({message, wParam});
        return 0;
    });
    headset->SetOwner(&owner);
    rig.hub.SetBattery("headset", 57, 1);
    headset->QueryPower();
    const auto status = rig.hub.Firmware("headset")->StatusBlock();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (std::pair<uint32_t, intptr_t>{ui::kMsgBattery, status[4]}));
    rig.hub.InjectFault("headset", command::kReadShort, 1, FaultKind::Status);
    headset->QueryPower();
    EXPECT_EQ(messages.size(), 1u);  // a failed read tells nothing
}

TEST_F(VirtualHeadset, PageControlsDriveTheAudioLibraryAndTheProfile) {
    ASSERT_EQ(headset->ReadFromDevice(), kResultSuccess);
    headset->StopLightingThread();
    ASSERT_NE(devicePage->PanelOf<CHeadsetAudioPanel>(), nullptr);
    EXPECT_FALSE(Find("6533_MicIn_slider"));  // loaded when its tab first shows
    devicePage->ShowOptionTab(6);
    CVoice6533ControlUI* audio = devicePage->PanelOf<CHeadsetAudioPanel>()->AudioPanel();
    ASSERT_NE(audio, nullptr);
    devicePage->ShowOptionTab(1);
    devicePage->ShowOptionTab(6);
    EXPECT_EQ(devicePage->PanelOf<CHeadsetAudioPanel>()->AudioPanel(), audio);  // made once
    EXPECT_EQ(Find("6533_MicIn_slider").Value(), 50);  // read back from the library
    EXPECT_EQ(Find("6533_MicMoniter_slider").Value(), 29);
    fake->Reset();
    ui::Ctl preset = Find("6533_eq_option_3");
    preset.SetSelected(true, false);
    EXPECT_TRUE(Audio({"selectchanged", preset.Get(), "6533_eq_option_3", 0, 0}));
    ui::Ctl slider = Find("6533_MicIn_slider");
    slider.SetValue(37, false);
    EXPECT_TRUE(Audio({"valuechanged", slider.Get(), "6533_MicIn_slider", 0, 0}));
    const auto writes = fake->Writes();
    ASSERT_EQ(writes.size(), 12u);
    EXPECT_EQ(writes[0], "write 1 Enable_EQ_GFX 1");
    EXPECT_EQ(writes[1], "write 1 EQ_Slider1 10");
    EXPECT_EQ(writes[11], "write 2 VolumeScalarControl 0.37 -1");
    EXPECT_EQ(Find("6533_eq_hz_slider_0").Value(), 10);
    // Each band says its level in dB (half-decibel steps) and its frequency.
    const std::array<const char*, 10> preset3{"+5.0",         "+2.0",         "0",  "\u22121.5", "\u22122.0",
                                              "\u22121.5", "\u22121.0", "\u22120.5", "0", "0"};
    for (size_t band = 0; band < preset3.size(); ++band)
        EXPECT_EQ(Find(("hs_eq_db_label_" + std::to_string(band)).c_str()).Text(), preset3[band]) << band;
    EXPECT_EQ(Find("hs_eq_hz_label_0").Text(), "31 Hz");
    EXPECT_EQ(Find("hs_eq_hz_label_9").Text(), "16 kHz");
    ui::Ctl band7 = Find("6533_eq_hz_slider_7");
    band7.SetValue(19, false);
    EXPECT_TRUE(Audio({"valuechanged", band7.Get(), "6533_eq_hz_slider_7", 0, 0}));
    EXPECT_EQ(Find("hs_eq_db_label_7").Text(), "+9.5");
    EXPECT_EQ(fake->Writes().back(), "write 1 EQ_Slider8 19");
    const Json::Value saved = LoadJson(headset->GetProfilePath())["Device"][0];
    EXPECT_EQ(saved["SystemSetStages"]["EqType"].asInt(), 3);
    EXPECT_EQ(saved["SystemSetStages"]["MicInValue"].asInt(), 37);

    // A duplicate custom name is told with its own message, not the profile one.
    std::vector<std::pair<std::string, bool>> notices;
    headset->SetNoticeSink([&](const std::string& text, bool isKey) { notices.push_back({text, isKey}); });
    Find("custom_eq_name_edit").SetText("Mine");
    EXPECT_TRUE(Audio({"click", Find("hs_EQ_btn_save").Get(), "hs_EQ_btn_save", 0, 0}));
    Find("custom_eq_name_edit").SetText("MINE");
    EXPECT_TRUE(Audio({"click", Find("hs_EQ_btn_save").Get(), "hs_EQ_btn_save", 0, 0}));
    EXPECT_EQ(notices, (std::vector<std::pair<std::string, bool>>{{"hs_eq_name_taken_text", true}}));
    EXPECT_FALSE(Audio({"click", nullptr, "deng_same_mode", 0, 0}));
}

TEST_F(VirtualHeadset, ItsPageShowsTheTabsSettingsPagesAndRedrawsAudioWhenAudioIsTold) {
    EXPECT_FALSE(Find("Virtual7.1_Op_tab").Visible());  // nothing to change there
    headset->Tell(DeviceChange::ProfileList);  // the strip shows the kind's tabs again
    EXPECT_FALSE(Find("Virtual7.1_Op_tab").Visible());
    EXPECT_TRUE(Find("6533_voice_Op_tab").Visible());
    const ui::Ctl layout = Find("hs6533_device_seting_layout");
    devicePage->ShowOptionTab(7);
    EXPECT_EQ(layout.Page(), 2);
    devicePage->ShowOptionTab(8);
    EXPECT_EQ(layout.Page(), 3);
    devicePage->ShowOptionTab(2);  // not a tab of the headset: the page stays
    EXPECT_EQ(layout.Page(), 3);
    EXPECT_FALSE(Find("6533_MicIn_slider"));  // the audio tab's layout waits for its first show
    devicePage->ShowOptionTab(6);
    EXPECT_EQ(layout.Page(), 1);
    devicePage->ShowOptionTab(1);
    EXPECT_EQ(layout.Page(), 0);

    ASSERT_EQ(headset->ReadFromDevice(), kResultSuccess);
    headset->StopLightingThread();
    ui::Ctl slider = Find("6533_MicIn_slider");
    ASSERT_EQ(slider.Value(), 50);
    slider.SetValue(11, false);
    headset->Tell(DeviceChange::Lighting);  // the audio panel is not the lighting's
    EXPECT_EQ(slider.Value(), 11);
    headset->Tell(DeviceChange::Audio);
    EXPECT_EQ(slider.Value(), 50);
    slider.SetValue(12, false);
    headset->PublishSettings();  // a read or a profile choice shows the audio too
    EXPECT_EQ(slider.Value(), 50);
}

TEST(HeadsetWithoutLibrary, PageBuildsAndNothingIsCalled) {
    test::TempFolder folder;
    test::VirtualRig rig;
    rig.hub.Plug("headset");
    ui::MemoryControlHost host;
    ui::MemoryControl* page = host.LoadLayout(GetInstallFolder() + "skin/hs6533device.ui");
    std::vector<std::string> notices;
    CVantrelHS6533Device headset(rig.hub.Backend(), DefaultProduct(DeviceKind::Headset), "/nonexistent/libosconf.so");
    headset.SetNoticeSink([&](const std::string& text, bool) { notices.push_back(text); });
    const std::unique_ptr<CDevicePage> view = CPageBuilder::MakePage(headset, host, page, nullptr);
    rig.Open(headset.Transport(), "headset", LinkWired);
    EXPECT_EQ(headset.ReadFromDevice(), kResultSuccess);
    headset.StopLightingThread();
    EXPECT_FALSE(headset.Audio().Available());
    EXPECT_TRUE(notices.empty());
    view->ShowOptionTab(6);  // the equaliser and microphone tab
    ui::Ctl slider = host.FindUnder(page, "6533_MicIn_slider");
    ASSERT_TRUE(slider);
    const int before = slider.Value();
    slider.SetValue(80, false);
    view->Route({"valuechanged", slider.Get(), "6533_MicIn_slider", 0, 0});
    EXPECT_EQ(slider.Value(), before);  // not taken: the panel shows the kept value again
    EXPECT_TRUE(host.FindUnder(page, "hs_eq_not_applied_label")->Visible());
}

TEST(HeadsetLibraryFailures, ConfLibInitFailureIsToldAndTheHeadsetGoesOn) {
    SetDefaultAudioLibraryPath(test::kFakeAudioLibraryPath);
    test::FakeAudioLibrary fake;
    fake.SetInitResult(3);
    test::TempFolder folder;
    test::VirtualRig rig;
    ui::MemoryControlHost host;
    ui::MemoryControl* page = host.LoadLayout(GetInstallFolder() + "skin/hs6533device.ui");
    CVantrelHS6533Device headset(rig.hub.Backend());
    std::vector<std::string> notices;
    headset.SetNoticeSink([&](const std::string& text, bool isKey) { if (!isKey) notices.push_back(text); });
    const std::unique_ptr<CDevicePage> view = CPageBuilder::MakePage(headset, host, page, nullptr);
    EXPECT_EQ(notices, (std::vector<std::string>{"ConfLibInit called failed!"}));
    EXPECT_TRUE(headset.Audio().Available());
    SetDefaultAudioLibraryPath("");
}

}  // namespace
}  // namespace m470
