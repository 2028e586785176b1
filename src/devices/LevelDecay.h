#pragma once
// How a lit level fades by one step: the step shrinks with the level, by
// the mode's row of the decay table. Shared by every product's trails.
#include <array>
#include <cstdint>

namespace m470 {

// Every level's next level in the mode's row.
using DecayRowLevels = std::array<uint8_t, 256>;
const DecayRowLevels& DecayLevels(int mode);
inline uint8_t DecayedLevel(uint8_t level, int mode) { return DecayLevels(mode)[level]; }

}  // namespace m470
