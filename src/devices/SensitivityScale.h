#pragma once
// Slider positions (0-88) ↔ sensitivity values, from the device information:
// linear for most sensors, three segments for sensor 0x3325.
#include <cstdint>
#include <string>

#include "device_link/DeviceInfo.h"

namespace m470 {

struct SensitivityScale {
    uint16_t sensor = 0;
    uint16_t step = 0;
    uint16_t base = 0;

    static SensitivityScale From(const DeviceInfo& info) {
        return {info.SensorCode(), info.SensitivityStep(), info.LowestSensitivity()};
    }
    static constexpr int kMaxPosition = 88;
    static constexpr int kMaxValue = 16000;

    int ValueOf(int position) const;
    // A typed value: empty counts as "0", text that is not a number as 0;
    // clamped to base..16000.
    int PositionOf(const std::string& typed) const;
    int PositionOfValue(int value) const;
};

}  // namespace m470
