#include <gtest/gtest.h>

#include <thread>

#include "device_link/CommandCodes.h"
#include "devices/MousePadDevice.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/Eventually.h"
#include "support/LayoutCheck.h"
#include "support/TempFolder.h"
#include "support/VirtualPage.h"
#include "support/VirtualRig.h"

namespace m470 {
namespace {

using namespace std::chrono_literals;

TEST(MousePadLayout, PageHoldsThePictureAndPanels) {
    test::RequiredControls required{{"mousepad_device_key_light", ui::ControlType::SelectPanel},
                                    {"DeviceProfileItem", ui::ControlType::Container},
                                    {"LightControlItem", ui::ControlType::Container}};
    for (int i = 0; i < 15; ++i) required.push_back({"light_" + std::to_string(i), ui::ControlType::KeyButton});
    EXPECT_TRUE(test::LayoutHas(GetInstallFolder() + "skin/mousepaddevice.ui", required));
}

class VirtualPad : public test::VirtualPageTest {
protected:
    void SetUp() override {
        rig.hub.Plug("mousepad");
        pad = MakeDevice<CVantrelMousePadDevice>("mousepaddevice.ui");
        rig.Open(pad->Transport(), "mousepad", LinkWired);
    }
    void TearDown() override { pad.reset(); }
    std::vector<uint8_t> Memory() { return rig.hub.Firmware("mousepad")->Area(command::kReadSettings); }
    void SetProfileLight(uint8_t mode, uint8_t speed) {
        pad->LoadAssignments();  // the profile file exists from here on
        Json::Value document = LoadJson(pad->GetProfilePath());
        document["Device"][0]["LightInfo"]["SelectItem"] = mode;
        document["Device"][0]["LightInfo"]["Speed"] = speed;
        SaveJson(pad->GetProfilePath(), document);
    }

    std::unique_ptr<CVantrelMousePadDevice> pad;
};

TEST_F(VirtualPad, FirstReadThenWritesTheTwentyOneBytes) {
    ASSERT_EQ(pad->ReadFromDevice(), kResultSuccess);
    pad->StopLightingThread();
    std::vector<uint8_t> commands;
    for (const auto& entry : rig.hub.Traffic().Entries()) commands.push_back(entry.request[3]);
    // No key table on the pad; its record (1 byte, then 34) is read once on attach.
    EXPECT_EQ(commands, (std::vector<uint8_t>{0x01, 0x03, 0x02, 0x05, 0x05}));

    SetProfileLight(9, 1);  // a mode past the pad's last counts as mode 0
    pad->LoadAssignments();
    ASSERT_EQ(pad->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    const auto writes = rig.hub.Traffic().Entries();
    const Report& write = writes[writes.size() - 2].request;
    EXPECT_EQ(write[3], command::kWriteSettings);
    EXPECT_EQ(write[4], 21);
    EXPECT_EQ(Memory()[1], 1);  // the code of mode 0
    EXPECT_EQ(Memory()[3], 3);  // speed 1 is sent as 4 − 1

    pad->ReloadSettings();
    EXPECT_EQ(pad->Record()[pad_record::kSpeed], 1);
    EXPECT_EQ(pad->Record()[pad_record::kMode], 0);
}

TEST_F(VirtualPad, ReloadReportsTheActiveRecordToTheWindow) {
    std::vector<std::pair<uint32_t, intptr_t>> messages;
    ui::QueuedMessageChannel owner([&](uint32_t message, intptr_t wParam, intptr_t) {
        messages.push_back({message, wParam});
        return 0;
    });
    pad->SetOwner(&owner);
    pad->SetSynced(true);
    rig.hub.Firmware("mousepad")->WriteArea(command::kReadSettings, 0, {0});
    pad->ReloadSettings();
    EXPECT_FALSE(pad->Synced());
    EXPECT_EQ(messages, (std::vector<std::pair<uint32_t, intptr_t>>{{ui::kMsgActiveRecord, 0}}));
    EXPECT_EQ(pad->Record()[pad_record::kMode], 1);  // device code 2 is mode 1
    EXPECT_EQ(pad->Record()[pad_record::kSpeed], 2);
}

TEST_F(VirtualPad, OnlyTheSyncNotificationRequestsAReload) {
    std::vector<std::pair<int, int>> timers;
    std::mutex timersMutex;
    pad->SetTimerRequester([&](int id, int delay) {
        std::lock_guard lock(timersMutex);
        timers.push_back({id, delay});
    });
    ASSERT_TRUE(pad->OpenNotify(rig.PathOf("mousepad", 3), false));
    ASSERT_TRUE(rig.hub.Notify("mousepad", 0x0402));
    ASSERT_TRUE(rig.hub.Notify("mousepad", 0x0401));
    EXPECT_TRUE(test::Eventually([&] {
        std::lock_guard lock(timersMutex);
        return !timers.empty();
    }));
    pad->CloseNotify(false);
    EXPECT_EQ(timers, (std::vector<std::pair<int, int>>{{kTimerReload, 500}}));
}

TEST_F(VirtualPad, WriteFailureIsReported) {
    rig.hub.Unplug("mousepad");
    EXPECT_NE(pad->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    pad->Transport().SetOpened(false);
    EXPECT_EQ(pad->WriteToDevice(0, 0, 1, 0, 0), kResultNoReply);
}

TEST_F(VirtualPad, RecordIsReadOnAttachAndTheDirectionReachesThePad) {
    const std::vector<uint8_t> kept{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    rig.hub.Firmware("mousepad")->WriteArea(command::kReadSettings, 9, kept);
    pad->LoadAssignments();
    Json::Value document = LoadJson(pad->GetProfilePath());
    document["Device"][0]["LightInfo"]["Fx"] = 1;
    SaveJson(pad->GetProfilePath(), document);

    ASSERT_EQ(pad->ReadFromDevice(), kResultSuccess);
    pad->StopLightingThread();
    std::vector<uint8_t> reads;
    for (const auto& entry : rig.hub.Traffic().Entries())
        if (entry.request[3] == command::kReadSettings) reads.push_back(entry.request[4]);
    EXPECT_EQ(reads, (std::vector<uint8_t>{1, 34}));

    ASSERT_EQ(pad->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    const auto memory = Memory();
    EXPECT_EQ(memory[pad_record::kDirection], 1);
    EXPECT_EQ(std::vector<uint8_t>(memory.begin() + 9, memory.begin() + 21), kept);
}

TEST_F(VirtualPad, NoRecordWriteBeforeARecordWasRead) {
    const auto before = Memory();
    rig.hub.InjectFault("mousepad", command::kReadSettings);
    EXPECT_NE(pad->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);
    std::vector<uint8_t> codes;
    for (const auto& entry : rig.hub.Traffic().Entries()) codes.push_back(entry.request[3]);
    EXPECT_EQ(codes, (std::vector<uint8_t>{command::kReadSettings}));
    EXPECT_EQ(Memory(), before);
}

TEST_F(VirtualPad, LightingThreadPreviewsTheStaticMode) {
    SetProfileLight(3, 4);
    pad->ReadFromDevice();
    const bool lit = test::Eventually([&] { return pad->FrameCopy()[14].level == 195; });
    pad->StopLightingThread();
    EXPECT_TRUE(lit);
    EXPECT_EQ(pad->FrameCopy()[0].green, 128);
    pad->RenderLighting();
    EXPECT_EQ(static_cast<ui::MemoryControl*>(host.Find("light_14"))->LightLevel(), 195);
}

TEST(PadLightingSteps, TrailPairsLightMirroredLeds) {
    EffectState state;
    PadTrailState trail;
    trail.trail.ring[0] = true;
    LedFrame frame(15);
    LightingState light;
    light.mode = 7;
    light.brightness = 4;
    light.colour = {9, 9, 9};
    for (int i = 0; i < 3; ++i) StepPadTrail(state, trail, light, frame, true);
    EXPECT_EQ(frame[1].level, frame[14].level);
    EXPECT_GT(frame[1].level, 0);
    EXPECT_EQ(frame[0].level, 0);
    StepPadWave(state, light, frame);
    EXPECT_EQ(frame[0].red, 9);
}

}  // namespace
}  // namespace m470
