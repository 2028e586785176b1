#pragma once
// The constant tables that name key functions and give their codes. Every
// name is a text key of the language layer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "keys/KeyAssignment.h"

namespace m470 {

struct KeyTableRow {
    uint16_t code;  // virtual-key code (0x101, 0x103-0x105 are our own; 0xFF: none)
    uint8_t type, param1, param2;
};

struct ScanCodeRow {
    uint16_t virtualKey;
    uint16_t scanCode;  // set-1 make code, + 0x100 for keys reported as extended
};

// A named function of one of the small tables.
struct FunctionRow {
    const char* name;
    uint8_t type, param1, param2;
};

inline constexpr size_t kKeyTableRows = 142;
inline constexpr size_t kKeyNameCount = 143;  // the last name has no row
extern const std::array<KeyTableRow, kKeyTableRows> kKeyTable;
extern const std::array<const char*, kKeyNameCount> kKeyTableNames;
extern const std::array<ScanCodeRow, 113> kScanCodeTable;
extern const std::array<FunctionRow, 11> kShortcutTable;
extern const std::array<FunctionRow, 9> kBuiltinShortcutTable;
extern const std::array<FunctionRow, 18> kMediaKeyTable;
extern const std::array<FunctionRow, 3> kSystemKeyTable;
extern const std::array<FunctionRow, 3> kDpiKeyTable;
extern const std::array<FunctionRow, 5> kMouseButtonTable;
extern const std::array<FunctionRow, 16> kMouseFunctionTable;
extern const std::array<const char*, 4> kRecoilPatternNames;

// Lookups: the first matching row in table order, or -1.
int FindKeyByVirtualKey(uint16_t virtualKey);
int FindKeyByScanCode(uint16_t scanCode, bool extended);
int FindKeyByParams(uint8_t param1, uint8_t param2);
int FindKeyByTypeParam1(uint8_t type, uint8_t param1);
int FindKeyByTypeParams(uint8_t type, uint8_t param1, uint8_t param2);
template <size_t N>
int FindByParam1(const std::array<FunctionRow, N>& table, uint8_t param1) {
    for (size_t i = 0; i < N; ++i)
        if (table[i].param1 == param1) return static_cast<int>(i);
    return -1;
}
template <size_t N>
int FindByParams(const std::array<FunctionRow, N>& table, uint8_t param1, uint8_t param2) {
    for (size_t i = 0; i < N; ++i)
        if (table[i].param1 == param1 && table[i].param2 == param2) return static_cast<int>(i);
    return -1;
}

// The KeyTable row as an assignment record (code = virtual-key code).
KeyAssignment KeyTableAssignment(size_t row);

}  // namespace m470
