#pragma once
// The keyboard's 170 logical keys, each identified by its factory function.
#include <array>
#include <cstddef>
#include <cstdint>

#include "keys/KeyAssignment.h"

namespace m470 {

// A row names its function by a KeyTable row, or gives it directly when
// keyTableRow is -1.
struct LogicalKeyRow {
    int16_t keyTableRow;
    uint8_t type, param1, param2;
};

inline constexpr size_t kLogicalKeyCount = 170;
inline constexpr size_t kWrittenLogicalKeys = 126;  // keys 0-125 are written to the device
extern const std::array<LogicalKeyRow, kLogicalKeyCount> kLogicalKeys;

// The factory function of logical key j (code = j).
KeyAssignment LogicalKeyFunction(size_t j);

}  // namespace m470
