#include "devices/SensitivityScale.h"

#include <algorithm>
#include <charconv>

namespace m470 {

int SensitivityScale::ValueOf(int p) const {
    const bool threeSegment = sensor == kThreeSegmentSensor;
    if (!threeSegment || p <= 48) return base + p * step;
    if (p <= 73) return base + 48 * step + (p - 48) * 200;
    return base + 48 * step + 5000 + (p - 73) * 400;
}

int SensitivityScale::PositionOf(const std::string& typed) const {
    int value = 0;
    const char* begin = typed.data();
    std::from_chars(begin, begin + typed.size(), value);  // not a number: 0
    return PositionOfValue(value);
}

int SensitivityScale::PositionOfValue(int v) const {
    // A device may report a base above the highest value: the bounds are ordered.
    const int lowest = std::min<int>(base, kMaxValue), highest = std::max<int>(base, kMaxValue);
    v = std::clamp(v, lowest, highest);
    // A device that reports step 0 has one position only.
    const int divisor = step == 0 ? 1 : step;
    int position;
    if (sensor != kThreeSegmentSensor || v <= 5000)
        position = (v - base) / divisor;
    else if (v <= 10000)
        position = (5000 - base) / divisor + (v - 5000) / 200;
    else
        position = (5000 - base) / divisor + (v - 10000) / 400 + 25;
    return std::clamp(position, 0, kMaxPosition);
}

}  // namespace m470
