#pragma once
// The 34-byte device information block (command 0x03).
#include <array>
#include <cstddef>
#include <cstdint>

namespace m470 {

inline constexpr uint16_t kThreeSegmentSensor = 0x3325;

struct DeviceInfo {
    static constexpr size_t kSize = 34;
    std::array<uint8_t, kSize> bytes{};

    uint8_t KeySlotCount() const { return bytes[5]; }
    uint8_t MacroMemoryUnits() const { return bytes[6]; }  // units of 128 bytes
    uint32_t MacroCapacity() const { return bytes[6] * 128u; }
    uint16_t SensorCode() const { return static_cast<uint16_t>(bytes[9] | bytes[10] << 8); }
    uint8_t SensitivityStep() const { return bytes[11]; }
    uint16_t LowestSensitivity() const { return static_cast<uint16_t>(bytes[14] | bytes[15] << 8); }
    uint32_t KeyTableLength() const { return KeySlotCount() * 3u; }
};

}  // namespace m470
