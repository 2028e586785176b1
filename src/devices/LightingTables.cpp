#include "devices/LightingTables.h"

namespace m470 {
namespace {

constexpr std::array<uint8_t, 64> kBreathRise{0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  12,  14,
                                              16,  18,  20,  22,  24,  27,  30,  33,  36,  39,  42,  45,  49,
                                              53,  57,  61,  65,  69,  73,  77,  81,  85,  89,  94,  99,  104,
                                              109, 114, 119, 124, 129, 134, 140, 146, 152, 158, 164, 170, 176,
                                              182, 188, 194, 200, 206, 213, 220, 227, 234, 241, 248, 255};
constexpr std::array<uint8_t, 32> kChannelRise{1,  3,  5,  7,   10,  14,  18,  22,  26,  32,  38,  44,  50,  57,  65,  73,
                                               81, 89, 99, 109, 119, 129, 140, 152, 164, 176, 188, 200, 213, 227, 241, 255};
constexpr std::array<uint8_t, 32> kChannelFall{248, 234, 220, 206, 194, 182, 170, 158, 146, 134, 124,
                                               114, 104, 94,  85,  77,  69,  61,  53,  47,  41,  35,
                                               29,  24,  20,  16,  12,  8,   6,   4,   2,   0};

constexpr std::array<uint8_t, 128> MakeBreathCurve() {
    std::array<uint8_t, 128> curve{};
    for (size_t i = 0; i < 64; ++i) {
        curve[i] = kBreathRise[i];
        curve[127 - i] = kBreathRise[i];
    }
    return curve;
}

constexpr std::array<uint8_t, 96> MakeWaveCurve() {
    std::array<uint8_t, 96> curve{};
    for (size_t i = 0; i < 48; ++i) {
        curve[i] = kBreathRise[16 + i];
        curve[95 - i] = kBreathRise[16 + i];
    }
    return curve;
}

// Six sextants: which channel rises or falls while the others hold.
enum Channel : uint8_t { kHigh, kLow, kRise, kFall };
struct Sextant {
    Channel red, green, blue;
};
constexpr std::array<Sextant, 6> kSextants{{
    {kHigh, kRise, kLow},  // red → yellow
    {kFall, kHigh, kLow},  // yellow → green
    {kLow, kHigh, kRise},  // green → cyan
    {kLow, kFall, kHigh},  // cyan → blue
    {kRise, kLow, kHigh},  // blue → magenta
    {kHigh, kLow, kFall},  // magenta → red
}};

constexpr uint8_t ChannelValue(Channel channel, size_t step) {
    return channel == kHigh ? 255 : channel == kLow ? 0 : channel == kRise ? kChannelRise[step] : kChannelFall[step];
}

constexpr std::array<Rgb, 192> MakeColourWheel() {
    std::array<Rgb, 192> wheel{};
    for (size_t i = 0; i < 192; ++i) {
        const Sextant& sextant = kSextants[i / 32];
        wheel[i] = {ChannelValue(sextant.red, i % 32), ChannelValue(sextant.green, i % 32),
                    ChannelValue(sextant.blue, i % 32)};
    }
    return wheel;
}

}  // namespace

const std::array<uint8_t, 128> kBreathCurve = MakeBreathCurve();
const std::array<uint8_t, 96> kWaveCurve = MakeWaveCurve();
const std::array<Rgb, 192> kColourWheel = MakeColourWheel();

}  // namespace m470
