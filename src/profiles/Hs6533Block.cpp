#include "profiles/Hs6533Block.h"

#include <algorithm>

namespace m470 {
namespace {

uint8_t FlipSpeed(uint8_t speed) {
    return static_cast<uint8_t>(hs6533_block::kHighestSpeed - std::min(speed, hs6533_block::kHighestSpeed));
}

}  // namespace

void TakeLighting(Hs6533Block& block, const LightInfo& light) {
    using namespace hs6533_block;
    block[kMode] = light.selectItem;
    block[kBrightness] = light.light;
    block[kSpeed] = light.speed;
    block[kSevenColours] = light.multiColor;
    block[kRed] = light.red;
    block[kGreen] = light.green;
    block[kBlue] = light.blue;
}

Hs6533Block OutgoingBlock(const Hs6533Block& kept, std::span<const uint8_t> modeCodes) {
    using namespace hs6533_block;
    Hs6533Block bytes = kept;
    if (kept[kMode] < modeCodes.size()) bytes[kMode] = modeCodes[kept[kMode]];
    bytes[kSpeed] = FlipSpeed(kept[kSpeed]);
    return bytes;
}

Hs6533Block IncomingBlock(std::span<const uint8_t, hs6533_block::kRead> read, uint8_t profile,
                          std::span<const uint8_t> modeCodes) {
    using namespace hs6533_block;
    Hs6533Block block{};
    std::copy_n(read.begin(), block.size(), block.begin());
    block[kProfile] = profile;
    const auto found = std::find(modeCodes.begin(), modeCodes.end(), block[kMode]);
    if (found != modeCodes.end()) block[kMode] = static_cast<uint8_t>(found - modeCodes.begin());
    block[kSpeed] = FlipSpeed(block[kSpeed]);
    return block;
}

}  // namespace m470
