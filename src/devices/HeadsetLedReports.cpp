#include "devices/HeadsetLedReports.h"

#include <algorithm>

namespace m470 {
namespace {

enum class Plane { Red, Green, Blue };

// One report: LED target, plane byte, which plane, and the LEDs it carries.
struct LedReportRow {
    uint8_t target;
    uint8_t planeByte;
    Plane plane;
    size_t firstLed, count;
};

constexpr LedReportRow kLedReports[hs6533_leds::kReportsPerRefresh] = {
    {0x22, 0xAA, Plane::Red, 0, 7},   {0x22, 0xAD, Plane::Red, 7, 6},   {0x44, 0xAA, Plane::Red, 0, 7},
    {0x44, 0xAD, Plane::Red, 7, 6},   {0x22, 0xAB, Plane::Green, 0, 7}, {0x22, 0xAE, Plane::Green, 7, 6},
    {0x44, 0xAB, Plane::Green, 0, 7}, {0x44, 0xAE, Plane::Green, 7, 6}, {0x22, 0xAC, Plane::Blue, 0, 7},
    {0x22, 0xAF, Plane::Blue, 7, 6},  {0x44, 0xAC, Plane::Blue, 0, 7},  {0x44, 0xAF, Plane::Blue, 7, 6},
};

uint8_t PlaneValue(const LedEntry& led, Plane plane) {
    const uint8_t channel = plane == Plane::Red ? led.red : plane == Plane::Green ? led.green : led.blue;
    return std::min<uint8_t>(static_cast<uint8_t>(channel * led.level >> 8), hs6533_leds::kHighestValue);
}

}  // namespace

std::array<HeadsetLedReport, hs6533_leds::kReportsPerRefresh> BuildLedReports(const LedFrame& frame) {
    std::array<HeadsetLedReport, hs6533_leds::kReportsPerRefresh> reports{};
    for (size_t r = 0; r < reports.size(); ++r) {
        const LedReportRow& row = kLedReports[r];
        HeadsetLedReport& report = reports[r];
        report[0] = 0xFF;
        report[1] = row.target;
        report[2] = row.planeByte;
        for (size_t i = 0; i < row.count; ++i) {
            const size_t led = row.firstLed + i;
            report[hs6533_leds::kFirstValue + i] = led < frame.size() ? PlaneValue(frame[led], row.plane) : 0;
        }
    }
    return reports;
}

}  // namespace m470
