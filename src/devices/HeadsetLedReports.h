#pragma once
// The headset's LEDs are lit by the host: each refresh sends the frame as
// twelve 17-byte output reports, one per colour plane, half of the LEDs and
// LED target (0x22 and 0x44 each get every plane).
#include <array>
#include <cstdint>

#include "devices/LedFrame.h"

namespace m470 {

namespace hs6533_leds {
inline constexpr size_t kLeds = 13;
inline constexpr size_t kReportSize = 17;
inline constexpr size_t kReportsPerRefresh = 12;
inline constexpr size_t kFirstValue = 4;
inline constexpr uint8_t kHighestValue = 247;  // the chip's ceiling for a plane value
}  // namespace hs6533_leds

using HeadsetLedReport = std::array<uint8_t, hs6533_leds::kReportSize>;

// The twelve reports of one refresh, in the order they are sent. A plane
// value is channel × level >> 8, held to 247; LEDs beyond the frame are 0.
std::array<HeadsetLedReport, hs6533_leds::kReportsPerRefresh> BuildLedReports(const LedFrame& frame);

}  // namespace m470
