#pragma once
// The headset's 21-byte lighting block. The program keeps the mode as its
// index and the speed as the user's 0-4; the device holds the mode's code
// and 4 - speed. Translation is made on copies: the kept block never holds
// device values, so a second write sends the same bytes as the first.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "profiles/ProfileRecords.h"

namespace m470 {

namespace hs6533_block {
inline constexpr size_t kProfile = 0;
inline constexpr size_t kMode = 1;
inline constexpr size_t kBrightness = 2;
inline constexpr size_t kSpeed = 3;
inline constexpr size_t kSevenColours = 5;
inline constexpr size_t kRed = 6, kGreen = 7, kBlue = 8;
// The bytes the program sets; the profile index (0), byte 4 and bytes 9-20
// go back as last read.
inline constexpr std::array<size_t, 7> kSetBytes{kMode, kBrightness, kSpeed, kSevenColours, kRed, kGreen, kBlue};
inline constexpr size_t kSize = 21;        // kept, and written at profile × 64
inline constexpr size_t kRead = 34;        // read at profile × 33
inline constexpr size_t kReadStride = 33;
inline constexpr size_t kWriteStride = 64;
inline constexpr uint8_t kHighestSpeed = 4;
}  // namespace hs6533_block

using Hs6533Block = std::array<uint8_t, hs6533_block::kSize>;

// The lighting fields of the block from a lighting record; the other bytes stay.
void TakeLighting(Hs6533Block& block, const LightInfo& light);
// The bytes a write sends: the mode index as its code (an index beyond the
// list unchanged), the speed as 4 - speed.
Hs6533Block OutgoingBlock(const Hs6533Block& kept, std::span<const uint8_t> modeCodes);
// The block from a read: the first 21 bytes with byte 0 the profile index,
// the code as its first mode index (unchanged when no mode has it), 4 - speed.
Hs6533Block IncomingBlock(std::span<const uint8_t, hs6533_block::kRead> read, uint8_t profile,
                          std::span<const uint8_t> modeCodes);

}  // namespace m470
