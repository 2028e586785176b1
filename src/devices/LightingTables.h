#pragma once
// The constant tables of the host-side lighting effects.
#include <array>
#include <cstddef>
#include <cstdint>

namespace m470 {

struct Rgb {
    uint8_t red, green, blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

extern const std::array<uint8_t, 128> kBreathCurve;
extern const std::array<uint8_t, 96> kWaveCurve;
extern const std::array<Rgb, 192> kColourWheel;
inline constexpr std::array<Rgb, 4> kFourColourPalette{{{0, 255, 180}, {0, 255, 0}, {255, 255, 255}, {255, 0, 0}}};
inline constexpr std::array<uint8_t, 5> kBrightnessScale{0, 80, 135, 195, 255};
// Units of 200 ms per speed; also the per-LED colour-cycle counts.
inline constexpr std::array<uint8_t, 5> kBlinkPeriod{8, 6, 4, 2, 1};
inline constexpr std::array<uint8_t, 5> kStepThreshold{8, 6, 4, 2, 1};
inline constexpr std::array<uint8_t, 5> kTrailThreshold{16, 12, 8, 4, 2};
inline constexpr std::array<uint8_t, 5> kColourCycleThreshold{8, 5, 3, 1, 0};  // custom step mode 5

inline constexpr uint8_t kNoLed = 0xFF;  // a layout cell without an LED

// The mouse's 7 positions for wave and trail: LEDs per position.
inline constexpr std::array<std::array<uint8_t, 3>, 7> kMouseLedPositions{{
    {0, 13, kNoLed}, {1, 12, kNoLed}, {2, 11, kNoLed}, {3, 10, kNoLed}, {4, 9, kNoLed}, {5, 15, 8}, {6, 14, 7}}};

// Audio layouts of the mouse.
inline constexpr std::array<std::array<uint8_t, 8>, 2> kColumnLayout{{{6, 5, 4, 3, 2, 1, 0, 15}, {13, 12, 11, 10, 9, 8, 7, 14}}};
inline constexpr std::array<std::array<uint8_t, 5>, 5> kBarLayout{{{14, 15, kNoLed, kNoLed, kNoLed},
                                                                  {3, 10, kNoLed, kNoLed, kNoLed},
                                                                  {2, 11, 4, 9, kNoLed},
                                                                  {1, 12, 5, 8, kNoLed},
                                                                  {0, 13, 6, 7, kNoLed}}};
inline constexpr std::array<std::array<uint8_t, 3>, 7> kRippleLayout{{
    {6, 7, 14}, {5, 8, kNoLed}, {4, 9, kNoLed}, {3, 10, kNoLed}, {2, 11, kNoLed}, {1, 12, kNoLed}, {0, 13, 15}}};
inline constexpr std::array<uint8_t, 16> kAudioLedOrder{0, 1, 2, 3, 4, 5, 6, 14, 7, 8, 9, 10, 11, 12, 13, 15};

// DecayTrail steps by level band (≥144, ≥128, ≥112, ≥96, ≥80, ≥64, ≥32, >16, >0).
struct DecayRow {
    int mode;  // -1: any other mode
    std::array<uint8_t, 9> steps;
};
inline constexpr std::array<DecayRow, 4> kDecaySteps{{
    {0, {40, 40, 30, 30, 30, 30, 15, 8, 1}},
    {11, {45, 40, 35, 30, 25, 20, 10, 5, 1}},
    {29, {40, 35, 30, 25, 20, 10, 5, 2, 1}},
    {-1, {40, 40, 30, 30, 30, 30, 10, 8, 1}},
}};

}  // namespace m470
