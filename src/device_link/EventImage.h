#pragma once
// The image format of macro (0x15) and recoil (0x17) downloads:
//   0  magic AA 55 | 2 total length | 4 entry count N | 6 reserved (10)
//   16 offset of each entry (2 × N)
//   entry: event count E (2), reserved (2), E events of 4 bytes
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace m470 {

using ImageEvent = std::array<uint8_t, 4>;
using ImageEntry = std::vector<ImageEvent>;

inline constexpr uint16_t kEventImageMagic = 0x55AA;
inline constexpr size_t kEventImageHeader = 16;

// 16 + 6 × N + 4 × (all events).
size_t EventImageLength(const std::vector<ImageEntry>& entries);

// Events that do not fit into capacity bytes: (total − capacity) / 4 + 1,
// or 0 when the image fits.
uint32_t EventImageSurplus(size_t total, size_t capacity);

// The image bytes (all 16-bit values little-endian).
std::vector<uint8_t> BuildEventImage(const std::vector<ImageEntry>& entries);

// Checks magic, length and the offset table (used by the virtual devices and
// tests); false for anything malformed.
bool ParseEventImage(const uint8_t* image, size_t length, std::vector<ImageEntry>& entries);

}  // namespace m470
