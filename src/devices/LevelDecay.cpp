#include "devices/LevelDecay.h"

#include "devices/LightingTables.h"

namespace m470 {
namespace {

uint8_t DecayOnce(uint8_t level, const DecayRow& row) {
    if (level == 0) return 0;
    static constexpr std::array<uint8_t, 7> kAtLeast{144, 128, 112, 96, 80, 64, 32};
    size_t band = 8;
    for (size_t i = 0; i < kAtLeast.size(); ++i) {
        if (level >= kAtLeast[i]) {
            band = i;
            break;
        }
    }
    if (band == 8 && level > 16) band = 7;
    const uint8_t step = row.steps[band];
    return level > step ? static_cast<uint8_t>(level - step) : 0;
}

// Every level's next level by decay row: trails fade every key of a frame on
// every step, so the bands are looked up once.
using DecayTable = std::array<DecayRowLevels, kDecaySteps.size()>;
DecayTable MakeDecayTable() {
    DecayTable table{};
    for (size_t row = 0; row < kDecaySteps.size(); ++row)
        for (size_t level = 0; level < 256; ++level)
            table[row][level] = DecayOnce(static_cast<uint8_t>(level), kDecaySteps[row]);
    return table;
}

}  // namespace

const DecayRowLevels& DecayLevels(int mode) {
    static const DecayTable kDecayed = MakeDecayTable();
    size_t row = kDecaySteps.size() - 1;
    for (size_t i = 0; i + 1 < kDecaySteps.size(); ++i)
        if (kDecaySteps[i].mode == mode) row = i;
    return kDecayed[row];
}

}  // namespace m470
