#include "sim/ProductFirmware.h"

#include <algorithm>

#include "device_link/CommandCodes.h"

namespace m470 {
namespace {

// The mouse's 12 logical buttons by their factory functions.
constexpr std::array<std::array<uint8_t, 3>, 12> kMouseFactoryFunctions{{
    {0x10, 0x01, 0x00}, {0x10, 0x02, 0x00}, {0x10, 0x04, 0x00}, {0x10, 0x10, 0x00},
    {0x10, 0x08, 0x00}, {0x13, 0x01, 0x00}, {0x13, 0x02, 0x00}, {0x13, 0x03, 0x00},
    {0xA0, 0x1B, 0x00}, {0x16, 0x90, 0x01}, {0x14, 0x78, 0x02}, {0xA0, 0x35, 0x00},
}};

// The keyboard's written logical keys 0-125 by their factory functions
// (type, parameter 1, parameter 2), as the product ships them. Kept here as
// bytes so the emulator never agrees with the program's key table by
// sharing it.
constexpr size_t kKeyboardWrittenKeys = 126;
constexpr std::array<std::array<uint8_t, 3>, kKeyboardWrittenKeys> kKeyboardFactoryFunctions{{
    {0x20, 0x00, 0x29}, {0x20, 0x00, 0x3A}, {0x20, 0x00, 0x3B}, {0x20, 0x00, 0x3C}, {0x20, 0x00, 0x3D}, {0x20, 0x00, 0x3E},  // 0-5
    {0x20, 0x00, 0x3F}, {0x20, 0x00, 0x40}, {0x20, 0x00, 0x41}, {0x20, 0x00, 0x42}, {0x20, 0x00, 0x43}, {0x20, 0x00, 0x44},  // 6-11
    {0x20, 0x00, 0x45}, {0x20, 0x00, 0x46}, {0x20, 0x00, 0x47}, {0x20, 0x00, 0x48}, {0xA0, 0x1B, 0x00}, {0xA0, 0x24, 0x00},  // 12-17
    {0x20, 0x00, 0x00}, {0x20, 0x00, 0x00}, {0x20, 0x00, 0x00}, {0x20, 0x00, 0x35}, {0x20, 0x00, 0x1E}, {0x20, 0x00, 0x1F},  // 18-23
    {0x20, 0x00, 0x20}, {0x20, 0x00, 0x21}, {0x20, 0x00, 0x22}, {0x20, 0x00, 0x23}, {0x20, 0x00, 0x24}, {0x20, 0x00, 0x25},  // 24-29
    {0x20, 0x00, 0x26}, {0x20, 0x00, 0x27}, {0x20, 0x00, 0x2D}, {0x20, 0x00, 0x2E}, {0x20, 0x00, 0x2A}, {0x20, 0x00, 0x49},  // 30-35
    {0x20, 0x00, 0x4A}, {0x20, 0x00, 0x4B}, {0x20, 0x00, 0x53}, {0x20, 0x00, 0x54}, {0x20, 0x00, 0x55}, {0x20, 0x00, 0x56},  // 36-41
    {0x20, 0x00, 0x2B}, {0x20, 0x00, 0x14}, {0x20, 0x00, 0x1A}, {0x20, 0x00, 0x08}, {0x20, 0x00, 0x15}, {0x20, 0x00, 0x17},  // 42-47
    {0x20, 0x00, 0x1C}, {0x20, 0x00, 0x18}, {0x20, 0x00, 0x0C}, {0x20, 0x00, 0x12}, {0x20, 0x00, 0x13}, {0x20, 0x00, 0x2F},  // 48-53
    {0x20, 0x00, 0x30}, {0x20, 0x00, 0x31}, {0x20, 0x00, 0x4C}, {0x20, 0x00, 0x4D}, {0x20, 0x00, 0x4E}, {0x20, 0x00, 0x5F},  // 54-59
    {0x20, 0x00, 0x60}, {0x20, 0x00, 0x61}, {0x20, 0x00, 0x32}, {0x20, 0x00, 0x39}, {0x20, 0x00, 0x04}, {0x20, 0x00, 0x16},  // 60-65
    {0x20, 0x00, 0x07}, {0x20, 0x00, 0x09}, {0x20, 0x00, 0x0A}, {0x20, 0x00, 0x0B}, {0x20, 0x00, 0x0D}, {0x20, 0x00, 0x0E},  // 66-71
    {0x20, 0x00, 0x0F}, {0x20, 0x00, 0x33}, {0x20, 0x00, 0x34}, {0x20, 0x00, 0x28}, {0x20, 0x00, 0x5C}, {0x20, 0x00, 0x5D},  // 72-77
    {0x20, 0x00, 0x5E}, {0x20, 0x00, 0x8A}, {0x20, 0x00, 0x8B}, {0x20, 0x00, 0x90}, {0x20, 0x00, 0x91}, {0x20, 0x00, 0x88},  // 78-83
    {0x20, 0x02, 0x00}, {0x20, 0x00, 0x1D}, {0x20, 0x00, 0x1B}, {0x20, 0x00, 0x06}, {0x20, 0x00, 0x19}, {0x20, 0x00, 0x05},  // 84-89
    {0x20, 0x00, 0x11}, {0x20, 0x00, 0x10}, {0x20, 0x00, 0x36}, {0x20, 0x00, 0x37}, {0x20, 0x00, 0x38}, {0x20, 0x20, 0x00},  // 90-95
    {0x20, 0x00, 0x52}, {0x20, 0x00, 0x59}, {0x20, 0x00, 0x5A}, {0x20, 0x00, 0x5B}, {0x20, 0x00, 0x87}, {0x20, 0x00, 0x89},  // 96-101
    {0x20, 0x00, 0x64}, {0x20, 0x00, 0x85}, {0x20, 0x00, 0x00}, {0x20, 0x01, 0x00}, {0x20, 0x08, 0x00}, {0x20, 0x04, 0x00},  // 102-107
    {0x20, 0x00, 0x2C}, {0x20, 0x40, 0x00}, {0xA0, 0x01, 0x00}, {0x20, 0x00, 0x65}, {0x20, 0x10, 0x00}, {0x20, 0x00, 0x50},  // 108-113
    {0x20, 0x00, 0x51}, {0x20, 0x00, 0x4F}, {0x20, 0x00, 0x62}, {0x20, 0x00, 0x63}, {0x20, 0x00, 0x58}, {0x20, 0x00, 0x57},  // 114-119
    {0xD0, 0xA2, 0x01}, {0xD0, 0xA2, 0x02}, {0xD0, 0xA2, 0x03}, {0xD0, 0xA2, 0x04}, {0xD0, 0xA2, 0x05}, {0x20, 0x80, 0x00},  // 120-125
}};

struct PowerOnStage {
    uint16_t position;
    uint8_t red, green, blue;
};
constexpr std::array<PowerOnStage, 6> kPowerOnStages{{
    {3, 255, 0, 0}, {7, 0, 255, 0}, {15, 0, 0, 255}, {31, 255, 255, 0}, {56, 0, 255, 255}, {81, 255, 0, 255}}};

void FillMouseRecord(uint8_t* record) {
    record[1] = 1;         // mode code
    record[2] = 3;         // brightness
    record[3] = 4 - 2;     // speed 2
    record[5] = 1;         // seven colours
    record[6] = 255;
    record[8] = 64;
    record[11] = 3;        // cable report rate option
    record[12] = 1;        // active stage
    for (size_t i = 0; i < kPowerOnStages.size(); ++i) {
        uint8_t* stage = record + 14 + 9 * i;
        stage[0] = 1;
        stage[2] = static_cast<uint8_t>(kPowerOnStages[i].position);
        stage[4] = static_cast<uint8_t>(kPowerOnStages[i].position);
        stage[6] = kPowerOnStages[i].red;
        stage[7] = kPowerOnStages[i].green;
        stage[8] = kPowerOnStages[i].blue;
    }
    record[68] = 1;
    record[69] = 1920 & 0xFF;
    record[70] = 1920 >> 8;
    record[71] = 1080 & 0xFF;
    record[72] = 1080 >> 8;
    record[77] = 3;        // receiver report rate option
}

void FillLightRecord(uint8_t* record, uint8_t mode) {
    record[1] = mode;
    record[2] = 3;
    record[3] = 4 - 2;
    record[5] = 1;
    record[6] = 0;
    record[7] = 128;
    record[8] = 255;
}

}  // namespace

MouseFirmware::MouseFirmware(uint16_t sensorCode)
    : settings_(mouse_memory::kRecords * mouse_memory::kRecordStride, 0),
      keyTable_(mouse_memory::kKeySlots * 3, 0), stream_(512, 0) {
    using namespace mouse_memory;
    deviceInfo_[0] = 0x22;
    deviceInfo_[1] = 0x2E;
    deviceInfo_[5] = kKeySlots;
    deviceInfo_[6] = kMacroUnits;
    deviceInfo_[9] = static_cast<uint8_t>(sensorCode);
    deviceInfo_[10] = static_cast<uint8_t>(sensorCode >> 8);
    deviceInfo_[11] = static_cast<uint8_t>(kStep);
    deviceInfo_[14] = static_cast<uint8_t>(kBase);
    deviceInfo_[15] = static_cast<uint8_t>(kBase >> 8);
    for (size_t button = 0; button < kMouseFactoryFunctions.size(); ++button)
        for (size_t b = 0; b < 3; ++b) keyTable_[kButtonSlots[button] * 3 + b] = kMouseFactoryFunctions[button][b];
    for (size_t r = 0; r < kRecords; ++r) FillMouseRecord(settings_.data() + r * kRecordStride);
    settings_[0] = 0;  // active record
    macroArea_.assign(kMacroUnits * 128u, 0);
    recoilArea_.assign(kRecoilBytes, 0);
    AddCommand(command::kReadDeviceInfo, false, &deviceInfo_, false);
    AddCommand(command::kReadSettings, false, &settings_, false);
    AddCommand(command::kWriteSettings, true, &settings_, true);
    AddCommand(command::kReadKeyTable, false, &keyTable_, false);
    AddCommand(command::kWriteKeyTable, true, &keyTable_, true);
    AddCommand(command::kStreamLighting, true, &stream_, false);  // the audio mode's live frames
    AddCommand(command::kWriteMacroImage, true, &macroArea_, true);
    AddCommand(command::kWriteRecoilImage, true, &recoilArea_, true);
}

void MouseFirmware::OnSwitch(uint8_t activeRecord, int activeStage) {
    if (activeRecord >= mouse_memory::kRecords) return;
    settings_[0] = activeRecord;
    if (activeStage >= 0 && activeStage < 6)
        settings_[activeRecord * mouse_memory::kRecordStride + 12] = static_cast<uint8_t>(activeStage);
}

KeyboardFirmware::KeyboardFirmware()
    : settings_(256, 0), keyTable_(keyboard_memory::kKeySlots * 3, 0), keyTableSecond_(keyboard_memory::kKeySlots * 3, 0),
      ledPositions_(keyboard_memory::kKeySlots, 0),
      colourPages_(keyboard_memory::kColourGroups * keyboard_memory::kPageSize, 0), stream_(512, 0) {
    using namespace keyboard_memory;
    deviceInfo_[0] = 0x50;
    deviceInfo_[1] = 0xC9;
    deviceInfo_[5] = kKeySlots;
    deviceInfo_[6] = kMacroUnits;
    for (size_t j = 0; j < kKeyboardWrittenKeys; ++j) {
        const size_t slot = SlotOfKey(j);
        for (size_t b = 0; b < 3; ++b) keyTable_[slot * 3 + b] = kKeyboardFactoryFunctions[j][b];
        ledPositions_[slot] = LedPositionOfKey(j);
    }
    keyTableSecond_ = keyTable_;
    for (size_t r = 0; r < 4; ++r) FillLightRecord(settings_.data() + r * kRecordStride, 2);
    settings_[0] = 0;
    for (size_t i = 0; i < colourPages_.size(); i += 3) colourPages_[i] = 255;  // red pages
    macroArea_.assign(kMacroUnits * 128u, 0);
    AddCommand(command::kReadDeviceInfo, false, &deviceInfo_, false);
    AddCommand(command::kReadSettings, false, &settings_, false);
    AddCommand(command::kWriteSettings, true, &settings_, true);
    AddCommand(command::kReadKeyTable, false, &keyTable_, false);
    AddCommand(command::kWriteKeyTable, true, &keyTable_, true);
    AddCommand(command::kWriteKeyTableSecond, true, &keyTableSecond_, true);
    AddCommand(command::kReadKeyTableThird, false, &ledPositions_, false);
    AddCommand(command::kReadPagedBlock, false, &colourPages_, false);
    AddCommand(command::kWritePagedBlock, true, &colourPages_, false);
    AddCommand(command::kStreamLighting, true, &stream_, false);
    AddCommand(command::kWriteMacroImage, true, &macroArea_, true);
}

void KeyboardFirmware::OnSwitch(uint8_t activeRecord, int) {
    if (activeRecord < 4) settings_[0] = activeRecord;
}

LightRecordFirmware::LightRecordFirmware(uint8_t powerOnMode) : settings_(256, 0), stream_(512, 0) {
    deviceInfo_[5] = 0;
    FillLightRecord(settings_.data(), powerOnMode);
    settings_[0] = 0;
    AddCommand(command::kReadDeviceInfo, false, &deviceInfo_, false);
    AddCommand(command::kReadSettings, false, &settings_, false);
    AddCommand(command::kWriteSettings, true, &settings_, true);
    AddCommand(command::kStreamLighting, true, &stream_, false);
}

void LightRecordFirmware::OnSwitch(uint8_t activeRecord, int) {
    if (activeRecord < 4) settings_[0] = activeRecord;
}

bool LightRecordFirmware::AcceptOutputReport(std::span<const uint8_t> report) {
    if (report.size() != 17 || report[0] != 0xFF || (report[1] != 0x22 && report[1] != 0x44) || report[2] < 0xAA ||
        report[2] > 0xAF)
        return false;
    const size_t slot = (report[1] == 0x44 ? kPlanesPerTarget : 0) + (report[2] - 0xAA);
    std::lock_guard lock(planesMutex_);
    std::copy_n(report.begin() + 4, planeValues_[slot].size(), planeValues_[slot].begin());
    planeTaken_[slot] = true;
    return true;
}

std::map<std::pair<uint8_t, uint8_t>, std::array<uint8_t, 7>> LightRecordFirmware::Planes() const {
    std::lock_guard lock(planesMutex_);
    std::map<std::pair<uint8_t, uint8_t>, std::array<uint8_t, 7>> planes;
    for (size_t slot = 0; slot < planeValues_.size(); ++slot) {
        if (!planeTaken_[slot]) continue;
        const uint8_t target = slot < kPlanesPerTarget ? 0x22 : 0x44;
        planes[{target, static_cast<uint8_t>(0xAA + slot % kPlanesPerTarget)}] = planeValues_[slot];
    }
    return planes;
}

}  // namespace m470
