// Every byte of each product's written settings record: either a byte the
// program sets from its model (the product's table below), or exactly the
// byte it read. The product's memory holds distinct bytes 0xA0 + offset, and
// each set value differs from the byte read there, so a byte overwritten or
// left as read shows.
#include <gtest/gtest.h>

#include "device_link/CommandCodes.h"
#include "devices/MouseDevice.h"
#include "devices/MousePadDevice.h"
#include "devices/keyboard/KeyboardDevice.h"
#include "platform/JsonFile.h"
#include "sim/ProductFirmware.h"
#include "support/VirtualPage.h"

namespace m470 {
namespace {

struct SetByte {
    size_t at;
    int value;
    const char* what;
};

uint8_t ReadByte(size_t at) { return static_cast<uint8_t>(0xA0 + at); }

std::vector<uint8_t> DistinctRecord(size_t size) {
    std::vector<uint8_t> record(size);
    for (size_t at = 0; at < size; ++at) record[at] = ReadByte(at);
    return record;
}

// Puts record `index` of distinct bytes at index × stride and makes it the active one.
void StoreDistinctRecord(FirmwareEmulator& firmware, uint8_t index, size_t stride, size_t size) {
    firmware.WriteArea(command::kReadSettings, index * stride, DistinctRecord(size));
    firmware.WriteArea(command::kReadSettings, 0, {index});
}

// The written record against the table: the listed bytes hold their values,
// every other byte is the one read.
void ExpectEachByte(const std::vector<uint8_t>& memory, size_t size, const std::vector<SetByte>& set, const std::string& label) {
    ASSERT_GE(memory.size(), size);
    std::vector<bool> listed(size);
    for (const SetByte& byte : set) {
        ASSERT_LT(byte.at, size) << byte.what;
        ASSERT_NE(byte.value, ReadByte(byte.at)) << label << " byte " << byte.at << ": the case cannot tell set from read";
        EXPECT_EQ(memory[byte.at], byte.value) << label << " byte " << byte.at << ": " << byte.what;
        listed[byte.at] = true;
    }
    for (size_t at = 0; at < size; ++at)
        if (!listed[at]) EXPECT_EQ(memory[at], ReadByte(at)) << label << " byte " << at << ": as read";
}

// The lighting every case sets: mode by index, brightness 3, speed 1,
// direction 1, seven colours on, colour 10, 20, 30.
void PutLight(Json::Value& light, int mode) {
    light["SelectItem"] = mode, light["Light"] = 3, light["Speed"] = 1, light["Fx"] = 1, light["MultiColor"] = 1;
    light["Red"] = 10, light["Green"] = 20, light["Blue"] = 30;
}

// Bytes 0-8 of every record: the first byte, the mode's code, then that lighting.
std::vector<SetByte> HeadBytes(SetByte first, int modeCode, const char* direction = "direction") {
    using namespace record_light;
    return {first,
            {kMode, modeCode, "the mode's code"},
            {kBrightness, 3, "brightness"},
            {kSpeed, 3, "4 - speed"},
            {kDirection, 1, direction},
            {kSevenColours, 1, "seven colours"},
            {kRed, 10, "red"},
            {kRed + 1, 20, "green"},
            {kRed + 2, 30, "blue"}};
}

void SetProfileLight(CVantrelUSBDevice& device, int mode) {
    Json::Value document = LoadJson(device.GetProfilePath());
    PutLight(document["Device"][0]["LightInfo"], mode);
    SaveJson(device.GetProfilePath(), document);
}

// The device of each test is its own, gone before the rig and the page tree.
using RecordBytes = test::VirtualPageTest;

// ---- mouse ----

// The mouse's model, every value distinct from the bytes read.
void SetMouseProfile(CVantrelMouseDevice& mouse) {
    SetProfileLight(mouse, 5);
    Json::Value document = LoadJson(mouse.GetProfilePath());
    Json::Value& section = document["Device"][0];
    section["DPIStages"]["StageActive"] = 2;
    Json::Value& stages = section["DPIStages"]["StageDPIs"];
    for (Json::ArrayIndex i = 0; i < 6; ++i) {
        Json::Value& stage = stages[i];
        stage["StageActive"] = i % 2, stage["StageXY"] = 0x10 + i;
        stage["StageDPIX"] = 0x0300 + i, stage["StageDPIY"] = 0x0500 + i;
        stage["StageColorR"] = 0x20 + i, stage["StageColorG"] = 0x30 + i, stage["StageColorB"] = 0x40 + i;
    }
    section["ReportStages"]["StageActive"] = 2;
    section["ReportStages24g"]["StageActive24g"] = 4;
    section["CorrectInfo"][0]["CorrectSelect"] = 0, section["CorrectInfo"][0]["CorrectMinSq"] = 50;
    section["CorrectInfo"][1]["CorrectSelect"] = 1, section["CorrectInfo"][1]["CorrectMinSq"] = 9;
    section["CorrectInfo"][1]["CorrectPixThresh"] = 7;
    SaveJson(mouse.GetProfilePath(), document);
    mouse.LoadAssignments();
}

TEST_F(RecordBytes, TheMouseRecordOnEitherLink) {
    const auto mouse = MakeDevice<CVantrelMouseDevice>("mousedevice.ui");
    using namespace mouse_record;
    std::vector<SetByte> common = HeadBytes({kActiveIndex, 0, "first byte argument"}, 5);
    const std::vector<SetByte> rest{{kCleared, 0, "cleared"},
                                    {kActiveStage, 2, "active stage"},
                                    {kFlag, 1, "flag argument"},
                                    {kScreenWidth, 0x80, "screen width, low"},
                                    {kScreenWidth + 1, 0x07, "screen width, high"},
                                    {kScreenHeight, 0x38, "screen height, low"},
                                    {kScreenHeight + 1, 0x04, "screen height, high"},
                                    {kCorrectMinSq, 9, "selected correction's minimum square"},
                                    {kCorrectPixThresh, 7, "selected correction's pixel threshold"}};
    common.insert(common.end(), rest.begin(), rest.end());
    for (size_t i = 0; i < 6; ++i) {
        const size_t at = kStages + DpiStage::kSize * i;
        const int n = static_cast<int>(i);
        const std::vector<SetByte> stage{{at, n % 2, "stage enabled"},        {at + 1, 0x10 + n, "stage xy"},
                                         {at + 2, n, "stage dpiX, low"},      {at + 3, 0x03, "stage dpiX, high"},
                                         {at + 4, n, "stage dpiY, low"},      {at + 5, 0x05, "stage dpiY, high"},
                                         {at + 6, 0x20 + n, "stage red"},     {at + 7, 0x30 + n, "stage green"},
                                         {at + 8, 0x40 + n, "stage blue"}};
        common.insert(common.end(), stage.begin(), stage.end());
    }
    struct Link {
        const char* product;
        int mode;
        SetByte reportRate;  // the other link's rate goes back as read
    };
    const Link links[]{{"mouse", LinkWired, {kWiredReportRate, 2, "cable report rate"}},
                       {"mouse-receiver", LinkReceiver, {kReceiverReportRate, 4, "receiver report rate"}}};
    for (const Link& link : links) {
        rig.hub.Plug(link.product);
        // Record 1 is the active one; the program writes record 0.
        StoreDistinctRecord(*rig.hub.Firmware("mouse"), 1, kStride, kSize);
        rig.Open(mouse->Transport(), "mouse", link.mode);
        ASSERT_EQ(mouse->ReadFromDevice(), kResultSuccess) << link.product;
        mouse->StopLightingThread();
        SetMouseProfile(*mouse);
        ASSERT_EQ(mouse->WriteToDevice(0, 0, 1, 1920, 1080), kResultSuccess) << link.product;
        std::vector<SetByte> table = common;
        table.push_back(link.reportRate);
        ExpectEachByte(rig.hub.Firmware("mouse")->Area(command::kReadSettings), kSize, table, link.product);
    }
}

// ---- keyboard ----

TEST_F(RecordBytes, TheKeyboardRecordOnEitherLink) {
    const auto keyboard = MakeDevice<CVantrelKeyboardDevice>("keyboarddevice.ui");
    using namespace keyboard_record;
    std::vector<SetByte> table = HeadBytes({kActiveIndex, 0, "first byte argument"}, 7);
    const std::vector<SetByte> rest{{kCleared, 0, "cleared"},
                                    {kSecondaryMode, 2, "secondary LED mode"},
                                    {kWFlag, 1, "W flag"},
                                    {kKey6Flag, 0, "6-key flag"},
                                    {kWinFlag, 1, "Windows-key lock flag"},
                                    {kPollingRate, 2, "report rate"},
                                    {kCustomGroup, 3, "colour group"}};
    table.insert(table.end(), rest.begin(), rest.end());
    const std::pair<const char*, int> links[]{{"keyboard", LinkWired}, {"keyboard-receiver", LinkReceiver}};
    for (const auto& [product, mode] : links) {
        rig.hub.Plug(product);
        StoreDistinctRecord(*rig.hub.Firmware("keyboard"), 1, kStride, kSize);
        rig.Open(keyboard->Transport(), "keyboard", mode);
        ASSERT_EQ(keyboard->ReadFromDevice(), kResultSuccess) << product;
        keyboard->StopLightingThread();
        Json::Value document = LoadJson(keyboard->GetProfilePath());
        Json::Value& light = document["Device"][0]["LightInfo"];
        PutLight(light, 7);
        light["ZZCCLedMode"] = 2;
        SaveJson(keyboard->GetProfilePath(), document);
        keyboard->LoadAssignments();
        keyboard->SwitchCustomGroup(3);
        for (const auto& [setting, value] : {std::pair{KeyboardSetting::WFlag, 1}, {KeyboardSetting::Key6Flag, 0},
                                             {KeyboardSetting::WinFlag, 1}, {KeyboardSetting::PollingRate, 2}})
            ASSERT_EQ(keyboard->ChangeSetting(setting, value), kResultSuccess) << product;
        ASSERT_EQ(keyboard->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess) << product;
        ExpectEachByte(rig.hub.Firmware("keyboard")->Area(command::kReadSettings), kSize, table, product);
    }
}

// ---- mousepad ----

// Read as 34 bytes at index × 33, written as 21 at record 0: the active
// record is 1 so that the index read and the record's own byte 0 differ.
TEST_F(RecordBytes, TheMousepadRecord) {
    using namespace pad_record;
    rig.hub.Plug("mousepad");
    const auto pad = MakeDevice<CVantrelMousePadDevice>("mousepaddevice.ui");
    rig.Open(pad->Transport(), "mousepad", LinkWired);
    StoreDistinctRecord(*rig.hub.Firmware("mousepad"), 1, kReadStride, kRead);
    ASSERT_EQ(pad->ReadFromDevice(), kResultSuccess);
    pad->StopLightingThread();
    SetProfileLight(*pad, 4);
    pad->LoadAssignments();
    ASSERT_EQ(pad->WriteToDevice(0, 0, 1, 0, 0), kResultSuccess);

    // Byte 4 carries the lighting direction the user chose.
    const std::vector<SetByte> table = HeadBytes({kActiveIndex, 1, "record index read"}, 5, "lighting direction");
    ExpectEachByte(rig.hub.Firmware("mousepad")->Area(command::kReadSettings), kWritten, table, "mousepad");
}

}  // namespace
}  // namespace m470
