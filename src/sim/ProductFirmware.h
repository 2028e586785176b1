#pragma once
// The memory of each product's firmware and its power-on contents.
#include <array>
#include <map>
#include <span>

#include "sim/FirmwareEmulator.h"

namespace m470 {

namespace mouse_memory {
inline constexpr size_t kRecordStride = 128;
inline constexpr size_t kRecordSize = 87;
inline constexpr size_t kRecords = 8;
inline constexpr size_t kKeySlots = 16;
inline constexpr uint8_t kMacroUnits = 16;  // 2048 bytes
inline constexpr size_t kRecoilBytes = 4096;
inline constexpr uint16_t kStep = 100;
inline constexpr uint16_t kBase = 100;
// The sensor the mouse ships with (the one with the three-segment scale).
inline constexpr uint16_t kFactorySensor = 0x3325;
// Slot of each of the 12 logical buttons in the key table.
inline constexpr std::array<uint8_t, 12> kButtonSlots{3, 0, 7, 1, 9, 2, 11, 4, 13, 5, 14, 6};
}  // namespace mouse_memory

namespace keyboard_memory {
inline constexpr size_t kKeySlots = 126;
inline constexpr size_t kRecordStride = 33;
inline constexpr size_t kRecordSize = 34;
inline constexpr size_t kColourGroups = 8;
inline constexpr size_t kPageSize = 512;
inline constexpr uint8_t kMacroUnits = 32;  // 4096 bytes
// Logical key j sits in slot (j × 11) mod 126 and lights LED position (j × 5) mod 127.
constexpr size_t SlotOfKey(size_t j) { return (j * 11) % kKeySlots; }
constexpr uint8_t LedPositionOfKey(size_t j) { return static_cast<uint8_t>((j * 5) % 127); }
}  // namespace keyboard_memory

class MouseFirmware : public FirmwareEmulator {
public:
    explicit MouseFirmware(uint16_t sensorCode = mouse_memory::kFactorySensor);

protected:
    void OnSwitch(uint8_t activeRecord, int activeStage) override;

private:
    std::vector<uint8_t> settings_, keyTable_, stream_;
};

class KeyboardFirmware : public FirmwareEmulator {
public:
    KeyboardFirmware();

protected:
    void OnSwitch(uint8_t activeRecord, int activeStage) override;

private:
    std::vector<uint8_t> settings_, keyTable_, keyTableSecond_, ledPositions_, colourPages_, stream_;
};

// The mousepad and the headset: one lighting record, read as 34 bytes at
// index × 33 and written as 21 bytes at index × 64. The headset also takes
// 17-byte LED output reports.
class LightRecordFirmware : public FirmwareEmulator {
public:
    LightRecordFirmware(uint8_t powerOnMode);
    // The headset's LED output report: FF, target 22/44, plane, 0, values.
    bool AcceptOutputReport(std::span<const uint8_t> report);
    // Last values per (target, plane byte).
    std::map<std::pair<uint8_t, uint8_t>, std::array<uint8_t, 7>> Planes() const;

protected:
    void OnSwitch(uint8_t activeRecord, int activeStage) override;

private:
    std::vector<uint8_t> settings_, stream_;
    // Last values per LED target (22, then 44) and plane byte (AA-AF), in
    // that order: a LED report is one indexed store, streamed twelve at a time.
    static constexpr size_t kPlanesPerTarget = 6;
    mutable std::mutex planesMutex_;
    std::array<std::array<uint8_t, 7>, 2 * kPlanesPerTarget> planeValues_{};
    std::array<bool, 2 * kPlanesPerTarget> planeTaken_{};
};

}  // namespace m470
