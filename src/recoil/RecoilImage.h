#pragma once
// The recoil download (command 0x17): the four patterns as one event image.
// Its lengths and offsets are 16-bit, so an image above 65,535 bytes cannot
// be described; it is never built, since a wrapped length would have the
// mouse overwrite its memory with a corrupt image.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "device_link/EventImage.h"

namespace m470 {

inline constexpr size_t kMaxRecoilImageBytes = 0xFFFF;

// The image bytes, or nullopt when it would be larger than kMaxRecoilImageBytes.
std::optional<std::vector<uint8_t>> BuildRecoilImage(const std::vector<ImageEntry>& patterns);

}  // namespace m470
