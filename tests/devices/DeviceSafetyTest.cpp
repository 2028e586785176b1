// Failure paths of the mouse against the emulators: nothing goes to it that was not
// read from the device attached now, and each write sends only what it must.
#include <gtest/gtest.h>

#include "device_link/CommandCodes.h"
#include "devices/MouseDevice.h"
#include "pages/LightingPanel.h"
#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

using namespace command;

std::array<uint8_t, 2> Bytes16(int value) { return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)}; }

// The mouse whose lighting steps the test runs.
class ClockedMouse : public CVantrelMouseDevice {
public:
    using CVantrelMouseDevice::CVantrelMouseDevice;
    using CVantrelMouseDevice::LightingTick;
};

class DeviceSafety : public test::VirtualPageTest {
protected:
    void SetUp() override {
        mouse = MakeDevice<ClockedMouse>("mousedevice.ui");
        mouse->SetScreenSize(1920, 1080);
    }
    void TearDown() override { mouse.reset(); }
    // A clock the test moves, from 100 s on (its milliseconds step with its 64 Hz ticks).
    ManualTickClock& Clock() {
        auto clock = std::make_shared<ManualTickClock>();
        clock->AdvanceMilliseconds(100000);
        mouse->SetTickClock(clock);
        return *clock;
    }
    void Attach(const std::string& name, int link) {
        rig.hub.Plug(name);
        rig.Open(mouse->Transport(), "mouse", link);
    }
    void ReadAll() {
        mouse->ReadFromDevice();
        mouse->StopLightingThread();
        rig.hub.Traffic().Clear();
    }
    std::vector<uint8_t> Commands() {
        std::vector<uint8_t> codes;
        for (const auto& entry : rig.hub.Traffic().Entries()) codes.push_back(entry.request[3]);
        return codes;
    }
    size_t Count(uint8_t code) {
        const auto codes = Commands();
        return static_cast<size_t>(std::count(codes.begin(), codes.end(), code));
    }
    std::vector<uint8_t> Memory(uint8_t command, const std::string& product = "mouse") {
        return rig.hub.Firmware(product)->Area(command);
    }
    std::vector<uint8_t> Record0() {
        const auto memory = Memory(kReadSettings);
        return {memory.begin(), memory.begin() + mouse_record::kSize};
    }
    void WriteMacroCatalogue(int events) {
        folder.Write("data/M470/mouse/macro.config", R"({"MacroInfo": [{"MacroName": "m", "Guid": "g0"}]})");
        Json::Value macro;
        for (int i = 0; i < events; ++i) macro["Events"][i] = Json::Value(Json::objectValue);
        SaveJson(folder.File("data/M470/mouse/g0.mac"), macro);
        auto assignments = mouse->Assignments();
        assignments[5].current = {5, 0x70, 0, 1, 0};
        mouse->SetAssignments(assignments);
    }
    void ExpectMacrosBeforeKeys() {
        const auto codes = Commands();
        const auto macro = std::find(codes.begin(), codes.end(), kWriteMacroImage);
        const auto keys = std::find(codes.begin(), codes.end(), kWriteKeyTable);
        ASSERT_NE(macro, codes.end());
        ASSERT_NE(keys, codes.end());
        EXPECT_LT(macro, keys);
    }
    void EditLight(const std::string& event, const std::string& name) {
        ui::Notification n;
        n.event = event;
        n.sender = host.FindUnder(page, name);
        n.senderName = name;
        ASSERT_TRUE(devicePage->Lighting()->Handle(n).handled) << name;
    }

    std::unique_ptr<ClockedMouse> mouse;
};

const std::vector<uint8_t> kRecordWrite{kBeginConfig, kWriteSettings, kWriteSettings, kEndConfig};
const std::vector<uint8_t> kKeyTableRead{kBeginConfig, kReadDeviceInfo, kReadKeyTable, kEndConfig};

TEST_F(DeviceSafety, KeyTableIsWrittenOnlyFromAnImageReadFromThisDevice) {
    Attach("mouse", LinkWired);
    const std::vector<uint8_t> factory = Memory(kReadKeyTable);
    rig.hub.InjectFault("mouse", kReadKeyTable);
    ReadAll();  // the first read of the key table fails

    // The write reads the table first; when that fails too nothing is written.
    rig.hub.InjectFault("mouse", kReadKeyTable);
    EXPECT_EQ(mouse->WriteKeyAssignmentsWithMacros(0), kResultWriteFailed);
    std::vector<uint8_t> expected{kReadDeviceInfo};
    expected.insert(expected.end(), kKeyTableRead.begin(), kKeyTableRead.end());
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Memory(kReadKeyTable), factory);

    // Once the read succeeds the keys go out as the profile has them.
    rig.hub.Traffic().Clear();
    EXPECT_EQ(mouse->WriteAllSettings(), 0);
    expected = kRecordWrite;
    // The table is read before the macros the keys use are chosen.
    expected.insert(expected.end(), kKeyTableRead.begin(), kKeyTableRead.end());
    expected.push_back(kReadDeviceInfo);
    expected.insert(expected.end(), {kBeginConfig, kWriteKeyTable, kEndConfig});
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Memory(kReadKeyTable), factory);
    EXPECT_EQ(mouse->SlotMap()[0], mouse_memory::kButtonSlots[0]);
}

TEST_F(DeviceSafety, AKeyTableReadBeforeTheDeviceWasAttachedAgainIsReadAgain) {
    Attach("mouse", LinkWired);
    ReadAll();
    EXPECT_EQ(mouse->WriteKeyAssignmentsWithMacros(0), kResultSuccess);
    EXPECT_EQ(Count(kReadKeyTable), 0u);  // the image of this attachment serves

    rig.hub.Traffic().Clear();
    rig.Open(mouse->Transport(), "mouse", LinkWired);  // attached anew
    rig.hub.InjectFault("mouse", kReadKeyTable, 1, FaultKind::Drop);
    const auto before = Memory(kReadKeyTable);
    EXPECT_EQ(mouse->WriteKeyAssignmentsWithMacros(0), kResultWriteFailed);
    EXPECT_EQ(Count(kWriteKeyTable), 0u);
    EXPECT_EQ(Memory(kReadKeyTable), before);
}

TEST_F(DeviceSafety, SettingsAreWrittenOnlyOverARecordReadFromThisDevice) {
    Attach("mouse", LinkWired);
    // Bytes the program never changes: they must survive every write.
    auto* firmware = rig.hub.Firmware("mouse");
    firmware->WriteArea(kReadSettings, 10, {0x5A});
    firmware->WriteArea(kReadSettings, 13, {0x5B});
    firmware->WriteArea(kReadSettings, 75, {1, 2, 4, 3, 5, 6, 7, 8, 9, 10, 11, 12});  // 77: receiver rate 4
    const std::vector<uint8_t> factory = Record0();

    // The record read fails, and so does the read the panels' write makes first.
    rig.hub.InjectFault("mouse", kReadSettings, 2);
    mouse->ReadFromDevice();
    mouse->StopLightingThread();
    EXPECT_EQ(Count(kWriteSettings), 0u);
    EXPECT_EQ(Record0(), factory);

    rig.hub.Traffic().Clear();
    rig.hub.InjectFault("mouse", kReadSettings, 1, FaultKind::Drop);
    EXPECT_NE(mouse->WriteToDevice(0, 0, 1, 1920, 1080), kResultSuccess);
    EXPECT_EQ(Commands(), (std::vector<uint8_t>{kReadSettings}));

    rig.hub.Traffic().Clear();
    ASSERT_EQ(mouse->WriteToDevice(0, 0, 1, 1920, 1080), kResultSuccess);
    std::vector<uint8_t> expected{kReadSettings, kReadSettings, kReadSettings};
    expected.insert(expected.end(), kRecordWrite.begin(), kRecordWrite.end());
    EXPECT_EQ(Commands(), expected);
    const auto written = Record0();
    for (size_t byte : {10u, 13u, 75u, 76u, 77u, 78u, 86u}) EXPECT_EQ(written[byte], factory[byte]) << byte;
    EXPECT_EQ(written[mouse_record::kBrightness], mouse->Document().ReadLightInfo().light);
}

TEST_F(DeviceSafety, AProfileChoiceBeforeTheFirstReadReadsTheRecordFirst) {
    Attach("mouse-receiver", LinkReceiver);
    rig.hub.Firmware("mouse")->WriteArea(kReadSettings, 11, {4});  // the cable's rate
    LightInfo light = mouse->Document().ReadLightInfo();
    light.light = 1;  // the profile's brightness, not the device's 3
    mouse->Document().WriteLightInfo(light);
    ASSERT_EQ(mouse->WriteToDevice(0, 0, 1, 1920, 1080), kResultSuccess);
    const auto written = Record0();
    EXPECT_EQ(written[mouse_record::kWiredReportRate], 4);
    EXPECT_EQ(written[mouse_record::kBrightness], 1);
    EXPECT_EQ(written[mouse_record::kScreenWidth], 1920 & 0xFF);
    // Each command of the read and of the write is preceded by the link query.
    const auto codes = Commands();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], kQueryLink);
    EXPECT_EQ(codes[1], kReadSettings);
}

TEST_F(DeviceSafety, OneBrightnessStepSendsTheRecordAndNothingElse) {
    Attach("mouse", LinkWired);
    ReadAll();
    std::vector<uint8_t> expected = Record0();
    ui::Ctl(host.FindUnder(page, "deng_light_slider")).SetValue(1, false);
    EditLight("valuechanged", "deng_light_slider");
    EXPECT_EQ(Commands(), kRecordWrite);
    expected[mouse_record::kBrightness] = 1;
    // The panels' refresh sends no screen size; an edit sends the screen's.
    for (size_t byte : {69u, 70u, 71u, 72u}) expected[byte] = Bytes16(byte < 71 ? 1920 : 1080)[(byte - 69) % 2];
    EXPECT_EQ(Record0(), expected);
    const auto traffic = rig.hub.Traffic().Entries();
    ASSERT_EQ(traffic.size(), 4u);
    // The record in two chunks: 56 bytes at 0, 31 at 56.
    EXPECT_EQ(std::vector<uint8_t>(traffic[1].request.begin() + 3, traffic[1].request.begin() + 7),
              (std::vector<uint8_t>{kWriteSettings, 56, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(traffic[2].request.begin() + 3, traffic[2].request.begin() + 7),
              (std::vector<uint8_t>{kWriteSettings, 31, 56, 0}));
    EXPECT_EQ(std::vector<uint8_t>(traffic[2].request.begin() + 8, traffic[2].request.begin() + 8 + 31),
              std::vector<uint8_t>(expected.begin() + 56, expected.end()));
}

TEST_F(DeviceSafety, MacrosGoBeforeTheKeysAndNoKeysWhenTheyDoNotFit) {
    Attach("mouse", LinkWired);
    ReadAll();
    WriteMacroCatalogue(2);
    EXPECT_EQ(mouse->WriteAllSettings(), 0);
    ExpectMacrosBeforeKeys();
    EXPECT_EQ(rig.hub.Firmware("mouse")->MacroImage().size(), 1u);

    const auto table = Memory(kReadKeyTable);
    rig.hub.Traffic().Clear();
    WriteMacroCatalogue(600);  // 2422 bytes against 2048
    EXPECT_EQ(mouse->WriteAllSettings(), (2422 - 2048) / 4 + 1);
    std::vector<uint8_t> expected = kRecordWrite;
    expected.push_back(kReadDeviceInfo);  // the macros' capacity, then nothing
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(Memory(kReadKeyTable), table);
}

TEST_F(DeviceSafety, AfterAFailedKeyTableReadTheMacrosOfTheKeysStillGoFirst) {
    Attach("mouse", LinkWired);
    rig.hub.InjectFault("mouse", kReadKeyTable);
    ReadAll();  // no slot is known: no key seems to use a macro
    WriteMacroCatalogue(2);

    // The table cannot be read for the write either: neither macros nor keys go out.
    rig.hub.InjectFault("mouse", kReadKeyTable);
    EXPECT_EQ(mouse->WriteAllSettings(), -1);
    EXPECT_EQ(Count(kWriteMacroImage), 0u);
    EXPECT_EQ(Count(kWriteKeyTable), 0u);

    // Read now: the key's macro reaches the device before the key that runs it.
    rig.hub.Traffic().Clear();
    EXPECT_EQ(mouse->WriteAllSettings(), 0);
    ExpectMacrosBeforeKeys();
    EXPECT_EQ(rig.hub.Firmware("mouse")->MacroImage().size(), 1u);
    const size_t slot = mouse->SlotMap()[5];
    ASSERT_NE(slot, kMissingSlot);
    EXPECT_EQ(Memory(kReadKeyTable)[3 * slot], 0x70);
}

TEST_F(DeviceSafety, MacrosFailWhenTheReceiverLosesTheMouseBeforeSending) {
    Attach("mouse-receiver", LinkReceiver);
    ReadAll();
    WriteMacroCatalogue(2);
    rig.hub.SetPower("mouse", false);
    EXPECT_EQ(mouse->WriteMacros({0}), -1);
    EXPECT_EQ(Commands(), (std::vector<uint8_t>{kQueryLink}));
    EXPECT_EQ(mouse->WriteAllSettings(), -1);
    EXPECT_EQ(Count(kWriteKeyTable), 0u);
    EXPECT_EQ(Count(kWriteMacroImage), 0u);
}

TEST_F(DeviceSafety, ProfileValuesOutOfRangeAreLimitedBeforeTheyAreSent) {
    Attach("mouse", LinkWired);
    ReadAll();
    LightInfo light = mouse->Document().ReadLightInfo();
    light.light = 9;
    light.speed = 6;
    mouse->Document().WriteLightInfo(light);
    ASSERT_EQ(mouse->WriteToDevice(0, 0, 1, 1920, 1080), kResultSuccess);
    EXPECT_EQ(Record0()[mouse_record::kBrightness], 4);
    EXPECT_EQ(Record0()[mouse_record::kSpeed], 0);  // 4 − 4
}

TEST_F(DeviceSafety, LightingControlOffSendsNoLightingAndLeavesThePicture) {
    Attach("mouse", LinkWired);
    ReadAll();
    LightInfo light = mouse->GetLightInfo();
    light.selectItem = 11;  // the audio effect is streamed by the program
    mouse->SetLightInfo(light.Words(), light.HalfWord());
    mouse->SetLedColour(0, LedEntry{10, 20, 30, 200}.Packed());
    auto* led = static_cast<ui::MemoryControl*>(host.FindUnder(page, "light_0"));
    ASSERT_NE(led, nullptr);
    const uint32_t shown = led->LightColour();

    mouse->SetLightControlFlag(0);
    mouse->RenderLighting();
    EXPECT_EQ(Count(kStreamLighting), 0u);
    EXPECT_EQ(led->LightColour(), shown);

    mouse->SetLightControlFlag(1);
    mouse->SetWindowActive(false);
    mouse->RenderLighting();
    EXPECT_GT(Count(kStreamLighting), 0u);
    EXPECT_EQ(led->LightColour(), shown);  // not redrawn while the window is not active

    mouse->SetWindowActive(true);
    mouse->RenderLighting();
    EXPECT_EQ(led->LightColour(), 10u | 20u << 8 | 30u << 16);
}

TEST_F(DeviceSafety, AFailedStreamSkipsFramesForTwoHundredMilliseconds) {
    Attach("mouse", LinkWired);
    ReadAll();
    LightInfo light = mouse->GetLightInfo();
    light.selectItem = 11;
    mouse->SetLightInfo(light.Words(), light.HalfWord());
    ManualTickClock& clock = Clock();
    rig.hub.InjectFault("mouse", kStreamLighting);
    mouse->RenderLighting();
    EXPECT_EQ(Count(kStreamLighting), 1u);  // the first chunk fails, the frame stops
    clock.AdvanceMilliseconds(190);         // 187 ms on the lighting clock
    mouse->RenderLighting();
    EXPECT_EQ(Count(kStreamLighting), 1u);
    clock.AdvanceMilliseconds(20);  // 203 ms
    mouse->RenderLighting();
    EXPECT_GT(Count(kStreamLighting), 1u);
}

TEST_F(DeviceSafety, TheFirstCustomStepLastsItsOwnTime) {
    // Catalogue entry 12 stands for mode 12, the first past the built-in ones.
    Json::Value catalogue;
    for (int i = 0; i <= 12; ++i) catalogue["LightInfo"][0][i]["Guid"] = i == 12 ? "steps" : "none";
    SaveJson(folder.File("data/M470/mouse/kestro_light.config"), catalogue);
    folder.Write("data/M470/mouse/steps.light", R"({"LEDEffectList": [
        {"LEDREGMode": 1, "LEDBrightness": 4, "red": 10, "green": 0, "blue": 0, "Time": 500, "Cyle": 1},
        {"LEDREGMode": 1, "LEDBrightness": 4, "red": 0, "green": 10, "blue": 0, "Time": 500, "Cyle": 1}]})");
    ManualTickClock& clock = Clock();
    mouse->LoadAssignments();
    LightInfo light = mouse->Document().ReadLightInfo();
    light.selectItem = 12;
    mouse->Document().WriteLightInfo(light);
    mouse->ApplyProfile();
    uint32_t ticks = 0;
    mouse->LightingTick(ticks);
    EXPECT_EQ(mouse->FrameCopy()[0].red, 10);
    clock.AdvanceMilliseconds(100);
    mouse->LightingTick(ticks);
    EXPECT_EQ(mouse->FrameCopy()[0].red, 10);  // still the first step
    clock.AdvanceMilliseconds(450);
    mouse->LightingTick(ticks);
    mouse->LightingTick(ticks);
    EXPECT_EQ(mouse->FrameCopy()[0].green, 10);
}

}  // namespace
}  // namespace m470
