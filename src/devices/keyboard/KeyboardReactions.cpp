// How key presses reported by the keyboard change the effect state. They
// arrive on the notification thread and write only the shared bytes.
#include <algorithm>

#include "devices/keyboard/KeyboardLightingSteps.h"

namespace m470 {
namespace {

constexpr uint8_t kWheelSize = 192;

struct Neighbour {
    int column, row;
    bool near;
};
constexpr std::array<Neighbour, 12> kNeighbourhood{{
    {0, -1, true}, {0, 1, true}, {-1, 0, true}, {1, 0, true},
    {0, -2, false}, {0, 2, false}, {-1, -1, false}, {-1, 1, false}, {1, -1, false}, {1, 1, false}, {-2, 0, false}, {2, 0, false},
}};
constexpr uint8_t kNearGain = 60, kNearLoss = 15, kFarLoss = 90;

bool FirstCellOf(uint8_t key, int& column, int& row) {
    for (size_t c = 0; c < kKeyColumnCount; ++c)
        for (size_t r = 0; r < kKeyRowCount; ++r)
            if (kKeyColumns[c][r] == key) {
                column = static_cast<int>(c);
                row = static_cast<int>(r);
                return true;
            }
    return false;
}

// Whether a key other than except is held in the cell or around it.
bool OtherHeldAround(const KeyboardEffects& fx, int column, int row, uint8_t except, bool withCell) {
    const auto held = [&](uint8_t k) { return IsKey(k) && k != except && fx.pressed[k] != 0; };
    if (withCell && held(ColumnKey(column, row))) return true;
    return std::any_of(kNeighbourhood.begin(), kNeighbourhood.end(),
                       [&](const Neighbour& n) { return held(ColumnKey(column + n.column, row + n.row)); });
}

// A held key lights itself and warms its neighbours; released, it lets go
// of the neighbours no other held key keeps warm.
void SpreadReaction(KeyboardEffects& fx, uint8_t key, bool press) {
    int column = 0, row = 0;
    if (!FirstCellOf(key, column, row)) return;
    if (press) {
        fx.pressed[key] = 1;
        fx.stage[key] = 1;
        fx.level[key] = 255;
    }
    for (const Neighbour& n : kNeighbourhood) {
        const uint8_t k = ColumnKey(column + n.column, row + n.row);
        if (!IsKey(k)) continue;
        if (press) {
            fx.stage[k] = 1;
            fx.level[k] = static_cast<uint8_t>(std::min(255, fx.level[k] + kNearGain));
        } else if (!OtherHeldAround(fx, column + n.column, row + n.row, key, true)) {
            const uint8_t loss = n.near ? kNearLoss : kFarLoss;
            fx.stage[k] = 2;
            fx.level[k] = fx.level[k] > loss ? static_cast<uint8_t>(fx.level[k] - loss) : 0;
        }
    }
    if (press) return;
    if (!OtherHeldAround(fx, column, row, key, false)) fx.stage[key] = 2;
    fx.pressed[key] = 0;
}

}  // namespace

void KeyReaction(KeyboardEffects& fx, const std::array<uint8_t, kKeyboardKeys>& keyMap, uint8_t mode, uint8_t slot,
                 bool press, uint32_t (*random)()) {
    // Absent keys are mapped to slot 255: a report for it belongs to no key.
    if (slot == kNoLedPosition) return;
    const auto found = std::find(keyMap.begin(), keyMap.end(), slot);
    if (found == keyMap.end()) return;
    const auto key = static_cast<uint8_t>(found - keyMap.begin());
    switch (mode) {
        case 7:
            fx.stage[key] = press ? 1 : 2;
            fx.level[key] = 255;
            fx.colour[key] = static_cast<uint8_t>(random() % kWheelSize);
            break;
        case 8:
        case 9:
            if (press) StartKeyRipple(fx, key);
            break;
        case 25: SpreadReaction(fx, key, press); break;
        default: break;
    }
}

}  // namespace m470
