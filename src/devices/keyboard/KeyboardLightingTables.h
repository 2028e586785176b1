#pragma once
// The keyboard's lighting layout: where each logical key sits on the grids
// its effects walk, and the curves and seeds only the keyboard uses.
#include <array>
#include <cstddef>
#include <cstdint>

namespace m470 {

inline constexpr uint8_t kNoKey = 170;         // an empty cell of the 170-key grids
inline constexpr uint8_t kNoKeyWide = 255;     // an empty cell of the seven-row grid and the script
inline constexpr size_t kKeyboardKeys = 170;
inline constexpr size_t kKeyColumnCount = 23;
inline constexpr size_t kKeyRowCount = 6;

// 23 columns of 6 rows; row 0 is the function-key row, row 5 the bottom row.
extern const std::array<std::array<uint8_t, kKeyRowCount>, kKeyColumnCount> kKeyColumns;
// 23 columns of 7 rows, seeding the twinkle and pulse-wave effects.
extern const std::array<std::array<uint8_t, 7>, kKeyColumnCount> kKeyColumns7;
// 12 rings of keys around the board's middle.
extern const std::array<std::array<uint8_t, 12>, 12> kKeyGrid;
// The walking order of the order wave, twinkles and trails (first 126 used).
extern const std::array<uint8_t, 126> kKeyOrder;
extern const std::array<uint8_t, 170> kSnakeOrder;
extern const std::array<uint8_t, 192> kPulseCurve;
// Start phases by 6 × column + row of kKeyColumns7.
extern const std::array<uint8_t, 139> kPulseSeeds;

// The sweep's clock hand: 52 lines of keys from an edge of the board to its
// middle, one after the other around it.
inline constexpr size_t kSweepRows = 52;
using SweepRow = std::array<uint8_t, 12>;
extern const std::array<SweepRow, kSweepRows> kSweepTable;

extern const std::array<std::array<uint8_t, 6>, 20> kScriptGroups;
extern const std::array<std::array<uint8_t, 2>, 16> kScriptPairs;

// The key of column c, row r; kNoKey for an empty cell or one outside the table.
inline uint8_t ColumnKey(int column, int row) {
    if (column < 0 || row < 0 || column >= static_cast<int>(kKeyColumnCount) || row >= static_cast<int>(kKeyRowCount))
        return kNoKey;
    return kKeyColumns[static_cast<size_t>(column)][static_cast<size_t>(row)];
}
inline bool IsKey(uint8_t key) { return key < kKeyboardKeys; }

// Whether key k occurs in the first 126 entries of kKeyOrder (grid keys
// outside it are not drawn).
bool InKeyOrder(uint8_t key);

// Ticks between two steps by speed 0-4.
inline constexpr std::array<uint8_t, 5> kKeyboardThreshold{8, 5, 3, 1, 0};
inline constexpr std::array<uint8_t, 5> kColumnPulseThreshold{12, 8, 5, 0, 0};
inline constexpr std::array<uint8_t, 5> kPresetThreshold{3, 3, 3, 3, 0};

}  // namespace m470
