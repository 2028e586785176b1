#pragma once
// How the devices with a key table find their logical keys in it and put
// the profile's functions back into it: shared by the mouse and the keyboard.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "keys/KeyAssignment.h"
#include "profiles/BasicProfiledata.h"

namespace m470 {

inline constexpr uint8_t kMacroRunType = 0x70;
inline constexpr uint8_t kMacroRepeatType = 0x71;
inline bool IsMacroType(uint8_t type) { return type == kMacroRunType || type == kMacroRepeatType; }

// The first of slots (3-byte records of table) holding function's type and
// parameters; absent when none does.
uint8_t FindFactorySlot(const std::vector<uint8_t>& table, size_t slots, const KeyAssignment& function, uint8_t absent);

// The catalogue macros the present keys run, in first-use order: the order
// the device numbers them in the macro image.
std::vector<int> UsedMacros(std::span<const uint8_t> slotOfKey, uint8_t absent, const std::vector<KeyAssignmentPair>& keys,
                            size_t macroCount);

// Stores each present key's function at its slot of image. A macro key gets
// its device number; one whose macro is gone gets its factory function back.
// Keys without an entry in keys get their factory function.
void PlaceKeyFunctions(std::vector<uint8_t>& image, std::span<const uint8_t> slotOfKey, uint8_t absent,
                       const std::vector<KeyAssignmentPair>& keys, const std::function<KeyAssignment(size_t)>& factory,
                       size_t macroCount);

// Keys running a macro number past the catalogue get their default
// function back; true when any did.
bool ResetMissingMacros(std::vector<KeyAssignmentPair>& keys, size_t macroCount);
// The same, and the list written as the profile's key list when any did.
bool PruneMissingMacros(std::vector<KeyAssignmentPair>& keys, size_t macroCount, CBasicProfiledata& profile);

// One key's pair put into keys and the list written as the profile's key
// list (not saved); false for a key the list lacks.
bool StoreKeyPair(std::vector<KeyAssignmentPair>& keys, size_t index, const KeyAssignmentPair& pair,
                  CBasicProfiledata& profile);

}  // namespace m470
